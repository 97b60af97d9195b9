// The entry points the host calls at start-up and when the user chooses the
// plug-in's command.
#include <cstring>

#include "harness.h"

namespace ostinel_test {
namespace {

using quivrasim::DialogSession;

TEST_F(PluginTest, StartUpOffersExactlyOneMenuCommand) {
  EXPECT_EQ(plugin->Start(), std::vector<std::string>{"Ostinel..."});
  EXPECT_EQ(plugin->MenuStatus(), 1);
}

// Index 0 and below fill the record; from 1 on it is left alone.
TEST_F(PluginTest, EnumerateFillsTheRecordOnlyForIndexZeroAndBelow) {
  for (const int16_t index : {int16_t{0}, int16_t{-1}, int16_t{-32768}, int16_t{1}, int16_t{2}, int16_t{32767}}) {
    QXMenuDesc menu;
    std::memset(&menu, 0xAB, sizeof menu);
    const QXMenuDesc before = menu;
    EXPECT_EQ(plugin->Enumerate(index, &menu), index <= 0 ? 1 : 0) << index;
    if (index > 0) {
      EXPECT_EQ(std::memcmp(&menu, &before, sizeof menu), 0) << index;
      continue;
    }
    EXPECT_EQ(std::string(menu.text) + "|" + menu.text2 + "|" + menu.text3, "Ostinel...|Ostinel|Ostinel");
    EXPECT_EQ(menu.field1 | menu.field2, 0);
  }
}

TEST_F(PluginTest, InitClearsTheHostsWordAndVersionEchoesItsArgument) {
  uint32_t word = 0xDEADBEEF;
  EXPECT_EQ(plugin->Init(&word), 1);
  EXPECT_EQ(word, 0u);
  EXPECT_EQ(plugin->Version(0x0A010000), 0x0A010000u);
  plugin->Terminate();
  EXPECT_EQ(RunDialog(nullptr), 0);
  EXPECT_EQ(host.DialogsOpened(), 1) << "terminate releases nothing the dialog needs";
}

TEST_F(PluginTest, InvokeOpensDialog102AsTheTopWindow) {
  EXPECT_EQ(RunDialog([&](DialogSession& dialog) {
              EXPECT_EQ(dialog.Window().Caption(), "Ostinel");
              EXPECT_EQ(dialog.Window().Controls().size(), 43u);
              EXPECT_EQ(host.Foreground(), dialog.Window().Handle());
            }),
            0);
  EXPECT_EQ(host.Foreground(), host.MainWindow()) << "the dialog's window is gone after it closed";
}

TEST_F(PluginTest, SecondInvocationWhileTheDialogIsOpenDoesNothing) {
  RunDialog([&](DialogSession& dialog) {
    host.OnDialog(nullptr);
    const int before = host.Calls("QX_GetCurERegions");
    EXPECT_EQ(plugin->Invoke(), 0);
    EXPECT_EQ(host.Calls("QX_GetCurERegions"), before) << "the refused invocation reads nothing";
    dialog.Click(IDC_CLOSE);
  });
  EXPECT_EQ(host.DialogsOpened(), 1);
}

TEST_F(PluginTest, InvocationAfterTheDialogWindowVanishedOpensItAgain) {
  RunDialog([](DialogSession& dialog) { dialog.Vanish(); });
  ASSERT_EQ(host.DialogsOpened(), 1);
  RunDialog(nullptr);
  EXPECT_EQ(host.DialogsOpened(), 2);
}

TEST_F(PluginTest, ClosingTheDialogLetsTheNextInvocationOpenItWithoutASearch) {
  RunDialog([](DialogSession& dialog) { dialog.Click(IDC_CLOSE); });
  host.ResetCounters();
  RunDialog(nullptr);
  EXPECT_EQ(host.DialogsOpened(), 2);
  EXPECT_EQ(host.ForegroundQueries(), 0);
}

TEST_F(PluginTest, StudioViewIsRefusedWithAlert38) {
  host.SetStudioView(true);
  EXPECT_EQ(RunDialog(nullptr), 0);
  EXPECT_EQ(host.DialogsOpened(), 0);
  ASSERT_EQ(host.Alerts().size(), 1u);
  const quivrasim::Alert alert = AlertAt(host, 0);
  EXPECT_EQ(alert.owner, host.MainWindow());
  EXPECT_EQ(alert.style, kQXAlertError);
  EXPECT_EQ(alert.stringId, uint32_t{IDS_STUDIO_VIEW});
  EXPECT_EQ(alert.text,
            "This plug-in cannot be used in Studio View. Please switch to Page View or Scroll View before invoking "
            "Ostinel.");

  // The refusal cleared the dialog-open flag: back in page view the dialog
  // opens at once, with no search for a window.
  host.SetStudioView(false);
  host.ResetCounters();
  RunDialog(nullptr);
  EXPECT_EQ(host.DialogsOpened(), 1);
  EXPECT_EQ(host.ForegroundQueries(), 0);
}

TEST_F(PluginTest, HostOperationsAreLookedUpOnceByName) {
  RunDialog(nullptr);
  RunDialog(nullptr);
  EXPECT_EQ(host.Calls("QX_GetCurERegions"), 2);
  EXPECT_EQ(host.ProcLookups("QX_GetCurERegions"), 1);
  EXPECT_EQ(host.ProcLookups("QX_Dialog"), 1);
}

TEST_F(PluginTest, AnOperationTheHostLacksIsNotLookedUpAgain) {
  host.Withhold("QX_Dialog");
  RunDialog(nullptr);
  EXPECT_EQ(host.DialogsOpened(), 0);
  host.Provide("QX_Dialog");
  RunDialog(nullptr);
  EXPECT_EQ(host.DialogsOpened(), 0);
  EXPECT_EQ(host.ProcLookups("QX_Dialog"), 1);
}

}  // namespace
}  // namespace ostinel_test
