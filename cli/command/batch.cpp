#include "batch.h"

#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>

#include "child_process.h"
#include "messages.h"
#include "planned_files.h"
#include "score_file.h"
#include "shown_text.h"
#include "stop_request.h"

namespace ostinel_cli {

namespace {

using Json = nlohmann::json;

struct Score {
  std::string input;
  std::string output;
  std::unique_ptr<ChildProcess> run;
  int status = -1;
  bool done = false;
};

std::string Base(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

// The program to start for each score: this one.
std::string Executable(const CommandIo& io) {
  if (!io.executable.empty()) return io.executable;
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string("ostinel");
}

// Why a run failed, in its own words: its last message that is no warning.
std::string Reason(const Score& score) {
  std::istringstream lines(score.run != nullptr ? score.run->Errors() : "");
  std::string reason;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("ostinel: ", 0) != 0 || line.rfind("ostinel: warning: ", 0) == 0) continue;
    reason = line.substr(9);
  }
  if (!reason.empty()) return reason;
  if (score.status > 128) return "stopped by signal " + std::to_string(score.status - 128);
  return "exit status " + std::to_string(score.status);
}

// The run's own summary (its standard output), with its status.
Json Summary(const Score& score) {
  Json summary = Json::parse(score.run != nullptr ? score.run->Output() : "", nullptr, false);
  if (summary.is_discarded() || !summary.is_object()) summary = Json{{"input", AsUtf8(score.input)}, {"output", nullptr}};
  summary["status"] = score.status;
  if (score.status != 0) summary["error"] = AsUtf8(Reason(score));
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
    if (!summary["output"].is_null()) line += "; written to " + score.output;
  }
  if (score.status != 0) line += (summary.contains("totals") ? "; failed: " : "failed: ") + Reason(score);
  return line;
}

class Batch {
 public:
  Batch(const CommandOptions& options, const CommandIo& io) : m_options(options), m_io(io), m_program(Executable(io)) {
    for (const std::string& input : options.inputs) {
      Score score;
      score.input = input;
      score.output = CuedPath(input, options.outputDirectory);
      m_scores.push_back(std::move(score));
    }
    // With the JSON on standard output, the lines for people go to standard error.
    m_human = options.json == "-" ? io.err : io.out;
  }

  // Every output can be written, none is a score read or another output.
  bool Check() {
    std::vector<PlannedFile> files;
    std::vector<std::string> inputs;
    for (const Score& score : m_scores) {
      files.push_back({"", "the cued copy of " + score.input, score.output, false, {}});
      inputs.push_back(score.input);
    }
    if (!m_options.json.empty()) files.push_back({"--json", "the summary", m_options.json, false, {}});
    if (!CheckPlannedFiles(files, inputs, m_io.err)) return false;
    if (!m_options.json.empty()) m_json = files.back().target;
    return true;
  }

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
        // The summary comes back on the run's standard output; "--" lets a
        // score's name start with "-".
        std::vector<std::string> arguments = {"-o", score.output, "--json", "-", "--no-progress"};
        const std::vector<std::string> search = SearchArguments(m_options);
        arguments.insert(arguments.end(), search.begin(), search.end());
        arguments.insert(arguments.end(), {"--", score.input});
        score.run = std::make_unique<ChildProcess>();
        std::string error;
        if (!score.run->Start(m_program, arguments, "", &error)) {
          score.run.reset();
          score.done = true;
          score.status = 127;
          m_startErrors[&score] = error;
        } else {
          ++running;
        }
      }
      std::vector<ChildProcess*> children;
      for (Score& score : m_scores) {
        if (score.run != nullptr && !score.done) children.push_back(score.run.get());
      }
      ChildProcess::Step(children, 50);
      for (Score& score : m_scores) {
        if (score.run == nullptr || score.done || !score.run->Ended()) continue;
        score.done = true;
        score.status = score.run->Status();
        --running;
      }
      Report();
    }
    Report();
    return true;
  }

  // The total, and the JSON.
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
      const std::string text = Json{{"scores", m_summaries}, {"totals", totals}}.dump(
                                   2, ' ', false, Json::error_handler_t::replace) +
                               "\n";
      std::string error;
      if (m_json.standardOutput) {
        std::fputs(text.c_str(), m_io.out);
      } else if (WriteWhole(m_json, text, &error) != WriteResult::Written) {
        Say(m_io.err, error.empty() ? "stopped; the summary was not written" : error);
        return kFailed;
      }
    }
    return failed > 0 ? kFailed : kDone;
  }

 private:
  // The lines of the scores done, in the order given.
  void Report() {
    while (m_reported < m_scores.size() && m_scores[m_reported].done) {
      const Score& score = m_scores[m_reported++];
      m_summaries.push_back(Summary(score));
      const auto failedToStart = m_startErrors.find(&score);
      if (failedToStart != m_startErrors.end()) m_summaries.back()["error"] = AsUtf8(failedToStart->second);
      std::fprintf(m_human, "%s\n",
                   Printable(failedToStart != m_startErrors.end() ? Base(score.input) + ": failed: " +
                                                                        failedToStart->second
                                                                  : Line(score, m_summaries.back()))
                       .c_str());
      std::fflush(m_human);
    }
  }

  // Each run under way stops as it would on its own: nothing half written.
  void Stop() {
    for (Score& score : m_scores) {
      if (score.run != nullptr && !score.done) score.run->Signal(SIGTERM);
    }
    for (Score& score : m_scores) {
      if (score.run != nullptr && !score.done) score.run->Wait();
    }
  }

  const CommandOptions& m_options;
  const CommandIo& m_io;
  std::string m_program;
  std::vector<Score> m_scores;
  std::map<const Score*, std::string> m_startErrors;
  std::vector<Json> m_summaries;
  size_t m_reported = 0;
  std::FILE* m_human;
  OutputTarget m_json;
};

}  // namespace

int RunBatch(const CommandOptions& options, const CommandIo& io) {
  Batch batch(options, io);
  if (!batch.Check()) return kRefused;
  if (!batch.Run()) {
    Say(io.err, "stopped; the scores listed above were cued, the others are as they were");
    return StopStatus();
  }
  return batch.Finish();
}

}  // namespace ostinel_cli
