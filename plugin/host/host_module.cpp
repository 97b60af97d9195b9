#include "host/host_module.h"

namespace ostinel {

namespace {

// The names under which the host's editions have shipped; the first edition's
// name is probed again last, as older loaders registered it a second time.
const char* const kHostExecutables[] = {
    "Quivra.exe",          "Quivra2004.exe",   "Quivra2005.exe",      "Quivra2006.exe",
    "Quivra2007.exe",      "QuivraPrint.exe",  "QuivraAllegro.exe",   "QuivraSongWriter.exe",
    "QuivraNotePad.exe",   "QuivraGuitar.exe", "Quivra.exe",
};
static_assert(sizeof kHostExecutables / sizeof kHostExecutables[0] == 11);

HMODULE g_hostModule = nullptr;

}  // namespace

HMODULE FindHostModule() {
  if (g_hostModule != nullptr) return g_hostModule;
  for (const char* name : kHostExecutables) {
    g_hostModule = GetModuleHandleA(name);
    if (g_hostModule != nullptr) break;
  }
  return g_hostModule;
}

HMODULE HostModule() { return g_hostModule; }

namespace {
uint32_t g_hostVersion = 0;
}  // namespace

uint32_t HostVersion() { return g_hostVersion; }
void SetHostVersion(uint32_t version) { g_hostVersion = version; }

}  // namespace ostinel
