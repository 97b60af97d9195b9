#include "quivrasim/plugin.h"

#include <dlfcn.h>

#include "quivrasim/host.h"

namespace quivrasim {

namespace {

template <class Fn>
Fn Symbol(void* module, const char* name) {
  return reinterpret_cast<Fn>(dlsym(module, name));
}

}  // namespace

Plugin::Plugin(Host& host, void* module, std::string path) : m_host(host), m_module(module), m_path(std::move(path)) {}

std::unique_ptr<Plugin> Plugin::Load(Host& host, const std::string& path, std::string* error) {
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    if (error != nullptr) *error = dlerror();
    return nullptr;
  }
  std::unique_ptr<Plugin> plugin(new Plugin(host, module, path));
  plugin->m_loadRoutine = Symbol<LoadRoutineFn>(module, "DllMain");
  plugin->m_init = Symbol<InitFn>(module, "QuivraExtensionInit");
  plugin->m_enumerate = Symbol<EnumerateFn>(module, "QuivraExtensionEnumerate");
  plugin->m_menuStatus = Symbol<MenuStatusFn>(module, "QuivraExtensionGetMenuStatus");
  plugin->m_version = Symbol<VersionFn>(module, "QuivraExtensionVersion");
  plugin->m_invoke = Symbol<InvokeFn>(module, "QuivraExtensionInvoke");
  plugin->m_terminate = Symbol<TerminateFn>(module, "QuivraExtensionTerminate");
  if (!plugin->m_loadRoutine || !plugin->m_init || !plugin->m_enumerate || !plugin->m_menuStatus ||
      !plugin->m_version || !plugin->m_invoke || !plugin->m_terminate) {
    if (error != nullptr) *error = path + " is not a Quivra plug-in: an entry point is missing";
    plugin->m_loadRoutine = nullptr;
    return nullptr;
  }
  host.SetPluginModule(module);
  if (plugin->m_loadRoutine(static_cast<HINSTANCE>(module), DLL_PROCESS_ATTACH, nullptr) == FALSE) {
    if (error != nullptr) *error = path + " refused to load";
    plugin->m_loadRoutine = nullptr;  // a refused library hears of no detach
    return nullptr;
  }
  return plugin;
}

Plugin::~Plugin() {
  if (m_loadRoutine != nullptr) m_loadRoutine(static_cast<HINSTANCE>(m_module), DLL_PROCESS_DETACH, nullptr);
  if (m_host.PluginModule() == m_module) m_host.SetPluginModule(nullptr);
  dlclose(m_module);
}

std::vector<std::string> Plugin::Start() {
  uint32_t word = 0xFFFFFFFFu;
  Init(&word);
  Version(m_host.Version());
  std::vector<std::string> menu;
  for (int16_t index = 0;; ++index) {
    QXMenuDesc description{};
    if (Enumerate(index, &description) == 0) break;
    menu.emplace_back(description.text);
  }
  return menu;
}

int32_t Plugin::Init(uint32_t* word) { return m_init(0, word); }
int32_t Plugin::Enumerate(int16_t index, QXMenuDesc* menu) { return m_enumerate(0, index, menu); }
int32_t Plugin::MenuStatus() { return m_menuStatus(0); }
uint32_t Plugin::Version(uint32_t version) { return m_version(version); }
int32_t Plugin::Invoke() { return m_invoke(m_host.MainWindow(), 0, 0, 0); }
void Plugin::Terminate() { m_terminate(0); }

}  // namespace quivrasim
