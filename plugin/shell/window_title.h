// Finding a top-level window by its title.
#pragma once

#include "platform/windows_services.h"

namespace ostinel {

// Walks the top-level windows from the foreground one down the z-order, then
// up, then down again, and returns the first window whose text equals title
// exactly (as far as 199 characters of it can be read); null after the third
// pass.
HWND FindWindowByTitle(const char* title);

}  // namespace ostinel
