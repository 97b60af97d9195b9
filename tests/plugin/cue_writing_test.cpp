// Writing cues, as the user asks for them from the dialog.
#include "cue_score.h"
#include "quivra/qx_records.h"
#include "quivrasim/operations.h"

namespace ostinel_test {
namespace {

using quivrasim::DialogSession;
using quivrasim::EntrySpec;

class CueWriting : public CueScore {};

TEST_F(CueWriting, CreateWritesTheProposedCueIntoEveryPreselectedStaff) {
  const uint64_t before = host.Doc().Fingerprint();
  AtLocation([&](DialogSession& d) {
    EXPECT_EQ(d.SelectedLines(IDC_STAVES), (std::vector<int>{1, 2})) << "the oboe and the clarinet come back together";
    d.Click(IDC_CREATE);
    EXPECT_EQ(d.Text(IDC_CLOSE), "Done") << "the search went on and found nothing more";
  });
  EXPECT_EQ(AlertAt(host, -1).text, "A total of 2 cues were created in the score.");
  EXPECT_EQ(host.Doc().UndoLabels(), std::vector<std::string>{"Add Cue: Fl., m. 8-12"});
  for (const uint16_t staff : {oboe, clarinet}) {
    for (int measure = 8; measure <= 12; ++measure) {
      EXPECT_EQ(Layer(host, staff, measure, 3), "n1024@75 n1024@75 n1024@75 n1024@75") << staff << " " << measure;
      const quivrasim::Entries cue = EntriesOf(host, staff, measure, 3);
      for (size_t i = 0; i < cue.size(); ++i) {
        EXPECT_EQ(cue[i].notes[0].word0, EntriesOf(host, flute, measure, 0)[i].notes[0].word0) << "the same notes";
      }
    }
    EXPECT_EQ(Layer(host, staff, 7, 3) + Layer(host, staff, 13, 3), "");
    EXPECT_EQ(Layer(host, staff, 8, 0), "r4096") << "layer 1 below the cue is completed with a whole rest";
  }
  const auto names = ExpressionsAt(host, 8);
  EXPECT_EQ(names, (std::vector<std::pair<uint16_t, std::string>>{{oboe, "Fl."}, {clarinet, "Fl."}}));
  EXPECT_TRUE(ExpressionsAt(host, 9).empty()) << "the name stands once, where the cue starts";
  ASSERT_TRUE(host.Doc().Undo());
  EXPECT_EQ(host.Doc().Fingerprint(), before) << "one undo takes the whole cue away";
}

TEST_F(CueWriting, ACueFoundAgainIsNoLongerALocation) {
  AtLocation([](DialogSession& d) { d.Click(IDC_CREATE); });
  host.Alerts().clear();
  RunDialog([](DialogSession& d) {
    Configure(d, SearchOptions{});
    d.Click(IDC_START);
  });
  EXPECT_EQ(AlertIds(host), std::vector<uint32_t>{IDS_NOTHING_FOUND}) << "the rests now end in cues";
}

TEST_F(CueWriting, TheUsersChoicesGoIntoTheCue) {
  AtLocation([&](DialogSession& d) {
    d.SelectLines(IDC_STAVES, {1});
    d.Type(IDC_PERCENT, "60");
    d.SelectCombo(IDC_DEST_LAYER, 1);
    d.Type(IDC_CUE_NAME, "Flute solo");
    d.Click(IDC_CREATE);
  });
  EXPECT_EQ(Layer(host, oboe, 10, 1), "n1024@60 n1024@60 n1024@60 n1024@60");
  EXPECT_EQ(Layer(host, clarinet, 10, 1), "");
  EXPECT_EQ(ExpressionsAt(host, 8), (std::vector<std::pair<uint16_t, std::string>>{{oboe, "Flute solo"}}));
  EXPECT_EQ(host.Doc().UndoLabels(), std::vector<std::string>{"Add Cue: Flute solo, m. 8-12"});
}

TEST_F(CueWriting, WritingIntoLayerOneTouchesNoOtherLayer) {
  AtLocation([&](DialogSession& d) {
    d.SelectCombo(IDC_DEST_LAYER, 0);
    d.Click(IDC_CREATE);
  });
  EXPECT_EQ(Layer(host, oboe, 8, 0), "n1024@75 n1024@75 n1024@75 n1024@75");
  EXPECT_EQ(Layer(host, oboe, 8, 1) + Layer(host, oboe, 8, 2) + Layer(host, oboe, 8, 3), "");
}

TEST_F(CueWriting, AHigherLayerFirstCompletesLayerOneShortestRestFirst) {
  build.Entries(horn, 8, 0, {EntrySpec::Note(2048), EntrySpec::Note(512)});  // 1536 short
  build.Entries(horn, 10, 0, {EntrySpec::Note(1024)});
  host.Doc().SetMeasureLength(10, 5 * 1024);  // 5/4: a whole note's gap, one whole rest
  AtLocation([&](DialogSession& d) {
    d.SelectLines(IDC_STAVES, {1, 3});
    d.Click(IDC_CREATE);
  });
  EXPECT_EQ(Layer(host, horn, 8, 0), "n2048 n512 r512 r1024");
  EXPECT_EQ(Layer(host, horn, 10, 0), "n1024 r4096");
  EXPECT_EQ(Layer(host, horn, 9, 0), "n1024 n1024 n1024 n1024") << "a full layer 1 is left alone";
  EXPECT_EQ(Layer(host, horn, 9, 3), "n1024@75 n1024@75 n1024@75 n1024@75");
}

TEST_F(CueWriting, ADestinationLayerThatIsNotEmptyRefusesTheCue) {
  AtLocation([&](DialogSession& d) {
    d.SelectLines(IDC_STAVES, {1, 3});
    d.SelectCombo(IDC_DEST_LAYER, 0);  // the horn plays in layer 1
    d.Click(IDC_CREATE);
    EXPECT_EQ(AlertIds(host), std::vector<uint32_t>{IDS_LAYER_NOT_EMPTY});
    EXPECT_EQ(AlertAt(host, 0).style, kQXAlertWarning);
    EXPECT_EQ(Shows(d, {IDC_INTERACTIVE, IDC_STATUS, IDC_CREATE}),
              "[x] &Interactive Mode | Add cue notes here? | Create C&ue Notes") << "the location is offered again";
    EXPECT_EQ(d.SelectedLines(IDC_STAVES), (std::vector<int>{1, 2}));
  });
  EXPECT_TRUE(host.Doc().UndoStack().empty());
  EXPECT_EQ(Layer(host, oboe, 8, 0), "");
}

TEST_F(CueWriting, NoStaffChosenAsksForOne) {
  AtLocation([&](DialogSession& d) {
    d.SelectLines(IDC_STAVES, {});
    d.Click(IDC_CREATE);
    EXPECT_EQ(AlertIds(host), std::vector<uint32_t>{IDS_NO_DESTINATION});
    EXPECT_EQ(AlertAt(host, 0).text, "Please select one or more staves to write the cue notes to.");
  });
  EXPECT_TRUE(host.Doc().UndoStack().empty());
}

TEST_F(CueWriting, ACueFromTheMiddleOfAMeasureKeepsTheTimeWithHiddenRests) {
  // The flute's measure 8: a quarter, a triplet of eighths, two quarters.
  const auto numbers = build.Entries(flute, 8, 0,
                                     {EntrySpec::Note(1024, 3), EntrySpec::Note(512, 4), EntrySpec::Note(512, 5),
                                      EntrySpec::Note(512, 6), EntrySpec::Note(1024, 7), EntrySpec::Note(1024, 8)});
  build.Tuplet(numbers[1], 3, 3, 2);
  AtLocation([&](DialogSession& d) {
    d.Click(IDC_USE_SELECTION);
    host.Selection() = QXRegion{0, 1, 8, 1365, 0, 1, 12, kQXEndOfMeasure};  // from the triplet's second note
    d.Click(IDC_CREATE);
  });
  // Before the cue a hidden rest; the triplet's note reaching into it shows
  // as a rest and keeps its tuplet; every entry sized, placeholders too.
  EXPECT_EQ(Layer(host, oboe, 8, 3), "h1024@75 r512t@75 n512@75 n512@75 n1024@75 n1024@75");
  EXPECT_EQ(ExpressionsAt(host, 8).size(), 2u) << "at the start of the measure, on both staves";
}

TEST_F(CueWriting, ATupletRunningPastTheCuesEndStaysVisible) {
  const auto numbers = build.Entries(flute, 12, 0,
                                     {EntrySpec::Note(1024, 3), EntrySpec::Note(512, 4), EntrySpec::Note(512, 5),
                                      EntrySpec::Note(512, 6), EntrySpec::Note(2048, 7)});
  build.Tuplet(numbers[1], 3, 3, 2);
  AtLocation([&](DialogSession& d) {
    d.Click(IDC_USE_SELECTION);
    host.Selection() = QXRegion{0, 1, 10, 0, 0, 1, 12, 1365};  // ends after the triplet's first note
    d.Click(IDC_CREATE);
  });
  // Within the tuplet the rest of it shows as rests; after it, hidden.
  EXPECT_EQ(Layer(host, oboe, 12, 3), "n1024@75 n512t@75 r512@75 r512@75 h2048@75");
  EXPECT_EQ(ExpressionsAt(host, 10).size(), 2u);
}

TEST_F(CueWriting, ACancelledCreationFinishesTheMeasureAndStopsTheStaff) {
  host.OnProgress([](const quivrasim::ProgressRun& run, int, int measure) {
    return run.total == 10 && measure == 9;  // the creation's run: 5 measures, 2 staves
  });
  AtLocation([&](DialogSession& d) {
    d.Click(IDC_CREATE);
    EXPECT_EQ(Shows(d, {IDC_INTERACTIVE, IDC_STATUS, IDC_CREATE}),
              "[x] &Interactive Mode | Add cue notes here? | Create C&ue Notes");
  });
  EXPECT_EQ(EntriesOf(host, oboe, 8, 3).size(), 4u);
  EXPECT_EQ(EntriesOf(host, oboe, 9, 3).size(), 4u) << "the measure being copied is finished";
  EXPECT_EQ(Layer(host, oboe, 10, 3) + Layer(host, clarinet, 8, 3), "") << "no further staff is started";
  EXPECT_EQ(host.Doc().UndoLabels(), std::vector<std::string>{"Add Cue: Fl., m. 8-12"});
  EXPECT_FALSE(host.Doc().EditOpen());
  for (const auto& run : host.ProgressRuns()) EXPECT_TRUE(run.ended);
}

TEST_F(CueWriting, AFailingHostSaveStopsWithAMessageAndLeavesNothingOpen) {
  const uint64_t before = host.Doc().Fingerprint();
  AtLocation([&](DialogSession& d) {
    host.FailCall(quivrasim::Op::QX_SaveTGF, 8);  // in the oboe's cue, after layer 1 was completed
    d.Click(IDC_CREATE);
    EXPECT_EQ(Shows(d, {IDC_INTERACTIVE, IDC_CREATE}), "[x] &Interactive Mode | Create C&ue Notes");
  });
  ASSERT_FALSE(host.Alerts().empty());
  EXPECT_EQ(AlertAt(host, 0).text,
            "Cue notes could not be created. It is possible that you have reached Quivra's maximum amount of "
            "measures with notes.");
  EXPECT_EQ(host.FaultsInjected(), 1);
  EXPECT_FALSE(host.Doc().EditOpen());
  EXPECT_TRUE(host.Doc().UndoStack().empty()) << "the half-written cue went as a whole";
  EXPECT_EQ(host.Doc().Fingerprint(), before);
  EXPECT_EQ(host.Doc().UnjournaledChanges(), 0);
  for (const auto& run : host.ProgressRuns()) EXPECT_TRUE(run.ended);
}

// Thirty measures: A rests in 5..12 while only B plays, and B falls silent
// at 9 for good; C rests until 12 and again in 17..24, while A plays.
class AutomaticAdd : public PluginTest {};

TEST_F(AutomaticAdd, WritesEveryProposedCueAndStopsWhereThereIsNone) {
  build.Measures(30);
  const uint16_t a = build.Staff("Alto", "A.");
  const uint16_t b = build.Staff("Bass", "B.");
  const uint16_t c = build.Staff("Cello", "Vc.");
  build.Play(a, 1, 4).Play(a, 13, 30);
  build.Play(b, 1, 8);
  build.Play(c, 13, 16).Play(c, 25, 30);
  std::vector<std::string> stops;
  RunDialog([&](DialogSession& d) {
    Configure(d, {.interactive = false, .threshold = 6});
    d.Click(IDC_START);
    while (d.Enabled(IDC_CONTINUE)) {
      stops.push_back(d.Text(IDC_STAFF_NUMBER) + "/" + d.Text(IDC_MEASURE_NUMBER) + " " + d.Text(IDC_USE_PROPOSED));
      d.Click(IDC_CONTINUE);
    }
  });
  EXPECT_EQ(stops, (std::vector<std::string>{"1/12 Use &Proposed Cue:  None", "3/12 Use &Proposed Cue:  None"}));
  for (int measure = 20; measure <= 24; ++measure) EXPECT_EQ(EntriesOf(host, c, measure, 3).size(), 4u) << measure;
  EXPECT_EQ(Layer(host, c, 19, 3) + Layer(host, a, 12, 3), "");
  EXPECT_EQ(ExpressionsAt(host, 20), (std::vector<std::pair<uint16_t, std::string>>{{c, "A."}}));
  EXPECT_EQ(AlertAt(host, -1).text, "One cue was created in the score.");
  EXPECT_EQ(host.Doc().UndoLabels(), (std::vector<std::string>{"Ostinel", "Ostinel", "Ostinel"}))
      << "each pass is one edit, the cue inside the last";
}

}  // namespace
}  // namespace ostinel_test
