// The floor of handling a MusicXML file at all: pugixml loads it and writes
// it back, indented, as the ostinel command does.
// pugixml_roundtrip IN OUT
#include <pugixml.hpp>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: pugixml_roundtrip IN OUT\n");
    return 2;
  }
  pugi::xml_document document;
  // The options the command parses with (it expands references itself).
  const unsigned options = (pugi::parse_default & ~pugi::parse_escapes) | pugi::parse_declaration |
                           pugi::parse_doctype | pugi::parse_comments | pugi::parse_pi;
  if (!document.load_file(argv[1], options)) return 1;
  return document.save_file(argv[2], "  ", pugi::format_default, pugi::encoding_utf8) ? 0 : 1;
}
