// The command as a careless or hostile user meets it: it never destroys a
// file it was not asked to replace, refuses what it cannot handle with the
// real reason, stops cleanly on a signal, and its exit status tells the truth.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <zip.h>

#include <csignal>
#include <cstring>
#include <functional>

#include "cli_harness.h"
#include "musicxml_score.h"
#include "output_file.h"
#include "score_file.h"
#include "score_checks.h"
#include "stop_request.h"

namespace ostinel_test {
namespace {

using Json = nlohmann::json;

mode_t Mode(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 ? status.st_mode : 0;
}

// Files whose names a run leaves behind that no one asked for.
std::vector<std::string> Leftovers(const TempDir& dir) {
  std::vector<std::string> temporary;
  for (const std::string& name : dir.Files()) {
    if (name.rfind(".ostinel-", 0) == 0) temporary.push_back(name);
  }
  return temporary;
}

using Safety = DuetTest;

// ---- Where the command writes ----

struct TargetCase {
  const char* label;
  std::function<std::string(const TempDir&)> make;  // makes the target, returns its name for -o
  int status;
  const char* message;  // part of the error, or of standard output
};

void PrintTo(const TargetCase& c, std::ostream* os) { *os << c.label; }

class OutputTargets : public Safety, public ::testing::WithParamInterface<TargetCase> {};

TEST_P(OutputTargets, AreRegularFilesOrNewNamesAndNothingElse) {
  const TargetCase& c = GetParam();
  const std::string target = c.make(dir);
  const std::string scoreBefore = ReadText(Score());
  const CommandRun run = Run({"-o", target, "--mode", "add", "--measures", "--threshold", "6"});
  EXPECT_EQ(run.status, c.status) << run.err;
  EXPECT_THAT(run.err + run.out, HasSubstr(c.message));
  EXPECT_EQ(ReadText(Score()), scoreBefore) << "the score read is never touched";
  EXPECT_TRUE(Leftovers(dir).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, OutputTargets,
    ::testing::Values(
        TargetCase{"a directory", [](const TempDir& d) { return d.Path("."); }, 2, "is a directory"},
        TargetCase{"a character device", [](const TempDir&) { return std::string("/dev/null"); }, 2,
                   "/dev/null: is a character device; the command writes only regular files"},
        TargetCase{"a FIFO",
                   [](const TempDir& d) {
                     mkfifo(d.Path("fifo").c_str(), 0600);
                     return d.Path("fifo");
                   },
                   2, "is a FIFO"},
        TargetCase{"a socket",
                   [](const TempDir& d) {
                     const int s = socket(AF_UNIX, SOCK_STREAM, 0);
                     sockaddr_un address{};
                     address.sun_family = AF_UNIX;
                     std::strncpy(address.sun_path, d.Path("socket").c_str(), sizeof address.sun_path - 1);
                     bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
                     close(s);
                     return d.Path("socket");
                   },
                   2, "is a socket"},
        TargetCase{"a missing directory", [](const TempDir& d) { return d.Path("missing/out.musicxml"); }, 2,
                   "cannot write in " },
        TargetCase{"standard output", [](const TempDir&) { return std::string("-"); }, 0, "<score-partwise"}));

TEST_F(Safety, ASymlinkIsWrittenThroughAndAnOldFileKeepsItsMode) {
  WriteText(dir.Path("old.musicxml"), "old");
  chmod(dir.Path("old.musicxml").c_str(), 0440);
  symlink("old.musicxml", dir.Path("link.musicxml").c_str());
  const CommandRun run = Run({"-o", dir.Path("link.musicxml"), "--mode", "mark"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(S_ISLNK([&] {
    struct stat status {};
    lstat(dir.Path("link.musicxml").c_str(), &status);
    return status.st_mode;
  }())) << "the link stays a link";
  EXPECT_THAT(ReadText(dir.Path("old.musicxml")), HasSubstr("<score-partwise")) << "its target got the score";
  EXPECT_EQ(Mode(dir.Path("old.musicxml")) & 07777, 0440u) << "and kept its permissions";
  EXPECT_TRUE(Leftovers(dir).empty());
}

TEST_F(Safety, TheSummaryAndTheReportMayNameNeitherTheScoreNorAnotherOutput) {
  const std::string before = ReadText(Score());
  symlink(Score().c_str(), dir.Path("link-to-score.xml").c_str());
  for (const std::string option : {"--json", "--report"}) {
    const std::string what = option == "--json" ? "the summary" : "the report";
    for (const auto& [file, output, message] : std::vector<std::tuple<std::string, std::string, std::string>>{
             {Score(), dir.Path("out.musicxml"), option + " " + Score() + " names the score " + Score()},
             {dir.Path("same.musicxml"), dir.Path("same.musicxml"),
              dir.Path("same.musicxml") + " would hold both the cued score and " + what},
             {dir.Path("./link-to-score.xml"), dir.Path("out.musicxml"), option + " " + dir.Path("./link-to-score.xml")},
             {"-", "-", "- would hold both the cued score and " + what}}) {
      const CommandRun run = Run({"-o", output, option, file, "--mode", "add"});
      EXPECT_EQ(run.status, 2) << file << " " << output;
      EXPECT_THAT(run.err, HasSubstr(message));
    }
  }
  const CommandRun both = Run({"--json", dir.Path("s.json"), "--report", dir.Path("s.json"), "--mode", "add"});
  EXPECT_EQ(both.status, 2);
  EXPECT_THAT(both.err, HasSubstr(dir.Path("s.json") + " would hold both the summary and the report"));
  EXPECT_EQ(ReadText(Score()), before);
  EXPECT_FALSE(Exists(dir.Path("out.musicxml")));
  EXPECT_FALSE(Exists(dir.Path("same.musicxml")));
}

TEST_F(Safety, AWriteThatFailsSaysWhyAndLeavesTheOldFileAsItWas) {
  WriteText(dir.Path("out.musicxml"), "old");
  // A file size limit stands in for a full disk: the write fails part way.
  CommandProcess command({Score(), "-o", dir.Path("out.musicxml"), "--mode", "mark", "--config-dir", dir.Path("cfg")},
                         "ulimit -f 4; trap '' XFSZ;");
  command.CloseInput();
  EXPECT_EQ(command.Wait(), 1);
  EXPECT_THAT(command.Err(), HasSubstr("out.musicxml: cannot write: File too large"));
  EXPECT_EQ(ReadText(dir.Path("out.musicxml")), "old");
  EXPECT_TRUE(Leftovers(dir).empty());
}

// ---- What the command reads ----

std::string WithText(const TempDir& dir, const std::string& name, const std::string& text) {
  WriteText(dir.Path(name), text);
  return dir.Path(name);
}

std::string Repeat(const std::string& text, int times) {
  std::string repeated;
  for (int i = 0; i < times; ++i) repeated += text;
  return repeated;
}

std::string DuetWith(const std::string& from, const std::string& to) {
  std::string score = SmallScore(Duet());
  score.replace(score.find(from), from.size(), to);
  return score;
}

struct InputCase {
  InputCase(const char* l, std::function<std::string(const TempDir&)> m, const char* e) : label(l), make(m), message(e) {}
  // A score's text, written as in.musicxml.
  InputCase(const char* l, const std::string& text, const char* e)
      : label(l), make([text](const TempDir& d) { return WithText(d, "in.musicxml", text); }), message(e) {}
  const char* label;
  std::function<std::string(const TempDir&)> make;  // writes the input, returns its name
  const char* message;
};

void PrintTo(const InputCase& c, std::ostream* os) { *os << c.label; }

class Inputs : public Safety, public ::testing::WithParamInterface<InputCase> {};

// A new archive whose container names s.xml.
zip_t* Archive(const std::string& path) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  static const std::string container = "<container><rootfiles><rootfile full-path=\"s.xml\"/></rootfiles></container>";
  zip_file_add(archive, "META-INF/container.xml", zip_source_buffer(archive, container.data(), container.size(), 0), 0);
  return archive;
}

// An archive whose score inflates past the limit, made without holding it.
std::string Bomb(const TempDir& dir) {
  zip_t* archive = Archive(dir.Path("bomb.mxl"));
  static zip_uint64_t left;
  left = ostinel_cli::kMaxScoreBytes + 1024;
  zip_source_t* zeros = zip_source_function(
      archive,
      [](void*, void* data, zip_uint64_t length, zip_source_cmd_t command) -> zip_int64_t {
        switch (command) {
          case ZIP_SOURCE_OPEN:
          case ZIP_SOURCE_CLOSE:
          case ZIP_SOURCE_FREE:
            return 0;
          case ZIP_SOURCE_READ: {
            const zip_uint64_t n = std::min(length, left);
            std::memset(data, '<', n);
            left -= n;
            return static_cast<zip_int64_t>(n);
          }
          case ZIP_SOURCE_STAT:
            zip_stat_init(static_cast<zip_stat_t*>(data));
            return sizeof(zip_stat_t);
          case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                                  ZIP_SOURCE_STAT, ZIP_SOURCE_FREE, -1);
          default:
            return -1;
        }
      },
      nullptr);
  zip_file_add(archive, "s.xml", zeros, 0);
  zip_close(archive);
  return dir.Path("bomb.mxl");
}

// An .mxl whose score's compressed bytes are spoiled.
std::string Damaged(const TempDir& dir) {
  zip_t* archive = Archive(dir.Path("damaged.mxl"));
  const std::string score = SmallScore(Duet());
  zip_file_add(archive, "s.xml", zip_source_buffer(archive, score.data(), score.size(), 0), 0);
  zip_close(archive);
  std::string bytes = ReadText(dir.Path("damaged.mxl"));
  const size_t data = bytes.rfind("s.xml", bytes.find("PK\x01\x02")) + 5;  // the local entry's data
  for (size_t i = data + 20; i < data + 60; ++i) bytes[i] = static_cast<char>(~bytes[i]);
  WriteText(dir.Path("damaged.mxl"), bytes);
  return dir.Path("damaged.mxl");
}

TEST_P(Inputs, AreRefusedWithTheirReasonQuicklyAndLeaveNothing) {
  const InputCase& c = GetParam();
  const std::string input = c.make(dir);
  const CommandRun run = RunOn({input, "-o", dir.Path("out.musicxml")});
  EXPECT_EQ(run.status, 1);
  EXPECT_THAT(run.err, HasSubstr(c.message));
  EXPECT_FALSE(Exists(dir.Path("out.musicxml")));
  EXPECT_TRUE(Leftovers(dir).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, Inputs,
    ::testing::Values(
        InputCase{"a plain file past the size limit",
                  [](const TempDir& d) {
                    WriteText(d.Path("big.musicxml"), "");
                    truncate(d.Path("big.musicxml").c_str(), static_cast<off_t>(ostinel_cli::kMaxScoreBytes + 1));
                    return d.Path("big.musicxml");
                  },
                  "is 256 MB, larger than the 256 MB of any score this command reads"},
        InputCase{"a device that never ends", [](const TempDir&) { return std::string("/dev/zero"); },
                  "/dev/zero: is larger than the 256 MB of any score this command reads"},
        InputCase{"an archive entry past the size limit", Bomb,
                  "bomb.mxl: s.xml is larger than the 256 MB of any score this command reads"},
        InputCase{"a damaged archive entry", Damaged, "damaged.mxl: s.xml is damaged: "},
        InputCase{"elements nested deeper than any score",
                  "<score-partwise>" + Repeat("<a>", 20000) + Repeat("</a>", 20000) + "</score-partwise>",
                  "elements are nested more than 100 deep"},
        InputCase{"bytes that are no UTF-8", DuetWith("Oboe", "Hautbois d'amour \xE9t\xE9"),
                  "in.musicxml: line 2, column 151: byte 0xE9 is not valid UTF-8"},
        InputCase{"a control character", DuetWith("Oboe", "Oboe\x07"), "character U+0007 is not allowed in XML"},
        InputCase{"a character reference to one", DuetWith("Oboe", "Oboe&#1;"),
                  "in <part-name>: &#1; is no character allowed in XML"},
        InputCase{"an encoding the command does not read", DuetWith("encoding=\"UTF-8\"", "encoding=\"EBCDIC-US\""),
                  "the declared encoding \"ebcdic-us\" is not read"},
        InputCase{"an entity the document does not declare", DuetWith("Oboe", "&ob;"),
                  "in <part-name>: entity &ob; is not declared in the document"},
        InputCase{"an external entity",
                  [](const TempDir& d) {
                    WriteText(d.Path("secret.txt"), "secret");
                    std::string score = DuetWith("Oboe", "&ob;");
                    score.insert(score.find("<score-partwise"),
                                 "<!DOCTYPE score-partwise [<!ENTITY ob SYSTEM \"" + d.Path("secret.txt") + "\">]>\n");
                    return WithText(d, "external.musicxml", score);
                  },
                  "entity &ob; is external, and external entities are never read"}));

TEST_F(Safety, InternalEntitiesAreExpandedAndTheOutputIsUtf8) {
  std::string score = DuetWith("Oboe", "&ob; d&apos;amore");
  score.insert(score.find("<score-partwise"), "<!DOCTYPE score-partwise [<!ENTITY ob \"Oboe\">]>\n");
  score.replace(score.find("UTF-8"), 5, "ISO-8859-1");
  score.replace(score.find("Flute"), 5, "Fl\xFBte");  // û in Latin-1
  WriteText(Score(), score);
  const CommandRun run = Run({"-o", dir.Path("out.musicxml"), "--mode", "add", "--measures", "--threshold", "6"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string out = ReadText(dir.Path("out.musicxml"));
  EXPECT_THAT(out, HasSubstr("<part-name>Oboe d'amore</part-name>"));
  EXPECT_THAT(out, HasSubstr("<part-name>Flûte</part-name>")) << "written as UTF-8";
  EXPECT_THAT(run.out, HasSubstr("Oboe d'amore: rest in measures 1-8"));
}

// ---- .mxl archives ----

TEST_F(Safety, ArchivesAreKnownInAnyCaseAndTheirContainerIsEscaped) {
  const CommandRun run = Run({"-o", dir.Path("Tom & Jerry.MXL"), "--mode", "mark"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadText(dir.Path("Tom & Jerry.MXL")).substr(0, 2), "PK") << "a zip, whatever the case of .mxl";
  int error = 0;
  zip_t* archive = zip_open(dir.Path("Tom & Jerry.MXL").c_str(), ZIP_RDONLY, &error);
  ASSERT_NE(archive, nullptr);
  zip_file_t* file = zip_fopen(archive, "META-INF/container.xml", 0);
  char buffer[1024] = {};
  zip_fread(file, buffer, sizeof buffer - 1);
  zip_fclose(file);
  zip_close(archive);
  pugi::xml_document container;
  ASSERT_TRUE(container.load_string(buffer)) << buffer;
  EXPECT_STREQ(container.select_node("//rootfile").node().attribute("full-path").value(), "Tom & Jerry.musicxml");
  const CommandRun again = RunOn({dir.Path("Tom & Jerry.MXL"), "--mode", "mark"});
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_TRUE(Exists(dir.Path("Tom & Jerry.cued.MXL"))) << "named beside it, in its case";
}

// ---- Stopping ----

// At the terminal's prompt, or while the review page waits for an answer.
TEST_F(Safety, AStopAtTheReviewPromptEndsTheRunWithNothingWritten) {
  for (const auto& [face, waiting] : {std::pair<std::string, std::string>{"--no-progress", "> "},
                                      {"--browser", "Review in the browser: http://127.0.0.1:"}}) {
    CommandProcess command({Score(), "--mode", "review", "--measures", "--threshold", "6", "-o",
                            dir.Path("out.musicxml"), "--config-dir", dir.Path("cfg"), face},
                           "unset DISPLAY WAYLAND_DISPLAY;");
    ASSERT_TRUE(command.WaitForOutput(waiting)) << command.Out() << command.Err();
    command.Signal(SIGINT);
    EXPECT_EQ(command.Wait(), 130) << face << command.Err();
    EXPECT_THAT(command.Err(), HasSubstr("stopped; the score is as it was and nothing was written")) << face;
    EXPECT_THAT(command.Err(), Not(HasSubstr("warning"))) << face;
    EXPECT_FALSE(Exists(dir.Path("out.musicxml"))) << face;
    EXPECT_FALSE(Exists(dir.Path("cfg/registry"))) << face;
    EXPECT_TRUE(Leftovers(dir).empty()) << face;
  }
}

TEST_F(Safety, SigtermDuringTheSearchEndsTheRunWithNothingWritten) {
  const std::string xml = ostinel_bench::GenerateMusicXml(60, 1000);
  WriteText(dir.Path("large.musicxml"), xml);
  WriteText(dir.Path("out.musicxml"), "previous");
  CommandProcess command({dir.Path("large.musicxml"), "--mode", "add", "--measures", "--threshold", "8", "-o",
                          dir.Path("out.musicxml"), "--config-dir", dir.Path("cfg")});
  command.CloseInput();
  usleep(150 * 1000);
  command.Signal(SIGTERM);
  EXPECT_EQ(command.Wait(), 143) << command.Err();
  EXPECT_EQ(ReadText(dir.Path("out.musicxml")), "previous");
  EXPECT_TRUE(Leftovers(dir).empty());
}

TEST_F(Safety, AStopDuringAWriteRemovesTheTemporaryFileAndKeepsTheOldOne) {
  ostinel_cli::InstallStopHandlers();
  WriteText(dir.Path("out.musicxml"), "previous");
  ostinel_cli::OutputTarget target;
  std::string error;
  ASSERT_TRUE(ostinel_cli::CheckTarget(dir.Path("out.musicxml"), &target, &error)) << error;
  // The handler removes the file a write has under way, whenever the stop comes.
  WriteText(dir.Path(".ostinel-pending"), "half");
  ostinel_cli::SetPendingFile(dir.Path(".ostinel-pending").c_str());
  std::raise(SIGTERM);
  ostinel_cli::SetPendingFile(nullptr);
  EXPECT_EQ(ostinel_cli::StopStatus(), 143);
  EXPECT_FALSE(Exists(dir.Path(".ostinel-pending")));
  // A write asked for after the stop puts nothing in place.
  EXPECT_EQ(ostinel_cli::WriteWhole(target, "new", &error), ostinel_cli::WriteResult::Stopped);
  ostinel_cli::RequestStop(0);
  signal(SIGTERM, SIG_DFL);
  signal(SIGINT, SIG_DFL);
  EXPECT_EQ(ReadText(dir.Path("out.musicxml")), "previous");
  EXPECT_TRUE(Leftovers(dir).empty());
  EXPECT_EQ(ostinel_cli::WriteWhole(target, "new", &error), ostinel_cli::WriteResult::Written) << error;
  EXPECT_EQ(ReadText(dir.Path("out.musicxml")), "new");
}

// A content that cannot be made halfway through (an archive that fails)
// leaves the old file and no temporary one; one made in pieces arrives whole.
TEST_F(Safety, AWriteWhoseContentFailsKeepsTheOldFile) {
  WriteText(dir.Path("out.mxl"), "previous");
  ostinel_cli::OutputTarget target;
  std::string error;
  ASSERT_TRUE(ostinel_cli::CheckTarget(dir.Path("out.mxl"), &target, &error)) << error;
  const auto failing = [](ostinel_cli::ByteSink& sink, std::string* problem) {
    sink.Put("half of it", 10);
    *problem = "cannot make the archive";
    return false;
  };
  EXPECT_EQ(ostinel_cli::WriteWhole(target, failing, &error), ostinel_cli::WriteResult::Failed);
  EXPECT_EQ(error, dir.Path("out.mxl") + ": cannot make the archive");
  EXPECT_EQ(ReadText(dir.Path("out.mxl")), "previous");
  EXPECT_TRUE(Leftovers(dir).empty());

  std::string expected;
  const auto pieces = [&expected](ostinel_cli::ByteSink& sink, std::string*) {
    for (int i = 0; i < 3000; ++i) {  // more than the writer's buffer holds
      const std::string piece = std::to_string(i) + std::string(997, 'x') + "\n";
      expected += piece;
      sink.Put(piece.data(), piece.size());
    }
    return true;
  };
  ASSERT_EQ(ostinel_cli::WriteWhole(target, pieces, &error), ostinel_cli::WriteResult::Written) << error;
  EXPECT_EQ(ReadText(dir.Path("out.mxl")), expected);
}

// ---- The truth of exit status and summary ----

TEST_F(Safety, ALocationThePlugInRefusesIsReportedAsRefusedAndFailsTheRun) {
  // Layer 1 of the oboe holds its rests: the plug-in writes cues only into an empty layer.
  const CommandRun run = Run({"--mode", "add", "--measures", "--threshold", "6", "--dest-layer", "1", "--json",
                              dir.Path("s.json"), "-o", dir.Path("out.musicxml")});
  EXPECT_EQ(run.status, 1);
  EXPECT_THAT(run.out, HasSubstr("; refused: Cue notes can only be entered in an empty layer."));
  EXPECT_THAT(run.err, HasSubstr("the plug-in refused a location"));
  const Json summary = ReadJson(dir.Path("s.json"));
  EXPECT_EQ(summary["locations"][0]["action"], "refused");
  EXPECT_EQ(summary["totals"]["cuesWritten"], 0);
}

TEST_F(Safety, TheSummaryNamesTheSourceTheUserChose) {
  const CommandRun run =
      Run({"--mode", "review", "--measures", "--threshold", "6", "-o", dir.Path("out.musicxml")}, "R Flute 2-3\nC\n");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("proposed cue Flute, measures 4-8; cue written to Oboe from Flute, measures 2-3"));
}

TEST_F(Safety, ReviewNeedsAnswersAndTakesLongOnesWhole) {
  const CommandRun none = Run({"--mode", "review", "--measures", "--threshold", "6", "-o", dir.Path("none.musicxml")});
  EXPECT_EQ(none.status, 2);
  EXPECT_THAT(none.err, HasSubstr("standard input ended before the first answer"));
  EXPECT_FALSE(Exists(dir.Path("none.musicxml")));
  EXPECT_FALSE(Exists(dir.Path("config/registry"))) << "nothing was written, the choices included";
  // A line with no end in sight ends the answers: what follows it is not read.
  const CommandRun endless = Run({"--mode", "review", "--measures", "--threshold", "6", "-o", dir.Path("endless.musicxml")},
                                 std::string(size_t{2} << 20, 'y') + "\nc\n");
  EXPECT_EQ(endless.status, 2) << endless.out;
  EXPECT_FALSE(Exists(dir.Path("endless.musicxml")));
  const CommandRun help = Run({"--help"});
  EXPECT_THAT(help.out, HasSubstr("a fresh configuration starts in review mode"));
  const CommandRun longName =
      Run({"--mode", "review", "--measures", "--threshold", "6", "-o", dir.Path("long.musicxml")},
          "n " + std::string(600, 'x') + "\nc\n");
  ASSERT_EQ(longName.status, 0) << longName.err;
  EXPECT_THAT(longName.out, Not(HasSubstr("Unknown answer"))) << "one line is one answer";
  EXPECT_THAT(longName.out, HasSubstr("cue written to Oboe"));
}

TEST_F(Safety, BadSettingsAreNamedAndSetAside) {
  // Settings the plug-in refuses (a threshold of 0) and settings that are no registry.
  mkdir(dir.Path("config").c_str(), 0700);
  WriteText(dir.Path("config/registry"), "software\\lorvent\\OstinelPI_Flag2=dword:f8240100\n");
  const CommandRun zero = Run({"--mode", "mark", "--measures"});
  EXPECT_EQ(zero.status, 0) << zero.err;
  EXPECT_THAT(zero.err, HasSubstr("settings file " + dir.Path("config/registry") + " holds threshold 0"));
  EXPECT_THAT(zero.err, HasSubstr("starting from the defaults"));
  WriteText(dir.Path("config/registry"), "garbage\n");
  const CommandRun garbled = Run({"--mode", "mark"});
  EXPECT_EQ(garbled.status, 0) << garbled.err;
  EXPECT_THAT(garbled.err, HasSubstr("settings file " + dir.Path("config/registry") + ":1: not a registry value line"));
}

}  // namespace
}  // namespace ostinel_test
