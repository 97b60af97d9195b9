#include "cue/text_object.h"

#include <cstdlib>
#include <cstring>

#include "host/host_ops.h"
#include "host/plain_text.h"
#include "host/records.h"
#include "quivra/qx_records.h"

namespace ostinel {

CTextObject::CTextObject()
    : CEData(kQXTagTextBlock, sizeof(QXTextBlock)),
      m_command('^'),
      m_open('('),
      m_close(')'),
      m_text(nullptr),
      m_rawTag(kQXTagRawText),
      m_rawNumber(0) {
  m_body = new QXTextBlock{};
}

CTextObject::~CTextObject() {
  delete static_cast<QXTextBlock*>(m_body);
  ReleaseText();
}

void CTextObject::ReleaseText() {
  delete[] m_text;
  m_text = nullptr;
}

void CTextObject::LoadRawText() {
  m_rawNumber = static_cast<const QXTextBlock*>(m_body)->rawText;
  QXKey key = QXKey::Of(m_rawNumber, 0);
  uint32_t size = 256;
  if (EDataLoad(m_rawTag, &key, nullptr, &size) == 0) return;
  char* text = new char[size + 1];
  uint32_t capacity = size;
  if (EDataLoad(m_rawTag, &key, text, &capacity) == 0) {
    delete[] text;
    return;
  }
  text[size] = '\0';
  m_text = text;
}

bool CTextObject::LoadNext() {
  const bool found = CEData::LoadNext();
  ReleaseText();
  if (found) {
    m_number = m_key.first;
    LoadRawText();
  }
  return found;
}

uint16_t CTextObject::CreateNew() {
  QXKey key = QXKey::Of(kQXNew, 0);
  const auto length = static_cast<uint32_t>(std::strlen(Text()));
  if (EDataCreate(m_rawTag, &key, Text(), length) == 0) return 0;
  return key.first;
}

bool CTextObject::LoadItem(uint16_t number) {
  const bool loaded = Load(number, kQXVersionCurrent);
  ReleaseText();
  if (loaded) LoadRawText();
  return loaded;
}

bool CTextObject::LoadByNumber(uint16_t number) {
  m_number = number;
  m_key = QXKey::Of(number, 0);
  uint32_t size = m_size;
  const int16_t result = EDataLoad(m_tag, &m_key, m_body, &size);
  ReleaseText();
  if (result == 1) LoadRawText();
  return result != 0;
}

char* CTextObject::GetPlainText() const { return PlainTextCopy(Text(), m_command, m_open, m_close); }

void CTextObject::SetText(const char* text) {
  ReleaseText();
  const size_t length = std::strlen(text);
  m_text = new char[length + 1];
  std::memcpy(m_text, text, length + 1);
}

bool CTextObject::FontOfCommand(int index, QXFontInfo* font) {
  const char* text = Text();
  const size_t length = std::strlen(text);
  int seen = 0;
  for (size_t i = 0; i + 1 < length; ++i) {
    if (text[i] != m_command || text[i + 1] != 'f') continue;
    if (seen++ < index) continue;
    const char* at = text + i;
    do {
      const char* next = QX_ParseCaretCommand(at, kQXTagTextBlock, font);
      if (next == nullptr || next == at) break;  // a host that cannot move on stops the walk
      at = next;
    } while (*at == m_command);
    return true;
  }
  return false;
}

}  // namespace ostinel
