// Review in the browser, as a person does it in Chromium: the page shows
// each proposed cue engraved, its controls decide as the terminal's answers
// do, and the server answers only its own page.
#include <cstdio>

#include <nlohmann/json.hpp>

#include "cli_harness.h"
#include "score_checks.h"
#include "score_compare.h"

namespace ostinel_test {
namespace {

using Json = nlohmann::json;

std::string Output(const std::string& command) {
  std::string text;
  if (std::FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    for (size_t read; (read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, read);
    EXPECT_EQ(pclose(pipe), 0) << text;
  }
  return text;
}

void ExpectEngraved(const Json& figures, size_t count, const std::string& what) {
  ASSERT_EQ(figures.size(), count) << what;
  for (const Json& figure : figures) {
    EXPECT_GE(figure["staves"].get<int>(), 1) << what << ": " << figure;
    EXPECT_GE(figure["strokes"].get<int>(), 4) << what << ": " << figure;
  }
}

TEST(BrowserReview, DecidesAsTheTerminalWouldAndShowsEachCueEngraved) {
  TempDir dir;
  // Name the first cue and create it, skip one, take one from another staff,
  // create one as proposed, and stop.
  WriteText(dir.Path("answers.json"),
            R"([{"name": "Ob. solo"}, "create", "skip", {"take": ["Violin I", "12", "16"]}, "create", "create", "stop"])");
  const Json seen = Json::parse(Output("timeout 600 node '" + SourceRoot() + "/tests/browser/review.js' '" +
                                       std::string(OSTINEL_COMMAND_PATH) + "' '" + SamplePath() + "' '" + dir.Path("") +
                                       "' '" + dir.Path("answers.json") + "'"),
                                nullptr, false);
  ASSERT_TRUE(seen.is_object()) << "the browser gave no answer";
  EXPECT_EQ(seen["exit"], 0) << seen["err"];
  EXPECT_EQ(seen["console"], Json::array());

  // Only the page's own requests are answered.
  EXPECT_EQ(seen["refusals"], (Json{{"noToken", 403}, {"wrongToken", 403}, {"answerWithoutToken", 403},
                                    {"foreignHost", 403}, {"outsideThePage", 404}, {"aFileBesideThePage", 404},
                                    {"withToken", 200}}));

  // The first location: the source passage and the receiving staff with the
  // proposed cue, then that staff as written, each a real staff with stems.
  EXPECT_EQ(seen["captions"], (Json{"Oboe, measures 26–30: the proposed cue",
                                    "Flute, measures 26–30, with the cue as it would be written"}));
  ExpectEngraved(seen["figures"]["first"], 2, "the first location");
  EXPECT_EQ(seen["writtenCaptions"], Json{"Flute, measures 26–30, as written"});
  ExpectEngraved(seen["figures"]["written"], 1, "the staff as written");
  EXPECT_EQ(seen["takenCaptions"][0], "Violin I, measures 12–16: the cue chosen");
  EXPECT_EQ(seen["report"], (Json{{"status", 200}, {"figures", 10}}));

  // The same answers at the terminal write the same score and summary.
  const CommandRun terminal = RunOstinel({SamplePath(), "--mode", "review", "--threshold", "10", "--measures", "-o",
                                          dir.Path("terminal.musicxml"), "--json", dir.Path("terminal.json")},
                                         dir.Path("terminal-config"), "n Ob. solo\nc\ns\nr Violin I 12-16\nc\nc\nq\n");
  ASSERT_EQ(terminal.status, 0) << terminal.err;
  EXPECT_EQ(ReadText(dir.Path("browser.musicxml")), ReadText(dir.Path("terminal.musicxml")));
  const Json browser = ReadJson(dir.Path("browser.json"));
  const Json expected = ReadJson(dir.Path("terminal.json"));
  EXPECT_EQ(browser["locations"], expected["locations"]);
  EXPECT_EQ(browser["totals"], expected["totals"]);
  std::vector<std::string> actions;
  for (const Json& location : browser["locations"]) actions.push_back(location["action"]);
  EXPECT_EQ(actions, (std::vector<std::string>{"written", "skipped", "written", "written", "stopped"}));
  EXPECT_EQ(browser["locations"][2]["source"]["staff"]["name"], "Violin I");
  EXPECT_EQ(seen["summary"].size(), 6u) << seen["summary"];
  EXPECT_EQ(seen["summary"][2], "Oboe: rest in measures 1-16 (16 measures); proposed cue Horn in F, measures 12-16; "
                                "cue written to Oboe from Violin I, measures 12-16");

  // And the score is the original with exactly those cues, named as typed.
  const Verdict verdict = CompareFiles(SamplePath(), dir.Path("browser.musicxml"), browser);
  EXPECT_TRUE(verdict.findings.empty()) << verdict;
  EXPECT_EQ(verdict.Added("cue name"), 3) << verdict;
  EXPECT_THAT(ReadText(dir.Path("browser.musicxml")), HasSubstr(">Ob. solo</words>"));
}

}  // namespace
}  // namespace ostinel_test
