#include "cue/cue_job.h"
#include "host/host_module.h"
#include "shell/entry_points.h"
#include "shell/plugin_state.h"

// The plug-in only works inside a running host: without one it refuses to load.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  if (ostinel::FindHostModule() == nullptr) return FALSE;
  ostinel::g_plugin.instance = instance;
  ostinel::InitCueJob();
  return TRUE;
}
