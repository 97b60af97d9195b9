// The host operations this host exports, declared from the SDK's list so that
// every definition must match the SDK's signature. Tests may call them to
// act on the document as the host itself would.
#pragma once

#include "quivra/qx_ops.h"

#define QUIVRASIM_EXPORT extern "C" __attribute__((visibility("default")))

#define QUIVRASIM_DECLARE_EXPORT(result, name, params, args) \
  QUIVRASIM_EXPORT result QXAPI name QX_WITH_VERSION params;
QX_OPERATIONS(QUIVRASIM_DECLARE_EXPORT)
#undef QUIVRASIM_DECLARE_EXPORT
