#include "host/host_ops.h"

#include <cstring>

#include "host/host_module.h"

namespace ostinel {

namespace {

enum HostOpIndex {
#define OSTINEL_HOST_OP_INDEX(result, name, params, args) kOp_##name,
  QX_OPERATIONS(OSTINEL_HOST_OP_INDEX)
#undef OSTINEL_HOST_OP_INDEX
      kHostOpCount
};

const char* const kHostOpNames[kHostOpCount] = {
#define OSTINEL_HOST_OP_NAME(result, name, params, args) #name,
    QX_OPERATIONS(OSTINEL_HOST_OP_NAME)
#undef OSTINEL_HOST_OP_NAME
};

// One entry per operation: resolution is tried once, at the first call, and a
// failed resolution is not retried.
struct HostOp {
  bool resolved;
  FARPROC address;
};
HostOp g_hostOps[kHostOpCount];

int16_t g_editCount = 0;

FARPROC Address(HostOpIndex index) {
  HostOp& op = g_hostOps[index];
  if (!op.resolved) {
    op.resolved = true;
    HMODULE host = HostModule();
    op.address = host != nullptr ? GetProcAddress(host, kHostOpNames[index]) : nullptr;
  }
  return op.address;
}

template <class Fn>
Fn Function(HostOpIndex index) {
  // Through a plain function pointer type, which converts to any other.
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(Address(index)));
}

// The result of an operation the host lacks.
template <class Result>
Result Failed() {
  return Result{};
}

}  // namespace

namespace hostcall {

#define OSTINEL_DEFINE_HOST_CALL(result, name, params, args)                     \
  result name QX_WITH_VERSION params {                                           \
    const auto function = Function<name##_fn>(kOp_##name);                       \
    return function != nullptr ? function QX_WITH_VERSION_ARG args : Failed<result>(); \
  }
QX_OPERATIONS(OSTINEL_DEFINE_HOST_CALL)
#undef OSTINEL_DEFINE_HOST_CALL

}  // namespace hostcall

int16_t QX_StartQuivraEdit(const char* label, uint32_t version) {
  ++g_editCount;
  const auto start = Function<QX_StartQuivraEdit_fn>(kOp_QX_StartQuivraEdit);
  return start != nullptr ? start(label, version) : 0;
}

int16_t QX_EndQuivraEdit(uint32_t version) {
  if (g_editCount < 1) return 1;
  --g_editCount;
  const auto end = Function<QX_EndQuivraEdit_fn>(kOp_QX_EndQuivraEdit);
  return end != nullptr ? end(version) : 1;
}

int16_t QX_CancelQuivraEdit(uint32_t version) {
  if (g_editCount <= 0) return 0;
  --g_editCount;
  const auto cancel = Function<QX_CancelQuivraEdit_fn>(kOp_QX_CancelQuivraEdit);
  return cancel != nullptr ? cancel(version) : 0;
}

int16_t QX_ExecuteMenuItem(uint32_t command, uint32_t version) {
  const auto execute = Function<QX_ExecuteMenuItem_fn>(kOp_QX_ExecuteMenuItem);
  return execute != nullptr ? execute(command, version) : 0;
}

int16_t QX_GetMaxLayers(uint32_t version) {
  const auto maxLayers = Function<QX_GetMaxLayers_fn>(kOp_QX_GetMaxLayers);
  return maxLayers != nullptr ? maxLayers(version) : 4;
}

int16_t OpenEditCount() { return g_editCount; }

}  // namespace ostinel
