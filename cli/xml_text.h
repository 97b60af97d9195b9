// The text of an XML file around pugixml's parse: its encoding checked
// before (pugixml takes any bytes), its references expanded after (pugixml
// knows no entities of the document's own).
#pragma once

#include <pugixml.hpp>

#include <string>
#include <vector>

namespace ostinel_cli {

// The encoding of the bytes (from a byte order mark, else the declaration;
// UTF-8 when neither says), with every character checked to be valid in it
// and allowed in XML. False with a message saying where the first fault is,
// or which declared encoding is not supported.
bool CheckEncoding(const std::vector<char>& bytes, pugi::xml_encoding* encoding, std::string* error);

// Replaces the references in every text and attribute of a document parsed
// without pugixml's own escapes: the five predefined entities, character
// references, and the internal entities the document declares. An entity
// that is not declared in the document, or is external, is refused: external
// entities are never read. False with a message naming the reference.
bool ExpandReferences(pugi::xml_document& document, std::string* error);

// How deep the deepest element of the document is nested (the root is 1).
int ElementDepth(const pugi::xml_document& document);

}  // namespace ostinel_cli
