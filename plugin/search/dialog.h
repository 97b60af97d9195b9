// The plug-in's dialog (resource 102): the handler the host calls for each
// message while the dialog is open.
#pragma once

#include <cstdint>

#include "quivra/qx_layout.h"

namespace ostinel {

// Nonzero while the dialog is open: set at invocation, cleared when the
// dialog is closed or destroyed.
extern int16_t g_dialogOpen;

int32_t QXAPI DialogHandler(HWND dialog, uint32_t message, uint16_t command, int32_t lParam,
                            uint32_t* workingFlags);

}  // namespace ostinel
