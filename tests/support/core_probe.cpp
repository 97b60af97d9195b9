#include "core_probe.h"

#include <cstdlib>

#include <cstring>

#include "cue/cue_job.h"
#include "cue/cue_name.h"
#include "cue/elements.h"
#include "cue/staff_record.h"
#include "cue/text_object.h"
#include "host/frames.h"
#include "host/host_ops.h"
#include "host/plain_text.h"
#include "host/records.h"
#include "host/text_block_loader.h"
#include "resources/texts.h"
#include "score/tempo_map.h"
#include "search/proposal.h"
#include "search/rest_measurement.h"
#include "search/search_state.h"
#include "search/settings.h"
#include "shell/plugin_state.h"
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

// The name as the search resolves it: with the groups it made.
void ResolveCueName(char* name, int16_t instrument) {
  ostinel::ResolveCueName(name, instrument, ostinel::g_search.groups.get());
}

void CopyEntryShapes(uint16_t documentList, int sourceSlot, int destinationSlot, const uint32_t* from,
                     const uint32_t* to, int count, const uint32_t* shapes, int shapeCount) {
  ostinel::CueJob& job = ostinel::g_cueJob;
  job.source = QXRegion{0, static_cast<int16_t>(sourceSlot), 1, 0, 0, static_cast<int16_t>(sourceSlot), 1, 0};
  job.document = QXRegion{documentList, 1, 1, 0, documentList, 1, 1, 0};
  job.sourceEntries.assign(from, from + count);
  job.newEntries.assign(to, to + count);
  job.smartShapes.assign(shapes, shapes + shapeCount);
  ostinel::CopyEntrySmartShapes(job, destinationSlot);
}

int ScoreSource(int slot, int first, int last, int* start, int* end) {
  const ostinel::SourceOffer offer = ostinel::ScoreSource(nullptr, slot, first, last);
  *start = offer.start;
  *end = offer.end;
  return offer.score;
}

bool BuildTempoMap(const QXRegion& region) { return ostinel::g_duration.Build(region, nullptr); }
double Duration(const QXRegion& region) { return ostinel::g_duration.GetDuration(region, nullptr); }
double TempoAt(int32_t measure, int32_t position) { return ostinel::g_duration.GetTempoAt(measure, position); }
int TempoMapSize() { return static_cast<int>(ostinel::g_duration.Map().size()); }
void TempoMapEntry(int index, char* kind, int32_t* measure, int32_t* position, double* tempo) {
  const auto& change = ostinel::g_duration.Map()[static_cast<size_t>(index)];
  *kind = change.kind;
  *measure = change.measure;
  *position = change.position;
  *tempo = change.tempo;
}

void PrepareSearch(uint32_t workingFlags) {
  using namespace ostinel;
  g_workingFlags = workingFlags;
  uint32_t output = 0;
  QX_GetCurERegions(&output, &g_search.searchRegion, &g_search.documentRegion);
  g_search.groups = std::make_unique<TGroupList>();
  g_search.groups->Make(0);
  ResetRestMeasurement();
  g_search.secondaryGroupStaves.assign(static_cast<size_t>(g_search.documentRegion.endSlot) + 1, false);
}

bool MeasureEmpty(int slot, int measure, const ostinel::TEmpty** record) {
  return ostinel::MeasureEmpty(slot, measure, record);
}

double RestLength(int slot, int start, int* last, int* first, bool forward, int32_t maxLength, int32_t maxEnd) {
  return ostinel::RestLength(nullptr, slot, start, last, first,
                             forward ? ostinel::Direction::Forward : ostinel::Direction::Backward, maxLength, maxEnd);
}

bool SecondaryStaff(int instrument) {
  const auto& secondary = ostinel::g_search.secondaryGroupStaves;
  return instrument >= 1 && static_cast<size_t>(instrument) <= secondary.size() && secondary[instrument - 1];
}

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
    ResolveCueName,
    ostinel::FindOrCreateTextExpression,
    ostinel::PlaceCueName,
    CopyEntryShapes,
    BuildTempoMap,
    Duration,
    TempoAt,
    TempoMapSize,
    TempoMapEntry,
    PrepareSearch,
    MeasureEmpty,
    ostinel::HasCue,
    ostinel::MarkMeasureCued,
    RestLength,
    SecondaryStaff,
    ScoreSource,
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const CoreProbe* OstinelCoreProbe() { return &kProbe; }
