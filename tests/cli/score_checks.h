// Reading a written score the way a notation program would check it: where
// each voice of each measure ends, and the cues the command's own reader
// finds in it.
#pragma once

#include <pugixml.hpp>

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace ostinel_test {

nlohmann::json ReadJson(const std::string& path);

// One measure of one part: the divisions in force at its end and where each
// voice ends, in them; cue voices are those whose notes are all cues.
struct MeasureTime {
  int64_t divisions = 1;
  std::map<std::string, int64_t> voiceEnds;
  std::map<std::string, bool> cueVoice;
};
// [part][measure]
std::vector<std::vector<MeasureTime>> MeasureTimes(const pugi::xml_document& score);

// An entry as the command's reader puts it into the host: where it starts,
// its notated value, its tuplet and its sounding pitches.
struct EntryView {
  int32_t position;
  int duration;
  int actual;
  int normal;
  std::vector<std::pair<int, int>> pitches;  // none: a rest
  bool operator==(const EntryView&) const = default;
};
// What a score read by the command holds: the visible entries of a staff's
// layer in a measure, or (layer -1) its cue entries in every layer.
using StaffMusic = std::map<std::pair<int, int>, std::vector<EntryView>>;  // (slot, measure)
StaffMusic ReadMusic(const std::string& path, int layer);

void PrintTo(const EntryView& entry, std::ostream* os);

}  // namespace ostinel_test
