// Score text carries its formatting inline as caret commands, "^name(arg)".
// Two conversions turn it into plain text.
#pragma once

namespace ostinel {

// The longest text the object conversion works on; longer texts are cut.
inline constexpr int kPlainTextWorkLength = 255;

// Removes every complete command (caret, opening and closing bracket) and
// turns "^flat()" into "b"; a caret without brackets after it stays. Works on
// the first 255 characters; returns a new string the caller frees with delete[].
char* PlainTextCopy(const char* text, char command = '^', char open = '(', char close = ')');

// In place: "^flat(...)" becomes "b", "^sharp(...)" "#", any other command
// vanishes (through its closing bracket, or to the end of the text), and
// line breaks outside commands become blanks.
void PlainTextInPlace(char* text, char command = '^', char open = '(', char close = ')');

}  // namespace ostinel
