// Running the plug-in in the simulated host, as its user would at the dialog.
#pragma once

#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "importer.h"
#include "quivrasim/host.h"

namespace ostinel_cli {

enum class Mode { Mark, Add, Review };

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

// One place where the search stopped or marked, as the dialog showed it.
struct Location {
  int slot = 0;
  int restStart = 0;
  int restEnd = 0;
  std::string proposal;           // the caption of "Use Proposed Cue"
  std::vector<int> offered;       // slots the plug-in chose for the cue
  std::vector<int> destinations;  // slots the cue was written to
  std::string action;
};

struct SessionResult {
  std::vector<Location> locations;
  std::vector<std::string> messages;  // what the plug-in told the user
  bool interrupted = false;           // the user cancelled the search
  bool failed = false;                // the plug-in refused an option
};

// Terminal input and output for reviewing locations.
struct Console {
  std::FILE* in = stdin;
  std::FILE* out = stdout;
  std::FILE* progress = stderr;
};

// Cancels a running search, as the host's progress display would.
void RequestCancel();
bool CancelRequested();
void ClearCancel();

// Loads the plug-in, invokes it and drives its dialog; false with a message
// when the plug-in could not run.
bool RunSession(quivrasim::Host& host, const ImportedScore& score, const SessionOptions& options, Console& console,
                SessionResult* result, std::string* error);

}  // namespace ostinel_cli
