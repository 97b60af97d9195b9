#include "search/dialog.h"

#include "host/host_ops.h"
#include "resources/resource_ids.h"
#include "shell/plugin_state.h"

namespace ostinel {

namespace {

int32_t OnCommand(HWND dialog, uint16_t command, uint32_t* workingFlags) {
  if (command != IDC_CLOSE) return 0;
  *workingFlags |= 0x10000;
  g_plugin.dialogOpen = 0;
  QX_EndDialog(dialog);
  return 1;
}

}  // namespace

int32_t QXAPI DialogHandler(HWND dialog, uint32_t message, uint16_t command, int32_t /*lParam*/,
                            uint32_t* workingFlags) {
  switch (message) {
    case WM_INITDIALOG:
      return 1;
    case WM_CLOSE:
    case WM_DESTROY:
      g_plugin.dialogOpen = 0;
      return 0;
    case WM_COMMAND:
      return OnCommand(dialog, command, workingFlags);
    default:
      return 0;
  }
}

}  // namespace ostinel
