// The command against hostile input, second round: names and answers that
// are not UTF-8 or hold what a terminal or XML would obey, files that never
// end or are not what they claim, links planted where the command writes,
// batches that name their inputs, signals, and scores past what the host holds.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

#include "cli_harness.h"
#include "score_checks.h"
#include "shown_text.h"
#include "xml_text.h"

namespace ostinel_test {
namespace {

using Json = nlohmann::json;
using Hostile = DuetTest;

std::string Oboe(const std::string& name) {
  std::vector<PartSpec> parts = Duet();
  parts[1].name = name;
  return SmallScore(parts);
}

TEST_F(Hostile, FileNamesAreBytesAndReachJsonAndLinesAsUtf8) {
  const std::string latin1 = dir.Path("sc\xe9ne.musicxml");
  const std::string dash = dir.Path("-dash.musicxml");
  WriteText(latin1, SmallScore(Duet()));
  WriteText(dash, SmallScore(Duet()));
  const CommandRun one = RunOn({latin1, "--mode", "add", "--measures", "--threshold", "6", "--json", dir.Path("a.json")});
  ASSERT_EQ(one.status, 0) << one.err;
  EXPECT_EQ(ReadJson(dir.Path("a.json"))["input"], ostinel_cli::AsUtf8(latin1)) << "é read as Latin-1";
  // A batch: each child's summary comes back whole, and a name may start with "-".
  setenv("TMPDIR", "/nonexistent", 1);  // nothing of a batch lives there
  const CommandRun batch = RunOn({"--mode", "add", "--measures", "--threshold", "6", "--json", dir.Path("b.json"), "--",
                                  latin1, dash});
  unsetenv("TMPDIR");
  ASSERT_EQ(batch.status, 0) << batch.err;
  EXPECT_THAT(batch.out, HasSubstr("2 scores: 2 written, 0 failed"));
  const Json summary = ReadJson(dir.Path("b.json"));
  ASSERT_FALSE(summary.is_discarded());
  EXPECT_EQ(summary["scores"][1]["input"], dash);
  EXPECT_TRUE(Exists(dir.Path("-dash.cued.musicxml")));
}

TEST_F(Hostile, NamesAndAnswersThatATerminalOrXmlWouldObeyAreNeutralised) {
  WriteText(Score(), Oboe("Ob\xe2\x80\xae" "eo\xc2\x9b" "31m"));  // a right-to-left override and a control sequence
  const CommandRun run = Run({"--mode", "review", "--measures", "--threshold", "6", "--json", dir.Path("s.json")},
                             "n Fl\xf6te\nn a\x07 b\nn \xef\xbf\xbe\n" + std::string(70000, 'x') + "\nc\n");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("Ob<U+202E>eo<U+009B>31m: rest in measures 1-8"));
  EXPECT_THAT(run.out, Not(HasSubstr("\xc2\x9b"))) << "no control sequence reaches the terminal";
  EXPECT_THAT(run.out, HasSubstr("Read as Latin-1: Flöte"));
  EXPECT_THAT(run.out, HasSubstr("The name holds U+0007, which a score cannot keep; type it again"));
  EXPECT_THAT(run.out, HasSubstr("The name holds U+FFFE"));
  EXPECT_THAT(run.out, HasSubstr("That answer is longer than 4096 bytes; type it again"));
  // The score written reads back (its reader refuses what is not well-formed UTF-8).
  const pugi::xml_document out = Read(dir.Path("duet.cued.musicxml"));
  EXPECT_STREQ(out.select_node("//direction[starts-with(@id,'ostinel-cue-name')]//words").node().child_value(), "Flöte");
  EXPECT_FALSE(ReadJson(dir.Path("s.json")).is_discarded());
}

TEST_F(Hostile, NothingIsWrittenOverAFileTheUserDidNotName) {
  // A link planted at the default output name.
  WriteText(dir.Path("victim.txt"), "keep");
  symlink(dir.Path("victim.txt").c_str(), dir.Path("duet.cued.musicxml").c_str());
  const CommandRun linked = Run({"--mode", "mark"});
  EXPECT_EQ(linked.status, 2);
  EXPECT_THAT(linked.err, HasSubstr("is a symbolic link; at a name it chose itself the command follows no link"));
  EXPECT_EQ(ReadText(dir.Path("victim.txt")), "keep");
  unlink(dir.Path("duet.cued.musicxml").c_str());
  // A batch's summary may name neither a score nor another's output.
  WriteText(dir.Path("b.musicxml"), SmallScore(Duet()));
  for (const std::string& json : {Score(), dir.Path("b.cued.musicxml")}) {
    const CommandRun batch = RunOn({Score(), dir.Path("b.musicxml"), "--mode", "mark", "--json", json});
    EXPECT_EQ(batch.status, 2) << json;
    EXPECT_FALSE(Exists(dir.Path("b.cued.musicxml"))) << json;
  }
  EXPECT_EQ(ReadText(Score()), SmallScore(Duet()));
  // An input that is no file has no place beside it; empty names are none.
  mkfifo(dir.Path("fifo.musicxml").c_str(), 0600);
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {dir.Path("fifo.musicxml")}, {Score(), "-o", ""}, {Score(), "--json", ""}, {Score(), "--report", ""}}) {
    const CommandRun refused = RunOn(args);
    EXPECT_EQ(refused.status, 2) << args.back();
  }
}

