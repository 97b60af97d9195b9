// Several scores in one call, each cued by a run of its own.
#include <cstdlib>

#include <nlohmann/json.hpp>

#include "cli_harness.h"

namespace ostinel_test {
namespace {

using Json = nlohmann::json;

class Batch : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteText(dir.Path("in/a.musicxml"), ReadText(SamplePath()));
    WriteText(dir.Path("in/b.musicxml"), SmallScore(Duet()));
    WriteText(dir.Path("in/broken.musicxml"), "<score-partwise><part-list>");
    WriteText(dir.Path("tmp/.keep"), "");
    WriteText(dir.Path("out/.keep"), "");
    setenv("TMPDIR", dir.Path("tmp").c_str(), 1);
  }
  void TearDown() override { unsetenv("TMPDIR"); }

  CommandRun Run(std::vector<std::string> args) {
    for (const char* name : {"a", "broken", "b"}) args.insert(args.begin(), dir.Path(std::string("in/") + name + ".musicxml"));
    return RunOstinel(args, dir.Path("config"));
  }
  TempDir dir;
};

TEST_F(Batch, EachScoreIsCuedOnItsOwnAndAFailureStopsNoOther) {
  const CommandRun run = Run({"--mode", "add", "--measures", "--threshold", "6", "--jobs", "2", "--output-dir",
                              dir.Path("out")});
  EXPECT_EQ(run.status, 1) << "one score failed";
  // One line per score, in the order given, then the total.
  const std::string expected = "b.musicxml: 1 locations, 1 cues written; written to " + dir.Path("out/b.cued.musicxml") +
                               "\nbroken.musicxml: failed: " + dir.Path("in/broken.musicxml") + ":1:27: not well-formed XML";
  EXPECT_EQ(run.out.rfind(expected, 0), 0u) << run.out;
  EXPECT_NE(run.out.find("\na.musicxml: 17 locations, 17 cues written; written to " + dir.Path("out/a.cued.musicxml") +
                         "\n3 scores: 2 written, 1 failed; 18 locations, 18 cues written\n"),
            std::string::npos)
      << run.out;
  EXPECT_FALSE(Exists(dir.Path("out/broken.cued.musicxml")));
  EXPECT_TRUE(dir.Files("tmp") == std::vector<std::string>{".keep"}) << "the runs' own files are gone";

  // Each cued score is what a run of that score alone writes.
  for (const char* name : {"a", "b"}) {
    const std::string alone = dir.Path(std::string("alone-") + name + ".musicxml");
    ASSERT_EQ(RunOstinel({dir.Path(std::string("in/") + name + ".musicxml"), "-o", alone, "--mode", "add", "--measures",
                          "--threshold", "6"},
                         dir.Path("config"))
                  .status,
              0);
    EXPECT_EQ(ReadText(dir.Path(std::string("out/") + name + ".cued.musicxml")), ReadText(alone)) << name;
  }
}

TEST_F(Batch, TheJsonIsOneDocumentForAllScores) {
  const CommandRun run = Run({"--mode", "mark", "--measures", "--threshold", "6", "--json", "-"});
  EXPECT_EQ(run.status, 1);
  const Json json = Json::parse(run.out);
  ASSERT_EQ(json["scores"].size(), 3u);
  EXPECT_EQ(json["scores"][0]["input"], dir.Path("in/b.musicxml"));
  EXPECT_EQ(json["scores"][0]["status"], 0);
  EXPECT_EQ(json["scores"][0]["totals"]["marked"], 1);
  EXPECT_EQ(json["scores"][0]["output"], dir.Path("in/b.cued.musicxml")) << "beside its input";
  EXPECT_EQ(json["scores"][1]["status"], 1);
  EXPECT_TRUE(json["scores"][1]["output"].is_null());
  EXPECT_THAT(json["scores"][1]["error"].get<std::string>(), HasSubstr("not well-formed XML"));
  EXPECT_EQ(json["totals"], (Json{{"scores", 3}, {"written", 2}, {"failed", 1}, {"locations", 19}, {"cuesWritten", 0},
                                  {"marked", 19}, {"skipped", 0}, {"refused", 0}}));
  EXPECT_THAT(run.err, HasSubstr("3 scores: 2 written, 1 failed")) << "people's lines on standard error";
}

TEST_F(Batch, WhatCannotWorkIsRefusedBeforeAnyScoreIsTouched) {
  WriteText(dir.Path("other/a.musicxml"), ReadText(SamplePath()));
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"-o", dir.Path("x.musicxml"), "--mode", "add"}, "-o names one file, and 3 scores were given"},
      {{"--mode", "review"}, "several scores are cued without questions"},
      {{}, "several scores are cued without questions"},
      {{dir.Path("other/a.musicxml"), "--mode", "add", "--output-dir", dir.Path("in")}, "would hold both the cued copy of"},
  };
  for (const Case& c : cases) {
    const std::vector<std::string> before = dir.Files("in");
    const CommandRun run = Run(c.args);
    EXPECT_EQ(run.status, 2) << c.message;
    EXPECT_THAT(run.err, HasSubstr(c.message));
    EXPECT_EQ(dir.Files("in"), before) << c.message;
  }
}

TEST(Version, IsPrinted) {
  TempDir dir;
  const CommandRun run = RunOstinel({"--version"}, dir.Path("config"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "ostinel " OSTINEL_TEST_VERSION "\n");
}

}  // namespace
}  // namespace ostinel_test
