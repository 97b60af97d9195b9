// The host's frame store against a plain map of frames.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>

#include "quivrasim/frame_store.h"

namespace {

using quivrasim::Entries;
using quivrasim::FrameKey;
using quivrasim::FrameStore;

bool Same(const Entries& a, const Entries& b) {
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(QXEntry)) == 0);
}

// Random changes, in blocks grown for more staves and layers as they go, and
// frames rewritten until their blocks are packed afresh: every frame reads
// back as last put or edited, through a load and by key, with its loads
// counted by mode.
TEST(SimFrameStore, TheStoreAnswersAsAMapOfFramesAfterAnyMixOfChanges) {
  std::mt19937 random(11);
  auto below = [&random](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  auto entry = [&] {
    QXEntry e{};
    auto* bytes = reinterpret_cast<unsigned char*>(&e);
    for (size_t b = 0; b < sizeof e; ++b) bytes[b] = static_cast<unsigned char>(random());
    // Slots from a random one on are empty, and one before it may be too.
    const size_t used = static_cast<size_t>(below(kQXMaxNotes + 1));
    for (size_t slot = used; slot < kQXMaxNotes; ++slot) e.notes[slot] = QXNoteSlot{};
    if (used > 1 && below(2) == 0) e.notes[below(static_cast<int>(used) - 1)] = QXNoteSlot{};
    return e;
  };

  FrameStore store;
  std::map<uint64_t, Entries> frames;
  std::map<uint64_t, int> loads[2];
  int instruments = 2;
  int measures = 40;
  int layers = 2;
  store.Grow(instruments, measures, layers);
  auto anyKey = [&] {
    return FrameKey{static_cast<uint16_t>(1 + below(instruments)), static_cast<int16_t>(1 + below(measures)),
                    static_cast<uint16_t>(below(layers))};
  };
  auto check = [&](const FrameKey& key, int step) {
    const auto found = frames.find(key.Packed());
    const Entries expected = found != frames.end() ? found->second : Entries{};
    const FrameStore::Run run = store.Read(key);
    ASSERT_EQ(run.count, expected.size()) << "step " << step;
    Entries byKey(expected.size());
    for (QXEntry& e : byKey) std::memset(&e, 0xAB, sizeof e);  // as a fresh block may hold
    run.LayOut(byKey.data());
    EXPECT_TRUE(Same(byKey, expected)) << "step " << step;
    std::vector<uint32_t> numbers;
    for (const QXEntry& e : expected) {
      const uint32_t number = e.number;  // a packed field: copied before it is bound
      numbers.push_back(number);
    }
    EXPECT_EQ(run.Numbers(), numbers) << "step " << step;
    for (const int mode : {0, 1}) {
      EXPECT_EQ(store.Loads(key, mode), loads[mode][key.Packed()]) << "step " << step;
    }
  };

  for (int step = 0; step < 6000; ++step) {
    const int what = below(100);
    if (what < 1) {
      // More staves, measures or layers: the frames move within their blocks.
      instruments = std::min(instruments + below(2), 6);
      measures = std::min(measures + below(40), 160);
      layers = std::min(layers + below(2), 4);
      store.Grow(instruments, measures, layers);
    } else if (what < 45) {
      // Puts, half of them into one crowded corner so that its block fills with old bytes.
      FrameKey key = anyKey();
      if (what < 25) key = FrameKey{1, static_cast<int16_t>(1 + below(3)), 0};
      Entries entries(static_cast<size_t>(below(what < 5 ? 1 : 9)));
      for (QXEntry& e : entries) e = entry();
      ASSERT_TRUE(store.Put(key, entries));
      if (entries.empty()) {
        frames.erase(key.Packed());
      } else {
        frames[key.Packed()] = entries;
      }
    } else if (what < 75) {
      if (frames.empty()) continue;
      auto it = frames.begin();
      std::advance(it, below(static_cast<int>(frames.size())));
      const FrameKey key{static_cast<uint16_t>(it->first >> 32), static_cast<int16_t>(it->first >> 16),
                         static_cast<uint16_t>(it->first)};
      const size_t index = static_cast<size_t>(below(static_cast<int>(it->second.size())));
      // Mostly a flag (same size), else other note slots (grown or shrunk).
      QXEntry changed = below(3) == 0 ? entry() : it->second[index];
      changed.flags ^= 0x10u;
      ASSERT_TRUE(store.Edit(key, index, [&changed](QXEntry& e) { e = changed; }));
      it->second[index] = changed;
      EXPECT_FALSE(store.Edit(key, it->second.size(), [](QXEntry&) {}));
    } else if (what < 98) {
      const FrameKey key = anyKey();
      const int mode = below(2);
      const std::optional<FrameStore::Run> run = store.Load(key, mode);
      ASSERT_TRUE(run.has_value());
      ++loads[mode][key.Packed()];
      Entries laidOut(run->count);
      run->LayOut(laidOut.data());
      const auto found = frames.find(key.Packed());
      EXPECT_TRUE(Same(laidOut, found != frames.end() ? found->second : Entries{})) << "step " << step;
    } else {
      store.ResetLoads();
      loads[0].clear();
      loads[1].clear();
    }
    if (step % 97 == 0) {
      for (int i = 1; i <= instruments; ++i) {
        for (int m = 1; m <= measures; ++m) {
          for (int l = 0; l < layers; ++l) {
            check(FrameKey{static_cast<uint16_t>(i), static_cast<int16_t>(m), static_cast<uint16_t>(l)}, step);
          }
        }
      }
      if (HasFatalFailure() || HasFailure()) return;
    }
  }
  // Keys the store does not cover hold nothing and take nothing.
  const FrameKey outside{static_cast<uint16_t>(store.Instruments() + 1), 1, 0};
  EXPECT_FALSE(store.Covers(outside));
  EXPECT_FALSE(store.Load(outside, 0).has_value());
  EXPECT_FALSE(store.Put(outside, Entries(1)));
  EXPECT_FALSE(store.Put(FrameKey{1, 1, 0}, Entries(FrameStore::kMostEntries + 1)));
  EXPECT_EQ(store.Read(FrameKey{1, 0, 0}).count, 0u);
}

}  // namespace
