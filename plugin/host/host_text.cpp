#include "host/host_text.h"

#include <cstring>

namespace ostinel {

namespace {

bool Continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Bytes of a character from its lead byte; 1 for anything that is no lead.
size_t SequenceLength(unsigned char lead) {
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 1;
}

}  // namespace

size_t CharacterBoundary(const char* text, size_t length) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  size_t start = length;
  // At most three continuation bytes back to the lead of the last character.
  while (start > 0 && length - start < 4 && Continuation(bytes[start - 1])) --start;
  if (start == 0) return length;
  const size_t lead = start - 1;
  return lead + SequenceLength(bytes[lead]) > length ? lead : length;
}

void CopyText(char* buffer, size_t size, const char* text) {
  if (size == 0) return;
  const size_t length = CharacterBoundary(text, strnlen(text, size - 1));
  std::memcpy(buffer, text, length);
  buffer[length] = '\0';
}

void EndOnCharacter(char* text) { text[CharacterBoundary(text, std::strlen(text))] = '\0'; }

}  // namespace ostinel
