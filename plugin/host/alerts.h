// Every message the plug-in shows the user goes through here: a string of
// its table by id, or a text of its own, over an owner window.
#pragma once

#include <cstdint>

#include "quivra/qx_ops.h"

namespace ostinel {

void ShowAlert(HWND owner, QXAlertStyle style, uint32_t stringId);
void ShowAlert(HWND owner, QXAlertStyle style, const char* text);

}  // namespace ostinel
