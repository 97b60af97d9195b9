// The score the cue-writing tests work on.
#pragma once

#include <functional>

#include "harness.h"

namespace ostinel_test {

// Twenty measures. The flute plays throughout (a different note each beat);
// the oboe and the clarinet rest in 5..12 and come back together in 13; the
// horn plays throughout. An interactive search stops at the oboe's rest (end
// 12), proposes the flute's measures 8..12 and preselects the oboe and the
// clarinet.
class CueScore : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    build.Measures(20);
    flute = build.Staff("Flute", "Fl.");
    oboe = build.Staff("Oboe", "Ob.");
    clarinet = build.Staff("Clarinet in B^flat()", "Cl.");
    horn = build.Staff("Horn", "Hn.");
    for (int measure = 1; measure <= 20; ++measure) {
      using quivrasim::EntrySpec;
      build.Entries(flute, measure, 0,
                    {EntrySpec::Note(1024, measure), EntrySpec::Note(1024, measure + 1),
                     EntrySpec::Note(1024, measure + 2), EntrySpec::Note(1024, measure + 3)});
    }
    build.Play(oboe, 1, 4).Play(oboe, 13, 20);
    build.Play(clarinet, 1, 4).Play(clarinet, 13, 20);
    build.Play(horn, 1, 20);
  }
  // Starts an interactive search and lets act do the rest at the first location.
  void AtLocation(const std::function<void(quivrasim::DialogSession&)>& act) {
    RunDialog([&](quivrasim::DialogSession& d) {
      Configure(d, SearchOptions{});
      d.Click(IDC_START);
      ASSERT_EQ(d.Text(IDC_MEASURE_NUMBER), "12");
      act(d);
    });
  }
  uint16_t flute = 0;
  uint16_t oboe = 0;
  uint16_t clarinet = 0;
  uint16_t horn = 0;
};

}  // namespace ostinel_test
