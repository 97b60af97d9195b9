// The HTML report: every location engraved, as a browser shows it.
#include <cstdio>
#include <cstdlib>

#include <nlohmann/json.hpp>

#include "cli_harness.h"
#include "excerpt.h"
#include "report.h"
#include "score_checks.h"

namespace ostinel_test {
namespace {

using Json = nlohmann::json;

int Count(const std::string& text, const std::string& what) {
  int count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

// The page as a person sees it in Chromium: for each engraved figure, the
// staves and the stems and barlines its pixels show; what the console said;
// and a screenshot of the whole page.
Json Look(const std::string& page, const std::string& screenshot) {
  const std::string command = "timeout 300 node '" + SourceRoot() + "/tests/browser/pixels.js' 'file://" + page +
                              "' '" + screenshot + "'";
  std::string text;
  if (std::FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    for (size_t read; (read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, read);
    EXPECT_EQ(pclose(pipe), 0) << text;
  }
  return Json::parse(text, nullptr, false);
}

TEST(Report, ShowsEveryLocationEngravedAsRealNotation) {
  TempDir dir;
  const CommandRun run = RunOstinel({SamplePath(), "-o", dir.Path("cued.musicxml"), "--mode", "add", "--measures",
                                     "--threshold", "10", "--json", dir.Path("summary.json"), "--report",
                                     dir.Path("report.html")},
                                    dir.Path("config"));
  ASSERT_EQ(run.status, 0) << run.err;
  const int locations = static_cast<int>(ReadJson(dir.Path("summary.json"))["locations"].size());
  ASSERT_GT(locations, 10);
  const std::string page = ReadText(dir.Path("report.html"));
  EXPECT_EQ(Count(page, "<script"), 0) << "the page needs no script";
  EXPECT_EQ(Count(page, "<tr><td><a href=\"#location-"), locations) << "a row per location, linked";
  EXPECT_THAT(page, HasSubstr("<td>Flute</td><td>measures 9–30 (22 measures, 55.0 s)</td><td>Oboe, measures 26–30</td>"));

  const Json seen = Look(dir.Path("report.html"), dir.Path("report.png"));
  ASSERT_TRUE(seen.is_object()) << "the browser gave no answer";
  EXPECT_EQ(seen["console"], Json::array());
  // Each location: the source passage and the receiving staff, each drawn
  // with its five-line staff, stems and barlines.
  ASSERT_EQ(seen["figures"].size(), 2u * static_cast<size_t>(locations));
  for (const Json& figure : seen["figures"]) {
    EXPECT_GE(figure["staves"].get<int>(), 1) << figure;
    EXPECT_GE(figure["strokes"].get<int>(), 4) << figure;
  }
}

TEST(Report, AMarkedRestShowsTheEndOfTheRestWithItsMarker) {
  TempDir dir;
  WriteText(dir.Path("duet.musicxml"), SmallScore(Duet()));
  const CommandRun run = RunOstinel({dir.Path("duet.musicxml"), "--mode", "mark", "--measures", "--threshold", "6",
                                     "--report", dir.Path("report.html")},
                                    dir.Path("config"));
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string page = ReadText(dir.Path("report.html"));
  EXPECT_EQ(Count(page, "<figure class=\"engraved\">"), 1);
  EXPECT_THAT(page, HasSubstr("<figcaption>Oboe, measures 4–8, marked</figcaption>")) << page.substr(0, 3000);
  EXPECT_THAT(page, HasSubstr("<td>—</td><td>marked</td>")) << "mark mode proposes no cue";
  // Review: the source the user chose instead of the proposal.
  const CommandRun review = RunOstinel({dir.Path("duet.musicxml"), "-o", dir.Path("r.musicxml"), "--mode", "review",
                                        "--report", dir.Path("review.html")},
                                       dir.Path("config"), "r 1 5-8\nc\n");
  ASSERT_EQ(review.status, 0) << review.err;
  EXPECT_THAT(ReadText(dir.Path("review.html")),
              HasSubstr("<td>Flute, measures 4–8</td><td>cue written from Flute, measures 5–8 instead of the proposal"));
}

TEST(Report, WithoutItsEngraverTheCommandSaysSoAndWritesTheRest) {
  struct Case {
    const char* variable;
    const char* value;
    const char* message;
  };
  const Case cases[] = {
      {"PATH", "/nonexistent", "the report was not written: Node.js is not installed"},
      {"OSTINEL_ENGRAVER", "/nonexistent/engrave.js",
       "the report was not written: Cannot find module '/nonexistent/engrave.js' (the cued score was)"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const char* before = std::getenv(c.variable);
    const std::string kept = before != nullptr ? before : "";
    setenv(c.variable, c.value, 1);
    const CommandRun run = RunOstinel({SamplePath(), "-o", dir.Path("cued.musicxml"), "--mode", "add", "--measures",
                                       "--threshold", "10", "--report", dir.Path("report.html")},
                                      dir.Path("config"));
    if (before != nullptr) setenv(c.variable, kept.c_str(), 1); else unsetenv(c.variable);
    EXPECT_EQ(run.status, 1) << c.variable;
    EXPECT_THAT(run.err, HasSubstr(c.message));
    EXPECT_TRUE(Exists(dir.Path("cued.musicxml"))) << "the cued score is written regardless";
    EXPECT_FALSE(Exists(dir.Path("report.html")));
  }
}

// An excerpt stands on its own: what is in force at its first measure comes
// with it, and the whole score's layout does not.
TEST(Report, AnExcerptCarriesWhatIsInForceAndDropsTheScoresLayout) {
  pugi::xml_document score;
  ASSERT_TRUE(score.load_string(R"(<score-partwise><part-list><score-part id="P1"><part-name>Horn</part-name>
    </score-part></part-list><part id="P1">
    <measure number="1"><attributes><divisions>2</divisions><key><fifths>-3</fifths></key><time><beats>3</beats>
      <beat-type>4</beat-type></time><clef><sign>G</sign><line>2</line></clef><transpose><diatonic>-4</diatonic>
      <chromatic>-7</chromatic></transpose></attributes></measure>
    <measure number="2"><attributes><key><fifths>2</fifths></key></attributes></measure>
    <measure number="3a"><print new-system="yes"/><attributes><clef><sign>F</sign><line>4</line></clef>
      <measure-style><multiple-rest>2</multiple-rest></measure-style></attributes><note><rest/><duration>6</duration></note>
    </measure>
    <measure number="4"><note><rest/><duration>6</duration></note></measure></part></score-partwise>)"));
  ostinel_cli::PartLayout part;
  part.id = "P1";
  for (pugi::xml_node measure : score.child("score-partwise").child("part").children("measure")) {
    part.measures.push_back(measure);
  }
  pugi::xml_document excerpt;
  ASSERT_TRUE(excerpt.load_string(ostinel_cli::Excerpt(score, part, 3, 4).c_str()));
  // What an XPath finds, space-separated: attributes' values, elements' texts.
  const auto found = [&](const char* path) {
    std::string text;
    for (const pugi::xpath_node& node : excerpt.select_nodes(path)) {
      text += (text.empty() ? "" : " ") + std::string(node.attribute() ? node.attribute().value() : node.node().child_value());
    }
    return text;
  };
  EXPECT_EQ(found("//score-part/part-name"), "Horn");
  EXPECT_EQ(found("//measure/@number"), "3a 4");
  // Divisions, the latest key, the time and the transposition in force.
  EXPECT_EQ(found("//measure[1]/attributes/divisions | //measure[1]/attributes/key/fifths | "
                  "//measure[1]/attributes/time/beats | //measure[1]/attributes/transpose/chromatic"),
            "2 2 3 -7");
  EXPECT_EQ(found("//clef/sign"), "F") << "the measure's own clef, not the one before";
  EXPECT_TRUE(excerpt.select_nodes("//print | //measure-style").empty()) << "no layout of the whole score";
}

}  // namespace
}  // namespace ostinel_test
