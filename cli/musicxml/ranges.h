// Ranges the user gives ("3", "2-5", "0-12"): of parts by position, of
// measures by the numbers the score prints.
#pragma once

#include <string>

#include "importer.h"

namespace ostinel_cli {

// The two ends of "A" or "A-B" as written (B is A for a single one); false
// when either is empty.
bool SplitRange(const std::string& text, std::string* first, std::string* last);

// A whole number from 1 up that an int holds; false for anything else.
bool ParseCount(const std::string& text, int* value);

// Positions first..last from a range of counts ("2-5"); false (with a
// message) when it is no such range or goes past count.
bool PositionRange(const std::string& text, int count, int* first, int* last, std::string* error);

// The host measures of a range of printed measure numbers ("0-12"); the last
// is the first measure so numbered at or after the first. False with a
// message when the score prints no such numbers.
bool MeasureRange(const ImportedScore& score, const std::string& text, int* first, int* last, std::string* error);

}  // namespace ostinel_cli
