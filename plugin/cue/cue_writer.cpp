#include "cue/cue_writer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cue/cue_job.h"
#include "cue/cue_name.h"
#include "cue/elements.h"
#include "host/alerts.h"
#include "host/frames.h"
#include "host/host_ops.h"
#include "host/host_text.h"
#include "host/records.h"
#include "host/write_journal.h"
#include "platform/dialog_items.h"
#include "quivra/qx_records.h"
#include "resources/resource_ids.h"
#include "resources/texts.h"

namespace ostinel {

namespace {

constexpr const char* kCouldNotCreate =
    "Cue notes could not be created. It is possible that you have reached Quivra's maximum amount of measures "
    "with notes.";
constexpr int32_t kRangeOpenEnd = 0x7FFFFF9B;
constexpr uint32_t kRestFlags = 0x81000000u;
constexpr int kMaxRests = 50;

uint16_t DocumentList() { return g_cueJob.document.startList; }

QXFrame* LoadDestination(int slot, int measure, int layer) {
  return QX_LoadTGF(DocumentList(), static_cast<uint16_t>(slot), static_cast<uint16_t>(measure),
                    static_cast<uint16_t>(layer), 0);
}

// What the copy into one staff wrote, so that a copy that fails half way can
// be taken back: the entries each frame held before (the records written are
// kept by the write journal), and the measures copied.
struct StaffWrites {
  struct Frame {
    int measure;
    int layer;
    std::vector<uint32_t> before;  // the numbers of the entries it held
  };
  std::vector<Frame> frames;
  std::vector<std::pair<int, int>> measures;  // (slot, measure)

  // Notes a frame before its first change.
  void Touch(const QXFrame* frame, int measure, int layer) {
    for (const Frame& known : frames) {
      if (known.measure == measure && known.layer == layer) return;
    }
    Frame noted{measure, layer, {}};
    for (int i = 0; frame != nullptr && i < frame->entryCount; ++i) {
      const uint32_t number = frame->entries[i].number;  // packed: copied before it is bound to a reference
      noted.before.push_back(number);
    }
    frames.push_back(noted);
  }

