// The plug-in's resources for builds that are not Windows, from the same
// definitions as the resource script.
#include "platform/windows_services.h"
#include "resources/resource_ids.h"

namespace {

const WinportString kStrings[] = {
#define OSTINEL_STRING(id, text) {id, text},
#include "resources/strings.def"
#undef OSTINEL_STRING
};

// Every control is a visible child, as the resource compiler makes it.
const WinportControl kDialogControls[] = {
#define OSTINEL_DIALOG(id, caption, cx, cy, points, face)
#define OSTINEL_CONTROL(id, cls, text, style, x, y, cx, cy) \
  {id, cls, text, static_cast<DWORD>((style) | WS_CHILD | WS_VISIBLE), x, y, cx, cy},
#include "resources/dialog102.def"
#undef OSTINEL_CONTROL
#undef OSTINEL_DIALOG
};

const WinportDialog kDialogs[] = {
#define OSTINEL_DIALOG(id, caption, cx, cy, points, face)                                         \
  {id, caption, face, points, cx, cy, static_cast<DWORD>(DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU), \
   kDialogControls, sizeof kDialogControls / sizeof kDialogControls[0]},
#define OSTINEL_CONTROL(id, cls, text, style, x, y, cx, cy)
#include "resources/dialog102.def"
#undef OSTINEL_CONTROL
#undef OSTINEL_DIALOG
};

}  // namespace

extern "C" WINPORT_EXPORT const WinportResources winport_resources = {
    kStrings, sizeof kStrings / sizeof kStrings[0], kDialogs, sizeof kDialogs / sizeof kDialogs[0]};
