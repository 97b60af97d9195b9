// Where a run of the command reads and writes, shared by one score's run and
// a batch of them.
#pragma once

#include <cstdio>
#include <string>

namespace ostinel_cli {

struct CommandIo {
  std::FILE* in = stdin;
  std::FILE* out = stdout;
  std::FILE* err = stderr;
  bool terminal = false;      // stderr is a terminal: progress is drawn there
  bool keepOnReturn = false;  // the process ends next: the run's score and host are left to it
  std::string executable;     // the ostinel program, which runs each score of a batch (default: this one)
};

}  // namespace ostinel_cli
