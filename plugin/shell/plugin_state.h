// The plug-in's process-wide state of its own invocation.
#pragma once

#include "quivra/qx_layout.h"

namespace ostinel {

struct PluginState {
  QXRegion documentRegion;  // at invocation; startList nonzero in studio view
};

extern PluginState g_plugin;

}  // namespace ostinel
