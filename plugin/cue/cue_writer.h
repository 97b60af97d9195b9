// Writing a cue: reading the job from the dialog and copying the source into
// every chosen destination staff.
#pragma once

#include <cstdint>

#include "platform/windows_services.h"

namespace ostinel {

// Reads the destination staves, layers, percentage, switches and name from
// the dialog into the cue job; 0 after an alert when no staff is chosen or a
// destination layer is not empty over the source's measures.
int ReadCueJob(HWND dialog);

// Writes the cue job into every destination staff; adds one to *created per
// staff written. 1 when every staff was written and nobody cancelled.
int CreateCue(int32_t* created);

}  // namespace ostinel
