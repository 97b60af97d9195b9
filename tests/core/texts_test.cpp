// The string loading routine and the search for a window by its title.
#include <cstring>
#include <string>

#include "harness.h"

namespace ostinel_test {
namespace {

// Never a byte beyond the size given: none for size 0, and an empty text
// for an entry the table lacks.
TEST_F(CoreTest, StringLoaderNeverWritesBeyondItsSize) {
  // "Ostinel (search)" has 16 characters.
  for (const int16_t size : std::initializer_list<int16_t>{0, 1, 2, 5, 16, 17, 40}) {
    char buffer[64];
    std::memset(buffer, 'X', sizeof buffer);
    EXPECT_EQ(core->LoadPluginString(IDS_EDIT_SEARCH, buffer, size), size == 0 ? nullptr : buffer);
    if (size > 0) {
      EXPECT_EQ(std::string(buffer), std::string("Ostinel (search)").substr(0, static_cast<size_t>(size - 1)));
      EXPECT_EQ(buffer[size - 1], '\0') << "size " << size;
    }
    for (size_t i = static_cast<size_t>(size); i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], 'X') << size << " at " << i;
  }
  char buffer[16];
  std::memset(buffer, 'X', sizeof buffer);
  EXPECT_EQ(core->LoadPluginString(5, buffer, int16_t{16}), buffer);
  EXPECT_STREQ(buffer, "");
}

// Top windows from the top of the z-order; the host starts with its main
// window (foreground), a mail window and the program manager.
struct TitleCase {
  const char* label;
  std::vector<std::string> windows;  // z-order, top first
  int foreground;                    // index into windows, -1 for none
  std::string search;
  int found;                         // index into windows, -1 for none
  int textReads;
  int foregroundQueries;
};

void PrintTo(const TitleCase& c, std::ostream* os) { *os << c.label; }

class WindowTitle : public CoreTest, public ::testing::WithParamInterface<TitleCase> {};

TEST_P(WindowTitle, SearchesDownUpAndDownAgain) {
  const TitleCase& c = GetParam();
  host.TopWindows().clear();
  for (const std::string& title : c.windows) host.AddTopWindow(title);
  host.SetForeground(c.foreground < 0 ? nullptr : host.TopWindows()[static_cast<size_t>(c.foreground)].handle);
  host.ResetCounters();

  const HWND found = core->FindWindowByTitle(c.search.c_str());
  const HWND expected = c.found < 0 ? nullptr : host.TopWindows()[static_cast<size_t>(c.found)].handle;
  EXPECT_EQ(found, expected);
  EXPECT_EQ(host.WindowTextReads(), c.textReads);
  EXPECT_EQ(host.ForegroundQueries(), c.foregroundQueries);
}

const std::string kLong(250, 'L');

INSTANTIATE_TEST_SUITE_P(
    Cases, WindowTitle,
    ::testing::Values(
        // Below the foreground window: found on the first pass, which skips the foreground itself.
        TitleCase{"below", {"Quivra", "Ostinel", "Mail"}, 0, "Ostinel", 1, 1, 1},
        // Above it: the second pass (upward) finds it after comparing the foreground.
        TitleCase{"above", {"Ostinel", "Quivra", "Mail"}, 1, "Ostinel", 0, 3, 2},
        // The foreground window itself is compared after the first turn.
        TitleCase{"foreground", {"Ostinel", "Mail"}, 0, "Ostinel", 0, 2, 2},
        // Nowhere: down (2), up (foreground), down (foreground and 2); then no handle.
        TitleCase{"absent", {"Quivra", "Mail", "Program Manager"}, 0, "Ostinel", -1, 6, 4},
        // Case matters.
        TitleCase{"case", {"Quivra", "ostinel"}, 0, "Ostinel", -1, 4, 4},
        TitleCase{"no foreground", {"Quivra", "Ostinel"}, -1, "Ostinel", -1, 0, 4},
        // Titles are read to 199 characters: a longer title never matches...
        TitleCase{"long title", {"Quivra", kLong}, 0, kLong, -1, 4, 4},
        // ...while its first 199 characters do.
        TitleCase{"cut title", {"Quivra", kLong}, 0, kLong.substr(0, 199), 1, 1, 1}));

}  // namespace
}  // namespace ostinel_test
