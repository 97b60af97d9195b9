// A creation that fails part way: the staves written before stay written,
// the failing staff goes back to what it was, and the counts tell what the
// score holds.
#include "cue_score.h"
#include "quivra/qx_records.h"
#include "quivrasim/operations.h"

namespace ostinel_test {
namespace {

using quivrasim::DialogSession;
using quivrasim::EntrySpec;

constexpr int kCueLayer = 3;

class Failures : public CueScore {
 protected:
  // The host fails a frame save once the creation reports that it writes
  // into this staff (by slot).
  void FailWhileWriting(int slot) {
    host.OnProgress([this, slot](const quivrasim::ProgressRun& run, int reported, int) {
      if (!run.region && reported == slot && !m_armed) {
        m_armed = true;
        host.FailCall(quivrasim::Op::QX_SaveTGF, 2);
      }
      return false;
    });
  }
  bool HoldsCue(uint16_t staff, int first, int last) {
    for (int measure = first; measure <= last; ++measure) {
      if (EntriesOf(host, staff, measure, kCueLayer).size() != 4) return false;
    }
    return true;
  }
  bool Untouched(uint16_t staff, int first, int last) {
    for (int measure = first; measure <= last; ++measure) {
      if (!EntriesOf(host, staff, measure, kCueLayer).empty() || !EntriesOf(host, staff, measure, 0).empty()) {
        return false;
      }
    }
    return true;
  }
  std::string LastAlert() { return host.Alerts().empty() ? "<none>" : AlertAt(host, -1).text; }
  bool m_armed = false;
};

TEST_F(Failures, OnTheSecondStaffTheFirstKeepsItsCueAndTheSecondIsOfferedAgain) {
  FailWhileWriting(3);  // the clarinet
  AtLocation([&](DialogSession& d) {
    d.Click(IDC_CREATE);
    ASSERT_FALSE(host.Alerts().empty());
    EXPECT_EQ(AlertAt(host, -1).text,
              "Cue notes could not be created. It is possible that you have reached Quivra's maximum amount of "
              "measures with notes.");
    EXPECT_TRUE(d.Enabled(IDC_CREATE)) << "the location is offered again";
    EXPECT_TRUE(HoldsCue(oboe, 8, 12));
    EXPECT_TRUE(Untouched(clarinet, 5, 12)) << "no half cue, and layer 1 as it was";
    EXPECT_TRUE(ExpressionsAt(host, 8) == (std::vector<std::pair<uint16_t, std::string>>{{oboe, "Fl."}}));
    EXPECT_EQ(host.Doc().UndoLabels(), std::vector<std::string>{"Add Cue: Fl., m. 8-12"});
    // Only the staff still without the cue stays chosen: creating again
    // writes it, and meets no layer that is no longer empty.
    EXPECT_EQ(d.SelectedLines(IDC_STAVES), (std::vector<int>{2}));
    d.Click(IDC_CREATE);
    EXPECT_NE(LastAlert(), "Cue notes can only be entered in an empty layer.  \nPlease select a layer with no entries.");
  });
  EXPECT_TRUE(HoldsCue(oboe, 8, 12) && HoldsCue(clarinet, 8, 12));
  EXPECT_EQ(host.Doc().UndoLabels(), (std::vector<std::string>{"Add Cue: Fl., m. 8-12", "Add Cue: Fl., m. 8-12"}));
  EXPECT_EQ(LastAlert(), "A total of 2 cues were created in the score.") << "the count is what the score holds";
  EXPECT_FALSE(host.Doc().EditOpen());
}

// The host may refuse to open an edit: the work goes on as if it had not,
// and the edit is ended as any other; where it accepts, the pass's work is
// one edit to undo.
class EditStart : public Failures, public ::testing::WithParamInterface<bool> {};

TEST_P(EditStart, RefusedOrNotStopsNoWorkAndIsEndedAsAnyEdit) {
  const bool refused = GetParam();
  if (refused) host.FailCall(quivrasim::Op::QX_StartQuivraEdit, 1);
  RunDialog([&](DialogSession& d) {
    Configure(d, {.interactive = false, .threshold = 6});
    d.Click(IDC_START);
    EXPECT_EQ(d.Text(IDC_CLOSE), "Done");
  });
  EXPECT_TRUE(HoldsCue(oboe, 8, 12) && HoldsCue(clarinet, 8, 12)) << "the cues are written";
  EXPECT_EQ(host.Doc().UndoLabels(), refused ? std::vector<std::string>{} : std::vector<std::string>{"Ostinel"});
  EXPECT_EQ(host.Calls(quivrasim::Op::QX_EndQuivraEdit), 1) << "the edit is ended as if it were open";
  EXPECT_FALSE(host.Doc().EditOpen());
}

INSTANTIATE_TEST_SUITE_P(Host, EditStart, ::testing::Bool(),
                         [](const auto& param) { return param.param ? "refused" : "accepted"; });

TEST_F(Failures, InAnAutomaticPassTheCuesBeforeStay) {
  // A second location: the horn rests in 13..18 and comes back in 19.
  build.Clear(horn, 13, 18);
  FailWhileWriting(4);
  RunDialog([&](DialogSession& d) {
    Configure(d, {.interactive = false, .threshold = 6});
    d.Click(IDC_START);
    EXPECT_EQ(d.Text(IDC_MEASURE_NUMBER), "18") << "the pass stopped where the cue failed";
    EXPECT_TRUE(d.Checked(IDC_INTERACTIVE));
    EXPECT_EQ(d.Text(IDC_CLOSE), "Stop");
    d.Click(IDC_CLOSE);
  });
  EXPECT_TRUE(HoldsCue(oboe, 8, 12) && HoldsCue(clarinet, 8, 12)) << "the first location's cues stay";
  EXPECT_TRUE(Untouched(horn, 13, 18));
  EXPECT_EQ(host.Doc().UndoLabels(), std::vector<std::string>{"Ostinel"}) << "the pass committed its edit";
  EXPECT_FALSE(host.Doc().EditOpen());
}

TEST_F(Failures, ASizeRecordTheHostRefusesLeavesTheStaffWritten) {
  host.RefuseRecordWrites(kQXTagEntrySize);
  AtLocation([&](DialogSession& d) {
    d.Click(IDC_CREATE);
    EXPECT_EQ(d.Text(IDC_CLOSE), "Done") << "the cue counts as written and the search went on";
  });
  EXPECT_TRUE(HoldsCue(oboe, 8, 12) && HoldsCue(clarinet, 8, 12));
  EXPECT_EQ(SizePercent(host, EntriesOf(host, oboe, 8, kCueLayer)[0].number), -1);
  EXPECT_EQ(LastAlert(), "A total of 2 cues were created in the score.");
}

TEST_F(Failures, AnExistingSizeRecordIsUpdatedAndASingleMeasureCueTakesTheShortLabel) {
  // Size records wait under the numbers the new entries will get: the
  // writer sets their percentage rather than adding a second record.
  const uint32_t next = host.Doc().NextEntryNumber();
  for (uint32_t number = next; number < next + 40; ++number) build.EntrySize(number, 50);
  AtLocation([&](DialogSession& d) {
    host.Select(1, 12, 1, 12);
    d.Click(IDC_USE_SELECTION);
    d.Click(IDC_CREATE);
  });
  for (const QXEntry& cue : EntriesOf(host, oboe, 12, kCueLayer)) {
    EXPECT_EQ(SizePercent(host, cue.number), 75);
    EXPECT_EQ(host.Doc().Records().Find(kQXTagEntrySize, {cue.number, 1, 0}), nullptr);
  }
  EXPECT_EQ(host.Doc().UndoLabels(), std::vector<std::string>{"Add Cue: Fl., m. 12"});
}

}  // namespace
}  // namespace ostinel_test
