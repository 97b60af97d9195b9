// The cued scores opened in a real notation program (MuseScore 3, headless):
// no import error the original does not give, and as many small notes as
// the command says it wrote.
#include <cstdlib>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "cli_harness.h"
#include "score_checks.h"

namespace ostinel_test {
namespace {

struct Reading {
  bool converted = false;
  std::multiset<std::string> errors;  // what the import complained of, without line numbers
  int smallNotes = 0;
  std::string log;
};

bool ReaderAtHand() { return std::system("command -v mscore3 > /dev/null 2>&1") == 0; }

Reading ReadWithMuseScore(const std::string& score, TempDir& dir, const std::string& name) {
  const std::string converted = dir.Path(name + ".mscx");
  const std::string log = dir.Path(name + ".log");
  const std::string command = "QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR='" + dir.Path("") + "' mscore3 -o '" +
                              converted + "' '" + score + "' > '" + log + "' 2>&1";
  Reading reading;
  reading.converted = std::system(command.c_str()) == 0 && Exists(converted);
  reading.log = ReadText(log);
  // Everything the import says but its own progress lines is a complaint.
  // "restHeight" is no complaint of the import but a note of the layout: a
  // rest placed over notes far below the staff (a cue from a low instrument
  // in a high one, which is not transposed).
  static const std::regex kProgress("^(convert <|\tto <|\\.\\.\\. success!|QStandardPaths|restHeight < 0)");
  static const std::regex kPlace("line [0-9]+ col [0-9]+|0x[0-9a-f]+");
  std::istringstream lines(reading.log);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && !std::regex_search(line, kProgress)) reading.errors.insert(std::regex_replace(line, kPlace, ""));
  }
  pugi::xml_document document;
  if (document.load_file(converted.c_str())) {
    for (const pugi::xpath_node& chord : document.select_nodes("//Chord")) {
      const bool small = chord.node().child("small").text().as_int() == 1;
      for (pugi::xml_node note = chord.node().child("Note"); note; note = note.next_sibling("Note")) {
        if (small || note.child("small").text().as_int() == 1) ++reading.smallNotes;
      }
    }
  }
  return reading;
}

class Reader : public ::testing::TestWithParam<std::string> {};

TEST_P(Reader, ReadsTheCuedScoreAsWellAsTheOriginalAndSeesEveryCueNote) {
  if (!ReaderAtHand()) GTEST_SKIP() << "mscore3 is not installed (scripts/setup installs it)";
  const std::string& score = GetParam();
  TempDir dir;
  const Reading original = ReadWithMuseScore(score, dir, "original");
  ASSERT_TRUE(original.converted) << original.log;
  for (const int threshold : {4, 8, 12}) {
    const std::string output = dir.Path("cued" + std::to_string(threshold) + ".musicxml");
    const CommandRun run = RunOstinel({score, "-o", output, "--mode", "add", "--measures", "--threshold",
                                       std::to_string(threshold), "--with", "all", "--json", dir.Path("summary.json")},
                                      dir.Path("config"));
    ASSERT_EQ(run.status, 0) << run.err;
    const Reading cued = ReadWithMuseScore(output, dir, "cued" + std::to_string(threshold));
    ASSERT_TRUE(cued.converted) << cued.log;
    std::multiset<std::string> extra;
    std::set_difference(cued.errors.begin(), cued.errors.end(), original.errors.begin(), original.errors.end(),
                        std::inserter(extra, extra.begin()));
    EXPECT_TRUE(extra.empty()) << "threshold " << threshold << ": " << *extra.begin();
    EXPECT_EQ(cued.smallNotes, ReadJson(dir.Path("summary.json"))["totals"]["cueNotes"].get<int>())
        << "threshold " << threshold;
  }
}

INSTANTIATE_TEST_SUITE_P(Scores, Reader, ::testing::ValuesIn(AllScores()),
                         [](const auto& param) { return "score" + std::to_string(param.index); });

}  // namespace
}  // namespace ostinel_test
