// The user's options: their defaults, the registry values they come from and
// go back to, and how the dialog reads and checks them.
#include "harness.h"
#include "resources/settings_key.h"

namespace ostinel_test {
namespace {

using quivrasim::DialogSession;

constexpr const char* kKey = OSTINEL_SETTINGS_KEY;

class SettingsTest : public PluginTest {
 protected:
  std::string Open() {
    std::string shown;
    RunDialog([&](DialogSession& d) { shown = Options(d); });
    return shown;
  }
  void StoreRegistry(uint32_t flags, uint32_t combined, uint32_t desired, uint32_t allowed) {
    host.Reg().SetDword(kKey, "OstinelPI", flags);
    host.Reg().SetDword(kKey, "OstinelPI_Flag2", combined);
    host.Reg().SetDword(kKey, "OstinelPI_Flag3", desired);
    host.Reg().SetDword(kKey, "OstinelPI_Flag4", allowed);
  }
  // Types the four numbers, presses Start Search, and closes.
  std::vector<quivrasim::Alert> Submit(const std::string& threshold, const std::string& desired,
                                       const std::string& allowed, const std::string& percent, int* focus = nullptr) {
    RunDialog([&](DialogSession& d) {
      d.Type(IDC_THRESHOLD, threshold);
      d.Type(IDC_DESIRED, desired);
      d.Type(IDC_ALLOWED, allowed);
      d.Type(IDC_PERCENT, percent);
      d.Click(IDC_START);
      if (focus != nullptr) *focus = d.Focus();
      d.Click(IDC_CLOSE);
    });
    return host.Alerts();
  }
  // The four values saved, in order.
  std::vector<uint32_t> Stored() {
    std::vector<uint32_t> values;
    for (const char* name : {"OstinelPI", "OstinelPI_Flag2", "OstinelPI_Flag3", "OstinelPI_Flag4"}) {
      values.push_back(host.Reg().Dword(kKey, name).value_or(0));
    }
    return values;
  }
};

const char* const kDefaults = "20 5 15 75 +add+interactive+seconds+articulations+clefs+lyrics";

TEST_F(SettingsTest, FirstOpeningWithoutARegistryKeyShowsTheDefaults) { EXPECT_EQ(Open(), kDefaults); }

struct RegistryCase {
  const char* label;
  uint32_t flags, combined, desired, allowed;
  std::string shown;
};

void PrintTo(const RegistryCase& c, std::ostream* os) { *os << c.label; }

class RegistryDecoding : public SettingsTest, public ::testing::WithParamInterface<RegistryCase> {};

TEST_P(RegistryDecoding, ValuesAreDecodedAtTheFirstOpening) {
  const RegistryCase& c = GetParam();
  StoreRegistry(c.flags, c.combined, c.desired, c.allowed);
  EXPECT_EQ(Open(), c.shown);
}

INSTANTIATE_TEST_SUITE_P(
    Values, RegistryDecoding,
    ::testing::Values(
        RegistryCase{"percent and threshold", 299, 60030, 4, 9, "30 4 9 60 +add+interactive+seconds+articulations+clefs+lyrics"},
        RegistryCase{"remainders", 299, 1234567, 2005, 1012, "567 5 12 34 +add+interactive+seconds+articulations+clefs+lyrics"},
        RegistryCase{"mark by measures with chords", 0x4 | 0x40, 75020, 5, 15, "20 5 15 75 +mark+measures+chords"},
        RegistryCase{"flags beyond 511 are the defaults", 600, 75020, 5, 15, kDefaults}));

TEST_F(SettingsTest, TheRegistryIsReadOnceWhileThePluginStaysLoaded) {
  StoreRegistry(299, 75010, 5, 15);
  EXPECT_EQ(Open().substr(0, 3), "10 ");
  host.Reg().SetDword(kKey, "OstinelPI_Flag2", 75030);
  EXPECT_EQ(Open().substr(0, 3), "10 ") << "the second opening shows what is in memory";
  EXPECT_EQ(host.Reg().Opens(), 1);
  Reload();
  EXPECT_EQ(Open().substr(0, 3), "30 ") << "a new load reads the registry again";
}

TEST_F(SettingsTest, AMissingValueKeepsItsDefaultAndAShortOneOnlyItsOwnBytes) {
  host.Reg().SetDword(kKey, "OstinelPI_Flag3", 7);
  // Two bytes over the default 75 x 1000 + 20 (0x0001250C): 0x0001001E.
  host.Reg().SetValue(kKey, "OstinelPI_Flag2", REG_BINARY, {0x1E, 0x00});
  EXPECT_EQ(Open(), "566 7 15 65 +add+interactive+seconds+articulations+clefs+lyrics");
}

struct RemainderCase {
  std::string threshold, desired, allowed, percent;
  uint32_t storedCombined, storedDesired, storedAllowed;
};

void PrintTo(const RemainderCase& c, std::ostream* os) {
  *os << c.threshold << "/" << c.desired << "/" << c.allowed << "/" << c.percent;
}

class Remainders : public SettingsTest, public ::testing::WithParamInterface<RemainderCase> {};

TEST_P(Remainders, EntriesAreKeptByTheirRemaindersAndSavedAtClose) {
  const RemainderCase& c = GetParam();
  host.Reg().CreateKey(kKey);
  for (const auto& alert : Submit(c.threshold, c.desired, c.allowed, c.percent)) {
    EXPECT_NE(alert.stringId, uint32_t{IDS_NOT_POSITIVE}) << alert.text;
  }
  EXPECT_EQ(Stored(), (std::vector<uint32_t>{299, c.storedCombined, c.storedDesired, c.storedAllowed}));
}

INSTANTIATE_TEST_SUITE_P(Entries, Remainders,
                         ::testing::Values(RemainderCase{"20", "150", "60", "75", 75020, 50, 60},
                                           RemainderCase{"1500", "5", "15", "75", 75500, 5, 15},
                                           RemainderCase{"8", "5", "115", "160", 60008, 5, 15},
                                           RemainderCase{"999", "99", "199", "99", 99999, 99, 99}));

struct ValidationCase {
  const char* label;
  std::string threshold, desired, allowed, percent;
  uint32_t alert;  // 0: none
  int focus;
};

void PrintTo(const ValidationCase& c, std::ostream* os) { *os << c.label; }

class Validation : public SettingsTest, public ::testing::WithParamInterface<ValidationCase> {};

TEST_P(Validation, TheFirstFailureIsShownAndTheCaretPutIntoItsField) {
  const ValidationCase& c = GetParam();
  int focus = 0;
  const auto alerts = Submit(c.threshold, c.desired, c.allowed, c.percent, &focus);
  if (c.alert == 0) {
    for (const auto& alert : alerts) EXPECT_TRUE(alert.stringId != IDS_NOT_POSITIVE && alert.stringId != IDS_ALLOWED_TOO_SMALL) << alert.text;
    return;
  }
  ASSERT_EQ(alerts.size(), 1u);
  EXPECT_EQ(alerts[0].stringId, c.alert);
  EXPECT_EQ(alerts[0].style, kQXAlertError);
  EXPECT_NE(alerts[0].owner, nullptr) << "the dialog owns the message";
  EXPECT_EQ(focus, c.focus);
}

INSTANTIATE_TEST_SUITE_P(
    Order, Validation,
    ::testing::Values(
        ValidationCase{"negative threshold", "-5", "5", "15", "75", IDS_NOT_POSITIVE, IDC_THRESHOLD},
        ValidationCase{"negative allowed", "20", "5", "-5", "75", IDS_NOT_POSITIVE, IDC_ALLOWED},
        ValidationCase{"negative desired", "20", "-5", "15", "75", IDS_NOT_POSITIVE, IDC_DESIRED},
        ValidationCase{"zero percentage last", "20", "5", "15", "0", IDS_NOT_POSITIVE, IDC_PERCENT},
        ValidationCase{"a hundred percent is zero", "20", "5", "15", "100", IDS_NOT_POSITIVE, IDC_PERCENT},
        ValidationCase{"threshold before the others", "0", "0", "0", "0", IDS_NOT_POSITIVE, IDC_THRESHOLD},
        ValidationCase{"allowed before desired", "20", "0", "0", "75", IDS_NOT_POSITIVE, IDC_ALLOWED},
        ValidationCase{"not a number", "abc", "5", "15", "75", IDS_NOT_POSITIVE, IDC_THRESHOLD},
        ValidationCase{"allowed below desired", "20", "10", "8", "75", IDS_ALLOWED_TOO_SMALL, IDC_ALLOWED},
        ValidationCase{"equal lengths pass", "20", "10", "10", "75", 0, 0}));

TEST_F(SettingsTest, ValuesThatFailedValidationAreStillSavedAtClose) {
  host.Reg().CreateKey(kKey);
  Submit("20", "10", "8", "75");
  EXPECT_EQ(Stored(), (std::vector<uint32_t>{299, 75020, 10, 8}));
}

TEST_F(SettingsTest, ClosingWithoutAReadBackWritesNothing) {
  host.Reg().CreateKey(kKey);
  RunDialog([](DialogSession& d) { d.Click(IDC_CLOSE); });
  RunDialog([](DialogSession& d) {
    d.Type(IDC_THRESHOLD, "9");
    d.CloseWindow();  // the close box is not the Close button
  });
  EXPECT_EQ(host.Reg().Writes(), 0);
}

TEST_F(SettingsTest, CloseAfterAReadBackWritesTheFourValuesInOrder) {
  host.Reg().CreateKey(kKey);
  RunDialog([](DialogSession& d) {
    d.Click(IDC_MEASURES);
    d.Click(IDC_CHORDS);
    d.Click(IDC_START);
    d.Click(IDC_CLOSE);
  });
  EXPECT_EQ(host.Reg().WrittenNames(),
            (std::vector<std::string>{"OstinelPI", "OstinelPI_Flag2", "OstinelPI_Flag3", "OstinelPI_Flag4"}));
  EXPECT_EQ(host.Reg().Accesses(), (std::vector<uint32_t>{KEY_ALL_ACCESS, KEY_ALL_ACCESS}))
      << "opened with full access to read and to save";
  for (const char* name : {"OstinelPI", "OstinelPI_Flag2", "OstinelPI_Flag3", "OstinelPI_Flag4"}) {
    EXPECT_EQ(host.Reg().Find(kKey, name)->type, static_cast<uint32_t>(REG_DWORD)) << name;
  }
  EXPECT_EQ(Stored(), (std::vector<uint32_t>{299 + 4 + 64, 75020, 5, 15})) << "measures and chords on";
}

TEST_F(SettingsTest, TheKeyIsNeverCreated) {
  RunDialog([](DialogSession& d) {
    d.Click(IDC_START);
    d.Click(IDC_CLOSE);
  });
  EXPECT_FALSE(host.Reg().HasKey(kKey));
  EXPECT_EQ(host.Reg().Writes(), 0);
}

TEST_F(SettingsTest, WithoutInteractiveModeTheProposedCueIsAlwaysUsed) {
  RunDialog([&](DialogSession& d) {
    d.Click(IDC_INTERACTIVE);  // now off
    d.Window().Find(IDC_USE_SELECTION)->checked = true;  // as a location would leave it
    d.Window().Find(IDC_USE_PROPOSED)->checked = false;
    d.Click(IDC_START);
    EXPECT_TRUE(d.Checked(IDC_USE_PROPOSED));
    EXPECT_FALSE(d.Checked(IDC_USE_SELECTION));
  });
}

}  // namespace
}  // namespace ostinel_test
