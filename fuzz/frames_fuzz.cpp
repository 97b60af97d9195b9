// Frame normalisation over any entries, on its own and on the way back to
// the host through a save or an insertion.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_input.h"
#include "probe_session.h"
#include "quivrasim/score_builder.h"

namespace {

using ostinel_fuzz::Input;

void Check(bool condition) {
  if (!condition) std::abort();
}

// What normalisation promises about one entry, given what it was before.
void CheckNormalized(const QXEntry& before, const QXEntry& entry) {
  const int count = before.noteCount < 0 ? 0 : before.noteCount < kQXMaxNotes ? before.noteCount : kQXMaxNotes;
  if (count == 0) {
    // An entry without notes is saved as one default note.
    Check(entry.noteCount == 1 && entry.notes[0].flags == kQXNoteDefault &&
          (entry.flags & kQXEntryNoNotes) != 0);
  } else {
    Check(entry.noteCount == before.noteCount);
    for (int i = 0; i < count; ++i) {
      const int16_t id = entry.notes[i].id;
      Check(id != 0);
      for (int j = i + 1; j < count; ++j) Check(entry.notes[j].id != id);
      Check(((entry.notes[i].flags >> 16) & 0x1Fu) == (static_cast<uint32_t>(id) & 0x1Fu));
    }
  }
  for (int i = count == 0 ? 1 : count; i < kQXMaxNotes; ++i) {
    const QXNoteSlot& slot = entry.notes[i];
    Check(slot.word0 == 0 && slot.word1 == 0 && slot.id == 0 && slot.flags == 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const CoreProbe& core = *ostinel_fuzz::Session().core;
  Input in(data, size);
  std::vector<QXEntry> entries(in.Byte() % 9);
  for (QXEntry& entry : entries) {
    in.Fill(&entry, sizeof entry);
    QXEntry alone = entry;
    core.NormalizeEntry(&alone);
    CheckNormalized(entry, alone);
  }

  // The same entries into a host frame, then saved or made room in.
  quivrasim::Host host;
  quivrasim::ScoreBuilder build(host.Doc());
  build.Measures(1);
  const uint16_t staff = build.Staff("Fuzz");
  QXFrame* frame = core.LoadFrame(0, 1, 1, 0, 0, kQXVersionCurrent);
  if (frame == nullptr) std::abort();
  if (!entries.empty() && core.FrameInsertEntries(frame, 0, static_cast<uint16_t>(entries.size()),
                                                  kQXVersionCurrent) == 1) {
    std::memcpy(frame->entries, entries.data(), entries.size() * sizeof(QXEntry));
  }
  if (in.Bit()) {
    core.FrameInsertEntries(frame, in.Word16(), in.Byte(), kQXVersionCurrent);
  } else if (core.FrameSave(frame, kQXVersionCurrent) == 1) {
    const std::optional<quivrasim::Entries> saved = host.Doc().Frame({staff, 1, 0});
    Check((saved ? saved->size() : 0) == entries.size());
    for (size_t i = 0; i < entries.size(); ++i) CheckNormalized(entries[i], (*saved)[i]);
  }
  core.FreeFrame(frame, kQXVersionCurrent);
  return 0;
}
