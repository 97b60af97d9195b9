// Quivra plug-in SDK: the host operations, exported by the host executable
// under these names. Each operation takes a final 32-bit version word.
//
// QX_OPERATIONS(X) calls X(result, name, parameters, arguments) once per
// operation, parameters and arguments without the version word.
#pragma once

#include "quivra/qx_layout.h"

// The icon of an alert (QX_AlertMessage's style), as the message box flags give it.
enum QXAlertStyle : uint16_t {
  kQXAlertPlain = 0,
  kQXAlertError = 16,
  kQXAlertWarning = 48,
  kQXAlertInformation = 64,
};

#define QX_OPERATIONS(X)                                                                             \
  X(int16_t, QX_AlertMessage, (HWND owner, uint16_t style, uint32_t stringId, const char* text),     \
    (owner, style, stringId, text))                                                                  \
  X(int32_t, QX_Dialog,                                                                              \
    (uint16_t resourceId, QXDialogProc handler, HWND owner, uint16_t zero, uint32_t* userData),      \
    (resourceId, handler, owner, zero, userData))                                                    \
  X(int16_t, QX_EndDialog, (HWND dialog), (dialog))                                                  \
  X(int16_t, QX_EnableDlgItem, (HWND dialog, uint16_t item, uint16_t enable), (dialog, item, enable)) \
  X(int16_t, QX_SetDlgFocus, (HWND dialog, uint16_t item), (dialog, item))                           \
  X(int32_t, QX_GetDlgCntlVal, (HWND dialog, uint16_t item, uint16_t zero), (dialog, item, zero))    \
  X(int16_t, QX_SetDlgCntlVal, (HWND dialog, uint16_t item, uint16_t zero, int32_t value),           \
    (dialog, item, zero, value))                                                                     \
  X(int32_t, QX_GetDlgItemVal, (HWND dialog, uint16_t item, uint16_t kind), (dialog, item, kind))    \
  X(int16_t, QX_SetDlgItemVal, (HWND dialog, uint16_t item, uint16_t kind, int32_t value),           \
    (dialog, item, kind, value))                                                                     \
  X(int16_t, QX_GetDlgString, (HWND dialog, uint16_t item, char* buffer, uint16_t size),             \
    (dialog, item, buffer, size))                                                                    \
  X(int16_t, QX_SetDlgString, (HWND dialog, uint16_t item, const char* text), (dialog, item, text))  \
  X(int16_t, QX_GetCurERegions, (uint32_t * output, QXRegion * selection, QXRegion * document),      \
    (output, selection, document))                                                                   \
  X(int16_t, QX_SetCurERegion, (const QXRegion* region), (region))                                   \
  X(int16_t, QX_RedrawMusic, (const QXRegion* region), (region))                                     \
  X(int16_t, QX_ScrollTo, (uint16_t measure, uint16_t instrument), (measure, instrument))            \
  X(int16_t, QX_SlotToInst, (uint16_t slot, uint16_t list), (slot, list))                            \
  X(int16_t, QX_InstToSlot, (uint16_t instrument, uint16_t list), (instrument, list))                \
  X(int16_t, QX_GetMaxLayers, (), ())                                                                \
  X(int16_t, QX_GetShowLayer, (uint16_t layer), (layer))                                             \
  X(QXFrame*, QX_LoadTGF,                                                                            \
    (uint16_t list, uint16_t slot, uint16_t measure, uint16_t layer, uint16_t mode),                 \
    (list, slot, measure, layer, mode))                                                              \
  X(int16_t, QX_FreeTGF, (QXFrame * frame), (frame))                                                 \
  X(int16_t, QX_SaveTGF, (QXFrame * frame), (frame))                                                 \
  X(int32_t, QX_GetTGFDuration, (QXFrame * frame), (frame))                                          \
  X(int16_t, QX_InsertEXENTRY, (QXFrame * frame, uint16_t index, uint16_t count),                    \
    (frame, index, count))                                                                           \
  X(int16_t, QX_DeleteEXENTRY, (QXFrame * frame, uint16_t index, uint16_t count),                    \
    (frame, index, count))                                                                           \
  X(int16_t, QX_LoadEData, (uint32_t tag, QXKey * key, void* buffer, uint32_t* size),                \
    (tag, key, buffer, size))                                                                        \
  X(int16_t, QX_SaveEData, (uint32_t tag, QXKey * key, const void* buffer, uint32_t size),           \
    (tag, key, buffer, size))                                                                        \
  X(int16_t, QX_CreateEData, (uint32_t tag, QXKey * key, const void* buffer, uint32_t size),         \
    (tag, key, buffer, size))                                                                        \
  X(int16_t, QX_DeleteEData, (uint32_t tag, QXKey * key), (tag, key))                                \
  X(int16_t, QX_NextEData, (uint32_t tag, QXKey * key, void* buffer, uint32_t size),                 \
    (tag, key, buffer, size))                                                                        \
  X(int32_t, QX_GetMeasureDuration, (uint16_t instrument, uint16_t measure), (instrument, measure))  \
  X(uint32_t, QX_StartMassEdit, (const QXRegion* region, int32_t total), (region, total))            \
  X(int16_t, QX_MassEditProgress,                                                                    \
    (uint32_t handle, int32_t steps, uint16_t instrument, uint16_t measure, uint16_t flags),         \
    (handle, steps, instrument, measure, flags))                                                     \
  X(int16_t, QX_EndMassEdit, (uint32_t handle, uint16_t cancel), (handle, cancel))                   \
  X(int16_t, QX_StartQuivraEdit, (const char* label), (label))                                       \
  X(int16_t, QX_EndQuivraEdit, (), ())                                                               \
  X(int16_t, QX_CancelQuivraEdit, (), ())                                                            \
  X(int16_t, QX_ExecuteMenuItem, (uint32_t command), (command))                                      \
  X(int16_t, QX_FontNameToNum, (const char* name), (name))                                           \
  X(const char*, QX_ParseCaretCommand, (const char* text, uint32_t tag, QXFontInfo* font),           \
    (text, tag, font))                                                                               \
  X(int16_t, QX_GetEntryMetrics,                                                                     \
    (uint16_t instrument, uint16_t measure, uint32_t entry, QXEntryMetrics * metrics,                \
     QXStaffMetrics * staff, uint16_t mode),                                                         \
    (instrument, measure, entry, metrics, staff, mode))

// Appends the version word to a parameter list: QX_WITH_VERSION(int a) is
// (int a, uint32_t version).
#define QX_WITH_VERSION(...) (__VA_ARGS__ __VA_OPT__(, ) uint32_t version)
#define QX_WITH_VERSION_ARG(...) (__VA_ARGS__ __VA_OPT__(, ) version)

// The function type of each operation, QX_LoadEData_fn and so on.
#define QX_DECLARE_FUNCTION_TYPE(result, name, params, args) \
  typedef result(QXAPI* name##_fn) QX_WITH_VERSION params;
QX_OPERATIONS(QX_DECLARE_FUNCTION_TYPE)
#undef QX_DECLARE_FUNCTION_TYPE

// Menu command the plug-in asks the host to run before it offers a location.
inline constexpr uint32_t kQXMenuShowSelection = 33017;
