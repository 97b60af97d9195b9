// Caret-formatted text: the two plain-text conversions, text objects, staff
// names, the font of a caret command, and the text block loader.
#include <cstring>
#include <memory>

#include "harness.h"
#include "quivra/qx_records.h"

namespace ostinel_test {
namespace {

struct ConversionCase {
  const char* label;
  std::string text;
  std::string copy;     // the text object's plain text
  std::string inPlace;  // the text block loader's
};

void PrintTo(const ConversionCase& c, std::ostream* os) { *os << c.label; }

class Conversions : public CoreTest, public ::testing::WithParamInterface<ConversionCase> {};

TEST_P(Conversions, RemoveCaretCommandsEachInItsOwnWay) {
  const ConversionCase& c = GetParam();
  std::unique_ptr<char[]> copy(core->PlainTextCopy(c.text.c_str(), '^', '(', ')'));
  EXPECT_EQ(std::string(copy.get()), c.copy);
  std::string inPlace = c.text;
  core->PlainTextInPlace(inPlace.data(), '^', '(', ')');
  EXPECT_EQ(std::string(inPlace.c_str()), c.inPlace);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Conversions,
    ::testing::Values(
        ConversionCase{"flat", "Clarinet in B^flat()", "Clarinet in Bb", "Clarinet in Bb"},
        ConversionCase{"sharp", "F^sharp() Horn", "F Horn", "F# Horn"},
        ConversionCase{"leading font commands", "^font(Times New Roman)^size(12)^efx(bold italic)Flute", "Flute",
                       "Flute"},
        ConversionCase{"two lines", "Bass\nClarinet", "Bass\nClarinet", "Bass Clarinet"},
        ConversionCase{"carriage return and line feed", "Alto\r\nFlute", "Alto\r\nFlute", "Alto  Flute"},
        ConversionCase{"caret without brackets", "Cue ^ here", "Cue ^ here", "Cue "},
        ConversionCase{"no closing bracket", "Oboe ^font(Arial", "Oboe ^font(Arial", "Oboe "},
        ConversionCase{"flat with an argument", "B^flat(x) Tuba", "B Tuba", "Bb Tuba"},
        ConversionCase{"brackets further on", "A ^b c (d) e", "A  e", "A  e"},
        ConversionCase{"closing before opening", "A^x) y (z", "A^x) y (z", "A y (z"},
        ConversionCase{"caret at the end", "Horn^", "Horn^", "Horn"},
        ConversionCase{"empty", "", "", ""}));

TEST_F(CoreTest, PlainTextNeverWorksBeyond255Characters) {
  const std::string longName(300, 'a');
  std::unique_ptr<char[]> plain(core->PlainTextCopy(longName.c_str(), '^', '(', ')'));
  EXPECT_EQ(std::string(plain.get()), std::string(255, 'a'));

  // A command that starts inside the limit and closes beyond it stays.
  const std::string crossing = std::string(250, 'b') + "^font(Arial)x";
  plain.reset(core->PlainTextCopy(crossing.c_str(), '^', '(', ')'));
  EXPECT_EQ(std::string(plain.get()), crossing.substr(0, 255));

  std::string carets;
  for (int i = 0; i < 400; ++i) carets += "^(";
  plain.reset(core->PlainTextCopy(carets.c_str(), '^', '(', ')'));
  EXPECT_EQ(std::strlen(plain.get()), 255u);
  plain.reset(core->PlainTextCopy(nullptr, '^', '(', ')'));
  EXPECT_STREQ(plain.get(), "");
}

class StaffNames : public CoreTest {
 protected:
  // The name, and what the name operation answered (1: the fallback).
  std::string Name(uint16_t instrument, int which) {
    char out[64];
    const int answer = core->StaffName(instrument, which, out, sizeof out);
    return std::string(out) + "/" + std::to_string(answer);
  }
};

TEST_F(StaffNames, ANameCountsUnlessItIsASingleBlankOrItsTextBlockIsMissing) {
  const uint16_t flute = build.Staff("^font(Arial)Flute", "Fl.");
  const uint16_t blank = build.Staff(" ", "  ");
  const uint16_t letter = build.Staff("X");
  const uint16_t none = build.Staff();
  EXPECT_EQ(Name(flute, 1) + " " + Name(flute, 2), "Flute/0 Fl./0");
  EXPECT_EQ(Name(blank, 1) + " " + Name(blank, 2), "[Staff 2]/1   /0") << "two blanks are a name";
  EXPECT_EQ(Name(letter, 1) + " " + Name(letter, 2), "X/0 [Staff 3]/1");
  EXPECT_EQ(Name(none, 1), "[Staff 4]/1");
  EXPECT_EQ(Name(77, 1), "[Staff 77]/1") << "no such staff";
  host.Doc().Records().Erase(kQXTagTextBlock, quivrasim::RecordKey{1, 0, 0});
  EXPECT_EQ(Name(flute, 1), "[Staff 1]/1");
}

TEST_F(CoreTest, TextObjectsCreateRawTextsAndWalkTextBlocks) {
  const uint16_t number = core->CreateRawText("^font(Arial)Cue");
  ASSERT_NE(number, 0);
  const quivrasim::Bytes* raw = host.Doc().Records().Find(kQXTagRawText, {number, 0, 0});
  ASSERT_NE(raw, nullptr);
  EXPECT_EQ(std::string(raw->begin(), raw->end()), "^font(Arial)Cue") << "stored without a terminator";

  const uint16_t first = build.TextBlock("one");
  const uint16_t second = build.TextBlock(std::string(600, 'z'));
  char out[1024];
  EXPECT_EQ(core->NextTextBlock(first, out, sizeof out), second);
  EXPECT_EQ(std::string(out), std::string(600, 'z')) << "raw texts longer than 256 are read whole";
  EXPECT_EQ(core->NextTextBlock(second, out, sizeof out), 0);
}

struct FontCase {
  const char* label;
  std::string text;
  int index;
  bool found;
  const char* font;
  int16_t size, efx;
};

void PrintTo(const FontCase& c, std::ostream* os) { *os << c.label; }

class FontOfCommand : public CoreTest, public ::testing::WithParamInterface<FontCase> {};

TEST_P(FontOfCommand, ParsesTheCommandsFromTheNthFontCommandOn) {
  const FontCase& c = GetParam();
  QXFontInfo font{-1, -1, -1};
  EXPECT_EQ(core->FontOfCommand(c.text.c_str(), c.index, &font), c.found);
  if (!c.found) return;
  EXPECT_EQ(font.font, std::string(c.font).empty() ? -1 : host.FontNumber(c.font)) << "no font command: unchanged";
  EXPECT_EQ(font.size, c.size);
  EXPECT_EQ(font.efx, c.efx);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FontOfCommand,
    ::testing::Values(
        FontCase{"leading commands", "^font(Arial)^size(10)^efx(italic)Marker", 0, true, "Arial", 10, 2},
        FontCase{"only one font command", "^font(Arial)^size(10)Marker", 1, false, "", 0, 0},
        FontCase{"second font command", "^font(Arial)^size(10)A ^font(Courier)^size(14)^efx(bold)B", 1, true,
                 "Courier", 14, 1},
        FontCase{"flat counts as one", "^flat()^font(Times New Roman)^size(16)x", 0, true, "Times New Roman", 16,
                 -1},
        FontCase{"a caret and f at the very end", "Cue ^f", 0, true, "", -1, -1},
        FontCase{"the last character is never a start", "Cue ^", 0, false, "", 0, 0},
        FontCase{"no font command", "Plain ^size(12)", 0, false, "", 0, 0}));

TEST_F(CoreTest, TheTextBlockLoaderReadsAtMost1000Characters) {
  const uint16_t marker = build.TextBlock("^font(Arial)^efx(italic)*** 8 measures\nof rest ***");
  QXTextBlock block{};
  EXPECT_STREQ(core->LoadTextBlock(marker, false, &block), "^font(Arial)^efx(italic)*** 8 measures\nof rest ***");
  EXPECT_NE(block.rawText, 0);
  EXPECT_STREQ(core->LoadTextBlock(marker, true, nullptr), "*** 8 measures of rest ***");

  const uint16_t huge = build.TextBlock(std::string(1500, 'h'));
  EXPECT_EQ(std::string(core->LoadTextBlock(huge, false, nullptr)), std::string(1000, 'h'));
  EXPECT_STREQ(core->LoadTextBlock(999, true, nullptr), "") << "no such block";
}

}  // namespace
}  // namespace ostinel_test
