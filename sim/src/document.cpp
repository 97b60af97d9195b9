#include "quivrasim/document.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "quivra/qx_records.h"

namespace quivrasim {

namespace {

// A packed entry: the entry's bytes before its note slots and from its
// position on, the number of note slots kept, and those slots. Slots after
// the last one in use are all zero and are left out.
constexpr size_t kHead = offsetof(QXEntry, notes);
constexpr size_t kTail = sizeof(QXEntry) - offsetof(QXEntry, position);
constexpr size_t kSlot = sizeof(QXNoteSlot);
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

unsigned char* PackEntry(const QXEntry& entry, size_t slots, unsigned char* out) {
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
  std::memcpy(bytes + kHead, packed + kHead + kTail + 1, slots * kSlot);
  std::memset(bytes + kHead + slots * kSlot, 0, (kQXMaxNotes - slots) * kSlot);
  std::memcpy(bytes + offsetof(QXEntry, position), packed + kHead, kTail);
  return packed + kHead + kTail + 1 + slots * kSlot;
}

uint32_t PackedNumber(const unsigned char* packed) {
  uint32_t number = 0;
  std::memcpy(&number, packed + offsetof(QXEntry, number), sizeof number);
  return number;
}

}  // namespace

Document::Document() {
  m_layerShown.assign(static_cast<size_t>(m_maxLayers), true);
  m_records.SetChangeHook([this](uint32_t tag, const RecordKey& key, const std::optional<Bytes>& before) {
    if (tag == kQXTagMeasureSpec && key.a < m_lengths.size()) m_lengths[key.a] = -1;
    JournalRecord(tag, key, before);
  });
}

// ---- Structure ----

uint16_t Document::AddStaff() {
  const uint16_t instrument = m_nextInstrument++;
  m_slots.push_back(instrument);
  m_slotOf.resize(static_cast<size_t>(instrument) + 1, 0);
  m_slotOf[instrument] = static_cast<int>(m_slots.size());
  return instrument;
}

uint16_t Document::InstrumentAt(int slot) const {
  if (slot < 1 || slot > StaffCount()) return 0;
  return m_slots[static_cast<size_t>(slot - 1)];
}

int Document::SlotOf(uint16_t instrument) const {
  return instrument < m_slotOf.size() ? m_slotOf[instrument] : 0;
}

void Document::Reorder(const std::vector<uint16_t>& instruments) {
  std::vector<uint16_t> sorted = instruments;
  std::vector<uint16_t> current = m_slots;
  std::sort(sorted.begin(), sorted.end());
  std::sort(current.begin(), current.end());
  if (sorted != current) return;
  m_slots = instruments;
  for (size_t slot = 0; slot < m_slots.size(); ++slot) m_slotOf[m_slots[slot]] = static_cast<int>(slot) + 1;
}

void Document::SetMeasureCount(int count, int32_t length) {
  for (int measure = m_measureCount + 1; measure <= count; ++measure) SetMeasureLength(measure, length);
  m_measureCount = std::max(m_measureCount, count);
}

int32_t Document::MeasureLength(int measure) const {
  if (measure < 1) return 0;
  const auto index = static_cast<size_t>(measure);
  if (index >= m_lengths.size()) m_lengths.resize(index + 1, -1);
  if (m_lengths[index] < 0) {
    const Bytes* spec = m_records.Find(kQXTagMeasureSpec, RecordKey{static_cast<uint32_t>(measure), 0, 0});
    QXMeasureSpec record{};
    if (spec != nullptr) std::memcpy(&record, spec->data(), sizeof record);
    m_lengths[index] = int32_t{record.beats} * record.beatLength;
  }
  return m_lengths[index];
}

void Document::SetMeasureLength(int measure, int32_t length) {
  QXMeasureSpec record{};
  const RecordKey key{static_cast<uint32_t>(measure), 0, 0};
  if (const Bytes* spec = m_records.Find(kQXTagMeasureSpec, key)) std::memcpy(&record, spec->data(), sizeof record);
  // A length that is a whole number of quarters is kept as quarter beats.
  if (length % kQXQuarter == 0) {
    record.beats = static_cast<int16_t>(length / kQXQuarter);
    record.beatLength = kQXQuarter;
  } else {
    record.beats = 1;
    record.beatLength = static_cast<int16_t>(length);
  }
  Bytes bytes(sizeof record, 0);
  std::memcpy(bytes.data(), &record, sizeof record);
  m_records.Put(kQXTagMeasureSpec, key, std::move(bytes));
}

void Document::SetMaxLayers(int layers) {
  m_maxLayers = std::clamp(layers, 1, 16);
  m_layerShown.resize(static_cast<size_t>(m_maxLayers), true);
}

bool Document::LayerShown(int layer) const {
  return layer >= 0 && layer < m_maxLayers && m_layerShown[static_cast<size_t>(layer)];
}

void Document::ShowLayer(int layer, bool shown) {
  if (layer >= 0 && layer < m_maxLayers) m_layerShown[static_cast<size_t>(layer)] = shown;
}

// ---- Frames ----

size_t Document::Index(FrameKey key) const {
  if (key.instrument < 1 || key.instrument > m_storeInstruments || key.measure < 1 ||
      key.measure > m_storeMeasures || key.layer >= m_storeLayers) {
    return kNoFrame;
  }
  return (static_cast<size_t>(key.instrument - 1) * static_cast<size_t>(m_storeMeasures) +
          static_cast<size_t>(key.measure - 1)) *
             static_cast<size_t>(m_storeLayers) +
         key.layer;
}

void Document::Relayout(int instruments, int measures, int layers) {
  std::vector<StoredFrame> store(static_cast<size_t>(instruments) * static_cast<size_t>(measures) *
                                 static_cast<size_t>(layers));
  const std::vector<StoredFrame> old = std::move(m_store);
  const int oldInstruments = m_storeInstruments;
  const int oldMeasures = m_storeMeasures;
  const int oldLayers = m_storeLayers;
  m_store = std::move(store);
  // Most staves have a frame in every measure: room for one each.
  m_entries.reserve(static_cast<size_t>(instruments) * static_cast<size_t>(measures));
  m_storeInstruments = instruments;
  m_storeMeasures = measures;
  m_storeLayers = layers;
  for (int instrument = 1; instrument <= oldInstruments; ++instrument) {
    for (int measure = 1; measure <= oldMeasures; ++measure) {
      for (int layer = 0; layer < oldLayers; ++layer) {
        const size_t from = (static_cast<size_t>(instrument - 1) * static_cast<size_t>(oldMeasures) +
                             static_cast<size_t>(measure - 1)) *
                                static_cast<size_t>(oldLayers) +
                            static_cast<size_t>(layer);
        const size_t to = Index({static_cast<uint16_t>(instrument), static_cast<int16_t>(measure),
                                 static_cast<uint16_t>(layer)});
        if (to != kNoFrame) m_store[to] = old[from];
      }
    }
  }
}

Document::StoredFrame* Document::Slot(FrameKey key, bool grow) {
  size_t index = Index(key);
  if (index == kNoFrame && grow && key.instrument >= 1 && key.measure >= 1) {
    // Room for twice the staves, so that a growing score is not laid out again each time.
    Relayout(std::max<int>(2 * m_storeInstruments, std::max<int>(key.instrument, m_nextInstrument - 1)),
             std::max<int>(m_storeMeasures, std::max<int>(key.measure, m_measureCount)),
             std::max<int>(m_storeLayers, std::max<int>(key.layer + 1, m_maxLayers)));
    index = Index(key);
  }
  return index == kNoFrame ? nullptr : &m_store[index];
}

Document::PackedEntries& Document::EntriesOf(StoredFrame& slot) {
  if (slot.entries == 0) {
    m_entries.emplace_back();
    slot.entries = static_cast<uint32_t>(m_entries.size());
  }
  return m_entries[slot.entries - 1];
}

const Document::PackedEntries* Document::EntriesIn(const StoredFrame& slot) const {
  if (slot.entries == 0 || m_entries[slot.entries - 1].count == 0) return nullptr;
  return &m_entries[slot.entries - 1];
}

const Document::PackedEntries* Document::EntriesIn(FrameKey key) const {
  const size_t index = Index(key);
  return index == kNoFrame ? nullptr : EntriesIn(m_store[index]);
}

void Document::Pack(FrameKey key, const Entries& entries) {
  size_t size = 0;
  for (const QXEntry& entry : entries) size += kHead + kTail + 1 + SlotsKept(entry) * kSlot;
  PackedEntries packed{std::vector<unsigned char>(size), entries.size()};
  unsigned char* out = packed.bytes.data();
  for (const QXEntry& entry : entries) out = PackEntry(entry, SlotsKept(entry), out);
  EntriesOf(*Slot(key, true)) = std::move(packed);
}

std::optional<Entries> Document::Frame(FrameKey key) const {
  const PackedEntries* packed = EntriesIn(key);
  if (packed == nullptr) return std::nullopt;
  Entries entries(packed->count);
  LayOut(key, entries.data());
  return entries;
}

void Document::LayOut(FrameKey key, QXEntry* entries) const {
  const PackedEntries* packed = EntriesIn(key);
  if (packed == nullptr) return;
  const unsigned char* at = packed->bytes.data();
  for (size_t i = 0; i < packed->count; ++i) at = UnpackEntry(at, &entries[i]);
}

size_t Document::LoadFrame(FrameKey key, int mode) {
  StoredFrame* slot = Slot(key, true);
  if (slot == nullptr) return 0;
  uint16_t& loads = slot->loads[mode == 0 ? 0 : 1];
  if (loads < UINT16_MAX) ++loads;
  const PackedEntries* packed = EntriesIn(*slot);
  return packed == nullptr ? 0 : packed->count;
}

int Document::Loads(FrameKey key, int mode) const {
  const size_t index = Index(key);
  if (index == kNoFrame) return 0;
  const StoredFrame& slot = m_store[index];
  return mode < 0 ? slot.loads[0] + slot.loads[1] : slot.loads[mode == 0 ? 0 : 1];
}

void Document::ResetLoads() {
  for (StoredFrame& slot : m_store) slot.loads[0] = slot.loads[1] = 0;
}

void Document::ComputePositions(Entries& entries) const {
  // Each running tuplet scales what it spans: nested ones multiply.
  struct Running {
    int left;
    int32_t actual;
    int32_t normal;
  };
  std::vector<Running> running;
  int32_t position = 0;
  for (QXEntry& entry : entries) {
    if ((entry.flags & kQXEntryTuplet) != 0 && entry.number != 0) {
      for (const QXTuplet& tuplet : TupletsAt(entry.number)) running.push_back({tuplet.entries, tuplet.actual, tuplet.normal});
    }
    int64_t length = entry.duration;
    int64_t divisor = 1;
    for (const Running& tuplet : running) {
      length *= tuplet.normal;
      divisor *= tuplet.actual;
    }
    length /= divisor;
    if ((entry.flags & kQXEntryGrace) != 0) length = 0;
    for (Running& tuplet : running) --tuplet.left;
    std::erase_if(running, [](const Running& tuplet) { return tuplet.left <= 0; });
    entry.position = position;
    entry.length = static_cast<int32_t>(length);
    position += static_cast<int32_t>(length);
  }
}

std::vector<QXTuplet> Document::TupletsAt(uint32_t entry) const {
  std::vector<QXTuplet> tuplets;
  for (uint32_t incidence = 0;; ++incidence) {
    const Bytes* stored = m_records.Find(kQXTagTuplet, RecordKey{entry, incidence, 0});
    if (stored == nullptr) break;
    if (stored->size() < sizeof(QXTuplet)) continue;
    QXTuplet tuplet;
    std::memcpy(&tuplet, stored->data(), sizeof tuplet);
    if (tuplet.entries > 0 && tuplet.actual > 0 && tuplet.normal > 0) tuplets.push_back(tuplet);
  }
  std::stable_sort(tuplets.begin(), tuplets.end(),
                   [](const QXTuplet& a, const QXTuplet& b) { return a.entries > b.entries; });
  return tuplets;
}

void Document::IndexFrame(FrameKey key, const Entries& entries) {
  for (size_t i = 0; i < entries.size(); ++i) {
    // Entries are packed: the number is copied out before it is used as a key.
    const uint32_t number = entries[i].number;
    if (number == 0) continue;
    const EntryPlace place{key, static_cast<int>(i)};
    if (number < uint64_t{m_nextEntryNumber} + kNearEntries) {
      if (number >= m_entryPlaces.size()) m_entryPlaces.resize(number + size_t{1} + m_entryPlaces.size() / 2);
      m_entryPlaces[number] = place;
      if (!m_farEntryPlaces.empty()) m_farEntryPlaces.erase(number);
    } else {
      m_farEntryPlaces[number] = place;
    }
  }
}

void Document::UnindexFrame(const PackedEntries& entries) {
  const unsigned char* at = entries.bytes.data();
  for (size_t i = 0; i < entries.count; ++i, at += PackedSize(at)) {
    const uint32_t number = PackedNumber(at);
    if (number < m_entryPlaces.size()) m_entryPlaces[number] = EntryPlace{};
    if (!m_farEntryPlaces.empty()) m_farEntryPlaces.erase(number);
  }
}

Entries Document::StoreFrame(FrameKey key, Entries entries) {
  JournalFrame(key);
  for (QXEntry& entry : entries) {
    if (entry.number != 0) continue;
    entry.number = m_nextEntryNumber++;
    const RecordKey first{entry.number, 0, 0};
    if (m_tupletPartOnSave && (m_records.Find(kQXTagTupletStart, first) != nullptr ||
                               m_records.Find(kQXTagTupletEnd, first) != nullptr)) {
      entry.flags |= kQXEntryTupletPart;
    }
  }
  ComputePositions(entries);
  if (const PackedEntries* old = EntriesIn(*Slot(key, true))) UnindexFrame(*old);
  Pack(key, entries);
  IndexFrame(key, entries);
  ++m_revision;
  return entries;
}

std::optional<std::pair<FrameKey, int>> Document::FindEntry(uint32_t number) const {
  if (number < m_entryPlaces.size() && m_entryPlaces[number].index >= 0) {
    return std::make_pair(m_entryPlaces[number].frame, m_entryPlaces[number].index);
  }
  if (m_farEntryPlaces.empty()) return std::nullopt;
  const auto far = m_farEntryPlaces.find(number);
  if (far == m_farEntryPlaces.end()) return std::nullopt;
  return std::make_pair(far->second.frame, far->second.index);
}

bool Document::EditEntry(uint32_t number, const std::function<void(QXEntry&)>& edit) {
  const auto location = FindEntry(number);
  if (!location) return false;
  JournalFrame(location->first);
  ++m_revision;
  std::vector<unsigned char>& bytes = EntriesOf(*Slot(location->first, false)).bytes;
  size_t offset = 0;
  for (int i = 0; i < location->second; ++i) offset += PackedSize(bytes.data() + offset);
  QXEntry entry;
  const size_t size = static_cast<size_t>(UnpackEntry(bytes.data() + offset, &entry) - (bytes.data() + offset));
  edit(entry);
  const size_t slots = SlotsKept(entry);
  unsigned char packed[sizeof(QXEntry) + 1];
  const size_t newSize = static_cast<size_t>(PackEntry(entry, slots, packed) - packed);
  // Mostly flags: the entry keeps its size and is written over in place.
  const auto at = bytes.begin() + static_cast<std::ptrdiff_t>(offset);
  if (newSize != size) {
    bytes.erase(at, at + static_cast<std::ptrdiff_t>(size));
    bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(offset), packed, packed + newSize);
  } else {
    std::memcpy(bytes.data() + offset, packed, newSize);
  }
  return true;
}

