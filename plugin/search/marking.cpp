#include "search/marking.h"

#include <cstring>

#include "cue/text_object.h"
#include "host/host_ops.h"
#include "host/records.h"
#include "host/text_block_loader.h"
#include "quivra/qx_records.h"
#include "resources/texts.h"
#include "search/search_state.h"
#include "search/settings.h"

namespace ostinel {

namespace {

constexpr int kMarkerTextSize = 1024;

bool MarkerPresent(uint16_t instrument, uint16_t measure, const char* text) {
  for (uint16_t incidence = 0;; ++incidence) {
    QXMeasureText assignment{};
    if (!LoadRecord(kQXTagMeasureText, QXKey::Of(instrument, measure, incidence), &assignment)) return false;
    if (std::strcmp(LoadTextBlock(assignment.block, false), text) == 0) return true;
  }
}

void AttachMarker(uint16_t instrument, uint16_t measure, const char* text) {
  CTextObject block;
  block.SetText(text);
  const uint16_t raw = block.CreateNew();
  if (raw == 0) return;
  QXTextBlock record{};
  record.rawText = raw;
  QXKey blockKey = QXKey::Of(kQXNew, 0);
  if (!CreateRecord(kQXTagTextBlock, &blockKey, record)) return;
  const QXMeasureText assignment{blockKey.first, {0, 70, 0, 1}};
  QXKey key = QXKey::Of(instrument, measure, kQXNew);
  CreateRecord(kQXTagMeasureText, &key, assignment);
}

}  // namespace

void MarkLocation() {
  const int16_t instrument = QX_SlotToInst(static_cast<uint16_t>(g_search.currentSlot), 0);
  if (instrument < 1) return;
  char text[kMarkerTextSize];
  const bool measures = (g_workingFlags & kFlagMeasures) != 0;
  FormatText(text, sizeof text, measures ? g_texts.markerMeasures : g_texts.markerSeconds, g_search.restLength);

  const auto measure = static_cast<uint16_t>(g_search.restEnd);
  if (!MarkerPresent(static_cast<uint16_t>(instrument), measure, text)) {
    AttachMarker(static_cast<uint16_t>(instrument), measure, text);
  }
  unsigned char spec[kQXMeasureSpecOldSize];
  if (LoadRecord(kQXTagMeasureSpec, QXKey::Of(measure, 0), &spec)) {
    QXMeasureSpec fields{};
    std::memcpy(&fields, spec, sizeof spec);
    if ((fields.flags & kQXMeasureHasText) == 0) {
      fields.flags |= kQXMeasureHasText;
      std::memcpy(spec, &fields, sizeof spec);
      SaveRecord(kQXTagMeasureSpec, QXKey::Of(measure, 0), spec);
    }
  }
  ++g_search.markedCount;
}

}  // namespace ostinel
