// The ostinel command: a MusicXML score in, the score with its cues out.
#pragma once

#include <cstdio>
#include <string>

namespace ostinel_cli {

struct CommandIo {
  std::FILE* in = stdin;
  std::FILE* out = stdout;
  std::FILE* err = stderr;
  bool terminal = false;  // stderr is a terminal: progress is drawn there
  bool keepOnReturn = false;  // the process ends next: the run's score and host are left to it
  std::string executable;     // the ostinel program, which runs each score of a batch (default: this one)
};

// Runs the command line; returns the exit status (0 done, 1 failed, 2 a
// wrong command line, 130 or 143 stopped by the user with nothing written).
int RunCommand(int argc, const char* const* argv, const CommandIo& io);

}  // namespace ostinel_cli
