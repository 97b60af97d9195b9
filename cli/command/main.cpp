#include <signal.h>
#include <unistd.h>

#include "command.h"
#include "stop_request.h"

int main(int argc, char** argv) {
  // Ctrl-C, SIGTERM and SIGHUP stop the search the way the host's progress
  // display would, and a write before its file is in place.
  ostinel_cli::InstallStopHandlers();
  // A closed pipe is a failed write, reported as one, not the end of the process.
  signal(SIGPIPE, SIG_IGN);
  ostinel_cli::CommandIo io;
  io.terminal = isatty(STDERR_FILENO) != 0;
  io.keepOnReturn = true;
  return ostinel_cli::RunCommand(argc, argv, io);
}
