#include "generated_score.h"

#include <random>
#include <string>

#include "quivra/qx_records.h"
#include "quivrasim/score_builder.h"

namespace ostinel_bench {

int64_t GenerateScore(quivrasim::Document& document, const ScoreShape& shape) {
  std::mt19937 random(shape.seed);
  auto between = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
  quivrasim::ScoreBuilder build(document);
  build.Measures(shape.measures);
  build.BaseTempo(1024, 96);

  int64_t entries = 0;
  for (int staff = 1; staff <= shape.staves; ++staff) {
    const uint16_t instrument = build.Staff("Staff " + std::to_string(staff), "St." + std::to_string(staff));
    // Every tenth pair of staves is a keyboard: two staves that rest as one.
    if (shape.keyboardGroups && staff % 20 == 2) build.Group(staff, static_cast<uint16_t>(staff - 1), instrument, "Keyboard", kQXGroupRestsAsOne);
    int measure = between(1, 12);
    while (measure <= shape.measures) {
      const int phrase = std::min(between(6, 40), shape.measures - measure + 1);
      for (int m = measure; m < measure + phrase; ++m) {
        const int layerTwo = between(0, 9) == 0;
        std::vector<quivrasim::EntrySpec> notes;
        for (int beat = 0; beat < 4; ++beat) notes.push_back(quivrasim::EntrySpec::Note(1024, between(0, 14)));
        build.Entries(instrument, m, 0, notes);
        entries += 4;
        if (layerTwo) {
          build.Entries(instrument, m, 1, {quivrasim::EntrySpec::Note(4096, between(-7, 7))});
          ++entries;
        }
      }
      measure += phrase + between(4, 60);  // then a rest
    }
  }
  const int allegro = build.TempoExpression("Allegro", 132);
  for (int measure = 1; measure <= shape.measures; measure += between(30, 80)) {
    if (between(0, 2) == 0) {
      build.MeasureExpression(measure, allegro);
    } else {
      build.TempoChangeQpm(measure, 0, 15 * between(4, 10));
    }
  }
  return entries;
}

}  // namespace ostinel_bench
