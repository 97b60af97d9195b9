// Whole scores through the command: the project's sample and real-world
// scores written by other programs.
#include <cstdlib>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "cli_harness.h"

namespace ostinel_test {
namespace {

std::vector<std::string> Scores() {
  std::vector<std::string> scores = {SamplePath()};
  const std::string shared = SharedScoresDir();
  if (!shared.empty()) {
    for (const char* name : {"haydn-op74no1-mvt1.mxl", "monteverdi-madrigal-3-1.mxl", "schubert-lindenbaum.musicxml",
                             "weber-concertino-clarinet.mxl"}) {
      scores.push_back(shared + "/" + name);
    }
  }
  return scores;
}

// Slot of each staff: parts in order, each with as many staves as it has.
std::vector<int> PartOfSlot(const pugi::xml_document& score) {
  std::vector<int> parts;
  int part = 0;
  for (pugi::xml_node node = score.document_element().child("part"); node; node = node.next_sibling("part")) {
    ++part;
    int staves = 1;
    for (const pugi::xpath_node& staff : node.select_nodes(".//attributes/staves")) {
      staves = std::max(staves, staff.node().text().as_int(1));
    }
    for (int s = 0; s < staves; ++s) parts.push_back(part);
  }
  return parts;
}

struct ScoreMode {
  std::string score;
  std::string mode;
};

void PrintTo(const ScoreMode& c, std::ostream* os) { *os << c.score.substr(c.score.rfind('/') + 1) << " " << c.mode; }

class WholeScores : public ::testing::TestWithParam<ScoreMode> {};

TEST_P(WholeScores, KeepTheirMusicAndGetTheirCuesWhereTheSummarySays) {
  const ScoreMode& c = GetParam();
  TempDir dir;
  const std::string output = dir.Path("out.musicxml");
  std::string createEverywhere;
  for (int i = 0; i < 200; ++i) createEverywhere += "c\n";
  const CommandRun run = RunOstinel({c.score, "-o", output, "--mode", c.mode, "--measures", "--threshold", "8",
                                     "--with", "all", "--json", dir.Path("summary.json")},
                                    dir.Path("config"), createEverywhere);
  ASSERT_EQ(run.status, 0) << run.err;
  pugi::xml_document in;
  pugi::xml_document out;
  ASSERT_TRUE(Load(c.score, &in));
  ASSERT_TRUE(Load(output, &out));
  EXPECT_EQ(Music(out, false), Music(in, false)) << "the score's own music is unchanged";

  // Every cue note stands in a destination part, within the range the summary gives.
  const std::vector<int> partOf = PartOfSlot(out);
  std::set<std::pair<int, int>> allowed;
  std::set<int> promised;
  const std::string json = ReadText(dir.Path("summary.json"));
  const std::regex location(
      "\"proposal\": \"[^\"]*, actual measure (\\d+) to (\\d+)\", \"action\": \"cue written[^\"]*\", "
      "\"destinations\": \\[[^\\]]*\\], \"destinationSlots\": \\[([0-9, ]*)\\]");
  int written = 0;
  for (std::sregex_iterator it(json.begin(), json.end(), location), end; it != end; ++it) {
    ++written;
    const int first = std::stoi((*it)[1]);
    const int last = std::stoi((*it)[2]);
    std::istringstream slots((*it)[3].str());
    for (std::string slot; std::getline(slots, slot, ',');) {
      const int part = partOf.at(static_cast<size_t>(std::stoi(slot) - 1));
      promised.insert(part);
      for (int m = first; m <= last; ++m) allowed.insert({part, m});
    }
  }
  std::set<int> cued;
  for (const ScoreNote& note : Music(out, true)) {
    if (note.what.rfind("cue ", 0) != 0) continue;
    EXPECT_EQ(allowed.count({note.part, note.measure}), 1u) << "part " << note.part << " measure " << note.measure;
    cued.insert(note.part);
  }
  EXPECT_EQ(cued, promised);
  if (c.mode == "mark") {
    EXPECT_EQ(written, 0);
    EXPECT_TRUE(cued.empty());
  }
  if (c.score == SamplePath() && c.mode != "mark") {
    EXPECT_GT(written, 5);
  }
}

std::vector<ScoreMode> Cases() {
  std::vector<ScoreMode> cases;
  for (const std::string& score : Scores()) {
    for (const char* mode : {"mark", "add", "review"}) cases.push_back(ScoreMode{score, mode});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Modes, WholeScores, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<ScoreMode>& param) { return "case" + std::to_string(param.index); });

TEST(WholeScores, WithNothingToCueTheWrittenScoreIsTheSameMusic) {
  for (const std::string& score : Scores()) {
    TempDir dir;
    const CommandRun run =
        RunOstinel({score, "-o", dir.Path("out.musicxml"), "--mode", "add", "--measures", "--threshold", "999"},
                   dir.Path("config"));
    ASSERT_EQ(run.status, 0) << run.err;
    pugi::xml_document in;
    pugi::xml_document out;
    ASSERT_TRUE(Load(score, &in));
    ASSERT_TRUE(Load(dir.Path("out.musicxml"), &out));
    EXPECT_EQ(Music(out, true), Music(in, true)) << score;
  }
}

TEST(WholeScores, TheCuedSampleIsValidMusicXml) {
  const std::string schema = SchemaDir();
  if (schema.empty() || std::system("command -v xmllint > /dev/null") != 0) {
    GTEST_SKIP() << "the MusicXML 4.0 schema or xmllint is not at hand";
  }
  TempDir dir;
  const std::string output = dir.Path("sample.musicxml");
  ASSERT_EQ(RunOstinel({SamplePath(), "-o", output, "--mode", "add", "--measures", "--threshold", "10", "--with", "all"},
                       dir.Path("config"))
                .status,
            0);
  const std::string command = "XML_CATALOG_FILES='" + schema + "/catalog.xml' xmllint --noout --nonet --schema '" +
                              schema + "/musicxml.xsd' '" + output + "' 2> '" + dir.Path("xmllint.txt") + "'";
  EXPECT_EQ(std::system(command.c_str()), 0) << ReadText(dir.Path("xmllint.txt"));
}

}  // namespace
}  // namespace ostinel_test
