// The Windows services for top-level windows and dialog items.
#include <algorithm>
#include <cstring>

#include "exports.h"

using namespace quivrasim;

namespace {

int IndexOf(Host& host, HWND window) {
  const auto& windows = host.TopWindows();
  for (size_t i = 0; i < windows.size(); ++i) {
    if (windows[i].handle == window) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

QUIVRASIM_EXPORT HWND GetForegroundWindow(void) {
  Host& host = Host::Current();
  host.CountForegroundQuery();
  return host.Foreground();
}

QUIVRASIM_EXPORT HWND GetWindow(HWND window, UINT command) {
  Host& host = Host::Current();
  const int index = IndexOf(host, window);
  if (index < 0) return nullptr;
  const int next = command == GW_HWNDNEXT ? index + 1 : command == GW_HWNDPREV ? index - 1 : -1;
  if (next < 0 || next >= static_cast<int>(host.TopWindows().size())) return nullptr;
  return host.TopWindows()[static_cast<size_t>(next)].handle;
}

QUIVRASIM_EXPORT BOOL IsWindow(HWND window) {
  return window != nullptr && IndexOf(Host::Current(), window) >= 0 ? TRUE : FALSE;
}

QUIVRASIM_EXPORT int GetWindowTextA(HWND window, LPSTR text, int maxCount) {
  Host& host = Host::Current();
  host.CountWindowTextRead();
  if (text == nullptr || maxCount <= 0) return 0;
  text[0] = '\0';
  const TopWindow* top = host.FindTopWindow(window);
  if (top == nullptr) return 0;
  const size_t length = std::min(top->title.size(), static_cast<size_t>(maxCount - 1));
  std::memcpy(text, top->title.data(), length);
  text[length] = '\0';
  return static_cast<int>(length);
}

QUIVRASIM_EXPORT LRESULT SendDlgItemMessageA(HWND dialog, int item, UINT message, WPARAM wParam, LPARAM lParam) {
  Host& host = Host::Current();
  Dialog* window = host.FindDialog(dialog);
  Control* control = window != nullptr ? window->Find(item) : nullptr;
  if (control == nullptr) return -1;
  const bool combo = control->windowClass == "ComboBox";
  const bool list = control->windowClass == "ListBox";
  const auto index = static_cast<int>(static_cast<intptr_t>(wParam));
  switch (message) {
    case CB_RESETCONTENT:
    case LB_RESETCONTENT:
      if (!(combo ? message == CB_RESETCONTENT : list && message == LB_RESETCONTENT)) return -1;
      control->items.clear();
      control->selected.clear();
      control->selection = -1;
      return 0;
    case CB_ADDSTRING:
    case LB_ADDSTRING:
      if (!(combo ? message == CB_ADDSTRING : list && message == LB_ADDSTRING)) return -1;
      control->items.emplace_back(reinterpret_cast<const char*>(lParam));
      control->selected.push_back(false);
      return static_cast<LRESULT>(control->items.size() - 1);
    case CB_GETCOUNT:
    case LB_GETCOUNT:
      return static_cast<LRESULT>(control->items.size());
    case CB_SETCURSEL:
      if (!combo) return CB_ERR;
      if (index < 0 || index >= static_cast<int>(control->items.size())) {
        control->selection = -1;
        return CB_ERR;
      }
      control->selection = index;
      return index;
    case CB_GETCURSEL:
      return combo ? control->selection : CB_ERR;
    case LB_SETSEL: {
      // lParam -1 stands for every line.
      if (!list) return LB_ERR;
      const auto line = static_cast<int>(lParam);
      if (line == -1) {
        std::fill(control->selected.begin(), control->selected.end(), wParam != 0);
        return 0;
      }
      if (line < 0 || line >= static_cast<int>(control->selected.size())) return LB_ERR;
      control->selected[static_cast<size_t>(line)] = wParam != 0;
      return 0;
    }
    case LB_GETSEL:
      if (!list || index < 0 || index >= static_cast<int>(control->selected.size())) return LB_ERR;
      return control->selected[static_cast<size_t>(index)] ? 1 : 0;
    case LB_GETSELCOUNT:
      if (!list) return LB_ERR;
      return static_cast<LRESULT>(std::count(control->selected.begin(), control->selected.end(), true));
    case LB_GETSELITEMS: {
      if (!list || lParam == 0) return LB_ERR;
      auto* out = reinterpret_cast<int*>(lParam);
      int written = 0;
      for (size_t i = 0; i < control->selected.size() && written < index; ++i) {
        if (control->selected[i]) out[written++] = static_cast<int>(i);
      }
      return written;
    }
    default:
      return 0;
  }
}
