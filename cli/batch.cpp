#include "batch.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "output_file.h"
#include "score_file.h"
#include "stop_request.h"

extern char** environ;

namespace ostinel_cli {

namespace {

using Json = nlohmann::json;

struct Score {
  std::string input;
  std::string output;
  std::string summaryPath;  // the run's JSON summary, in the batch's own directory
  std::string errorPath;    // what it printed on standard error
  pid_t pid = 0;
  int status = -1;
  bool done = false;
  bool reported = false;
};

std::string Base(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The program to start for each score: this one.
std::string Executable(const CommandIo& io) {
  if (!io.executable.empty()) return io.executable;
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string("ostinel");
}

pid_t Start(const std::string& program, const std::vector<std::string>& arguments, const std::string& errorPath) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid = 0;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// Why a run failed, in its own words: its last message that is no warning.
std::string Reason(const Score& score) {
  std::istringstream lines(ReadAll(score.errorPath));
  std::string reason;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("ostinel: ", 0) != 0 || line.rfind("ostinel: warning: ", 0) == 0) continue;
    reason = line.substr(9);
  }
  if (!reason.empty()) return reason;
  if (score.status > 128) return "stopped by signal " + std::to_string(score.status - 128);
  return "exit status " + std::to_string(score.status);
}

Json Summary(const Score& score) {
  const std::string text = ReadAll(score.summaryPath);
  Json summary = Json::parse(text, nullptr, false);
  if (summary.is_discarded() || !summary.is_object()) summary = Json{{"input", score.input}, {"output", nullptr}};
  summary["status"] = score.status;
  if (score.status != 0) summary["error"] = Reason(score);
  return summary;
}

// "A.mxl: 12 locations, 9 cues written, 3 skipped; written to A.cued.mxl"
std::string Line(const Score& score, const Json& summary) {
  std::string line = Base(score.input) + ": ";
  if (summary.contains("totals")) {
    const Json& totals = summary["totals"];
    line += std::to_string(totals["locations"].get<int>()) + " locations";
    for (const auto& [key, words] : {std::pair{"cuesWritten", " cues written"}, std::pair{"marked", " marked"},
                                     std::pair{"skipped", " skipped"}, std::pair{"refused", " refused"}}) {
      if (totals[key].get<int>() > 0) line += ", " + std::to_string(totals[key].get<int>()) + words;
    }
    if (!summary["output"].is_null()) line += "; written to " + summary["output"].get<std::string>();
  }
  if (score.status != 0) line += (summary.contains("totals") ? "; failed: " : "failed: ") + Reason(score);
  return line;
}

// Every output must be writable and each a file of its own, before any work.
bool CheckOutputs(const std::vector<Score>& scores, std::FILE* err) {
  for (size_t i = 0; i < scores.size(); ++i) {
    OutputTarget target;
    std::string error;
    if (!CheckTarget(scores[i].output, &target, &error)) {
      std::fprintf(err, "ostinel: %s\n", error.c_str());
      return false;
    }
    for (size_t j = 0; j < scores.size(); ++j) {
      if (SameFile(scores[i].output, scores[j].input) || (j < i && SameFile(scores[i].output, scores[j].output))) {
        std::fprintf(err, "ostinel: %s and %s would both be written to %s; cue them into different directories\n",
                     scores[j].input.c_str(), scores[i].input.c_str(), scores[i].output.c_str());
        return false;
      }
    }
  }
  return true;
}

class Batch {
 public:
  Batch(const CommandOptions& options, const CommandIo& io, const std::string& directory)
      : m_options(options), m_io(io), m_program(Executable(io)) {
    for (size_t i = 0; i < options.inputs.size(); ++i) {
      Score score;
      score.input = options.inputs[i];
      score.output = CuedPath(score.input, options.outputDirectory);
      score.summaryPath = directory + "/" + std::to_string(i) + ".json";
      score.errorPath = directory + "/" + std::to_string(i) + ".err";
      m_scores.push_back(score);
    }
    // With the JSON on standard output, the lines for people go to standard error.
    m_human = options.json == "-" ? io.err : io.out;
  }

  std::vector<Score>& Scores() { return m_scores; }

