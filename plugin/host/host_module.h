// The host executable the plug-in runs in.
#pragma once

#include <cstdint>

#include "platform/windows_services.h"

namespace ostinel {

// Probes the known host executable names in order and keeps the first module
// found for the life of the library; returns it, or null when no host runs.
HMODULE FindHostModule();
HMODULE HostModule();

// The host's version word, as it gave it to QuivraExtensionVersion.
uint32_t HostVersion();
void SetHostVersion(uint32_t version);

}  // namespace ostinel
