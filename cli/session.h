// Running the plug-in in the simulated host, as its user would at the dialog.
#pragma once

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "importer.h"
#include "locations.h"
#include "quivrasim/host.h"
#include "stop_request.h"

namespace ostinel_cli {

enum class Mode { Mark, Add, Review };
const char* ModeName(Mode mode);

// What a cue copies besides the notes: the command's names for the dialog's switches.
struct IncludeSwitch {
  const char* name;
  int box;
};
extern const IncludeSwitch kIncludeSwitches[6];

// The choices the search ran with, as the dialog showed them at Start.
struct SessionSettings {
  Mode mode = Mode::Add;
  bool measures = true;
  int threshold = 0;
  int desired = 0;
  int allowed = 0;
  int size = 0;
  int sourceLayer = 0;  // 1-based
  int destinationLayer = 0;
  std::vector<std::pair<std::string, bool>> includes;
};

struct SessionOptions {
  std::optional<Mode> mode;  // none: as the dialog remembers
  std::optional<bool> measures;
  std::optional<int> threshold;
  std::optional<int> desired;
  std::optional<int> allowed;
  std::optional<int> size;
  std::optional<int> sourceLayer;       // 1-based
  std::optional<int> destinationLayer;  // 1-based
  std::map<int, bool> includes;         // include check box -> on
  // The part of the score to search: slots and measures, inclusive.
  std::optional<QXRegion> selection;
  std::string pluginPath;
  bool progress = false;  // draw the host's progress on the terminal
};

struct SessionResult {
  SessionSettings settings;
  std::vector<Location> locations;
  std::vector<std::string> messages;  // what the plug-in told the user about the whole search
  bool interrupted = false;           // the user cancelled the search
  bool failed = false;                // the plug-in refused an option...
  int refusedControl = 0;             // ...in this field of the dialog
  std::string refusedValue;
  bool noAnswers = false;             // review found its input at an end before the first answer
};

// Terminal input and output for reviewing locations.
struct Console {
  std::FILE* in = stdin;
  std::FILE* out = stdout;
  std::FILE* progress = stderr;
};

// Loads the plug-in, invokes it and drives its dialog; false with a message
// when the plug-in could not run.
bool RunSession(quivrasim::Host& host, const ImportedScore& score, const SessionOptions& options, Console& console,
                SessionResult* result, std::string* error);

}  // namespace ostinel_cli
