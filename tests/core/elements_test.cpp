// The cue writer's elements, where a whole search cannot reach them.
#include <cstring>

#include "harness.h"
#include "quivra/qx_records.h"

namespace ostinel_test {
namespace {

using quivrasim::EntrySpec;

// A shape bound to copied entries goes to the destination slot as the
// document's own staff list counts it, which need not be the score's order.
TEST_F(CoreTest, AnEntryBoundShapeGoesToTheDestinationInTheDocumentsStaffList) {
  build.Measures(2);
  const uint16_t source = build.Staff("Flute");
  build.Staff("Oboe");
  const uint16_t last = build.Staff("Horn");
  const std::vector<uint32_t> from = build.Entries(source, 1, 0, {EntrySpec::Note(2048), EntrySpec::Note(2048)});
  const std::vector<uint32_t> to = build.Entries(last, 1, 3, {EntrySpec::Note(2048), EntrySpec::Note(2048)});
  const uint32_t slur = build.SmartShape(source, 1, 1, kQXShapeEntryBound, from[0], from[1]);
  // Slot 1 of staff list 1 is the bottom staff in this host.
  core->CopyEntryShapes(1, 1, 1, from.data(), to.data(), 2, &slur, 1);
  std::vector<QXSmartShape> copies;
  for (const auto& [key, bytes] : host.Doc().Records().All(kQXTagSmartShape)) {
    QXSmartShape shape;
    std::memcpy(&shape, bytes->data(), sizeof shape);
    if (key.a != slur) copies.push_back(shape);
  }
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(uint16_t{copies[0].startStaff}, last);
  EXPECT_EQ(uint16_t{copies[0].endStaff}, last);
  EXPECT_EQ(uint32_t{copies[0].startEntry}, to[0]);
  EXPECT_EQ(uint32_t{copies[0].endEntry}, to[1]);
}

}  // namespace
}  // namespace ostinel_test
