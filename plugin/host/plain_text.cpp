#include "host/plain_text.h"

#include <cstring>

#include "host/host_text.h"

namespace ostinel {

namespace {

// strchr, except that a NUL bracket is never found: strchr would answer the
// text's end, and the conversions would read on past it.
const char* Find(const char* text, char c) { return c != '\0' ? std::strchr(text, c) : nullptr; }
char* Find(char* text, char c) { return c != '\0' ? std::strchr(text, c) : nullptr; }

}  // namespace

char* PlainTextCopy(const char* text, char command, char open, char close) {
  char work[kPlainTextWorkLength + 1];
  size_t length = 0;
  while (text != nullptr && length < kPlainTextWorkLength && text[length] != '\0') {
    work[length] = text[length];
    ++length;
  }
  work[length] = '\0';
  if (length == kPlainTextWorkLength) EndOnCharacter(work);

  size_t at = 0;
  for (;;) {
    char* caret = Find(work + at, command);
    if (caret == nullptr) break;
    char* opening = Find(caret + 1, open);
    char* closing = opening != nullptr ? Find(opening + 1, close) : nullptr;
    if (closing == nullptr) {
      at = static_cast<size_t>(caret - work) + 1;  // the caret stays
      continue;
    }
    char* removeFrom = caret;
    if (std::strncmp(caret + 1, "flat", 4) == 0 && caret[5] == open && caret[6] == close) {
      *caret = 'b';
      removeFrom = caret + 1;
    }
    std::memmove(removeFrom, closing + 1, std::strlen(closing + 1) + 1);
    at = static_cast<size_t>(removeFrom - work);
  }

  const size_t plainLength = std::strlen(work);
  char* plain = new char[plainLength + 1];
  std::memcpy(plain, work, plainLength + 1);
  return plain;
}

void PlainTextInPlace(char* text, char command, char open, char close) {
  if (text == nullptr) return;
  char* write = text;
  const char* read = text;
  while (*read != '\0') {
    if (*read == command) {
      const char* name = read + 1;
      size_t nameLength = 0;
      while (name[nameLength] != '\0' && name[nameLength] != open) ++nameLength;
      if (nameLength == 4 && std::strncmp(name, "flat", 4) == 0) *write++ = 'b';
      if (nameLength == 5 && std::strncmp(name, "sharp", 5) == 0) *write++ = '#';
      const char* closing = Find(name, close);
      read = closing != nullptr ? closing + 1 : name + std::strlen(name);
      continue;
    }
    *write++ = (*read == '\n' || *read == '\r') ? ' ' : *read;
    ++read;
  }
  *write = '\0';
}

}  // namespace ostinel
