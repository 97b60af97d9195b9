// Multi-measure rests (<multiple-rest>) must not hide a cue: a span over a
// measure that receives one is cut there, and started again after it.
#pragma once

#include <set>

#include "importer.h"

namespace ostinel_cli {

// measures: the part's measures (1-based) that hold a cue now.
void ShortenMultiRests(PartLayout& part, const std::set<int>& measures);

}  // namespace ostinel_cli
