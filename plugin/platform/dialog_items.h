// Combo box and list box access through dialog item messages.
#pragma once

#include <cstdint>

#include "platform/windows_services.h"

namespace ostinel {

void ComboAdd(HWND dialog, int item, const char* text);
void ComboSelect(HWND dialog, int item, int index);
// The selected index, or -1 when nothing is selected.
int ComboSelection(HWND dialog, int item);

void ListReset(HWND dialog, int item);
void ListAdd(HWND dialog, int item, const char* text);
void ListSelect(HWND dialog, int item, int index, bool selected);
// Fills at most maxItems selected indices, in list order; returns the
// number of selected lines (0 on failure).
int ListSelectedItems(HWND dialog, int item, uint32_t* indices, int maxItems);

}  // namespace ostinel