  // Runs them all, at most jobs at a time; false when stopped.
  bool Run() {
    size_t next = 0;
    int running = 0;
    while (next < m_scores.size() || running > 0) {
      if (StopSignal() != 0) {
        Stop();
        return false;
      }
      while (next < m_scores.size() && running < m_options.jobs) {
        Score& score = m_scores[next++];
        std::vector<std::string> arguments = {score.input, "-o", score.output, "--json", score.summaryPath,
                                              "--no-progress"};
        const std::vector<std::string> search = SearchArguments(m_options);
        arguments.insert(arguments.end(), search.begin(), search.end());
        score.pid = Start(m_program, arguments, score.errorPath);
        if (score.pid == 0) {
          score.done = true;
          score.status = 127;
          std::ofstream(score.errorPath) << "ostinel: cannot start " << m_program << ": " << std::strerror(errno) << "\n";
        } else {
          ++running;
        }
      }
      // Polled, so that a stop is seen while the runs go on.
      for (Score& score : m_scores) {
        int status = 0;
        if (score.pid == 0 || score.done || waitpid(score.pid, &status, WNOHANG) != score.pid) continue;
        score.done = true;
        score.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        --running;
      }
      Report();
      if (running > 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Report();
    return true;
  }

  // The lines of the scores done, in the order given; the total; the JSON.
  int Finish() {
    int failed = 0;
    Json totals{{"scores", m_scores.size()}, {"written", 0}, {"failed", 0}, {"locations", 0},
                {"cuesWritten", 0},          {"marked", 0},  {"skipped", 0}, {"refused", 0}};
    for (const Json& summary : m_summaries) {
      if (summary["status"] != 0) ++failed;
      if (!summary["output"].is_null()) totals["written"] = totals["written"].get<int>() + 1;
      if (!summary.contains("totals")) continue;
      for (const char* key : {"locations", "cuesWritten", "marked", "skipped", "refused"}) {
        totals[key] = totals[key].get<int>() + summary["totals"][key].get<int>();
      }
    }
    totals["failed"] = failed;
    std::string line = std::to_string(m_scores.size()) + " scores: " + std::to_string(totals["written"].get<int>()) +
                       " written, " + std::to_string(failed) + " failed; " +
                       std::to_string(totals["locations"].get<int>()) + " locations";
    for (const auto& [key, words] : {std::pair{"cuesWritten", " cues written"}, std::pair{"marked", " marked"}}) {
      if (totals[key].get<int>() > 0) line += ", " + std::to_string(totals[key].get<int>()) + words;
    }
    std::fprintf(m_human, "%s\n", line.c_str());
    if (!m_options.json.empty()) {
      const std::string text = Json{{"scores", m_summaries}, {"totals", totals}}.dump(2) + "\n";
      if (m_options.json == "-") {
        std::fputs(text.c_str(), m_io.out);
      } else {
        OutputTarget target;
        std::string error;
        if (!CheckTarget(m_options.json, &target, &error) || WriteWhole(target, text, &error) != WriteResult::Written) {
          std::fprintf(m_io.err, "ostinel: %s\n", error.empty() ? "stopped; the summary was not written" : error.c_str());
          return 1;
        }
      }
    }
    return failed > 0 ? 1 : 0;
  }

 private:
  void Report() {
    while (m_reported < m_scores.size() && m_scores[m_reported].done) {
      const Score& score = m_scores[m_reported++];
      m_summaries.push_back(Summary(score));
      std::fprintf(m_human, "%s\n", Line(score, m_summaries.back()).c_str());
      std::fflush(m_human);
    }
  }

  // Each run under way stops as it would on its own: nothing half written.
  void Stop() {
    for (Score& score : m_scores) {
      if (score.pid != 0 && !score.done) kill(score.pid, SIGTERM);
    }
    for (Score& score : m_scores) {
      int status = 0;
      if (score.pid != 0 && !score.done) waitpid(score.pid, &status, 0);
    }
  }

  const CommandOptions& m_options;
  const CommandIo& m_io;
  std::string m_program;
  std::vector<Score> m_scores;
  std::vector<Json> m_summaries;
  size_t m_reported = 0;
  std::FILE* m_human;
};

}  // namespace

std::string CuedPath(const std::string& input, const std::string& directory) {
  const std::string beside = DefaultOutputPath(input);
  return directory.empty() ? beside : directory + "/" + Base(beside);
}

int RunBatch(const CommandOptions& options, const CommandIo& io) {
  const char* temporary = std::getenv("TMPDIR");
  std::string pattern = std::string(temporary != nullptr && temporary[0] != '\0' ? temporary : "/tmp") +
                        "/ostinel-batch-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    std::fprintf(io.err, "ostinel: cannot make a working directory in %s: %s\n", pattern.c_str(), std::strerror(errno));
    return 1;
  }
  Batch batch(options, io, pattern);
  int status = 2;
  OutputTarget json;
  std::string error;
  if (!options.json.empty() && options.json != "-" && !CheckTarget(options.json, &json, &error)) {
    std::fprintf(io.err, "ostinel: %s\n", error.c_str());
  } else if (CheckOutputs(batch.Scores(), io.err)) {
    if (batch.Run()) {
      status = batch.Finish();
    } else {
      std::fprintf(io.err, "ostinel: stopped; the scores listed above were cued, the others are as they were\n");
      status = StopStatus();
    }
  }
  for (const Score& score : batch.Scores()) {
    unlink(score.summaryPath.c_str());
    unlink(score.errorPath.c_str());
  }
  rmdir(pattern.c_str());
  return status;
}

}  // namespace ostinel_cli
