// Running the ostinel command in the test process, and reading scores back.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <pugixml.hpp>
#include <string>
#include <vector>

namespace ostinel_test {

using ::testing::HasSubstr;
using ::testing::Not;

// A directory of its own for one test, removed afterwards (subdirectories included).
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string Path(const std::string& name) const { return m_path + "/" + name; }
  // The names in the directory, or in one of its subdirectories.
  std::vector<std::string> Files(const std::string& directory = "") const;

 private:
  std::string m_path;
};

struct CommandRun {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs "ostinel args..." with stdin given and the choices kept in configDir
// (where the command keeps them when it is empty);
// stderr counts as a terminal only when asked (and progress is then drawn).
CommandRun RunOstinel(const std::vector<std::string>& args, const std::string& configDir,
                      const std::string& input = "", bool terminal = false);

// The ostinel program itself, run as a process of its own: its standard
// input is a pipe the test writes to, and the test may signal it while it runs.
class CommandProcess {
 public:
  explicit CommandProcess(const std::vector<std::string>& args, const std::string& shellPrefix = "");
  ~CommandProcess();
  // Reads standard output until it holds text (or the process ends); false on timeout.
  bool WaitForOutput(const std::string& text, int milliseconds = 10000);
  void Signal(int signal);
  void CloseInput();
  // Waits for the end; the exit status, or 128 + the signal that ended it.
  int Wait();
  const std::string& Out() const { return m_out; }
  std::string Err() const;

 private:
  int m_pid = -1;
  int m_in = -1;
  int m_out_fd = -1;
  std::string m_out;
  std::string m_errPath;
};

std::string ReadText(const std::string& path);
void WriteText(const std::string& path, const std::string& text);
bool Exists(const std::string& path);

// The score shipped with the project, and the shared real-world scores
// (empty when this checkout has none beside it).
std::string SourceRoot();
std::string SamplePath();
std::string SharedScoresDir();
// The sample and every shared score there is.
std::vector<std::string> AllScores();
std::string SchemaDir();

// A small partwise score. Each part gives its name, its transposition
// (diatonic, chromatic) and one string per measure: "rest", or pitches like
// "C5 D5 E5 F5" (four quarters; a pitch with a trailing * is a cue note).
struct PartSpec {
  std::string name;
  int diatonic = 0;
  int chromatic = 0;
  std::vector<std::string> measures;
};
std::string SmallScore(const std::vector<PartSpec>& parts);
// Twelve measures: the oboe rests in 1..8 while the flute plays throughout.
std::vector<PartSpec> Duet();

// A score written out in MusicXML by part: the first measure's attributes,
// then each measure's content; measures are numbered from 1 unless numbers
// are given.
struct RawPart {
  std::string name;
  std::string attributes;  // inside <attributes> of the first measure
  std::vector<std::string> measures;
  std::string abbreviation;
};
std::string RawScore(const std::vector<RawPart>& parts, const std::vector<std::string>& numbers = {});
// n quarter notes (or a whole-measure rest of n quarters) at one division to the quarter.
std::string Quarters(const std::string& pitches, int divisions = 1);
std::string MeasureRest(int quarters, int divisions = 1);

// A written score read back; a failure of the test when it cannot be.
pugi::xml_document Read(const std::string& path);

// A test's own directory holding the duet; the command keeps its settings there.
class DuetTest : public ::testing::Test {
 protected:
  void SetUp() override { WriteText(Score(), SmallScore(Duet())); }
  std::string Score() const { return dir.Path("duet.musicxml"); }
  // The command on the duet with args.
  CommandRun Run(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), Score());
    return RunOn(args, input);
  }
  // The command with args alone.
  CommandRun RunOn(const std::vector<std::string>& args, const std::string& input = "") {
    return RunOstinel(args, dir.Path("config"), input);
  }
  TempDir dir;
};

}  // namespace ostinel_test
