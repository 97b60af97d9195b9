#include "search/dialog_controls.h"

#include "cue/cue_job.h"
#include "cue/staff_record.h"
#include "cue/text_object.h"
#include "host/alerts.h"
#include "host/host_ops.h"
#include "platform/dialog_items.h"
#include "resources/dialog_controls.h"
#include "resources/resource_ids.h"
#include "resources/texts.h"
#include "search/search_state.h"

namespace ostinel {

namespace {

// Cue options that stay editable outside a location in Add mode.
bool AlwaysEditableCueOption(int id) {
  switch (id) {
    case IDC_CUE_OPTIONS_GROUP:
    case IDC_INCLUDE_GROUP:
    case IDC_PERCENT_LABEL:
    case IDC_PERCENT:
    case IDC_REDUCE_LABEL:
    case IDC_SOURCE_LAYER:
    case IDC_DEST_LAYER:
    case IDC_DEST_LAYER_LABEL:
    case IDC_SOURCE_LAYER_LABEL:
      return true;
    default:
      return id >= IDC_ARTICULATIONS;
  }
}

}  // namespace

void Enable(HWND dialog, int control, bool enable) {
  QX_EnableDlgItem(dialog, static_cast<uint16_t>(control), enable ? 1 : 0);
}

void Check(HWND dialog, int control, bool checked) {
  QX_SetDlgCntlVal(dialog, static_cast<uint16_t>(control), 0, checked ? 1 : 0);
}

bool IsChecked(HWND dialog, int control) {
  return QX_GetDlgCntlVal(dialog, static_cast<uint16_t>(control), 0) != 0;
}

void SetStatus(HWND dialog, const char* text) { QX_SetDlgString(dialog, IDC_STATUS, text); }
void SetCloseCaption(HWND dialog, const char* text) { QX_SetDlgString(dialog, IDC_CLOSE, text); }
void SetCueName(HWND dialog, const char* text) { QX_SetDlgString(dialog, IDC_CUE_NAME, text); }

void SetStartCaption(HWND dialog, bool interactive) {
  QX_SetDlgString(dialog, IDC_START, interactive ? g_texts.startSearch : g_texts.start);
}

void ShowPosition(HWND dialog, int slot, int measure) {
  QX_SetDlgItemVal(dialog, IDC_STAFF_NUMBER, kQXValueInteger, slot);
  QX_SetDlgItemVal(dialog, IDC_MEASURE_NUMBER, kQXValueInteger, measure);
}

void SetControlState(HWND dialog, unsigned state) {
  const bool atLocation = (state & kAtLocation) != 0;
  bool cueOptions = (state & kCueOptions) != 0;
  const bool takeFocus = (state & kTakeFocus) != 0;
  const bool ask = IsChecked(dialog, IDC_INTERACTIVE) || g_search.proposalScore == 0;
  if (IsChecked(dialog, IDC_MODE_MARK)) cueOptions = false;

  if (atLocation) {
    Enable(dialog, IDC_CREATE, ask);
    if (ask && takeFocus) QX_SetDlgFocus(dialog, IDC_CREATE);
    Enable(dialog, IDC_START, false);
  } else {
    Enable(dialog, IDC_START, true);
    if (takeFocus) QX_SetDlgFocus(dialog, IDC_START);
    Enable(dialog, IDC_CREATE, false);
  }
  Enable(dialog, IDOK, !atLocation);
  g_searchActive = atLocation;

  if (ask && !atLocation) SetCloseCaption(dialog, g_texts.close);
  if (ask) Enable(dialog, IDC_CONTINUE, atLocation);

  Enable(dialog, IDC_SOURCE_LAYER, atLocation);
  Enable(dialog, IDC_DEST_LAYER, atLocation);
  Enable(dialog, IDC_USE_PROPOSED, atLocation && g_search.proposalScore >= 1);
  Enable(dialog, IDC_USE_SELECTION, atLocation);
  if (atLocation && g_search.proposalScore == 0) {
    Check(dialog, IDC_USE_SELECTION, true);
    Check(dialog, IDC_USE_PROPOSED, false);
  } else if (atLocation && !ask) {
    Check(dialog, IDC_USE_PROPOSED, true);
    Check(dialog, IDC_USE_SELECTION, false);
  }

  for (const int id : kDialogControlIds) {
    if (id < IDC_STAVES_LABEL || id > IDC_CLEFS) continue;
    Enable(dialog, id, cueOptions ? (atLocation || AlwaysEditableCueOption(id)) : atLocation);
  }

  if (!atLocation) {
    SetStatus(dialog, g_texts.ready);
    QX_SetDlgString(dialog, IDC_USE_PROPOSED, g_texts.proposedNone);
    SetCueName(dialog, g_texts.automatic);
  } else {
    SetStatus(dialog, ask ? g_texts.askAdd : g_texts.adding);
  }
}

void FillCueFields(HWND dialog, int proposedLayer) {
  if (proposedLayer != 0) ComboSelect(dialog, IDC_SOURCE_LAYER, proposedLayer - 1);
  ListReset(dialog, IDC_STAVES);
  const QXRegion& document = g_search.documentRegion;
  int line = 0;
  for (int slot = document.startSlot; slot <= document.endSlot; ++slot, ++line) {
    CStaffSpec staff;
    staff.LoadItem(static_cast<uint16_t>(QX_SlotToInst(static_cast<uint16_t>(slot), 0)));
    CTextObject name;
    if (staff.GetFirstName(name) != 0) staff.GetSecondName(name);
    char* plain = name.GetPlainText();
    ListAdd(dialog, IDC_STAVES, plain);
    delete[] plain;
    const auto index = static_cast<size_t>(line);
    if (index < g_cueJob.destinationStaves.size() && g_cueJob.destinationStaves[index]) {
      ListSelect(dialog, IDC_STAVES, line, true);
    }
  }
}

void RestoreUserSelection() {
  const QXRegion& saved = g_search.savedSelection;
  QX_SetCurERegion(&saved);
  if (saved.startMeasure != 0 && saved.startSlot != 0) {
    QX_ScrollTo(static_cast<uint16_t>(saved.startMeasure),
                static_cast<uint16_t>(QX_SlotToInst(static_cast<uint16_t>(saved.startSlot), saved.startList)));
  }
  QX_RedrawMusic(nullptr);
}

bool RefuseStudioView(HWND dialog) {
  uint32_t output = 0;
  QXRegion selection{};
  QXRegion document{};
  QX_GetCurERegions(&output, &selection, &document);
  if (document.startList == 0) return false;
  ShowAlert(dialog, kQXAlertError, IDS_STUDIO_VIEW);
  return true;
}

}  // namespace ostinel
