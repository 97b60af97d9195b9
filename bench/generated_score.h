// A generated orchestral score for benchmarks: staves that alternate phrases
// and rests of realistic lengths, two-staff groups that rest as one, tempo
// changes and tempo expressions.
#pragma once

#include <cstdint>

#include "quivrasim/document.h"

namespace ostinel_bench {

struct ScoreShape {
  int staves = 100;
  int measures = 1000;
  uint32_t seed = 2026;
  bool keyboardGroups = true;  // every twentieth pair of staves rests as one
};

// Fills an empty document; returns the number of note entries written.
int64_t GenerateScore(quivrasim::Document& document, const ScoreShape& shape);

}  // namespace ostinel_bench