TEST_F(Hostile, SettingsThatNeverEndOrAreNoSettingsAreNeverOverwritten) {
  mkdir(dir.Path("config").c_str(), 0700);
  const std::string file = dir.Path("config/registry");
  struct Case {
    std::function<void()> plant;
    std::string warning;
  };
  const Case cases[] = {
      {[&] { mkfifo(file.c_str(), 0600); }, "is a FIFO; starting from the defaults, and your choices are not kept"},
      {[&] { symlink("/dev/zero", file.c_str()); }, "is a character device"},
      {[&] { WriteText(dir.Path("notes.txt"), "my notes\n"); symlink(dir.Path("notes.txt").c_str(), file.c_str()); },
       "moved aside to " + file + ".unrecognised"},
  };
  for (const Case& c : cases) {
    unlink(file.c_str());
    c.plant();
    const CommandRun run = Run({"--mode", "mark", "--threshold", "6", "-o", dir.Path("out.musicxml")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(run.err, HasSubstr(c.warning));
  }
  EXPECT_EQ(ReadText(dir.Path("notes.txt")), "my notes\n") << "the link was moved, its target left alone";
  EXPECT_THAT(ReadText(file), HasSubstr("OstinelPI")) << "a settings file of its own in its place";
  // No home: the choices are not kept, and nothing is made at the root.
  const char* home = std::getenv("HOME");
  const std::string saved = home != nullptr ? home : "";
  setenv("HOME", "", 1);
  const CommandRun homeless = RunOstinel({Score(), "--mode", "mark", "-o", dir.Path("h.musicxml")}, "");
  setenv("HOME", saved.c_str(), 1);
  EXPECT_EQ(homeless.status, 0);
  EXPECT_THAT(homeless.err, HasSubstr("there is no place to keep your choices"));
}

TEST_F(Hostile, ScoresPastWhatTheHostHoldsAreRefusedAndAbsurdTemposBounded) {
  // 2049 parts of 16 staves: 32784 staves.
  RawPart part{"P", "<divisions>1</divisions><staves>16</staves>", {MeasureRest(4)}, ""};
  WriteText(dir.Path("wide.musicxml"), RawScore(std::vector<RawPart>(2049, part)));
  const CommandRun wide = RunOn({dir.Path("wide.musicxml")});
  EXPECT_EQ(wide.status, 1);
  EXPECT_THAT(wide.err, HasSubstr("the score has 32784 staves, more than the host holds (32767)"));
  // A host frame counts its entries in 16 signed bits: one more is refused,
  // named by the measure's printed number, and the most it holds is read.
  std::string crowd;
  for (int i = 0; i < 32767; ++i) crowd += "C4 ";
  for (const int notes : {32768, 32767}) {
    const std::string many = Quarters(notes == 32768 ? crowd + "D4" : crowd);
    const RawPart crowded{"P", "<divisions>1</divisions>", {MeasureRest(4), many}, ""};
    WriteText(dir.Path("crowded.musicxml"), RawScore({crowded, part}, {"1", "7a"}));
    const CommandRun run =
        RunOn({dir.Path("crowded.musicxml"), "--mode", "mark", "-o", dir.Path("crowded.out.musicxml")});
    if (notes == 32768) {
      EXPECT_EQ(run.status, 1);
      EXPECT_THAT(run.err, HasSubstr("part P1, measure 7a: voice 1 holds 32768 notes and rests, more than the host "
                                     "holds in one measure (32767)"));
      EXPECT_FALSE(Exists(dir.Path("crowded.out.musicxml")));
    } else {
      EXPECT_EQ(run.status, 0) << run.err;
    }
  }
  std::string twice = SmallScore(Duet());
  twice.replace(twice.find("<score-part id=\"P2\">"), 20, "<score-part id=\"P1\">");
  WriteText(dir.Path("twice.musicxml"), twice);
  EXPECT_THAT(RunOn({dir.Path("twice.musicxml")}).err, HasSubstr("part P1 is listed twice in the part list"));
  std::string slow = SmallScore(Duet());
  slow.insert(slow.find("<note>"), "<sound tempo=\"0.0001\"/>");
  WriteText(dir.Path("slow.musicxml"), slow);
  const CommandRun run = RunOn({dir.Path("slow.musicxml"), "--mode", "mark", "--seconds", "--threshold", "10", "--json",
                                dir.Path("slow.json")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.err, HasSubstr("a tempo of 0.0001 quarters a minute is slower than the host holds"));
  EXPECT_TRUE(ReadJson(dir.Path("slow.json"))["locations"][0]["rest"]["seconds"].is_number());
}

TEST_F(Hostile, SighupEndsARunCleanlyAndAKilledRunsTemporaryFileIsRemovedLater) {
  CommandProcess command({Score(), "--mode", "review", "--measures", "--threshold", "6", "-o", dir.Path("out.musicxml"),
                          "--config-dir", dir.Path("cfg")});
  ASSERT_TRUE(command.WaitForOutput("> ")) << command.Err();
  command.Signal(SIGHUP);
  EXPECT_EQ(command.Wait(), 129) << command.Err();
  EXPECT_FALSE(Exists(dir.Path("out.musicxml")));
  // The temporary file of a process that is gone, and of one that runs.
  const pid_t gone = fork();
  if (gone == 0) _exit(0);
  waitpid(gone, nullptr, 0);
  const std::string stale = dir.Path(".ostinel-tmp-" + std::to_string(gone) + "-abcdef");
  const std::string live = dir.Path(".ostinel-tmp-" + std::to_string(getpid()) + "-abcdef");
  WriteText(stale, "half");
  WriteText(live, "half");
  ASSERT_EQ(Run({"--mode", "mark"}).status, 0);
  EXPECT_FALSE(Exists(stale));
  EXPECT_TRUE(Exists(live));
  unlink(live.c_str());
}

TEST_F(Hostile, StandardOutputNamedAsAFileIsWrittenAsAStream) {
  CommandProcess command({Score(), "--mode", "mark", "--measures", "--threshold", "6", "-o", "/dev/stdout",
                          "--config-dir", dir.Path("cfg")});
  command.CloseInput();
  EXPECT_EQ(command.Wait(), 0) << command.Err();
  EXPECT_THAT(command.Out(), HasSubstr("<score-partwise"));
  EXPECT_THAT(command.Out(), HasSubstr("*** 8 measures of rest ***"));
}

TEST_F(Hostile, ReviewSaysWhenMoreStavesAreChosenThanACueTakes) {
  std::vector<PartSpec> parts = Duet();
  for (int i = 0; i < 100; ++i) parts.push_back(PartSpec{"Extra " + std::to_string(i), 0, 0, parts[1].measures});
  WriteText(Score(), SmallScore(parts));
  std::string all;
  for (int staff = 2; staff <= 102; ++staff) all += (all.empty() ? "" : ",") + std::to_string(staff);
  const CommandRun run = Run({"--mode", "review", "--measures", "--threshold", "6"}, "t " + all + "\nq\n");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("A cue goes to at most 100 staves at once; 101 were given"));
}

// A large text is checked in two halves at once: a fault anywhere, the
// middle included, is the first one in the text, named by its place.
TEST(LargeText, ItsFirstFaultIsFoundWhereverTheHalvesMeet) {
  // 40,000 lines of 63 letters: the middle falls at line 20,001, column 1.
  const std::string line = std::string(63, 'a') + "\n";
  std::string text;
  for (int i = 0; i < 40000; ++i) text += line;
  const size_t middle = text.size() / 2;
  auto put = [](const std::string& base, size_t at, const std::string& bytes) {
    return base.substr(0, at) + bytes + base.substr(at + bytes.size());
  };
  struct Case {
    const char* label;
    std::string text;
    std::string fault;  // empty: valid
  };
  const Case cases[] = {
      {"a character across the middle", put(text, middle - 1, "\xE2\x82\xAC"), ""},
      {"a fault in the second half", put(text, middle + 64 * 3 + 5, "\xFF"), "line 20004, column 6: byte 0xFF is not valid UTF-8"},
      {"a fault in each half: the first", put(put(text, middle + 70, "\xFF"), 64 * 2 + 2, "\xC0"),
       "line 3, column 3: byte 0xC0 is not valid UTF-8"},
      {"a character cut at the middle", put(text, middle - 2, "\xE2\x82"),
       "line 20000, column 63: byte 0xE2 is not valid UTF-8 (no character follows it)"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_EQ(ostinel_cli::CheckCharacters(c.text, pugi::encoding_utf8, &error), c.fault.empty()) << c.label;
    EXPECT_EQ(error, c.fault) << c.label;
  }
}

}  // namespace
}  // namespace ostinel_test
