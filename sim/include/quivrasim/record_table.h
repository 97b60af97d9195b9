// The records of one type in key order, held in sorted runs of contiguous
// memory: a lookup is two binary searches, an insert moves at most one run,
// and records arriving in key order (most do) are appended.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quivrasim {

// A record's bytes. Short records, most of them, are held in place (the
// small-string buffer) rather than each in an allocation of its own.
using Bytes = std::basic_string<unsigned char>;

// The canonical, ordered form of a key block.
struct RecordKey {
  uint32_t a = 0;
  uint32_t b = 0;
  uint32_t c = 0;
  auto operator<=>(const RecordKey&) const = default;
};

class RecordTable {
 public:
  struct Record {
    RecordKey key;
    Bytes value;
  };

  bool empty() const { return m_count == 0; }
  size_t size() const { return m_count; }

  // A pointer into the table stays valid until the table next changes.
  const Record* Find(const RecordKey& key) const;
  Record* Find(const RecordKey& key);
  // The first record after key; null when there is none.
  const Record* After(const RecordKey& key) const;
  // The last record whose key is not after key; null when there is none.
  const Record* LastAtMost(const RecordKey& key) const;
  const Record* Last() const { return m_runs.empty() ? nullptr : &m_runs.back().back(); }

  // Adds a record of a key the table does not hold.
  void Insert(const RecordKey& key, Bytes value);
  bool Erase(const RecordKey& key);

  // Calls visit(record) for each record from low to high, both included, in key order.
  template <class Visit>
  void ForEach(const RecordKey& low, const RecordKey& high, Visit visit) const {
    const size_t first = RunFrom(low, false);
    for (size_t run = first; run < m_runs.size(); ++run) {
      const std::vector<Record>& records = m_runs[run];
      for (size_t i = run == first ? Within(records, low, false) : 0; i < records.size(); ++i) {
        if (high < records[i].key) return;
        visit(records[i]);
      }
    }
  }
  template <class Visit>
  void ForEach(Visit visit) const {
    for (const std::vector<Record>& records : m_runs) {
      for (const Record& record : records) visit(record);
    }
  }

 private:
  // The first run whose last key is not before key (after: is after key).
  size_t RunFrom(const RecordKey& key, bool after) const;
  // The first index in a run whose key is not before key (after: is after key).
  static size_t Within(const std::vector<Record>& records, const RecordKey& key, bool after);

  std::vector<std::vector<Record>> m_runs;  // each sorted and not empty, in key order
  size_t m_count = 0;
};

}  // namespace quivrasim
