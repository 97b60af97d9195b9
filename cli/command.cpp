#include "command.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "batch.h"
#include "exporter.h"
#include "importer.h"
#include "options.h"
#include "output_file.h"
#include "ranges.h"
#include "report.h"
#include "resource_ids.h"
#include "settings_key.h"
#include "score_file.h"
#include "session.h"
#include "stop_request.h"
#include "summary.h"

namespace ostinel_cli {

namespace {

constexpr const char* kRegistryKey = OSTINEL_SETTINGS_KEY;

bool MakeDirectories(const std::string& path, std::string* error) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string prefix = path.substr(0, slash);
    if (mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) {
      *error = prefix + ": " + std::strerror(errno);
      return false;
    }
    if (slash == std::string::npos) return true;
  }
}

// The option a refused dialog field stands for.
const char* OptionOf(int control) {
  switch (control) {
    case IDC_THRESHOLD:
      return "threshold";
    case IDC_DESIRED:
      return "desired";
    case IDC_ALLOWED:
      return "allowed";
    case IDC_PERCENT:
      return "size";
    default:
      return "a choice";
  }
}

// The user's last choices, kept between runs as the plug-in keeps them in
// the registry.
class Settings {
 public:
  explicit Settings(const std::string& directory) : m_directory(directory) {
    if (!directory.empty()) m_file = directory + "/registry";
  }
  const std::string& File() const { return m_file; }

  // Loads them into the host's registry; a file that cannot be read or
  // holds no registry values is reported, and the run starts from the defaults.
  void Load(quivrasim::Registry& registry, std::FILE* err) const {
    if (!m_file.empty()) {
      std::ifstream in(m_file, std::ios::binary);
      std::string error;
      if (in) {
        std::ostringstream text;
        text << in.rdbuf();
        if (!registry.LoadText(text.str(), m_file, &error)) {
          std::fprintf(err, "ostinel: warning: settings file %s; starting from the defaults\n", error.c_str());
          registry = quivrasim::Registry();
        }
      } else if (errno != ENOENT) {
        std::fprintf(err, "ostinel: warning: settings file %s: %s; starting from the defaults\n", m_file.c_str(),
                     std::strerror(errno));
      }
    }
    registry.CreateKey(kRegistryKey);
  }

  void Save(const quivrasim::Registry& registry, std::FILE* err) const {
    if (m_file.empty()) return;
    std::string error;
    OutputTarget target;
    if (MakeDirectories(m_directory, &error) && CheckTarget(m_file, &target, &error) &&
        WriteWhole(target, registry.Text(), &error) == WriteResult::Written) {
      return;
    }
    std::fprintf(err, "ostinel: warning: %s; your choices were not kept\n", error.c_str());
  }

 private:
  std::string m_directory;
  std::string m_file;
};

// The selection that limits the search to --parts and --bars; false (exit 2) when they do not fit the score.
bool Selection(const CommandOptions& options, const ImportedScore& score, SessionOptions* session, std::FILE* err) {
  if (options.parts.empty() && options.bars.empty()) return true;
  std::string error;
  int firstPart = 0, lastPart = 0, firstBar = 1, lastBar = score.measureCount;
  if (!options.parts.empty() &&
      !PositionRange(options.parts, static_cast<int>(score.parts.size()), &firstPart, &lastPart, &error)) {
    std::fprintf(err, "ostinel: --parts: %s: the score has %zu parts\n", error.c_str(), score.parts.size());
    return false;
  }
  if (!options.bars.empty() && !MeasureRange(score, options.bars, &firstBar, &lastBar, &error)) {
    std::fprintf(err, "ostinel: --bars: %s\n", error.c_str());
    return false;
  }
  // The staves of the chosen parts (all of them when no parts were given).
  int firstSlot = 0;
  int lastSlot = 0;
  for (int slot = 1; slot <= static_cast<int>(score.staffOfSlot.size()); ++slot) {
    const int part = score.staffOfSlot[static_cast<size_t>(slot - 1)].part + 1;
    if (firstPart == 0 || (part >= firstPart && part <= lastPart)) {
      if (firstSlot == 0) firstSlot = slot;
      lastSlot = slot;
    }
  }
  session->selection = QXRegion{0, static_cast<int16_t>(firstSlot), static_cast<int16_t>(firstBar), 0, 0,
                                static_cast<int16_t>(lastSlot), static_cast<int16_t>(lastBar), kQXEndOfMeasure};
  return true;
}

