// MusicXML files: plain (.musicxml, .xml) or compressed (.mxl).
#pragma once

#include <pugixml.hpp>
#include <string>
#include <vector>

namespace ostinel_cli {

struct ScoreFile {
  pugi::xml_document document;
  bool compressed = false;
  std::string innerPath;  // the score's name inside an .mxl
};

// Reads and parses a partwise score; false with a message naming the file
// (and the line, when the XML is at fault).
bool ReadScore(const std::string& path, ScoreFile* score, std::string* error);
// The same for a file's bytes already read; name stands for the file in messages.
bool ReadScoreBytes(std::vector<char> bytes, const std::string& name, ScoreFile* score, std::string* error);

// Writes the score, compressed when the path ends in .mxl, through a
// temporary file renamed into place: the target is complete or untouched.
bool WriteScore(const std::string& path, ScoreFile& score, std::string* error);

// The output name beside the input: name.cued.musicxml (or .xml, .mxl).
std::string DefaultOutputPath(const std::string& input);

}  // namespace ostinel_cli
