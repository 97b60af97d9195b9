// The simulated host's record operations, as a plug-in calls them.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "quivra/qx_records.h"
#include "quivrasim/host.h"
#include "quivrasim/operations.h"
#include "quivrasim/record_store.h"
#include "quivrasim/score_builder.h"

namespace {

using quivrasim::Host;

QXTempoChange Tempo(int32_t value) { return QXTempoChange{0, value, 1024, 0}; }

TEST(SimRecords, NewIncidencesCountUpAndDeletingOneClosesTheGap) {
  Host host;
  for (int i = 0; i < 3; ++i) {
    QXKey key = QXKey::Of(2, kQXNew);
    const QXTempoChange change = Tempo(100 + i);
    ASSERT_EQ(QX_CreateEData(kQXTagTempoChange, &key, &change, sizeof change, kQXVersionCurrent), 1);
    EXPECT_EQ(std::make_pair(key.first, key.second), std::make_pair(uint16_t{2}, static_cast<uint16_t>(i)))
        << "the key is written back";
  }
  QXKey key = QXKey::Of(2, 0);
  ASSERT_EQ(QX_DeleteEData(kQXTagTempoChange, &key, kQXVersionCurrent), 1);
  QXTempoChange loaded{};
  uint32_t size = sizeof loaded;
  ASSERT_EQ(QX_LoadEData(kQXTagTempoChange, &key, &loaded, &size, kQXVersionCurrent), 1);
  EXPECT_EQ(loaded.value, 101);
  key = QXKey::Of(2, 2);
  EXPECT_EQ(QX_LoadEData(kQXTagTempoChange, &key, &loaded, &size, kQXVersionCurrent), 0);
}

// Records arrive in any key order; a new incidence follows the owner's last
// one, also past a gap that an explicit key left.
TEST(SimRecords, NewIncidencesFollowTheOwnersLastRecordInAnyArrivalOrder) {
  Host host;
  auto create = [](uint16_t measure, uint16_t incidence) {
    QXKey key = QXKey::Of(measure, incidence);
    const QXTempoChange change = Tempo(measure * 10 + incidence);
    EXPECT_EQ(QX_CreateEData(kQXTagTempoChange, &key, &change, sizeof change, kQXVersionCurrent), 1);
    return key;
  };
  create(9, 0);
  create(2, 0);
  create(5, 0);
  create(5, 3);  // a gap at 1 and 2
  create(2, 1);
  EXPECT_EQ(create(5, kQXNew).second, 4) << "after the last, not the count";
  EXPECT_EQ(create(2, kQXNew).second, 2);
  EXPECT_EQ(create(7, kQXNew).second, 0) << "an owner without records starts at 0";
  EXPECT_EQ(create(9, kQXNew).second, 1);

  std::vector<std::pair<int, int>> walked;
  QXKey key = QXKey::Of(0, 0);
  QXTempoChange change{};
  while (QX_NextEData(kQXTagTempoChange, &key, &change, sizeof change, kQXVersionCurrent) == 1) {
    walked.emplace_back(key.first, key.second);
  }
  const std::vector<std::pair<int, int>> inOrder = {{2, 0}, {2, 1}, {2, 2}, {5, 0}, {5, 3}, {5, 4}, {7, 0}, {9, 0}, {9, 1}};
  EXPECT_EQ(walked, inOrder);
}

TEST(SimRecords, NewNumbersFollowTheLargestAndNextWalksInKeyOrder) {
  Host host;
  quivrasim::ScoreBuilder build(host.Doc());
  build.TextBlock("a");
  build.TextBlock("b");
  QXTextBlock block{};
  QXKey key = QXKey::Of(kQXNew, 0);
  ASSERT_EQ(QX_CreateEData(kQXTagTextBlock, &key, &block, sizeof block, 0x08000000), 1);
  EXPECT_EQ(key.first, 3);
  QXKey walk = QXKey::Of(1, 0);
  ASSERT_EQ(QX_NextEData(kQXTagTextBlock, &walk, &block, sizeof block, 0x08000000), 1);
  EXPECT_EQ(walk.first, 2);
}

TEST(SimRecords, ASizeThatDisagreesWithTheVersionWordFails) {
  Host host;
  QXMeasureSpec spec{};
  QXKey key = QXKey::Of(1, 0);
  EXPECT_EQ(QX_SaveEData(kQXTagMeasureSpec, &key, &spec, 24, kQXVersionCurrent), 0);
  EXPECT_EQ(QX_SaveEData(kQXTagMeasureSpec, &key, &spec, 26, 0x09000000), 0);
  EXPECT_EQ(QX_SaveEData(kQXTagMeasureSpec, &key, &spec, 24, 0x09000000), 1);
  EXPECT_EQ(QX_SaveEData(kQXTagMeasureSpec, &key, &spec, 26, kQXVersionCurrent), 1);
  EXPECT_EQ(QX_SaveEData(QXTag('z', 'z', 'z', 'z'), &key, &spec, 26, kQXVersionCurrent), 0) << "unknown type";
}

TEST(SimRecords, AnOlderLayoutReadsAndWritesTheFrontOfTheRecord) {
  Host host;
  QXMeasureSpec spec{};
  spec.flags = 0x0100;
  spec.host12[12] = 9;  // beyond the 24-byte layout
  QXKey key = QXKey::Of(4, 0);
  ASSERT_EQ(QX_SaveEData(kQXTagMeasureSpec, &key, &spec, 26, kQXVersionCurrent), 1);
  QXMeasureSpec old{};
  uint32_t size = 24;
  ASSERT_EQ(QX_LoadEData(kQXTagMeasureSpec, &key, &old, &size, 0x09000000), 1);
  EXPECT_EQ(old.flags, 0x0100);
  old.flags = 0x4100;
  ASSERT_EQ(QX_SaveEData(kQXTagMeasureSpec, &key, &old, 24, 0x09000000), 1);
  QXMeasureSpec now{};
  size = 26;
  ASSERT_EQ(QX_LoadEData(kQXTagMeasureSpec, &key, &now, &size, kQXVersionCurrent), 1);
  EXPECT_EQ(now.flags, 0x4100);
  EXPECT_EQ(now.host12[12], 9) << "the newer fields are kept";
}

TEST(SimRecords, EntryRecordsKeepTheEntrysFlagsInStep) {
  Host host;
  quivrasim::ScoreBuilder build(host.Doc());
  build.Measures(1);
  const uint16_t flute = build.Staff("Flute");
  const uint32_t entry = build.Entries(flute, 1, 0, {quivrasim::EntrySpec::Note(4096)})[0];
  QXEntrySize size{0, 75, {}};
  QXKey key = QXKey::Entry(entry, kQXNew);
  ASSERT_EQ(QX_CreateEData(kQXTagEntrySize, &key, &size, sizeof size, kQXVersionCurrent), 1);
  EXPECT_EQ(key.EntryNumber(), entry);
  EXPECT_EQ(key.EntryIncidence(), 0);
  EXPECT_NE(host.Doc().Frame({flute, 1, 0})->at(0).flags & kQXEntrySpecial, 0u);
  ASSERT_EQ(QX_DeleteEData(kQXTagEntrySize, &key, kQXVersionCurrent), 1);
  EXPECT_EQ(host.Doc().Frame({flute, 1, 0})->at(0).flags & kQXEntrySpecial, 0u);
}

TEST(SimRecords, VariableRecordsReportTheirSizeAndFillWhatTheBufferHolds) {
  Host host;
  quivrasim::ScoreBuilder build(host.Doc());
  const uint16_t block = build.TextBlock("Clarinet in B^flat()");
  QXTextBlock record{};
  uint32_t size = sizeof record;
  QXKey key = QXKey::Of(block, 0);
  ASSERT_EQ(QX_LoadEData(kQXTagTextBlock, &key, &record, &size, 0x08000000), 1);
  key = QXKey::Of(record.rawText, 0);
  size = 0;
  ASSERT_EQ(QX_LoadEData(kQXTagRawText, &key, nullptr, &size, kQXVersionCurrent), 1);
  EXPECT_EQ(size, 20u);
  char text[9] = {};
  size = 8;
  ASSERT_EQ(QX_LoadEData(kQXTagRawText, &key, text, &size, kQXVersionCurrent), 1);
  EXPECT_STREQ(text, "Clarinet");
  EXPECT_EQ(size, 20u);
}

}  // namespace