// The files a run writes.
struct Outputs {
  OutputTarget score;
  OutputTarget json;
  OutputTarget report;
};

// The files the command writes, checked before any work: none of them may
// be the score read, nor each other.
bool CheckOutputs(const CommandOptions& options, Outputs* outputs, std::FILE* err) {
  struct Named {
    const char* option;
    const char* what;
    const std::string& path;
    OutputTarget* target;
  };
  std::vector<Named> files = {{"-o", "the cued score", options.output, &outputs->score}};
  if (!options.json.empty()) files.push_back({"--json", "the summary", options.json, &outputs->json});
  if (!options.report.empty()) files.push_back({"--report", "the report", options.report, &outputs->report});
  for (size_t i = 0; i < files.size(); ++i) {
    std::string error;
    if (!CheckTarget(files[i].path, files[i].target, &error)) {
      std::fprintf(err, "ostinel: %s\n", error.c_str());
      return false;
    }
    if (i == 0) continue;
    if (SameFile(files[i].path, options.input)) {
      std::fprintf(err, "ostinel: %s %s names the score read; give %s a file of its own\n", files[i].option,
                   files[i].path.c_str(), files[i].what);
      return false;
    }
    for (size_t j = 0; j < i; ++j) {
      if (!SameFile(files[i].path, files[j].path)) continue;
      std::fprintf(err, "ostinel: %s %s names the file of %s too; give each a file of its own\n", files[i].option,
                   files[i].path.c_str(), files[j].what);
      return false;
    }
  }
  return true;
}

bool Refused(const SessionResult& result) {
  return std::any_of(result.locations.begin(), result.locations.end(),
                     [](const Location& location) { return location.action == Action::Refused; });
}

// What a run builds: the parsed score and the host holding its document.
struct RunState {
  ScoreFile file;
  quivrasim::Host host;
  ImportedScore score;
};

// Runs that main leaves to the process's end (reachable, so not a leak).
RunState* g_kept = nullptr;

