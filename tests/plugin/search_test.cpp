// The search as the user runs it from the dialog: where it stops, what it
// marks, what it says at the end.
#include "harness.h"
#include "quivra/qx_records.h"

namespace ostinel_test {
namespace {

using quivrasim::DialogSession;

const std::string kEightMeasures = "^font(Arial)^size(10)^efx(italic)*** 8 measures of rest ***";

class SearchTest : public PluginTest {
 protected:
  // Forty measures: the flute plays throughout; the oboe rests in 5..12 and 20..31.
  void Orchestra() {
    build.Measures(40);
    flute = build.Staff("Flute", "Fl.");
    oboe = build.Staff("Oboe", "Ob.");
    build.Play(flute, 1, 40);
    build.Play(oboe, 1, 4).Play(oboe, 13, 19).Play(oboe, 32, 40);
  }
  // Opens the dialog, runs one search with the options, then closes.
  void Search(const SearchOptions& options, const quivrasim::DialogUser& afterStart = nullptr) {
    RunDialog([&](DialogSession& d) {
      Configure(d, options);
      d.Click(IDC_START);
      if (afterStart) afterStart(d);
      if (d.Checked(IDC_MODE_ADD) && d.Enabled(IDC_CREATE)) d.Click(IDC_CLOSE);  // stop a search at a location
      d.Click(IDC_CLOSE);
    });
  }
  uint16_t flute = 0;
  uint16_t oboe = 0;
};

SearchOptions Mark(int threshold) { return {.mark = true, .threshold = threshold}; }
SearchOptions MarkSeconds(int threshold) { return {.mark = true, .measures = false, .threshold = threshold}; }

TEST_F(SearchTest, MarkModeMarksEachRestAtItsLastMeasureOnceAndCountsAgain) {
  Orchestra();
  Search(Mark(8));
  EXPECT_EQ(MarkerTexts(host, oboe, 12), std::vector<std::string>{kEightMeasures});
  EXPECT_EQ(MarkerTexts(host, oboe, 31),
            std::vector<std::string>{"^font(Arial)^size(10)^efx(italic)*** 12 measures of rest ***"});
  EXPECT_EQ(MarkerCount(host), 2);
  EXPECT_EQ(AlertIds(host), std::vector<uint32_t>{0});
  EXPECT_EQ(AlertAt(host, 0).text, "A total of 2 locations were marked in the score.");
  EXPECT_EQ(AlertAt(host, 0).style, kQXAlertInformation);
  EXPECT_EQ(host.Doc().UndoLabels(), std::vector<std::string>{"Ostinel (Mark Cue Locations)"});
  EXPECT_EQ(host.Doc().UnjournaledChanges(), 0);
  QXMeasureSpec spec{};
  std::memcpy(&spec, host.Doc().Records().Find(kQXTagMeasureSpec, {12, 0, 0})->data(), sizeof spec);
  EXPECT_EQ(spec.flags & kQXMeasureHasText, kQXMeasureHasText);
  // Attached with the host's words.
  QXMeasureText assignment;
  const auto keys = host.Doc().Records().Siblings(kQXTagMeasureText, quivrasim::KeyScheme::Triple, {oboe, 12, 0});
  ASSERT_EQ(keys.size(), 1u);
  std::memcpy(&assignment, host.Doc().Records().Find(kQXTagMeasureText, keys[0])->data(), sizeof assignment);
  EXPECT_EQ(std::vector<int>(assignment.words, assignment.words + 4), (std::vector<int>{0, 70, 0, 1}));

  Search(Mark(8));
  EXPECT_EQ(MarkerTexts(host, oboe, 12).size(), 1u) << "no second marker";
  EXPECT_EQ(MarkerCount(host), 2);
  EXPECT_EQ(AlertAt(host, 1).text, "A total of 2 locations were marked in the score.");
  Search(MarkSeconds(8));
  EXPECT_EQ(MarkerTexts(host, oboe, 12),
            (std::vector<std::string>{kEightMeasures,
                                      "^font(Arial)^size(10)^efx(italic)*** 16.0 seconds of rest ***"}))
      << "another text is another marker";
}

TEST_F(SearchTest, ARestShorterThanTheThresholdIsPassedAndTheWalkGoesOnAfterIt) {
  Orchestra();
  Search(Mark(9));
  EXPECT_TRUE(MarkerTexts(host, oboe, 12).empty());
  EXPECT_EQ(MarkerTexts(host, oboe, 31).size(), 1u) << "the walk resumed after the short rest";
  ASSERT_EQ(host.Alerts().size(), 1u);
  EXPECT_EQ(AlertAt(host, 0).text, "One location was marked in the score.");
}

TEST_F(SearchTest, SecondsFollowTheTempoToOneDecimal) {
  Orchestra();
  build.BaseTempo(1024, 120);
  build.TempoChangeQpm(5, 0, 77);  // 4096 units at 77 a minute: 3.1169 s
  build.TempoChangeQpm(13, 0, 120);
  Search(MarkSeconds(20));
  EXPECT_EQ(MarkerTexts(host, oboe, 12),
            std::vector<std::string>{"^font(Arial)^size(10)^efx(italic)*** 24.9 seconds of rest ***"});
}

TEST_F(SearchTest, AReEntryThatAlreadyHoldsCueNotesIsPassed) {
  Orchestra();
  // An earlier cue in the last measure of the rest: the rest now ends at 11,
  // and its "re-entry" is the cue.
  const uint32_t cue = build.Entries(oboe, 12, 3, {quivrasim::EntrySpec::Note(4096)})[0];
  build.EntrySize(cue, 75);
  Search(Mark(7));
  EXPECT_TRUE(MarkerTexts(host, oboe, 11).empty());
  EXPECT_TRUE(MarkerTexts(host, oboe, 12).empty());
  EXPECT_EQ(MarkerTexts(host, oboe, 31).size(), 1u);
  build.EntrySize(cue, 90);  // full size: the oboe plays there
  Search(Mark(7));
  EXPECT_EQ(MarkerTexts(host, oboe, 11).size(), 1u);
}

TEST_F(SearchTest, NothingFoundAtStartSaysSoAndKeepsCloseButOKSaysNothing) {
  Orchestra();
  Search(Mark(30), [&](DialogSession& d) { EXPECT_EQ(d.Text(IDC_CLOSE), "C&lose"); });
  ASSERT_EQ(host.Alerts().size(), 1u);
  EXPECT_EQ(AlertAt(host, 0).stringId, uint32_t{IDS_NOTHING_FOUND});
  EXPECT_EQ(AlertAt(host, 0).style, kQXAlertWarning);
  EXPECT_EQ(AlertAt(host, 0).text,
            "No locations were found that need any cue notes. \n\nIf you disagree, you could try a smaller value for "
            "the option\n\"Cue Notes Needed When Rest Is...\", or try Measures as a \ncriterion rather than Seconds "
            "(or vice versa).");
  host.Alerts().clear();
  RunDialog([&](DialogSession& d) {
    Configure(d, Mark(30));
    d.PressEnter();  // OK searches like Start
    EXPECT_EQ(d.Text(IDC_CLOSE), "Done");
  });
  EXPECT_TRUE(host.Alerts().empty());
}

// A rest that runs to the end, and a rest of every staff at once, are no locations.
TEST_F(SearchTest, ARestToTheEndOrOfEveryStaffAtOnceIsNoLocation) {
  build.Measures(40);
  const uint16_t a = build.Staff("A");
  const uint16_t b = build.Staff("B");
  build.Play(a, 1, 4).Play(a, 13, 40);
  build.Play(b, 1, 4).Play(b, 13, 29);
  Search(SearchOptions{});
  EXPECT_EQ(AlertIds(host), std::vector<uint32_t>{IDS_NOTHING_FOUND});
  EXPECT_EQ(host.MenuCommands().size(), 0u);
}

TEST_F(SearchTest, AGroupThatRestsAsOneRestsOnlyWhenAllItsStavesRest) {
  build.Measures(40);
  build.Play(build.Staff("Flute"), 1, 40);
  const uint16_t upper = build.Staff("Piano");
  const uint16_t lower = build.Staff();
  build.Group(1, upper, lower, "Piano", kQXGroupRestsAsOne);
  build.Play(upper, 1, 4).Play(upper, 13, 40);
  build.Play(lower, 1, 4).Play(lower, 8, 8).Play(lower, 13, 40);
  Search(Mark(4));
  EXPECT_FALSE(MarkerTexts(host, upper, 12).empty()) << "both rest from 9 to 12";
  EXPECT_EQ(MarkerCount(host), 1) << "not 5..12: the lower staff plays in measure 8";
  EXPECT_TRUE(MarkerTexts(host, lower, 12).empty()) << "the lower staff is measured with the upper, not walked";
}

TEST_F(SearchTest, OneMarkedLocationGivesTheSingularMessageAndThreeThePlural) {
  build.Measures(40);
  build.Play(build.Staff("Flute"), 1, 40);
  const uint16_t horn = build.Staff("Horn");
  build.Play(horn, 1, 2).Play(horn, 12, 14).Play(horn, 24, 26).Play(horn, 36, 40);
  Search(Mark(9));
  EXPECT_EQ(AlertAt(host, -1).text, "A total of 3 locations were marked in the score.");
  host.Alerts().clear();
  Search(Mark(10));
  EXPECT_TRUE(AlertIds(host) == std::vector<uint32_t>{IDS_NOTHING_FOUND}) << "no rest reaches 10";
  host.Alerts().clear();
  build.Clear(horn, 3, 11);  // already empty: a rest of 9
  Search(Mark(9));
  EXPECT_EQ(AlertAt(host, -1).text, "A total of 3 locations were marked in the score.");
}

TEST_F(SearchTest, ACancelledPassChangesNothingAndSwitchesInteractiveModeOn) {
  Orchestra();
  const uint64_t before = host.Doc().Revision();
  host.CancelProgressAt(1);
  RunDialog([&](DialogSession& d) {
    Configure(d, Mark(8));
    d.Click(IDC_MODE_ADD);
    d.Click(IDC_INTERACTIVE);  // off
    d.Click(IDC_MODE_MARK);
    d.Click(IDC_START);
    EXPECT_EQ(Shows(d, {IDC_INTERACTIVE, IDC_STATUS}), "[x] &Interactive Mode (off) | Ready.");
  });
  EXPECT_EQ(host.Doc().Revision(), before);
  EXPECT_EQ(MarkerCount(host), 0);
  EXPECT_TRUE(host.Alerts().empty());
  EXPECT_FALSE(host.Doc().EditOpen());
  for (const auto& run : host.ProgressRuns()) EXPECT_TRUE(run.ended);
}

TEST_F(SearchTest, ACancelledTempoLoadLeavesTheSearchsEditOpenForTheNextStart) {
  Orchestra();
  host.CancelProgressAt(1);  // the tempo map's first measure
  RunDialog([&](DialogSession& d) {
    Configure(d, MarkSeconds(8));
    d.Click(IDC_START);
    EXPECT_EQ(Shows(d, {IDC_STATUS, IDC_START}), "Ready. | &Start (off)") << "until the user presses Stop";
    EXPECT_TRUE(host.Doc().EditOpen()) << "the edit opened for the search stays";
    d.Click(IDC_CLOSE);  // Stop
    d.Click(IDC_START);  // this pass takes the open edit up and closes it
    d.Click(IDC_CLOSE);
  });
  EXPECT_FALSE(host.Doc().EditOpen());
  EXPECT_EQ(host.Doc().UndoLabels(), std::vector<std::string>{"Ostinel (Mark Cue Locations)"});
  EXPECT_EQ(MarkerCount(host), 2);
}

TEST_F(SearchTest, TheSearchWalksOnlyTheSelection) {
  Orchestra();
  const uint16_t horn = build.Staff("Horn");
  build.Play(horn, 1, 4).Play(horn, 13, 40);
  host.Select(3, 1, 3, 40);
  Search(Mark(8));
  EXPECT_EQ(MarkerTexts(host, horn, 12).size(), 1u);
  EXPECT_EQ(MarkerCount(host), 1) << "the oboe was not selected";
  EXPECT_EQ(host.Selection().startSlot, 3) << "the selection is given back";
  // A selection that ends while a staff rests holds no location there: the
  // rest goes on past the selection's end.
  host.Select(1, 1, 3, 10);
  Search(Mark(6));
  EXPECT_EQ(MarkerCount(host), 1) << "no marker at 10 for the rests of 5..12";
}

// Which staves the search chooses to receive a cue with the resting one.
// Forty measures with staves A and B, which the tests make rest.
class Destinations : public SearchTest {
 protected:
  void SetUp() override {
    SearchTest::SetUp();
    build.Measures(40);
    a = build.Staff("A");
    b = build.Staff("B");
  }
  // The first location of an interactive search, "slot/rest end { preselected
  // lines }"; the proposal's caption is kept in proposal.
  std::string FirstStop(int threshold = 8) {
    std::string stop;
    RunDialog([&](DialogSession& d) {
      Configure(d, {.threshold = threshold});
      d.Click(IDC_START);
      stop = d.Text(IDC_STAFF_NUMBER) + "/" + d.Text(IDC_MEASURE_NUMBER) + " " +
             ::testing::PrintToString(d.SelectedLines(IDC_STAVES));
      proposal = d.Text(IDC_USE_PROPOSED);
      d.Click(IDC_CLOSE);
      d.Click(IDC_CLOSE);
    });
    return stop;
  }
  std::string proposal;
  uint16_t a = 0;
  uint16_t b = 0;
};

TEST_F(Destinations, AStaffThatRestsOnIsCountedButNotChosen) {
  // A rests in 5..12, B in 5..20: at A's re-entry B rests on.
  build.Play(a, 1, 4).Play(a, 13, 40);
  build.Play(b, 1, 4).Play(b, 21, 40);
  // With nobody else, every staff rests at A's re-entry: no location there.
  EXPECT_EQ(FirstStop().substr(0, 4), "2/20");
  build.Play(build.Staff("C"), 1, 40);
  EXPECT_EQ(FirstStop(), "1/12 { 0 }");
}

TEST_F(Destinations, OnlyStavesFromTheCurrentOneOnAndInsideTheSelectionAreChosen) {
  const uint16_t c = build.Staff("C");
  build.Play(build.Staff("D"), 1, 40);
  for (const uint16_t staff : {a, b, c}) build.Play(staff, 1, 4).Play(staff, 13, 40);
  EXPECT_EQ(FirstStop(), "1/12 { 0, 1, 2 }");
  host.Select(2, 1, 2, 40);  // B alone: A stands before it, C outside the selection
  EXPECT_EQ(FirstStop(), "2/12 { 1 }");
}

TEST_F(Destinations, TheCueStartsNoEarlierThanTheLatestRestStartOfThemAll) {
  // A rests in 5..12, B in 8..12; every measure of D starts tied over, so the
  // proposal reaches back as far as it may.
  const uint16_t d = build.Staff("D");
  build.Play(a, 1, 4).Play(a, 13, 40);
  build.Play(b, 1, 7).Play(b, 13, 40);
  PlayTiedOver(build, d, 1, 40);
  EXPECT_EQ(FirstStop(5).substr(0, 4), "1/12");
  EXPECT_EQ(proposal, "Use Proposed Cue:  D, actual measure 8 to 12");
}

TEST_F(SearchTest, ProgressCountsStavesTimesMeasures) {
  Orchestra();
  Search(Mark(8));
  ASSERT_FALSE(host.ProgressRuns().empty());
  // The last step: from the oboe's measure 32 on, each report adds the
  // measures walked since the one before (the first counts from the start).
  const quivrasim::ProgressRun& walk = host.ProgressRuns().back();
  EXPECT_EQ(walk.total, 2 * 40);
  EXPECT_EQ(walk.steps, (std::vector<int32_t>{72, 1, 1, 1, 1, 1, 1, 1, 1}));
  for (const auto& run : host.ProgressRuns()) EXPECT_TRUE(run.ended);
}

class InteractiveSearch : public SearchTest {
 protected:
  void SetUp() override {
    SearchTest::SetUp();
    Orchestra();
    host.Select(1, 1, 2, 40);  // everything, selected by the user
  }
};

TEST_F(InteractiveSearch, StopsAtTheLocationWithTheProposalSelected) {
  RunDialog([&](DialogSession& d) {
    Configure(d, SearchOptions{});
    d.Click(IDC_START);
    // The staff and the rest's end, then the proposal.
    EXPECT_EQ(Shows(d, {IDC_STATUS, IDC_STAFF_NUMBER, IDC_MEASURE_NUMBER, IDC_USE_PROPOSED, IDC_CUE_NAME, IDC_STAVES,
                        IDC_CREATE, IDC_CONTINUE, IDC_START, IDC_CLOSE}),
              "Add cue notes here? | 2 | 12 | [x] Use Proposed Cue:  Fl., actual measure 8 to 12 | Fl. |  | "
              "Create C&ue Notes | &Continue Search | &Start Search (off) | Stop");
    EXPECT_EQ(d.Focus(), IDC_CREATE);
    EXPECT_EQ(d.Items(IDC_STAVES), (std::vector<std::string>{"Flute", "Oboe"}));
    EXPECT_EQ(d.SelectedLines(IDC_STAVES), std::vector<int>{1});
    EXPECT_EQ(host.MenuCommands(), std::vector<uint32_t>{kQXMenuShowSelection});
    const QXRegion selected = host.Selection();
    EXPECT_EQ(std::tie(selected.startSlot, selected.startMeasure, selected.endMeasure, selected.endPos),
              std::make_tuple(1, 8, 12, kQXEndOfMeasure));
    ASSERT_FALSE(host.Scrolls().empty());
    EXPECT_EQ(std::tie(host.Scrolls().back().measure, host.Scrolls().back().instrument), std::make_tuple(8, oboe));
    EXPECT_FALSE(host.Doc().EditOpen()) << "nothing to keep from the search itself";
  });
}

TEST_F(InteractiveSearch, ContinueGoesToTheNextLocationThenFinishes) {
  RunDialog([&](DialogSession& d) {
    Configure(d, SearchOptions{});
    d.Click(IDC_START);
    d.Click(IDC_CONTINUE);
    EXPECT_EQ(d.Text(IDC_MEASURE_NUMBER), "31");
    EXPECT_EQ(d.Text(IDC_USE_PROPOSED), "Use Proposed Cue:  Fl., actual measure 27 to 31");
    d.Click(IDC_CONTINUE);
    EXPECT_EQ(Shows(d, {IDC_CLOSE, IDC_STATUS, IDC_START, IDC_CREATE}),
              "Done | Ready. | &Start Search | Create C&ue Notes (off)") << "nothing more: no message, the caption says so";
  });
  EXPECT_TRUE(host.Alerts().empty());
  EXPECT_EQ(host.Selection().startMeasure, 1) << "the user's selection is back";
  EXPECT_EQ(host.Selection().endSlot, 2);
}

TEST_F(InteractiveSearch, StopReturnsToIdleAndTheNextStartIsFresh) {
  RunDialog([&](DialogSession& d) {
    Configure(d, SearchOptions{});
    d.Click(IDC_START);
    d.Click(IDC_CLOSE);  // Stop
    EXPECT_FALSE(d.Ended());
    EXPECT_EQ(Shows(d, {IDC_STATUS, IDC_CLOSE, IDC_START, IDC_CONTINUE}),
              "Ready. | C&lose | &Start Search | &Continue Search (off)");
    EXPECT_EQ(host.Selection().startMeasure, 1);
    EXPECT_EQ(host.Selection().endMeasure, 40);
    d.Click(IDC_START);
    EXPECT_EQ(d.Text(IDC_MEASURE_NUMBER), "12") << "from the start again";
    d.Click(IDC_CLOSE);
    d.Click(IDC_CLOSE);
    EXPECT_TRUE(d.Ended());
  });
}

TEST_F(InteractiveSearch, TheUsersOwnSelectionClearsTheCueNameAndTheProposalRestoresIt) {
  RunDialog([&](DialogSession& d) {
    Configure(d, SearchOptions{});
    d.Click(IDC_START);
    d.Click(IDC_USE_SELECTION);
    EXPECT_EQ(d.Text(IDC_CUE_NAME), "(automatic)");
    d.Click(IDC_USE_PROPOSED);
    EXPECT_EQ(d.Text(IDC_CUE_NAME), "Fl.");
  });
}

TEST_F(InteractiveSearch, ClosingTheDialogForgetsTheSearch) {
  RunDialog([&](DialogSession& d) {
    Configure(d, SearchOptions{});
    d.Click(IDC_START);
    d.CloseWindow();
  });
  RunDialog([&](DialogSession& d) {
    d.Command(IDC_CONTINUE);  // no search to continue: a fresh start
    EXPECT_EQ(d.Text(IDC_MEASURE_NUMBER), "12");
  });
}

TEST_F(InteractiveSearch, TheUsersOwnCueMustComeFromOneStaff) {
  RunDialog([&](DialogSession& d) {
    Configure(d, SearchOptions{});
    d.Click(IDC_START);
    d.Click(IDC_USE_SELECTION);
    host.Select(1, 5, 2, 6);
    d.Click(IDC_CREATE);
    EXPECT_EQ(AlertIds(host), std::vector<uint32_t>{IDS_ONE_STAFF_ONLY});
    EXPECT_EQ(AlertAt(host, 0).style, kQXAlertError);
    EXPECT_EQ(d.Text(IDC_STATUS), "Adding cue notes...") << "the dialog is left as it was";
    EXPECT_TRUE(d.Enabled(IDC_CREATE)) << "still at the location";
    host.ClearSelection();
    d.Click(IDC_CREATE);
    EXPECT_EQ(AlertIds(host), (std::vector<uint32_t>{IDS_ONE_STAFF_ONLY, IDS_SELECT_CUE_MEASURES}));
    EXPECT_EQ(AlertAt(host, 1).text,
              "Please select the measures to use as a cue, using the MassEdit tool. Alternatively, you can choose "
              "'Use Proposed Cue' in the dialog box.");
  });
  EXPECT_EQ(host.Doc().UndoStack().size(), 0u);
}

TEST_F(SearchTest, EachFrameIsReadOnceBySearchAndOnceByTheTempoMap) {
  build.Measures(60);
  const uint16_t a = build.Staff("Flute");
  const uint16_t upper = build.Staff("Piano");
  const uint16_t lower = build.Staff();
  const uint16_t c = build.Staff("Horn");
  build.Group(1, upper, lower, "Piano", kQXGroupRestsAsOne);
  build.Play(a, 1, 60);
  build.Play(upper, 1, 10).Play(upper, 30, 60);
  build.Play(lower, 1, 12).Play(lower, 25, 60);
  build.Play(c, 1, 3).Play(c, 20, 25).Play(c, 50, 60);
  build.TempoChangeQpm(20, 0, 90);
  host.ResetCounters();
  Search(MarkSeconds(10));
  EXPECT_EQ(MarkerCount(host), 3);
  EXPECT_EQ(host.MaxLoadsOfOneFrame(1), 1) << "the rest measurement reads each frame at most once";
  EXPECT_EQ(host.MaxLoadsOfOneFrame(0), 1) << "the tempo map reads each frame once";
}

}  // namespace
}  // namespace ostinel_test
