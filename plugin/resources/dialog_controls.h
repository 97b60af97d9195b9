// The control ids of dialog 102, in template order.
#pragma once

#include "platform/windows_services.h"
#include "resources/resource_ids.h"

namespace ostinel {

inline constexpr int kDialogControlIds[] = {
#define OSTINEL_DIALOG(id, caption, cx, cy, points, face)
#define OSTINEL_CONTROL(id, cls, text, style, x, y, cx, cy) id,
#include "resources/dialog102.def"
#undef OSTINEL_CONTROL
#undef OSTINEL_DIALOG
};

}  // namespace ostinel
