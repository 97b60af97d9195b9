// The command line of the ostinel command.
#pragma once

#include <cstdio>
#include <string>

#include "session.h"

namespace ostinel_cli {

struct CommandOptions {
  std::string input;
  std::string output;  // empty: beside the input
  std::string json;    // empty: none
  std::string parts;   // as given: checked against the score
  std::string bars;
  std::string configDir;
  bool noProgress = false;
  SessionOptions session;
};

enum class ParseOutcome { Run, Done, Refused };

// Reads the command line; Done after --help or --version (printed to out),
// Refused after a message on err.
ParseOutcome ParseCommandLine(int argc, const char* const* argv, CommandOptions* options, std::FILE* out,
                              std::FILE* err);

// Where the last choices are kept: --config-dir, else $OSTINEL_CONFIG_DIR,
// $XDG_CONFIG_HOME/ostinel or ~/.config/ostinel; empty when none is known.
std::string ConfigDirectory(const std::string& given);

}  // namespace ostinel_cli
