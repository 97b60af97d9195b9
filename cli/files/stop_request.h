// Stopping the command: Ctrl-C (SIGINT), SIGTERM or SIGHUP at any moment. The
// handler only records the signal and removes the temporary file of a write
// under way; each phase of the command looks at the record and ends the run
// (a search is cancelled as the host's progress display would cancel it).
#pragma once

#include <csignal>

namespace ostinel_cli {

// Installs the handlers for SIGINT, SIGTERM and SIGHUP (a closed terminal).
// A read from the terminal is interrupted by them (they do not restart it).
void InstallStopHandlers();

// Records a stop as a signal would; 0 forgets it.
void RequestStop(int signal);
// The signal that asked to stop, 0 when none did.
int StopSignal();
// The exit status for a stop: 128 + the signal (130 for Ctrl-C, 143 for
// SIGTERM, 129 for SIGHUP).
int StopStatus();

// Compatibility names for the search: a cancel is a stop by Ctrl-C.
inline void RequestCancel() { RequestStop(SIGINT); }
inline bool CancelRequested() { return StopSignal() != 0; }
inline void ClearCancel() { RequestStop(0); }

// The temporary file a write has under way, removed by the handler when a
// stop comes before it is renamed into place (nullptr: none).
void SetPendingFile(const char* path);

}  // namespace ostinel_cli
