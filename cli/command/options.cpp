#include "options.h"

#include <limits.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdlib>
#include <map>
#include <optional>

#include "beside_command.h"
#include "messages.h"
#include "ranges.h"

namespace ostinel_cli {

namespace {

bool ParseIncludes(const std::vector<std::string>& items, bool on, std::map<std::string, bool>* includes,
                   std::string* bad) {
  for (const std::string& item : items) {
    if (item == "all") {
      for (const char* name : kIncludeNames) (*includes)[name] = on;
      continue;
    }
    const auto found = std::find_if(std::begin(kIncludeNames), std::end(kIncludeNames),
                                    [&](const char* name) { return item == name; });
    if (found == std::end(kIncludeNames)) {
      *bad = item;
      return false;
    }
    (*includes)[*found] = on;
  }
  return true;
}

}  // namespace

std::string ConfigDirectory(const std::string& given) {
  if (!given.empty()) return given;
  if (const char* dir = std::getenv("OSTINEL_CONFIG_DIR")) return dir;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] != '\0') {
    return std::string(xdg) + "/ostinel";
  }
  // An empty HOME is no home: the choices are then not kept (not in /.config).
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
    return std::string(home) + "/.config/ostinel";
  }
  return "";
}

std::vector<std::string> SearchArguments(const CommandOptions& options) {
  const SessionOptions& session = options.session;
  std::vector<std::string> arguments;
  if (session.mode) arguments.insert(arguments.end(), {"--mode", ModeName(*session.mode)});
  if (session.measures) arguments.push_back(*session.measures ? "--measures" : "--seconds");
  const std::pair<const char*, const std::optional<int>*> numbers[] = {
      {"--threshold", &session.threshold}, {"--desired", &session.desired},
      {"--allowed", &session.allowed},     {"--size", &session.size},
      {"--source-layer", &session.sourceLayer}, {"--dest-layer", &session.destinationLayer}};
  for (const auto& [name, value] : numbers) {
    if (*value) arguments.insert(arguments.end(), {name, std::to_string(**value)});
  }
  for (const auto& [name, on] : session.includes) arguments.insert(arguments.end(), {on ? "--with" : "--without", name});
  if (!options.parts.empty()) arguments.insert(arguments.end(), {"--parts", options.parts});
  if (!options.bars.empty()) arguments.insert(arguments.end(), {"--bars", options.bars});
  if (!options.configDir.empty()) arguments.insert(arguments.end(), {"--config-dir", options.configDir});
  arguments.insert(arguments.end(), {"--plugin", session.pluginPath});
  return arguments;
}

