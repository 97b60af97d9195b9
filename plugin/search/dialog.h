// The plug-in's dialog (resource 102): the handler the host calls for each
// message while the dialog is open.
#pragma once

#include <cstdint>

#include "quivra/qx_layout.h"

namespace ostinel {

int32_t QXAPI DialogHandler(HWND dialog, uint32_t message, uint16_t command, int32_t lParam,
                            uint32_t* workingFlags);

}  // namespace ostinel
