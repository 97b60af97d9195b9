// Loading the plug-in: it stays loaded only inside a running host, and every
// load starts from fresh state.
#include <dlfcn.h>

#include "harness.h"

namespace ostinel_test {
namespace {

using quivrasim::Host;
using quivrasim::Plugin;

struct ExecutableCase {
  const char* name;
  bool loads;
};

void PrintTo(const ExecutableCase& c, std::ostream* os) { *os << '"' << c.name << '"'; }

class LoadByExecutable : public ::testing::TestWithParam<ExecutableCase> {};

TEST_P(LoadByExecutable, StaysLoadedOnlyInAKnownHost) {
  Host host;
  host.SetExecutableName(GetParam().name);
  std::string error;
  const auto plugin = Plugin::Load(host, PluginPath(), &error);
  EXPECT_EQ(plugin != nullptr, GetParam().loads) << error;
  if (!GetParam().loads) {
    EXPECT_THAT(error, HasSubstr("refused to load"));
    // A refused library is closed again.
    EXPECT_EQ(dlopen(PluginPath().c_str(), RTLD_LAZY | RTLD_NOLOAD), nullptr);
  }
}

INSTANTIATE_TEST_SUITE_P(Executables, LoadByExecutable,
                         ::testing::Values(ExecutableCase{"Quivra.exe", true}, ExecutableCase{"QUIVRA.EXE", true},
                                           ExecutableCase{"QuivraNotePad.exe", true},
                                           ExecutableCase{"QuivraGuitar.exe", true},
                                           ExecutableCase{"", false}, ExecutableCase{"Finale.exe", false},
                                           ExecutableCase{"Quivra", false}));

TEST(Loading, UnloadingReleasesTheLibrarySoTheNextLoadStartsFresh) {
  Host host;
  std::string error;
  {
    auto plugin = Plugin::Load(host, PluginPath(), &error);
    ASSERT_NE(plugin, nullptr) << error;
    plugin->Start();
    // Leave the dialog-open flag set behind the plug-in's back.
    RunDialog(host, *plugin, [](quivrasim::DialogSession& dialog) { dialog.Vanish(); });
  }
  EXPECT_EQ(dlopen(PluginPath().c_str(), RTLD_LAZY | RTLD_NOLOAD), nullptr) << "the library is still mapped";

  auto plugin = Plugin::Load(host, PluginPath(), &error);
  ASSERT_NE(plugin, nullptr) << error;
  plugin->Start();
  host.ResetCounters();
  host.OnDialog(nullptr);
  plugin->Invoke();
  // A fresh flag: the dialog opens without any search for an open one.
  EXPECT_EQ(host.ForegroundQueries(), 0);
  EXPECT_EQ(host.DialogsOpened(), 2);
}

}  // namespace
}  // namespace ostinel_test