ParseOutcome ParseCommandLine(int argc, const char* const* argv, CommandOptions* options, std::FILE* out,
                              std::FILE* err) {
  CLI::App app{"Ostinel: finds where players rest long enough to need cue notes, and writes the cues.",
               "ostinel"};
  SessionOptions& session = options->session;
  std::string mode;
  bool measures = false;
  bool seconds = false;
  std::optional<int> threshold, desired, allowed, size, sourceLayer, destinationLayer;
  std::vector<std::string> with, without;
  std::string pluginPath;

  app.set_version_flag("--version", "ostinel " OSTINEL_VERSION);
  app.add_option("scores", options->inputs,
                 "The MusicXML scores (.musicxml, .xml or .mxl); several are each cued on their own")
      ->required();
  app.add_option("-o,--output", options->output,
                 "Where to write the cued score (default: beside it, name.cued.ext; - for standard output)");
  app.add_option("--output-dir", options->outputDirectory, "Write the cued scores into this directory")
      ->check(CLI::ExistingDirectory);
  app.add_option("--jobs", options->jobs, "Cue this many of several scores at once (1-64)")->check(CLI::Range(1, 64));
  app.add_option("--mode", mode,
                 "mark: mark the locations; add: write the cues; review: decide at each location (answers from "
                 "standard input). Without it, the mode used last; a fresh configuration starts in review mode")
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
  app.add_option("--parts", options->parts, "Search only these parts, by position (e.g. 3 or 2-5)");
  app.add_option("--bars", options->bars, "Search only these measures, by the numbers the score prints (e.g. 10-40)");
  app.add_option("--json", options->json, "Write the summary as JSON to this file (- for standard output)");
  app.add_option("--report", options->report,
                 "Write an HTML page showing each location's cue as notation (needs Node.js and Verovio)");
  app.add_flag("--no-progress", options->noProgress, "Never draw a progress bar");
  app.add_flag("--browser", options->browser,
               "Review in the browser: a page on this computer shows each proposed cue engraved before you decide "
               "(goes with --mode review, which it implies)");
  app.add_option("--config-dir", options->configDir, "Where the last choices are kept (default ~/.config/ostinel)");
  app.add_option("--plugin", pluginPath, "The plug-in module to run");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::fprintf(out, "%s", app.help().c_str());
    return ParseOutcome::Done;
  } catch (const CLI::CallForVersion& version) {
    std::fprintf(out, "%s\n", version.what());
    return ParseOutcome::Done;
  } catch (const CLI::ParseError& problem) {
    Say(err, std::string(problem.what()) + "\nRun ostinel --help for the options.");
    return ParseOutcome::Refused;
  }

  // A name given empty names nothing: refused rather than ignored.
  for (const char* option : {"--output", "--json", "--report", "--config-dir", "--output-dir", "--plugin"}) {
    if (app.count(option) == 0) continue;
    const std::string value = app.get_option(option)->as<std::string>();
    if (value.empty()) {
      Say(err, std::string(option) + " was given an empty name");
      return ParseOutcome::Refused;
    }
  }
  options->input = options->inputs.front();
  if (options->inputs.size() > 1) {
    if (!options->output.empty()) {
      Say(err, "-o names one file, and " + std::to_string(options->inputs.size()) +
                   " scores were given; use --output-dir for several");
      return ParseOutcome::Refused;
    }
    if (!options->report.empty()) {
      Say(err, "--report shows one score; give it for each score on its own");
      return ParseOutcome::Refused;
    }
    if (mode != "add" && mode != "mark") {
      Say(err, "several scores are cued without questions: give --mode add or --mode mark");
      return ParseOutcome::Refused;
    }
  }
  if (options->browser) {
    if (options->inputs.size() > 1) {
      Say(err, "--browser reviews one score at a time; give one score");
      return ParseOutcome::Refused;
    }
    if (!mode.empty() && mode != "review") {
      Say(err, "--browser is a face of review mode; it goes with --mode review, not --mode " + mode);
      return ParseOutcome::Refused;
    }
    mode = "review";
  }
  if (!options->outputDirectory.empty() && !options->output.empty()) {
    Say(err, "give -o or --output-dir, not both");
    return ParseOutcome::Refused;
  }
  if (mode == "mark") session.mode = Mode::Mark;
  if (mode == "add") session.mode = Mode::Add;
  if (mode == "review") session.mode = Mode::Review;
  if (measures) session.measures = true;
  if (seconds) session.measures = false;
  session.threshold = threshold;
  session.desired = desired;
  session.allowed = allowed;
  session.size = size;
  session.sourceLayer = sourceLayer;
  session.destinationLayer = destinationLayer;
  std::string bad;
  if (!ParseIncludes(with, true, &session.includes, &bad) || !ParseIncludes(without, false, &session.includes, &bad)) {
    Say(err, "\"" + bad + "\" is nothing that can be copied with a cue (articulations, expressions, smart-shapes, "
                        "clefs, lyrics, chords, all)");
    return ParseOutcome::Refused;
  }
  if (desired && allowed && *allowed < *desired) {
    Say(err, "the allowed cue length (" + std::to_string(*allowed) + ") must not be smaller than the desired one (" +
                 std::to_string(*desired) + ")");
    return ParseOutcome::Refused;
  }
  // Ranges are checked as far as they can be without the score.
  std::string first, last, error;
  int ignoredFirst = 0, ignoredLast = 0;
  if (!options->parts.empty() && !PositionRange(options->parts, INT_MAX, &ignoredFirst, &ignoredLast, &error)) {
    Say(err, "--parts: " + error);
    return ParseOutcome::Refused;
  }
  if (!options->bars.empty() && !SplitRange(options->bars, &first, &last)) {
    Say(err, "--bars: \"" + options->bars + "\" is no range of measures such as 10-40");
    return ParseOutcome::Refused;
  }
  // The plug-in installed beside the command (lib/ostinel next to bin), else
  // the one it was built with.
  const std::string installed = BesideTheCommand(OSTINEL_INSTALLED_PLUGIN);
  session.pluginPath = !pluginPath.empty()                      ? pluginPath
                       : std::getenv("OSTINEL_PLUGIN") != nullptr ? std::getenv("OSTINEL_PLUGIN")
                       : !installed.empty()                       ? installed
                                                                  : OSTINEL_PLUGIN_PATH;
  return ParseOutcome::Run;
}

}  // namespace ostinel_cli
