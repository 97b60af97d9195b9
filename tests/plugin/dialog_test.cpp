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

const int kAddOnly[] = {IDC_INTERACTIVE, IDC_ALLOWED, IDC_DESIRED, IDC_ALLOWED_LABEL, IDC_DESIRED_LABEL};
const int kCueOptionsAlwaysEditable[] = {IDC_CUE_OPTIONS_GROUP, IDC_INCLUDE_GROUP, IDC_PERCENT_LABEL, IDC_PERCENT,
                                         IDC_REDUCE_LABEL, IDC_SOURCE_LAYER, IDC_DEST_LAYER, IDC_DEST_LAYER_LABEL,
                                         IDC_SOURCE_LAYER_LABEL, IDC_ARTICULATIONS, IDC_EXPRESSIONS,
                                         IDC_SMART_SHAPES, IDC_CLEFS, IDC_LYRICS, IDC_CHORDS};
const int kOnlyAtALocation[] = {IDC_STAVES_LABEL, IDC_STAVES, IDC_CUE_NAME_LABEL, IDC_CUE_NAME,
                                IDC_USE_PROPOSED, IDC_USE_SELECTION, IDC_CREATE};

TEST_F(DialogTest, OpensIdleInAddModeReadyToStart) {
  RunDialog([](DialogSession& d) {
    EXPECT_EQ(d.Text(IDC_STATUS), "Ready.");
    EXPECT_EQ(d.Text(IDC_START), "&Start Search");
    EXPECT_EQ(d.Text(IDC_CLOSE), "C&lose");
    EXPECT_EQ(d.Text(IDC_USE_PROPOSED), "Use &Proposed Cue:  None");
    EXPECT_EQ(d.Text(IDC_CUE_NAME), "(automatic)");
    EXPECT_TRUE(d.Checked(IDC_USE_PROPOSED));
    EXPECT_EQ(d.Focus(), IDC_THRESHOLD);
    EXPECT_TRUE(d.Enabled(IDC_START));
    EXPECT_FALSE(d.Enabled(IDC_CONTINUE)) << "interactive: nothing to continue";
    for (const int id : kAddOnly) EXPECT_TRUE(d.Enabled(id)) << id;
    for (const int id : kCueOptionsAlwaysEditable) EXPECT_TRUE(d.Enabled(id)) << id;
    for (const int id : kOnlyAtALocation) EXPECT_FALSE(d.Enabled(id)) << id;
  });
}

TEST_F(DialogTest, SwitchingToMarkModeDisablesWhatOnlyAddModeUses) {
  RunDialog([](DialogSession& d) {
    ASSERT_TRUE(d.Click(IDC_MODE_MARK));
    EXPECT_TRUE(d.Checked(IDC_MODE_MARK));
    EXPECT_FALSE(d.Checked(IDC_MODE_ADD));
    EXPECT_EQ(d.Text(IDC_START), "&Start");
    for (const int id : kAddOnly) EXPECT_FALSE(d.Enabled(id)) << id;
    for (const int id : kCueOptionsAlwaysEditable) EXPECT_FALSE(d.Enabled(id)) << id;

    ASSERT_TRUE(d.Click(IDC_MODE_ADD));
    EXPECT_TRUE(d.Checked(IDC_MODE_ADD));
    EXPECT_FALSE(d.Checked(IDC_MODE_MARK));
    EXPECT_EQ(d.Text(IDC_START), "&Start Search");
    for (const int id : kAddOnly) EXPECT_TRUE(d.Enabled(id)) << id;
    for (const int id : kCueOptionsAlwaysEditable) EXPECT_TRUE(d.Enabled(id)) << id;
  });
}

TEST_F(DialogTest, MarkModeIsNotChosenBeforeTheDialogIsShown) {
  host.BeforeShow([](DialogSession& d) { d.Command(IDC_MODE_MARK); });
  RunDialog([](DialogSession& d) {
    EXPECT_TRUE(d.Checked(IDC_MODE_ADD));
    EXPECT_FALSE(d.Checked(IDC_MODE_MARK));
    EXPECT_TRUE(d.Click(IDC_MODE_MARK));
    EXPECT_TRUE(d.Checked(IDC_MODE_MARK)) << "once shown it is";
  });
}

TEST_F(DialogTest, ClickingTheCheckedModeChangesNothing) {
  int callsForMark = -1;
  int callsForAdd = -1;
  RunDialog([&](DialogSession& d) {
    d.Click(IDC_MODE_ADD);
    const int before = host.Calls("QX_EnableDlgItem");
    d.Click(IDC_MODE_ADD);
    callsForAdd = host.Calls("QX_EnableDlgItem") - before;
    d.Click(IDC_MODE_MARK);
    const int middle = host.Calls("QX_EnableDlgItem");
    d.Type(IDC_THRESHOLD, "7");
    d.Click(IDC_MODE_MARK);
    callsForMark = host.Calls("QX_EnableDlgItem") - middle;
    EXPECT_EQ(d.Text(IDC_START), "&Start");
  });
  EXPECT_EQ(callsForAdd, 0);
  EXPECT_EQ(callsForMark, 0);
}