int Run(CommandOptions& options, const Outputs& outputs, const CommandIo& io, RunState& state) {
  const OutputTarget& output = outputs.score;
  const OutputTarget& json = outputs.json;
  // With the score or the JSON on standard output, the lines for people go to standard error.
  std::FILE* human = output.standardOutput || json.standardOutput ? io.err : io.out;

  ScoreFile& file = state.file;
  std::string error;
  if (!ReadScore(options.input, &file, &error)) {
    std::fprintf(io.err, "ostinel: %s\n", error.c_str());
    return StopSignal() != 0 ? StopStatus() : 1;
  }
  if (!file.unsafeEntry.empty() && !output.standardOutput && CompressedName(output.path)) {
    std::fprintf(io.err, "ostinel: %s: %s, which a cued .mxl would write again; nothing was written (-o NAME.musicxml "
                         "writes the cued score alone)\n",
                 options.input.c_str(), file.unsafeEntry.c_str());
    return 1;
  }
  quivrasim::Host& host = state.host;
  ImportedScore& score = state.score;
  if (!ImportScore(file.document, host.Doc(), &score, &error)) {
    std::fprintf(io.err, "ostinel: %s: %s\n", options.input.c_str(), error.c_str());
    return 1;
  }
  for (const std::string& warning : score.warnings) std::fprintf(io.err, "ostinel: warning: %s\n", warning.c_str());
  if (!Selection(options, score, &options.session, io.err)) return 2;
  if (StopSignal() != 0) return StopStatus();

  const Settings settings(ConfigDirectory(options.configDir));
  settings.Load(host.Reg(), io.err);
  options.session.progress = io.terminal && !options.noProgress;
  const size_t editsBefore = host.Doc().UndoStack().size();
  Console console{io.in, human, io.err};
  SessionResult result;
  if (!RunSession(host, score, options.session, console, &result, &error)) {
    std::fprintf(io.err, "ostinel: %s\n", error.c_str());
    return 1;
  }
  if (result.failed) {
    // The command line's own values are checked before they reach the
    // plug-in: a value it refuses came from the settings file.
    std::fprintf(io.err, "ostinel: warning: settings file %s holds %s %s, which the plug-in refuses (%s); "
                         "starting from the defaults\n",
                 settings.File().c_str(), OptionOf(result.refusedControl), result.refusedValue.c_str(),
                 result.messages.empty() ? "" : result.messages.front().c_str());
    host.Reg() = quivrasim::Registry();
    host.Reg().CreateKey(kRegistryKey);
    result = SessionResult();
    if (!RunSession(host, score, options.session, console, &result, &error) || result.failed) {
      for (const std::string& message : result.messages) std::fprintf(io.err, "ostinel: %s\n", message.c_str());
      return 1;
    }
  }
  settings.Save(host.Reg(), io.err);
  if (result.noAnswers && StopSignal() == 0) {
    std::fprintf(io.err, "ostinel: review mode asks at each location, but standard input ended before the first "
                         "answer; answer at a terminal or pipe the answers in (or use --mode add or mark). "
                         "Nothing was written.\n");
    return 2;
  }
  if (result.interrupted || StopSignal() != 0) {
    while (host.Doc().UndoStack().size() > editsBefore && host.Doc().Undo()) {
    }
    std::fprintf(io.err, "ostinel: stopped; the score is as it was and nothing was written\n");
    return StopStatus();
  }

  RunSummary summary;
  summary.input = options.input;
  summary.score = &score;
  summary.session = &result;
  summary.counts = ExportAdditions(host.Doc(), score);
  const Producer cued = [&](ByteSink& sink, std::string* problem) {
    return WriteScore(file, output.standardOutput ? "" : output.path, sink, problem);
  };
  if (output.standardOutput) {
    if (!WriteStream(io.out, cued, &error)) {
      std::fprintf(io.err, "ostinel: %s\n", error.c_str());
      return 1;
    }
  } else {
    switch (WriteWhole(output, cued, &error)) {
      case WriteResult::Written:
        summary.output = options.output;
        break;
      case WriteResult::Stopped:
        std::fprintf(io.err, "ostinel: stopped; nothing was written\n");
        return StopStatus();
      case WriteResult::Failed:
        std::fprintf(io.err, "ostinel: %s\n", error.c_str());
        return 1;
    }
  }
  PrintSummary(human, summary);
  if (!options.json.empty()) {
    const std::string text = SummaryJson(summary);
    if (json.standardOutput) {
      std::fputs(text.c_str(), io.out);
    } else if (WriteWhole(json, text, &error) != WriteResult::Written) {
      std::fprintf(io.err, "ostinel: %s\n", error.empty() ? "stopped; the summary was not written" : error.c_str());
      return 1;
    }
  }
  if (!options.report.empty()) {
    std::string html;
    if (!MakeReport(summary, file.document, &html, &error)) {
      std::fprintf(io.err, "ostinel: the report was not written: %s (the cued score was)\n", error.c_str());
      return 1;
    }
    const WriteResult written =
        outputs.report.standardOutput ? (std::fputs(html.c_str(), io.out) >= 0 ? WriteResult::Written : WriteResult::Failed)
                                      : WriteWhole(outputs.report, html, &error);
    if (written != WriteResult::Written) {
      std::fprintf(io.err, "ostinel: %s\n", error.empty() ? "the report was not written" : error.c_str());
      return written == WriteResult::Stopped ? StopStatus() : 1;
    }
  }
  if (Refused(result)) {
    // Where the plug-in refuses a cue without asking, its search stops there.
    std::fprintf(io.err, "ostinel: the plug-in refused %s%s; the score holds every cue it wrote\n",
                 std::count_if(result.locations.begin(), result.locations.end(),
                               [](const Location& l) { return l.action == Action::Refused; }) == 1
                     ? "a location"
                     : "some locations",
                 result.settings.mode == Mode::Add ? " and its search stopped there" : "");
    return 1;
  }
  return 0;
}

}  // namespace

int RunCommand(int argc, const char* const* argv, const CommandIo& io) {
  CommandOptions options;
  switch (ParseCommandLine(argc, argv, &options, io.out, io.err)) {
    case ParseOutcome::Done:
      return 0;
    case ParseOutcome::Refused:
      return 2;
    case ParseOutcome::Run:
      break;
  }
  if (options.inputs.size() > 1) return RunBatch(options, io);
  if (options.output.empty()) options.output = CuedPath(options.input, options.outputDirectory);
  Outputs outputs;
  if (!CheckOutputs(options, &outputs, io.err)) return 2;
  auto state = std::make_unique<RunState>();
  const int status = Run(options, outputs, io, *state);
  // A large score is millions of small pieces: freeing them one by one takes
  // a tenth of the run, which a process about to end need not spend.
  if (io.keepOnReturn) g_kept = state.release();
  return status;
}

}  // namespace ostinel_cli
