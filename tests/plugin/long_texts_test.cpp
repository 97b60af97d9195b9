// Texts as long as a score or a user can make them reach the plug-in's fixed
// buffers whole when they fit and cut when they do not, never past the end
// (the sanitizer build checks the "never").
#include "harness.h"
#include "quivra/qx_records.h"

namespace ostinel_test {
namespace {

using quivrasim::DialogSession;

class LongTexts : public PluginTest {
 protected:
  // A flute playing throughout and a horn that rests from measure 2 until
  // the last two measures; returns the horn.
  uint16_t HornResting(int measures) {
    build.Measures(measures);
    const uint16_t flute = build.Staff("Flute");
    const uint16_t horn = build.Staff("Horn");
    build.Play(flute, 1, measures);
    build.Play(horn, 1, 1).Play(horn, measures - 1, measures);
    return horn;
  }
  // Marks the locations, counting rests in seconds.
  void MarkInSeconds(int threshold) {
    RunDialog([&](DialogSession& d) {
      Configure(d, {.mark = true, .measures = false, .threshold = threshold});
      d.Click(IDC_START);
      d.Click(IDC_CLOSE);
    });
  }
};

TEST_F(LongTexts, TheLongestRestInSecondsMakesACompleteMarker) {
  // At the slowest tempo the host can state (1/65536 of its unit a minute)
  // a measure lasts 262,144 seconds; 998 of them make the largest number.
  const uint16_t horn = HornResting(1001);
  build.TempoChange(1, 0, 1, kQXQuarter);
  MarkInSeconds(999);
  EXPECT_EQ(MarkerTexts(host, horn, 999),
            std::vector<std::string>{"^font(Arial)^size(10)^efx(italic)*** 261619712.0 seconds of rest ***"});
}

TEST_F(LongTexts, TheTempoConflictMessageNamesAFiveDigitMeasureWhole) {
  HornResting(30000);
  build.TempoChangeQpm(29999, 0, 90);
  build.MeasureExpression(29999, build.TempoExpression("Presto", 180));
  MarkInSeconds(8);
  ASSERT_FALSE(host.Alerts().empty());
  EXPECT_EQ(AlertAt(host, 0).text,
            "There are conflicting tempo specifications in this document. The first one is at measure 29999.");
}

// A staff name longer than every buffer gives a 49-character proposal; a
// cue name typed longer than its field is cut to 49 characters.
TEST_F(LongTexts, NamesLongerThanTheirBuffersAreCutTo49Characters) {
  build.Measures(20);
  const std::string name(3000, 'F');
  const uint16_t flute = build.Staff(name, name);
  const uint16_t oboe = build.Staff("Oboe", "Ob.");
  build.Play(flute, 1, 20);
  build.Play(oboe, 1, 4).Play(oboe, 13, 20);
  RunDialog([&](DialogSession& d) {
    Configure(d, SearchOptions{});
    d.Click(IDC_START);
    EXPECT_EQ(d.Text(IDC_USE_PROPOSED), "Use Proposed Cue:  " + std::string(49, 'F') + ", actual measure 8 to 12");
    d.Type(IDC_CUE_NAME, std::string(300, 'n'));
    d.Click(IDC_CREATE);
  });
  EXPECT_EQ(ExpressionsAt(host, 8), (std::vector<std::pair<uint16_t, std::string>>{{oboe, std::string(49, 'n')}}));
  EXPECT_EQ(host.Doc().UndoLabels(), std::vector<std::string>{"Add Cue: " + std::string(49, 'n') + ", m. 8-12"});
}

}  // namespace
}  // namespace ostinel_test