TEST_F(DialogTest, AddModeWithoutInteractiveModeStartsPlainly) {
  RunDialog([](DialogSession& d) {
    d.Click(IDC_INTERACTIVE);
    d.Click(IDC_MODE_MARK);
    d.Click(IDC_MODE_ADD);
    EXPECT_EQ(d.Text(IDC_START), "&Start");
  });
}

TEST_F(DialogTest, InteractiveModeSwitchesTheCaptionAndReturnsToTheProposedCue) {
  RunDialog([](DialogSession& d) {
    d.Command(IDC_USE_SELECTION);  // as at a location
    EXPECT_TRUE(d.Checked(IDC_USE_SELECTION));
    d.Type(IDC_PERCENT, "60");
    d.Window().Find(IDC_CUE_NAME)->text = "Oboe";
    d.Click(IDC_INTERACTIVE);
    EXPECT_FALSE(d.Checked(IDC_INTERACTIVE));
    EXPECT_EQ(d.Text(IDC_START), "&Start");
    EXPECT_TRUE(d.Checked(IDC_USE_PROPOSED));
    EXPECT_FALSE(d.Checked(IDC_USE_SELECTION));
    EXPECT_EQ(d.Text(IDC_CUE_NAME), "(automatic)");
    d.Click(IDC_INTERACTIVE);
    EXPECT_EQ(d.Text(IDC_START), "&Start Search");
  });
}

TEST_F(DialogTest, CriterionRadiosAreExclusive) {
  RunDialog([](DialogSession& d) {
    d.Click(IDC_MEASURES);
    EXPECT_TRUE(d.Checked(IDC_MEASURES));
    EXPECT_FALSE(d.Checked(IDC_SECONDS));
    d.Click(IDC_SECONDS);
    EXPECT_FALSE(d.Checked(IDC_MEASURES));
    EXPECT_TRUE(d.Checked(IDC_SECONDS));
  });
}

TEST_F(DialogTest, UsingTheSelectionAsCueClearsTheCueName) {
  RunDialog([](DialogSession& d) {
    d.Window().Find(IDC_CUE_NAME)->text = "Oboe";
    d.Command(IDC_USE_SELECTION);
    EXPECT_TRUE(d.Checked(IDC_USE_SELECTION));
    EXPECT_FALSE(d.Checked(IDC_USE_PROPOSED));
    EXPECT_EQ(d.Text(IDC_CUE_NAME), "(automatic)");
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
  host.OnDialog([&](DialogSession& d) {
    std::vector<std::string> expected;
    for (int i = 1; i <= listed; ++i) expected.push_back("Layer " + std::to_string(i));
    EXPECT_EQ(d.Items(IDC_SOURCE_LAYER), expected);
    EXPECT_EQ(d.Items(IDC_DEST_LAYER), expected);
    EXPECT_EQ(d.ComboSelection(IDC_SOURCE_LAYER), c.source);
    EXPECT_EQ(d.ComboSelection(IDC_DEST_LAYER), c.destination);
  });
  plugin->Invoke();
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
  uint32_t flagsAfterClose = 0;
  bool ended = false;
  RunDialog([&](DialogSession& d) {
    host.ClearSelection();  // the user clicks elsewhere in the score
    d.PressEscape();
    ended = d.Ended();
    flagsAfterClose = d.Window().UserData();
  });
  EXPECT_TRUE(ended);
  EXPECT_EQ(flagsAfterClose & 0x10000u, 0x10000u);
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
  bool stillOpen = false;
  bool radiosWork = false;
  RunDialog([&](DialogSession& d) {
    host.SetStudioView(true);
    d.Click(IDC_START);
    d.Click(IDC_CLOSE);
    stillOpen = !d.Ended();
    d.Click(IDC_MEASURES);
    radiosWork = d.Checked(IDC_MEASURES);
    host.SetStudioView(false);
    d.Click(IDC_CLOSE);
  });
  EXPECT_TRUE(stillOpen);
  EXPECT_TRUE(radiosWork);
  ASSERT_EQ(host.Alerts().size(), 2u);
  for (const auto& alert : host.Alerts()) {
    EXPECT_EQ(alert.stringId, uint32_t{IDS_STUDIO_VIEW});
    EXPECT_EQ(alert.style, kQXAlertError);
  }
  EXPECT_EQ(host.Reg().Writes(), 0) << "the refused Start read nothing back";
}

}  // namespace
}  // namespace ostinel_test
