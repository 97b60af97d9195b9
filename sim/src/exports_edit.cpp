// Host operations for undoable edits and progress runs.
#include "exports.h"

using namespace quivrasim;

uint32_t QXAPI QX_StartMassEdit(const QXRegion* region, int32_t total, uint32_t) {
  Host& host = Serve(Op::QX_StartMassEdit);
  const auto handle = static_cast<uint32_t>(host.ProgressRuns().size() + 1);
  ProgressRun run{handle, total, std::nullopt, 0, {}};
  if (region != nullptr) run.region = *region;
  host.ProgressRuns().push_back(run);
  host.NotifyProgressRun(run);
  return handle;
}

// Answers 0 when the user asks to stop.
int16_t QXAPI QX_MassEditProgress(uint32_t handle, int32_t steps, uint16_t instrument, uint16_t measure, uint16_t,
                                  uint32_t) {
  Host& host = Serve(Op::QX_MassEditProgress);
  ProgressRun* run = host.FindProgress(handle);
  if (run == nullptr || run->ended) {
    host.CountMisuse("QX_MassEditProgress on a progress run that is not running");
    return 1;
  }
  ++run->calls;
  run->reported += steps;
  run->steps.push_back(steps);
  const bool cancelled = host.ProgressShouldCancel(*run, instrument, measure);
  if (host.Fails(Op::QX_MassEditProgress) || cancelled) {
    host.FindProgress(handle)->cancelledByUser = true;
    return 0;
  }
  return 1;
}

int16_t QXAPI QX_EndMassEdit(uint32_t handle, uint16_t cancel, uint32_t) {
  Host& host = Serve(Op::QX_EndMassEdit);
  ProgressRun* run = host.FindProgress(handle);
  if (run == nullptr || run->ended) {
    host.CountMisuse("QX_EndMassEdit on a progress run that is not running");
    return 0;
  }
  run->ended = true;
  run->endCancel = cancel;
  host.NotifyProgressRun(*run);
  return 1;
}

int16_t QXAPI QX_StartQuivraEdit(const char* label, uint32_t) {
  Host& host = Serve(Op::QX_StartQuivraEdit);
  if (host.Fails(Op::QX_StartQuivraEdit)) return 0;
  return host.Doc().BeginEdit(label != nullptr ? label : "") ? 1 : 0;
}

int16_t QXAPI QX_EndQuivraEdit(uint32_t) { return Serve(Op::QX_EndQuivraEdit).Doc().EndEdit() ? 1 : 0; }

int16_t QXAPI QX_CancelQuivraEdit(uint32_t) {
  return Serve(Op::QX_CancelQuivraEdit).Doc().CancelEdit() ? 1 : 0;
}
