// Host operations on data records. A fixed-layout record is exchanged in the
// layout its version word names, and a size that disagrees with that layout
// fails the call: a wrong version word is a visible failure.
#include <algorithm>
#include <cstring>

#include "exports.h"
#include "quivra/qx_records.h"

using namespace quivrasim;

namespace {

// Flags of an entry that say it has records of a kind; the host keeps them
// in step with the records.
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

void UpdateEntryFlags(Document& document, uint32_t tag, uint32_t entryNumber) {
  const EntryFlagRule* rule = nullptr;
  for (const EntryFlagRule& r : kEntryFlagRules) {
    if (r.tag == tag) rule = &r;
  }
  if (rule == nullptr || !document.FindEntry(entryNumber)) return;
  bool any = false;
  for (const EntryFlagRule& r : kEntryFlagRules) {
    if (r.secondWord != rule->secondWord || r.bit != rule->bit) continue;
    const RecordKey owner{entryNumber, 0, 0};
    if (!document.Records().Siblings(r.tag, KeyScheme::EntryIncidence, owner).empty()) any = true;
  }
  QXEntry* entry = document.MutableEntry(entryNumber);
  if (rule->secondWord) {
    const uint16_t bit = static_cast<uint16_t>(rule->bit);
    entry->flags2 = static_cast<uint16_t>(any ? entry->flags2 | bit : entry->flags2 & ~bit);
  } else {
    entry->flags = any ? entry->flags | rule->bit : entry->flags & ~rule->bit;
  }
}

// The size a call must use for this record type and version word, 0 for a
// variable-size type; false when no layout answers to the version word.
bool ExpectedSize(const RecordType& type, uint32_t version, uint32_t* size) {
  if (type.layouts.empty()) {
    *size = 0;
    return true;
  }
  const Layout* layout = type.LayoutFor(version);
  if (layout == nullptr) return false;
  *size = layout->size;
  return true;
}

bool AskedForNew(KeyScheme scheme, const QXKey& key) {
  switch (scheme) {
    case KeyScheme::Numbered:
      return key.first == kQXNew;
    case KeyScheme::Incidence:
      return key.first == kQXNew || key.second == kQXNew;
    case KeyScheme::EntryIncidence:
      return key.EntryIncidence() == kQXNew;
    case KeyScheme::Triple:
      return (key.value & 0xFFFF) == kQXNew;
  }
  return false;
}

// Writes a caller's record into the stored form (older layouts are prefixes).
Bytes Merge(const RecordType& type, const Bytes* stored, const void* buffer, uint32_t size) {
  if (type.layouts.empty()) {
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    return Bytes(bytes, bytes + size);
  }
  Bytes merged = stored != nullptr ? *stored : Bytes(type.StoredSize(), 0);
  merged.resize(type.StoredSize(), 0);
  std::memcpy(merged.data(), buffer, size);
  return merged;
}

struct Call {
  Host& host;
  Op op;
  uint32_t tag;
  QXKey* key;
  uint32_t size;
  uint32_t version;

  int16_t Done(int16_t result) const {
    host.LogRecordCall(RecordCall{op, tag, key != nullptr ? *key : QXKey{}, size, version, result});
    return result;
  }
};

bool IsEntryKeyed(const RecordType& type) { return type.scheme == KeyScheme::EntryIncidence; }

}  // namespace

int16_t QXAPI QX_LoadEData(uint32_t tag, QXKey* key, void* buffer, uint32_t* size, uint32_t version) {
  Host& host = Serve(Op::QX_LoadEData);
  const Call call{host, Op::QX_LoadEData, tag, key, size != nullptr ? *size : 0, version};
  const RecordType* type = FindRecordType(tag);
  uint32_t expected = 0;
  if (type == nullptr || key == nullptr || size == nullptr || !ExpectedSize(*type, version, &expected)) {
    return call.Done(0);
  }
  const Bytes* stored = host.Doc().Records().Find(tag, ToRecordKey(type->scheme, *key));
  if (buffer == nullptr) {
    if (stored == nullptr) return call.Done(0);
    *size = expected != 0 ? expected : static_cast<uint32_t>(stored->size());
    return call.Done(1);
  }
  if (expected != 0 && *size != expected) return call.Done(0);
  if (stored == nullptr) return call.Done(0);
  if (expected != 0) {
    std::memcpy(buffer, stored->data(), expected);
  } else {
    // A variable-size record fills what the buffer holds and tells its size.
    std::memcpy(buffer, stored->data(), std::min<size_t>(*size, stored->size()));
    *size = static_cast<uint32_t>(stored->size());
  }
  return call.Done(1);
}

