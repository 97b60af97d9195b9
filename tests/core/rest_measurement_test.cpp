// Whether a staff rests in a measure, and how long it rests.
#include <dlfcn.h>

#include <functional>

#include "harness.h"
#include "quivra/qx_records.h"

namespace ostinel_test {
namespace {

using quivrasim::EntrySpec;

constexpr uint32_t kMeasures = 0x4;  // working flags: measures, not seconds

class RestMeasurement : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    build.Measures(20);
    player = build.Staff("Flute");
    rester = build.Staff("Oboe");
    build.Play(player, 1, 20);
  }
  // A walk's length, then its first and last measure: "8 5-12".
  std::string Walk(int slot, int start, bool forward, int32_t maxLength = ostinel::kUnlimited,
                   int32_t maxEnd = ostinel::kUnlimited) {
    int first = 0;
    int last = 0;
    const double length = core->RestLength(slot, start, &last, &first, forward, maxLength, maxEnd);
    char text[48];
    std::snprintf(text, sizeof text, "%g %d-%d", length, first, last);
    return text;
  }
  uint16_t player = 0;
  uint16_t rester = 0;
};

TEST_F(RestMeasurement, RestsAreEmptyAndOneNoteInAnyLayerIsNot) {
  build.Rest(rester, 1, 20);
  build.Entries(rester, 4, 2, {EntrySpec::Rest(2048), EntrySpec::Note(2048)});
  core->PrepareSearch(kMeasures);
  const ostinel::TEmpty* record = nullptr;
  EXPECT_TRUE(core->MeasureEmpty(2, 3, &record));
  ASSERT_NE(record, nullptr);
  EXPECT_TRUE(record->known);
  EXPECT_EQ(record->entryCount, 1) << "the whole-measure rest";
  EXPECT_FALSE(core->MeasureEmpty(2, 4, &record));
  EXPECT_EQ(record->layer, 2);
  EXPECT_FALSE(core->MeasureEmpty(1, 4, &record));
  EXPECT_EQ(record->layer, 0);
  EXPECT_EQ(record->entryCount, 4);
  EXPECT_FALSE(core->MeasureEmpty(0, 4, &record)) << "no slot 0";
  EXPECT_EQ(record, nullptr);
}

TEST_F(RestMeasurement, EachMeasureIsReadOnceAndNoFurtherThanItsFirstLayerWithNotes) {
  core->PrepareSearch(kMeasures);
  host.ResetCounters();
  for (int i = 0; i < 3; ++i) {
    core->MeasureEmpty(1, 5, nullptr);
    core->MeasureEmpty(2, 5, nullptr);
  }
  EXPECT_EQ(host.FrameLoads(player, 5), 1) << "layer 0 has notes: the other layers are not read";
  EXPECT_EQ(host.FrameLoads(rester, 5), 4) << "an empty measure reads every layer";
  EXPECT_EQ(host.MaxLoadsOfOneFrame(), 1);
}

TEST_F(RestMeasurement, CueSizedNotesAtEightyPercentOrLessAreCues) {
  const uint32_t at80 = build.Entries(rester, 6, 1, {EntrySpec::Note(4096)})[0];
  const uint32_t at81 = build.Entries(rester, 7, 1, {EntrySpec::Note(4096)})[0];
  build.EntrySize(at80, 80);
  build.EntrySize(at81, 81);
  core->PrepareSearch(kMeasures);
  EXPECT_FALSE(core->MeasureEmpty(2, 6, nullptr));
  EXPECT_TRUE(core->HasCue(2, 6));
  EXPECT_FALSE(core->MeasureEmpty(2, 7, nullptr));
  EXPECT_FALSE(core->HasCue(2, 7));
  EXPECT_FALSE(core->HasCue(2, 8)) << "not yet measured";
}

TEST_F(RestMeasurement, MarkingAMeasureCuedOverridesWhatWasKnown) {
  core->PrepareSearch(kMeasures);
  EXPECT_TRUE(core->MeasureEmpty(2, 9, nullptr));
  core->MarkCued(2, 9, 0);
  EXPECT_TRUE(core->HasCue(2, 9));
  EXPECT_FALSE(core->MeasureEmpty(2, 9, nullptr));
}

TEST_F(RestMeasurement, AStaffOfAGroupThatRestsAsOneRestsOnlyWithItsGroup) {
  const uint16_t upper = build.Staff("Piano");
  const uint16_t lower = build.Staff();
  const uint16_t other = build.Staff("Harp");
  const uint16_t other2 = build.Staff();
  build.Group(1, upper, lower, "Piano", kQXGroupRestsAsOne);
  build.Group(2, other, other2, "Harp");
  build.Play(lower, 3, 3);
  build.Play(other2, 3, 3);
  core->PrepareSearch(kMeasures);
  EXPECT_FALSE(core->MeasureEmpty(3, 3, nullptr)) << "the lower staff plays";
  EXPECT_TRUE(core->MeasureEmpty(3, 4, nullptr));
  EXPECT_TRUE(core->SecondaryStaff(lower));
  EXPECT_FALSE(core->SecondaryStaff(upper));
  EXPECT_TRUE(core->MeasureEmpty(5, 3, nullptr)) << "a group without the flag rests staff by staff";
  EXPECT_FALSE(core->SecondaryStaff(other2));
}