void Document::RestoreFrame(FrameKey key, const std::optional<Entries>& entries) {
  if (const PackedEntries* old = EntriesIn(*Slot(key, true))) UnindexFrame(*old);
  const Entries none;
  Pack(key, entries ? *entries : none);
  IndexFrame(key, entries ? *entries : none);
}

uint64_t Document::Fingerprint() const {
  uint64_t hash = 1469598103934665603ull;  // FNV-1a
  auto mix = [&hash](const void* data, size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
  };
  for (int instrument = 1; instrument <= m_storeInstruments; ++instrument) {
    for (int measure = 1; measure <= m_storeMeasures; ++measure) {
      for (int layer = 0; layer < m_storeLayers; ++layer) {
        const FrameKey key{static_cast<uint16_t>(instrument), static_cast<int16_t>(measure),
                           static_cast<uint16_t>(layer)};
        const std::optional<Entries> entries = Frame(key);
        if (!entries) continue;
        mix(&key, sizeof key);
        mix(entries->data(), entries->size() * sizeof(QXEntry));
      }
    }
  }
  for (const uint32_t tag : m_records.Tags()) {
    for (const auto& [key, bytes] : m_records.All(tag)) {
      mix(&tag, sizeof tag);
      mix(&key, sizeof key);
      mix(bytes->data(), bytes->size());
    }
  }
  return hash;
}

