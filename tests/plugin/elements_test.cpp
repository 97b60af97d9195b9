// What goes with a cue besides its notes, by the dialog's Include switches.
#include <algorithm>

#include "cue_score.h"
#include "quivra/qx_records.h"

namespace ostinel_test {
namespace {

using quivrasim::DialogSession;
using quivrasim::EntrySpec;
using quivrasim::RecordKey;

// The search offers the flute's 8..12 for the oboe and the clarinet.
class Elements : public CueScore {
 protected:
  // Writes the proposed cue with the include boxes as given ({} = as they are).
  void CreateWith(const std::vector<int>& toggle = {}) {
    RunDialog([&](DialogSession& d) {
      Configure(d, SearchOptions{});
      for (const int box : toggle) d.Click(box);
      d.Click(IDC_START);
      ASSERT_EQ(d.Text(IDC_USE_PROPOSED), "Use Proposed Cue:  Fl., actual measure 8 to 12");
      d.Click(IDC_CREATE);
    });
  }
  template <class Record>
  Record Read(uint32_t tag, RecordKey key) {
    Record record{};
    const quivrasim::Bytes* bytes = host.Doc().Records().Find(tag, key);
    EXPECT_NE(bytes, nullptr);
    if (bytes != nullptr) std::memcpy(&record, bytes->data(), sizeof record);
    return record;
  }
  std::vector<QXSmartShape> ShapesOn(uint16_t staff) {
    std::vector<QXSmartShape> shapes;
    for (const auto& [key, bytes] : host.Doc().Records().All(kQXTagSmartShape)) {
      QXSmartShape shape;
      std::memcpy(&shape, bytes->data(), sizeof shape);
      if (shape.startStaff == staff) shapes.push_back(shape);
    }
    return shapes;
  }
  std::vector<uint16_t> ShapesAssignedAt(int measure) {
    std::vector<uint16_t> shapes;
    for (const RecordKey& key : host.Doc().Records().Siblings(kQXTagShapeMeasure, quivrasim::KeyScheme::Incidence,
                                                              {static_cast<uint32_t>(measure), 0, 0})) {
      shapes.push_back(Read<QXShapeMeasure>(kQXTagShapeMeasure, key).shape);
    }
    return shapes;
  }
  uint32_t Entry(uint16_t staff, int measure, int layer, size_t index) {
    return EntriesOf(host, staff, measure, layer).at(index).number;
  }
};

TEST_F(Elements, ExpressionsOfTheSourceLayerGoToTheDestinationLayerWhenSwitchedOn) {
  const int dolce = build.TextExpression("dolce");
  const int pp = build.TextExpression("pp");
  build.MeasureExpression(9, dolce, 0, 0, flute);      // every layer
  build.MeasureExpression(10, pp, 0, 3, flute);        // layer 3 only
  build.MeasureExpression(11, dolce, 0, 0, clarinet);  // another staff
  CreateWith();
  EXPECT_EQ(ExpressionsAt(host, 9).size(), 1u) << "without the switch no expression is copied";
  ASSERT_TRUE(host.Doc().Undo());
  CreateWith({IDC_EXPRESSIONS});
  const auto at9 = ExpressionsAt(host, 9);
  ASSERT_EQ(at9.size(), 3u);
  EXPECT_EQ(at9[1], (std::pair<uint16_t, std::string>{oboe, "dolce"}));
  EXPECT_EQ(at9[2], (std::pair<uint16_t, std::string>{clarinet, "dolce"}));
  const auto keys = host.Doc().Records().Siblings(kQXTagMeasureExpr, quivrasim::KeyScheme::Incidence, {9, 0, 0});
  EXPECT_EQ(Read<QXMeasureExpr>(kQXTagMeasureExpr, keys[1]).flags & kQXExprLayerMask, 4) << "layer 4 only";
  EXPECT_EQ(ExpressionsAt(host, 10).size(), 1u) << "an expression of another layer stays";
  EXPECT_EQ(ExpressionsAt(host, 11).size(), 1u);
}

TEST_F(Elements, AMeasureBoundShapeIsCopiedOnceWithAMiddleSegmentPerInnerMeasure) {
  const uint16_t hairpin = build.SmartShape(flute, 9, 11);
  build.SmartShape(flute, 10, 10);
  CreateWith({IDC_SMART_SHAPES});
  for (const uint16_t staff : {oboe, clarinet}) {
    const auto shapes = ShapesOn(staff);
    ASSERT_EQ(shapes.size(), 2u) << staff;
    EXPECT_EQ(shapes[0].endStaff, staff);
  }
  // Three measures: assignments at 9, 10 and 11; one segment, in 10.
  const auto oboeShapes = ShapesOn(oboe);
  uint16_t copy = 0;
  for (const auto& [key, bytes] : host.Doc().Records().All(kQXTagSmartShape)) {
    QXSmartShape shape;
    std::memcpy(&shape, bytes->data(), sizeof shape);
    if (shape.startStaff == oboe && shape.endMeasure == 11) copy = static_cast<uint16_t>(key.a);
  }
  ASSERT_NE(copy, 0);
  for (const int measure : {9, 10, 11}) {
    const auto shapes = ShapesAssignedAt(measure);
    EXPECT_EQ(std::count(shapes.begin(), shapes.end(), copy), 1) << measure;
    EXPECT_EQ(std::count(shapes.begin(), shapes.end(), hairpin), 1) << measure;
  }
  EXPECT_EQ(host.Doc().Records().Siblings(kQXTagShapeSegment, quivrasim::KeyScheme::OwnedNumber, {copy, 0, 0}).size(),
            1u);
  const auto single = ShapesAssignedAt(10);
  EXPECT_EQ(single.size(), 2u + 2u + 2u) << "two shapes of the flute's, each copied to two staves";
}

TEST_F(Elements, AnEntryBoundShapeLinkedTwiceIsCopiedOnceToTheCopiedEntriesAndNoneFromOutside) {
  const uint32_t start = Entry(flute, 9, 0, 0);
  const uint32_t end = Entry(flute, 10, 0, 2);
  const uint16_t slur = build.SmartShape(flute, 9, 10, kQXShapeEntryBound, start, end);
  // A shape of an entry outside the cue is not copied.
  build.SmartShape(flute, 6, 9, kQXShapeEntryBound, Entry(flute, 6, 0, 0), Entry(flute, 9, 0, 0));
  build.AddRecord(kQXTagEntryShapeLink, QXKey::Entry(Entry(flute, 9, 0, 1), kQXNew), QXEntryShapeLink{slur, {}});
  CreateWith({IDC_SMART_SHAPES});
  const auto shapes = ShapesOn(oboe);
  ASSERT_EQ(shapes.size(), 1u);
  EXPECT_EQ(uint32_t{shapes[0].startEntry}, Entry(oboe, 9, 3, 0));
  EXPECT_EQ(uint32_t{shapes[0].endEntry}, Entry(oboe, 10, 3, 2));
  EXPECT_EQ(ShapesOn(clarinet).size(), 1u);
  const auto links = host.Doc().Records().Siblings(kQXTagEntryShapeLink, quivrasim::KeyScheme::EntryIncidence,
                                                   {Entry(oboe, 9, 3, 0), 0, 0});
  ASSERT_EQ(links.size(), 1u) << "the new start entry links to the new shape";
}

TEST_F(Elements, ClefsAreCopiedWhereBothStavesHaveAClefRecordWithTheirChangeLists) {
  build.AddRecord(kQXTagHold, QXKey::Of(flute, 8, 0), QXHold{3, 0, {}});
  build.AddRecord(kQXTagHold, QXKey::Of(oboe, 8, 0), QXHold{0, 0, {}});
  const uint16_t list = build.AddRecord(kQXTagClefChange, QXKey::Of(kQXNew, 0), QXClefChange{0, 0, {}}).first;
  build.AddRecord(kQXTagClefChange, QXKey::Of(list, 1), QXClefChange{3, 2048, {}});
  build.AddRecord(kQXTagHold, QXKey::Of(flute, 10, 0), QXHold{list, kQXHoldClefList, {}});
  build.AddRecord(kQXTagHold, QXKey::Of(oboe, 10, 0), QXHold{0, 0, {}});
  CreateWith();  // clefs are included by default
  EXPECT_EQ(Read<QXHold>(kQXTagHold, {oboe, 8, 0}).clef, 3);
  const QXHold copied = Read<QXHold>(kQXTagHold, {oboe, 10, 0});
  EXPECT_EQ(copied.flags & kQXHoldClefList, kQXHoldClefList);
  EXPECT_NE(copied.clef, list) << "the staff gets a list of its own";
  const auto entries =
      host.Doc().Records().Siblings(kQXTagClefChange, quivrasim::KeyScheme::Incidence, {copied.clef, 0, 0});
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(int{Read<QXClefChange>(kQXTagClefChange, entries[1]).position}, 2048);
  EXPECT_EQ(host.Doc().Records().Find(kQXTagHold, {clarinet, 8, 0}), nullptr) << "no record, no clef";
}

TEST_F(Elements, ChordSymbolsAreCopiedOnceEach) {
  QXChord chord{};
  chord.data[0] = 7;
  build.AddRecord(kQXTagChord, QXKey::Of(flute, 10, kQXNew), chord);
  build.AddRecord(kQXTagChord, QXKey::Of(flute, 10, kQXNew), chord);
  CreateWith({IDC_CHORDS});
  EXPECT_EQ(host.Doc().Records().Siblings(kQXTagChord, quivrasim::KeyScheme::Triple, {oboe, 10, 0}).size(), 2u);
  EXPECT_EQ(host.Doc().Records().Siblings(kQXTagChord, quivrasim::KeyScheme::Triple, {flute, 10, 0}).size(), 2u);
}

// Every detail of a copied entry goes to its copy, at the same incidence,
// as its flag bit says it has them: articulations and the three lyric kinds
// only when switched on; stems, dynamics, the eight beam kinds and the two
// 20-byte kinds always; a record whose flag bit is clear never. Tuplet-part
// details go where the host marks the copy a tuplet part, and are cleared
// from a copy it does not mark, whatever waits under its number.
TEST_F(Elements, EntryDetailsTravelWithTheirEntriesAsTheirFlagsSay) {
  struct Detail {
    uint32_t tag;
    int box;            // the switch it needs, 0 for none
    bool wide;          // a 20-byte kind
    bool flagged = true;  // the entry's flag bit says it has the detail
  };
  const Detail details[] = {
      {kQXTagArticulation, IDC_ARTICULATIONS, false}, {kQXTagLyricVerse, IDC_LYRICS, false},
      {kQXTagLyricSection, IDC_LYRICS, false},        {kQXTagLyricChorus, IDC_LYRICS, false},
      {kQXTagStemAdjust, 0, false},  {kQXTagBeamST, 0, false},   {kQXTagBeamSt, 0, false},
      {kQXTagBeamBL, 0, false},      {kQXTagBeamBH, 0, false},   {kQXTagBeambL, 0, false},
      {kQXTagBeambH, 0, false},      {kQXTagBeamSU, 0, false},   {kQXTagBeamsl, 0, false},
      {kQXTagCrossNote, 0, true},    {kQXTagAccidentalHint, 0, true},
      {kQXTagDynamicsDE, 0, false},  {kQXTagDynamicsUE, 0, false},
      {kQXTagStemAdjust, 0, false, false}, {kQXTagDynamicsDE, 0, false, false}, {kQXTagCrossNote, 0, true, false}};
  const auto source = [&](size_t i) { return Entry(flute, 8 + static_cast<int>(i) / 4, 0, i % 4); };
  for (size_t i = 0; i < std::size(details); ++i) {
    for (uint16_t word = 1; word <= 2; ++word) {  // two incidences each
      if (details[i].wide) {
        build.AddRecord(details[i].tag, QXKey::Entry(source(i), kQXNew), QXEntryDetail20{{word, 7}});
      } else {
        build.AddRecord(details[i].tag, QXKey::Entry(source(i), kQXNew), QXEntryDetail{{word, 7}});
      }
    }
    if (!details[i].flagged) {
      host.Doc().EditEntry(source(i), [&](QXEntry& entry) {
        entry.flags &= ~(details[i].tag == kQXTagStemAdjust   ? kQXEntryStemRecord
                         : details[i].tag == kQXTagDynamicsDE ? kQXEntryDynamics
                                                              : kQXEntrySpecial);
      });
    }
  }
  // Tuplet-part details on every source entry, and others waiting under the
  // numbers the copies will get.
  for (size_t i = 0; i < 20; ++i) {
    build.AddRecord(kQXTagTupletStart, QXKey::Entry(source(i), kQXNew), QXEntryDetail{{9}});
    build.AddRecord(kQXTagTupletEnd, QXKey::Entry(source(i), kQXNew), QXEntryDetail{{8}});
  }
  const uint32_t next = host.Doc().NextEntryNumber();
  for (uint32_t number = next; number < next + 60; ++number) {
    build.AddRecord(kQXTagTupletStart, QXKey::Entry(number, kQXNew), QXEntryDetail{{1}});
  }
  const uint64_t before = host.Doc().Fingerprint();
  for (const bool switchedOn : {true, false}) {
    host.Doc().SetTupletPartOnSave(switchedOn);
    CreateWith(switchedOn ? std::vector<int>{} : std::vector<int>{IDC_ARTICULATIONS, IDC_LYRICS});
    for (size_t i = 0; i < std::size(details); ++i) {
      SCOPED_TRACE("detail " + std::to_string(i) + (switchedOn ? ", switched on" : ""));
      const uint32_t copy = Entry(oboe, 8 + static_cast<int>(i) / 4, 3, i % 4);
      const quivrasim::Bytes* copied = host.Doc().Records().Find(details[i].tag, {copy, 1, 0});
      if (details[i].flagged && (details[i].box == 0 || switchedOn)) {
        ASSERT_NE(copied, nullptr);
        EXPECT_EQ(*copied, *host.Doc().Records().Find(details[i].tag, {source(i), 1, 0}));
      } else {
        EXPECT_EQ(copied, nullptr) << "stays behind";
      }
      // With the host's tuplet-part mark the source's details come; without
      // it, none stays (the one waiting there is cleared).
      const quivrasim::Bytes* start = host.Doc().Records().Find(kQXTagTupletStart, {copy, 0, 0});
      const quivrasim::Bytes* end = host.Doc().Records().Find(kQXTagTupletEnd, {copy, 0, 0});
      if (switchedOn) {
        ASSERT_TRUE(start != nullptr && end != nullptr);
        EXPECT_EQ(*start, *host.Doc().Records().Find(kQXTagTupletStart, {source(i), 0, 0}));
        EXPECT_EQ(*end, *host.Doc().Records().Find(kQXTagTupletEnd, {source(i), 0, 0}));
      } else {
        EXPECT_TRUE(start == nullptr && end == nullptr);
      }
    }
    ASSERT_TRUE(host.Doc().Undo());
    ASSERT_EQ(host.Doc().Fingerprint(), before);
  }
}

}  // namespace
}  // namespace ostinel_test
