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
  // Every record operation looks its type up.
  static const std::unordered_map<uint32_t, const RecordType*> byTag = [] {
    std::unordered_map<uint32_t, const RecordType*> types;
    for (const RecordType& type : Types()) types.emplace(type.tag, &type);
    return types;
  }();
  const auto found = byTag.find(tag);
  return found == byTag.end() ? nullptr : found->second;
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

const Bytes* RecordStore::Find(uint32_t tag, const RecordKey& key) const {
  const auto records = m_records.find(tag);
  if (records == m_records.end()) return nullptr;
  const auto record = records->second.find(key);
  return record == records->second.end() ? nullptr : &record->second;
}

void RecordStore::Put(uint32_t tag, const RecordKey& key, Bytes value) {
  std::map<RecordKey, Bytes>& records = m_records[tag];
  // Records mostly arrive in key order (new entries, new numbers): those go
  // at the end without a search.
  const auto at = records.empty() || records.rbegin()->first < key ? records.end() : records.lower_bound(key);
  const bool exists = at != records.end() && at->first == key;
  if (m_hook) m_hook(tag, key, exists ? std::optional<Bytes>(at->second) : std::nullopt);
  if (exists) {
    at->second = std::move(value);
  } else {
    records.emplace_hint(at, key, std::move(value));
  }
}

bool RecordStore::Erase(uint32_t tag, const RecordKey& key) {
  const Bytes* before = Find(tag, key);
  if (before == nullptr) return false;
  if (m_hook) m_hook(tag, key, *before);
  m_records[tag].erase(key);
  return true;
}

void RecordStore::Restore(uint32_t tag, const RecordKey& key, const std::optional<Bytes>& value) {
  if (value) {
    m_records[tag][key] = *value;
  } else {
    const auto records = m_records.find(tag);
    if (records != m_records.end()) records->second.erase(key);
  }
}

std::optional<std::pair<RecordKey, const Bytes*>> RecordStore::After(uint32_t tag, const RecordKey& key) const {
  const auto records = m_records.find(tag);
  if (records == m_records.end()) return std::nullopt;
  const auto next = records->second.upper_bound(key);
  if (next == records->second.end()) return std::nullopt;
  return std::make_pair(next->first, &next->second);
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
  const auto records = m_records.find(tag);
  if (records == m_records.end()) return keys;
  const auto [low, high] = OwnerBounds(scheme, key);
  for (auto it = records->second.lower_bound(low); it != records->second.end() && !(high < it->first); ++it) {
    keys.push_back(it->first);
  }
  return keys;
}

std::optional<RecordKey> RecordStore::LastSibling(uint32_t tag, KeyScheme scheme, const RecordKey& key) const {
  const auto records = m_records.find(tag);
  if (records == m_records.end() || records->second.empty()) return std::nullopt;
  const auto [low, high] = OwnerBounds(scheme, key);
  // The owner with the highest keys (the newest entry or number) is the usual one.
  const RecordKey& highest = records->second.rbegin()->first;
  if (!(high < highest)) {
    if (highest < low) return std::nullopt;
    return highest;
  }
  auto after = records->second.upper_bound(high);
  if (after == records->second.begin()) return std::nullopt;
  --after;
  if (after->first < low) return std::nullopt;
  return after->first;
}

std::vector<std::pair<RecordKey, const Bytes*>> RecordStore::All(uint32_t tag) const {
  std::vector<std::pair<RecordKey, const Bytes*>> all;
  const auto records = m_records.find(tag);
  if (records == m_records.end()) return all;
  for (const auto& [key, value] : records->second) all.emplace_back(key, &value);
  return all;
}

size_t RecordStore::Count(uint32_t tag) const {
  const auto records = m_records.find(tag);
  return records == m_records.end() ? 0 : records->second.size();
}

std::vector<uint32_t> RecordStore::Tags() const {
  std::vector<uint32_t> tags;
  for (const auto& [tag, records] : m_records) {
    if (!records.empty()) tags.push_back(tag);
  }
  std::sort(tags.begin(), tags.end());
  return tags;
}

RecordKey RecordStore::Assign(uint32_t tag, KeyScheme scheme, const QXKey& requested) const {
  RecordKey key = ToRecordKey(scheme, requested);
  const auto records = m_records.find(tag);
  const std::map<RecordKey, Bytes> empty;
  const std::map<RecordKey, Bytes>& all = records != m_records.end() ? records->second : empty;
  switch (scheme) {
    case KeyScheme::Numbered:
      // Keys are ordered: the largest number is the last one.
      if (requested.first == kQXNew) key.a = all.empty() ? 1 : all.rbegin()->first.a + 1;
      break;
    case KeyScheme::Incidence:
    case KeyScheme::EntryIncidence: {
      const bool newOwner = scheme == KeyScheme::Incidence && requested.first == kQXNew;
      if (newOwner) {
        key.a = all.empty() ? 1 : all.rbegin()->first.a + 1;
        if (key.b == kQXNew) key.b = 0;
      } else if (key.b == kQXNew) {
        // Incidences run 0, 1, 2 ... without gaps: the next follows the last
        // (found in one step, where counting would walk an owner's records).
        const std::optional<RecordKey> last = LastSibling(tag, scheme, key);
        key.b = last ? last->b + 1 : 0;
      }
      break;
    }
    case KeyScheme::Triple:
      if ((requested.value & 0xFFFF) == kQXNew) {
        const std::optional<RecordKey> last = LastSibling(tag, scheme, key);
        key.c = last ? last->c + 1 : 0;
      }
      break;
    case KeyScheme::OwnedNumber:
      if (key.b == kQXNew) {
        const std::optional<RecordKey> last = LastSibling(tag, scheme, key);
        key.b = last ? last->b + 1 : 1;
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
