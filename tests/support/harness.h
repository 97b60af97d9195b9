// Test fixtures: a simulated host with the plug-in loaded the way the host
// loads it, fresh for every test.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core_probe.h"
#include "quivrasim/host.h"
#include "quivrasim/plugin.h"
#include "quivrasim/score_builder.h"
#include "resources/resource_ids.h"

namespace ostinel_test {

using ::testing::HasSubstr;

std::string PluginPath();
std::string ProbePath();

// The texts of the location markers on a staff at a measure, in incidence order.
std::vector<std::string> MarkerTexts(quivrasim::Host& host, uint16_t instrument, int measure);
// Every location marker of the document.
int MarkerCount(quivrasim::Host& host);
// The alert at index (from the end when negative); a failure of the test,
// and an empty alert, when there is none such.
quivrasim::Alert AlertAt(quivrasim::Host& host, int index);
// The string ids of the alerts shown so far, in order.
std::vector<uint32_t> AlertIds(quivrasim::Host& host);

// The entries of a staff's frame (empty when there are none).
quivrasim::Entries EntriesOf(quivrasim::Host& host, uint16_t instrument, int measure, int layer);
// A frame's entries as a reader sees them, one word each: "n" a note, "r" a
// rest, "h" a hidden rest, then the duration, "t" when in a tuplet and
// "@75" when sized to 75 percent: "h1024@75 n512t@75".
std::string Layer(quivrasim::Host& host, uint16_t instrument, int measure, int layer);
// The percentage of an entry's size record, -1 when it has none.
int SizePercent(quivrasim::Host& host, uint32_t entry);
// Measure expressions at a measure: (staff, text of the definition).
std::vector<std::pair<uint16_t, std::string>> ExpressionsAt(quivrasim::Host& host, int measure);

// Four quarters a measure in first..last, each note tied over from the one
// before: a source whose every start is unclean.
void PlayTiedOver(quivrasim::ScoreBuilder& build, uint16_t instrument, int first, int last);

// The options of the dialog a search runs with.
struct SearchOptions {
  bool mark = false;
  bool interactive = true;
  bool measures = true;
  int threshold = 8;
  int desired = 5;
  int allowed = 15;
};
// Sets the dialog's options as a user would.
void Configure(quivrasim::DialogSession& dialog, const SearchOptions& options);
// The controls as the user sees them, joined by " | ": each one's text, with
// "[x] " before it when checked and " (off)" after it when disabled.
std::string Shows(const quivrasim::DialogSession& dialog, std::initializer_list<int> ids);
// The options as the user sees them: the threshold, desired, allowed and
// percent fields, then the names of the checked modes and elements.
std::string Options(const quivrasim::DialogSession& dialog);

// Invokes the plug-in and lets user act in its dialog; returns the
// invocation's result. The test fails when the dialog does not open, so that
// checks inside the user's actions never pass unrun (without a user the
// dialog is closed at once, when it opens).
int32_t RunDialog(quivrasim::Host& host, quivrasim::Plugin& plugin, const quivrasim::DialogUser& user);

// A host with the plug-in loaded and started (Init, Version, Enumerate).
class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Unloads the plug-in and loads it again.
  void Reload();
  int32_t RunDialog(const quivrasim::DialogUser& user) { return ostinel_test::RunDialog(host, *plugin, user); }

  quivrasim::Host host;
  quivrasim::ScoreBuilder build{host.Doc()};
  std::unique_ptr<quivrasim::Plugin> plugin;
};

// A host with the probe loaded: the plug-in's code with its internals reachable.
class CoreTest : public ::testing::Test {
 protected:
  void SetUp() override;
  // Runs before the probe loads: the place to shape the host it meets.
  virtual void BeforeLoad() {}
  void TearDown() override;

  quivrasim::Host host;
  quivrasim::ScoreBuilder build{host.Doc()};
  std::unique_ptr<quivrasim::Plugin> module;
  const CoreProbe* core = nullptr;
};

}  // namespace ostinel_test
