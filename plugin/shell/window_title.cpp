#include "shell/window_title.h"

#include <cstring>

namespace ostinel {

HWND FindWindowByTitle(const char* title) {
  UINT direction = GW_HWNDNEXT;
  int passes = 0;
  HWND window = GetForegroundWindow();
  for (;;) {
    window = GetWindow(window, direction);
    while (!IsWindow(window)) {
      // End of the z-order: turn round and start again from the foreground.
      direction = direction == GW_HWNDNEXT ? GW_HWNDPREV : GW_HWNDNEXT;
      window = GetForegroundWindow();
      if (++passes >= 3) return nullptr;
      if (IsWindow(window)) break;
      window = GetWindow(window, direction);
    }
    char text[200];
    text[0] = '\0';
    GetWindowTextA(window, text, sizeof text);
    text[sizeof text - 1] = '\0';
    if (std::strcmp(text, title) == 0) return window;
  }
}

}  // namespace ostinel
