// The tempo map: what it collects from the score, and the seconds between
// two positions.
#include <cmath>

#include "harness.h"
#include "quivra/qx_records.h"

namespace ostinel_test {
namespace {

QXRegion Span(int startMeasure, int32_t startPos, int endMeasure, int32_t endPos, int slots = 1) {
  return QXRegion{0, 1, static_cast<int16_t>(startMeasure), startPos, 0, static_cast<int16_t>(slots),
                  static_cast<int16_t>(endMeasure), endPos};
}

class TempoMap : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    build.Measures(8);
    flute = build.Staff("Flute");
    build.Play(flute, 1, 8);
  }
  double Seconds(int startMeasure, int32_t startPos, int endMeasure, int32_t endPos) {
    return core->Duration(Span(startMeasure, startPos, endMeasure, endPos));
  }
  uint16_t flute = 0;
};

TEST_F(TempoMap, TheBaseTempoAloneGivesTwoSecondsAMeasureAt120) {
  build.BaseTempo(1024, 120);
  ASSERT_TRUE(core->BuildTempoMap(Span(1, 0, 8, kQXEndOfMeasure)));
  EXPECT_EQ(core->TempoMapSize(), 0);
  EXPECT_DOUBLE_EQ(Seconds(1, 0, 1, kQXEndOfMeasure), 2.0);
  EXPECT_DOUBLE_EQ(Seconds(2, 0, 4, kQXEndOfMeasure), 6.0);
  EXPECT_DOUBLE_EQ(Seconds(3, 1024, 3, 1024), 0.0) << "same position";
  EXPECT_DOUBLE_EQ(Seconds(3, 2048, 3, 1024), 0.0) << "an end before the start in one measure";
  EXPECT_DOUBLE_EQ(Seconds(2, 0, 2, 999999), 2.0) << "an end beyond the measure is its end";
}

TEST_F(TempoMap, ABaseTempoWithoutAUnitFallsBackTo120) {
  build.BaseTempo(0, 90);
  ASSERT_TRUE(core->BuildTempoMap(Span(1, 0, 8, kQXEndOfMeasure)));
  EXPECT_DOUBLE_EQ(core->TempoAt(1, 0), 120.0);
  EXPECT_DOUBLE_EQ(Seconds(1, 0, 1, kQXEndOfMeasure), 2.0);
}

TEST_F(TempoMap, AChangeInsideAMeasureSplitsItsDuration) {
  build.BaseTempo(1024, 60);
  build.TempoChangeQpm(1, 512, 120);
  ASSERT_TRUE(core->BuildTempoMap(Span(1, 0, 8, kQXEndOfMeasure)));
  EXPECT_DOUBLE_EQ(Seconds(1, 0, 1, kQXEndOfMeasure), 512 * 60.0 / 60 / 1024 + 3584 * 60.0 / 120 / 1024);
  EXPECT_DOUBLE_EQ(Seconds(1, 0, 1, kQXEndOfMeasure), 2.25);
  EXPECT_DOUBLE_EQ(core->TempoAt(1, 511), 60.0);
  EXPECT_DOUBLE_EQ(core->TempoAt(1, 512), 120.0) << "in force at its own position";
  EXPECT_DOUBLE_EQ(Seconds(1, 512, 1, kQXEndOfMeasure), 1.75) << "in force from a start at its position";
}

TEST_F(TempoMap, RelativeChangesScaleTheTempoInForce) {
  build.BaseTempo(1024, 120);
  build.TempoChange(2, 0, 500, kQXQuarter, true);
  build.TempoChange(3, 0, 1000, kQXQuarter, true);
  build.TempoChangeQpm(4, 0, 90);
  build.TempoChange(5, 0, 2000, kQXQuarter, true);
  ASSERT_TRUE(core->BuildTempoMap(Span(1, 0, 8, kQXEndOfMeasure)));
  EXPECT_DOUBLE_EQ(core->TempoAt(2, 0), 60.0);
  EXPECT_DOUBLE_EQ(core->TempoAt(3, 100), 60.0);
  EXPECT_DOUBLE_EQ(core->TempoAt(5, 0), 180.0);
}

