// Texts the host hands over are UTF-8. A text cut to fit a fixed buffer must
// keep whole characters, or the host shows (and writes) broken bytes.
#pragma once

#include <cstddef>

namespace ostinel {

// The largest length <= length at which text can be cut without splitting a
// character (text holds at least length bytes).
size_t CharacterBoundary(const char* text, size_t length);

// Copies text into buffer (size bytes with its terminator), cut on a
// character boundary. With size 0 nothing is written.
void CopyText(char* buffer, size_t size, const char* text);

// A text already cut by byte count (strncpy, snprintf) ends on a character:
// a partial character at its end is removed.
void EndOnCharacter(char* text);

}  // namespace ostinel
