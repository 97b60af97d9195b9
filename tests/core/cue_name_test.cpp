// Staff groups, the cue's name, and the expression that shows it.
#include <cstring>

#include "harness.h"
#include "quivra/qx_records.h"
#include "quivrasim/operations.h"

namespace ostinel_test {
namespace {

TEST_F(CoreTest, GroupsAreListedInNumberOrderPassingOverGaps) {
  const uint16_t a = build.Staff("A");
  const uint16_t b = build.Staff("B");
  const uint16_t c = build.Staff("C");
  build.Group(7, c, c, "^font(Arial)Solo");
  build.Group(1, a, b, "Woodwinds");
  build.Group(3, b, c, "", 0x0800, "Pno.");
  build.Group(1001, a, c, "Beyond");
  build.Group(1000, a, c, "Last");
  build.Group(4, a, a, "");

  ASSERT_EQ(core->MakeGroups(0), 5);
  const std::vector<std::pair<int, std::string>> expected = {
      {1, "Woodwinds"}, {3, "Pno."}, {4, ""}, {7, "Solo"}, {1000, "Last"}};
  for (int i = 0; i < 5; ++i) {
    const ostinel::TGroupRec* group = core->Group(i);
    EXPECT_EQ(group->number, expected[static_cast<size_t>(i)].first);
    EXPECT_EQ(std::string(group->name), expected[static_cast<size_t>(i)].second);
    EXPECT_EQ(group->marker, 0);
  }
  EXPECT_EQ(uint16_t{core->Group(1)->group.flags}, 0x0800) << "the host's record is kept whole";
  EXPECT_EQ(int{core->Group(1)->group.firstStaff}, b);
}

class CueNames : public CoreTest {
 protected:
  std::string Resolve(const char* start, int16_t instrument) {
    char name[50];
    std::strcpy(name, start);
    core->ResolveCueName(name, instrument);
    return name;
  }
};

TEST_F(CueNames, AUserNameStaysElseTheAbbreviationThenTheFullNameCutTo49Characters) {
  const uint16_t flute = build.Staff("Flute", "Fl.");
  const uint16_t oboe = build.Staff("Oboe");
  const uint16_t long_ = build.Staff(std::string(80, 'n'));
  EXPECT_EQ(Resolve("My cue", 1), "My cue");
  EXPECT_EQ(Resolve("(automatic)", static_cast<int16_t>(flute)), "Fl.");
  EXPECT_EQ(Resolve("", static_cast<int16_t>(oboe)), "Oboe");
  EXPECT_EQ(Resolve("", static_cast<int16_t>(long_)), std::string(49, 'n'));
}

TEST_F(CueNames, UnnamedStavesTakeTheNameOfTheirTwoOrThreeStaffGroup) {
  const uint16_t upper = build.Staff();
  const uint16_t lower = build.Staff();
  const uint16_t v1 = build.Staff();
  const uint16_t v2 = build.Staff();
  const uint16_t v3 = build.Staff();
  const uint16_t v4 = build.Staff();
  build.Group(1, upper, lower, "Piano");
  build.Group(2, v1, v4, "Strings");
  build.Group(3, v3, v3, "Solo");
  EXPECT_EQ(Resolve("", static_cast<int16_t>(upper)), "[Staff 1]") << "without a group list the fallback stays";
  core->MakeGroups(0);
  EXPECT_EQ(Resolve("", static_cast<int16_t>(upper)), "Piano");
  EXPECT_EQ(Resolve("", static_cast<int16_t>(lower)), "Piano");
  EXPECT_EQ(Resolve("", static_cast<int16_t>(v2)), "[Staff 4]") << "a four-staff group is never used";
  EXPECT_EQ(Resolve("", static_cast<int16_t>(v3)), "[Staff 5]") << "nor a one-staff group";
}

class TextExpressions : public CoreTest {
 protected:
  int Find(std::string text, uint16_t font, uint16_t efx) {
    text.resize(text.size() + 1);
    return core->FindOrCreateTextExpression(text.data(), font, efx);
  }
  std::string DefinitionText(int number) {
    const quivrasim::Bytes* record = host.Doc().Records().Find(kQXTagTextExprDef, {static_cast<uint32_t>(number), 0, 0});
    if (record == nullptr) return "<none>";
    return std::string(reinterpret_cast<const char*>(record->data()) + 12);
  }
};

TEST_F(TextExpressions, TheSameFlattenedTextAndFontReusesItsDefinition) {
  build.TextExpression("Allegro");
  const int oboe = Find("Oboe", 0x0C01, 0);
  EXPECT_EQ(oboe, 2);
  EXPECT_EQ(Find("Oboe", 0x0C01, 0), oboe);
  EXPECT_EQ(Find("Oboe", 0x0E01, 0), 3) << "another size";
  EXPECT_EQ(Find("Oboe", 0x0C01, 2), 4) << "another style";
  EXPECT_EQ(Find("Oboes", 0x0C01, 0), 5);
  const quivrasim::Bytes* record = host.Doc().Records().Find(kQXTagTextExprDef, {2, 0, 0});
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->size(), 4u + 13u);
  QXTextExprDefHeader header;
  std::memcpy(&header, record->data(), sizeof header);
  EXPECT_EQ(header.fontWord, 0x0C01);
  EXPECT_EQ(header.playbackValue, 30);
  EXPECT_EQ(header.playbackFlags, 0) << "a cue name sets no tempo";
  // Line breaks are flattened before the search.
  const int number = Find("Bass\nClari\rnet", 0x0C01, 0);
  EXPECT_EQ(DefinitionText(number), "BassClari net");
  EXPECT_EQ(Find("BassClari net", 0x0C01, 0), number);
}

TEST_F(TextExpressions, TheSearchStopsAtTheFirstMissingNumber) {
  build.TextExpression("one");
  build.TextExpression("two");
  const int cue = Find("Horn", 0x0C01, 0);
  EXPECT_EQ(cue, 3);
  host.Doc().Records().Erase(kQXTagTextExprDef, {2, 0, 0});
  EXPECT_EQ(Find("Horn", 0x0C01, 0), 4) << "definition 3 lies beyond the gap";
}

class PlaceCueName : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    build.Measures(4);
    source = build.Staff("Flute");
    destination = build.Staff("Oboe");
  }
  QXMeasureExpr PlaceOn(int measure, const quivrasim::EntrySpec& spec) {
    const uint32_t number = build.Entries(destination, measure, 3, {spec})[0];
    const QXEntry entry = host.Doc().Frame({destination, static_cast<int16_t>(measure), 3})->at(0);
    EXPECT_EQ(entry.number, number);
    core->PlaceCueName("Fl.", 2, host.DocumentRegion(), measure, entry);
    const auto assignments = host.Doc().Records().Siblings(kQXTagMeasureExpr, quivrasim::KeyScheme::Incidence,
                                                           {static_cast<uint32_t>(measure), 0, 0});
    EXPECT_EQ(assignments.size(), 1u);
    QXMeasureExpr assignment{};
    if (!assignments.empty()) {
      std::memcpy(&assignment, host.Doc().Records().Find(kQXTagMeasureExpr, assignments.back())->data(),
                  sizeof assignment);
    }
    return assignment;
  }
  QXTextExprDefHeader Definition(int number) {
    QXTextExprDefHeader header{};
    std::memcpy(&header, host.Doc().Records().Find(kQXTagTextExprDef, {static_cast<uint32_t>(number), 0, 0})->data(),
                sizeof header);
    return header;
  }
  uint16_t source = 0;
  uint16_t destination = 0;
};