TEST_F(TempoMap, TempoExpressionsInMeasuresAndOnNotesCount) {
  build.BaseTempo(1024, 120);
  const int adagio = build.TempoExpression("Adagio", 60);
  const int halfNotes = build.TempoExpression("Half = 40", 40, 2048);
  const int plain = build.TextExpression("dolce");
  build.MeasureExpression(2, adagio, 1024, kQXExprAtHpos);
  build.MeasureExpression(3, adagio, -300, kQXExprAtHpos);
  build.MeasureExpression(4, plain);
  const uint32_t third = build.Entries(flute, 6, 2, {quivrasim::EntrySpec::Note(2048), quivrasim::EntrySpec::Note(2048)})[1];
  build.EntryExpression(third, halfNotes);
  ASSERT_TRUE(core->BuildTempoMap(Span(1, 0, 8, kQXEndOfMeasure)));
  EXPECT_DOUBLE_EQ(core->TempoAt(2, 1023), 120.0);
  EXPECT_DOUBLE_EQ(core->TempoAt(2, 1024), 60.0);
  EXPECT_DOUBLE_EQ(core->TempoAt(3, 0), 60.0) << "a negative position counts as 0";
  ASSERT_EQ(core->TempoMapSize(), 3) << "a plain text expression sets no tempo";
  char kind = 0;
  int32_t measure = 0;
  int32_t position = 0;
  double tempo = 0;
  core->TempoMapEntry(2, &kind, &measure, &position, &tempo);
  EXPECT_EQ(kind, 'e');
  EXPECT_EQ(measure, 6);
  EXPECT_EQ(position, 2048) << "at the entry's position";
  EXPECT_DOUBLE_EQ(tempo, 80.0) << "40 half notes a minute";
}

TEST_F(TempoMap, AnExpressionOverridesATempoChangeAtTheSamePlace) {
  build.BaseTempo(1024, 120);
  build.TempoChangeQpm(2, 0, 90);
  build.MeasureExpression(2, build.TempoExpression("Andante", 91));
  ASSERT_TRUE(core->BuildTempoMap(Span(1, 0, 8, kQXEndOfMeasure)));
  EXPECT_EQ(core->TempoMapSize(), 1);
  EXPECT_DOUBLE_EQ(core->TempoAt(2, 0), 91.0);
  EXPECT_TRUE(host.Alerts().empty()) << "a difference of 1 is no conflict";
}

TEST_F(TempoMap, ConflictingTempiAreReportedOnceWhileLoaded) {
  build.BaseTempo(1024, 120);
  build.TempoChange(3, 0, 120 * 65536 / 60, kQXQuarter);
  build.MeasureExpression(3, build.TempoExpression("exactly 1.5 more", 243, 512));  // 121.5
  ASSERT_TRUE(core->BuildTempoMap(Span(1, 0, 8, kQXEndOfMeasure)));
  EXPECT_TRUE(host.Alerts().empty()) << "exactly 1.5 apart";

  build.TempoChangeQpm(5, 0, 90);
  build.MeasureExpression(5, build.TempoExpression("Allegro", 132));
  build.TempoChangeQpm(7, 0, 90);
  build.MeasureExpression(7, build.TempoExpression("Presto", 180));
  ASSERT_TRUE(core->BuildTempoMap(Span(1, 0, 8, kQXEndOfMeasure)));
  ASSERT_EQ(host.Alerts().size(), 1u);
  EXPECT_EQ(AlertAt(host, 0).text,
            "There are conflicting tempo specifications in this document. The first one is at measure 5.");
  EXPECT_EQ(AlertAt(host, 0).style, 0);
  EXPECT_DOUBLE_EQ(core->TempoAt(5, 0), 132.0) << "the later indication wins";
  EXPECT_DOUBLE_EQ(core->TempoAt(7, 0), 180.0);

  ASSERT_TRUE(core->BuildTempoMap(Span(1, 0, 8, kQXEndOfMeasure)));
  EXPECT_EQ(host.Alerts().size(), 1u) << "never again while the plug-in is loaded";
}

TEST_F(TempoMap, AnIndicationBeyondItsMeasureActsAtItsEnd) {
  build.BaseTempo(1024, 60);
  build.TempoChangeQpm(2, 6000, 120);
  ASSERT_TRUE(core->BuildTempoMap(Span(1, 0, 8, kQXEndOfMeasure)));
  EXPECT_DOUBLE_EQ(Seconds(2, 0, 3, kQXEndOfMeasure), 4.0 + 2.0);
}

