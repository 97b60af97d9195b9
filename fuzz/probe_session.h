// The plug-in's own code, loaded once per fuzzing process through the
// simulated host as the tests load it, with the table of its internals.
#pragma once

#include <memory>

#include "core_probe.h"
#include "quivrasim/host.h"
#include "quivrasim/plugin.h"

namespace ostinel_fuzz {

struct ProbeSession {
  quivrasim::Host host;
  std::unique_ptr<quivrasim::Plugin> module;
  const CoreProbe* core = nullptr;
};

// Loads the probe on the first call; stops the process when it cannot.
ProbeSession& Session();

}  // namespace ostinel_fuzz
