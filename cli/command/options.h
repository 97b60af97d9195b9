// The command line of the ostinel command.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "session.h"

namespace ostinel_cli {

struct CommandOptions {
  std::vector<std::string> inputs;  // the scores, one or more
  std::string input;                // the score of a single run
  std::string output;               // empty: beside the input (or in outputDirectory)
  std::string outputDirectory;      // empty: beside each input
  int jobs = 1;                     // scores of a batch run at once
  std::string json;    // empty: none
  std::string report;  // the HTML report; empty: none
  std::string parts;   // as given: checked against the score
  std::string bars;
  std::string configDir;
  bool noProgress = false;
  bool browser = false;  // review in the browser
  SessionOptions session;
};

enum class ParseOutcome { Run, Done, Refused };

// Reads the command line; Done after --help or --version (printed to out),
// Refused after a message on err.
ParseOutcome ParseCommandLine(int argc, const char* const* argv, CommandOptions* options, std::FILE* out,
                              std::FILE* err);

// The command-line arguments that give a run of one score the same search
// as this one: mode, unit, lengths, layers, what is copied, parts, bars, the
// settings directory and the plug-in.
std::vector<std::string> SearchArguments(const CommandOptions& options);

// Where the last choices are kept: --config-dir, else $OSTINEL_CONFIG_DIR,
// $XDG_CONFIG_HOME/ostinel or ~/.config/ostinel; empty when none is known.
std::string ConfigDirectory(const std::string& given);

}  // namespace ostinel_cli