TEST_F(TempoMap, AnEndBeforeItsStartIsAnInternalError) {
  ASSERT_TRUE(core->BuildTempoMap(Span(1, 0, 8, kQXEndOfMeasure)));
  EXPECT_DOUBLE_EQ(Seconds(1, 5000, 2, 0), 1.0);
  ASSERT_EQ(host.Alerts().size(), 1u);
  EXPECT_EQ(AlertAt(host, 0).text, "There was an internal error calculating the duration");
}

TEST_F(TempoMap, TheBackwardPassStopsAtTheNearestIndicationInForceAtTheStart) {
  build.TempoChangeQpm(2, 1024, 100);
  build.TempoChangeQpm(4, 2048, 90);
  host.ResetCounters();
  ASSERT_TRUE(core->BuildTempoMap(Span(6, 0, 8, kQXEndOfMeasure)));
  EXPECT_EQ(host.FrameLoads(flute, 4), 4) << "the measure with the indication is read";
  EXPECT_EQ(host.FrameLoads(flute, 3), 0) << "measures before it are not";
  EXPECT_DOUBLE_EQ(core->TempoAt(6, 0), 90.0);
}

TEST_F(TempoMap, AnIndicationAtTheStartEndsTheBackwardPassThereOnlyAsTheLastRecord) {
  build.TempoChangeQpm(3, 0, 100);
  build.TempoChangeQpm(5, 0, 80);
  build.TempoChangeQpm(5, 1024, 70);  // read last: it decides, and it is not at 0
  build.TempoChangeQpm(6, 0, 75);
  host.ResetCounters();
  ASSERT_TRUE(core->BuildTempoMap(Span(6, 0, 8, kQXEndOfMeasure)));
  EXPECT_EQ(host.FrameLoads(flute, 5), 0) << "the start measure's record at 0 ends the pass";

  host.ResetCounters();
  ASSERT_TRUE(core->BuildTempoMap(Span(5, 0, 8, kQXEndOfMeasure)));
  EXPECT_EQ(host.FrameLoads(flute, 4), 4) << "the last record of measure 5 is not at 0: read on";
  EXPECT_EQ(host.FrameLoads(flute, 3), 4);
  EXPECT_EQ(host.FrameLoads(flute, 2), 0);

  build.MeasureExpression(5, build.TempoExpression("a tempo", 80));
  host.ResetCounters();
  ASSERT_TRUE(core->BuildTempoMap(Span(5, 0, 8, kQXEndOfMeasure)));
  EXPECT_EQ(host.FrameLoads(flute, 4), 0) << "an expression at 0 qualifies as well";
}

TEST_F(TempoMap, FramesAreReadWithTheHostsLayout) {
  module->Version(0x0A000000);
  host.ResetCounters();
  ASSERT_TRUE(core->BuildTempoMap(Span(1, 0, 1, kQXEndOfMeasure)));
  EXPECT_EQ(host.FrameLoads(flute, 1), 4) << "every layer of the staff";
  EXPECT_EQ(host.FrameLoadVersions(), (std::map<uint32_t, int>{{0x0A000000, 4}}));
  module->Version(0x0A010000);
  host.ResetCounters();
  ASSERT_TRUE(core->BuildTempoMap(Span(1, 0, 1, kQXEndOfMeasure)));
  EXPECT_EQ(host.FrameLoadVersions(), (std::map<uint32_t, int>{{0x0F000000, 4}}));
}

TEST_F(TempoMap, CancellingTheBuildEndsItsProgressRunWithCancel) {
  build.TempoChangeQpm(1, 0, 100);
  host.CancelProgressAt(3);
  EXPECT_FALSE(core->BuildTempoMap(Span(2, 0, 8, kQXEndOfMeasure)));
  ASSERT_EQ(host.ProgressRuns().size(), 1u);
  EXPECT_TRUE(host.ProgressRuns()[0].ended);
  EXPECT_EQ(host.ProgressRuns()[0].endCancel, 1);
  EXPECT_EQ(host.ProgressRuns()[0].calls, 3);
  EXPECT_EQ(core->TempoMapSize(), 1) << "what was added stays";
}

}  // namespace
}  // namespace ostinel_test
