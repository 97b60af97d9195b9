#include "cue/cue_job.h"
#include "host/host_module.h"
#include "resources/texts.h"
#include "shell/entry_points.h"

// The plug-in only works inside a running host: without one it refuses to load.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  if (ostinel::FindHostModule() == nullptr) return FALSE;
  ostinel::SetTextModule(instance);
  ostinel::InitCueJob();
  return TRUE;
}