// The store against a plain ordered map, over enough records in random order
// to split and empty its runs: every lookup a plug-in's calls make answers as
// the map does.
TEST(SimRecords, TheStoreAnswersAsAnOrderedMapAfterAnyMixOfChanges) {
  using quivrasim::Bytes;
  using quivrasim::KeyScheme;
  using quivrasim::RecordKey;
  quivrasim::RecordStore store;
  std::map<RecordKey, Bytes> model;
  uint32_t seed = 2026;
  auto next = [&seed](uint32_t range) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % range;
  };
  constexpr uint32_t kTag = kQXTagTempoChange;
  for (int step = 0; step < 20000; ++step) {
    // Owners 0 to 39, incidences 0 to 99: mostly appended at an owner's end, like new records.
    const RecordKey key{next(40), next(4) == 0 ? next(100) : 99 - next(10), next(3)};
    const uint32_t action = next(10);
    if (action < 6) {
      const Bytes value(1 + next(40), static_cast<unsigned char>(step));
      store.Put(kTag, key, value);
      model[key] = value;
    } else if (action < 8) {
      EXPECT_EQ(store.Erase(kTag, key), model.erase(key) == 1);
    } else {
      const std::optional<Bytes> value =
          next(2) == 0 ? std::optional<Bytes>(Bytes(3, static_cast<unsigned char>(step))) : std::nullopt;
      store.Restore(kTag, key, value);
      if (value) {
        model[key] = *value;
      } else {
        model.erase(key);
      }
    }
    const RecordKey probe{next(41), next(101), next(4)};
    const auto found = model.find(probe);
    const Bytes* stored = store.Find(kTag, probe);
    ASSERT_EQ(stored != nullptr, found != model.end()) << "step " << step;
    if (stored != nullptr) {
      ASSERT_EQ(*stored, found->second);
    }
    const auto after = model.upper_bound(probe);
    const auto storedAfter = store.After(kTag, probe);
    ASSERT_EQ(storedAfter.has_value(), after != model.end()) << "step " << step;
    if (storedAfter) {
      ASSERT_EQ(storedAfter->first, after->first);
    }
    for (const KeyScheme scheme : {KeyScheme::Incidence, KeyScheme::Triple}) {
      RecordKey low = probe;
      RecordKey high = probe;
      if (scheme == KeyScheme::Triple) {
        low.c = 0;
        high.c = UINT32_MAX;
      } else {
        low.b = low.c = 0;
        high.b = high.c = UINT32_MAX;
      }
      std::vector<RecordKey> siblings;
      for (auto it = model.lower_bound(low); it != model.end() && !(high < it->first); ++it) siblings.push_back(it->first);
      ASSERT_EQ(store.Siblings(kTag, scheme, probe), siblings) << "step " << step;
      const std::optional<RecordKey> last = store.LastSibling(kTag, scheme, probe);
      ASSERT_EQ(last.has_value(), !siblings.empty()) << "step " << step;
      if (last) {
        ASSERT_EQ(*last, siblings.back());
      }
    }
  }
  ASSERT_EQ(store.Count(kTag), model.size());
  const auto all = store.All(kTag);
  ASSERT_EQ(all.size(), model.size());
  auto it = model.begin();
  for (const auto& [key, bytes] : all) {
    EXPECT_EQ(key, it->first);
    EXPECT_EQ(*bytes, it->second);
    ++it;
  }
}
