// The numbers of a MusicXML score that the import computes with, and the
// ranges they must lie in. A score outside them, or nested deeper than any
// score, is refused before anything is imported, so that the import's
// arithmetic never meets an absurd value.
#pragma once

#include <pugixml.hpp>

#include <string>

namespace ostinel_cli {

// The deepest nesting of elements read; MusicXML itself nests a dozen deep.
inline constexpr int kMaxScoreDepth = 100;

// False with a message naming the part, the measure, the element and its
// value for the first number out of its range, or saying how deep the
// elements are nested.
bool CheckValueRanges(pugi::xml_document& document, std::string* error);

}  // namespace ostinel_cli
