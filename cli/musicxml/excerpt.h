// A few measures of one part as a score of their own, for engraving.
#pragma once

#include <pugixml.hpp>

#include <string>

#include "importer.h"

namespace ostinel_cli {

// An excerpt to engrave: what it shows, for the caption, and its MusicXML.
struct Figure {
  std::string id;
  std::string caption;
  std::string musicxml;
};

// A MusicXML score of one part's measures first..last (host measures), with
// the attributes in force at the first: something a notation program
// engraves on its own.
std::string Excerpt(const pugi::xml_document& score, const PartLayout& part, int first, int last);

}  // namespace ostinel_cli
