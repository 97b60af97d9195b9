#include "quivrasim/dialog.h"

#include "quivrasim/host.h"

namespace quivrasim {

bool Control::IsButtonType(uint32_t type) const {
  return windowClass == "Button" && (style & BS_TYPEMASK) == type;
}

Dialog::Dialog(Host& host, HWND handle, const WinportDialog& resource, QXDialogProc handler, uint32_t* userData)
    : m_host(host), m_handle(handle), m_caption(resource.caption), m_handler(handler), m_userData(userData) {
  for (UINT i = 0; i < resource.controlCount; ++i) {
    const WinportControl& c = resource.controls[i];
    Control control;
    control.id = c.id;
    control.windowClass = c.windowClass;
    control.text = c.text;
    control.style = c.style;
    control.handle = host.NewHandle();
    control.enabled = (c.style & WS_DISABLED) == 0;
    if (c.id != IDC_STATIC) m_byId.emplace(c.id, m_controls.size());
    m_controls.push_back(control);
  }
}

Control* Dialog::Find(int id) {
  const auto found = m_byId.find(id);
  return found == m_byId.end() ? nullptr : &m_controls[found->second];
}

const Control* Dialog::Find(int id) const { return const_cast<Dialog*>(this)->Find(id); }

int32_t Dialog::Send(uint32_t message, uint16_t wParam, int32_t lParam) {
  return m_handler(m_handle, message, wParam, lParam, m_userData);
}

std::vector<Control*> Dialog::RadioGroup(int id) {
  std::vector<Control*> group;
  size_t index = 0;
  while (index < m_controls.size() && m_controls[index].id != id) ++index;
  if (index == m_controls.size()) return group;
  size_t first = index;
  while (first > 0 && (m_controls[first].style & WS_GROUP) == 0) --first;
  for (size_t i = first; i < m_controls.size(); ++i) {
    if (i > first && (m_controls[i].style & WS_GROUP) != 0) break;
    if (m_controls[i].IsButtonType(BS_AUTORADIOBUTTON) || m_controls[i].IsButtonType(BS_RADIOBUTTON)) {
      group.push_back(&m_controls[i]);
    }
  }
  return group;
}

// ---- The user's side ----

bool DialogSession::Click(int id) {
  Control* control = m_dialog.Find(id);
  if (control == nullptr || !control->enabled || m_dialog.Ended()) return false;
  if (control->windowClass != "Button") return false;
  if (control->IsButtonType(BS_AUTOCHECKBOX)) control->checked = !control->checked;
  if (control->IsButtonType(BS_AUTORADIOBUTTON)) {
    for (Control* other : m_dialog.RadioGroup(id)) other->checked = other->id == id;
  }
  m_dialog.SetFocus(id);
  m_dialog.Send(WM_COMMAND, static_cast<uint16_t>(id));
  return true;
}

bool DialogSession::Type(int id, const std::string& text) {
  Control* control = m_dialog.Find(id);
  if (control == nullptr || !control->enabled || control->windowClass != "Edit" || m_dialog.Ended()) return false;
  control->text = text;
  m_dialog.SetFocus(id);
  return true;
}

bool DialogSession::SelectCombo(int id, int index) {
  Control* control = m_dialog.Find(id);
  if (control == nullptr || !control->enabled || control->windowClass != "ComboBox") return false;
  if (index < 0 || index >= static_cast<int>(control->items.size())) return false;
  control->selection = index;
  return true;
}

bool DialogSession::SelectLines(int id, const std::vector<int>& lines) {
  Control* control = m_dialog.Find(id);
  if (control == nullptr || !control->enabled || control->windowClass != "ListBox") return false;
  control->selected.assign(control->items.size(), false);
  for (int line : lines) {
    if (line < 0 || line >= static_cast<int>(control->items.size())) return false;
    control->selected[static_cast<size_t>(line)] = true;
  }
  return true;
}

void DialogSession::PressEnter() { Command(IDOK); }

void DialogSession::PressEscape() { Command(IDCANCEL); }

void DialogSession::CloseWindow() {
  if (m_dialog.Ended()) return;
  // A handler that does not deal with the close box leaves it to the host.
  if (m_dialog.Send(WM_CLOSE) == 0) m_dialog.End();
}

int32_t DialogSession::Command(uint16_t id) {
  if (m_dialog.Ended()) return 0;
  return m_dialog.Send(WM_COMMAND, id);
}

std::string DialogSession::Text(int id) const {
  const Control* control = m_dialog.Find(id);
  return control != nullptr ? control->text : std::string();
}

bool DialogSession::Checked(int id) const {
  const Control* control = m_dialog.Find(id);
  return control != nullptr && control->checked;
}

bool DialogSession::Enabled(int id) const {
  const Control* control = m_dialog.Find(id);
  return control != nullptr && control->enabled;
}

std::vector<std::string> DialogSession::Items(int id) const {
  const Control* control = m_dialog.Find(id);
  return control != nullptr ? control->items : std::vector<std::string>{};
}

int DialogSession::ComboSelection(int id) const {
  const Control* control = m_dialog.Find(id);
  return control != nullptr ? control->selection : -1;
}

std::vector<int> DialogSession::SelectedLines(int id) const {
  std::vector<int> lines;
  const Control* control = m_dialog.Find(id);
  if (control == nullptr) return lines;
  for (size_t i = 0; i < control->selected.size(); ++i) {
    if (control->selected[i]) lines.push_back(static_cast<int>(i));
  }
  return lines;
}

}  // namespace quivrasim
