// Host operations of the user interface: alerts, dialogs and their items, menu commands.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "exports.h"

using namespace quivrasim;

namespace {

Control* FindControl(Host& host, HWND dialog, uint16_t item, const char* op) {
  Dialog* window = host.FindDialog(dialog);
  if (window == nullptr) {
    host.CountMisuse(std::string(op) + " on a window that is no open dialog");
    return nullptr;
  }
  return window->Find(item);
}

bool IsCheckable(const Control& control) {
  return control.IsButtonType(BS_AUTOCHECKBOX) || control.IsButtonType(BS_AUTORADIOBUTTON) ||
         control.IsButtonType(BS_RADIOBUTTON);
}

}  // namespace

int16_t QXAPI QX_AlertMessage(HWND owner, uint16_t style, uint32_t stringId, const char* text, uint32_t) {
  Host& host = Serve(Op::QX_AlertMessage);
  const std::string shown = stringId != 0 ? host.PluginString(stringId) : std::string(text != nullptr ? text : "");
  host.NotifyAlert(Alert{owner, style, stringId, shown});
  return 1;
}

int32_t QXAPI QX_Dialog(uint16_t resourceId, QXDialogProc handler, HWND owner, uint16_t, uint32_t* userData, uint32_t) {
  Host& host = Serve(Op::QX_Dialog);
  const WinportResources* resources = host.PluginResources();
  const WinportDialog* resource = nullptr;
  for (UINT i = 0; resources != nullptr && i < resources->dialogCount; ++i) {
    if (resources->dialogs[i].id == resourceId) resource = &resources->dialogs[i];
  }
  if (resource == nullptr || handler == nullptr) return -1;
  (void)owner;

  host.CountDialogOpened();
  const HWND handle = host.NewHandle();
  host.OpenDialogs().push_back(std::make_unique<Dialog>(host, handle, *resource, handler, userData));
  Dialog& dialog = *host.OpenDialogs().back();
  host.TopWindows().insert(host.TopWindows().begin(), TopWindow{handle, dialog.Caption()});
  host.SetForeground(handle);

  DialogSession session(dialog);
  dialog.Send(WM_INITDIALOG);
  const DialogUser beforeShow = host.BeforeShowFn();
  if (beforeShow) beforeShow(session);
  dialog.Send(WM_SHOWWINDOW, 1);
  // A copy: the user may give the host a new user while acting.
  const DialogUser user = host.DialogUserFn();
  if (user) user(session);
  if (!dialog.Ended()) session.CloseWindow();
  if (!dialog.Ended()) dialog.End();  // the host closes what the user left open
  if (!dialog.Vanished()) dialog.Send(WM_DESTROY);

  host.RemoveTopWindow(handle);  // the foreground goes back to the main window
  auto& dialogs = host.OpenDialogs();
  for (auto it = dialogs.begin(); it != dialogs.end(); ++it) {
    if (it->get() == &dialog) {
      dialogs.erase(it);
      break;
    }
  }
  return 1;
}

int16_t QXAPI QX_EndDialog(HWND dialog, uint32_t) {
  Host& host = Serve(Op::QX_EndDialog);
  Dialog* window = host.FindDialog(dialog);
  if (window == nullptr) return 0;
  window->End();
  return 1;
}

int16_t QXAPI QX_EnableDlgItem(HWND dialog, uint16_t item, uint16_t enable, uint32_t) {
  Control* control = FindControl(Serve(Op::QX_EnableDlgItem), dialog, item, "QX_EnableDlgItem");
  if (control == nullptr) return 0;
  control->enabled = enable != 0;
  return 1;
}

int16_t QXAPI QX_SetDlgFocus(HWND dialog, uint16_t item, uint32_t) {
  Host& host = Serve(Op::QX_SetDlgFocus);
  Dialog* window = host.FindDialog(dialog);
  if (window == nullptr || window->Find(item) == nullptr) return 0;
  window->SetFocus(item);
  return 1;
}

int32_t QXAPI QX_GetDlgCntlVal(HWND dialog, uint16_t item, uint16_t, uint32_t) {
  Control* control = FindControl(Serve(Op::QX_GetDlgCntlVal), dialog, item, "QX_GetDlgCntlVal");
  return control != nullptr && control->checked ? 1 : 0;
}

int16_t QXAPI QX_SetDlgCntlVal(HWND dialog, uint16_t item, uint16_t, int32_t value, uint32_t) {
  Control* control = FindControl(Serve(Op::QX_SetDlgCntlVal), dialog, item, "QX_SetDlgCntlVal");
  if (control == nullptr || !IsCheckable(*control)) return 0;
  control->checked = value != 0;
  return 1;
}

int32_t QXAPI QX_GetDlgItemVal(HWND dialog, uint16_t item, uint16_t kind, uint32_t) {
  Control* control = FindControl(Serve(Op::QX_GetDlgItemVal), dialog, item, "QX_GetDlgItemVal");
  if (control == nullptr) return 0;
  if (kind == kQXValueCheck) return control->checked ? 1 : 0;
  // An integer as the user typed it; what does not read as one is 0.
  return static_cast<int32_t>(std::strtol(control->text.c_str(), nullptr, 10));
}

int16_t QXAPI QX_SetDlgItemVal(HWND dialog, uint16_t item, uint16_t kind, int32_t value, uint32_t) {
  Control* control = FindControl(Serve(Op::QX_SetDlgItemVal), dialog, item, "QX_SetDlgItemVal");
  if (control == nullptr) return 0;
  if (kind == kQXValueCheck) {
    if (!IsCheckable(*control)) return 0;
    control->checked = value != 0;
  } else {
    control->text = std::to_string(value);
  }
  return 1;
}

int16_t QXAPI QX_GetDlgString(HWND dialog, uint16_t item, char* buffer, uint16_t size, uint32_t) {
  Control* control = FindControl(Serve(Op::QX_GetDlgString), dialog, item, "QX_GetDlgString");
  if (buffer == nullptr || size == 0) return 0;
  buffer[0] = '\0';
  if (control == nullptr) return 0;
  const size_t length = std::min<size_t>(control->text.size(), size - 1u);
  std::memcpy(buffer, control->text.data(), length);
  buffer[length] = '\0';
  return 1;
}

int16_t QXAPI QX_SetDlgString(HWND dialog, uint16_t item, const char* text, uint32_t) {
  Control* control = FindControl(Serve(Op::QX_SetDlgString), dialog, item, "QX_SetDlgString");
  if (control == nullptr || text == nullptr) return 0;
  control->text = text;
  return 1;
}

int16_t QXAPI QX_ExecuteMenuItem(uint32_t command, uint32_t) {
  Serve(Op::QX_ExecuteMenuItem).MenuCommands().push_back(command);
  return 1;
}
