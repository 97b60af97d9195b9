#include "host/text_block_loader.h"

#include "host/host_text.h"
#include "host/plain_text.h"
#include "host/records.h"

namespace ostinel {

namespace {
char g_textBlockBuffer[kTextBlockMaxText + 1];
}  // namespace

const char* LoadTextBlock(uint16_t number, bool plain, QXTextBlock* block) {
  g_textBlockBuffer[0] = '\0';
  QXTextBlock record{};
  if (!LoadRecord(kQXTagTextBlock, QXKey::Of(number, 0), &record, kQXVersion05)) return g_textBlockBuffer;
  if (block != nullptr) *block = record;
  QXKey key = QXKey::Of(record.rawText, 0);
  uint32_t size = kTextBlockMaxText;
  if (EDataLoad(kQXTagRawText, &key, g_textBlockBuffer, &size) == 0) {
    g_textBlockBuffer[0] = '\0';
    return g_textBlockBuffer;
  }
  g_textBlockBuffer[size < kTextBlockMaxText ? size : kTextBlockMaxText] = '\0';
  if (size >= kTextBlockMaxText) EndOnCharacter(g_textBlockBuffer);
  if (plain) PlainTextInPlace(g_textBlockBuffer);
  return g_textBlockBuffer;
}

}  // namespace ostinel
