#include "quivrasim/record_table.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace quivrasim {

namespace {

// A full run is split in two: an insert moves at most this many records.
constexpr size_t kLongestRun = 64;

}  // namespace

size_t RecordTable::RunFrom(const RecordKey& key, bool after) const {
  const auto run = std::partition_point(m_runs.begin(), m_runs.end(), [&](const std::vector<Record>& records) {
    return after ? !(key < records.back().key) : records.back().key < key;
  });
  return static_cast<size_t>(run - m_runs.begin());
}

size_t RecordTable::Within(const std::vector<Record>& records, const RecordKey& key, bool after) {
  const auto at = std::partition_point(records.begin(), records.end(), [&](const Record& record) {
    return after ? !(key < record.key) : record.key < key;
  });
  return static_cast<size_t>(at - records.begin());
}

const RecordTable::Record* RecordTable::Find(const RecordKey& key) const {
  const size_t run = RunFrom(key, false);
  if (run == m_runs.size()) return nullptr;
  const std::vector<Record>& records = m_runs[run];
  const size_t at = Within(records, key, false);
  return at < records.size() && records[at].key == key ? &records[at] : nullptr;
}

RecordTable::Record* RecordTable::Find(const RecordKey& key) {
  return const_cast<Record*>(std::as_const(*this).Find(key));
}

const RecordTable::Record* RecordTable::After(const RecordKey& key) const {
  const size_t run = RunFrom(key, true);
  if (run == m_runs.size()) return nullptr;
  return &m_runs[run][Within(m_runs[run], key, true)];
}

const RecordTable::Record* RecordTable::LastAtMost(const RecordKey& key) const {
  const size_t run = RunFrom(key, true);
  if (run < m_runs.size()) {
    const size_t at = Within(m_runs[run], key, true);
    if (at > 0) return &m_runs[run][at - 1];
  }
  return run == 0 ? nullptr : &m_runs[run - 1].back();
}

void RecordTable::Insert(const RecordKey& key, Bytes value) {
  ++m_count;
  // In key order: at the end of the last run, or in a new one when it is full.
  if (m_runs.empty() || m_runs.back().back().key < key) {
    if (m_runs.empty() || m_runs.back().size() >= kLongestRun) {
      m_runs.emplace_back();
      m_runs.back().reserve(kLongestRun);
    }
    m_runs.back().push_back(Record{key, std::move(value)});
    return;
  }
  const size_t run = RunFrom(key, false);
  std::vector<Record>& records = m_runs[run];
  records.insert(records.begin() + static_cast<std::ptrdiff_t>(Within(records, key, false)),
                 Record{key, std::move(value)});
  if (records.size() > kLongestRun) {
    std::vector<Record> upper(std::make_move_iterator(records.begin() + kLongestRun / 2),
                              std::make_move_iterator(records.end()));
    records.resize(kLongestRun / 2);
    m_runs.insert(m_runs.begin() + static_cast<std::ptrdiff_t>(run) + 1, std::move(upper));
  }
}

bool RecordTable::Erase(const RecordKey& key) {
  const size_t run = RunFrom(key, false);
  if (run == m_runs.size()) return false;
  std::vector<Record>& records = m_runs[run];
  const size_t at = Within(records, key, false);
  if (at == records.size() || !(records[at].key == key)) return false;
  records.erase(records.begin() + static_cast<std::ptrdiff_t>(at));
  if (records.empty()) m_runs.erase(m_runs.begin() + static_cast<std::ptrdiff_t>(run));
  --m_count;
  return true;
}

}  // namespace quivrasim
