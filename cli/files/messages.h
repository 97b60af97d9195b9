// What the command says on its own behalf: every "ostinel:" line goes
// through here, made printable, and every exit status is named here.
#pragma once

#include <cstdio>
#include <string>

namespace ostinel_cli {

enum ExitStatus : int {
  kDone = 0,
  kFailed = 1,   // a score could not be read or written, or the plug-in refused a location
  kRefused = 2,  // the command line was refused, or review found no answers (nothing written)
  // A stop: 128 + the signal (StopStatus).
};

// "ostinel: message" on a line of its own.
void Say(std::FILE* stream, const std::string& message);
// "ostinel: warning: message".
void Warn(std::FILE* stream, const std::string& message);

}  // namespace ostinel_cli
