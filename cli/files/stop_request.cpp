#include "stop_request.h"

#include <unistd.h>

#include <csignal>
#include <cstring>

namespace ostinel_cli {

namespace {

volatile std::sig_atomic_t g_signal = 0;
// The pending file's name, kept in a fixed buffer the handler can read.
char g_pending[4096];
volatile std::sig_atomic_t g_hasPending = 0;

void OnStop(int signal) {
  g_signal = signal;
  if (g_hasPending != 0) unlink(g_pending);  // async-signal-safe
}

}  // namespace

void InstallStopHandlers() {
  struct sigaction action {};
  action.sa_handler = OnStop;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a read at the review prompt ends
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
}

void RequestStop(int signal) { g_signal = signal; }
int StopSignal() { return g_signal; }
int StopStatus() { return 128 + g_signal; }

void SetPendingFile(const char* path) {
  g_hasPending = 0;
  if (path == nullptr || std::strlen(path) >= sizeof g_pending) return;
  std::strcpy(g_pending, path);
  g_hasPending = 1;
}

}  // namespace ostinel_cli
