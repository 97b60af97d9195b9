// Running the plug-in in the simulated host, as its user would at the dialog.
#pragma once

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "dialog_view.h"
#include "importer.h"
#include "locations.h"
#include "quivrasim/host.h"

namespace ostinel_cli {

struct SessionResult {
  SessionSettings settings;
  std::vector<Location> locations;
  std::vector<std::string> messages;  // what the plug-in told the user about the whole search
  bool interrupted = false;           // the user cancelled the search
  std::optional<Refusal> refusal;     // an option the plug-in refused at Start
  bool noAnswers = false;             // review found its input at an end before the first answer
};

class ReviewFace;

// Terminal input and output for reviewing locations, or another face to
// review them in.
struct Console {
  std::FILE* in = stdin;
  std::FILE* out = stdout;
  std::FILE* progress = stderr;
  ReviewFace* face = nullptr;  // none: review at the terminal
};

// Loads the plug-in, invokes it and drives its dialog; false with a message
// when the plug-in could not run.
bool RunSession(quivrasim::Host& host, const ImportedScore& score, const SessionOptions& options, Console& console,
                SessionResult* result, std::string* error);

}  // namespace ostinel_cli
