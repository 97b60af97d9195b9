// A text block record with its raw text.
#pragma once

#include <cstdint>

#include "host/cedata.h"
#include "quivra/qx_layout.h"

namespace ostinel {

class CTextObject : public CEData {
 public:
  CTextObject();
  ~CTextObject() override;

  // Slot 0: the next text block, with its raw text.
  bool LoadNext() override;
  // Slot 2: creates the text as a new raw text record; its number, or 0.
  uint16_t CreateNew() override;
  // Slot 6: the text block and its raw text; the text is empty when the block
  // cannot be loaded.
  virtual bool LoadItem(uint16_t number);
  // Slot 7: the font set by the (index + 1)-th font command of the text.
  virtual bool FontOfCommand(int index, QXFontInfo* font);

  // As LoadItem, but the raw text is read only when the block load answers exactly 1.
  bool LoadByNumber(uint16_t number);
  // The text without its caret commands, "^flat()" as "b"; delete[] it.
  char* GetPlainText() const;
  void SetText(const char* text);
  // The text as loaded or set; empty when there is none.
  const char* Text() const { return m_text != nullptr ? m_text : ""; }
  uint16_t RawTextNumber() const { return m_rawNumber; }

 private:
  void ReleaseText();
  void LoadRawText();

  char m_command;
  char m_open;
  char m_close;
  char* m_text;
  uint32_t m_rawTag;
  uint16_t m_rawNumber;
};

}  // namespace ostinel
