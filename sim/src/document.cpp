#include "quivrasim/document.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "quivra/qx_records.h"

namespace quivrasim {

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

bool Document::CoverFrame(FrameKey key) {
  if (m_frames.Covers(key)) return true;
  if (key.instrument < 1 || key.measure < 1) return false;
  // Room for twice the staves, so that a growing score is not laid out again each time.
  const int instruments = std::max<int>(key.instrument, m_nextInstrument - 1);
  m_frames.Grow(instruments > m_frames.Instruments() ? std::max(instruments, 2 * m_frames.Instruments()) : 0,
                std::max<int>(key.measure, m_measureCount), std::max<int>(key.layer + 1, m_maxLayers));
  return true;
}

std::optional<Entries> Document::Frame(FrameKey key) const {
  const FrameStore::Run run = m_frames.Read(key);
  if (run.count == 0) return std::nullopt;
  Entries entries(run.count);
  run.LayOut(entries.data());
  return entries;
}

FrameStore::Run Document::LoadFrame(FrameKey key, int mode) {
  std::optional<FrameStore::Run> run = m_frames.Load(key, mode);
  if (!run && CoverFrame(key)) run = m_frames.Load(key, mode);
  return run.value_or(FrameStore::Run{});
}

int Document::Loads(FrameKey key, int mode) const { return m_frames.Loads(key, mode); }

void Document::ResetLoads() { m_frames.ResetLoads(); }

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

void Document::UnindexFrame(FrameKey key) {
  for (const uint32_t number : m_frames.Read(key).Numbers()) {
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
  UnindexFrame(key);
  if (!CoverFrame(key) || !m_frames.Put(key, entries)) {
    // Refused (no such frame, or more entries than a frame holds): it stays as it was.
    entries = Frame(key).value_or(Entries{});
  }
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
  return m_frames.Edit(location->first, static_cast<size_t>(location->second), edit);
}

void Document::RestoreFrame(FrameKey key, const std::optional<Entries>& entries) {
  UnindexFrame(key);
  const Entries none;
  if (CoverFrame(key)) m_frames.Put(key, entries ? *entries : none);
  IndexFrame(key, entries ? *entries : none);
}

uint64_t Document::Fingerprint() const {
  uint64_t hash = 1469598103934665603ull;  // FNV-1a
  auto mix = [&hash](const void* data, size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
  };
  for (int instrument = 1; instrument <= m_frames.Instruments(); ++instrument) {
    for (int measure = 1; measure <= m_frames.Measures(); ++measure) {
      for (int layer = 0; layer < m_frames.Layers(); ++layer) {
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