  // Removes the entries the copy added, newest frames first.
  void Rollback(int slot) const {
    for (auto frame = frames.rbegin(); frame != frames.rend(); ++frame) {
      QXFrame* loaded = LoadDestination(slot, frame->measure, frame->layer);
      if (loaded == nullptr) continue;
      bool changed = false;
      for (int i = loaded->entryCount - 1; i >= 0; --i) {
        const uint32_t number = loaded->entries[i].number;
        if (std::find(frame->before.begin(), frame->before.end(), number) != frame->before.end()) continue;
        changed = FrameDeleteEntries(loaded, static_cast<uint16_t>(i), 1) != 0 || changed;
      }
      if (changed) FrameSave(loaded);
      QX_FreeTGF(loaded);
    }
  }
};

// The record copies of one entry detail tag, by incidence.
void CopyDetails(uint32_t tag, uint32_t size, uint32_t from, uint32_t to) {
  unsigned char record[32];
  for (uint16_t incidence = 0;; ++incidence) {
    QXKey key = QXKey::Entry(from, incidence);
    uint32_t capacity = size;
    if (EDataLoad(tag, &key, record, &capacity) == 0) break;
    QXKey target = QXKey::Entry(to, incidence);
    EDataSave(tag, &target, record, size);
  }
}

void DeleteDetails(uint32_t tag, uint32_t entry) {
  for (;;) {
    QXKey key = QXKey::Entry(entry, 0);
    if (EDataDelete(tag, &key) == 0) break;
  }
}

void CollectSmartShapes(uint32_t entry, CueJob& job) {
  for (uint16_t incidence = 0;; ++incidence) {
    QXEntryShapeLink link{};
    if (!LoadRecord(kQXTagEntryShapeLink, QXKey::Entry(entry, incidence), &link)) break;
    if (std::find(job.smartShapes.begin(), job.smartShapes.end(), link.shape) == job.smartShapes.end()) {
      job.smartShapes.push_back(link.shape);
    }
  }
}

void CopyEntryDetails(const QXEntry& source, const QXEntry& copy, CueJob& job) {
  const uint32_t from = source.number;
  const uint32_t to = copy.number;
  if ((source.flags & kQXEntryArticulations) != 0 && job.includeArticulations != 0) {
    CopyDetails(kQXTagArticulation, 10, from, to);
  }
  if ((source.flags & kQXEntryStemRecord) != 0) CopyDetails(kQXTagStemAdjust, 10, from, to);
  if ((source.flags & kQXEntryBeamRecords) != 0) {
    for (const uint32_t tag : {kQXTagBeamST, kQXTagBeamSt, kQXTagBeamBL, kQXTagBeamBH, kQXTagBeambL, kQXTagBeambH,
                               kQXTagBeamSU, kQXTagBeamsl}) {
      CopyDetails(tag, 10, from, to);
    }
  }
  if ((source.flags & kQXEntryDynamics) != 0) {
    CopyDetails(kQXTagDynamicsDE, 10, from, to);
    CopyDetails(kQXTagDynamicsUE, 10, from, to);
  }
  if ((copy.flags & kQXEntryTupletPart) != 0) {
    CopyDetails(kQXTagTupletStart, 10, from, to);
    CopyDetails(kQXTagTupletEnd, 10, from, to);
  } else {
    DeleteDetails(kQXTagTupletStart, to);
    DeleteDetails(kQXTagTupletEnd, to);
  }
  if ((source.flags & kQXEntrySpecial) != 0) {
    CopyDetails(kQXTagCrossNote, 20, from, to);
    CopyDetails(kQXTagAccidentalHint, 20, from, to);
  }
  if ((source.flags2 & kQXEntry2SmartShapes) != 0 && job.includeSmartShapes != 0) CollectSmartShapes(from, job);
  if ((source.flags & kQXEntryLyrics) != 0 && job.includeLyrics != 0) {
    CopyDetails(kQXTagLyricVerse, 10, from, to);
    CopyDetails(kQXTagLyricSection, 10, from, to);
    CopyDetails(kQXTagLyricChorus, 10, from, to);
  }
}

// Copies source entry index into the destination frame at the same index.
// The destination frame is saved and loaded again (*destination is the new
// one, or null when the host gives none back). Returns the length of a
// tuplet that starts on the source entry, 0 when none.
int CopyEntry(QXFrame** destination, const QXFrame* source, int index, int slot, int measure, int layer,
              bool placeholder, bool keepOutOfCue, CueJob& job) {
  if (*destination == nullptr) return 0;
  const auto at = static_cast<uint16_t>(index);
  if (FrameInsertEntries(*destination, at, 1) == 0 || (*destination)->entryCount <= index) {
    QX_FreeTGF(*destination);
    *destination = nullptr;
    return 0;
  }
  const QXEntry& original = source->entries[index];
  QXEntry& inserted = (*destination)->entries[index];
  std::memcpy(&inserted, &original, sizeof inserted);
  inserted.flags &= ~kQXEntryTupletPart;
  inserted.number = 0;
  FrameSave(*destination);
  QX_FreeTGF(*destination);
  *destination = LoadDestination(slot, measure, layer);
  if (*destination == nullptr) return 0;
  if ((*destination)->entryCount <= index) {
    QX_FreeTGF(*destination);
    *destination = nullptr;
    return 0;
  }
  QXEntry& copy = (*destination)->entries[index];
  if (placeholder && (original.flags & kQXEntryNote) != 0) copy.flags &= ~kQXEntryNote;
  if (keepOutOfCue) copy.flags |= kQXEntryPlaceholder;

  int tuplet = 0;
  if ((original.flags & kQXEntryTuplet) != 0) {
    for (uint16_t incidence = 0;; ++incidence) {
      QXTuplet record{};
      if (!LoadRecord(kQXTagTuplet, QXKey::Entry(original.number, incidence), &record)) break;
      tuplet = std::max<int>(tuplet, record.entries);
      QXKey key = QXKey::Entry(copy.number, kQXNew);
      if (CreateRecord(kQXTagTuplet, &key, record)) copy.flags |= kQXEntryTuplet;
    }
  }
  job.sourceEntries.push_back(uint32_t{original.number});
  job.newEntries.push_back(uint32_t{copy.number});
  CopyEntryDetails(original, copy, job);
  return tuplet;
}

bool InRange(const QXEntry& entry, int32_t from, int32_t to) { return from <= entry.position && entry.position < to; }

// Fills the gap of each measure's first layer with rests, so that a cue in a
// higher layer has a layer 1 to stand over.
void CompleteFirstLayer(int slot, const CueJob& job, StaffWrites& writes) {
  const auto instrument = static_cast<uint16_t>(QX_SlotToInst(static_cast<uint16_t>(slot), DocumentList()));
  for (int measure = job.source.startMeasure; measure <= job.source.endMeasure; ++measure) {
    QXFrame* frame = LoadDestination(slot, measure, 0);
    if (frame == nullptr) continue;
    writes.Touch(frame, measure, 0);
    const int32_t filled = frame->entryCount > 0 ? QX_GetTGFDuration(frame) : 0;
    const int32_t length = QX_GetMeasureDuration(instrument, static_cast<uint16_t>(measure));
    const int32_t gap = length - filled;
    int durations[kMaxRests];
    int count = 0;
    if (gap == length) {
      durations[count++] = kQXWhole;
    } else {
      // Whole notes and their halves, longest first; a gap that would need
      // more than the rests there is room for is filled as far as they go.
      for (int32_t rest = gap; rest > 0 && count < kMaxRests;) {
        int32_t duration = kQXWhole;
        while (rest < duration) duration /= 2;
        durations[count++] = duration;
        rest -= duration;
      }
    }
    for (int i = count - 1; i >= 0; --i) {
      const auto at = static_cast<uint16_t>(frame->entryCount);
      if (FrameInsertEntries(frame, at, 1) == 0 || frame->entryCount <= at) break;
      frame->entries[at].duration = static_cast<uint16_t>(durations[i]);
      frame->entries[at].flags = kRestFlags;
    }
    FrameSave(frame);
    QX_FreeTGF(frame);
  }
}

// Gives every entry of the written frame its size. A size record the host
// does not take leaves that entry at full size; the staff is written all the same.
void SizeEntries(QXFrame* frame, int16_t percent) {
  for (int i = 0; i < frame->entryCount; ++i) {
    const QXKey key = QXKey::Entry(frame->entries[i].number, 0);
    QXEntrySize size{};
    if (LoadRecord(kQXTagEntrySize, key, &size)) {
      size.percent = static_cast<uint16_t>(percent);
      SaveRecord(kQXTagEntrySize, key, size);
    } else {
      size = QXEntrySize{0, static_cast<uint16_t>(percent), {}};
      QXKey create = QXKey::Entry(frame->entries[i].number, kQXNew);
      CreateRecord(kQXTagEntrySize, &create, size);
    }
  }
}

// Copies the job's source into one destination staff; false when the host
// gave no frame to write into.
bool CopyToStaff(int slot, uint32_t progress, int16_t* cancel, CueJob& job, StaffWrites& writes) {
  bool wantName = job.cueName[0] != '\0';
  const QXRegion& source = job.source;
  const auto sourceInstrument =
      static_cast<uint16_t>(QX_SlotToInst(static_cast<uint16_t>(source.startSlot), source.startList));
  const auto destination = static_cast<uint16_t>(QX_SlotToInst(static_cast<uint16_t>(slot), DocumentList()));
  const int first = source.startMeasure;
  const int last = source.endMeasure;

  if (job.includeClefs != 0) CopyClefs(sourceInstrument, destination, first, last);
  if (job.includeChords != 0) CopyChords(sourceInstrument, destination, first, last);
  if (job.includeExpressions != 0) {
    CopyExpressions(sourceInstrument, destination, first, last, job.sourceLayer, job.destinationLayer);
  }
  if (job.includeSmartShapes != 0) CopyMeasureSmartShapes(sourceInstrument, destination, first, last);

  for (int measure = first; measure <= last; ++measure) {
    if (*cancel != 0) return true;
    if (QX_MassEditProgress(progress, 0, static_cast<uint16_t>(slot), static_cast<uint16_t>(measure), kQXProgressFlags) == 0) {
      *cancel = 1;  // this measure is still finished
    }
    writes.measures.emplace_back(slot, measure);
    const int32_t from = measure == first ? source.startPos : 0;
    const int32_t to = measure == last ? source.endPos : kRangeOpenEnd;

    QXFrame* sourceFrame = QX_LoadTGF(source.startList, static_cast<uint16_t>(source.startSlot),
                                      static_cast<uint16_t>(measure), job.sourceLayer, 0);
    if (sourceFrame == nullptr || sourceFrame->entryCount == 0) {
      if (sourceFrame != nullptr) QX_FreeTGF(sourceFrame);
      continue;
    }
    QXFrame* frame = LoadDestination(slot, measure, job.destinationLayer);
    writes.Touch(frame, measure, job.destinationLayer);
    if (frame != nullptr && frame->entryCount > 0) {
      FrameDeleteEntries(frame, 0, static_cast<uint16_t>(frame->entryCount));
    }

    int tuplet = 0;
    for (int i = 0; i < sourceFrame->entryCount; ++i) {
      if (InRange(sourceFrame->entries[i], from, to)) {
        const int length = CopyEntry(&frame, sourceFrame, i, slot, measure, job.destinationLayer, false, false, job);
        if (frame == nullptr) {
          QX_FreeTGF(sourceFrame);
          return false;
        }
        if (length > 0) tuplet = length;
        if (wantName) {
          PlaceCueName(job.cueName, slot, job.document, measure, frame->entries[i]);
          wantName = false;
        }
        if (tuplet > 0) --tuplet;
        continue;
      }
      // Outside the cue: a rest that keeps the time, hidden unless a tuplet
      // that reaches into the cue needs it.
      const int length = CopyEntry(&frame, sourceFrame, i, slot, measure, job.destinationLayer, true, true, job);
      if (length > 0) {
        for (int j = i + 1; j < i + length && j < sourceFrame->entryCount; ++j) {
          if (InRange(sourceFrame->entries[j], from, to)) tuplet = length;
        }
      }
      if (frame != nullptr && tuplet > 0) {
        frame->entries[i].flags &= ~kQXEntryPlaceholder;
        --tuplet;
      }
    }
    if (frame != nullptr) {
      FrameSave(frame);
      QX_FreeTGF(frame);
    }
    QX_FreeTGF(sourceFrame);

    QXFrame* written = LoadDestination(slot, measure, job.destinationLayer);
    if (written == nullptr) return false;
    const bool empty = written->entryCount == 0;
    if (!empty) SizeEntries(written, job.percentage);
    QX_FreeTGF(written);
    if (empty) return false;
  }
  return true;
}

std::string EditLabel(const CueJob& job) {
  char range[48];
  if (job.source.endMeasure > job.source.startMeasure) {
    std::snprintf(range, sizeof range, ", m. %ld-%ld", static_cast<long>(job.source.startMeasure),
                  static_cast<long>(job.source.endMeasure));
  } else {
    std::snprintf(range, sizeof range, ", m. %ld", static_cast<long>(job.source.startMeasure));
  }
  return std::string("Add Cue: ") + job.cueName + range;
}

}  // namespace

int ReadCueJob(HWND dialog) {
  CueJob& job = g_cueJob;
  job.destinationCount = std::min(ListSelectedItems(dialog, IDC_STAVES, job.destinations, kMaxDestinations),
                                  kMaxDestinations);
  char text[kCueNameSize + 1];
  QX_GetDlgString(dialog, IDC_PERCENT, text, sizeof text);
  job.percentage = static_cast<int16_t>(std::atoi(text));
  job.includeArticulations = QX_GetDlgCntlVal(dialog, IDC_ARTICULATIONS, 0) != 0 ? 1 : 0;
  job.includeExpressions = QX_GetDlgCntlVal(dialog, IDC_EXPRESSIONS, 0) != 0 ? 1 : 0;
  job.includeSmartShapes = QX_GetDlgCntlVal(dialog, IDC_SMART_SHAPES, 0) != 0 ? 1 : 0;
  job.includeChords = QX_GetDlgCntlVal(dialog, IDC_CHORDS, 0) != 0 ? 1 : 0;
  job.includeLyrics = QX_GetDlgCntlVal(dialog, IDC_LYRICS, 0) != 0 ? 1 : 0;
  job.includeClefs = QX_GetDlgCntlVal(dialog, IDC_CLEFS, 0) != 0 ? 1 : 0;
  const int sourceLayer = ComboSelection(dialog, IDC_SOURCE_LAYER);
  const int destinationLayer = ComboSelection(dialog, IDC_DEST_LAYER);
  if (sourceLayer >= 0) job.sourceLayer = static_cast<uint16_t>(sourceLayer);
  if (destinationLayer >= 0) job.destinationLayer = static_cast<uint16_t>(destinationLayer);
  QX_GetDlgString(dialog, IDC_CUE_NAME, job.cueName, kCueNameSize);
  job.cueName[kCueNameSize - 1] = '\0';
  if (std::strlen(job.cueName) == kCueNameSize - 1) EndOnCharacter(job.cueName);

  if (job.destinationCount <= 0) {
    ShowAlert(dialog, kQXAlertWarning, IDS_NO_DESTINATION);
    return 0;
  }
  for (int i = 0; i < job.destinationCount; ++i) {
    const int slot = static_cast<int>(job.destinations[i]) + 1;
    for (int measure = job.source.startMeasure; measure <= job.source.endMeasure; ++measure) {
      QXFrame* frame = LoadDestination(slot, measure, job.destinationLayer);
      if (frame == nullptr) continue;
      const bool occupied = frame->entryCount > 0;
      QX_FreeTGF(frame);
      if (occupied) {
        ShowAlert(dialog, kQXAlertWarning, IDS_LAYER_NOT_EMPTY);
        return 0;
      }
    }
  }
  return 1;
}

int CreateCue(int32_t* created) {
  CueJob& job = g_cueJob;
  job.cuedMeasures.clear();
  ResolveCueName(job.cueName, QX_SlotToInst(static_cast<uint16_t>(job.source.startSlot), 0), job.groups);
  // A creation inside the search's edit belongs to it and leaves it open:
  // the cues of an automatic pass form one undoable edit with the pass, as
  // its user expects of one search. A creation of its own (at a location
  // offered to the user) opens and closes its own edit. As with any edit of
  // the plug-in, the host's answer to the start is not looked at.
  const bool ownEdit = !EditOpen();
  if (ownEdit) QX_StartQuivraEdit(EditLabel(job).c_str());
  const uint32_t progress =
      QX_StartMassEdit(nullptr, (job.source.endMeasure - job.source.startMeasure + 1) * job.destinationCount);
  int16_t cancel = 0;
  int written = 0;
  for (int i = 0; cancel == 0 && i < job.destinationCount; ++i) {
    const int slot = static_cast<int>(job.destinations[i]) + 1;
    job.sourceEntries.clear();
    job.newEntries.clear();
    job.smartShapes.clear();
    StaffWrites writes;
    g_writeJournal.Begin();
    if (job.destinationLayer != 0) CompleteFirstLayer(slot, job, writes);
    if (!CopyToStaff(slot, progress, &cancel, job, writes)) {
      // The staves written before stay written. This one goes back to what
      // it was (its records through the write journal, its frames through
      // its own writes), so that no staff holds half a cue that the user
      // could only take back with the whole edit.
      writes.Rollback(slot);
      g_writeJournal.Rollback();
      ShowAlert(job.dialog, kQXAlertPlain, kCouldNotCreate);
      QX_EndMassEdit(progress, static_cast<uint16_t>(cancel));
      // An edit of its own is kept when it holds a staff written, and
      // cancelled when it holds nothing.
      if (ownEdit) {
        if (written > 0) {
          QX_EndQuivraEdit();
        } else {
          QX_CancelQuivraEdit();
        }
      }
      return 0;
    }
    CopyEntrySmartShapes(job, slot);
    g_writeJournal.Commit();
    job.cuedMeasures.insert(job.cuedMeasures.end(), writes.measures.begin(), writes.measures.end());
    ++*created;
    ++written;
  }
  if (ownEdit) QX_EndQuivraEdit();
  QX_EndMassEdit(progress, static_cast<uint16_t>(cancel));
  return cancel == 0 ? 1 : 0;
}

}  // namespace ostinel
