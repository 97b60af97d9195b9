// The host operations, each resolved by name on the host module at its first
// call. An operation the host lacks fails with a zero result, except the five
// below that answer for themselves.
#pragma once

#include <cstdint>

#include "quivra/qx_ops.h"

#define OSTINEL_WITH_DEFAULT_VERSION(...) \
  (__VA_ARGS__ __VA_OPT__(, ) uint32_t version = kQXVersionCurrent)

namespace ostinel {

namespace hostcall {
#define OSTINEL_DECLARE_HOST_CALL(result, name, params, args) \
  result name OSTINEL_WITH_DEFAULT_VERSION params;
QX_OPERATIONS(OSTINEL_DECLARE_HOST_CALL)
#undef OSTINEL_DECLARE_HOST_CALL

}  // namespace hostcall

// Edits: the plug-in counts the host edits it has opened. Starting adds one
// (result 0 without a host call when the host lacks the operation); ending
// answers 1 without a call when none is open; cancelling does nothing then.
int16_t QX_StartQuivraEdit(const char* label, uint32_t version = kQXVersionCurrent);
int16_t QX_EndQuivraEdit(uint32_t version = kQXVersionCurrent);
int16_t QX_CancelQuivraEdit(uint32_t version = kQXVersionCurrent);
// Result 0 when the host lacks the operation.
int16_t QX_ExecuteMenuItem(uint32_t command, uint32_t version = kQXVersionCurrent);
// Four layers when the host lacks the operation.
int16_t QX_GetMaxLayers(uint32_t version = kQXVersionCurrent);

// Host edits of the plug-in that are open, as counted by starting and ending
// them (a start counts whatever the host answers); none is open below 1.
int16_t OpenEditCount();
inline bool EditOpen() { return OpenEditCount() >= 1; }

using hostcall::QX_AlertMessage;
using hostcall::QX_CreateEData;
using hostcall::QX_DeleteEData;
using hostcall::QX_DeleteEXENTRY;
using hostcall::QX_Dialog;
using hostcall::QX_EnableDlgItem;
using hostcall::QX_EndDialog;
using hostcall::QX_EndMassEdit;
using hostcall::QX_FontNameToNum;
using hostcall::QX_FreeTGF;
using hostcall::QX_GetCurERegions;
using hostcall::QX_GetDlgCntlVal;
using hostcall::QX_GetDlgItemVal;
using hostcall::QX_GetDlgString;
using hostcall::QX_GetEntryMetrics;
using hostcall::QX_GetMeasureDuration;
using hostcall::QX_GetShowLayer;
using hostcall::QX_GetTGFDuration;
using hostcall::QX_InsertEXENTRY;
using hostcall::QX_InstToSlot;
using hostcall::QX_LoadEData;
using hostcall::QX_LoadTGF;
using hostcall::QX_MassEditProgress;
using hostcall::QX_NextEData;
using hostcall::QX_ParseCaretCommand;
using hostcall::QX_RedrawMusic;
using hostcall::QX_SaveEData;
using hostcall::QX_SaveTGF;
using hostcall::QX_ScrollTo;
using hostcall::QX_SetCurERegion;
using hostcall::QX_SetDlgCntlVal;
using hostcall::QX_SetDlgFocus;
using hostcall::QX_SetDlgItemVal;
using hostcall::QX_SetDlgString;
using hostcall::QX_SlotToInst;
using hostcall::QX_StartMassEdit;

}  // namespace ostinel
