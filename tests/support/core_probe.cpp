#include "core_probe.h"

#include <cstdlib>

#include <cstring>

#include "cue/cue_name.h"
#include "cue/plain_text.h"
#include "cue/staff_spec.h"
#include "cue/text_block_loader.h"
#include "cue/text_object.h"
#include "host/frames.h"
#include "host/host_ops.h"
#include "host/records.h"
#include "shell/texts.h"
#include "search/search_state.h"
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

void CopyOut(const char* text, char* out, size_t size) {
  std::strncpy(out, text, size - 1);
  out[size - 1] = '\0';
}

int StaffName(uint16_t instrument, int which, char* out, size_t size) {
  ostinel::CStaffSpec staff;
  staff.LoadItem(instrument);
  ostinel::CTextObject text;
  const int result = which == 1 ? staff.GetFirstName(text) : staff.GetSecondName(text);
  char* plain = text.GetPlainText();
  CopyOut(plain, out, size);
  delete[] plain;
  return result;
}

bool FontOfCommand(const char* text, int index, QXFontInfo* font) {
  ostinel::CTextObject object;
  object.SetText(text);
  return object.FontOfCommand(index, font);
}

uint16_t CreateRawText(const char* text) {
  ostinel::CTextObject object;
  object.SetText(text);
  return object.CreateNew();
}

uint16_t NextTextBlock(uint16_t from, char* out, size_t size) {
  ostinel::CTextObject object;
  object.LoadItem(from);
  if (!object.LoadNext()) return 0;
  CopyOut(object.Text(), out, size);
  return object.Number();
}

int MakeGroups(uint16_t staffList) {
  ostinel::g_search.groups = std::make_unique<ostinel::TGroupList>();
  ostinel::g_search.groups->Make(staffList);
  return ostinel::g_search.groups->Count();
}

const ostinel::TGroupRec* Group(int index) { return &ostinel::g_search.groups->At(index); }

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
    ostinel::PlainTextCopy,
    ostinel::PlainTextInPlace,
    ostinel::LoadTextBlock,
    StaffName,
    FontOfCommand,
    CreateRawText,
    NextTextBlock,
    MakeGroups,
    Group,
    ostinel::ResolveCueName,
    ostinel::FindOrCreateTextExpression,
    ostinel::PlaceCueName,
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const CoreProbe* OstinelCoreProbe() { return &kProbe; }
