#include "host/write_journal.h"

#include <cstring>

#include "host/records.h"

namespace ostinel {

WriteJournal g_writeJournal;

namespace {
constexpr uint32_t kLargestRecord = 1024;
}  // namespace

void WriteJournal::Begin() {
  m_writes.clear();
  m_active = true;
}

void WriteJournal::Commit() {
  m_writes.clear();
  m_active = false;
}

void WriteJournal::BeforeSave(uint32_t tag, const QXKey& key, uint32_t size, uint32_t version) {
  for (const Write& write : m_writes) {
    // Only the content before the first write counts.
    if (write.tag == tag && std::memcmp(&write.key, &key, sizeof key) == 0) return;
  }
  Write write{tag, key, version, false, false, std::vector<unsigned char>(kLargestRecord), true};
  uint32_t capacity = size <= kLargestRecord ? size : kLargestRecord;
  QXKey copy = key;
  m_active = false;  // the journal's own load is no write to keep
  if (EDataLoad(tag, &copy, write.before.data(), &capacity, version) != 0) {
    write.existed = true;
    write.before.resize(size <= kLargestRecord ? size : kLargestRecord);
  } else {
    // A failed load: either there is no such record, or the host failed.
    uint32_t probe = 0;
    write.known = EDataLoad(tag, &copy, nullptr, &probe, version) == 0;
    write.before.clear();
  }
  m_active = true;
  m_writes.push_back(write);
}

void WriteJournal::Created(uint32_t tag, const QXKey& key, uint32_t version) {
  m_writes.push_back(Write{tag, key, version, true, false, {}, true});
}

void WriteJournal::Rollback() {
  m_active = false;
  for (auto write = m_writes.rbegin(); write != m_writes.rend(); ++write) {
    QXKey key = write->key;
    if (write->created || (write->known && !write->existed)) {
      EDataDelete(write->tag, &key, write->version);
    } else if (write->existed) {
      EDataSave(write->tag, &key, write->before.data(), static_cast<uint32_t>(write->before.size()), write->version);
    }
  }
  m_writes.clear();
}

}  // namespace ostinel
