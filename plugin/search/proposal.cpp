#include "search/proposal.h"

#include <algorithm>

#include "cue/cue_name.h"
#include "host/host_ops.h"
#include "resources/resource_ids.h"
#include "resources/texts.h"
#include "score/tempo_map.h"
#include "search/dialog_controls.h"
#include "search/rest_measurement.h"
#include "search/search_state.h"
#include "search/settings.h"

namespace ostinel {

namespace {

constexpr int kNone = -1;

// The source must play in one of the rest's last measures.
constexpr int kSourceReach = 4;
// In Seconds mode: the desired start and the floor, in measures before the source's end.
constexpr int kSecondsDesiredReach = 5;
constexpr int kSecondsFloorReach = 10;
// The proposal's terms.
constexpr int kCleanStartBonus = 10;
constexpr int kDesiredLengthBonus = 10;
constexpr int kSilentAtReEntryBonus = 10;
constexpr int kNearReEntryBonus = 10;
constexpr int kNearReEntryMeasures = 10;  // a start closer than this to the rest end
constexpr int kPerMeasureNearerEnd = 2;   // for each measure the source plays nearer the rest end
constexpr int kLengthAllowance = 20;      // less the cue's length
constexpr int kPerEntry = 3;              // in each measure, up to...
constexpr int kMostPerMeasure = 20;

bool Silent(int slot, int measure) { return MeasureEmpty(slot, measure) || HasCue(slot, measure); }

const TEmpty& Figures(int slot, int measure) {
  static const TEmpty kNothing{};
  const TEmpty* record = nullptr;
  MeasureEmpty(slot, measure, &record);
  return record != nullptr ? *record : kNothing;
}

double Seconds(HWND dialog, int from, int to) {
  const QXRegion region{0, 0, static_cast<int16_t>(from), 0, 0, 0, static_cast<int16_t>(to), kQXEndOfMeasure};
  return g_duration.GetDuration(region, dialog);
}

}  // namespace

SourceOffer ScoreSource(HWND dialog, int slot, int first, int last) {
  const bool measures = (g_workingFlags & kFlagMeasures) != 0;
  const int desired = g_settings.desiredLength;
  const int allowed = g_settings.allowedLength;

  // The source must play, without cue notes, in one of the last four measures.
  int end = last;
  while (Silent(slot, end)) {
    if (last - end >= kSourceReach) break;
    if (end <= first) return SourceOffer{0, 0, 0, 0};
    --end;
  }
  if (last - end >= kSourceReach) return SourceOffer{0, 0, 0, 0};

  int desiredStart = measures ? end - desired + 1 : std::max(end - kSecondsDesiredReach, 1);
  int floor = measures ? end - allowed + 1 : end - kSecondsFloorReach;
  floor = std::max(floor, first);
  desiredStart = std::max(desiredStart, floor);

  // A measure whose music is tied over from before is a poor place to start.
  const TEmpty& atEnd = Figures(slot, end);
  int clean = atEnd.flaggedNote ? kNone : end;
  int fallback = atEnd.flaggedNote && atEnd.entryCount == 1 ? kNone : end;
  int start = end;
  for (;;) {
    if ((start <= desiredStart && clean != kNone) || start <= floor) break;
    if (Silent(slot, start - 1)) break;
    --start;
    if (!measures) {
      const double seconds = Seconds(dialog, start, end);
      if ((seconds > desired && clean != kNone) || seconds > allowed) break;
    }
    const TEmpty& record = Figures(slot, start);
    if (!record.flaggedNote) clean = start;
    if (!(record.flaggedNote && record.entryCount <= 1)) fallback = start;
  }

  int score = 0;
  if (clean != kNone) {
    start = clean;
    score += kCleanStartBonus;
  } else if (fallback != kNone) {
    start = fallback;
  }
  const int length = end - start + 1;
  if (length <= desired) score += kDesiredLengthBonus;
  if (MeasureEmpty(slot, last + 1)) score += kSilentAtReEntryBonus;
  if (last - start < kNearReEntryMeasures) score += kNearReEntryBonus;
  score += kPerMeasureNearerEnd * (kSourceReach - (last - end));
  score += kLengthAllowance - length;
  int layer = QX_GetMaxLayers() - 1;
  for (int measure = start; measure <= end; ++measure) {
    const TEmpty& record = Figures(slot, measure);
    score += std::min(kPerEntry * record.entryCount, kMostPerMeasure);
    layer = std::min(layer, record.layer);
  }
  return SourceOffer{score, start, end, layer};
}

void Propose(HWND dialog, int first, int last) {
  g_search.proposalScore = 0;
  for (int slot = 1; slot <= g_search.documentRegion.endSlot; ++slot) {
    const SourceOffer candidate = ScoreSource(dialog, slot, first, last);
    if (candidate.score <= g_search.proposalScore) continue;  // ties keep the earlier staff
    g_search.proposalScore = candidate.score;
    g_search.proposedSlot = slot;
    g_search.proposedFirstMeasure = candidate.start;
    g_search.proposedLength = candidate.end - candidate.start + 1;
    g_search.proposedLayer = candidate.layer;
  }

  if (g_search.proposalScore == 0) {
    QX_SetDlgString(dialog, IDC_USE_PROPOSED, g_texts.proposedNone);
    return;
  }
  char name[100] = "";
  ResolveCueName(name, QX_SlotToInst(static_cast<uint16_t>(g_search.proposedSlot), 0), g_search.groups.get());
  SetCueName(dialog, IsChecked(dialog, IDC_USE_PROPOSED) ? name : g_texts.automatic);
  char caption[256];
  FormatText(caption, sizeof caption, g_texts.proposedFormat, name, g_search.proposedFirstMeasure,
             g_search.proposedFirstMeasure + g_search.proposedLength - 1);
  QX_SetDlgString(dialog, IDC_USE_PROPOSED, caption);
}

}  // namespace ostinel
