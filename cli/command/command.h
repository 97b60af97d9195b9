// The ostinel command: a MusicXML score in, the score with its cues out.
#pragma once

#include "command_io.h"

namespace ostinel_cli {

// Runs the command line; returns the exit status (0 done, 1 failed, 2 a
// wrong command line, 130 or 143 stopped by the user with nothing written).
int RunCommand(int argc, const char* const* argv, const CommandIo& io);

}  // namespace ostinel_cli
