// The dialog as the user sees it outside a search: controls, captions, modes.
#include "harness.h"
#include "resources/settings_key.h"

namespace ostinel_test {
namespace {

using quivrasim::DialogSession;

class DialogTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    build.Measures(8);
    build.Play(build.Staff("Flute"), 1, 8);
  }
};

const std::vector<int> kAddOnly = {IDC_INTERACTIVE, IDC_ALLOWED, IDC_DESIRED, IDC_ALLOWED_LABEL, IDC_DESIRED_LABEL};
const std::vector<int> kCueOptions = {IDC_CUE_OPTIONS_GROUP, IDC_INCLUDE_GROUP, IDC_PERCENT_LABEL, IDC_PERCENT,
                                      IDC_REDUCE_LABEL, IDC_SOURCE_LAYER, IDC_DEST_LAYER, IDC_DEST_LAYER_LABEL,
                                      IDC_SOURCE_LAYER_LABEL, IDC_ARTICULATIONS, IDC_EXPRESSIONS,
                                      IDC_SMART_SHAPES, IDC_CLEFS, IDC_LYRICS, IDC_CHORDS};
const std::vector<int> kAtALocation = {IDC_STAVES_LABEL, IDC_STAVES, IDC_CUE_NAME_LABEL, IDC_CUE_NAME,
                                       IDC_USE_PROPOSED, IDC_USE_SELECTION, IDC_CREATE};

// Whether each control of a list is enabled, as "+" and "-".
std::string EnabledOf(const DialogSession& d, const std::vector<int>& ids) {
  std::string shown;
  for (const int id : ids) shown += d.Enabled(id) ? '+' : '-';
  return shown;
}

TEST_F(DialogTest, OpensIdleInAddModeReadyToStartAndMarkModeDisablesWhatOnlyAddModeUses) {
  RunDialog([](DialogSession& d) {
    EXPECT_EQ(Shows(d, {IDC_STATUS, IDC_START, IDC_CLOSE, IDC_CONTINUE, IDC_USE_PROPOSED, IDC_CUE_NAME}),
              "Ready. | &Start Search | C&lose | &Continue Search (off) | [x] Use &Proposed Cue:  None (off) | "
              "(automatic) (off)");
    EXPECT_EQ(d.Focus(), IDC_THRESHOLD);
    EXPECT_EQ(EnabledOf(d, kAddOnly) + EnabledOf(d, kCueOptions), std::string(20, '+'));
    EXPECT_EQ(EnabledOf(d, kAtALocation), std::string(7, '-'));

    ASSERT_TRUE(d.Click(IDC_MODE_MARK));
    EXPECT_EQ(Shows(d, {IDC_MODE_MARK, IDC_MODE_ADD, IDC_START}), "[x] Mar&k Proposed Cue Locations | &Add Cue Notes | &Start");
    EXPECT_EQ(EnabledOf(d, kAddOnly) + EnabledOf(d, kCueOptions), std::string(20, '-'));
    ASSERT_TRUE(d.Click(IDC_MODE_ADD));
    EXPECT_EQ(Shows(d, {IDC_MODE_MARK, IDC_MODE_ADD, IDC_START}), "Mar&k Proposed Cue Locations | [x] &Add Cue Notes | &Start Search");
    EXPECT_EQ(EnabledOf(d, kAddOnly) + EnabledOf(d, kCueOptions), std::string(20, '+'));
  });
}

TEST_F(DialogTest, MarkModeIsNotChosenBeforeTheDialogIsShown) {
  host.BeforeShow([](DialogSession& d) { d.Command(IDC_MODE_MARK); });
  RunDialog([](DialogSession& d) {
    EXPECT_EQ(Shows(d, {IDC_MODE_ADD, IDC_MODE_MARK}), "[x] &Add Cue Notes | Mar&k Proposed Cue Locations");
    EXPECT_TRUE(d.Click(IDC_MODE_MARK));
    EXPECT_TRUE(d.Checked(IDC_MODE_MARK)) << "once shown it is";
  });
}

TEST_F(DialogTest, ClickingTheCheckedModeChangesNothing) {
  RunDialog([&](DialogSession& d) {
    d.Click(IDC_MODE_ADD);
    const int before = host.Calls("QX_EnableDlgItem");
    d.Click(IDC_MODE_ADD);
    EXPECT_EQ(host.Calls("QX_EnableDlgItem"), before);
    d.Click(IDC_MODE_MARK);
    const int middle = host.Calls("QX_EnableDlgItem");
    d.Type(IDC_THRESHOLD, "7");
    d.Click(IDC_MODE_MARK);
    EXPECT_EQ(host.Calls("QX_EnableDlgItem"), middle);
    EXPECT_EQ(d.Text(IDC_START), "&Start");
  });
}

TEST_F(DialogTest, TheStartCaptionFollowsInteractiveModeWhichReturnsToTheProposedCue) {
  RunDialog([](DialogSession& d) {
    d.Click(IDC_INTERACTIVE);
    d.Click(IDC_MODE_MARK);
    d.Click(IDC_MODE_ADD);
    EXPECT_EQ(d.Text(IDC_START), "&Start") << "add mode without interactive mode starts plainly";
    d.Click(IDC_INTERACTIVE);
    d.Command(IDC_USE_SELECTION);  // as at a location
    EXPECT_TRUE(d.Checked(IDC_USE_SELECTION));
    d.Type(IDC_PERCENT, "60");
    d.Window().Find(IDC_CUE_NAME)->text = "Oboe";
    d.Click(IDC_INTERACTIVE);
    EXPECT_EQ(Shows(d, {IDC_INTERACTIVE, IDC_START, IDC_USE_PROPOSED, IDC_USE_SELECTION, IDC_CUE_NAME}),
              "&Interactive Mode | &Start | [x] Use &Proposed Cue:  None (off) | Use Selected Measure Ran&ge As Cue "
              "(off) | (automatic) (off)");
    d.Click(IDC_INTERACTIVE);
    EXPECT_EQ(d.Text(IDC_START), "&Start Search");
  });
}

