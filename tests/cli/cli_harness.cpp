#include "cli_harness.h"
#include "stop_request.h"

#include <sys/stat.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numeric>
#include <sstream>

#include "command.h"
#include "score_file.h"
#include "session.h"

namespace ostinel_test {

TempDir::TempDir() {
  char pattern[] = "/tmp/ostinel-test-XXXXXX";
  m_path = mkdtemp(pattern);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(m_path, ignored);
}

std::vector<std::string> TempDir::Files(const std::string& directory) const {
  std::vector<std::string> files;
  std::error_code missing;
  for (const auto& entry : std::filesystem::directory_iterator(directory.empty() ? m_path : Path(directory), missing)) {
    files.push_back(entry.path().filename());
  }
  std::sort(files.begin(), files.end());
  return files;
}

namespace {

// The command only appends to its streams, so their position is their length.
std::string Drain(std::FILE* file) {
  std::string text(static_cast<size_t>(std::ftell(file)), '\0');
  std::rewind(file);
  text.resize(std::fread(text.data(), 1, text.size(), file));
  std::fclose(file);
  return text;
}

std::string FirstExisting(std::initializer_list<std::string> candidates) {
  for (const std::string& candidate : candidates) {
    if (Exists(candidate)) return candidate;
  }
  return "";
}

}  // namespace

CommandRun RunOstinel(const std::vector<std::string>& args, const std::string& configDir, const std::string& input,
                      bool terminal) {
  std::vector<std::string> all = {"ostinel"};
  if (!configDir.empty()) all.insert(all.end(), {"--config-dir", configDir});
  if (!terminal) all.push_back("--no-progress");
  all.insert(all.end(), args.begin(), args.end());
  std::vector<const char*> argv;
  for (const std::string& arg : all) argv.push_back(arg.c_str());
  ostinel_cli::CommandIo io;
  io.terminal = terminal;
  io.executable = OSTINEL_COMMAND_PATH;  // a batch runs each score in this program
  io.in = std::tmpfile();
  io.out = std::tmpfile();
  io.err = std::tmpfile();
  std::fputs(input.c_str(), io.in);
  std::rewind(io.in);
  ostinel_cli::ClearCancel();
  CommandRun run;
  run.status = ostinel_cli::RunCommand(static_cast<int>(argv.size()), argv.data(), io);
  std::fclose(io.in);
  run.out = Drain(io.out);
  run.err = Drain(io.err);
  return run;
}

CommandProcess::CommandProcess(const std::vector<std::string>& args, const std::string& shellPrefix) {
  char pattern[] = "/tmp/ostinel-err-XXXXXX";
  const int errFd = mkstemp(pattern);
  m_errPath = pattern;
  int input[2];
  int output[2];
  if (pipe(input) != 0 || pipe(output) != 0) return;
  m_pid = fork();
  if (m_pid == 0) {
    dup2(input[0], 0);
    dup2(output[1], 1);
    dup2(errFd, 2);
    for (const int unused : {input[0], input[1], output[0], output[1], errFd}) close(unused);
    // Through a shell when the test sets limits or traps first.
    std::string command = shellPrefix + " exec '" + OSTINEL_COMMAND_PATH + "'";
    for (const std::string& arg : args) command += " '" + arg + "'";
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(input[0]);
  close(output[1]);
  close(errFd);
  m_in = input[1];
  m_out_fd = output[0];
}

CommandProcess::~CommandProcess() {
  if (m_pid > 0) {
    kill(m_pid, SIGKILL);
    Wait();
  }
  if (m_in >= 0) close(m_in);
  if (m_out_fd >= 0) close(m_out_fd);
  std::remove(m_errPath.c_str());
}

bool CommandProcess::WaitForOutput(const std::string& text, int milliseconds) {
  for (int waited = 0; m_out.find(text) == std::string::npos; waited += 10) {
    if (waited > milliseconds) return false;
    pollfd ready{m_out_fd, POLLIN, 0};
    if (poll(&ready, 1, 10) <= 0) continue;
    char buffer[4096];
    const ssize_t read = ::read(m_out_fd, buffer, sizeof buffer);
    if (read <= 0) return m_out.find(text) != std::string::npos;
    m_out.append(buffer, static_cast<size_t>(read));
  }
  return true;
}

void CommandProcess::Signal(int signal) {
  if (m_pid > 0) kill(m_pid, signal);
}

void CommandProcess::CloseInput() {
  if (m_in >= 0) close(m_in);
  m_in = -1;
}

int CommandProcess::Wait() {
  if (m_pid <= 0) return -1;
  int status = 0;
  waitpid(m_pid, &status, 0);
  m_pid = -1;
  char buffer[4096];
  for (ssize_t read; (read = ::read(m_out_fd, buffer, sizeof buffer)) > 0;) m_out.append(buffer, static_cast<size_t>(read));
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string CommandProcess::Err() const { return ReadText(m_errPath); }

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteText(const std::string& path, const std::string& text) {
  mkdir(path.substr(0, path.find_last_of('/')).c_str(), 0777);  // a subdirectory of a test's own
  std::ofstream out(path, std::ios::binary);
  out << text;
}

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

std::string SourceRoot() { return OSTINEL_SOURCE_DIR; }

std::string SamplePath() { return SourceRoot() + "/samples/orchestral-excerpt.musicxml"; }

// A directory of the shared material beside the checkout (or where
// OSTINEL_SHARED_DIR says), empty when there is none.
std::string SharedDir(const std::string& name) {
  const char* given = std::getenv("OSTINEL_SHARED_DIR");
  return FirstExisting({given != nullptr ? std::string(given) + "/" + name : std::string(),
                        SourceRoot() + "/../shared/" + name, "/work/shared/" + name});
}

std::string SharedScoresDir() { return SharedDir("scores"); }

std::vector<std::string> AllScores() {
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

std::string SchemaDir() { return SharedDir("musicxml-4.0"); }

std::vector<PartSpec> Duet() {
  PartSpec flute{"Flute", 0, 0, {}};
  PartSpec oboe{"Oboe", 0, 0, {}};
  for (int m = 1; m <= 12; ++m) {
    flute.measures.push_back("C5 D5 E5 F5");
    oboe.measures.push_back(m <= 8 ? "rest" : "G4 A4 B4 C5");
  }
  return {flute, oboe};
}

std::string SmallScore(const std::vector<PartSpec>& parts) {
  std::vector<RawPart> raw;
  for (const PartSpec& part : parts) {
    std::string attributes = "<divisions>1</divisions><time><beats>4</beats><beat-type>4</beat-type></time>"
                             "<clef><sign>G</sign><line>2</line></clef>";
    if (part.diatonic != 0 || part.chromatic != 0) {
      attributes += "<transpose><diatonic>" + std::to_string(part.diatonic) + "</diatonic><chromatic>" +
                    std::to_string(part.chromatic) + "</chromatic></transpose>";
    }
    RawPart& written = raw.emplace_back(RawPart{part.name, attributes, {}, ""});
    for (const std::string& content : part.measures) {
      if (content == "rest") {
        written.measures.push_back("<note><rest measure=\"yes\"/><duration>4</duration><voice>1</voice></note>");
        continue;
      }
      std::ostringstream xml;
      std::istringstream pitches(content);
      for (std::string pitch; pitches >> pitch;) {
        const bool cue = pitch.back() == '*';
        if (cue) pitch.pop_back();
        int alter = 0;
        size_t at = 1;
        while (at < pitch.size() && (pitch[at] == '#' || pitch[at] == 'b')) alter += pitch[at++] == '#' ? 1 : -1;
        xml << "<note>" << (cue ? "<cue/>" : "") << "<pitch><step>" << pitch[0] << "</step>";
        if (alter != 0) xml << "<alter>" << alter << "</alter>";
        xml << "<octave>" << pitch.substr(at) << "</octave></pitch><duration>1</duration><voice>1</voice>"
            << "<type" << (cue ? " size=\"cue\"" : "") << ">quarter</type></note>";
      }
      written.measures.push_back(xml.str());
    }
  }
  return RawScore(raw);
}

std::string RawScore(const std::vector<RawPart>& parts, const std::vector<std::string>& numbers) {
  std::ostringstream xml;
  xml << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<score-partwise version=\"4.0\"><part-list>";
  for (size_t p = 0; p < parts.size(); ++p) {
    xml << "<score-part id=\"P" << p + 1 << "\"><part-name>" << parts[p].name << "</part-name>";
    if (!parts[p].abbreviation.empty()) xml << "<part-abbreviation>" << parts[p].abbreviation << "</part-abbreviation>";
    xml << "</score-part>";
  }
  xml << "</part-list>";
  for (size_t p = 0; p < parts.size(); ++p) {
    xml << "<part id=\"P" << p + 1 << "\">";
    for (size_t m = 0; m < parts[p].measures.size(); ++m) {
      xml << "<measure number=\"" << (m < numbers.size() ? numbers[m] : std::to_string(m + 1)) << "\">";
      if (m == 0) xml << "<attributes>" << parts[p].attributes << "</attributes>";
      xml << parts[p].measures[m] << "</measure>";
    }
    xml << "</part>";
  }
  xml << "</score-partwise>\n";
  return xml.str();
}

std::string Quarters(const std::string& pitches, int divisions) {
  std::ostringstream xml;
  std::istringstream words(pitches);
  for (std::string pitch; words >> pitch;) {
    xml << "<note><pitch><step>" << pitch[0] << "</step><octave>" << pitch.substr(1)
        << "</octave></pitch><duration>" << divisions << "</duration><voice>1</voice><type>quarter</type></note>";
  }
  return xml.str();
}

std::string MeasureRest(int quarters, int divisions) {
  return "<note><rest measure=\"yes\"/><duration>" + std::to_string(quarters * divisions) +
         "</duration><voice>1</voice></note>";
}

pugi::xml_document Read(const std::string& path) {
  ostinel_cli::ScoreFile score;
  std::string error;
  EXPECT_TRUE(ostinel_cli::ReadScore(path, &score, &error)) << error;
  return std::move(score.document);
}

}  // namespace ostinel_test
