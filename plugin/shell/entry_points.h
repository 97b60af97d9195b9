// The library's load routine and the six entry points the host calls.
#pragma once

#include <cstdint>

#include "platform/windows_services.h"
#include "quivra/qx_layout.h"

// On Windows the module definition file names the exports; elsewhere they
// are the only symbols the shared library makes visible.
#if defined(_WIN32)
#define OSTINEL_EXPORT extern "C"
#else
#define OSTINEL_EXPORT extern "C" __attribute__((visibility("default")))
#endif

OSTINEL_EXPORT BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

OSTINEL_EXPORT int32_t QXAPI QuivraExtensionInit(uint32_t unused, uint32_t* word);
OSTINEL_EXPORT int32_t QXAPI QuivraExtensionEnumerate(uint32_t unused, int16_t index, QXMenuDesc* menu);
OSTINEL_EXPORT int32_t QXAPI QuivraExtensionGetMenuStatus(uint32_t unused);
OSTINEL_EXPORT uint32_t QXAPI QuivraExtensionVersion(uint32_t version);
OSTINEL_EXPORT int32_t QXAPI QuivraExtensionInvoke(HWND owner, uint32_t unused1, uint32_t unused2,
                                                    uint32_t unused3);
OSTINEL_EXPORT void QXAPI QuivraExtensionTerminate(uint32_t unused);
