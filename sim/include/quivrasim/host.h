// The simulated host application and the operating system around it. One
// Host is current at a time; the exported host operations and Windows
// services act on it.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <unordered_set>
#include <string>
#include <vector>

#include "quivra/qx_ops.h"
#include "quivrasim/dialog.h"
#include "quivrasim/document.h"

namespace quivrasim {

enum class Op {
#define QUIVRASIM_OP(result, name, params, args) name,
  QX_OPERATIONS(QUIVRASIM_OP)
#undef QUIVRASIM_OP
      Count
};
const char* OpName(Op op);
bool OpFromName(const std::string& name, Op* op);

struct Alert {
  HWND owner;
  uint16_t style;
  uint32_t stringId;
  std::string text;  // the string-table text when stringId is set
};

struct Scroll {
  int measure;
  int instrument;
};

// One call of a record operation, as the host received it.
struct RecordCall {
  Op op;
  uint32_t tag;
  QXKey key;
  uint32_t size;
  uint32_t version;
  int16_t result;
};

struct ProgressRun {
  uint32_t handle;
  int32_t total;
  std::optional<QXRegion> region;  // the region the run was started over, if any
  int32_t reported = 0;
  std::vector<int32_t> steps;  // what each report added
  int calls = 0;
  bool ended = false;
  bool cancelledByUser = false;
  uint16_t endCancel = 0;
};

struct TopWindow {
  HWND handle;
  std::string title;
};

class Registry {
 public:
  void CreateKey(const std::string& path);
  bool HasKey(const std::string& path) const;
  void SetDword(const std::string& path, const std::string& name, uint32_t value);
  void SetValue(const std::string& path, const std::string& name, uint32_t type, std::vector<unsigned char> data);
  // The 4-byte value, if there is one.
  std::optional<uint32_t> Dword(const std::string& path, const std::string& name) const;
  struct Value {
    uint32_t type;
    std::vector<unsigned char> data;
  };
  const Value* Find(const std::string& path, const std::string& name) const;
  const std::map<std::string, std::map<std::string, Value>>& Keys() const { return m_keys; }
  int Writes() const { return m_writes; }
  // The names of the values written, in order, and the access asked for at each opening.
  const std::vector<std::string>& WrittenNames() const { return m_written; }
  void CountWrite(const std::string& name) {
    ++m_writes;
    m_written.push_back(name);
  }
  const std::vector<uint32_t>& Accesses() const { return m_accesses; }
  void NoteAccess(uint32_t access) { m_accesses.push_back(access); }
  // Open handles, path per handle.
  HKEY Open(const std::string& path);
  // Attempts to open a key, successful or not.
  int Opens() const { return m_opens; }
  const std::string* PathOf(HKEY handle) const;
  bool Close(HKEY handle);
  int OpenHandles() const { return static_cast<int>(m_handles.size()); }

  // The registry as text: one "key\value=type:hex" line per value. Loading
  // adds the values; false with a message naming the line (name stands for
  // the text's file).
  bool LoadText(const std::string& text, const std::string& name, std::string* error);
  std::string Text() const;

 private:
  std::map<std::string, std::map<std::string, Value>> m_keys;  // lower-case paths
  std::map<HKEY, std::string> m_handles;
  uintptr_t m_nextHandle = 0x2000;
  int m_writes = 0;
  int m_opens = 0;
  std::vector<std::string> m_written;
  std::vector<uint32_t> m_accesses;
};

class Host {
 public:
  Host();
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // The current host; aborts when there is none.
  static Host& Current();
  static Host* CurrentOrNull();

  Document& Doc() { return m_document; }
  const Document& Doc() const { return m_document; }
  Registry& Reg() { return m_registry; }

  // ---- The process: executable name and exported operations ----
  // The executable name GetModuleHandleA answers to; empty: no host runs.
  void SetExecutableName(const std::string& name) { m_executable = name; }
  const std::string& ExecutableName() const { return m_executable; }
  // An operation the host does not export (GetProcAddress fails for it).
  void Withhold(const std::string& name) { m_withheld.insert(name); }
  void Provide(const std::string& name) { m_withheld.erase(name); }
  bool Withheld(const std::string& name) const { return m_withheld.count(name) != 0; }
  uint32_t Version() const { return m_version; }

  // ---- Windows ----
  HWND MainWindow() const { return m_mainWindow; }
  HWND NewHandle();
  std::vector<TopWindow>& TopWindows() { return m_windows; }  // z-order, top first
  HWND Foreground() const { return m_foreground; }
  void SetForeground(HWND window) { m_foreground = window; }
  void AddTopWindow(const std::string& title, bool top = false, bool foreground = false);
  void RemoveTopWindow(HWND window);
  const TopWindow* FindTopWindow(HWND window) const;

