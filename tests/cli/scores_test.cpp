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
