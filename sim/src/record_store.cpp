#include "quivrasim/record_store.h"

#include <algorithm>
#include <cstring>

#include "quivra/qx_records.h"

namespace quivrasim {

namespace {

constexpr uint32_t kAny = 0xFFFFFFFFu;

// Fixed layouts by version; a single layout serves every version.
std::vector<Layout> One(uint32_t size) { return {{0, kAny, size}}; }

const std::vector<RecordType>& Types() {
  static const std::vector<RecordType> types = {
      {kQXTagStaffSpec, "staff specification", KeyScheme::Numbered,
       {{0, kQXVersion08 - 1, kQXStaffSpecOldSize}, {kQXVersion08, kAny, 102}}, 0},
      {kQXTagMeasureSpec, "measure specification", KeyScheme::Numbered,
       {{0, kQXVersion0A - 1, kQXMeasureSpecOldSize}, {kQXVersion0A, kAny, 26}}, 0},
      {kQXTagStaffStyle, "staff style", KeyScheme::Numbered,
       {{0, kQXVersion06 - 1, 22}, {kQXVersion06, kQXVersion0A - 1, 24}, {kQXVersion0A, kAny, 28}}, 0},
      {kQXTagStaffStyle2, "staff style assignment", KeyScheme::Numbered,
       {{0, kQXVersion06 - 1, 22}, {kQXVersion06, kQXVersion0A - 1, 24}, {kQXVersion0A, kAny, 28}}, 0},
      {kQXTagTextBlock, "text block", KeyScheme::Numbered,
       {{0, kQXVersion08 + 0x00FFFFFF, 48}, {kQXVersion09, kAny, kQXTextBlock2004Size}}, 0},
      {kQXTagRawText, "raw text", KeyScheme::Numbered, {}, 0x10000},
      {kQXTagHold, "staff measure hold", KeyScheme::Triple,
       {{0, kQXVersion08 + 0x00FFFFFF, 12}, {kQXVersion09, kAny, kQXHold2004Size}}, 0},
      {kQXTagShapeExprDef, "shape expression definition", KeyScheme::Numbered,
       {{0, kQXVersion08 + 0x00FFFFFF, kQXShapeExprDefOldSize}, {kQXVersion09, kAny, 34}}, 0},
      {kQXTagTextExprDef, "text expression definition", KeyScheme::Numbered, {}, kQXTextExprDefMaxSize},
      {kQXTagMeasureExpr, "measure expression assignment", KeyScheme::Incidence,
       {{0, kQXVersion0A - 1, kQXMeasureExprOldSize}, {kQXVersion0A, kAny, 24}}, 0},
      {kQXTagEntryExpr, "entry expression assignment", KeyScheme::EntryIncidence, One(10), 0},
      {kQXTagTempoChange, "tempo change", KeyScheme::Incidence, One(12), 0},
      {kQXTagFontPref, "font preference", KeyScheme::Numbered, One(6), 0},
      {kQXTagGroup, "staff group", KeyScheme::Triple, One(32), 0},
      {kQXTagMeasureText, "measure text assignment", KeyScheme::Triple, One(10), 0},
      {kQXTagEntrySize, "entry size", KeyScheme::EntryIncidence, One(10), 0},
      {kQXTagTuplet, "tuplet", KeyScheme::EntryIncidence, One(30), 0},
      {kQXTagArticulation, "articulation", KeyScheme::EntryIncidence, One(10), 0},
      {kQXTagStemAdjust, "stem adjustment", KeyScheme::EntryIncidence, One(10), 0},
      {kQXTagBeamST, "beam detail ST", KeyScheme::EntryIncidence, One(10), 0},
      {kQXTagBeamSt, "beam detail St", KeyScheme::EntryIncidence, One(10), 0},
      {kQXTagBeamBL, "beam detail BL", KeyScheme::EntryIncidence, One(10), 0},
      {kQXTagBeamBH, "beam detail BH", KeyScheme::EntryIncidence, One(10), 0},
      {kQXTagBeambL, "beam detail bL", KeyScheme::EntryIncidence, One(10), 0},
      {kQXTagBeambH, "beam detail bH", KeyScheme::EntryIncidence, One(10), 0},
      {kQXTagBeamSU, "beam detail SU", KeyScheme::EntryIncidence, One(10), 0},
      {kQXTagBeamsl, "beam detail sl", KeyScheme::EntryIncidence, One(10), 0},
      {kQXTagDynamicsDE, "entry detail DE", KeyScheme::EntryIncidence, One(10), 0},
      {kQXTagDynamicsUE, "entry detail UE", KeyScheme::EntryIncidence, One(10), 0},
      {kQXTagTupletStart, "tuplet start", KeyScheme::EntryIncidence, One(10), 0},
      {kQXTagTupletEnd, "tuplet end", KeyScheme::EntryIncidence, One(10), 0},
      {kQXTagCrossNote, "cross-staff note", KeyScheme::EntryIncidence, One(20), 0},
      {kQXTagAccidentalHint, "accidental hint", KeyScheme::EntryIncidence, One(20), 0},
      {kQXTagLyricVerse, "lyric verse", KeyScheme::EntryIncidence, One(10), 0},
      {kQXTagLyricSection, "lyric section", KeyScheme::EntryIncidence, One(10), 0},
      {kQXTagLyricChorus, "lyric chorus", KeyScheme::EntryIncidence, One(10), 0},
      {kQXTagEntryShapeLink, "entry smart shape link", KeyScheme::EntryIncidence, One(12), 0},
      {kQXTagClefChange, "clef change", KeyScheme::Incidence, One(12), 0},
      {kQXTagChord, "chord", KeyScheme::Triple, One(30), 0},
      {kQXTagSmartShape, "smart shape", KeyScheme::Numbered, One(92), 0},
      {kQXTagShapeMeasure, "smart shape measure assignment", KeyScheme::Incidence, One(12), 0},
      {kQXTagShapeSegment, "smart shape segment", KeyScheme::OwnedNumber, One(30), 0},
      {kQXTagCompanion13, "preference companion 13", KeyScheme::Numbered, One(12), 0},
      {kQXTagCompanion36, "preference companion 36", KeyScheme::Numbered, One(12), 0},
      {kQXTagCompanion37, "preference companion 37", KeyScheme::Numbered, One(12), 0},
      {kQXTagCompanion39, "preference companion 39", KeyScheme::Numbered, One(12), 0},
  };
  return types;
}

}  // namespace

uint32_t RecordType::StoredSize() const {
  uint32_t size = maxSize;
  for (const Layout& layout : layouts) size = std::max(size, layout.size);
  return size;
}

const Layout* RecordType::LayoutFor(uint32_t version) const {
  for (const Layout& layout : layouts) {
    if (version >= layout.minVersion && version <= layout.maxVersion) return &layout;
  }
  return nullptr;
}

const RecordType* FindRecordType(uint32_t tag) {
  // Every record operation looks its type up: a binary search of the tags.
  static const std::vector<std::pair<uint32_t, const RecordType*>> byTag = [] {
    std::vector<std::pair<uint32_t, const RecordType*>> types;
    for (const RecordType& type : Types()) types.emplace_back(type.tag, &type);
    std::sort(types.begin(), types.end());
    return types;
  }();
  const auto found = std::lower_bound(byTag.begin(), byTag.end(), std::make_pair(tag, static_cast<const RecordType*>(nullptr)));
  return found == byTag.end() || found->first != tag ? nullptr : found->second;
}

RecordKey ToRecordKey(KeyScheme scheme, const QXKey& key) {
  switch (scheme) {
    case KeyScheme::Numbered:
    case KeyScheme::Incidence:
    case KeyScheme::OwnedNumber:
      return RecordKey{key.first, key.second, 0};
    case KeyScheme::EntryIncidence:
      return RecordKey{key.EntryNumber(), key.EntryIncidence(), 0};
    case KeyScheme::Triple:
      return RecordKey{key.first, key.second, key.value & 0xFFFF};
  }
  return RecordKey{};
}

QXKey FromRecordKey(KeyScheme scheme, const RecordKey& key) {
  switch (scheme) {
    case KeyScheme::Numbered:
    case KeyScheme::Incidence:
    case KeyScheme::OwnedNumber:
      return QXKey::Of(static_cast<uint16_t>(key.a), static_cast<uint16_t>(key.b));
    case KeyScheme::EntryIncidence:
      return QXKey::Entry(key.a, static_cast<uint16_t>(key.b));
    case KeyScheme::Triple:
      return QXKey::Of(static_cast<uint16_t>(key.a), static_cast<uint16_t>(key.b), key.c);
  }
  return QXKey{};
}

const RecordTable* RecordStore::Table(uint32_t tag) const {
  const auto table = m_records.find(tag);
  return table == m_records.end() || table->second.empty() ? nullptr : &table->second;
}

const Bytes* RecordStore::Find(uint32_t tag, const RecordKey& key) const {
  const RecordTable* table = Table(tag);
  const RecordTable::Record* record = table != nullptr ? table->Find(key) : nullptr;
  return record != nullptr ? &record->value : nullptr;
}

void RecordStore::Put(uint32_t tag, const RecordKey& key, Bytes value) {
  RecordTable& table = m_records[tag];
  RecordTable::Record* record = table.Find(key);
  if (m_hook) m_hook(tag, key, record != nullptr ? std::optional<Bytes>(record->value) : std::nullopt);
  if (record != nullptr) {
    record->value = std::move(value);
  } else {
    table.Insert(key, std::move(value));
  }
}

bool RecordStore::Erase(uint32_t tag, const RecordKey& key) {
  const Bytes* before = Find(tag, key);
  if (before == nullptr) return false;
  if (m_hook) m_hook(tag, key, *before);
  m_records[tag].Erase(key);
  return true;
}

void RecordStore::Restore(uint32_t tag, const RecordKey& key, const std::optional<Bytes>& value) {
  RecordTable& table = m_records[tag];
  RecordTable::Record* record = table.Find(key);
  if (!value) {
    if (record != nullptr) table.Erase(key);
  } else if (record != nullptr) {
    record->value = *value;
  } else {
    table.Insert(key, *value);
  }
}

std::optional<std::pair<RecordKey, const Bytes*>> RecordStore::After(uint32_t tag, const RecordKey& key) const {
  const RecordTable* table = Table(tag);
  const RecordTable::Record* next = table != nullptr ? table->After(key) : nullptr;
  if (next == nullptr) return std::nullopt;
  return std::make_pair(next->key, &next->value);
}

namespace {

// The first and last keys a record's owner can have.
std::pair<RecordKey, RecordKey> OwnerBounds(KeyScheme scheme, const RecordKey& key) {
  RecordKey low = key;
  RecordKey high = key;
  if (scheme == KeyScheme::Triple) {
    low.c = 0;
    high.c = 0xFFFFFFFFu;
  } else {
    low.b = low.c = 0;
    high.b = high.c = 0xFFFFFFFFu;
  }
  return {low, high};
}

}  // namespace

std::vector<RecordKey> RecordStore::Siblings(uint32_t tag, KeyScheme scheme, const RecordKey& key) const {
  std::vector<RecordKey> keys;
  const RecordTable* table = Table(tag);
  if (table == nullptr) return keys;
  const auto [low, high] = OwnerBounds(scheme, key);
  table->ForEach(low, high, [&](const RecordTable::Record& record) { keys.push_back(record.key); });
  return keys;
}

std::optional<RecordKey> RecordStore::LastSibling(uint32_t tag, KeyScheme scheme, const RecordKey& key) const {
  const RecordTable* table = Table(tag);
  if (table == nullptr) return std::nullopt;
  const auto [low, high] = OwnerBounds(scheme, key);
  const RecordTable::Record* last = table->LastAtMost(high);
  if (last == nullptr || last->key < low) return std::nullopt;
  return last->key;
}

std::vector<std::pair<RecordKey, const Bytes*>> RecordStore::All(uint32_t tag) const {
  std::vector<std::pair<RecordKey, const Bytes*>> all;
  const RecordTable* table = Table(tag);
  if (table == nullptr) return all;
  all.reserve(table->size());
  table->ForEach([&](const RecordTable::Record& record) { all.emplace_back(record.key, &record.value); });
  return all;
}

size_t RecordStore::Count(uint32_t tag) const {
  const RecordTable* table = Table(tag);
  return table == nullptr ? 0 : table->size();
}

std::vector<uint32_t> RecordStore::Tags() const {
  std::vector<uint32_t> tags;
  for (const auto& [tag, table] : m_records) {
    if (!table.empty()) tags.push_back(tag);
  }
  std::sort(tags.begin(), tags.end());
  return tags;
}

RecordKey RecordStore::Assign(uint32_t tag, KeyScheme scheme, const QXKey& requested) const {
  RecordKey key = ToRecordKey(scheme, requested);
  const RecordTable* table = Table(tag);
  // Keys are ordered: the largest number is the last one.
  const RecordTable::Record* last = table != nullptr ? table->Last() : nullptr;
  switch (scheme) {
    case KeyScheme::Numbered:
      if (requested.first == kQXNew) key.a = last == nullptr ? 1 : last->key.a + 1;
      break;
    case KeyScheme::Incidence:
    case KeyScheme::EntryIncidence: {
      const bool newOwner = scheme == KeyScheme::Incidence && requested.first == kQXNew;
      if (newOwner) {
        key.a = last == nullptr ? 1 : last->key.a + 1;
        if (key.b == kQXNew) key.b = 0;
      } else if (key.b == kQXNew) {
        // Incidences run 0, 1, 2 ... without gaps: the next follows the last
        // (found in one step, where counting would walk an owner's records).
        const std::optional<RecordKey> lastSibling = LastSibling(tag, scheme, key);
        key.b = lastSibling ? lastSibling->b + 1 : 0;
      }
      break;
    }
    case KeyScheme::Triple:
      if ((requested.value & 0xFFFF) == kQXNew) {
        const std::optional<RecordKey> lastSibling = LastSibling(tag, scheme, key);
        key.c = lastSibling ? lastSibling->c + 1 : 0;
      }
      break;
    case KeyScheme::OwnedNumber:
      if (key.b == kQXNew) {
        const std::optional<RecordKey> lastSibling = LastSibling(tag, scheme, key);
        key.b = lastSibling ? lastSibling->b + 1 : 1;
      }
      break;
  }
  return key;
}

std::string TagName(uint32_t tag) {
  std::string name;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char c = static_cast<char>((tag >> shift) & 0xFF);
    name += (c >= 32 && c < 127) ? c : '.';
  }
  return name;
}

}  // namespace quivrasim
