// The host's data records: typed byte blocks keyed by tag and key block.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "quivra/qx_layout.h"
#include "quivrasim/record_table.h"

namespace quivrasim {

// How a record type reads the 8-byte key block, and which part of it the host
// assigns when asked for a new record (0xFFFF).
enum class KeyScheme {
  Numbered,        // (number, second): a new number is the largest + 1
  Incidence,       // (owner, incidence): incidences count up per owner and close up on delete
  EntryIncidence,  // (32-bit entry number, incidence)
  Triple,          // (first, second, incidence in the 32-bit value)
  OwnedNumber,     // (owner, number): numbers per owner from 1, kept on delete
};

// A layout of a record type and the version words that use it.
struct Layout {
  uint32_t minVersion;
  uint32_t maxVersion;
  uint32_t size;
};

struct RecordType {
  uint32_t tag;
  const char* name;
  KeyScheme scheme;
  std::vector<Layout> layouts;  // empty: variable size up to maxSize
  uint32_t maxSize;
  // Older layouts are prefixes of the newest, which is what the host stores.
  uint32_t StoredSize() const;
  const Layout* LayoutFor(uint32_t version) const;
};

// The record types this host knows; null for an unknown tag.
const RecordType* FindRecordType(uint32_t tag);

RecordKey ToRecordKey(KeyScheme scheme, const QXKey& key);
QXKey FromRecordKey(KeyScheme scheme, const RecordKey& key);

// The records of a document. Every change passes through Put and Erase so that
// the document can journal it. A record's bytes found stay where they are
// until records of that type next change.
class RecordStore {
 public:
  using ChangeHook = std::function<void(uint32_t tag, const RecordKey& key, const std::optional<Bytes>& before)>;

  void SetChangeHook(ChangeHook hook) { m_hook = std::move(hook); }

  const Bytes* Find(uint32_t tag, const RecordKey& key) const;
  void Put(uint32_t tag, const RecordKey& key, Bytes value);
  bool Erase(uint32_t tag, const RecordKey& key);
  // Restores a record to an earlier state without journaling it.
  void Restore(uint32_t tag, const RecordKey& key, const std::optional<Bytes>& value);

  // The first record strictly after key, in key order.
  std::optional<std::pair<RecordKey, const Bytes*>> After(uint32_t tag, const RecordKey& key) const;
  // Records with the same owner part as key (all but the part the scheme counts).
  std::vector<RecordKey> Siblings(uint32_t tag, KeyScheme scheme, const RecordKey& key) const;
  // The last of them in key order, if any.
  std::optional<RecordKey> LastSibling(uint32_t tag, KeyScheme scheme, const RecordKey& key) const;
  std::vector<std::pair<RecordKey, const Bytes*>> All(uint32_t tag) const;
  size_t Count(uint32_t tag) const;
  std::vector<uint32_t> Tags() const;

  // Assigns the new key a create with 0xFFFF asks for.
  RecordKey Assign(uint32_t tag, KeyScheme scheme, const QXKey& requested) const;

 private:
  const RecordTable* Table(uint32_t tag) const;

  std::unordered_map<uint32_t, RecordTable> m_records;
  ChangeHook m_hook;
};

std::string TagName(uint32_t tag);

}  // namespace quivrasim
