// The text of an XML file around pugixml's parse: its encoding checked
// before (pugixml takes any bytes), its references expanded after (pugixml
// knows no entities of the document's own).
#pragma once

#include <pugixml.hpp>

#include <string>
#include <string_view>

namespace ostinel_cli {

// The encoding of the bytes: from a byte order mark, else the declaration;
// UTF-8 when neither says. False with a message when the declared encoding
// is not supported.
bool DetectEncoding(std::string_view bytes, pugi::xml_encoding* encoding, std::string* error);

// Checks every character to be valid in that encoding and allowed in XML;
// false with a message saying where the first fault is.
bool CheckCharacters(std::string_view bytes, pugi::xml_encoding encoding, std::string* error);

// Replaces the references in every text and attribute of a document parsed
// without pugixml's own escapes: the five predefined entities, character
// references, and the internal entities the document declares. An entity
// that is not declared in the document, or is external, is refused: external
// entities are never read. False with a message naming the reference.
bool ExpandReferences(pugi::xml_document& document, std::string* error);

}  // namespace ostinel_cli
