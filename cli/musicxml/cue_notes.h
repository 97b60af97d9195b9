// The cue entries the plug-in wrote into one part, as MusicXML: a voice of
// their own per staff, layer and measure, with exact durations.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <tuple>
#include <utility>

#include "importer.h"

namespace ostinel_cli {

// Slurs the plug-in copied, by the entries they start and end on.
struct CueSlurs {
  std::multimap<uint32_t, uint16_t> starts;  // entry -> shape
  std::multimap<uint32_t, uint16_t> stops;
};

struct CueNoteCounts {
  int notes = 0;     // pitched cue notes, chord notes included
  int rests = 0;     // visible cue rests
  int measures = 0;  // (staff, layer, measure) voices written
};

// Where the cue voices went: (measure, staff, layer) -> voice number.
using CueVoices = std::map<std::tuple<int, int, int>, int>;

// The frames that hold entries made after the import: instrument ->
// (measure, layer).
using NewFrames = std::map<uint16_t, std::set<std::pair<int, int>>>;
NewFrames FramesOfNewEntries(const quivrasim::Document& host, const Snapshot& snapshot);

// Writes the part's cue entries. Raises the part's divisions first where the
// cue's durations need finer ones, and shortens multi-measure rests over the
// measures that receive a cue.
CueNoteCounts WriteCueNotes(const quivrasim::Document& host, const ImportedScore& score, const CueSlurs& slurs,
                            const NewFrames& frames, PartLayout& part, CueVoices* voices);

}  // namespace ostinel_cli