TEST_F(PlaceCueName, WithoutAFontPreferenceTimesNewRoman16AbsoluteAtTheStartOfTheMeasure) {
  const QXMeasureExpr assignment = PlaceOn(2, quivrasim::EntrySpec::Note(1024, 7));
  // On its staff at the start of the measure, on all layers.
  EXPECT_EQ(std::tie(assignment.staff, assignment.hpos, assignment.flags, assignment.vpos),
            std::make_tuple(destination, 0, 0, 55));
  const QXTextExprDefHeader font = Definition(assignment.definition);
  EXPECT_EQ(font.fontWord, (16 << 8) | host.FontNumber("Times New Roman"));
  EXPECT_EQ(font.efx, 64);
  QXMeasureSpec spec{};
  std::memcpy(&spec, host.Doc().Records().Find(kQXTagMeasureSpec, {2, 0, 0})->data(), sizeof spec);
  EXPECT_EQ(spec.flags & kQXMeasureHasExpression, kQXMeasureHasExpression);
}

TEST_F(PlaceCueName, TheFontPreferenceIsAQuarterLarger) {
  for (const auto& [size, scaled] : {std::pair{10, 12}, std::pair{12, 15}, std::pair{7, 8}}) {
    const QXFontPref preference{2, 0, static_cast<uint16_t>(size), 2};
    quivrasim::Bytes bytes(sizeof preference, 0);
    std::memcpy(bytes.data(), &preference, sizeof preference);
    host.Doc().Records().Put(kQXTagFontPref, {kQXFontPrefCueName, 0, 0}, bytes);
    const int measure = size == 10 ? 1 : size == 12 ? 2 : 3;
    const QXTextExprDefHeader font = Definition(PlaceOn(measure, quivrasim::EntrySpec::Note(1024)).definition);
    EXPECT_EQ(font.fontWord, (scaled << 8) | 2) << size;
    EXPECT_EQ(font.efx, 2);
  }
}

TEST_F(PlaceCueName, TheNameClearsAHighFirstEntry) {
  EXPECT_EQ(PlaceOn(1, quivrasim::EntrySpec::Note(1024, 14)).vpos, 55 + 12 * 4) << "four steps above the staff";
  EXPECT_EQ(PlaceOn(2, quivrasim::EntrySpec::Note(1024, 24)).vpos, 55) << "beyond 200 the default returns";
  EXPECT_EQ(PlaceOn(3, quivrasim::EntrySpec::Rest(1024)).vpos, 55) << "a rest has no notes to clear";
}

}  // namespace
}  // namespace ostinel_test
