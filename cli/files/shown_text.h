// Text from outside (file names, part names, answers typed at a terminal)
// made fit for where it goes: JSON and XML need valid UTF-8, XML refuses some
// characters, and a terminal or a page would obey control and
// bidirectional-override characters instead of showing them.
#pragma once

#include <cstdint>
#include <string>

namespace ostinel_cli {

bool IsUtf8(const std::string& bytes);

// The bytes as UTF-8: a byte that is no part of a valid UTF-8 sequence is read
// as ISO-8859-1, so that a name from an old archive or a Latin-1 terminal keeps
// its letters.
std::string AsUtf8(const std::string& bytes);

// The first character of a UTF-8 text that XML 1.0 cannot hold (a control
// character other than tab, line feed and carriage return; U+FFFE, U+FFFF),
// or 0 when there is none.
uint32_t ForbiddenInXml(const std::string& utf8);

// Text for XML: as UTF-8, each character XML cannot hold replaced by U+FFFD.
std::string XmlText(const std::string& bytes);

// Text for a terminal or a page: as UTF-8, with control and
// bidirectional-formatting characters shown as <U+202E> rather than obeyed.
std::string Printable(const std::string& bytes);

}  // namespace ostinel_cli