int16_t QXAPI QX_SaveEData(uint32_t tag, QXKey* key, const void* buffer, uint32_t size, uint32_t version) {
  Host& host = Serve(Op::QX_SaveEData);
  const Call call{host, Op::QX_SaveEData, tag, key, size, version};
  const RecordType* type = FindRecordType(tag);
  uint32_t expected = 0;
  if (type == nullptr || key == nullptr || buffer == nullptr || !ExpectedSize(*type, version, &expected)) {
    return call.Done(0);
  }
  if (expected != 0 ? size != expected : size > type->maxSize) return call.Done(0);
  if (AskedForNew(type->scheme, *key)) return call.Done(0);
  const RecordKey recordKey = ToRecordKey(type->scheme, *key);
  Document& document = host.Doc();
  document.Records().Put(tag, recordKey, Merge(*type, document.Records().Find(tag, recordKey), buffer, size));
  if (IsEntryKeyed(*type)) UpdateEntryFlags(document, tag, recordKey.a);
  return call.Done(1);
}

int16_t QXAPI QX_CreateEData(uint32_t tag, QXKey* key, const void* buffer, uint32_t size, uint32_t version) {
  Host& host = Serve(Op::QX_CreateEData);
  const Call call{host, Op::QX_CreateEData, tag, key, size, version};
  const RecordType* type = FindRecordType(tag);
  uint32_t expected = 0;
  if (type == nullptr || key == nullptr || buffer == nullptr || !ExpectedSize(*type, version, &expected)) {
    return call.Done(0);
  }
  if (expected != 0 ? size != expected : size > type->maxSize) return call.Done(0);
  Document& document = host.Doc();
  const RecordKey recordKey = document.Records().Assign(tag, type->scheme, *key);
  if (document.Records().Find(tag, recordKey) != nullptr) return call.Done(0);
  document.Records().Put(tag, recordKey, Merge(*type, nullptr, buffer, size));
  *key = FromRecordKey(type->scheme, recordKey);
  if (IsEntryKeyed(*type)) UpdateEntryFlags(document, tag, recordKey.a);
  return call.Done(1);
}

int16_t QXAPI QX_DeleteEData(uint32_t tag, QXKey* key, uint32_t version) {
  Host& host = Serve(Op::QX_DeleteEData);
  const Call call{host, Op::QX_DeleteEData, tag, key, 0, version};
  const RecordType* type = FindRecordType(tag);
  if (type == nullptr || key == nullptr) return call.Done(0);
  Document& document = host.Doc();
  RecordStore& records = document.Records();
  const RecordKey recordKey = ToRecordKey(type->scheme, *key);
  const std::vector<RecordKey> siblings =
      type->scheme == KeyScheme::Numbered ? std::vector<RecordKey>{} : records.Siblings(tag, type->scheme, recordKey);
  if (!records.Erase(tag, recordKey)) return call.Done(0);
  // Incidences close up behind a deleted one.
  for (const RecordKey& later : siblings) {
    if (!(recordKey < later)) continue;
    const Bytes value = *records.Find(tag, later);
    RecordKey moved = later;
    if (type->scheme == KeyScheme::Triple) {
      --moved.c;
    } else {
      --moved.b;
    }
    records.Erase(tag, later);
    records.Put(tag, moved, value);
  }
  if (IsEntryKeyed(*type)) UpdateEntryFlags(document, tag, recordKey.a);
  return call.Done(1);
}

int16_t QXAPI QX_NextEData(uint32_t tag, QXKey* key, void* buffer, uint32_t size, uint32_t version) {
  Host& host = Serve(Op::QX_NextEData);
  const Call call{host, Op::QX_NextEData, tag, key, size, version};
  const RecordType* type = FindRecordType(tag);
  uint32_t expected = 0;
  if (type == nullptr || key == nullptr || !ExpectedSize(*type, version, &expected)) return call.Done(0);
  if (buffer != nullptr && expected != 0 && size != expected) return call.Done(0);
  const auto next = host.Doc().Records().After(tag, ToRecordKey(type->scheme, *key));
  if (!next) return call.Done(0);
  if (buffer != nullptr) {
    const size_t length = expected != 0 ? expected : std::min<size_t>(size, next->second->size());
    std::memcpy(buffer, next->second->data(), length);
  }
  *key = FromRecordKey(type->scheme, next->first);
  return call.Done(1);
}