  // ---- Regions and view ----
  QXRegion& Selection() { return m_selection; }
  void Select(int firstSlot, int firstMeasure, int lastSlot, int lastMeasure);
  void ClearSelection();
  QXRegion DocumentRegion() const;
  // Studio view shows the document in a staff list of its own (id nonzero).
  void SetStudioView(bool on) { m_studioView = on; }

  // ---- What the plug-in did to the user interface ----
  std::vector<Alert>& Alerts() { return m_alerts; }
  std::vector<uint32_t>& MenuCommands() { return m_menuCommands; }
  std::vector<Scroll>& Scrolls() { return m_scrolls; }
  std::vector<std::optional<QXRegion>>& Redraws() { return m_redraws; }
  std::vector<QXRegion>& SelectionsSet() { return m_selectionsSet; }
  using AlertListener = std::function<void(const Alert&)>;
  void OnAlert(AlertListener listener) { m_alertListener = std::move(listener); }
  void NotifyAlert(const Alert& alert);

  // ---- Progress runs ----
  std::vector<ProgressRun>& ProgressRuns() { return m_progress; }
  ProgressRun* FindProgress(uint32_t handle);
  // The n-th progress report from now on (1-based) answers "cancel".
  void CancelProgressAt(int call) { m_cancelAt = call; m_progressCalls = 0; }
  // Asked at every progress report; true cancels.
  void OnProgress(std::function<bool(const ProgressRun&, int instrument, int measure)> listener) {
    m_progressListener = std::move(listener);
  }
  bool ProgressShouldCancel(const ProgressRun& run, int instrument, int measure);
  // Told when a progress run starts and when it ends (run.ended).
  void OnProgressRun(std::function<void(const ProgressRun&)> listener) { m_progressRunListener = std::move(listener); }
  void NotifyProgressRun(const ProgressRun& run) {
    if (m_progressRunListener) m_progressRunListener(run);
  }

  // ---- Dialogs ----
  // Acts as the user each time the plug-in opens a dialog; without one the
  // dialog is closed at once.
  void OnDialog(DialogUser user) { m_dialogUser = std::move(user); }
  const DialogUser& DialogUserFn() const { return m_dialogUser; }
  // Acts once after initialisation, before the dialog is shown.
  void BeforeShow(DialogUser user) { m_beforeShow = std::move(user); }
  const DialogUser& BeforeShowFn() const { return m_beforeShow; }
  std::vector<std::unique_ptr<Dialog>>& OpenDialogs() { return m_dialogs; }
  Dialog* FindDialog(HWND window);
  int DialogsOpened() const { return m_dialogsOpened; }
  void CountDialogOpened() { ++m_dialogsOpened; }

  // ---- The plug-in module, for its resources ----
  void SetPluginModule(void* module) { m_pluginModule = module; }
  void* PluginModule() const { return m_pluginModule; }
  const WinportResources* PluginResources() const;
  std::string PluginString(uint32_t id) const;

  // ---- Fonts ----
  int16_t FontNumber(const std::string& name);

  // ---- Counters ----
  int Calls(Op op) const { return m_calls[static_cast<size_t>(op)]; }
  int Calls(const std::string& name) const;
  void CountCall(Op op) { ++m_calls[static_cast<size_t>(op)]; }
  int ProcLookups(const std::string& name) const;
  void CountProcLookup(const std::string& name) { ++m_procLookups[name]; }
  // Frame loads of one staff and measure, over all layers and load modes.
  int FrameLoads(int instrument, int measure) const;
  // The most loads of any single frame (staff, measure and layer) in one
  // load mode (the last argument of QX_LoadTGF), or in all when mode is -1.
  int MaxLoadsOfOneFrame(int mode = -1) const;
  int TotalFrameLoads() const;
  // Frame loads per version word.
  const std::map<uint32_t, int>& FrameLoadVersions() const { return m_frameVersions; }
  void CountFrameLoadVersion(uint32_t version);

  // Record calls are logged only while logging is on (they are many).
  void LogRecordCalls(bool on) { m_logRecordCalls = on; }
  void LogRecordCall(const RecordCall& call);
  std::vector<RecordCall>& RecordCalls() { return m_recordCalls; }
  // Window enumeration calls, for checking the title search.
  int WindowTextReads() const { return m_windowTextReads; }
  void CountWindowTextRead() { ++m_windowTextReads; }
  int ForegroundQueries() const { return m_foregroundQueries; }
  void CountForegroundQuery() { ++m_foregroundQueries; }
  void ResetCounters();

