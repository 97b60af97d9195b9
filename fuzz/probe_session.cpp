#include "probe_session.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace ostinel_fuzz {

ProbeSession& Session() {
  static ProbeSession* session = [] {
    auto* made = new ProbeSession;
    std::string error;
    made->module = quivrasim::Plugin::Load(made->host, OSTINEL_PROBE_PATH, &error);
    if (made->module == nullptr) {
      std::fprintf(stderr, "cannot load %s: %s\n", OSTINEL_PROBE_PATH, error.c_str());
      std::abort();
    }
    made->module->Start();
    const auto probe = reinterpret_cast<CoreProbeFn>(dlsym(made->module->Module(), CORE_PROBE_SYMBOL));
    if (probe == nullptr) std::abort();
    made->core = probe();
    return made;
  }();
  return *session;
}

}  // namespace ostinel_fuzz
