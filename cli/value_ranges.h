// The numbers of a MusicXML score that the import computes with, and the
// ranges they must lie in. A score outside them is refused before anything
// is imported, so that the import's arithmetic never meets an absurd value.
#pragma once

#include <pugixml.hpp>

#include <string>

namespace ostinel_cli {

// False with a message naming the part, the measure, the element and its
// value for the first number out of its range.
bool CheckValueRanges(const pugi::xml_document& document, std::string* error);

}  // namespace ostinel_cli
