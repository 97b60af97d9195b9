// Whole searches over a generated orchestral score.
#include <algorithm>

#include "generated_score.h"
#include "harness.h"

namespace ostinel_test {
namespace {

using quivrasim::DialogSession;

class Orchestra : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    // Without keyboard groups: the upper staff of a group that rests as one
    // can be proposed for music only its lower staff plays (see the notes of
    // the search's proposal), which leaves such a location to be found again.
    ostinel_bench::GenerateScore(host.Doc(), ostinel_bench::ScoreShape{16, 200, 7, false});
  }
  // Runs a search to its end, pressing Continue wherever it stops; returns
  // the captions of the proposal at the stops.
  std::vector<std::string> RunToTheEnd(const SearchOptions& options) {
    std::vector<std::string> stops;
    RunDialog([&](DialogSession& d) {
      Configure(d, options);
      d.Click(IDC_START);
      while (d.Enabled(IDC_CONTINUE)) {
        stops.push_back(d.Text(IDC_USE_PROPOSED));
        d.Click(IDC_CONTINUE);
      }
      EXPECT_EQ(d.Text(IDC_STATUS), "Ready.");
      d.Click(IDC_CLOSE);
    });
    return stops;
  }
};

TEST_F(Orchestra, MarkModeMarksEveryLocationInOneEdit) {
  const uint64_t before = host.Doc().Fingerprint();
  EXPECT_TRUE(RunToTheEnd({.mark = true, .threshold = 20}).empty()) << "Mark mode never stops";
  EXPECT_EQ(MarkerCount(host), 29);
  EXPECT_EQ(AlertAt(host, -1).text, "A total of 29 locations were marked in the score.");
  EXPECT_EQ(host.Doc().UndoLabels(), std::vector<std::string>{"Ostinel (Mark Cue Locations)"});
  ASSERT_TRUE(host.Doc().Undo());
  EXPECT_EQ(host.Doc().Fingerprint(), before);
}

TEST_F(Orchestra, AutomaticAddModeCuesEveryLocationWithAProposal) {
  const uint64_t before = host.Doc().Fingerprint();
  const SearchOptions automatic{.interactive = false, .threshold = 20};
  const std::vector<std::string> stops = RunToTheEnd(automatic);
  for (const std::string& stop : stops) EXPECT_EQ(stop, "Use &Proposed Cue:  None") << "it stops only without one";
  EXPECT_EQ(AlertAt(host, -1).text, "A total of 29 cues were created in the score.");
  const std::vector<std::string> labels = host.Doc().UndoLabels();
  EXPECT_EQ(labels.size(), stops.size() + 1) << "one edit per pass";
  EXPECT_TRUE(std::all_of(labels.begin(), labels.end(), [](const std::string& l) { return l == "Ostinel"; }));
  EXPECT_EQ(host.Doc().UnjournaledChanges(), 0);

  // Searching the result again finds nothing more to cue.
  const uint64_t cued = host.Doc().Fingerprint();
  host.Alerts().clear();
  EXPECT_EQ(RunToTheEnd(automatic), stops);
  for (const auto& alert : host.Alerts()) EXPECT_EQ(alert.text.find("created"), std::string::npos) << alert.text;
  EXPECT_EQ(host.Doc().Fingerprint(), cued);

  while (host.Doc().Undo()) {
  }
  EXPECT_EQ(host.Doc().Fingerprint(), before) << "every edit undone, the score is as it was";
}

}  // namespace
}  // namespace ostinel_test
