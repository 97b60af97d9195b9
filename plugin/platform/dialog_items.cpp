#include "platform/dialog_items.h"

namespace ostinel {

namespace {
LRESULT Send(HWND dialog, int item, UINT message, WPARAM wParam, LPARAM lParam) {
  return SendDlgItemMessageA(dialog, item, message, wParam, lParam);
}
LPARAM TextParam(const char* text) { return reinterpret_cast<LPARAM>(text); }
}  // namespace


void ComboAdd(HWND dialog, int item, const char* text) {
  Send(dialog, item, CB_ADDSTRING, 0, TextParam(text));
}

void ComboSelect(HWND dialog, int item, int index) {
  Send(dialog, item, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int ComboSelection(HWND dialog, int item) {
  return static_cast<int>(Send(dialog, item, CB_GETCURSEL, 0, 0));
}

void ListReset(HWND dialog, int item) { Send(dialog, item, LB_RESETCONTENT, 0, 0); }

void ListAdd(HWND dialog, int item, const char* text) {
  Send(dialog, item, LB_ADDSTRING, 0, TextParam(text));
}

void ListSelect(HWND dialog, int item, int index, bool selected) {
  Send(dialog, item, LB_SETSEL, selected ? 1 : 0, index);
}

int ListSelectedItems(HWND dialog, int item, uint32_t* indices, int maxItems) {
  const LRESULT count = Send(dialog, item, LB_GETSELCOUNT, 0, 0);
  if (count <= 0 || maxItems <= 0) return 0;
  // LB_GETSELITEMS writes int-sized indices; the job keeps them as 32-bit words.
  static_assert(sizeof(int) == sizeof(uint32_t));
  Send(dialog, item, LB_GETSELITEMS, static_cast<WPARAM>(maxItems), reinterpret_cast<LPARAM>(indices));
  return static_cast<int>(count);
}

}  // namespace ostinel
