#include "host/cedata.h"

#include "host/records.h"

namespace ostinel {

CEData::CEData(uint32_t tag, uint32_t size)
    : m_number(0), m_body(nullptr), m_tag(tag), m_size(size), m_key(QXKey::Of(0, 0)) {}

CEData::~CEData() = default;

bool CEData::LoadNext() { return EDataNext(m_tag, &m_key, m_body, m_size) != 0; }

bool CEData::Delete(uint16_t number) {
  m_key = QXKey::Of(number, 0);
  return EDataDelete(m_tag, &m_key) != 0;
}

bool CEData::Save(uint16_t number, uint32_t version) {
  if (m_body == nullptr) return false;
  m_key = QXKey::Of(number, 0);
  return EDataSave(m_tag, &m_key, m_body, m_size, version) != 0;
}

bool CEData::Load(uint16_t number, uint32_t version) {
  if (m_body == nullptr) return false;
  m_number = number;
  m_key = QXKey::Of(number, 0);
  uint32_t size = m_size;  // the object's own size stays as it is
  return EDataLoad(m_tag, &m_key, m_body, &size, version) != 0;
}

}  // namespace ostinel
