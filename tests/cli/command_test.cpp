// The ostinel command, from the command line to the written score.
#include <sys/stat.h>

#include <zip.h>

#include <cstdlib>
#include <set>

#include "cli_harness.h"
#include "stop_request.h"
#include "command.h"
#include "score_checks.h"
#include "score_compare.h"
#include "session.h"

namespace ostinel_test {
namespace {

using Command = DuetTest;

// The cue notes the written score holds in a part's measure, as pitches.
std::vector<std::string> CuePitches(const pugi::xml_document& score, int part, int measure) {
  std::vector<std::string> pitches;
  const std::string path = "/score-partwise/part[" + std::to_string(part) + "]/measure[" + std::to_string(measure) +
                           "]/note[cue and pitch]/pitch";
  for (const pugi::xpath_node& pitch : score.select_nodes(path.c_str())) {
    const int alter = pitch.node().child("alter").text().as_int();
    pitches.push_back(pitch.node().child_value("step") + std::string(alter > 0 ? alter : 0, '#') +
                      std::string(alter < 0 ? -alter : 0, 'b') + pitch.node().child_value("octave"));
  }
  return pitches;
}
const std::vector<std::string> kScale = {"C5", "D5", "E5", "F5"};

TEST_F(Command, AddModeWritesTheCueAndKeepsTheMusicAndMarkModeItalicMarkers) {
  const CommandRun run = Run({"--mode", "add", "--measures", "--threshold", "6", "--json", dir.Path("s.json")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Oboe: rest in measures 1-8 (8 measures); proposed cue Flute, measures 4-8; cue "
                         "written to Oboe\n"), std::string::npos) << run.out;
  EXPECT_THAT(run.out, HasSubstr("One cue was created in the score."));
  const pugi::xml_document out = Read(dir.Path("duet.cued.musicxml"));
  const Verdict verdict = CompareFiles(Score(), dir.Path("duet.cued.musicxml"), ReadJson(dir.Path("s.json")));
  EXPECT_TRUE(verdict.findings.empty()) << verdict;
  for (int m = 4; m <= 8; ++m) EXPECT_EQ(CuePitches(out, 2, m), kScale);
  EXPECT_TRUE(CuePitches(out, 2, 3).empty());
  EXPECT_THAT(ReadText(dir.Path("duet.cued.musicxml")), HasSubstr("<words font-size=\"16\">Flute</words>"))
      << "the cue's name";

  const CommandRun mark = Run({"-o", dir.Path("marked.xml"), "--mode", "mark", "--measures", "--threshold", "6"});
  ASSERT_EQ(mark.status, 0) << mark.err;
  EXPECT_THAT(mark.out, HasSubstr("Oboe: rest in measures 1-8 (8 measures); marked"));
  const std::string xml = ReadText(dir.Path("marked.xml"));
  EXPECT_THAT(xml, HasSubstr("font-style=\"italic\">*** 8 measures of rest ***</words>"));
  EXPECT_THAT(xml, HasSubstr("font-family=\"Arial\""));
}

struct BadInput {
  const char* label;
  std::string name;
  std::string content;  // written into the file; "<none>": no file
  std::string message;  // a part of the error
};

void PrintTo(const BadInput& c, std::ostream* os) { *os << c.label; }

class BadInputs : public Command, public ::testing::WithParamInterface<BadInput> {};

TEST_P(BadInputs, AreRefusedClearlyAndNothingIsWritten) {
  const BadInput& c = GetParam();
  const std::string sample = ReadText(SamplePath());
  if (c.content != "<none>") WriteText(dir.Path(c.name), c.content == "<half>" ? sample.substr(0, sample.size() / 2) : c.content);
  const std::vector<std::string> before = dir.Files();
  const CommandRun run = RunOn({dir.Path(c.name)});
  EXPECT_EQ(run.status, 1);
  EXPECT_THAT(run.err, HasSubstr(c.message));
  EXPECT_THAT(run.err, HasSubstr(c.name)) << "the message names the file: " << run.err;
  EXPECT_EQ(dir.Files(), before) << "no output, no leftovers";
}

const std::string kPartP1 = "<score-partwise><part-list><score-part id=\"P1\"><part-name>A</part-name></score-part></part-list>";

INSTANTIATE_TEST_SUITE_P(
    Files, BadInputs,
    ::testing::Values(
        BadInput{"missing", "gone.musicxml", "<none>", "cannot open: No such file or directory"},
        BadInput{"empty", "empty.musicxml", "", "the file is empty"},
        BadInput{"truncated", "half.musicxml", "<half>", "not well-formed XML"},
        // The parse writes over the line ends after names: the place comes from the text as read.
        BadInput{"a fault after names that end their lines", "lines.musicxml",
                 "<score-partwise\n  version=\"4.0\">\n<part-list\n/>\n<part\nid=\"P1\"><measure\n number=\"1\"><<\n",
                 "lines.musicxml:7:14: not well-formed XML: Could not determine tag type"},
        BadInput{"not MusicXML", "page.xml", "<html><body>score</body></html>",
                 "not a MusicXML score (its root element is <html>)"},
        BadInput{"timewise", "time.xml", "<score-timewise version=\"4.0\"/>", "timewise MusicXML is not supported"},
        BadInput{"no parts", "bare.musicxml", "<score-partwise version=\"4.0\"><part-list/></score-partwise>",
                 "the score has no parts"},
        BadInput{"a listed part without music", "lost.musicxml", kPartP1 + "</score-partwise>",
                 "part P1 is listed but has no music"},
        BadInput{"an .mxl that is no zip", "fake.mxl", "just text", "not a readable .mxl archive"},
        BadInput{"an absurd octave", "high.musicxml",
                 kPartP1 + "<part id=\"P1\"><measure number=\"7\"><note><pitch><step>C</step><octave>2147483643</octave>"
                           "</pitch><duration>1</duration></note></measure></part></score-partwise>",
                 "part P1, measure 7: <octave> \"2147483643\" is outside 0 to 9"},
        BadInput{"two absurd values: the first in the score is named", "two.musicxml",
                 "<score-partwise><part-list><score-part id=\"P1\"/><score-part id=\"P2\"/><score-part id=\"P3\"/>"
                 "<score-part id=\"P4\"/></part-list>"
                 "<part id=\"P1\"><measure number=\"1\"/><measure number=\"2\"><note><duration>-4</duration></note>"
                 "</measure></part><part id=\"P2\"><measure number=\"1\"/></part><part id=\"P3\"><measure number=\"1\"/>"
                 "</part><part id=\"P4\"><measure number=\"1\"><note><duration>-5</duration></note></measure></part>"
                 "</score-partwise>",
                 "part P1, measure 2: <duration> \"-4\" is outside 0 to 1000000"},
        BadInput{"divisions that are no number", "zero.musicxml",
                 kPartP1 + "<part id=\"P1\"><measure number=\"1\"><attributes><divisions>none</divisions></attributes>"
                           "</measure></part></score-partwise>",
                 "part P1, measure 1: <divisions> \"none\" is not a number"}));

TEST_F(Command, CompressedScoresAreReadAndWrittenAsSuchAndNeedTheirContainer) {
  ASSERT_EQ(Run({"-o", dir.Path("duet.mxl"), "--mode", "mark"}).status, 0);
  const CommandRun run = RunOn({dir.Path("duet.mxl"), "--mode", "add", "--measures", "--threshold", "6"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(CuePitches(Read(dir.Path("duet.cued.mxl")), 2, 8), kScale);

  int error = 0;
  zip_t* archive = zip_open(dir.Path("lonely.mxl").c_str(), ZIP_CREATE, &error);
  const std::string score = SmallScore(Duet());
  zip_file_add(archive, "score.musicxml", zip_source_buffer(archive, score.data(), score.size(), 0), 0);
  ASSERT_EQ(zip_close(archive), 0);
  const std::vector<std::string> before = dir.Files();
  const CommandRun lonely = RunOn({dir.Path("lonely.mxl")});
  EXPECT_EQ(lonely.status, 1);
  EXPECT_THAT(lonely.err, HasSubstr("has no META-INF/container.xml"));
  EXPECT_EQ(dir.Files(), before);
}

struct BadOption {
  std::vector<std::string> args;
  std::string message;
};

void PrintTo(const BadOption& c, std::ostream* os) { *os << ::testing::PrintToString(c.args); }

class BadOptions : public Command, public ::testing::WithParamInterface<BadOption> {};

TEST_P(BadOptions, AreRefusedBeforeAnythingIsWritten) {
  const CommandRun run = Run(GetParam().args);
  EXPECT_EQ(run.status, 2);
  EXPECT_THAT(run.err, HasSubstr(GetParam().message));
  EXPECT_EQ(dir.Files(), std::vector<std::string>{"duet.musicxml"});
}

INSTANTIATE_TEST_SUITE_P(
    Values, BadOptions,
    ::testing::Values(BadOption{{"--threshold", "0"}, "--threshold"}, BadOption{{"--threshold", "1000"}, "--threshold"},
                      BadOption{{"--size", "150"}, "--size"}, BadOption{{"--size", "x"}, "--size"},
                      BadOption{{"--desired", "9", "--allowed", "3"}, "must not be smaller than the desired one"},
                      BadOption{{"--dest-layer", "5"}, "--dest-layer"}, BadOption{{"--mode", "loud"}, "--mode"},
                      BadOption{{"--with", "wings"}, "\"wings\" is nothing that can be copied"},
                      BadOption{{"--measures", "--seconds"}, "excludes"},
                      BadOption{{"--browser", "--mode", "add"}, "it goes with --mode review, not --mode add"},
                      BadOption{{"--parts", "99"}, "--parts: \"99\" goes past the last one, 2"},
                      BadOption{{"--bars", "5-2"}, "--bars: the score prints no measure 2 after measure 5"},
                      // Numbers past what the options' types hold.
                      BadOption{{"--parts", "4294967297"}, "--parts"}, BadOption{{"--threshold", "4294967297"}, "--threshold"},
                      BadOption{{"--parts", "1-99999999999"}, "--parts"}, BadOption{{"--size", "-1"}, "--size"}));

TEST_F(Command, TheInputIsNeverOverwrittenUnlessNamedAsTheOutput) {
  const std::string score = ReadText(Score());
  ASSERT_EQ(Run({"--mode", "add", "--measures", "--threshold", "6"}).status, 0);
  EXPECT_EQ(ReadText(Score()), score);
  ASSERT_EQ(Run({"-o", Score(), "--mode", "add", "--measures", "--threshold", "6"}).status, 0);
  EXPECT_NE(ReadText(Score()), score);
}

// Markers carry ids by which a later run knows them: the markers a later run
// adds take ids no marker in the score has.
TEST_F(Command, MarkersOfALaterRunTakeIdsNoEarlierOneHas) {
  auto ids = [](const std::string& path) {
    std::vector<std::string> found;
    const std::string text = ReadText(path);
    for (size_t at = text.find("id=\"ostinel-"); at != std::string::npos; at = text.find("id=\"ostinel-", at + 1)) {
      found.push_back(text.substr(at, text.find('"', at + 4) - at));
    }
    return found;
  };
  const std::string first = dir.Path("first.musicxml");
  const std::string second = dir.Path("second.musicxml");
  ASSERT_EQ(RunOstinel({SamplePath(), "-o", first, "--mode", "mark", "--measures", "--threshold", "12"}, dir.Path("config"))
                .status, 0);
  ASSERT_EQ(RunOstinel({first, "-o", second, "--mode", "mark", "--measures", "--threshold", "3"}, dir.Path("config"))
                .status, 0);
  const std::vector<std::string> before = ids(first);
  const std::vector<std::string> after = ids(second);
  EXPECT_GT(after.size(), before.size()) << "the second run marks more";
  EXPECT_EQ(std::set<std::string>(after.begin(), after.end()).size(), after.size()) << "every id once";
}

TEST_F(Command, TheLastChoicesAreKeptAndTheCommandLineOverridesThem) {
  ASSERT_EQ(Run({"--mode", "mark", "--measures", "--threshold", "7"}).status, 0);
  EXPECT_THAT(ReadText(dir.Path("config/registry")), HasSubstr("OstinelPI_Flag2=dword:"));
  const CommandRun again = Run({});
  EXPECT_THAT(again.out, HasSubstr("Oboe: rest in measures 1-8 (8 measures); marked"))
      << "mark mode, measures, threshold 7 remembered: " << again.out;
  const CommandRun overridden = Run({"--threshold", "9"});
  EXPECT_THAT(overridden.out, HasSubstr("No locations were found"));
  // Choices that did not change leave the file as it was; a change writes it.
  struct stat before {};
  struct stat after {};
  ASSERT_EQ(stat(dir.Path("config/registry").c_str(), &before), 0);
  ASSERT_EQ(Run({"--threshold", "9"}).status, 0);
  ASSERT_EQ(stat(dir.Path("config/registry").c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino) << "not written again";
  ASSERT_EQ(Run({"--threshold", "8"}).status, 0);
  ASSERT_EQ(stat(dir.Path("config/registry").c_str(), &after), 0);
  EXPECT_NE(after.st_ino, before.st_ino) << "written anew";
  EXPECT_THAT(Run({}).out, HasSubstr("Oboe: rest in measures 1-8 (8 measures); marked")) << "threshold 8 kept";
}

TEST_F(Command, ReviewTakesTheUsersAnswersFromTheConsole) {
  std::vector<PartSpec> parts = Duet();
  parts.push_back(parts[1]);
  parts[2].name = "Horn";
  WriteText(Score(), SmallScore(parts));
  const CommandRun run = Run({"--mode", "review", "--measures", "--threshold", "6"}, "t 3\nn Solo flute\nc\n");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("Cue to: Oboe, Horn")) << "both re-enter together: " << run.out;
  EXPECT_THAT(run.out, HasSubstr("cue written to Horn"));
  const pugi::xml_document out = Read(dir.Path("duet.cued.musicxml"));
  EXPECT_TRUE(CuePitches(out, 2, 8).empty());
  EXPECT_EQ(CuePitches(out, 3, 8).size(), 4u);
  EXPECT_THAT(ReadText(dir.Path("duet.cued.musicxml")), HasSubstr("font-size=\"16\">Solo flute</words>"));
}

TEST_F(Command, ReviewSkipsAndStopsAsAsked) {
  const CommandRun skipped = Run({"--mode", "review", "--measures", "--threshold", "6"}, "x\ns\n");
  ASSERT_EQ(skipped.status, 0) << skipped.err;
  EXPECT_THAT(skipped.out, HasSubstr("Unknown answer \"x\""));
  EXPECT_THAT(skipped.out, HasSubstr("; skipped"));
  EXPECT_TRUE(CuePitches(Read(dir.Path("duet.cued.musicxml")), 2, 8).empty());
  const CommandRun stopped = Run({"--mode", "review", "-o", dir.Path("q.musicxml")}, "s\n");
  ASSERT_EQ(stopped.status, 0) << stopped.err;
  EXPECT_THAT(stopped.out, HasSubstr("; skipped"));
}

TEST_F(Command, AStoppedSearchWritesNothing) {
  ostinel_cli::RequestCancel();
  const std::string config = dir.Path("config");
  const std::string input = Score();
  std::vector<const char*> argv = {"ostinel", "--config-dir", config.c_str(), "--no-progress", "--mode", "add",
                                   input.c_str()};
  ostinel_cli::CommandIo io;
  io.out = std::tmpfile();
  io.err = std::tmpfile();
  const int status = ostinel_cli::RunCommand(static_cast<int>(argv.size()), argv.data(), io);
  ostinel_cli::ClearCancel();
  std::fclose(io.out);
  std::fclose(io.err);
  EXPECT_EQ(status, 130);
  EXPECT_EQ(dir.Files(), std::vector<std::string>{"duet.musicxml"});
}

TEST_F(Command, ProgressIsDrawnOnlyOnATerminalAndClearedAfterwards) {
  const std::vector<std::string> args = {Score(), "--mode", "mark", "--measures", "--threshold", "6"};
  const CommandRun piped = RunOstinel(args, dir.Path("config"), "", false);
  const CommandRun terminal = RunOstinel(args, dir.Path("config"), "", true);
  ASSERT_EQ(piped.status, 0) << piped.err;
  ASSERT_EQ(terminal.status, 0) << terminal.err;
  EXPECT_THAT(piped.err, Not(HasSubstr("[")));
  EXPECT_THAT(terminal.err, HasSubstr("] 100%"));
  // The bar is wiped before anything else is printed, so the summary stays clean.
  EXPECT_EQ(terminal.err.back(), '\r');
  EXPECT_EQ(terminal.out, piped.out);
}

// The seconds the summary gives each rest are those the plug-in measures
// (and prints in its markers), tempo changes inside a measure and a short
// measure included.
TEST_F(Command, TheSummarysSecondsAreThePlugInsSeconds) {
  std::vector<std::string> flute;
  std::vector<std::string> oboe;
  for (int m = 1; m <= 10; ++m) {
    std::string sound;
    if (m == 3) sound = "<forward><duration>2</duration></forward><direction><sound tempo=\"60\"/></direction>"
                        "<backup><duration>2</duration></backup>";
    if (m == 6) sound = "<direction><direction-type><metronome><beat-unit>half</beat-unit><per-minute>35</per-minute>"
                        "</metronome></direction-type></direction>";
    flute.push_back(sound + Quarters(m == 4 ? "C5 D5 E5" : "C5 D5 E5 F5"));
    oboe.push_back(m >= 2 && m <= 8 ? MeasureRest(m == 4 ? 3 : 4) : Quarters("G4 A4 B4 C5"));
  }
  WriteText(dir.Path("tempi.musicxml"),
            RawScore({{"Flute", "<divisions>1</divisions><time><beats>4</beats><beat-type>4</beat-type></time>", flute, ""},
                      {"Oboe", "<divisions>1</divisions>", oboe, ""}}));
  for (const std::string& score : {dir.Path("tempi.musicxml"), SamplePath()}) {
    const CommandRun run = RunOn({score, "-o", dir.Path("marked.musicxml"), "--mode", "mark", "--seconds",
                                  "--threshold", "10", "--json", dir.Path("summary.json")});
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> markers;
    const pugi::xml_document marked = Read(dir.Path("marked.musicxml"));
    for (const auto& words : marked.select_nodes("//direction[starts-with(@id, 'ostinel-marker')]//words")) {
      markers.push_back(words.node().child_value());
    }
    std::vector<std::string> summary;
    const nlohmann::json json = ReadJson(dir.Path("summary.json"));
    for (const nlohmann::json& location : json["locations"]) {
      char text[64];
      std::snprintf(text, sizeof text, "*** %.1f seconds of rest ***", location["rest"]["seconds"].get<double>());
      summary.push_back(text);
    }
    EXPECT_FALSE(markers.empty()) << score;
    EXPECT_EQ(summary, markers) << score;
    // 2 s at 120 a quarter, 1 + 2 as the tempo halves, 3 in the short measure,
    // 4, then 12 quarters at 70: 22.2857.
    if (score != SamplePath()) {
      EXPECT_EQ(json["locations"][0]["rest"]["seconds"], 22.29);
    }
  }
}

TEST_F(Command, TheSummaryComesAsJsonToo) {
  const CommandRun run = Run({"--mode", "add", "--measures", "--threshold", "6", "--json", dir.Path("summary.json")});
  ASSERT_EQ(run.status, 0) << run.err;
  const nlohmann::json json = ReadJson(dir.Path("summary.json"));
  ASSERT_EQ(json["locations"].size(), 1u) << json;
  const nlohmann::json& location = json["locations"][0];
  using Json = nlohmann::json;
  EXPECT_EQ(location["staff"], (Json{{"name", "Oboe"}, {"slot", 2}, {"part", "P2"}}));
  // Eight measures of 4/4 at 120 quarters a minute.
  EXPECT_EQ(location["rest"], (Json{{"start", {{"number", "1"}, {"index", 1}}}, {"end", {{"number", "8"}, {"index", 8}}},
                                    {"measures", 8}, {"seconds", 16.0}}));
  EXPECT_EQ(location["proposal"], (Json{{"staff", {{"name", "Flute"}, {"slot", 1}, {"part", "P1"}}},
                                        {"first", {{"number", "4"}, {"index", 4}}},
                                        {"last", {{"number", "8"}, {"index", 8}}}}));
  EXPECT_EQ(location["source"], location["proposal"]);
  EXPECT_EQ(location["action"], "written");
  EXPECT_EQ(location["destinations"][0]["name"], "Oboe");
  EXPECT_EQ(json["totals"]["cueNotes"], 20);
  EXPECT_EQ(json["messages"], nlohmann::json::array({"One cue was created in the score."}));
}

TEST_F(Command, AUtf16ScoreIsRead) {
  std::string utf8 = SmallScore(Duet());
  utf8.replace(utf8.find("UTF-8"), 5, "UTF-16");
  std::string utf16 = "\xFF\xFE";
  for (const char c : utf8) utf16 += std::string{c, '\0'};
  WriteText(Score(), utf16);
  const CommandRun run = Run({"--mode", "add", "--measures", "--threshold", "6"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadText(dir.Path("duet.cued.musicxml")).rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u);
}

TEST_F(Command, VoicesBeyondTheHostsLayersAreLeftOutWithAWarning) {
  std::string score = SmallScore(Duet());
  std::string extra;
  for (int voice = 2; voice <= 5; ++voice) {
    extra += "<backup><duration>4</duration></backup><note><pitch><step>G</step><octave>4</octave></pitch>"
             "<duration>4</duration><voice>" + std::to_string(voice) + "</voice><type>whole</type></note>";
  }
  WriteText(Score(), score.insert(score.find("</measure>"), extra));
  const CommandRun run = Run({"--mode", "mark", "--json", dir.Path("s.json")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.err, HasSubstr("part P1 (Flute), staff 1: voice 5 has no layer left and is left out of the search"));
  const Verdict verdict = CompareFiles(Score(), dir.Path("duet.cued.musicxml"), ReadJson(dir.Path("s.json")));
  EXPECT_TRUE(verdict.findings.empty()) << verdict;
}

TEST_F(Command, CueSizedNotesOfTheScoreAreExistingCues) {
  std::vector<PartSpec> parts = Duet();
  parts[1].measures[7] = "C5* D5* E5* F5*";  // measure 8 of the oboe already holds a cue
  WriteText(Score(), SmallScore(parts));
  const CommandRun run = Run({"--mode", "add", "--measures", "--threshold", "6"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("No locations were found"));
}

}  // namespace
}  // namespace ostinel_test
