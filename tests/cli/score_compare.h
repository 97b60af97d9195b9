// A cued score held against its original, as a musician checks a part:
// everything the command did not add is unchanged (notes, directions,
// attributes, layout, the header and, for .mxl, the archive's other
// entries), the players' notes keep their clef, key and transposition, and
// every cue sounds what its source plays at that moment and fills exactly
// its measure. What the command adds is counted by kind, and only there.
#pragma once

#include <pugixml.hpp>

#include <map>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

namespace ostinel_test {

struct Verdict {
  std::vector<std::string> findings;   // what is wrong, a line each
  std::map<std::string, int> added;    // what the command added, by kind ("cue note", "cue name", ...)
  int Added(const std::string& kind) const {
    const auto found = added.find(kind);
    return found == added.end() ? 0 : found->second;
  }
};

// summary: the command's JSON summary of the run, whose locations say where
// each cue was copied from and which staves received it.
Verdict CompareScores(const pugi::xml_document& original, const pugi::xml_document& cued,
                      const nlohmann::json& summary);
// The same for two files; .mxl archives are compared entry by entry.
Verdict CompareFiles(const std::string& original, const std::string& cued, const nlohmann::json& summary);

std::ostream& operator<<(std::ostream& os, const Verdict& verdict);

}  // namespace ostinel_test
