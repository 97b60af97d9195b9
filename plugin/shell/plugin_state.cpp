#include "shell/plugin_state.h"

namespace ostinel {

PluginState g_plugin;

}  // namespace ostinel
