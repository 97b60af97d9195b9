// Loading the plug-in library and calling its entry points, as the host does.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "quivra/qx_layout.h"

namespace quivrasim {

class Host;

class Plugin {
 public:
  // Opens the library and runs its load routine; a library whose load
  // routine answers 0 is closed again and null returned, with the reason.
  static std::unique_ptr<Plugin> Load(Host& host, const std::string& path, std::string* error);
  // Unloads: the load routine hears of the detach, then the library is closed.
  ~Plugin();
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  // The host's start-up: Init, Version, and Enumerate until it answers 0.
  // Returns the menu texts the plug-in offered.
  std::vector<std::string> Start();

  int32_t Init(uint32_t* word);
  int32_t Enumerate(int16_t index, QXMenuDesc* menu);
  int32_t MenuStatus();
  uint32_t Version(uint32_t version);
  // The user chose the plug-in's menu command.
  int32_t Invoke();
  void Terminate();

  void* Module() const { return m_module; }
  const std::string& Path() const { return m_path; }

 private:
  Plugin(Host& host, void* module, std::string path);

  Host& m_host;
  void* m_module;
  std::string m_path;
  using InitFn = int32_t(QXAPI*)(uint32_t, uint32_t*);
  using EnumerateFn = int32_t(QXAPI*)(uint32_t, int16_t, QXMenuDesc*);
  using MenuStatusFn = int32_t(QXAPI*)(uint32_t);
  using VersionFn = uint32_t(QXAPI*)(uint32_t);
  using InvokeFn = int32_t(QXAPI*)(HWND, uint32_t, uint32_t, uint32_t);
  using TerminateFn = void(QXAPI*)(uint32_t);
  using LoadRoutineFn = BOOL(WINAPI*)(HINSTANCE, DWORD, LPVOID);
  LoadRoutineFn m_loadRoutine = nullptr;
  InitFn m_init = nullptr;
  EnumerateFn m_enumerate = nullptr;
  MenuStatusFn m_menuStatus = nullptr;
  VersionFn m_version = nullptr;
  InvokeFn m_invoke = nullptr;
  TerminateFn m_terminate = nullptr;
};

}  // namespace quivrasim
