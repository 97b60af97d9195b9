// Frames are normalised before they go back to the host.
#include <cstring>

#include "harness.h"

namespace ostinel_test {
namespace {

QXEntry EntryWithIds(std::initializer_list<int16_t> ids) {
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

TEST_F(CoreTest, DuplicateAndZeroNoteIdsAreRenumberedAboveTheLargest) {
  QXEntry entry = EntryWithIds({3, 3, 0});
  core->NormalizeEntry(&entry);
  ASSERT_EQ(entry.noteCount, 3);
  EXPECT_EQ(entry.notes[0].id, 4) << "the first 3 is not unique";
  EXPECT_EQ(entry.notes[1].id, 3) << "the second 3 is unique once the first changed";
  EXPECT_EQ(entry.notes[2].id, 5);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ((entry.notes[i].flags >> 16) & 0x1F, static_cast<uint32_t>(entry.notes[i].id));
    EXPECT_EQ(entry.notes[i].flags & 0x80000000u, 0x80000000u) << "other note flags stay";
  }
}

TEST_F(CoreTest, PastTheLargestPossibleIdNewIdsStartAgainFromOneAndStayUnique) {
  QXEntry entry = EntryWithIds({1, -32768, 0, 32767, 0});
  core->NormalizeEntry(&entry);
  EXPECT_EQ(entry.notes[1].id, -32768);
  EXPECT_EQ(entry.notes[2].id, 2) << "1 is taken";
  EXPECT_EQ(entry.notes[3].id, 32767);
  EXPECT_EQ(entry.notes[4].id, 3);
}

TEST_F(CoreTest, IdsAboveThirtyOneAreRepeatedModuloThirtyTwo) {
  QXEntry entry = EntryWithIds({33, 1});
  core->NormalizeEntry(&entry);
  EXPECT_EQ((entry.notes[0].flags >> 16) & 0x1F, 1u);
  EXPECT_EQ(entry.notes[1].id, 1);
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

  const quivrasim::Entries* stored = host.Doc().Frame({flute, 1, 0});
  ASSERT_NE(stored, nullptr);
  ASSERT_EQ(stored->size(), 2u);
  EXPECT_EQ((*stored)[1].noteCount, 1);
  EXPECT_EQ(uint32_t{(*stored)[1].notes[0].flags}, 0x80000000u);
  EXPECT_NE(uint32_t{(*stored)[1].number}, 0u) << "the host numbered the new entry";
  EXPECT_EQ(int32_t{(*stored)[1].position}, 2048);
}

}  // namespace
}  // namespace ostinel_test
