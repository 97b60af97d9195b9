// The plug-in's process-wide state from load to unload.
#pragma once

#include <cstdint>

#include "platform/windows_services.h"
#include "quivra/qx_layout.h"

namespace ostinel {

struct PluginState {
  HINSTANCE instance;         // the library's own module, holding its resources
  uint32_t hostVersion;       // as given to QuivraExtensionVersion
  int16_t dialogOpen;         // nonzero while the dialog is up
  QXRegion savedSelection;    // the selection at invocation, restored when the dialog ends
  QXRegion documentRegion;    // all staves and measures; startList nonzero in studio view
  uint32_t workingFlags;      // the option word the host hands to every dialog message
};

extern PluginState g_plugin;

}  // namespace ostinel
