// Whole scores through the command: the project's sample and real-world
// scores written by other programs, read back by the command's own reader
// and by a real notation program.
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>

#include "cli_harness.h"
#include "score_checks.h"

namespace ostinel_test {
namespace {

using Json = nlohmann::json;

std::string Name(const std::string& path) { return path.substr(path.rfind('/') + 1); }

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

void PrintTo(const ScoreMode& c, std::ostream* os) { *os << Name(c.score) << " " << c.mode; }

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
  const pugi::xml_document out = Read(output);
  EXPECT_EQ(Music(out, false), Music(Read(c.score), false)) << "the score's own music is unchanged";

  // Every cue note stands in a destination part, within the range the summary gives.
  const std::vector<int> partOf = PartOfSlot(out);
  std::set<std::pair<int, int>> allowed;
  std::set<int> promised;
  const Json summary = ReadJson(dir.Path("summary.json"));
  int written = 0;
  for (const Json& location : summary["locations"]) {
    if (location["action"] != "cue written") continue;
    ++written;
    for (const Json& destination : location["destinations"]) {
      const int part = partOf.at(destination["slot"].get<size_t>() - 1);
      promised.insert(part);
      for (int m = location["source"]["first"]["index"]; m <= location["source"]["last"]["index"]; ++m) {
        allowed.insert({part, m});
      }
    }
  }
  std::set<int> cued;
  for (const ScoreNote& note : Music(out, true)) {
    if (note.what.rfind("cue ", 0) != 0) continue;
    EXPECT_EQ(allowed.count({note.part, note.measure}), 1u) << "part " << note.part << " measure " << note.measure;
    cued.insert(note.part);
  }
  EXPECT_EQ(cued, promised);
  EXPECT_EQ(summary["totals"]["cuesWritten"], written);
  if (c.mode == "mark") {
    EXPECT_EQ(written, 0);
    EXPECT_TRUE(cued.empty());
    EXPECT_EQ(summary["totals"]["markers"], summary["totals"]["marked"]) << "one marker per location, written once";
  }
}

std::vector<ScoreMode> Cases() {
  std::vector<ScoreMode> cases;
  for (const std::string& score : AllScores()) {
    for (const char* mode : {"mark", "add", "review"}) cases.push_back(ScoreMode{score, mode});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Modes, WholeScores, ::testing::ValuesIn(Cases()));

// The cued files, byte for byte, as they were before the command was made
// faster: any change to what is written shows here (FNV-1a of the file).
TEST(WholeScores, CuedFilesStayByteForByteAsTheyWere) {
  const std::map<std::string, std::pair<uint64_t, uint64_t>> expected = {  // add, mark
      {"orchestral-excerpt.musicxml", {0x6e9ad0444572cc42, 0xd218193e8999e4aa}},
      {"haydn-op74no1-mvt1.mxl", {0x8b307161bc5fa0e4, 0x8b307161bc5fa0e4}},
      {"monteverdi-madrigal-3-1.mxl", {0xd20245819a1cceef, 0x9b8f5996063a81bf}},
      {"schubert-lindenbaum.musicxml", {0xbe132996379b60b3, 0xbe132996379b60b3}},
      {"weber-concertino-clarinet.mxl", {0x0a64b6b3577b3858, 0xb8122c8a9fcd9edd}},
  };
  for (const std::string& score : AllScores()) {
    for (const std::string mode : {"add", "mark"}) {
      TempDir dir;
      const std::string output = dir.Path("out.musicxml");
      const CommandRun run = RunOstinel(
          {score, "-o", output, "--mode", mode, "--measures", "--threshold", "8", "--with", "all"}, dir.Path("config"));
      ASSERT_EQ(run.status, 0) << run.err;
      uint64_t hash = 0xcbf29ce484222325ull;
      for (const char c : ReadText(output)) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
      const auto& [add, mark] = expected.at(Name(score));
      EXPECT_EQ(hash, mode == "add" ? add : mark) << Name(score) << " " << mode;
    }
  }
}

// The sample's summary, as the README prints it: the proposal's terms, the
// destinations and the counts all show in it.
TEST(WholeScores, TheSampleGivesTheSummaryTheReadmeShows) {
  TempDir dir;
  const CommandRun run =
      RunOstinel({SamplePath(), "-o", dir.Path("out.musicxml"), "--mode", "add", "--measures", "--threshold", "10",
                  "--desired", "5", "--allowed", "15", "--size", "75", "--with", "articulations,clefs,lyrics",
                  "--without", "expressions,smart-shapes,chords"},
                 dir.Path("config"));
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string expected = ReadText(SourceRoot() + "/samples/orchestral-excerpt.summary.txt");
  EXPECT_EQ(run.out.substr(0, run.out.rfind("Written: ")), expected);
  // The lines the README quotes are the command's own.
  std::istringstream readme(ReadText(SourceRoot() + "/README.md"));
  int quoted = 0;
  for (std::string line; std::getline(readme, line);) {
    if (line.rfind("    ", 0) != 0 || line.find(": rest in measures ") == std::string::npos) continue;
    ++quoted;
    EXPECT_THAT(expected, HasSubstr(line.substr(4) + "\n")) << line;
  }
  EXPECT_GE(quoted, 2);
}

// The same keys, at every level, in two JSON documents (an array by its first item).
void ExpectSameShape(const Json& documented, const Json& actual, const std::string& where) {
  ASSERT_EQ(documented.type_name(), std::string(actual.type_name())) << where;
  if (documented.is_object()) {
    std::set<std::string> keys, actualKeys;
    for (const auto& [key, value] : documented.items()) keys.insert(key);
    for (const auto& [key, value] : actual.items()) actualKeys.insert(key);
    EXPECT_EQ(keys, actualKeys) << where;
    for (const auto& [key, value] : documented.items()) {
      if (actual.contains(key) && !value.is_null() && !actual[key].is_null()) ExpectSameShape(value, actual[key], where + "." + key);
    }
  } else if (documented.is_array() && !documented.empty() && !actual.empty()) {
    ExpectSameShape(documented[0], actual[0], where + "[0]");
  }
}

// The README's example of the JSON summary is what the command writes.
TEST(WholeScores, TheReadmesJsonExampleHasTheSummarysShape) {
  std::istringstream readme(ReadText(SourceRoot() + "/README.md"));
  std::string example;
  bool inSection = false;
  for (std::string line; std::getline(readme, line);) {
    if (line == "### The JSON summary") inSection = true;
    if (!inSection) continue;
    if (line.rfind("    ", 0) == 0) {
      example += line.substr(4) + "\n";
    } else if (!example.empty() && !line.empty()) {
      break;
    }
  }
  const Json documented = Json::parse(example);
  TempDir dir;
  const CommandRun run = RunOstinel({SamplePath(), "-o", dir.Path("out.musicxml"), "--mode", "add", "--measures",
                                     "--threshold", "10", "--json", "-"},
                                    dir.Path("config"));
  ASSERT_EQ(run.status, 0) << run.err;
  ExpectSameShape(documented, Json::parse(run.out), "summary");
}

// Cued at three thresholds, every score read back by the command holds each
// cue exactly as its source plays it, and every measure still adds up.
struct ScoreThreshold {
  std::string score;
  int threshold;
};

void PrintTo(const ScoreThreshold& c, std::ostream* os) { *os << Name(c.score) << " at " << c.threshold; }

class RoundTrip : public ::testing::TestWithParam<ScoreThreshold> {};

TEST_P(RoundTrip, EveryCueIsItsSourceAndEveryMeasureAddsUp) {
  const ScoreThreshold& c = GetParam();
  TempDir dir;
  const std::string output = dir.Path("out.musicxml");
  const CommandRun run = RunOstinel({c.score, "-o", output, "--mode", "add", "--measures", "--threshold",
                                     std::to_string(c.threshold), "--with", "all", "--json", dir.Path("summary.json")},
                                    dir.Path("config"));
  ASSERT_EQ(run.status, 0) << run.err;
  const Json summary = ReadJson(dir.Path("summary.json"));
  const int sourceLayer = summary["settings"]["sourceLayer"].get<int>() - 1;
  const StaffMusic source = ReadMusic(c.score, sourceLayer);
  const StaffMusic cues = ReadMusic(output, -1);
  size_t compared = 0;
  for (const Json& location : summary["locations"]) {
    if (location["action"] != "cue written") continue;
    const int from = location["source"]["staff"]["slot"];
    for (const Json& destination : location["destinations"]) {
      for (int m = location["source"]["first"]["index"]; m <= location["source"]["last"]["index"]; ++m) {
        const auto want = source.find({from, m});
        const auto got = cues.find({destination["slot"].get<int>(), m});
        EXPECT_EQ(got == cues.end() ? std::vector<EntryView>{} : got->second,
                  want == source.end() ? std::vector<EntryView>{} : want->second)
            << "staff " << destination["slot"] << " measure " << m << " from staff " << from;
        compared += want == source.end() ? 0 : want->second.size();
      }
    }
  }
  size_t cueEntries = 0;
  for (const auto& [where, entries] : cues) cueEntries += entries.size();
  EXPECT_EQ(cueEntries, compared) << "no cue entries but those of the cues the summary names";

  // Each voice ends where it ended before (in the finer divisions a cue may
  // have brought), and each cue voice fills its measure.
  const auto before = MeasureTimes(Read(c.score));
  const auto after = MeasureTimes(Read(output));
  ASSERT_EQ(after.size(), before.size());
  for (size_t p = 0; p < after.size(); ++p) {
    for (size_t m = 0; m < after[p].size(); ++m) {
      const MeasureTime& was = before[p][m];
      const MeasureTime& is = after[p][m];
      ASSERT_EQ(is.divisions % was.divisions, 0) << "part " << p + 1 << " measure " << m + 1;
      const int64_t factor = is.divisions / was.divisions;
      int64_t length = 0;
      for (const auto& [voice, end] : was.voiceEnds) length = std::max(length, end * factor);
      for (const auto& [voice, end] : is.voiceEnds) {
        const auto own = was.voiceEnds.find(voice);
        if (own != was.voiceEnds.end()) {
          EXPECT_EQ(end, own->second * factor) << "part " << p + 1 << " measure " << m + 1 << " voice " << voice;
        } else {
          EXPECT_TRUE(is.cueVoice.at(voice)) << "part " << p + 1 << " measure " << m + 1 << " voice " << voice;
          EXPECT_EQ(end, length) << "cue voice " << voice << ", part " << p + 1 << " measure " << m + 1;
        }
      }
    }
  }
}

std::vector<ScoreThreshold> RoundTrips() {
  std::vector<ScoreThreshold> cases;
  for (const std::string& score : AllScores()) {
    for (const int threshold : {4, 8, 12}) cases.push_back(ScoreThreshold{score, threshold});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Thresholds, RoundTrip, ::testing::ValuesIn(RoundTrips()));

TEST(WholeScores, WithNothingToCueTheWrittenScoreIsTheSameMusic) {
  for (const std::string& score : AllScores()) {
    TempDir dir;
    const CommandRun run =
        RunOstinel({score, "-o", dir.Path("out.musicxml"), "--mode", "add", "--measures", "--threshold", "999"},
                   dir.Path("config"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Music(Read(dir.Path("out.musicxml")), true), Music(Read(score), true)) << score;
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
