#include "quivrasim/frame_store.h"

#include <algorithm>
#include <cstring>

namespace quivrasim {

namespace {

// A packed entry: the entry's bytes before its note slots and from its
// position on, the number of note slots kept, and those slots. Slots after
// the last one in use are all zero and are left out.
constexpr size_t kHead = offsetof(QXEntry, notes);
constexpr size_t kTail = sizeof(QXEntry) - offsetof(QXEntry, position);
constexpr size_t kSlot = sizeof(QXNoteSlot);
constexpr size_t kLongestPacked = kHead + kTail + 1 + kQXMaxNotes * kSlot;
static_assert(kHead + kQXMaxNotes * kSlot + kTail == sizeof(QXEntry));

const unsigned char* BytesOf(const QXEntry& entry) { return reinterpret_cast<const unsigned char*>(&entry); }

size_t SlotsKept(const QXEntry& entry) {
  const unsigned char* slots = BytesOf(entry) + kHead;
  size_t kept = kQXMaxNotes;
  while (kept > 0 && std::all_of(slots + (kept - 1) * kSlot, slots + kept * kSlot, [](unsigned char b) { return b == 0; })) {
    --kept;
  }
  return kept;
}

size_t PackedSize(const unsigned char* packed) { return kHead + kTail + 1 + packed[kHead + kTail] * kSlot; }

size_t RunSize(const unsigned char* packed, size_t count) {
  size_t size = 0;
  for (size_t i = 0; i < count; ++i) size += PackedSize(packed + size);
  return size;
}

// Packs an entry at `out`; returns where the next one goes.
unsigned char* PackEntry(const QXEntry& entry, unsigned char* out) {
  const size_t slots = SlotsKept(entry);
  const unsigned char* bytes = BytesOf(entry);
  std::memcpy(out, bytes, kHead);
  std::memcpy(out + kHead, bytes + offsetof(QXEntry, position), kTail);
  out[kHead + kTail] = static_cast<unsigned char>(slots);
  std::memcpy(out + kHead + kTail + 1, bytes + kHead, slots * kSlot);
  return out + kHead + kTail + 1 + slots * kSlot;
}

// Lays out the entry packed at `packed`; returns where the next one starts.
const unsigned char* UnpackEntry(const unsigned char* packed, QXEntry* entry) {
  auto* bytes = reinterpret_cast<unsigned char*>(entry);
  const size_t slots = packed[kHead + kTail];
  std::memcpy(bytes, packed, kHead);
  // Copies of fixed sizes, slot by slot: they compile to plain moves, where
  // copies sized by the slot count take a library call that branches on it.
  std::memset(bytes + kHead, 0, kQXMaxNotes * kSlot);
  for (size_t slot = 0; slot < slots; ++slot) {
    std::memcpy(bytes + kHead + slot * kSlot, packed + kHead + kTail + 1 + slot * kSlot, kSlot);
  }
  std::memcpy(bytes + offsetof(QXEntry, position), packed + kHead, kTail);
  return packed + kHead + kTail + 1 + slots * kSlot;
}

uint32_t PackedNumber(const unsigned char* packed) {
  uint32_t number = 0;
  std::memcpy(&number, packed + offsetof(QXEntry, number), sizeof number);
  return number;
}

}  // namespace

// ---- Layout ----

void FrameStore::Grow(int instruments, int measures, int layers) {
  instruments = std::max(instruments, m_instruments);
  layers = std::max(layers, m_layers);
  if (instruments != m_instruments || layers != m_layers) {
    // The frames' places within each block move; their entries stay.
    const size_t size = static_cast<size_t>(instruments) * kBlockMeasures * static_cast<size_t>(layers);
    for (Block& block : m_blocks) {
      std::vector<StoredFrame> frames(size);
      for (size_t from = 0; from < block.frames.size(); ++from) {
        const size_t layer = from % static_cast<size_t>(m_layers);
        const size_t row = from / static_cast<size_t>(m_layers);  // instrument and measure
        frames[row * static_cast<size_t>(layers) + layer] = block.frames[from];
      }
      block.frames = std::move(frames);
    }
    m_instruments = instruments;
    m_layers = layers;
  }
  const size_t blocks = (static_cast<size_t>(std::max(measures, 0)) + kBlockMeasures - 1) / kBlockMeasures;
  while (m_blocks.size() < blocks) {
    m_blocks.emplace_back();
    m_blocks.back().frames.resize(static_cast<size_t>(m_instruments) * kBlockMeasures * static_cast<size_t>(m_layers));
  }
  m_measures = static_cast<int>(m_blocks.size()) * kBlockMeasures;
}

// ---- Reading ----

void FrameStore::Run::LayOut(QXEntry* entries) const {
  const unsigned char* at = packed;
  for (size_t i = 0; i < count; ++i) at = UnpackEntry(at, &entries[i]);
}

std::vector<uint32_t> FrameStore::Run::Numbers() const {
  std::vector<uint32_t> numbers;
  const unsigned char* at = packed;
  for (size_t i = 0; i < count; ++i, at += PackedSize(at)) numbers.push_back(PackedNumber(at));
  return numbers;
}

FrameStore::Run FrameStore::Read(FrameKey key) const {
  const Block* block = nullptr;
  const StoredFrame* frame = Find(key, &block);
  return frame != nullptr ? Run{block->bytes.data() + frame->at, frame->count} : Run{};
}

std::optional<FrameStore::Run> FrameStore::Load(FrameKey key, int mode) {
  Block* block = nullptr;
  StoredFrame* frame = Find(key, &block);
  if (frame == nullptr) return std::nullopt;
  uint16_t& loads = frame->loads[mode == 0 ? 0 : 1];
  if (loads < UINT16_MAX) ++loads;
  return Run{block->bytes.data() + frame->at, frame->count};
}

int FrameStore::Loads(FrameKey key, int mode) const {
  const Block* block = nullptr;
  const StoredFrame* frame = Find(key, &block);
  if (frame == nullptr) return 0;
  return mode < 0 ? frame->loads[0] + frame->loads[1] : frame->loads[mode == 0 ? 0 : 1];
}

void FrameStore::ResetLoads() {
  for (Block& block : m_blocks) {
    for (StoredFrame& frame : block.frames) frame.loads[0] = frame.loads[1] = 0;
  }
}

// ---- Writing ----

void FrameStore::Release(Block& block, const StoredFrame& frame) {
  block.unused += RunSize(block.bytes.data() + frame.at, frame.count);
}

void FrameStore::Append(Block& block, StoredFrame& frame, const unsigned char* packed, size_t size, size_t count) {
  Release(block, frame);
  frame.at = static_cast<uint32_t>(block.bytes.size());
  frame.count = static_cast<uint16_t>(count);
  block.bytes.insert(block.bytes.end(), packed, packed + size);
  // A block edited over and over would grow without end.
  if (block.unused > 4096 && block.unused * 2 > block.bytes.size()) Repack(block);
}

void FrameStore::Repack(Block& block) {
  std::vector<unsigned char> bytes;
  bytes.reserve(block.bytes.size() - block.unused);
  for (StoredFrame& frame : block.frames) {
    const unsigned char* run = block.bytes.data() + frame.at;
    const size_t size = RunSize(run, frame.count);
    frame.at = static_cast<uint32_t>(bytes.size());
    bytes.insert(bytes.end(), run, run + size);
  }
  block.bytes = std::move(bytes);
  block.unused = 0;
}

bool FrameStore::Put(FrameKey key, const Entries& entries) {
  Block* block = nullptr;
  StoredFrame* frame = Find(key, &block);
  if (frame == nullptr || entries.size() > kMostEntries) return false;
  std::vector<unsigned char> packed(entries.size() * kLongestPacked);
  unsigned char* out = packed.data();
  for (const QXEntry& entry : entries) out = PackEntry(entry, out);
  Append(*block, *frame, packed.data(), static_cast<size_t>(out - packed.data()), entries.size());
  return true;
}

bool FrameStore::Edit(FrameKey key, size_t index, const std::function<void(QXEntry&)>& edit) {
  Block* block = nullptr;
  StoredFrame* frame = Find(key, &block);
  if (frame == nullptr || index >= frame->count) return false;
  unsigned char* run = block->bytes.data() + frame->at;
  const size_t offset = RunSize(run, index);
  QXEntry entry;
  const size_t size = static_cast<size_t>(UnpackEntry(run + offset, &entry) - (run + offset));
  edit(entry);
  unsigned char packed[kLongestPacked];
  const size_t newSize = static_cast<size_t>(PackEntry(entry, packed) - packed);
  // Mostly flags: the entry keeps its size and is written over in place.
  if (newSize == size) {
    std::memcpy(run + offset, packed, size);
    return true;
  }
  const size_t runSize = RunSize(run, frame->count);
  std::vector<unsigned char> changed(run, run + offset);
  changed.insert(changed.end(), packed, packed + newSize);
  changed.insert(changed.end(), run + offset + size, run + runSize);
  Append(*block, *frame, changed.data(), changed.size(), frame->count);
  return true;
}

}  // namespace quivrasim
