// A second copy of a score's XML with its layout, so that what the plug-in
// has added so far can be written into the copy and shown while the
// original stays as it was read.
#pragma once

#include <pugixml.hpp>

#include "importer.h"

namespace ostinel_cli {

// Copies the XML of from into to and returns the score's layout over the copy.
ImportedScore CopyScore(const ImportedScore& score, const pugi::xml_document& from, pugi::xml_document& to);

}  // namespace ostinel_cli
