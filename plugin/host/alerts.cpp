#include "host/alerts.h"

#include "host/host_ops.h"

namespace ostinel {

void ShowAlert(HWND owner, QXAlertStyle style, uint32_t stringId) { QX_AlertMessage(owner, style, stringId, nullptr); }

void ShowAlert(HWND owner, QXAlertStyle style, const char* text) { QX_AlertMessage(owner, style, 0, text); }

}  // namespace ostinel
