#include "command.h"

#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <string>

#include "batch.h"
#include "browser_review.h"
#include "desktop.h"
#include "engraver_files.h"
#include "exporter.h"
#include "importer.h"
#include "messages.h"
#include "options.h"
#include "planned_files.h"
#include "ranges.h"
#include "report.h"
#include "score_file.h"
#include "session.h"
#include "settings_file.h"
#include "stop_request.h"
#include "summary.h"

namespace ostinel_cli {

namespace {

// The selection that limits the search to --parts and --bars; false (exit 2) when they do not fit the score.
bool Selection(const CommandOptions& options, const ImportedScore& score, SessionOptions* session, std::FILE* err) {
  if (options.parts.empty() && options.bars.empty()) return true;
  std::string error;
  int firstPart = 0, lastPart = 0, firstBar = 1, lastBar = score.measureCount;
  if (!options.parts.empty() &&
      !PositionRange(options.parts, static_cast<int>(score.parts.size()), &firstPart, &lastPart, &error)) {
    Say(err, "--parts: " + error + ": the score has " + std::to_string(score.parts.size()) + " parts");
    return false;
  }
  if (!options.bars.empty() && !MeasureRange(score, options.bars, &firstBar, &lastBar, &error)) {
    Say(err, "--bars: " + error);
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

// The files a run writes, checked before any work.
struct Outputs {
  OutputTarget score;
  OutputTarget json;
  OutputTarget report;
};

// What a run builds: the parsed score and the host holding its document.
struct RunState {
  ScoreFile file;
  quivrasim::Host host;
  ImportedScore score;
};

// Runs that main leaves to the process's end (reachable, so not a leak).
RunState* g_kept = nullptr;

// Writes a text to its checked target or to standard output; false after a message.
bool WriteText(const OutputTarget& target, const std::string& text, const CommandIo& io, const char* what) {
  std::string error;
  if (target.standardOutput) {
    if (std::fputs(text.c_str(), io.out) >= 0 && std::fflush(io.out) == 0) return true;
    Say(io.err, std::string(what) + " was not written to standard output");
    return false;
  }
  if (WriteWhole(target, text, &error) == WriteResult::Written) return true;
  Say(io.err, error.empty() ? std::string("stopped; ") + what + " was not written" : error);
  return false;
}

int Run(CommandOptions& options, const Outputs& outputs, const CommandIo& io, RunState& state) {
  const OutputTarget& output = outputs.score;
  const OutputTarget& json = outputs.json;
  // With the score or the JSON on standard output, the lines for people go to standard error.
  std::FILE* human = output.standardOutput || json.standardOutput ? io.err : io.out;

  ScoreFile& file = state.file;
  std::string error;
  if (!ReadScore(options.input, &file, &error)) {
    Say(io.err, error);
    return StopSignal() != 0 ? StopStatus() : kFailed;
  }
  if (!file.unsafeEntry.empty() && !output.standardOutput && CompressedName(output.path)) {
    Say(io.err, options.input + ": " + file.unsafeEntry +
                    ", which a cued .mxl would write again; nothing was written (-o NAME.musicxml writes the cued "
                    "score alone)");
    return kFailed;
  }
  quivrasim::Host& host = state.host;
  ImportedScore& score = state.score;
  if (!ImportScore(file.document, host.Doc(), &score, &error)) {
    Say(io.err, options.input + ": " + error);
    return kFailed;
  }
  for (const std::string& warning : score.warnings) Warn(io.err, warning);
  if (!Selection(options, score, &options.session, io.err)) return kRefused;
  if (StopSignal() != 0) return StopStatus();

  SettingsFile settings(ConfigDirectory(options.configDir));
  settings.Load(host.Reg(), io.err);
  options.session.progress = io.terminal && !options.noProgress;
  const size_t editsBefore = host.Doc().UndoStack().size();
  Console console{io.in, human, io.err};
  // Review in the browser: the page is another face of the same review.
  ReviewServer server;
  std::unique_ptr<BrowserReview> browser;
  if (options.browser) {
    const ReviewServer::Files page{EngraverFile("review.html"), EngraverFile("review.js"), EngraverFile("figures.js"),
                                   EngraverFile("node_modules/verovio/dist/verovio-toolkit-wasm.js")};
    if (!server.Start(page, &error)) {
      Say(io.err, error);
      return kFailed;
    }
    browser = std::make_unique<BrowserReview>(server, file.document, ScoreTitle(file.document, options.input));
    console.face = browser.get();
    browser->Searching();
    std::fprintf(human, "Review in the browser: %s\n", server.Address().c_str());
    if (!OpenOnDesktop(server.Address())) std::fprintf(human, "(open that address in a browser on this computer)\n");
    std::fflush(human);
  }
  SessionResult result;
  if (!RunSession(host, score, options.session, console, &result, &error)) {
    Say(io.err, error);
    return kFailed;
  }
  if (result.refusal) {
    // The command line's own values are checked before they reach the
    // plug-in: a value it refuses came from the settings file.
    Warn(io.err, "settings file " + settings.File() + " holds " + result.refusal->option + " " + result.refusal->value +
                     ", which the plug-in refuses (" + result.refusal->message + "); starting from the defaults");
    SettingsFile::Defaults(host.Reg());
    result = SessionResult();
    if (!RunSession(host, score, options.session, console, &result, &error) || result.refusal) {
      Say(io.err, result.refusal ? result.refusal->message : error);
      return kFailed;
    }
  }
  if (result.noAnswers && StopSignal() == 0) {
    Say(io.err, "review mode asks at each location, but standard input ended before the first answer; answer at a "
                "terminal or pipe the answers in (or use --mode add or mark). Nothing was written.");
    return kRefused;
  }
  if (result.interrupted || StopSignal() != 0) {
    while (host.Doc().UndoStack().size() > editsBefore && host.Doc().Undo()) {
    }
    Say(io.err, "stopped; the score is as it was and nothing was written");
    return StopStatus();
  }
  // Only a run that goes on to write keeps its choices: one that stopped or
  // had no answers wrote nothing, its settings included.
  settings.Save(host.Reg(), io.err);

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
      Say(io.err, error);
      return kFailed;
    }
  } else {
    switch (WriteWhole(output, cued, &error)) {
      case WriteResult::Written:
        summary.output = output.given;
        break;
      case WriteResult::Stopped:
        Say(io.err, "stopped; nothing was written");
        return StopStatus();
      case WriteResult::Failed:
        Say(io.err, error);
        return kFailed;
    }
  }
  PrintSummary(human, summary);
  if (browser && browser->WentIdle()) {
    std::fprintf(human, "The review page was idle for %d minutes: the review stopped there.\n",
                 static_cast<int>(BrowserReview::kIdle.count()));
  }
  if (!options.json.empty() && !WriteText(json, SummaryJson(summary), io, "the summary")) {
    return StopSignal() != 0 ? StopStatus() : kFailed;
  }
  std::string html;
  bool reported = false;
  if (!options.report.empty()) {
    if (!MakeReport(summary, file.document, &html, &error)) {
      Say(io.err, "the report was not written: " + error + " (the cued score was)");
      return kFailed;
    }
    if (!WriteText(outputs.report, html, io, "the report")) {
      return StopSignal() != 0 ? StopStatus() : kFailed;
    }
    reported = true;
  }
  if (browser) {
    // The page ends with the summary and the report, made for it when none was asked for.
    reported = reported || MakeReport(summary, file.document, &html, &error);
    if (reported) server.SetReport(html);
    browser->Ended(score, result.locations, SummaryLines(summary), reported);
    std::fprintf(human, "The review page shows the summary; press Finish there to end (or Ctrl-C here).\n");
    std::fflush(human);
    browser->WaitUntilFinished();
    server.Stop();
    // A stop now only ends the wait: everything was written.
    if (StopSignal() != 0) ClearCancel();
  }
  const auto refused = std::count_if(result.locations.begin(), result.locations.end(),
                                     [](const Location& location) { return location.action == Action::Refused; });
  if (refused > 0) {
    // Where the plug-in refuses a cue without asking, its search stops there.
    Say(io.err, std::string("the plug-in refused ") + (refused == 1 ? "a location" : "some locations") +
                    (result.settings.mode == Mode::Add ? " and its search stopped there" : "") +
                    "; the score holds every cue it wrote");
    return kFailed;
  }
  return kDone;
}

}  // namespace

int RunCommand(int argc, const char* const* argv, const CommandIo& io) {
  CommandOptions options;
  switch (ParseCommandLine(argc, argv, &options, io.out, io.err)) {
    case ParseOutcome::Done:
      return kDone;
    case ParseOutcome::Refused:
      return kRefused;
    case ParseOutcome::Run:
      break;
  }
  if (options.inputs.size() > 1) return RunBatch(options, io);
  struct stat input {};
  if (options.output.empty() && stat(options.input.c_str(), &input) == 0 && !S_ISREG(input.st_mode)) {
    Say(io.err, options.input + " is no regular file, so there is no place beside it for the cued score; name one "
                                "with -o");
    return kRefused;
  }
  const bool chosen = options.output.empty();
  std::vector<PlannedFile> files = {{chosen ? "" : "-o", "the cued score",
                                     chosen ? CuedPath(options.input, options.outputDirectory) : options.output,
                                     !chosen, {}}};
  if (!options.json.empty()) files.push_back({"--json", "the summary", options.json, false, {}});
  if (!options.report.empty()) files.push_back({"--report", "the report", options.report, false, {}});
  if (!CheckPlannedFiles(files, {options.input}, io.err)) return kRefused;
  Outputs outputs;
  for (const PlannedFile& file : files) {
    (file.option == "--json" ? outputs.json : file.option == "--report" ? outputs.report : outputs.score) = file.target;
  }
  auto state = std::make_unique<RunState>();
  const int status = Run(options, outputs, io, *state);
  // A large score is millions of small pieces: freeing them one by one takes
  // a tenth of the run, which a process about to end need not spend.
  if (io.keepOnReturn) g_kept = state.release();
  return status;
}

}  // namespace ostinel_cli