  // ---- Faults ----
  // The n-th call (1-based, from now) of an operation fails as the host's
  // failures look: no frame, a zero result, a cancel from the progress.
  void FailCall(Op op, int nth) { m_failOp = op; m_failOpAt = nth; m_failOpCalls = 0; }
  // The n-th call from now among all the operations that can fail (record,
  // frame, edit start and progress operations).
  void FailNthFallible(int nth) { m_failAt = nth; m_fallibleCalls = 0; }
  // Every save and create of records of this tag fails from now on (0: none).
  void RefuseRecordWrites(uint32_t tag) { m_refusedTag = tag; }
  bool RefusesRecordWrite(uint32_t tag) const { return m_refusedTag != 0 && tag == m_refusedTag; }
  // Asked by each operation that can fail; counts the call.
  bool Fails(Op op);
  int FallibleCalls() const { return m_fallibleCalls; }
  int FaultsInjected() const { return m_faults; }
  // The operation of the last failure made (Op::Count before the first).
  Op LastFault() const { return m_lastFault; }

  // ---- Frames handed out and not yet freed ----
  // The plug-in holds a few at a time: a short list, searched from its
  // newest, and frames freed are kept to be handed out again, so that a
  // load allocates nothing of its own.
  class FrameSet {
   public:
    bool empty() const { return m_frames.empty(); }
    size_t size() const { return m_frames.size(); }
    size_t count(const QXFrame* frame) const { return Find(frame) != m_frames.rend() ? 1 : 0; }
    std::vector<QXFrame*>::const_iterator begin() const { return m_frames.begin(); }
    std::vector<QXFrame*>::const_iterator end() const { return m_frames.end(); }

   private:
    friend class Host;
    std::vector<QXFrame*>::const_reverse_iterator Find(const QXFrame* frame) const {
      return std::find(m_frames.rbegin(), m_frames.rend(), frame);
    }
    std::vector<QXFrame*> m_frames;
  };
  const FrameSet& LiveFrames() const { return m_liveFrames; }
  // A frame to hand out, zeroed, and counted as live.
  QXFrame* NewFrame();
  // A live frame given back: its entries freed, kept for the next load.
  void ReleaseFrame(QXFrame* frame);
  // Calls made with a frame, dialog, region or handle the host never gave out.
  int MisuseCount() const { return m_misuse; }
  void CountMisuse(const std::string& what);
  const std::vector<std::string>& Misuses() const { return m_misuses; }

 private:
  Document m_document;
  Registry m_registry;
  std::string m_executable = "Quivra.exe";
  std::set<std::string> m_withheld;
  uint32_t m_version = kQXVersionCurrent;

  uintptr_t m_nextHandle = 0x10000;
  HWND m_mainWindow = nullptr;
  HWND m_foreground = nullptr;
  std::vector<TopWindow> m_windows;

  QXRegion m_selection{};
  bool m_studioView = false;

  std::vector<Alert> m_alerts;
  AlertListener m_alertListener;
  std::vector<uint32_t> m_menuCommands;
  std::vector<Scroll> m_scrolls;
  std::vector<std::optional<QXRegion>> m_redraws;
  std::vector<QXRegion> m_selectionsSet;

  std::vector<ProgressRun> m_progress;
  int m_cancelAt = 0;
  int m_progressCalls = 0;
  std::function<bool(const ProgressRun&, int, int)> m_progressListener;
  std::function<void(const ProgressRun&)> m_progressRunListener;

  DialogUser m_dialogUser;
  DialogUser m_beforeShow;
  std::vector<std::unique_ptr<Dialog>> m_dialogs;
  int m_dialogsOpened = 0;

  void* m_pluginModule = nullptr;
  std::vector<std::string> m_fonts;

  std::array<int, static_cast<size_t>(Op::Count)> m_calls{};
  std::map<std::string, int> m_procLookups;
  std::map<uint32_t, int> m_frameVersions;
  std::pair<uint32_t, int*> m_lastFrameVersion{0, nullptr};  // the version loaded last, and its count
  bool m_logRecordCalls = false;
  std::vector<RecordCall> m_recordCalls;
  int m_windowTextReads = 0;
  int m_foregroundQueries = 0;
  FrameSet m_liveFrames;
  std::vector<std::unique_ptr<QXFrame>> m_spareFrames;
  int m_misuse = 0;
  std::vector<std::string> m_misuses;

  Op m_failOp = Op::Count;
  int m_failOpAt = 0;
  int m_failOpCalls = 0;
  int m_failAt = 0;
  int m_fallibleCalls = 0;
  int m_faults = 0;
  Op m_lastFault = Op::Count;
  uint32_t m_refusedTag = 0;

  Host* m_previous = nullptr;
};

}  // namespace quivrasim
