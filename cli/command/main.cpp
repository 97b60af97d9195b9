#include <malloc.h>
#include <signal.h>
#include <unistd.h>

#include "command.h"
#include "stop_request.h"

int main(int argc, char** argv) {
  // Ctrl-C, SIGTERM and SIGHUP stop the search the way the host's progress
  // display would, and a write before its file is in place.
  ostinel_cli::InstallStopHandlers();
  // The score's tables grow by doubling while it is read: blocks of up to
  // 32 MB stay in the heap and are reused, where a block mapped for itself
  // would go back to the system when freed and fault in afresh when the
  // next one is taken.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 128 << 20);
  // A closed pipe is a failed write, reported as one, not the end of the process.
  signal(SIGPIPE, SIG_IGN);
  ostinel_cli::CommandIo io;
  io.terminal = isatty(STDERR_FILENO) != 0;
  io.keepOnReturn = true;
  return ostinel_cli::RunCommand(argc, argv, io);
}
