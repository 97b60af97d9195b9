#include "cue/cue_job.h"

#include "host/host_ops.h"

namespace ostinel {

CueJob g_cueJob;

void InitCueJob() { g_cueJob.destinationLayer = static_cast<uint16_t>(QX_GetMaxLayers() - 1); }

}  // namespace ostinel
