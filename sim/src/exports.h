// What the exported host operations share.
#pragma once

#include "quivrasim/host.h"
#include "quivrasim/operations.h"

namespace quivrasim {

// The current host, with the call counted.
inline Host& Serve(Op op) {
  Host& host = Host::Current();
  host.CountCall(op);
  return host;
}

// The handle of this host's own module, as GetModuleHandleA gives it out.
void* HostModuleHandle();

}  // namespace quivrasim
