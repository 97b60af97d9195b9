#include "core_probe.h"

#include <cstdlib>

#include "host/frames.h"
#include "host/host_ops.h"
#include "host/records.h"
#include "shell/texts.h"
#include "shell/window_title.h"

namespace {

// A record object of any tag whose body this object owns.
class ProbeRecord : public ostinel::CEData {
 public:
  ProbeRecord(uint32_t tag, uint32_t size) : CEData(tag, size) {
    if (size != 0) m_body = std::calloc(1, size);
  }
  ~ProbeRecord() override { std::free(m_body); }
  uint16_t CreateNew() override { return 0; }
};

ostinel::CEData* NewRecord(uint32_t tag, uint32_t size) { return new ProbeRecord(tag, size); }

const CoreProbe kProbe = {
    ostinel::LoadPluginString,
    ostinel::FindWindowByTitle,
    ostinel::QX_StartQuivraEdit,
    ostinel::QX_EndQuivraEdit,
    ostinel::QX_CancelQuivraEdit,
    ostinel::QX_ExecuteMenuItem,
    ostinel::QX_GetMaxLayers,
    ostinel::OpenEditCount,
    ostinel::QX_SlotToInst,
    ostinel::InferVersion,
    ostinel::EDataLoad,
    ostinel::EDataSave,
    ostinel::EDataCreate,
    ostinel::EDataNext,
    ostinel::AssemblePreferences,
    ostinel::NormalizeEntry,
    ostinel::FrameSave,
    ostinel::FrameInsertEntries,
    ostinel::QX_LoadTGF,
    ostinel::QX_FreeTGF,
    NewRecord,
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const CoreProbe* OstinelCoreProbe() { return &kProbe; }
