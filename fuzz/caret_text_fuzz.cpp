// The two caret-text conversions and the font-of-command scan over any text,
// any command characters and any command index.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "probe_session.h"

namespace {

// The first three bytes choose the characters: most inputs use the host's
// own (^, ( and )), the rest any byte at all.
char Pick(uint8_t byte, char usual) { return (byte & 0x80) != 0 ? static_cast<char>(byte & 0x7F) : usual; }

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const CoreProbe& core = *ostinel_fuzz::Session().core;
  const char command = Pick(data[0], '^');
  const char open = Pick(data[1], '(');
  const char close = Pick(data[2], ')');
  const int fontIndex = data[3] % 8;
  // The text as the host keeps it: characters up to the first NUL, in a
  // buffer of exactly that size.
  const std::string text(reinterpret_cast<const char*>(data + 4), size - 4);
  const size_t length = std::strlen(text.c_str());
  std::vector<char> buffer(text.c_str(), text.c_str() + length + 1);

  char* plain = core.PlainTextCopy(buffer.data(), command, open, close);
  Check(std::strlen(plain) <= 255 && std::strlen(plain) <= length);
  delete[] plain;

  core.PlainTextInPlace(buffer.data(), command, open, close);
  Check(std::strlen(buffer.data()) <= length);
  Check(std::strchr(buffer.data(), '\n') == nullptr && std::strchr(buffer.data(), '\r') == nullptr);

  QXFontInfo font{};
  core.FontOfCommand(text.c_str(), fontIndex, &font);
  return 0;
}
