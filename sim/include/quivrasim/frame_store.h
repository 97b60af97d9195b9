// The host's frames: the note entries of each staff, measure and layer,
// packed, with how often the plug-in loaded each one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "quivra/qx_layout.h"

namespace quivrasim {

struct FrameKey {
  uint16_t instrument;
  int16_t measure;
  uint16_t layer;
  uint64_t Packed() const {
    return (uint64_t{instrument} << 32) | (uint64_t{static_cast<uint16_t>(measure)} << 16) | layer;
  }
  bool operator==(const FrameKey&) const = default;
};

using Entries = std::vector<QXEntry>;

// Frames are kept in blocks of 32 measures across all staves, each block
// with its entries in one run of bytes. A plug-in reads staff by staff or
// measure by measure across the staves (a tempo map does); either way the
// next frame's place and entries lie in the block it is reading, so a load
// costs about the same in both orders.
//
// An entry is packed: the note slots up to the last one in use, not all
// twelve (a one-note entry takes 37 bytes instead of 146). A frame whose
// entries change is written again at the end of its block; a block is
// packed afresh, in store order, once more than half its bytes are old.
class FrameStore {
 public:
  // The store holds frames of instruments 1..instruments, measures 1..measures
  // and layers 0..layers-1: at least those, as given, after a Grow.
  void Grow(int instruments, int measures, int layers);
  bool Covers(FrameKey key) const {
    return key.instrument >= 1 && key.instrument <= m_instruments && key.measure >= 1 && key.measure <= m_measures &&
           key.layer < m_layers;
  }
  int Instruments() const { return m_instruments; }
  int Measures() const { return m_measures; }
  int Layers() const { return m_layers; }

  // A frame's entries where the store keeps them, until it next changes.
  struct Run {
    const unsigned char* packed = nullptr;
    size_t count = 0;
    // Writes the entries, laid out in full, to room for count of them.
    void LayOut(QXEntry* entries) const;
    // The entries' numbers, in order.
    std::vector<uint32_t> Numbers() const;
  };
  // A frame's entries, not counted as a load; none for a frame not covered.
  Run Read(FrameKey key) const;
  // Replaces a frame's entries (none: the frame has none); false, and nothing
  // changed, for a frame not covered or more than kMostEntries entries.
  bool Put(FrameKey key, const Entries& entries);
  // Changes the index-th entry of a frame; false when there is none.
  bool Edit(FrameKey key, size_t index, const std::function<void(QXEntry&)>& edit);

  // A load by the plug-in, counted by load mode (0, or any other) up to 65535;
  // none for a frame not covered.
  std::optional<Run> Load(FrameKey key, int mode);
  int Loads(FrameKey key, int mode) const;
  void ResetLoads();

  // A frame handed out counts its entries in 16 signed bits.
  static constexpr size_t kMostEntries = INT16_MAX;

 private:
  static constexpr int kBlockMeasures = 32;
  struct StoredFrame {
    uint32_t at = 0;           // where its entries start in the block's bytes
    uint16_t count = 0;        // entries
    uint16_t loads[2] = {0, 0};  // by load mode
  };
  static_assert(sizeof(StoredFrame) == 12);
  struct Block {
    std::vector<StoredFrame> frames;  // by instrument, measure, layer
    std::vector<unsigned char> bytes;
    size_t unused = 0;  // bytes of entries no frame holds any more
  };
  // A covered frame and its block; none for another. Inline: every load asks.
  const StoredFrame* Find(FrameKey key, const Block** block) const {
    if (!Covers(key)) return nullptr;
    const auto measure = static_cast<size_t>(key.measure - 1);
    *block = &m_blocks[measure / kBlockMeasures];
    const size_t row = (static_cast<size_t>(key.instrument) - 1) * kBlockMeasures + measure % kBlockMeasures;
    return &(*block)->frames[row * static_cast<size_t>(m_layers) + key.layer];
  }
  StoredFrame* Find(FrameKey key, Block** block) {
    const Block* found = nullptr;
    const StoredFrame* frame = std::as_const(*this).Find(key, &found);
    *block = const_cast<Block*>(found);
    return const_cast<StoredFrame*>(frame);
  }
  void Append(Block& block, StoredFrame& frame, const unsigned char* packed, size_t size, size_t count);
  void Release(Block& block, const StoredFrame& frame);
  static void Repack(Block& block);

  std::vector<Block> m_blocks;
  int m_instruments = 0;
  int m_measures = 0;  // a whole number of blocks
  int m_layers = 0;
};

}  // namespace quivrasim
