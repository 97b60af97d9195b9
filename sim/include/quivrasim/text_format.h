// The host's score text: formatting inline as caret commands,
// "^font(Arial)^size(10)^efx(italic)Text".
#pragma once

#include <cstdint>
#include <string>

namespace quivrasim {

// Style bits of "^efx": 1 bold, 2 italic, 4 underline, 32 strikeout, 64 absolute.
int16_t ParseEfx(const std::string& argument);

struct CaretCommand {
  std::string name;
  std::string argument;
  size_t length;  // characters from the caret through the closing bracket (or the text's end)
};
// The command at text[at], which must be a caret.
CaretCommand ReadCaretCommand(const std::string& text, size_t at);

// A text with its commands applied: the plain text and the last font, size
// and style set (empty and 0 when none).
struct FormattedText {
  std::string plain;
  std::string font;
  int size = 0;
  int efx = 0;
};
FormattedText ParseCaretText(const std::string& text);
// The caret text of a formatted text: "^font(..)^size(..)^efx(..)" for what
// is set, in that order, then the plain text.
std::string CaretText(const FormattedText& text);

}  // namespace quivrasim
