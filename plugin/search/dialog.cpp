#include "search/dialog.h"

#include <cstdio>

#include "cue/cue_job.h"
#include "cue/cue_name.h"
#include "host/host_ops.h"
#include "platform/dialog_items.h"
#include "resources/resource_ids.h"
#include "resources/texts.h"
#include "search/dialog_controls.h"
#include "search/search_driver.h"
#include "search/search_state.h"
#include "search/settings.h"

namespace ostinel {

int16_t g_dialogOpen = 0;

namespace {

// The controls that only Add mode uses.
const int kAddModeControls[] = {IDC_INTERACTIVE, IDC_ALLOWED, IDC_DESIRED, IDC_ALLOWED_LABEL, IDC_DESIRED_LABEL};

struct IncludeBox {
  int control;
  uint32_t flag;
  bool initially;
};

const IncludeBox kIncludeBoxes[] = {
    {IDC_ARTICULATIONS, kFlagArticulations, true}, {IDC_EXPRESSIONS, kFlagExpressions, false},
    {IDC_SMART_SHAPES, kFlagSmartShapes, false},   {IDC_CHORDS, kFlagChords, false},
    {IDC_LYRICS, kFlagLyrics, true},               {IDC_CLEFS, kFlagClefs, true},
};

void ShowNumber(HWND dialog, int control, int32_t value) {
  QX_SetDlgItemVal(dialog, static_cast<uint16_t>(control), kQXValueInteger, value);
}

void InitialiseCueFields(HWND dialog) {
  g_cueJob.dialog = dialog;
  QX_SetDlgString(dialog, IDC_PERCENT, "75");
  for (const IncludeBox& box : kIncludeBoxes) Check(dialog, box.control, box.initially);

  char format[64];
  LoadPluginString(IDS_LAYER_FORMAT, format, sizeof format);
  const int layers = QX_GetMaxLayers();
  for (int layer = 1; layer <= layers; ++layer) {
    char text[80];
    FormatText(text, sizeof text, format, layer);
    ComboAdd(dialog, IDC_DEST_LAYER, text);
    ComboAdd(dialog, IDC_SOURCE_LAYER, text);
  }
  int source = 0;
  for (int layer = 0; layer < layers; ++layer) {
    if (QX_GetShowLayer(static_cast<uint16_t>(layer)) != 0) {
      source = layer;
      break;
    }
  }
  ComboSelect(dialog, IDC_SOURCE_LAYER, source);
  ComboSelect(dialog, IDC_DEST_LAYER, layers - 1);
}

void Initialise(HWND dialog) {
  LoadSettings();
  const uint32_t flags = g_settings.flags;
  if ((flags & kFlagAddCues) == 0) {
    Check(dialog, IDC_MODE_MARK, true);
    QX_SetDlgString(dialog, IDC_START, g_texts.start);
    for (const int control : kAddModeControls) Enable(dialog, control, false);
  } else {
    Enable(dialog, IDC_ALLOWED_LABEL, true);
    Enable(dialog, IDC_DESIRED_LABEL, true);
    Check(dialog, IDC_MODE_ADD, true);
    SetStartCaption(dialog, (flags & kFlagInteractive) != 0);
    Enable(dialog, IDC_INTERACTIVE, true);
  }
  Check(dialog, IDC_INTERACTIVE, (flags & kFlagInteractive) != 0);
  Check(dialog, (flags & kFlagMeasures) != 0 ? IDC_MEASURES : IDC_SECONDS, true);

  ShowNumber(dialog, IDC_THRESHOLD, g_settings.threshold);
  ShowNumber(dialog, IDC_DESIRED, g_settings.desiredLength);
  ShowNumber(dialog, IDC_ALLOWED, g_settings.allowedLength);
  Check(dialog, IDC_USE_PROPOSED, true);
  Enable(dialog, IDC_START, true);
  SetCueName(dialog, g_texts.automatic);

  InitialiseCueFields(dialog);
  ShowNumber(dialog, IDC_PERCENT, g_cueJob.percentage);
  for (const IncludeBox& box : kIncludeBoxes) Check(dialog, box.control, (flags & box.flag) != 0);

  SetControlState(dialog, kCueOptions | kTakeFocus);
  QX_SetDlgFocus(dialog, IDC_THRESHOLD);
}

// Close while idle ends the dialog; while a search is active it stops the
// search. Either way the user's selection comes back.
void Close(HWND dialog, uint32_t* workingFlags) {
  if (!g_searchActive) {
    SaveSettings();
    *workingFlags |= kFlagDialogClosed;
    g_dialogOpen = 0;
    QX_EndDialog(dialog);
  } else {
    SetControlState(dialog, kCueOptions | kTakeFocus);
  }
  RestoreUserSelection();
}

void SelectMode(HWND dialog, bool add) {
  const int chosen = add ? IDC_MODE_ADD : IDC_MODE_MARK;
  if (IsChecked(dialog, chosen)) return;
  Check(dialog, chosen, true);
  Check(dialog, add ? IDC_MODE_MARK : IDC_MODE_ADD, false);
  SetStartCaption(dialog, add && IsChecked(dialog, IDC_INTERACTIVE));
  for (const int control : kAddModeControls) Enable(dialog, control, add);
  SetControlState(dialog, add ? kCueOptions : kIdle);
}

void UseProposedCue(HWND dialog) {
  Check(dialog, IDC_USE_SELECTION, false);
  Check(dialog, IDC_USE_PROPOSED, true);
  char name[kCueNameSize] = "";
  ResolveCueName(name, QX_SlotToInst(static_cast<uint16_t>(g_search.proposedSlot), 0), g_search.groups.get());
  SetCueName(dialog, name);
}

void UseSelection(HWND dialog) {
  Check(dialog, IDC_USE_SELECTION, true);
  Check(dialog, IDC_USE_PROPOSED, false);
  SetCueName(dialog, g_texts.automatic);
}

void InteractiveChanged(HWND dialog) {
  if (IsChecked(dialog, IDC_INTERACTIVE)) {
    QX_SetDlgString(dialog, IDC_START, g_texts.startSearch);
    return;
  }
  Check(dialog, IDC_USE_SELECTION, false);
  Check(dialog, IDC_USE_PROPOSED, true);
  SetCueName(dialog, g_texts.automatic);
  QX_SetDlgString(dialog, IDC_START, g_texts.start);
}

int32_t OnCommand(HWND dialog, uint16_t command, uint32_t* workingFlags) {
  switch (command) {
    case IDC_START:
    case IDOK:
    case IDC_CONTINUE:
    case IDC_CREATE:
    case IDC_CLOSE:
      if (RefuseStudioView(dialog)) return 1;
      break;
    default:
      break;
  }
  switch (command) {
    case IDC_START:
    case IDOK:
    case IDC_CONTINUE:
      ReadBackSettings(dialog, workingFlags);
      if (!ValidateSettings(dialog)) return 1;
      if (command == IDC_CONTINUE && SearchExists()) {
        SearchContinue(dialog);
      } else {
        SearchStart(dialog, command == IDC_START);
      }
      return 1;
    case IDC_CREATE:
      ReadBackSettings(dialog, workingFlags);
      if (SearchCreate(dialog)) SearchPass(dialog, false);
      return 1;
    case IDC_CLOSE:
      Close(dialog, workingFlags);
      return 1;
    case IDC_MODE_MARK:
      if (g_dialogShown) SelectMode(dialog, false);
      return 1;
    case IDC_MODE_ADD:
      SelectMode(dialog, true);
      return 1;
    case IDC_USE_PROPOSED:
      UseProposedCue(dialog);
      return 1;
    case IDC_USE_SELECTION:
      UseSelection(dialog);
      return 1;
    case IDC_MEASURES:
    case IDC_SECONDS:
      Check(dialog, command, true);
      Check(dialog, command == IDC_MEASURES ? IDC_SECONDS : IDC_MEASURES, false);
      return 1;
    case IDC_INTERACTIVE:
      InteractiveChanged(dialog);
      return 1;
    default:
      return 0;
  }
}

}  // namespace

int32_t QXAPI DialogHandler(HWND dialog, uint32_t message, uint16_t command, int32_t /*lParam*/,
                            uint32_t* workingFlags) {
  switch (message) {
    case WM_SHOWWINDOW:
      g_dialogShown = true;
      return 0;
    case WM_CLOSE:
    case WM_DESTROY:
      g_dialogOpen = 0;
      g_dialogShown = false;
      SearchRelease();
      return 0;
    case WM_INITDIALOG:
      Initialise(dialog);
      return 1;
    case WM_COMMAND:
      return OnCommand(dialog, command, workingFlags);
    default:
      return 0;
  }
}

}  // namespace ostinel
