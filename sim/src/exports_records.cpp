// Host operations on data records. A fixed-layout record is exchanged in the
// layout its version word names, and a size that disagrees with that layout
// fails the call: a wrong version word is a visible failure.
#include <algorithm>
#include <cstring>

#include "exports.h"
#include "quivra/qx_records.h"

using namespace quivrasim;

namespace {

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
    case KeyScheme::OwnedNumber:
      return key.second == kQXNew;
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
  if (host.Fails(Op::QX_LoadEData)) return 0;
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
  if (host.Fails(Op::QX_SaveEData) || host.RefusesRecordWrite(tag)) return 0;
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
  if (IsEntryKeyed(*type)) document.RefreshEntryFlags(tag, recordKey.a);
  return call.Done(1);
}

int16_t QXAPI QX_CreateEData(uint32_t tag, QXKey* key, const void* buffer, uint32_t size, uint32_t version) {
  Host& host = Serve(Op::QX_CreateEData);
  if (host.Fails(Op::QX_CreateEData) || host.RefusesRecordWrite(tag)) return 0;
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
  if (IsEntryKeyed(*type)) document.RefreshEntryFlags(tag, recordKey.a);
  return call.Done(1);
}

int16_t QXAPI QX_DeleteEData(uint32_t tag, QXKey* key, uint32_t version) {
  Host& host = Serve(Op::QX_DeleteEData);
  if (host.Fails(Op::QX_DeleteEData)) return 0;
  const Call call{host, Op::QX_DeleteEData, tag, key, 0, version};
  const RecordType* type = FindRecordType(tag);
  if (type == nullptr || key == nullptr) return call.Done(0);
  Document& document = host.Doc();
  RecordStore& records = document.Records();
  const RecordKey recordKey = ToRecordKey(type->scheme, *key);
  // Incidences close up behind a deleted one; numbers stay as they are.
  const bool closesUp = type->scheme != KeyScheme::Numbered && type->scheme != KeyScheme::OwnedNumber;
  const std::vector<RecordKey> siblings =
      closesUp ? records.Siblings(tag, type->scheme, recordKey) : std::vector<RecordKey>{};
  if (!records.Erase(tag, recordKey)) return call.Done(0);
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
  if (IsEntryKeyed(*type)) document.RefreshEntryFlags(tag, recordKey.a);
  return call.Done(1);
}

int16_t QXAPI QX_NextEData(uint32_t tag, QXKey* key, void* buffer, uint32_t size, uint32_t version) {
  Host& host = Serve(Op::QX_NextEData);
  if (host.Fails(Op::QX_NextEData)) return 0;
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
