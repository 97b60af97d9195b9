// Opening a page in the user's browser, where there is a desktop to open it on.
#pragma once

#include <string>

namespace ostinel_cli {

// Asks xdg-open to show the address when a desktop (X11 or Wayland) is
// there; false when there is none or xdg-open cannot be run.
bool OpenOnDesktop(const std::string& address);

}  // namespace ostinel_cli
