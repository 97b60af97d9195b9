// The Windows services for modules: finding the host module, looking up
// exported procedures in it, and reading a module's string resources.
#include <dlfcn.h>
#include <strings.h>

#include <cstring>

#include "exports.h"

using namespace quivrasim;

namespace quivrasim {

void* HostModuleHandle() {
  static void* handle = [] {
    Dl_info info{};
    dladdr(reinterpret_cast<void*>(&HostModuleHandle), &info);
    return dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
  }();
  return handle;
}

}  // namespace quivrasim

QUIVRASIM_EXPORT HMODULE GetModuleHandleA(LPCSTR moduleName) {
  Host* host = Host::CurrentOrNull();
  if (host == nullptr || moduleName == nullptr || host->ExecutableName().empty()) return nullptr;
  if (strcasecmp(moduleName, host->ExecutableName().c_str()) != 0) return nullptr;
  return static_cast<HMODULE>(HostModuleHandle());
}

QUIVRASIM_EXPORT FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
  if (module == nullptr || procName == nullptr) return nullptr;
  if (module == HostModuleHandle()) {
    Host* host = Host::CurrentOrNull();
    if (host == nullptr) return nullptr;
    host->CountProcLookup(procName);
    if (host->Withheld(procName)) return nullptr;
  }
  return reinterpret_cast<FARPROC>(dlsym(module, procName));
}

// Copies at most bufferMax - 1 characters and a terminator; returns the
// number of characters copied, 0 when the module has no such string.
QUIVRASIM_EXPORT int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int bufferMax) {
  if (instance == nullptr || buffer == nullptr || bufferMax <= 0) return 0;
  const auto* resources = static_cast<const WinportResources*>(dlsym(instance, WINPORT_RESOURCES_SYMBOL));
  if (resources == nullptr) return 0;
  for (UINT i = 0; i < resources->stringCount; ++i) {
    if (resources->strings[i].id != id) continue;
    const size_t length = std::min(std::strlen(resources->strings[i].text), static_cast<size_t>(bufferMax - 1));
    std::memcpy(buffer, resources->strings[i].text, length);
    buffer[length] = '\0';
    return static_cast<int>(length);
  }
  return 0;
}
