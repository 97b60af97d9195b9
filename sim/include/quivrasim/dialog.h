// A plug-in dialog as the simulated host runs it, and the user's side of it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "quivra/qx_layout.h"

namespace quivrasim {

class Host;

struct Control {
  int id = 0;
  std::string windowClass;  // "Button", "Edit", "Static", "ComboBox", "ListBox"
  std::string text;
  uint32_t style = 0;
  HWND handle = nullptr;
  bool enabled = true;
  bool checked = false;
  std::vector<std::string> items;  // combo box and list box lines
  int selection = -1;              // combo box
  std::vector<bool> selected;      // list box lines

  bool IsButtonType(uint32_t type) const;
};

class Dialog {
 public:
  Dialog(Host& host, HWND handle, const WinportDialog& resource, QXDialogProc handler, uint32_t* userData);

  HWND Handle() const { return m_handle; }
  const std::string& Caption() const { return m_caption; }
  Control* Find(int id);
  const Control* Find(int id) const;
  const std::vector<Control>& Controls() const { return m_controls; }

  // Sends a message to the plug-in's handler and returns its answer.
  int32_t Send(uint32_t message, uint16_t wParam = 0, int32_t lParam = 0);

  bool Ended() const { return m_ended; }
  void End() { m_ended = true; }
  bool Vanished() const { return m_vanished; }
  void Vanish() { m_vanished = m_ended = true; }
  int Focus() const { return m_focus; }
  void SetFocus(int id) { m_focus = id; }
  // The word the plug-in handed to the host's dialog operation.
  uint32_t UserData() const { return m_userData != nullptr ? *m_userData : 0; }
  // The radio buttons that share a group with id (from one WS_GROUP control to the next).
  std::vector<Control*> RadioGroup(int id);

 private:
  Host& m_host;
  HWND m_handle;
  std::string m_caption;
  std::vector<Control> m_controls;
  std::unordered_map<int, size_t> m_byId;
  QXDialogProc m_handler;
  uint32_t* m_userData;
  bool m_ended = false;
  bool m_vanished = false;
  int m_focus = 0;
};

// What a user can do with an open dialog and see in it. Actions on a control
// that is missing or disabled do nothing and answer false, as for a user.
class DialogSession {
 public:
  explicit DialogSession(Dialog& dialog) : m_dialog(dialog) {}

  bool Click(int id);
  bool Type(int id, const std::string& text);
  bool SelectCombo(int id, int index);
  bool SelectLines(int id, const std::vector<int>& lines);
  void PressEnter();   // command 1 (OK)
  void PressEscape();  // command 2 (Close)
  void CloseWindow();  // the window's close box
  // Sends a command id whatever the control's state.
  int32_t Command(uint16_t id);
  // The window disappears without any message to the plug-in.
  void Vanish() { m_dialog.Vanish(); }

  std::string Text(int id) const;
  bool Checked(int id) const;
  bool Enabled(int id) const;
  int Focus() const { return m_dialog.Focus(); }
  std::vector<std::string> Items(int id) const;
  int ComboSelection(int id) const;
  std::vector<int> SelectedLines(int id) const;
  bool Ended() const { return m_dialog.Ended(); }
  Dialog& Window() { return m_dialog; }

 private:
  Dialog& m_dialog;
};

using DialogUser = std::function<void(DialogSession&)>;

}  // namespace quivrasim