TEST_F(DialogTest, RadiosAreExclusiveAndUsingTheSelectionAsCueClearsTheCueName) {
  RunDialog([](DialogSession& d) {
    d.Click(IDC_MEASURES);
    EXPECT_EQ(Shows(d, {IDC_MEASURES, IDC_SECONDS}), "[x] M&easures | Sec&onds");
    d.Click(IDC_SECONDS);
    EXPECT_EQ(Shows(d, {IDC_MEASURES, IDC_SECONDS}), "M&easures | [x] Sec&onds");
    d.Window().Find(IDC_CUE_NAME)->text = "Oboe";
    d.Command(IDC_USE_SELECTION);
    EXPECT_EQ(Shows(d, {IDC_USE_PROPOSED, IDC_USE_SELECTION, IDC_CUE_NAME}),
              "Use &Proposed Cue:  None (off) | [x] Use Selected Measure Ran&ge As Cue (off) | (automatic) (off)");
  });
}

struct LayerCase {
  const char* label;
  int layers;
  std::vector<int> hidden;
  bool withhold;
  int source, destination;
};

void PrintTo(const LayerCase& c, std::ostream* os) { *os << c.label; }

class LayerCombos : public ::testing::TestWithParam<LayerCase> {};

TEST_P(LayerCombos, ListEveryLayerAndStartOnTheFirstShownAndTheLast) {
  const LayerCase& c = GetParam();
  quivrasim::Host host;
  host.Doc().SetMaxLayers(c.layers);
  for (const int layer : c.hidden) host.Doc().ShowLayer(layer, false);
  if (c.withhold) host.Withhold("QX_GetMaxLayers");
  std::string error;
  auto plugin = quivrasim::Plugin::Load(host, PluginPath(), &error);
  ASSERT_NE(plugin, nullptr) << error;
  plugin->Start();
  const int listed = c.withhold ? 4 : c.layers;
  RunDialog(host, *plugin, [&](DialogSession& d) {
    std::vector<std::string> expected;
    for (int i = 1; i <= listed; ++i) expected.push_back("Layer " + std::to_string(i));
    EXPECT_EQ(d.Items(IDC_SOURCE_LAYER), expected);
    EXPECT_EQ(d.Items(IDC_DEST_LAYER), expected);
    EXPECT_EQ(d.ComboSelection(IDC_SOURCE_LAYER), c.source);
    EXPECT_EQ(d.ComboSelection(IDC_DEST_LAYER), c.destination);
  });
}

INSTANTIATE_TEST_SUITE_P(Hosts, LayerCombos,
                         ::testing::Values(LayerCase{"four layers", 4, {}, false, 0, 3},
                                           LayerCase{"first hidden", 4, {0}, false, 1, 3},
                                           LayerCase{"only the third shown", 4, {0, 1, 3}, false, 2, 3},
                                           LayerCase{"none shown", 4, {0, 1, 2, 3}, false, 0, 3},
                                           LayerCase{"six layers", 6, {}, false, 0, 5},
                                           LayerCase{"host without a layer count", 6, {}, true, 0, 3}));

TEST_F(DialogTest, CloseEndsTheDialogAndRestoresTheSelection) {
  host.Select(1, 3, 1, 5);
  RunDialog([&](DialogSession& d) {
    host.ClearSelection();  // the user clicks elsewhere in the score
    d.PressEscape();
    EXPECT_TRUE(d.Ended());
    EXPECT_EQ(d.Window().UserData() & 0x10000u, 0x10000u);
  });
  EXPECT_EQ(host.Selection().startMeasure, 3);
  EXPECT_EQ(host.Selection().endMeasure, 5);
  ASSERT_EQ(host.Scrolls().size(), 1u);
  EXPECT_EQ(host.Scrolls()[0].measure, 3);
  EXPECT_EQ(host.Scrolls()[0].instrument, 1);
  ASSERT_FALSE(host.Redraws().empty());
  EXPECT_FALSE(host.Redraws().back().has_value()) << "everything is redrawn";
}

TEST_F(DialogTest, WithNothingSelectedCloseDoesNotScroll) {
  RunDialog([](DialogSession& d) { d.Click(IDC_CLOSE); });
  EXPECT_TRUE(host.Scrolls().empty());
  EXPECT_EQ(host.SelectionsSet().size(), 1u);
}

TEST_F(DialogTest, InStudioViewTheSearchButtonsAndCloseAreRefused) {
  host.Reg().CreateKey(OSTINEL_SETTINGS_KEY);
  RunDialog([&](DialogSession& d) {
    host.SetStudioView(true);
    d.Click(IDC_START);
    d.Click(IDC_CLOSE);
    EXPECT_FALSE(d.Ended());
    d.Click(IDC_MEASURES);
    EXPECT_TRUE(d.Checked(IDC_MEASURES)) << "the radios still work";
    host.SetStudioView(false);
    d.Click(IDC_CLOSE);
  });
  ASSERT_EQ(host.Alerts().size(), 2u);
  for (const auto& alert : host.Alerts()) {
    EXPECT_EQ(alert.stringId, uint32_t{IDS_STUDIO_VIEW});
    EXPECT_EQ(alert.style, kQXAlertError);
  }
  EXPECT_EQ(host.Reg().Writes(), 0) << "the refused Start read nothing back";
}

}  // namespace
}  // namespace ostinel_test
