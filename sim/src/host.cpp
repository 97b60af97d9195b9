#include "quivrasim/host.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace quivrasim {

namespace {

Host* g_current = nullptr;

const char* const kOpNames[] = {
#define QUIVRASIM_OP_NAME(result, name, params, args) #name,
    QX_OPERATIONS(QUIVRASIM_OP_NAME)
#undef QUIVRASIM_OP_NAME
};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

const char* OpName(Op op) { return kOpNames[static_cast<size_t>(op)]; }

bool OpFromName(const std::string& name, Op* op) {
  for (size_t i = 0; i < static_cast<size_t>(Op::Count); ++i) {
    if (name == kOpNames[i]) {
      *op = static_cast<Op>(i);
      return true;
    }
  }
  return false;
}

// ---- Registry ----

void Registry::CreateKey(const std::string& path) { m_keys[Lower(path)]; }

bool Registry::HasKey(const std::string& path) const { return m_keys.count(Lower(path)) != 0; }

void Registry::SetValue(const std::string& path, const std::string& name, uint32_t type,
                        std::vector<unsigned char> data) {
  m_keys[Lower(path)][name] = Value{type, std::move(data)};
}

void Registry::SetDword(const std::string& path, const std::string& name, uint32_t value) {
  std::vector<unsigned char> data(4);
  std::memcpy(data.data(), &value, 4);
  SetValue(path, name, REG_DWORD, std::move(data));
}

const Registry::Value* Registry::Find(const std::string& path, const std::string& name) const {
  const auto key = m_keys.find(Lower(path));
  if (key == m_keys.end()) return nullptr;
  const auto value = key->second.find(name);
  return value == key->second.end() ? nullptr : &value->second;
}

std::optional<uint32_t> Registry::Dword(const std::string& path, const std::string& name) const {
  const Value* value = Find(path, name);
  if (value == nullptr || value->data.size() != 4) return std::nullopt;
  uint32_t result;
  std::memcpy(&result, value->data.data(), 4);
  return result;
}

HKEY Registry::Open(const std::string& path) {
  ++m_opens;
  if (!HasKey(path)) return nullptr;
  HKEY handle = reinterpret_cast<HKEY>(m_nextHandle++);
  m_handles[handle] = Lower(path);
  return handle;
}

const std::string* Registry::PathOf(HKEY handle) const {
  const auto it = m_handles.find(handle);
  return it == m_handles.end() ? nullptr : &it->second;
}

bool Registry::Close(HKEY handle) { return m_handles.erase(handle) != 0; }

bool Registry::LoadText(const std::string& text, const std::string& name, std::string* error) {
  std::istringstream lines(text);
  int number = 0;
  for (std::string line; std::getline(lines, line);) {
    ++number;
    while (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const size_t equals = line.find('=');
    const size_t separator = line.rfind('\\', equals);
    const size_t colon = line.find(':', equals);
    if (equals == std::string::npos || separator == std::string::npos || colon == std::string::npos) {
      if (error != nullptr) *error = name + ":" + std::to_string(number) + ": not a registry value line: " + line;
      return false;
    }
    const std::string key = line.substr(0, separator);
    const std::string value = line.substr(separator + 1, equals - separator - 1);
    const std::string type = line.substr(equals + 1, colon - equals - 1);
    const std::string hex = line.substr(colon + 1);
    std::vector<unsigned char> data;
    auto digit = [](char c) {
      return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    };
    bool valid = hex.size() % 2 == 0;
    for (size_t i = 0; valid && i < hex.size(); i += 2) {
      const int high = digit(hex[i]);
      const int low = digit(hex[i + 1]);
      valid = high >= 0 && low >= 0;
      if (valid) data.push_back(static_cast<unsigned char>(high * 16 + low));
    }
    if (!valid) {
      if (error != nullptr) *error = name + ":" + std::to_string(number) + ": " + value + " is not hexadecimal: " + hex;
      return false;
    }
    CreateKey(key);
    SetValue(key, value, type == "dword" ? REG_DWORD : static_cast<uint32_t>(std::atoi(type.c_str())), data);
  }
  return true;
}

std::string Registry::Text() const {
  std::string text = "# Registry values of the simulated host, as HKEY_CURRENT_USER keeps them.\n";
  for (const auto& [key, values] : m_keys) {
    for (const auto& [name, value] : values) {
      text += key + "\\" + name + "=" + (value.type == REG_DWORD ? "dword" : std::to_string(value.type)) + ":";
      for (const unsigned char byte : value.data) {
        static const char kDigits[] = "0123456789abcdef";
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xF];
      }
      text += '\n';
    }
  }
  return text;
}

// ---- Host ----

Host::Host() : m_previous(g_current) {
  g_current = this;
  m_mainWindow = NewHandle();
  m_windows.push_back({m_mainWindow, "Quivra - [Untitled 1]"});
  m_windows.push_back({NewHandle(), "Inbox - Mail"});
  m_windows.push_back({NewHandle(), "Program Manager"});
  m_foreground = m_mainWindow;
  m_fonts = {"Maestro", "Times New Roman", "Arial", "Helvetica", "MS Sans Serif"};
}

Host::~Host() {
  for (QXFrame* frame : m_liveFrames) {
    std::free(frame->entries);
    delete frame;
  }
  g_current = m_previous;
}

QXFrame* Host::NewFrame() {
  QXFrame* frame = nullptr;
  if (m_spareFrames.empty()) {
    frame = new QXFrame{};
  } else {
    frame = m_spareFrames.back().release();
    m_spareFrames.pop_back();
    *frame = QXFrame{};
  }
  m_liveFrames.m_frames.push_back(frame);
  return frame;
}

void Host::ReleaseFrame(QXFrame* frame) {
  const auto found = m_liveFrames.Find(frame);
  if (found == m_liveFrames.m_frames.rend()) return;
  std::free(frame->entries);
  frame->entries = nullptr;
  std::swap(m_liveFrames.m_frames[static_cast<size_t>(m_liveFrames.m_frames.rend() - found - 1)],
            m_liveFrames.m_frames.back());
  m_liveFrames.m_frames.pop_back();
  m_spareFrames.emplace_back(frame);
}

void Host::CountFrameLoadVersion(uint32_t version) {
  if (m_lastFrameVersion.second == nullptr || m_lastFrameVersion.first != version) {
    m_lastFrameVersion = {version, &m_frameVersions[version]};
  }
  ++*m_lastFrameVersion.second;
}

Host& Host::Current() {
  if (g_current == nullptr) {
    std::fputs("quivrasim: a host operation was called with no host running\n", stderr);
    std::abort();
  }
  return *g_current;
}

Host* Host::CurrentOrNull() { return g_current; }

HWND Host::NewHandle() { return reinterpret_cast<HWND>(m_nextHandle++); }

void Host::AddTopWindow(const std::string& title, bool top, bool foreground) {
  const HWND handle = NewHandle();
  if (top) {
    m_windows.insert(m_windows.begin(), {handle, title});
  } else {
    m_windows.push_back({handle, title});
  }
  if (foreground) m_foreground = handle;
}

void Host::RemoveTopWindow(HWND window) {
  m_windows.erase(std::remove_if(m_windows.begin(), m_windows.end(),
                                 [window](const TopWindow& w) { return w.handle == window; }),
                  m_windows.end());
  if (m_foreground == window) m_foreground = m_mainWindow;
}

const TopWindow* Host::FindTopWindow(HWND window) const {
  for (const TopWindow& w : m_windows) {
    if (w.handle == window) return &w;
  }
  return nullptr;
}

void Host::Select(int firstSlot, int firstMeasure, int lastSlot, int lastMeasure) {
  m_selection = QXRegion{0, static_cast<int16_t>(firstSlot), static_cast<int16_t>(firstMeasure), 0,
                         0, static_cast<int16_t>(lastSlot), static_cast<int16_t>(lastMeasure), kQXEndOfMeasure};
}

void Host::ClearSelection() { m_selection = QXRegion{}; }

QXRegion Host::DocumentRegion() const {
  const uint16_t list = m_studioView ? 1 : 0;
  return QXRegion{list, 1, 1, 0, list, static_cast<int16_t>(m_document.StaffCount()),
                  static_cast<int16_t>(m_document.MeasureCount()), kQXEndOfMeasure};
}

void Host::NotifyAlert(const Alert& alert) {
  m_alerts.push_back(alert);
  if (m_alertListener) m_alertListener(alert);
}

ProgressRun* Host::FindProgress(uint32_t handle) {
  // Handles are given out in order, from 1.
  if (handle < 1 || handle > m_progress.size()) return nullptr;
  return &m_progress[handle - 1];
}

bool Host::ProgressShouldCancel(const ProgressRun& run, int instrument, int measure) {
  ++m_progressCalls;
  if (m_cancelAt > 0 && m_progressCalls == m_cancelAt) return true;
  return m_progressListener && m_progressListener(run, instrument, measure);
}

Dialog* Host::FindDialog(HWND window) {
  for (auto& dialog : m_dialogs) {
    if (dialog->Handle() == window) return dialog.get();
  }
  return nullptr;
}

const WinportResources* Host::PluginResources() const {
  if (m_pluginModule == nullptr) return nullptr;
  return static_cast<const WinportResources*>(dlsym(m_pluginModule, WINPORT_RESOURCES_SYMBOL));
}

std::string Host::PluginString(uint32_t id) const {
  const WinportResources* resources = PluginResources();
  if (resources == nullptr) return {};
  for (UINT i = 0; i < resources->stringCount; ++i) {
    if (resources->strings[i].id == id) return resources->strings[i].text;
  }
  return {};
}

int16_t Host::FontNumber(const std::string& name) {
  for (size_t i = 0; i < m_fonts.size(); ++i) {
    if (Lower(m_fonts[i]) == Lower(name)) return static_cast<int16_t>(i);
  }
  m_fonts.push_back(name);
  return static_cast<int16_t>(m_fonts.size() - 1);
}

int Host::Calls(const std::string& name) const {
  Op op;
  return OpFromName(name, &op) ? Calls(op) : 0;
}

int Host::ProcLookups(const std::string& name) const {
  const auto it = m_procLookups.find(name);
  return it == m_procLookups.end() ? 0 : it->second;
}

int Host::FrameLoads(int instrument, int measure) const {
  int total = 0;
  for (int layer = 0; layer < m_document.MaxLayers(); ++layer) {
    total += m_document.Loads({static_cast<uint16_t>(instrument), static_cast<int16_t>(measure),
                               static_cast<uint16_t>(layer)}, -1);
  }
  return total;
}

int Host::MaxLoadsOfOneFrame(int mode) const {
  int most = 0;
  for (int slot = 1; slot <= m_document.StaffCount(); ++slot) {
    for (int measure = 1; measure <= m_document.MeasureCount(); ++measure) {
      for (int layer = 0; layer < m_document.MaxLayers(); ++layer) {
        const FrameKey key{m_document.InstrumentAt(slot), static_cast<int16_t>(measure), static_cast<uint16_t>(layer)};
        most = std::max(most, m_document.Loads(key, mode));
      }
    }
  }
  return most;
}

int Host::TotalFrameLoads() const {
  int total = 0;
  for (int slot = 1; slot <= m_document.StaffCount(); ++slot) {
    for (int measure = 1; measure <= m_document.MeasureCount(); ++measure) total += FrameLoads(m_document.InstrumentAt(slot), measure);
  }
  return total;
}

void Host::LogRecordCall(const RecordCall& call) {
  if (m_logRecordCalls) m_recordCalls.push_back(call);
}

void Host::ResetCounters() {
  m_calls.fill(0);
  m_procLookups.clear();
  m_document.ResetLoads();
  m_frameVersions.clear();
  m_lastFrameVersion = {0, nullptr};
  m_recordCalls.clear();
  m_windowTextReads = 0;
  m_foregroundQueries = 0;
}

bool Host::Fails(Op op) {
  ++m_fallibleCalls;
  bool fail = m_failAt > 0 && m_fallibleCalls == m_failAt;
  if (op == m_failOp && ++m_failOpCalls == m_failOpAt) fail = true;
  if (fail) {
    ++m_faults;
    m_lastFault = op;
  }
  return fail;
}

void Host::CountMisuse(const std::string& what) {
  ++m_misuse;
  m_misuses.push_back(what);
}

}  // namespace quivrasim
