// Record access: the version word each layout goes to the host with, the
// developer warnings, and preference assembly.
#include <cstring>

#include "harness.h"
#include "quivra/qx_records.h"
#include "quivrasim/operations.h"

namespace ostinel_test {
namespace {

using quivrasim::Op;

struct InferenceCase {
  uint32_t tag;
  uint32_t size;
  uint32_t version;
  uint32_t expected;
  const char* warning;  // null: none
};

constexpr const char* kGfholdWarning =
    "Warning to plug-in developer: EDTGfhold2004 used with wrong version parameter";
constexpr const char* kTextBlockWarning =
    "Warning to plug-in developer: EDTTextBlock2004 used with wrong version parameter";
constexpr const char* kShapeWarning =
    "Warning to plug-in developer: EDTShapeExpression2004 used with wrong version parameter";

void PrintTo(const InferenceCase& c, std::ostream* os) {
  *os << quivrasim::TagName(c.tag) << " " << c.size << " bytes, version 0x" << std::hex << c.version;
}

class VersionInference : public CoreTest, public ::testing::WithParamInterface<InferenceCase> {};

TEST_P(VersionInference, PassesTheLayoutsVersionAndWarnsOnAWrong2004Request) {
  const InferenceCase& c = GetParam();
  EXPECT_EQ(core->InferVersion(c.tag, c.size, c.version), c.expected);
  if (c.warning == nullptr) {
    EXPECT_TRUE(host.Alerts().empty());
  } else {
    ASSERT_EQ(host.Alerts().size(), 1u);
    EXPECT_EQ(AlertAt(host, 0).owner, nullptr);
    EXPECT_EQ(AlertAt(host, 0).style, 0);
    EXPECT_EQ(AlertAt(host, 0).stringId, 0u);
    EXPECT_EQ(AlertAt(host, 0).text, c.warning);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, VersionInference,
    ::testing::Values(
        InferenceCase{kQXTagStaffSpec, 66, 0x0F000000, 0x05000000, nullptr},
        InferenceCase{kQXTagStaffSpec, 66, 0x08000000, 0x05000000, nullptr},
        InferenceCase{kQXTagStaffSpec, 102, 0x0E000000, 0x08000000, nullptr},
        InferenceCase{kQXTagStaffSpec, 102, 0x05000000, 0x08000000, nullptr},
        InferenceCase{kQXTagStaffSpec, 80, 0x0F000000, 0x0F000000, nullptr},
        InferenceCase{kQXTagMeasureSpec, 26, 0x05000000, 0x0A000000, nullptr},
        InferenceCase{kQXTagMeasureSpec, 26, 0x0F000000, 0x0F000000, nullptr},
        InferenceCase{kQXTagMeasureSpec, 24, 0x0F000000, 0x09000000, nullptr},
        InferenceCase{kQXTagStaffStyle, 28, 0x06000000, 0x0A000000, nullptr},
        InferenceCase{kQXTagStaffStyle2, 28, 0x0E000000, 0x0E000000, nullptr},
        InferenceCase{kQXTagStaffStyle, 24, 0x05000000, 0x06000000, nullptr},
        InferenceCase{kQXTagStaffStyle2, 24, 0x08000000, 0x08000000, nullptr},
        InferenceCase{kQXTagStaffStyle, 22, 0x0F000000, 0x05000000, nullptr},
        InferenceCase{kQXTagHold, 12, 0x0F000000, 0x08000000, nullptr},
        InferenceCase{kQXTagHold, 12, 0x06000000, 0x06000000, nullptr},
        InferenceCase{kQXTagHold, 10, 0x0F000000, 0x0F000000, nullptr},
        InferenceCase{kQXTagHold, 10, 0x08000000, 0x09000000, kGfholdWarning},
        InferenceCase{kQXTagTextBlock, 48, 0x0F000000, 0x08000000, nullptr},
        InferenceCase{kQXTagTextBlock, 48, 0x05000000, 0x05000000, nullptr},
        InferenceCase{kQXTagTextBlock, 26, 0x0F000000, 0x0F000000, nullptr},
        InferenceCase{kQXTagTextBlock, 26, 0x05000000, 0x09000000, kTextBlockWarning},
        InferenceCase{kQXTagShapeExprDef, 12, 0x0F000000, 0x08000000, nullptr},
        InferenceCase{kQXTagShapeExprDef, 34, 0x09000000, 0x09000000, nullptr},
        InferenceCase{kQXTagShapeExprDef, 34, 0x07000000, 0x09000000, kShapeWarning},
        // Other tags and sizes, and a size of 0, keep the caller's word.
        InferenceCase{kQXTagTextBlock, 0, 0x05000000, 0x05000000, nullptr},
        InferenceCase{kQXTagStaffSpec, 0, 0x0F000000, 0x0F000000, nullptr},
        InferenceCase{kQXTagTempoChange, 12, 0x05000000, 0x05000000, nullptr},
        InferenceCase{kQXTagMeasureExpr, 12, 0x05000000, 0x05000000, nullptr}));

TEST_F(CoreTest, LoadsGoToTheHostWithTheInferredVersion) {
  const uint16_t flute = build.Staff("Flute");
  const uint16_t block = build.TextBlock("Adagio");
  host.LogRecordCalls(true);

  unsigned char spec[102];
  uint32_t size = sizeof spec;
  QXKey key = QXKey::Of(flute, 0);
  EXPECT_NE(core->EDataLoad(kQXTagStaffSpec, &key, spec, &size, 0x0F000000), 0);
  size = 66;
  EXPECT_NE(core->EDataLoad(kQXTagStaffSpec, &key, spec, &size, 0x0F000000), 0);
  unsigned char text[48];
  size = sizeof text;
  key = QXKey::Of(block, 0);
  EXPECT_NE(core->EDataLoad(kQXTagTextBlock, &key, text, &size, 0x0F000000), 0);
  size = 26;
  EXPECT_NE(core->EDataLoad(kQXTagTextBlock, &key, text, &size, 0x05000000), 0);

  std::vector<uint32_t> versions;
  for (const quivrasim::RecordCall& call : host.RecordCalls()) versions.push_back(call.version);
  EXPECT_EQ(versions, (std::vector<uint32_t>{0x08000000, 0x05000000, 0x08000000, 0x09000000}));
  ASSERT_EQ(host.Alerts().size(), 1u) << "only the 26-byte text block with an old version warns";
  EXPECT_EQ(AlertAt(host, 0).text, kTextBlockWarning);
}

TEST_F(CoreTest, SavesCreatesAndWalksAreInferredToo) {
  const uint16_t flute = build.Staff("Flute");
  host.LogRecordCalls(true);
  unsigned char hold[12] = {1, 0, 0, 0};
  QXKey key = QXKey::Of(flute, 1, kQXNew);
  EXPECT_NE(core->EDataCreate(kQXTagHold, &key, hold, sizeof hold, 0x0F000000), 0);
  EXPECT_NE(core->EDataSave(kQXTagHold, &key, hold, sizeof hold, 0x0F000000), 0);
  QXKey walk = QXKey::Of(0, 0, 0);
  EXPECT_NE(core->EDataNext(kQXTagHold, &walk, hold, sizeof hold, 0x0F000000), 0);
  EXPECT_EQ(walk.first, flute);
  for (const quivrasim::RecordCall& call : host.RecordCalls()) EXPECT_EQ(call.version, 0x08000000u);
}

// The playback preferences come from four companion records.
void SetCompanion(quivrasim::Host& host, uint32_t tag, std::initializer_list<uint16_t> words) {
  QXCompanion companion{};
  int i = 0;
  for (const uint16_t word : words) companion.words[i++] = word;
  quivrasim::Bytes bytes(sizeof companion, 0);
  std::memcpy(bytes.data(), &companion, sizeof companion);
  host.Doc().Records().Put(tag, quivrasim::RecordKey{kQXCompanionKey, 0, 0}, bytes);
}

TEST_F(CoreTest, PlaybackPreferencesReportTheirSizeAndRefuseASmallerBuffer) {
  host.ResetCounters();
  uint32_t size = 999;
  QXKey key = QXKey::Of(0, 0);
  EXPECT_EQ(core->EDataLoad(kQXTagPlaybackPrefs, &key, nullptr, &size, 0x0F000000), 1);
  EXPECT_EQ(size, 14u);
  EXPECT_EQ(host.Calls(Op::QX_LoadEData), 0);

  // A buffer too small for the structure is refused, untouched, with the size it needs.
  unsigned char small[15];
  std::memset(small, 0xAB, sizeof small);
  size = 13;
  EXPECT_EQ(core->EDataLoad(kQXTagPlaybackPrefs, &key, small, &size, 0x0F000000), 0);
  EXPECT_EQ(size, 14u);
  for (const unsigned char byte : small) EXPECT_EQ(byte, 0xAB);
}

TEST_F(CoreTest, PlaybackPreferencesAreAssembledLoadingEachCompanionOnce) {
  SetCompanion(host, kQXTagCompanion13, {100, 101, 102, 103, 104, 105});
  SetCompanion(host, kQXTagCompanion39, {390, 391, 392, 393, 394, 395});
  SetCompanion(host, kQXTagCompanion36, {360, 361, 362, 363, 364, 365});
  SetCompanion(host, kQXTagCompanion37, {370, 371, 372, 373, 374, 375});
  host.ResetCounters();
  host.LogRecordCalls(true);

  int16_t prefs[7] = {};
  uint32_t size = sizeof prefs;
  QXKey key = QXKey::Of(0, 0);
  EXPECT_EQ(core->EDataLoad(kQXTagPlaybackPrefs, &key, prefs, &size, 0x0F000000), 1);
  EXPECT_EQ(size, 14u);
  const int16_t expected[7] = {101, 393, 360, 365, 370, 371, 372};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(prefs[i], expected[i]) << "field at offset " << 2 * i;

  std::vector<std::string> loaded;
  for (const quivrasim::RecordCall& call : host.RecordCalls()) {
    loaded.push_back(quivrasim::TagName(call.tag));
    EXPECT_EQ(call.key.first, kQXCompanionKey);
    EXPECT_EQ(call.size, 12u);
  }
  EXPECT_EQ(loaded, (std::vector<std::string>{"ot13", "ot39", "ot36", "ot37"}));
}

TEST_F(CoreTest, AssemblyConvertsFieldsAsTheirMapSays) {
  SetCompanion(host, kQXTagCompanion36, {0, 7, 0x1234, 0xABCD, 0x0102, 0});
  // The last field's companion does not exist: it reads as zero.
  ostinel::FieldMapEntry map[] = {
      {1, {'3', '6'}, 0, 0, 0, 0, 2, ostinel::kConvertInvertBoolean},
      {1, {'3', '6'}, 0, 0, 2, 1, 2, ostinel::kConvertInvertBoolean},
      {1, {'3', '6'}, 0, 0, 4, 3, 2, ostinel::kConvertLowByte},
      {1, {'3', '6'}, 0, 0, 6, 2, 4, ostinel::kWordOrderHighFirst},
      {1, {'3', '6'}, 0, 0, 10, 2, 4, ostinel::kWordOrderLowFirst},
      {1, {'3', '7'}, 0, 0, 14, 0, 2, ostinel::kConvertNone},
  };
  unsigned char out[16];
  std::memset(out, 0xEE, sizeof out);
  uint32_t size = 0;
  EXPECT_EQ(core->AssemblePreferences(map, 6, out, &size), 1);
  EXPECT_EQ(size, 16u);
  // Inverted 0 and 7, the low byte of 0xABCD, both word orders, a companion that cannot be loaded.
  auto at = [&](int offset, int bytes) {
    uint32_t value = 0;
    std::memcpy(&value, out + offset, static_cast<size_t>(bytes));
    return value;
  };
  EXPECT_EQ((std::vector<uint32_t>{at(0, 2), at(2, 2), at(4, 2), at(6, 4), at(10, 4), at(14, 2)}),
            (std::vector<uint32_t>{1, 0, 0xCD, 0x1234ABCD, 0xABCD1234, 0}));
  for (const auto& field : map) EXPECT_EQ(field.done, 1) << "every field served";
}

}  // namespace
}  // namespace ostinel_test
