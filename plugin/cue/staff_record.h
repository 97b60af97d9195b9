// A staff's specification record, and the staff's names.
#pragma once

#include <cstdint>

#include "cue/text_object.h"
#include "host/cedata.h"

namespace ostinel {

class CStaffSpec : public CEData {
 public:
  CStaffSpec();
  ~CStaffSpec() override;

  uint16_t CreateNew() override { return 0; }  // staves are the host's to create
  // Slots 6 and 7: the record by instrument number.
  virtual bool LoadItem(uint16_t instrument);
  virtual bool SaveItem(uint16_t instrument);

  // Reads the staff's full (first) or abbreviated (second) name into text;
  // 0 when the staff has such a name, 1 when "[Staff n]" was written instead.
  int GetFirstName(CTextObject& text);
  int GetSecondName(CTextObject& text);

 private:
  int GetName(uint16_t block, CTextObject& text);
  bool m_loaded;
};

}  // namespace ostinel
