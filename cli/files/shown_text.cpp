#include "shown_text.h"

#include <cstdio>
#include <functional>

namespace ostinel_cli {

namespace {

constexpr uint32_t kNotUtf8 = 0xFFFFFFFF;

// The character at a text's position and its length in bytes; kNotUtf8 and
// one byte where no valid UTF-8 sequence starts (overlong forms, surrogates
// and values past U+10FFFF are not valid).
uint32_t Decode(const std::string& text, size_t at, size_t* length) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char first = byte(at);
  *length = 1;
  if (first < 0x80) return first;
  const int more = first >= 0xF0 ? 3 : first >= 0xE0 ? 2 : first >= 0xC0 ? 1 : -1;
  if (more < 0 || first > 0xF4 || at + static_cast<size_t>(more) >= text.size()) return kNotUtf8;
  uint32_t code = first & (0x3F >> more);
  for (int i = 1; i <= more; ++i) {
    const unsigned char next = byte(at + static_cast<size_t>(i));
    if ((next & 0xC0) != 0x80) return kNotUtf8;
    code = (code << 6) | (next & 0x3F);
  }
  static constexpr uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
  if (code < kSmallest[more] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return kNotUtf8;
  *length = static_cast<size_t>(more) + 1;
  return code;
}

void Encode(uint32_t code, std::string* out) {
  if (code < 0x80) {
    *out += static_cast<char>(code);
  } else if (code < 0x800) {
    *out += static_cast<char>(0xC0 | (code >> 6));
    *out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    *out += static_cast<char>(0xE0 | (code >> 12));
    *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (code >> 18));
    *out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// Each character of the bytes (a byte that starts no valid sequence read as
// ISO-8859-1), given to each in turn.
void EachCharacter(const std::string& bytes, const std::function<void(uint32_t)>& each) {
  for (size_t at = 0; at < bytes.size();) {
    size_t length = 1;
    const uint32_t code = Decode(bytes, at, &length);
    each(code == kNotUtf8 ? static_cast<unsigned char>(bytes[at]) : code);
    at += length;
  }
}

bool XmlForbids(uint32_t code) {
  return (code < 0x20 && code != 0x09 && code != 0x0A && code != 0x0D) || code == 0xFFFE || code == 0xFFFF;
}

bool Formatting(uint32_t code) {
  return code < 0x20 || (code >= 0x7F && code < 0xA0) || code == 0x061C || code == 0x200E || code == 0x200F ||
         (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069);
}

}  // namespace

bool IsUtf8(const std::string& bytes) {
  for (size_t at = 0; at < bytes.size();) {
    size_t length = 1;
    if (Decode(bytes, at, &length) == kNotUtf8) return false;
    at += length;
  }
  return true;
}

std::string AsUtf8(const std::string& bytes) {
  if (IsUtf8(bytes)) return bytes;
  std::string text;
  EachCharacter(bytes, [&](uint32_t code) { Encode(code, &text); });
  return text;
}

uint32_t ForbiddenInXml(const std::string& utf8) {
  uint32_t found = 0;
  EachCharacter(utf8, [&](uint32_t code) {
    if (found == 0 && XmlForbids(code)) found = code;
  });
  return found;
}

std::string XmlText(const std::string& bytes) {
  if (IsUtf8(bytes) && ForbiddenInXml(bytes) == 0) return bytes;
  std::string text;
  EachCharacter(bytes, [&](uint32_t code) { Encode(XmlForbids(code) ? 0xFFFD : code, &text); });
  return text;
}

std::string Printable(const std::string& bytes) {
  std::string text;
  EachCharacter(bytes, [&](uint32_t code) {
    if (!Formatting(code) || code == '\n' || code == '\t') {
      Encode(code, &text);
      return;
    }
    char shown[16];
    std::snprintf(shown, sizeof shown, "<U+%04X>", code);
    text += shown;
  });
  return text;
}

}  // namespace ostinel_cli
