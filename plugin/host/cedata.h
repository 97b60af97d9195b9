// Base of the plug-in's record objects: one object per host record, holding
// the number last loaded, the record body (owned by the derived class), the
// record's tag and size and the key of the last operation.
#pragma once

#include <cstdint>

#include "quivra/qx_layout.h"

namespace ostinel {

#pragma pack(push, 1)
class CEData {
 public:
  CEData(uint32_t tag, uint32_t size);
  CEData(const CEData&) = delete;
  CEData& operator=(const CEData&) = delete;

  // The virtual operations, in the order of their slots.
  virtual bool LoadNext();
  virtual ~CEData();
  virtual uint16_t CreateNew() = 0;
  virtual bool Delete(uint16_t number);
  virtual bool Save(uint16_t number, uint32_t version);
  virtual bool Load(uint16_t number, uint32_t version);

  uint16_t Number() const { return m_number; }
  uint32_t Tag() const { return m_tag; }
  uint32_t Size() const { return m_size; }
  const QXKey& Key() const { return m_key; }

 protected:
  uint16_t m_number;
  void* m_body;
  uint32_t m_tag;
  uint32_t m_size;
  QXKey m_key;
};
#pragma pack(pop)

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(CEData) == 26, "vtable, number, body, tag, size and key with no gaps");
#endif

}  // namespace ostinel
