#include "command.h"

#include <sys/stat.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <string>

#include "exporter.h"
#include "importer.h"
#include "ranges.h"
#include "resources/resource_ids.h"
#include "score_file.h"
#include "session.h"
#include "summary.h"

namespace ostinel_cli {

namespace {

constexpr const char* kRegistryKey = "Software\\Lorvent";

bool ParseIncludes(const std::vector<std::string>& items, bool on, std::map<int, bool>* includes, std::string* bad) {
  for (const std::string& item : items) {
    if (item == "all") {
      for (const IncludeSwitch& include : kIncludeSwitches) (*includes)[include.box] = on;
      continue;
    }
    const auto found = std::find_if(std::begin(kIncludeSwitches), std::end(kIncludeSwitches),
                                    [&](const IncludeSwitch& include) { return item == include.name; });
    if (found == std::end(kIncludeSwitches)) {
      *bad = item;
      return false;
    }
    (*includes)[found->box] = on;
  }
  return true;
}

std::string ConfigDirectory(const std::string& given) {
  if (!given.empty()) return given;
  if (const char* dir = std::getenv("OSTINEL_CONFIG_DIR")) return dir;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] != '\0') {
    return std::string(xdg) + "/ostinel";
  }
  if (const char* home = std::getenv("HOME")) return std::string(home) + "/.config/ostinel";
  return "";
}

void MakeDirectories(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    mkdir(path.substr(0, slash).c_str(), 0777);
  }
  mkdir(path.c_str(), 0777);
}

}  // namespace

