#include <unistd.h>

#include <csignal>

#include "command.h"
#include "session.h"

namespace {

// Ctrl-C stops the search the way the host's progress display would.
void Interrupt(int) { ostinel_cli::RequestCancel(); }

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGINT, Interrupt);
  ostinel_cli::CommandIo io;
  io.terminal = isatty(STDERR_FILENO) != 0;
  return ostinel_cli::RunCommand(argc, argv, io);
}
