#include "host/alerts.h"
#include "host/host_ops.h"
#include "resources/resource_ids.h"
#include "resources/texts.h"
#include "search/dialog.h"
#include "search/search_state.h"
#include "search/settings.h"
#include "shell/entry_points.h"
#include "shell/plugin_state.h"
#include "shell/window_title.h"

using namespace ostinel;

int32_t QXAPI QuivraExtensionInvoke(HWND owner, uint32_t /*unused1*/, uint32_t /*unused2*/,
                                    uint32_t /*unused3*/) {
  // A set flag without the dialog's window is stale (the dialog went away
  // without telling us); only a live window refuses the invocation.
  if (g_dialogOpen != 0 && FindWindowByTitle(g_texts.title) != nullptr) return 0;
  g_dialogOpen = 1;

  uint32_t output = 0;
  QX_GetCurERegions(&output, &g_search.savedSelection, &g_plugin.documentRegion);
  if (g_plugin.documentRegion.startList != 0) {
    ShowAlert(owner, kQXAlertError, IDS_STUDIO_VIEW);
    g_dialogOpen = 0;
    return 0;
  }

  QX_Dialog(IDD_OSTINEL, DialogHandler, owner, 0, &g_workingFlags);
  return 0;
}