namespace {

// Flags of an entry that say it has records of a kind.
struct EntryFlagRule {
  uint32_t tag;
  bool secondWord;
  uint32_t bit;
};

const EntryFlagRule kEntryFlagRules[] = {
    {kQXTagEntrySize, false, kQXEntrySpecial},      {kQXTagCrossNote, false, kQXEntrySpecial},
    {kQXTagAccidentalHint, false, kQXEntrySpecial}, {kQXTagArticulation, false, kQXEntryArticulations},
    {kQXTagLyricVerse, false, kQXEntryLyrics},      {kQXTagLyricSection, false, kQXEntryLyrics},
    {kQXTagLyricChorus, false, kQXEntryLyrics},     {kQXTagTuplet, false, kQXEntryTuplet},
    {kQXTagDynamicsDE, false, kQXEntryDynamics},    {kQXTagDynamicsUE, false, kQXEntryDynamics},
    {kQXTagTupletStart, false, kQXEntryTupletPart}, {kQXTagTupletEnd, false, kQXEntryTupletPart},
    {kQXTagStemAdjust, false, kQXEntryStemRecord},  {kQXTagBeamST, false, kQXEntryBeamRecords},
    {kQXTagBeamSt, false, kQXEntryBeamRecords},     {kQXTagBeamBL, false, kQXEntryBeamRecords},
    {kQXTagBeamBH, false, kQXEntryBeamRecords},     {kQXTagBeambL, false, kQXEntryBeamRecords},
    {kQXTagBeambH, false, kQXEntryBeamRecords},     {kQXTagBeamSU, false, kQXEntryBeamRecords},
    {kQXTagBeamsl, false, kQXEntryBeamRecords},     {kQXTagEntryExpr, true, kQXEntry2Expressions},
    {kQXTagEntryShapeLink, true, kQXEntry2SmartShapes},
};

}  // namespace

