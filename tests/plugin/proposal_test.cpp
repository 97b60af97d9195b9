// Which staff and which measures the search proposes as the cue.
#include "harness.h"
#include "quivra/qx_records.h"

namespace ostinel_test {
namespace {

using quivrasim::DialogSession;

// Forty measures; the horn (slot 1) rests in 11..30, so the location's rest
// end is 30 and its latest rest start 11.
class ProposalTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    build.Measures(40);
    horn = build.Staff("Horn", "Hn.");
    build.Play(horn, 1, 10).Play(horn, 31, 40);
  }
  // Searches interactively and returns the caption of "Use Proposed Cue" at the first location.
  std::string Proposal(SearchOptions options = {}) {
    options.threshold = options.measures ? 10 : 20;
    std::string caption;
    RunDialog([&](DialogSession& d) {
      Configure(d, options);
      d.Click(IDC_START);
      caption = d.Text(IDC_USE_PROPOSED);
      useSelection = d.Checked(IDC_USE_SELECTION);
      proposalEnabled = d.Enabled(IDC_USE_PROPOSED);
      restEnd = d.Text(IDC_MEASURE_NUMBER);
      selection = host.Selection();
      d.Click(IDC_CLOSE);  // Stop: the user's selection comes back
      d.Click(IDC_CLOSE);
    });
    return caption;
  }
  uint16_t horn = 0;
  bool useSelection = false;
  bool proposalEnabled = false;
  std::string restEnd;
  QXRegion selection{};
};

TEST_F(ProposalTest, TheSourceMustPlayInTheLastFourMeasuresOfTheRest) {
  const uint16_t oboe = build.Staff("Oboe");
  build.Play(oboe, 1, 10).Play(oboe, 27, 27).Play(oboe, 31, 40);
  EXPECT_EQ(Proposal(), "Use Proposed Cue:  Oboe, actual measure 27 to 27");
  build.Clear(oboe, 27, 27).Play(oboe, 26, 26);
  EXPECT_EQ(Proposal(), "Use &Proposed Cue:  None");
  EXPECT_EQ(restEnd, "30");
}

TEST_F(ProposalTest, WithoutAProposalTheUsersOwnSelectionIsOffered) {
  const uint16_t flute = build.Staff("Flute");
  build.Play(flute, 1, 22);  // plays during the rest, but not near its end
  EXPECT_EQ(Proposal(), "Use &Proposed Cue:  None");
  EXPECT_TRUE(useSelection);
  EXPECT_FALSE(proposalEnabled);
  EXPECT_EQ(selection.startMeasure, 0) << "the selection is cleared";
  ASSERT_FALSE(host.Scrolls().empty());
  EXPECT_EQ(host.Scrolls().back().measure, 29) << "the measure before the rest end";
}

TEST_F(ProposalTest, OfTwoEqualSourcesTheUpperWinsUnlessTheOtherFallsSilentAtTheReEntry) {
  const uint16_t flute = build.Staff("Flute");
  const uint16_t oboe = build.Staff("Oboe");
  build.Play(flute, 1, 40);
  build.Play(oboe, 1, 40);
  EXPECT_EQ(Proposal(), "Use Proposed Cue:  Flute, actual measure 26 to 30");
  EXPECT_EQ(std::tie(selection.startSlot, selection.endSlot, selection.startMeasure, selection.endMeasure),
            std::make_tuple(2, 2, 26, 30));
  build.Clear(oboe, 31, 40);
  EXPECT_EQ(Proposal(), "Use Proposed Cue:  Oboe, actual measure 26 to 30")
      << "a source that falls silent at the re-entry is preferred";
}

TEST_F(ProposalTest, TheDesiredLengthUnlessEveryStartIsTiedOver) {
  const uint16_t flute = build.Staff("Flute");
  build.Play(flute, 1, 40);
  EXPECT_EQ(Proposal(), "Use Proposed Cue:  Flute, actual measure 26 to 30");
  PlayTiedOver(build, flute, 1, 40);
  EXPECT_EQ(Proposal(), "Use Proposed Cue:  Flute, actual measure 16 to 30") << "to the allowed 15 measures";
  build.Play(flute, 22, 22);  // one clean start on the way
  EXPECT_EQ(Proposal(), "Use Proposed Cue:  Flute, actual measure 22 to 30");
}

// A source whose every start is tied over: the proposal reaches back as far
// as the options let it.
TEST_F(ProposalTest, TheCueReachesBackNoFurtherThanTheRestsLatestStartOrTheSecondsAllow) {
  const uint16_t flute = build.Staff("Flute");
  build.Play(flute, 1, 40);
  PlayTiedOver(build, flute, 1, 40);
  struct Case {
    bool measures;
    int desired, allowed;
    const char* proposal;
  };
  for (const Case& c : {Case{true, 25, 30, "11 to 30"},  // never before the rest's latest start
                        Case{false, 90, 99, "20 to 30"},  // in seconds never longer than eleven measures
                        Case{false, 8, 10, "26 to 30"}}) {  // two seconds a measure: five measures fit
    EXPECT_EQ(Proposal({.measures = c.measures, .desired = c.desired, .allowed = c.allowed}), std::string("Use Proposed Cue:  Flute, actual measure ") + c.proposal);
  }
  build.Clear(flute, 1, 40).Play(flute, 1, 40);  // clean starts everywhere
  EXPECT_EQ(Proposal({.measures = false, .desired = 8, .allowed = 10}), "Use Proposed Cue:  Flute, actual measure 27 to 30")
      << "with clean starts the desired 8 seconds are enough";
}

TEST_F(ProposalTest, TheProposedLayerIsTheLowestWithNotes) {
  const uint16_t flute = build.Staff("Flute");
  build.Play(flute, 1, 40, 2);
  RunDialog([&](DialogSession& d) {
    Configure(d, SearchOptions{});
    d.Click(IDC_START);
    EXPECT_EQ(d.ComboSelection(IDC_SOURCE_LAYER), 2);
  });
}

}  // namespace
}  // namespace ostinel_test
