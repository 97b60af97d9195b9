// A large partwise MusicXML score for benchmarks and tests: each part
// alternates phrases of quarters and eighths (with slurs, staccatos and
// dynamics) and rests of 4 to 60 measures; the first part carries tempo marks.
#pragma once

#include <string>

namespace ostinel_bench {

std::string GenerateMusicXml(int parts, int measures);

}  // namespace ostinel_bench