void Document::RefreshEntryFlags(uint32_t tag, uint32_t entryNumber) {
  const EntryFlagRule* rule = nullptr;
  for (const EntryFlagRule& r : kEntryFlagRules) {
    if (r.tag == tag) rule = &r;
  }
  if (rule == nullptr || !FindEntry(entryNumber)) return;
  // The tag itself first: after a create it decides at once.
  bool any = m_records.LastSibling(tag, KeyScheme::EntryIncidence, RecordKey{entryNumber, 0, 0}).has_value();
  for (const EntryFlagRule& r : kEntryFlagRules) {
    if (any) break;
    if (r.secondWord != rule->secondWord || r.bit != rule->bit) continue;
    if (m_records.LastSibling(r.tag, KeyScheme::EntryIncidence, RecordKey{entryNumber, 0, 0})) any = true;
  }
  EditEntry(entryNumber, [&](QXEntry& entry) {
    if (rule->secondWord) {
      const auto bit = static_cast<uint16_t>(rule->bit);
      entry.flags2 = static_cast<uint16_t>(any ? entry.flags2 | bit : entry.flags2 & ~bit);
    } else {
      entry.flags = any ? entry.flags | rule->bit : entry.flags & ~rule->bit;
    }
  });
}

// ---- Edits ----

void Document::JournalRecord(uint32_t tag, const RecordKey& key, const std::optional<Bytes>& before) {
  if (m_restoring) return;
  ++m_revision;
  if (!m_edit) {
    ++m_unjournaled;
    return;
  }
  // A record changed twice in one edit is journaled twice: undone in
  // reverse order, the first change's state is the one it ends in.
  m_edit->records.push_back({tag, key, before});
}

