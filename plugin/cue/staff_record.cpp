#include "cue/staff_record.h"

#include <cstdio>
#include <cstring>

#include "quivra/qx_records.h"

namespace ostinel {

CStaffSpec::CStaffSpec() : CEData(kQXTagStaffSpec, sizeof(QXStaffSpec)), m_loaded(false) {
  m_body = new QXStaffSpec{};
}

CStaffSpec::~CStaffSpec() { delete static_cast<QXStaffSpec*>(m_body); }

bool CStaffSpec::LoadItem(uint16_t instrument) {
  m_loaded = Load(instrument, kQXVersion0E);
  return m_loaded;
}

bool CStaffSpec::SaveItem(uint16_t instrument) { return Save(instrument, kQXVersion0E); }

int CStaffSpec::GetFirstName(CTextObject& text) {
  return GetName(m_loaded ? static_cast<const QXStaffSpec*>(m_body)->nameBlock : 0, text);
}

int CStaffSpec::GetSecondName(CTextObject& text) {
  return GetName(m_loaded ? static_cast<const QXStaffSpec*>(m_body)->name2Block : 0, text);
}

int CStaffSpec::GetName(uint16_t block, CTextObject& text) {
  if (block != 0 && text.LoadByNumber(block)) {
    char* plain = text.GetPlainText();
    // A single blank is no name.
    const size_t length = std::strlen(plain);
    const bool named = length >= 2 || (length == 1 && plain[0] != ' ');
    delete[] plain;
    if (named) return 0;
  }
  char fallback[32];
  std::snprintf(fallback, sizeof fallback, "[Staff %d]", m_number);
  text.SetText(fallback);
  return 1;
}

}  // namespace ostinel