TEST_F(RestMeasurement, AskingTheLowerStaffFirstStillMeasuresTheGroup) {
  const uint16_t upper = build.Staff("Piano");
  const uint16_t lower = build.Staff();
  build.Group(1, upper, lower, "Piano", kQXGroupRestsAsOne2);
  build.Play(upper, 2, 2);
  core->PrepareSearch(kMeasures);
  EXPECT_FALSE(core->MeasureEmpty(4, 2, nullptr));
  EXPECT_FALSE(core->SecondaryStaff(lower)) << "only asking the first staff marks the others";
}

TEST_F(RestMeasurement, WalksForwardToTheReEntryAndBackwardToTheLastNote) {
  build.Play(rester, 1, 4).Play(rester, 13, 15);
  core->PrepareSearch(kMeasures);
  EXPECT_EQ(Walk(1, 5, true), "0 5-4") << "from a played measure: no rest";
  EXPECT_EQ(Walk(2, 5, true), "8 5-12") << "the empty measures before the re-entry";
  EXPECT_EQ(Walk(2, 5, true, 3), "4 5-7") << "stopped by the limit: one measure more";
  EXPECT_EQ(Walk(2, 5, true, ostinel::kUnlimited, 9), "6 5-9") << "the measure past maxEnd counts";
  EXPECT_EQ(Walk(2, 16, true), "5 16-20") << "a rest to the end is measured to the document's end";
  EXPECT_EQ(Walk(2, 18, true), "0 18-20") << "three measures or fewer to the end";
  EXPECT_EQ(Walk(2, 12, false), "8 5-12");
  EXPECT_EQ(Walk(2, 12, false, 2), "3 10-12") << "stopped by the limit: one more";
  EXPECT_EQ(Walk(2, 13, false), "0 14-13") << "it plays at its own start";
  build.Play(rester, 20, 20);
  build.Rest(rester, 1, 4);
  core->PrepareSearch(kMeasures);
  EXPECT_EQ(Walk(2, 16, true), "5 16-20") << "the last measure itself is never read";
  EXPECT_EQ(Walk(2, 3, false), "0 1-3") << "empty since measure 1 but too short";
  EXPECT_EQ(Walk(2, 12, false), "12 1-12");
}

TEST_F(RestMeasurement, SecondsFollowTheTempo) {
  build.Play(rester, 1, 4).Play(rester, 13, 20);
  build.BaseTempo(1024, 120);
  build.TempoChangeQpm(9, 0, 60);
  core->PrepareSearch(0);
  ASSERT_TRUE(core->BuildTempoMap(host.DocumentRegion()));
  EXPECT_EQ(Walk(2, 5, true), "24 5-12") << "4 x 2 s + 4 x 4 s";
  EXPECT_EQ(Walk(2, 12, false, 5), "20 7-12") << "six measures back, two of them before the change";
}

// Each staff's offer as the source of a cue for measures 5..12, term by
// term: +10 for a clean start, +10 within the desired length (5), +10 when it
// falls silent at 13, +10 within ten measures of 12, 2 x (4 - how far before
// 12 it ends), 20 - its length, and min(3 x entries, 20) for each measure.
TEST(ProposalScores, AddUpTheTermsOfEachOffer) {
  struct Offer {
    const char* label;
    std::function<void(quivrasim::ScoreBuilder&, uint16_t)> play;
    int score, start, end;
  };
  auto notes = [](int count, bool tiedOver) {
    std::vector<EntrySpec> entries;
    for (int i = 0; i < count; ++i) {
      entries.push_back(EntrySpec{4096 / count, {quivrasim::NoteSpec{7, 0, tiedOver ? kQXNoteTieEnd : 0u}}, 0, 0});
    }
    return entries;
  };
  auto everyMeasure = [&](int count, bool tiedOver, int first, int last) {
    return [=](quivrasim::ScoreBuilder& build, uint16_t staff) {
      for (int m = first; m <= last; ++m) build.Entries(staff, m, 0, notes(count, tiedOver));
    };
  };
  const Offer offers[] = {
      {"four notes a measure", everyMeasure(4, false, 1, 20), 10 + 10 + 10 + 8 + 15 + 5 * 12, 8, 12},
      {"silent from 12", everyMeasure(4, false, 1, 11), 10 + 10 + 10 + 10 + 6 + 15 + 5 * 12, 7, 11},
      {"seven notes a measure", everyMeasure(7, false, 1, 20), 10 + 10 + 10 + 8 + 15 + 5 * 20, 8, 12},
      {"every start tied over", everyMeasure(4, true, 1, 20), 10 + 8 + 12 + 8 * 12, 5, 12},
      {"one tied-over note a measure", everyMeasure(1, true, 1, 20), 10 + 8 + 12 + 8 * 3, 5, 12},
      {"only from 12", everyMeasure(4, false, 12, 20), 10 + 10 + 10 + 8 + 19 + 12, 12, 12},
  };
  for (const Offer& offer : offers) {
    quivrasim::Host host;
    quivrasim::ScoreBuilder build(host.Doc());
    build.Measures(20);
    offer.play(build, build.Staff("Source"));
    build.Play(build.Staff("Rester"), 1, 4);
    std::string error;
    auto module = quivrasim::Plugin::Load(host, ProbePath(), &error);
    ASSERT_NE(module, nullptr) << error;
    module->Start();
    const CoreProbe* core = reinterpret_cast<CoreProbeFn>(dlsym(module->Module(), CORE_PROBE_SYMBOL))();
    core->PrepareSearch(kMeasures);
    int start = 0;
    int end = 0;
    EXPECT_EQ(core->ScoreSource(1, 5, 12, &start, &end), offer.score) << offer.label;
    EXPECT_EQ(std::make_pair(start, end), std::make_pair(offer.start, offer.end)) << offer.label;
  }
}

}  // namespace
}  // namespace ostinel_test