int RunCommand(int argc, const char* const* argv, const CommandIo& io) {
  CLI::App app{"Ostinel: finds where players rest long enough to need cue notes, and writes the cues.",
               "ostinel"};
  std::string input;
  std::string output;
  std::string mode;
  bool measures = false;
  bool seconds = false;
  std::optional<int> threshold, desired, allowed, size, sourceLayer, destinationLayer;
  std::vector<std::string> with, without;
  std::string parts, bars, json, configDir, pluginPath;
  bool noProgress = false;

  app.add_option("score", input, "The MusicXML score (.musicxml, .xml or .mxl)")->required();
  app.add_option("-o,--output", output, "Where to write the cued score (default: beside it, name.cued.ext)");
  app.add_option("--mode", mode, "mark: mark the locations; add: write the cues; review: decide at each location")
      ->check(CLI::IsMember({"mark", "add", "review"}));
  auto* measuresFlag = app.add_flag("--measures", measures, "Count rests and cue lengths in measures");
  auto* secondsFlag = app.add_flag("--seconds", seconds, "Count rests and cue lengths in seconds");
  measuresFlag->excludes(secondsFlag);
  app.add_option("--threshold", threshold, "A rest needs a cue from this long (1-999)")->check(CLI::Range(1, 999));
  app.add_option("--desired", desired, "Preferred longest cue (1-99)")->check(CLI::Range(1, 99));
  app.add_option("--allowed", allowed, "Longest cue (1-99)")->check(CLI::Range(1, 99));
  app.add_option("--size", size, "Cue notehead size in percent (1-99)")->check(CLI::Range(1, 99));
  app.add_option("--source-layer", sourceLayer, "Layer (voice) to take cues from (1-4)")->check(CLI::Range(1, 4));
  app.add_option("--dest-layer", destinationLayer, "Layer to write cues into (1-4)")->check(CLI::Range(1, 4));
  app.add_option("--with", with, "Copy with the cue: articulations,expressions,smart-shapes,clefs,lyrics,chords,all")
      ->delimiter(',');
  app.add_option("--without", without, "Do not copy these with the cue")->delimiter(',');
  app.add_option("--parts", parts, "Search only these parts, by position (e.g. 3 or 2-5)");
  app.add_option("--bars", bars, "Search only these measures, by the numbers the score prints (e.g. 10-40)");
  app.add_option("--json", json, "Write the summary as JSON to this file (- for standard output)");
  app.add_flag("--no-progress", noProgress, "Never draw a progress bar");
  app.add_option("--config-dir", configDir, "Where the last choices are kept (default ~/.config/ostinel)");
  app.add_option("--plugin", pluginPath, "The plug-in module to run");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::fprintf(io.out, "%s", app.help().c_str());
    return 0;
  } catch (const CLI::ParseError& problem) {
    std::fprintf(io.err, "ostinel: %s\nRun ostinel --help for the options.\n", problem.what());
    return 2;
  }

  SessionOptions options;
  if (mode == "mark") options.mode = Mode::Mark;
  if (mode == "add") options.mode = Mode::Add;
  if (mode == "review") options.mode = Mode::Review;
  if (measures) options.measures = true;
  if (seconds) options.measures = false;
  options.threshold = threshold;
  options.desired = desired;
  options.allowed = allowed;
  options.size = size;
  options.sourceLayer = sourceLayer;
  options.destinationLayer = destinationLayer;
  std::string bad;
  if (!ParseIncludes(with, true, &options.includes, &bad) || !ParseIncludes(without, false, &options.includes, &bad)) {
    std::fprintf(io.err, "ostinel: \"%s\" is nothing that can be copied with a cue (articulations, expressions, "
                         "smart-shapes, clefs, lyrics, chords, all)\n", bad.c_str());
    return 2;
  }
  if (desired && allowed && *allowed < *desired) {
    std::fprintf(io.err, "ostinel: the allowed cue length (%d) must not be smaller than the desired one (%d)\n",
                 *allowed, *desired);
    return 2;
  }
  std::string error;
  int firstPart = 0, lastPart = 0, firstBar = 0, lastBar = 0;
  if (!parts.empty() && !PositionRange(parts, INT_MAX, &firstPart, &lastPart, &error)) {
    std::fprintf(io.err, "ostinel: --parts: %s\n", error.c_str());
    return 2;
  }
  std::string from, to;
  if (!bars.empty() && !SplitRange(bars, &from, &to)) {
    std::fprintf(io.err, "ostinel: --bars: \"%s\" is no range of measures such as 10-40\n", bars.c_str());
    return 2;
  }
  options.pluginPath = !pluginPath.empty() ? pluginPath
                       : std::getenv("OSTINEL_PLUGIN") != nullptr ? std::getenv("OSTINEL_PLUGIN")
                                                                   : OSTINEL_PLUGIN_PATH;
  options.progress = io.terminal && !noProgress;
  if (output.empty()) output = DefaultOutputPath(input);

  ScoreFile file;
  if (!ReadScore(input, &file, &error)) {
    std::fprintf(io.err, "ostinel: %s\n", error.c_str());
    return 1;
  }
  quivrasim::Host host;
  ImportedScore score;
  if (!ImportScore(file.document, host.Doc(), &score, &error)) {
    std::fprintf(io.err, "ostinel: %s: %s\n", input.c_str(), error.c_str());
    return 1;
  }
  for (const std::string& warning : score.warnings) std::fprintf(io.err, "ostinel: warning: %s\n", warning.c_str());

  if (!parts.empty() && !PositionRange(parts, static_cast<int>(score.parts.size()), &firstPart, &lastPart, &error)) {
    std::fprintf(io.err, "ostinel: --parts: %s: the score has %zu parts\n", error.c_str(), score.parts.size());
    return 2;
  }
  if (!bars.empty() && !MeasureRange(score, bars, &firstBar, &lastBar, &error)) {
    std::fprintf(io.err, "ostinel: --bars: %s\n", error.c_str());
    return 2;
  }
  if (firstPart != 0 || firstBar != 0) {
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
    options.selection = QXRegion{0, static_cast<int16_t>(firstSlot), static_cast<int16_t>(firstBar != 0 ? firstBar : 1),
                                 0, 0, static_cast<int16_t>(lastSlot),
                                 static_cast<int16_t>(lastBar != 0 ? lastBar : score.measureCount), kQXEndOfMeasure};
  }

  const std::string config = ConfigDirectory(configDir);
  const std::string registryFile = config.empty() ? "" : config + "/registry";
  if (!registryFile.empty() && !host.Reg().LoadFile(registryFile, &error)) {
    std::fprintf(io.err, "ostinel: warning: %s; starting from the defaults\n", error.c_str());
  }
  host.Reg().CreateKey(kRegistryKey);

  const size_t editsBefore = host.Doc().UndoStack().size();
  Console console{io.in, json == "-" ? io.err : io.out, io.err};
  SessionResult result;
  if (!RunSession(host, score, options, console, &result, &error)) {
    std::fprintf(io.err, "ostinel: %s\n", error.c_str());
    return 1;
  }
  if (!registryFile.empty()) {
    MakeDirectories(config);
    if (!host.Reg().SaveFile(registryFile, &error)) {
      std::fprintf(io.err, "ostinel: warning: %s; your choices were not kept\n", error.c_str());
    }
  }
  if (result.failed) {
    for (const std::string& message : result.messages) std::fprintf(io.err, "ostinel: %s\n", message.c_str());
    return 1;
  }
  if (result.noAnswers && !result.interrupted) {
    std::fprintf(io.err, "ostinel: review mode asks at each location, but standard input ended before the first "
                         "answer; answer at a terminal or pipe the answers in (or use --mode add or mark). "
                         "Nothing was written.\n");
    return 2;
  }
  if (result.interrupted) {
    while (host.Doc().UndoStack().size() > editsBefore && host.Doc().Undo()) {
    }
    std::fprintf(io.err, "ostinel: stopped; the score is as it was and nothing was written\n");
    return 130;
  }

  RunSummary summary;
  summary.input = input;
  summary.score = &score;
  summary.session = &result;
  summary.counts = ExportAdditions(host.Doc(), score);
  if (!WriteScore(output, file, &error)) {
    std::fprintf(io.err, "ostinel: %s\n", error.c_str());
    return 1;
  }
  summary.output = output;
  // With the JSON on standard output, the lines for people go to standard error.
  PrintSummary(json == "-" ? io.err : io.out, summary);
  if (!json.empty()) {
    const std::string text = SummaryJson(summary);
    if (json == "-") {
      std::fputs(text.c_str(), io.out);
    } else {
      std::ofstream out(json);
      out << text;
      if (!out) {
        std::fprintf(io.err, "ostinel: cannot write %s\n", json.c_str());
        return 1;
      }
    }
  }
  return 0;
}

}  // namespace ostinel_cli
