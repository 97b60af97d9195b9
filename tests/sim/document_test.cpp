// The simulated host's frames, edits and dialog loop.
#include <gtest/gtest.h>

#include "quivra/qx_records.h"
#include "quivrasim/host.h"
#include "quivrasim/operations.h"
#include "quivrasim/score_builder.h"

namespace {

using quivrasim::EntrySpec;
using quivrasim::Host;

TEST(SimFrames, SavedEntriesAreNumberedAndPlacedWithTupletsApplied) {
  Host host;
  quivrasim::ScoreBuilder build(host.Doc());
  build.Measures(1);
  const uint16_t flute = build.Staff("Flute");
  const auto numbers = build.Entries(flute, 1, 0,
                                     {EntrySpec::Note(512), EntrySpec::Note(512), EntrySpec::Note(512),
                                      EntrySpec::Note(1024), EntrySpec::Note(2048)});
  QXTuplet tuplet{3, 3, 2, 512, {}};
  QXKey key = QXKey::Entry(numbers[0], kQXNew);
  ASSERT_EQ(QX_CreateEData(kQXTagTuplet, &key, &tuplet, sizeof tuplet, kQXVersionCurrent), 1);

  QXFrame* frame = QX_LoadTGF(0, 1, 1, 0, 0, kQXVersionCurrent);
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(QX_GetTGFDuration(frame, kQXVersionCurrent), 3 * 341 + 1024 + 2048);
  ASSERT_EQ(QX_SaveTGF(frame, kQXVersionCurrent), 1);
  EXPECT_EQ(int32_t{frame->entries[1].position}, 341);
  EXPECT_EQ(int32_t{frame->entries[3].position}, 3 * 341);
  QX_FreeTGF(frame, kQXVersionCurrent);
  EXPECT_TRUE(host.LiveFrames().empty());
}

// Entry numbers are the host's to hand out, but a saved frame may bring any:
// each is found where it was last saved, and nowhere once it is gone.
TEST(SimFrames, EntriesAreFoundByTheNumbersTheirFramesBring) {
  Host host;
  quivrasim::ScoreBuilder build(host.Doc());
  build.Measures(2);
  const uint16_t flute = build.Staff("Flute");
  const auto numbers = build.Entries(flute, 1, 0, {EntrySpec::Note(1024), EntrySpec::Note(3072)});
  const uint32_t far = 3000000000u;
  for (const uint32_t brought : {numbers.back() + 5, far}) {
    QXFrame* frame = QX_LoadTGF(0, 1, 1, 0, 0, kQXVersionCurrent);
    ASSERT_NE(frame, nullptr);
    const uint32_t before = frame->entries[1].number;
    frame->entries[1].number = brought;
    ASSERT_EQ(QX_SaveTGF(frame, kQXVersionCurrent), 1);
    QX_FreeTGF(frame, kQXVersionCurrent);
    const auto found = host.Doc().FindEntry(brought);
    ASSERT_TRUE(found) << brought;
    EXPECT_EQ(found->first.measure, 1);
    EXPECT_EQ(found->second, 1);
    EXPECT_FALSE(host.Doc().FindEntry(before)) << "the number it had before is gone";
  }
  // Saved elsewhere, it moves; emptied, it is gone.
  QXFrame* frame = QX_LoadTGF(0, 1, 1, 0, 0, kQXVersionCurrent);
  QXFrame* second = QX_LoadTGF(0, 1, 2, 0, 0, kQXVersionCurrent);
  ASSERT_NE(frame, nullptr);
  ASSERT_NE(second, nullptr);
  QXEntry* const moving = frame->entries;
  const int16_t count = frame->entryCount;
  frame->entries = second->entries;
  frame->entryCount = second->entryCount;
  second->entries = moving;
  second->entryCount = count;
  ASSERT_EQ(QX_SaveTGF(frame, kQXVersionCurrent), 1);
  ASSERT_EQ(QX_SaveTGF(second, kQXVersionCurrent), 1);
  QX_FreeTGF(frame, kQXVersionCurrent);
  QX_FreeTGF(second, kQXVersionCurrent);
  for (const uint32_t number : {numbers.front(), far}) {
    const auto moved = host.Doc().FindEntry(number);
    ASSERT_TRUE(moved) << number;
    EXPECT_EQ(moved->first.measure, 2) << number;
  }
  EXPECT_FALSE(host.Doc().FindEntry(numbers.back())) << "a number no frame holds";
  // Given up for a new number, the far one is found no more.
  second = QX_LoadTGF(0, 1, 2, 0, 0, kQXVersionCurrent);
  ASSERT_NE(second, nullptr);
  second->entries[1].number = 0;
  ASSERT_EQ(QX_SaveTGF(second, kQXVersionCurrent), 1);
  const uint32_t renumbered = second->entries[1].number;
  QX_FreeTGF(second, kQXVersionCurrent);
  EXPECT_FALSE(host.Doc().FindEntry(far));
  EXPECT_TRUE(host.Doc().FindEntry(renumbered));
  EXPECT_FALSE(host.Doc().EditEntry(far, [](QXEntry&) {})) << "no entry of that number is left to change";
}

TEST(SimFrames, FramesOutsideTheDocumentAreNotGiven) {
  Host host;
  quivrasim::ScoreBuilder build(host.Doc());
  build.Measures(2);
  build.Staff("Flute");
  EXPECT_EQ(QX_LoadTGF(0, 2, 1, 0, 0, kQXVersionCurrent), nullptr) << "no second staff";
  EXPECT_EQ(QX_LoadTGF(0, 1, 3, 0, 0, kQXVersionCurrent), nullptr) << "no third measure";
  EXPECT_EQ(QX_LoadTGF(0, 1, 1, 4, 0, kQXVersionCurrent), nullptr) << "four layers: 0 to 3";
  EXPECT_EQ(host.TotalFrameLoads(), 0);
}

TEST(SimEdits, CancelRestoresUndoKeepsLabelsAndChangesOutsideAnEditAreCounted) {
  Host host;
  quivrasim::ScoreBuilder build(host.Doc());
  build.Measures(1);
  const uint16_t flute = build.Staff("Flute");
  build.Play(flute, 1, 1);
  const uint64_t start = host.Doc().Revision();

  ASSERT_EQ(QX_StartQuivraEdit("Try", kQXVersionCurrent), 1);
  QXFrame* frame = QX_LoadTGF(0, 1, 1, 0, 0, kQXVersionCurrent);
  QX_DeleteEXENTRY(frame, 0, 4, kQXVersionCurrent);
  QX_SaveTGF(frame, kQXVersionCurrent);
  QX_FreeTGF(frame, kQXVersionCurrent);
  QXKey key = QXKey::Of(1, kQXNew);
  const QXTempoChange change{0, 90, 1024, 0};
  QX_CreateEData(kQXTagTempoChange, &key, &change, sizeof change, kQXVersionCurrent);
  ASSERT_EQ(QX_CancelQuivraEdit(kQXVersionCurrent), 1);
  EXPECT_EQ(host.Doc().Frame({flute, 1, 0})->size(), 4u);
  EXPECT_EQ(host.Doc().Records().Count(kQXTagTempoChange), 0u);

  ASSERT_EQ(QX_StartQuivraEdit("Keep", kQXVersionCurrent), 1);
  QX_CreateEData(kQXTagTempoChange, &key, &change, sizeof change, kQXVersionCurrent);
  ASSERT_EQ(QX_EndQuivraEdit(kQXVersionCurrent), 1);
  EXPECT_EQ(host.Doc().UndoLabels(), std::vector<std::string>{"Keep"});
  EXPECT_EQ(host.Doc().UnjournaledChanges(), 0);
  EXPECT_TRUE(host.Doc().Undo());
  EXPECT_EQ(host.Doc().Records().Count(kQXTagTempoChange), 0u);
  EXPECT_GT(host.Doc().Revision(), start);
  QX_CreateEData(kQXTagTempoChange, &key, &change, sizeof change, kQXVersionCurrent);
  EXPECT_EQ(host.Doc().UnjournaledChanges(), 1) << "a change outside an edit is counted";
}

TEST(SimProgress, ARunCancelsAtTheChosenReport) {
  Host host;
  host.CancelProgressAt(3);
  const uint32_t run = QX_StartMassEdit(nullptr, 10, kQXVersionCurrent);
  EXPECT_EQ(QX_MassEditProgress(run, 1, 1, 1, 0xFFFF, kQXVersionCurrent), 1);
  EXPECT_EQ(QX_MassEditProgress(run, 1, 1, 2, 0xFFFF, kQXVersionCurrent), 1);
  EXPECT_EQ(QX_MassEditProgress(run, 1, 1, 3, 0xFFFF, kQXVersionCurrent), 0);
  QX_EndMassEdit(run, 1, kQXVersionCurrent);
  EXPECT_TRUE(host.ProgressRuns()[0].ended);
  EXPECT_EQ(host.ProgressRuns()[0].reported, 3);
  EXPECT_EQ(QX_EndMassEdit(run, 0, kQXVersionCurrent), 0);
  EXPECT_EQ(host.MisuseCount(), 1) << "a run ends once";
}

TEST(SimRegistry, ValuesAreReadOnlyFromKeysThatExist) {
  Host host;
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Lorvent", 0, KEY_ALL_ACCESS, &key), ERROR_FILE_NOT_FOUND);
  host.Reg().SetDword("Software\\Lorvent", "OstinelPI", 299);
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "software\\lorvent", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  BYTE data[4];
  DWORD size = sizeof data;
  ASSERT_EQ(RegQueryValueExA(key, "OstinelPI", nullptr, nullptr, data, &size), ERROR_SUCCESS);
  EXPECT_EQ(data[0] + 256 * data[1], 299);
  EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, nullptr, data, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(host.Reg().OpenHandles(), 0);
}

TEST(SimStaves, ReorderedStavesKeepTheirInstrumentNumbers) {
  Host host;
  quivrasim::ScoreBuilder build(host.Doc());
  build.Measures(1);
  const uint16_t flute = build.Staff("Flute");
  const uint16_t oboe = build.Staff("Oboe");
  const uint16_t horn = build.Staff("Horn");
  build.Play(horn, 1, 1);
  host.Doc().Reorder({horn, flute, oboe});
  EXPECT_EQ(QX_SlotToInst(1, 0, kQXVersionCurrent), horn);
  EXPECT_EQ(QX_InstToSlot(oboe, 0, kQXVersionCurrent), 3);
  QXFrame* frame = QX_LoadTGF(0, 1, 1, 0, 0, kQXVersionCurrent);
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->entryCount, 4) << "slot 1 now shows the horn's music";
  QX_FreeTGF(frame, kQXVersionCurrent);
  host.Doc().Reorder({flute, oboe});
  EXPECT_EQ(QX_SlotToInst(1, 0, kQXVersionCurrent), horn) << "an order that leaves out a staff is refused";
}

}  // namespace
