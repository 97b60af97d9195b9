// MusicXML files: plain (.musicxml, .xml) or compressed (.mxl).
#pragma once

#include <pugixml.hpp>
#include <string>
#include <vector>

#include "byte_sink.h"

namespace ostinel_cli {

// The largest score file, or file in an .mxl, that is read: ten times the
// largest score seen in practice.
inline constexpr size_t kMaxScoreBytes = size_t{256} << 20;

struct ScoreFile {
  pugi::xml_document document;
  bool compressed = false;
  std::string innerPath;      // the score's name inside an .mxl
  std::vector<char> archive;  // the .mxl as read: a cued .mxl keeps its other entries
  // Why the archive's entries could not be written again (a name that is
  // absolute, climbs out with "..", holds control characters); empty when they can.
  std::string unsafeEntry;
};

// Reads and parses a partwise score; false with a message naming the file
// (and the place, when the text is at fault): too large, not
// valid in its encoding, not well-formed, or an entity that is not declared
// in the document itself (internal entities are expanded, external ones
// never read).
bool ReadScore(const std::string& path, ScoreFile* score, std::string* error);
// The same for a file's bytes already read; name stands for the file in messages.
bool ReadScoreBytes(std::vector<char> bytes, const std::string& name, ScoreFile* score, std::string* error);

// Writes the score as a file's bytes: UTF-8 MusicXML, compressed when the
// name ends in .mxl (in any case); an .mxl read keeps every other entry of
// its archive as it was, in its order (a "mimetype" entry first). False with
// a message when the archive cannot be made.
bool WriteScore(ScoreFile& score, const std::string& name, ByteSink& sink, std::string* error);

// True when a file name ends in .mxl, in any case.
bool CompressedName(const std::string& name);

// Where a score's cued copy goes when no name is given: beside it as
// name.cued.musicxml (or .xml, .mxl, in the input's case), or under that
// name into a directory.
std::string CuedPath(const std::string& input, const std::string& directory = "");

// What a page calls the score: its work and movement titles, else the file's name.
std::string ScoreTitle(const pugi::xml_document& document, const std::string& path);

}  // namespace ostinel_cli