void Document::JournalFrame(FrameKey key) {
  if (m_restoring) return;
  if (!m_edit) {
    ++m_unjournaled;
    return;
  }
  if (m_editFramesSeen.emplace(key.Packed(), true).second) m_edit->frames.push_back({key, Frame(key)});
}

bool Document::BeginEdit(const std::string& label) {
  if (m_edit) return false;
  m_edit = EditRecord{label, {}, {}};
  m_editFramesSeen.clear();
  return true;
}

bool Document::EndEdit() {
  if (!m_edit) return false;
  m_undo.push_back(std::move(*m_edit));
  m_edit.reset();
  return true;
}

void Document::Revert(const EditRecord& edit) {
  m_restoring = true;
  for (auto it = edit.frames.rbegin(); it != edit.frames.rend(); ++it) RestoreFrame(it->frame, it->before);
  for (auto it = edit.records.rbegin(); it != edit.records.rend(); ++it) {
    m_records.Restore(it->tag, it->key, it->before);
  }
  m_lengths.clear();
  m_restoring = false;
  ++m_revision;
}

bool Document::CancelEdit() {
  if (!m_edit) return false;
  Revert(*m_edit);
  m_edit.reset();
  return true;
}

bool Document::Undo() {
  if (m_edit || m_undo.empty()) return false;
  Revert(m_undo.back());
  m_undo.pop_back();
  return true;
}

std::vector<std::string> Document::UndoLabels() const {
  std::vector<std::string> labels;
  for (const EditRecord& edit : m_undo) labels.push_back(edit.label);
  return labels;
}

}  // namespace quivrasim
