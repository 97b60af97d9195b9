#include "host/frames.h"

#include <cstdint>
#include <cstring>

#include "host/host_ops.h"

namespace ostinel {

namespace {

bool IdTakenByAnother(const QXEntry& entry, int count, int self, int16_t id) {
  for (int other = 0; other < count; ++other) {
    if (other != self && entry.notes[other].id == id) return true;
  }
  return false;
}

}  // namespace

void NormalizeEntry(QXEntry* entry) {
  int count = entry->noteCount;
  if (count < 0) count = 0;
  if (count > kQXMaxNotes) count = kQXMaxNotes;

  int16_t largest = 0;
  for (int i = 0; i < count; ++i) {
    if (entry->notes[i].id > largest) largest = entry->notes[i].id;
  }
  // Ids change in place, so later notes are tested against renumbered ones.
  // Ids are 16-bit: past 32767 the count goes on from 1, passing over ids in
  // use, so that a new id is unique even then.
  int next = largest;
  for (int i = 0; i < count; ++i) {
    QXNoteSlot& note = entry->notes[i];
    if (note.id != 0 && !IdTakenByAnother(*entry, count, i, note.id)) continue;
    do {
      next = next >= INT16_MAX ? 1 : next + 1;
    } while (IdTakenByAnother(*entry, count, i, static_cast<int16_t>(next)));
    note.id = static_cast<int16_t>(next);
  }
  for (int i = 0; i < count; ++i) {
    QXNoteSlot& note = entry->notes[i];
    const uint32_t idBits = (static_cast<uint32_t>(note.id) & 0x1Fu) << 16;
    note.flags = (note.flags & ~kQXNoteIdMask) | idBits;
  }
  for (int i = count; i < kQXMaxNotes; ++i) std::memset(&entry->notes[i], 0, sizeof(QXNoteSlot));
  if (count == 0) {
    entry->noteCount = 1;
    entry->notes[0].flags = kQXNoteDefault;
    entry->flags |= kQXEntryNoNotes;
  }
}

void NormalizeFrame(QXFrame* frame) {
  if (frame == nullptr || frame->entries == nullptr) return;
  for (int i = 0; i < frame->entryCount; ++i) NormalizeEntry(&frame->entries[i]);
}

int16_t FrameSave(QXFrame* frame, uint32_t version) {
  NormalizeFrame(frame);
  return QX_SaveTGF(frame, version);
}

int16_t FrameInsertEntries(QXFrame* frame, uint16_t index, uint16_t count, uint32_t version) {
  NormalizeFrame(frame);
  return QX_InsertEXENTRY(frame, index, count, version);
}

int16_t FrameDeleteEntries(QXFrame* frame, uint16_t index, uint16_t count, uint32_t version) {
  NormalizeFrame(frame);
  return QX_DeleteEXENTRY(frame, index, count, version);
}

}  // namespace ostinel
