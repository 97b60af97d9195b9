#include "search/rest_measurement.h"

#include <algorithm>

#include "host/host_ops.h"
#include "host/records.h"
#include "quivra/qx_records.h"
#include "score/tempo_map.h"
#include "search/search_state.h"
#include "search/settings.h"

namespace ostinel {

namespace {

constexpr int kCuePercentMax = 80;
constexpr uint32_t kNoteFlagged = 0x20000000u;

std::vector<TEmpty> g_emptyCache;

// What stays fixed during one search.
struct GroupSlots {
  int first;
  int last;
};
std::vector<GroupSlots> g_restingGroups;  // groups that rest as one, in list order
int g_layers = 4;

// The record of (slot, measure), the cache grown to hold it; null below 1.
TEmpty* Record(int slot, int measure) {
  if (slot < 1 || measure < 1) return nullptr;
  const int staves = g_search.documentRegion.endSlot;
  const size_t index = static_cast<size_t>(measure - 1) * static_cast<size_t>(std::max(staves, 1)) +
                       static_cast<size_t>(slot);
  if (g_emptyCache.size() < index) g_emptyCache.resize(index, TEmpty{});
  return &g_emptyCache[index - 1];
}

bool IsCueSized(const QXEntry& entry) {
  if ((entry.flags & kQXEntrySpecial) == 0) return false;
  QXEntrySize size{};
  return LoadRecord(kQXTagEntrySize, QXKey::Entry(entry.number, 0), &size) && size.percent <= kCuePercentMax;
}

void MarkSecondary(int slot) {
  const int16_t instrument = QX_SlotToInst(static_cast<uint16_t>(slot), 0);
  auto& secondary = g_search.secondaryGroupStaves;
  if (instrument >= 1 && static_cast<size_t>(instrument) <= secondary.size()) secondary[instrument - 1] = true;
}

// Staves bound into a group that rests as one are measured together: the
// range grows to the whole group.
void WidenToGroups(int* first, int* last) {
  for (const GroupSlots& group : g_restingGroups) {
    const int groupFirst = group.first;
    const int groupLast = group.last;
    if (*first < groupFirst || *first > groupLast) continue;
    if (*first == groupFirst) {
      for (int slot = groupFirst + 1; slot <= groupLast; ++slot) MarkSecondary(slot);
    }
    *first = groupFirst;
    *last = std::max(*last, groupLast);
  }
}

QXRegion Stretch(int startMeasure, int endMeasure, int32_t endPosition) {
  QXRegion region = g_search.documentRegion;
  region.startMeasure = static_cast<int16_t>(startMeasure);
  region.startPos = 0;
  region.endMeasure = static_cast<int16_t>(endMeasure);
  region.endPos = endPosition;
  return region;
}

double Length(HWND window, int firstMeasure, int lastMeasure, int32_t endPosition) {
  if ((g_workingFlags & kFlagMeasures) != 0) return lastMeasure - firstMeasure + 1;
  return g_duration.GetDuration(Stretch(firstMeasure, lastMeasure, endPosition), window);
}

}  // namespace

void ResetRestMeasurement() {
  g_emptyCache.clear();
  g_layers = QX_GetMaxLayers();
  g_restingGroups.clear();
  if (!g_search.groups) return;
  for (int i = 0; i < g_search.groups->Count(); ++i) {
    const QXGroup& group = g_search.groups->At(i).group;
    if ((group.flags & (kQXGroupRestsAsOne | kQXGroupRestsAsOne2)) == 0) continue;
    g_restingGroups.push_back(GroupSlots{QX_InstToSlot(static_cast<uint16_t>(group.firstStaff), 0),
                                         QX_InstToSlot(static_cast<uint16_t>(group.lastStaff), 0)});
  }
}

bool MeasureEmpty(int slot, int measure, const TEmpty** out) {
  TEmpty* record = Record(slot, measure);
  if (out != nullptr) *out = record;
  if (record == nullptr) return false;
  if (record->known) return record->empty;

  int32_t end = 0;
  int32_t start = kUnlimited;
  record->hasCue = false;
  record->layer = -1;
  int first = slot;
  int last = slot;
  WidenToGroups(&first, &last);

  record->flaggedNote = false;
  const int layers = g_layers;
  for (int staff = first; staff <= last; ++staff) {
    const int16_t instrument = QX_SlotToInst(static_cast<uint16_t>(staff), 0);
    if (instrument < 1) continue;
    const int32_t length = QX_GetMeasureDuration(static_cast<uint16_t>(instrument), static_cast<uint16_t>(measure));
    for (int layer = 0; layer < layers; ++layer) {
      QXFrame* frame =
          QX_LoadTGF(0, static_cast<uint16_t>(staff), static_cast<uint16_t>(measure), static_cast<uint16_t>(layer), 1);
      if (frame == nullptr) continue;
      if (layer == 0 || frame->entryCount > record->entryCount) record->entryCount = frame->entryCount;
      bool notes = false;
      for (int i = 0; i < frame->entryCount; ++i) {
        const QXEntry& entry = frame->entries[i];
        if ((entry.flags & kQXEntryNote) == 0) continue;
        notes = true;
        if (!record->flaggedNote) {
          for (int n = 0; n < std::min<int>(entry.noteCount, kQXMaxNotes); ++n) {
            if ((entry.notes[n].flags & kNoteFlagged) != 0) record->flaggedNote = true;
          }
        }
        if (IsCueSized(entry)) {
          record->hasCue = true;
          record->known = true;
          record->empty = false;
        }
        const int32_t noteEnd = entry.position + entry.length;
        if (noteEnd > end) {
          end = noteEnd;
          if (end == length) end = kUnlimited;
        }
        start = std::min(start, int32_t{entry.position});
      }
      QX_FreeTGF(frame);
      if (notes) record->layer = layer;
      if (end != 0 || start < length) {
        record->known = true;
        record->empty = false;
        return false;  // the staff plays: the rest need not be read
      }
    }
  }
  if (record->layer < 0) record->layer = 0;
  record->known = true;
  if (end != 0 || start != kUnlimited) {
    record->empty = false;
    return false;
  }
  record->empty = true;
  record->lastNoteEnd = end;
  record->firstNoteStart = start;
  return true;
}

bool HasCue(int slot, int measure) {
  const TEmpty* record = (slot < 1 || measure < 1) ? nullptr : Record(slot, measure);
  return record != nullptr && record->known && record->hasCue;
}

void MarkMeasureCued(int slot, int measure, int layer) {
  TEmpty* record = Record(slot, measure);
  if (record == nullptr) return;
  *record = TEmpty{true, false, true, false, 0, 0, kUnlimited, layer};
}

double RestLength(HWND window, int slot, int startMeasure, int* lastMeasure, int* firstMeasure, Direction direction,
                  int32_t maxLength, int32_t maxEnd) {
  const QXRegion& document = g_search.documentRegion;
  if (direction == Direction::Forward) {
    const int lastOfDocument = document.endMeasure;
    *firstMeasure = startMeasure;
    for (int measure = startMeasure; measure < lastOfDocument; ++measure) {
      const bool empty = MeasureEmpty(slot, measure);
      *lastMeasure = measure - 1;
      const int stretchEnd = empty ? measure : measure - 1;
      if (empty && stretchEnd - startMeasure + 1 <= maxLength && measure <= maxEnd) continue;
      if (*lastMeasure < *firstMeasure) return 0.0;
      return Length(window, startMeasure, stretchEnd, kQXEndOfMeasure);
    }
    // The rest runs to the end of the document (its last measure unread).
    *lastMeasure = lastOfDocument;
    if (lastOfDocument <= startMeasure + 2) return 0.0;
    return Length(window, startMeasure, lastOfDocument, document.endPos);
  }

  *lastMeasure = startMeasure;
  for (int measure = startMeasure; measure >= 1; --measure) {
    const bool empty = MeasureEmpty(slot, measure);
    *firstMeasure = measure + 1;
    const int length = startMeasure - measure;
    if (empty && length <= maxLength) continue;
    if (measure == startMeasure) return 0.0;  // it plays at its own start
    return Length(window, measure + 1, startMeasure, kQXEndOfMeasure);
  }
  *firstMeasure = 1;
  if (startMeasure <= 3) return 0.0;
  return Length(window, 1, startMeasure, document.endPos);
}

}  // namespace ostinel
