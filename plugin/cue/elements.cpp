#include "cue/elements.h"

#include <algorithm>
#include <vector>

#include "host/host_ops.h"
#include "host/records.h"
#include "quivra/qx_records.h"

namespace ostinel {

namespace {

// All records of an owner, read before any copy adds to them, so that a copy
// is never copied again.
template <class Record>
std::vector<Record> Incidences(uint32_t tag, uint16_t first, uint16_t second, bool triple) {
  std::vector<Record> records;
  for (uint16_t incidence = 0;; ++incidence) {
    Record record{};
    const QXKey key = triple ? QXKey::Of(first, second, incidence) : QXKey::Of(first, incidence);
    if (!LoadRecord(tag, key, &record)) break;
    records.push_back(record);
  }
  return records;
}

void DuplicateClefList(QXHold* destination, uint16_t list, uint16_t instrument, uint16_t measure) {
  QXClefChange entry{};
  QXKey sourceKey = QXKey::Of(list, 0);
  if (!LoadRecord(kQXTagClefChange, sourceKey, &entry)) return;
  QXKey newKey = QXKey::Of(kQXNew, 0);
  if (!CreateRecord(kQXTagClefChange, &newKey, entry)) return;
  const uint16_t newList = newKey.first;
  while (EDataNext(kQXTagClefChange, &sourceKey, &entry, sizeof entry) != 0 && sourceKey.first == list) {
    QXKey key = QXKey::Of(newList, sourceKey.second);
    CreateRecord(kQXTagClefChange, &key, entry);
  }
  destination->clef = newList;
  SaveRecord(kQXTagHold, QXKey::Of(instrument, measure, 0), *destination);
}

}  // namespace

void CopyClefs(uint16_t source, uint16_t destination, int first, int last) {
  for (int measure = first; measure <= last; ++measure) {
    const auto m = static_cast<uint16_t>(measure);
    QXHold from{};
    QXHold to{};
    if (!LoadRecord(kQXTagHold, QXKey::Of(source, m, 0), &from)) continue;
    if (!LoadRecord(kQXTagHold, QXKey::Of(destination, m, 0), &to)) continue;
    to.clef = from.clef;
    to.flags = from.flags;
    SaveRecord(kQXTagHold, QXKey::Of(destination, m, 0), to);
    if ((to.flags & kQXHoldClefList) != 0) DuplicateClefList(&to, from.clef, destination, m);
  }
}

void CopyChords(uint16_t source, uint16_t destination, int first, int last) {
  for (int measure = first; measure <= last; ++measure) {
    const auto m = static_cast<uint16_t>(measure);
    for (const QXChord& chord : Incidences<QXChord>(kQXTagChord, source, m, true)) {
      QXKey key = QXKey::Of(destination, m, kQXNew);
      CreateRecord(kQXTagChord, &key, chord);
    }
  }
}

void CopyExpressions(uint16_t source, uint16_t destination, int first, int last, int sourceLayer,
                     int destinationLayer) {
  for (int measure = first; measure <= last; ++measure) {
    const auto m = static_cast<uint16_t>(measure);
    for (QXMeasureExpr assignment : Incidences<QXMeasureExpr>(kQXTagMeasureExpr, m, 0, false)) {
      const int layer = assignment.flags & kQXExprLayerMask;
      if (assignment.staff != source || (layer != 0 && layer != sourceLayer + 1)) continue;
      assignment.staff = destination;
      assignment.flags = static_cast<uint16_t>((assignment.flags & ~kQXExprLayerMask) |
                                               ((destinationLayer + 1) & kQXExprLayerMask));
      QXKey key = QXKey::Of(m, kQXNew);
      CreateRecord(kQXTagMeasureExpr, &key, assignment);
    }
  }
}

void CopyMeasureSmartShapes(uint16_t source, uint16_t destination, int first, int last) {
  if (source == destination) return;
  std::vector<uint16_t> handled;
  auto seen = [&](uint16_t shape) { return std::find(handled.begin(), handled.end(), shape) != handled.end(); };
  for (int measure = first; measure <= last; ++measure) {
    const auto m = static_cast<uint16_t>(measure);
    for (uint16_t incidence = 0;; ++incidence) {
      QXShapeMeasure assignment{};
      if (!LoadRecord(kQXTagShapeMeasure, QXKey::Of(m, incidence), &assignment)) break;
      if (seen(assignment.shape)) continue;
      QXSmartShape shape{};
      if (!LoadRecord(kQXTagSmartShape, QXKey::Of(assignment.shape, 0), &shape)) continue;
      if ((shape.flags & kQXShapeEntryBound) != 0 || shape.startStaff != source) continue;
      shape.startStaff = destination;
      shape.endStaff = destination;
      handled.push_back(assignment.shape);
      QXKey key = QXKey::Of(kQXNew, 0);
      if (!CreateRecord(kQXTagSmartShape, &key, shape)) continue;
      handled.push_back(key.first);
      RegisterShapeInMeasures(key.first, shape.startMeasure, shape.endMeasure);
    }
  }
}

bool MapEntryNumber(const CueJob& job, uint32_t source, uint32_t* copy) {
  const auto found = std::find(job.sourceEntries.begin(), job.sourceEntries.end(), source);
  if (found == job.sourceEntries.end()) return false;
  const auto index = static_cast<size_t>(found - job.sourceEntries.begin());
  if (index >= job.newEntries.size()) return false;
  *copy = job.newEntries[index];
  return true;
}

void CopyEntrySmartShapes(const CueJob& job, int destinationSlot) {
  const auto source = static_cast<uint16_t>(
      QX_SlotToInst(static_cast<uint16_t>(job.source.startSlot), job.source.startList));
  const auto destination =
      static_cast<uint16_t>(QX_SlotToInst(static_cast<uint16_t>(destinationSlot), job.document.startList));
  for (const uint32_t number : job.smartShapes) {
    QXSmartShape shape{};
    if (!LoadRecord(kQXTagSmartShape, QXKey::Of(static_cast<uint16_t>(number), 0), &shape)) continue;
    if (shape.startStaff != source) continue;
    shape.startStaff = destination;
    shape.endStaff = destination;
    uint32_t start = 0;
    uint32_t end = 0;
    if (!MapEntryNumber(job, shape.startEntry, &start) || !MapEntryNumber(job, shape.endEntry, &end)) continue;
    shape.startEntry = start;
    shape.endEntry = end;
    QXKey key = QXKey::Of(kQXNew, 0);
    if (!CreateRecord(kQXTagSmartShape, &key, shape)) continue;
    RegisterShapeInMeasures(key.first, shape.startMeasure, shape.endMeasure);
    const QXEntryShapeLink link{key.first, {}};
    for (const uint32_t entry : {start, end}) {
      QXKey linkKey = QXKey::Entry(entry, kQXNew);
      CreateRecord(kQXTagEntryShapeLink, &linkKey, link);
    }
  }
}

void RegisterShapeInMeasures(uint16_t shape, int startMeasure, int endMeasure) {
  for (int measure = startMeasure; measure <= endMeasure; ++measure) {
    QXShapeMeasure assignment{shape, 0, {}};
    if (measure > startMeasure && measure < endMeasure) {
      const QXShapeSegment segment{};
      QXKey segmentKey = QXKey::Of(shape, kQXNew, 0);
      if (!CreateRecord(kQXTagShapeSegment, &segmentKey, segment)) continue;
      assignment.segment = segmentKey.second;
    }
    QXKey key = QXKey::Of(static_cast<uint16_t>(measure), kQXNew);
    CreateRecord(kQXTagShapeMeasure, &key, assignment);
  }
}

}  // namespace ostinel
