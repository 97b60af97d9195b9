// Reads a text block's text into one process-wide buffer.
#pragma once

#include <cstdint>

#include "quivra/qx_records.h"

namespace ostinel {

inline constexpr int kTextBlockMaxText = 1000;

// Loads text block number and its raw text (at most 1000 characters) into the
// loader's buffer, plain when asked, and returns the buffer; the text is
// empty when either load fails. The block record goes to *block when given.
// Each call overwrites the text of the previous one.
const char* LoadTextBlock(uint16_t number, bool plain, QXTextBlock* block = nullptr);

}  // namespace ostinel
