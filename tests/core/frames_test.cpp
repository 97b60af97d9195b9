// Frames are normalised before they go back to the host.
#include <cstring>

#include "harness.h"

namespace ostinel_test {
namespace {

QXEntry EntryWithIds(const std::vector<int16_t>& ids) {
  QXEntry entry{};
  entry.flags = kQXEntryNote;
  for (const int16_t id : ids) {
    QXNoteSlot& note = entry.notes[entry.noteCount++];
    note.word0 = static_cast<uint16_t>(10 + entry.noteCount);
    note.id = id;
    note.flags = 0x80000000u | 0x001F0000u;  // stale id bits
  }
  return entry;
}

// Duplicate and zero ids are renumbered above the largest, from 1 again past
// the largest possible; the flags repeat each id modulo 32, other note flags stay.
TEST_F(CoreTest, NoteIdsAreMadeUniqueAndRepeatedInTheFlags) {
  const std::pair<std::vector<int16_t>, std::vector<int16_t>> cases[] = {
      {{3, 3, 0}, {4, 3, 5}},  // the second 3 is unique once the first changed
      {{1, -32768, 0, 32767, 0}, {1, -32768, 2, 32767, 3}},
      {{33, 1}, {33, 1}},
  };
  for (const auto& [given, expected] : cases) {
    QXEntry entry = EntryWithIds(given);
    core->NormalizeEntry(&entry);
    std::vector<int16_t> ids;
    for (int i = 0; i < entry.noteCount; ++i) {
      ids.push_back(entry.notes[i].id);
      EXPECT_EQ((entry.notes[i].flags >> 16) & 0x1F, static_cast<uint32_t>(entry.notes[i].id) & 0x1F);
      EXPECT_EQ(entry.notes[i].flags & 0x80000000u, 0x80000000u);
    }
    EXPECT_EQ(ids, expected);
  }
}

TEST_F(CoreTest, UnusedNoteSlotsAreCleared) {
  QXEntry entry = EntryWithIds({1, 2});
  std::memset(&entry.notes[2], 0x5A, sizeof(QXNoteSlot) * 10);
  core->NormalizeEntry(&entry);
  const QXNoteSlot zero{};
  for (int i = 2; i < kQXMaxNotes; ++i) EXPECT_EQ(std::memcmp(&entry.notes[i], &zero, sizeof zero), 0) << i;
}

TEST_F(CoreTest, AnEntryWithoutNotesGetsTheDefaultNote) {
  QXEntry entry{};
  entry.duration = 1024;
  core->NormalizeEntry(&entry);
  EXPECT_EQ(entry.noteCount, 1);
  EXPECT_EQ(uint32_t{entry.notes[0].flags}, 0x80000000u);
  EXPECT_EQ(entry.notes[0].id, 0);
  EXPECT_EQ(entry.flags & kQXEntryNoNotes, kQXEntryNoNotes);
}

TEST_F(CoreTest, SavingAndInsertingNormaliseTheFrameFirst) {
  build.Measures(1);
  const uint16_t flute = build.Staff("Flute");
  build.Entries(flute, 1, 0, {quivrasim::EntrySpec::Note(2048)});

  QXFrame* frame = core->LoadFrame(0, 1, 1, 0, 0, kQXVersionCurrent);
  ASSERT_NE(frame, nullptr);
  frame->entries[0].notes[0].id = 0;
  ASSERT_NE(core->FrameInsertEntries(frame, 1, 1, kQXVersionCurrent), 0);
  EXPECT_EQ(frame->entries[0].notes[0].id, 1) << "normalised before the insertion";
  frame->entries[1].duration = 2048;  // the inserted entry, still without notes
  ASSERT_NE(core->FrameSave(frame, kQXVersionCurrent), 0);
  core->FreeFrame(frame, kQXVersionCurrent);

  const std::optional<quivrasim::Entries> stored = host.Doc().Frame({flute, 1, 0});
  ASSERT_TRUE(stored);
  ASSERT_EQ(stored->size(), 2u);
  EXPECT_EQ((*stored)[1].noteCount, 1);
  EXPECT_EQ(uint32_t{(*stored)[1].notes[0].flags}, 0x80000000u);
  EXPECT_NE(uint32_t{(*stored)[1].number}, 0u) << "the host numbered the new entry";
  EXPECT_EQ(int32_t{(*stored)[1].position}, 2048);
}

}  // namespace
}  // namespace ostinel_test
