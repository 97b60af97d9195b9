#include "harness.h"

#include <dlfcn.h>

#include <cstdlib>

namespace ostinel_test {

std::string PluginPath() { return OSTINEL_PLUGIN_PATH; }
std::string ProbePath() { return OSTINEL_PROBE_PATH; }

void PluginTest::SetUp() { Reload(); }

void PluginTest::TearDown() {
  plugin.reset();
  EXPECT_TRUE(host.LiveFrames().empty()) << "frames loaded and never freed";
  EXPECT_EQ(host.MisuseCount(), 0) << (host.Misuses().empty() ? "" : host.Misuses().front());
}

void PluginTest::Reload() {
  plugin.reset();
  std::string error;
  plugin = quivrasim::Plugin::Load(host, PluginPath(), &error);
  ASSERT_NE(plugin, nullptr) << error;
  plugin->Start();
}

int32_t PluginTest::RunDialog(const quivrasim::DialogUser& user) {
  host.OnDialog(user);
  return plugin->Invoke();
}

void CoreTest::SetUp() {
  BeforeLoad();
  std::string error;
  module = quivrasim::Plugin::Load(host, ProbePath(), &error);
  ASSERT_NE(module, nullptr) << error;
  module->Start();
  const auto probe = reinterpret_cast<CoreProbeFn>(dlsym(module->Module(), CORE_PROBE_SYMBOL));
  ASSERT_NE(probe, nullptr);
  core = probe();
}

void CoreTest::TearDown() {
  module.reset();
  EXPECT_TRUE(host.LiveFrames().empty()) << "frames loaded and never freed";
}

}  // namespace ostinel_test
