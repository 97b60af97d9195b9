#include "harness.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>

#include "quivra/qx_records.h"

namespace ostinel_test {

std::string PluginPath() { return OSTINEL_PLUGIN_PATH; }
std::string ProbePath() { return OSTINEL_PROBE_PATH; }

std::vector<std::string> MarkerTexts(quivrasim::Host& host, uint16_t instrument, int measure) {
  const quivrasim::RecordStore& records = host.Doc().Records();
  std::vector<std::string> texts;
  for (const quivrasim::RecordKey& key : records.Siblings(kQXTagMeasureText, quivrasim::KeyScheme::Triple,
                                                          {instrument, static_cast<uint32_t>(measure), 0})) {
    QXMeasureText assignment;
    std::memcpy(&assignment, records.Find(kQXTagMeasureText, key)->data(), sizeof assignment);
    const quivrasim::Bytes* block = records.Find(kQXTagTextBlock, {assignment.block, 0, 0});
    if (block == nullptr) {
      texts.emplace_back("<no text block>");
      continue;
    }
    QXTextBlock blockRecord;
    std::memcpy(&blockRecord, block->data(), sizeof blockRecord);
    const quivrasim::Bytes* raw = records.Find(kQXTagRawText, {blockRecord.rawText, 0, 0});
    texts.emplace_back(raw != nullptr ? std::string(raw->begin(), raw->end()) : "<no raw text>");
  }
  return texts;
}

int MarkerCount(quivrasim::Host& host) {
  return static_cast<int>(host.Doc().Records().Count(kQXTagMeasureText));
}

quivrasim::Entries EntriesOf(quivrasim::Host& host, uint16_t instrument, int measure, int layer) {
  return host.Doc().Frame({instrument, static_cast<int16_t>(measure), static_cast<uint16_t>(layer)})
      .value_or(quivrasim::Entries{});
}

std::string Layer(quivrasim::Host& host, uint16_t instrument, int measure, int layer) {
  std::string shown;
  for (const QXEntry& entry : EntriesOf(host, instrument, measure, layer)) {
    const int percent = SizePercent(host, entry.number);
    shown += std::string(shown.empty() ? "" : " ") +
             ((entry.flags & kQXEntryNote) != 0 ? 'n' : (entry.flags & kQXEntryPlaceholder) != 0 ? 'h' : 'r') +
             std::to_string(entry.duration) + ((entry.flags & kQXEntryTuplet) != 0 ? "t" : "") +
             (percent >= 0 ? "@" + std::to_string(percent) : "");
  }
  return shown;
}

int SizePercent(quivrasim::Host& host, uint32_t entry) {
  const quivrasim::Bytes* record = host.Doc().Records().Find(kQXTagEntrySize, {entry, 0, 0});
  if (record == nullptr) return -1;
  QXEntrySize size;
  std::memcpy(&size, record->data(), sizeof size);
  return size.percent;
}

std::vector<std::pair<uint16_t, std::string>> ExpressionsAt(quivrasim::Host& host, int measure) {
  const quivrasim::RecordStore& records = host.Doc().Records();
  std::vector<std::pair<uint16_t, std::string>> expressions;
  for (const quivrasim::RecordKey& key : records.Siblings(kQXTagMeasureExpr, quivrasim::KeyScheme::Incidence,
                                                          {static_cast<uint32_t>(measure), 0, 0})) {
    QXMeasureExpr assignment;
    std::memcpy(&assignment, records.Find(kQXTagMeasureExpr, key)->data(), sizeof assignment);
    const quivrasim::Bytes* definition =
        records.Find(kQXTagTextExprDef, {static_cast<uint32_t>(assignment.definition), 0, 0});
    expressions.emplace_back(assignment.staff,
                             definition != nullptr ? std::string(reinterpret_cast<const char*>(definition->data()) + 12)
                                                   : std::string("<none>"));
  }
  return expressions;
}

quivrasim::Alert AlertAt(quivrasim::Host& host, int index) {
  const auto count = static_cast<int>(host.Alerts().size());
  const int at = index < 0 ? count + index : index;
  if (at < 0 || at >= count) {
    ADD_FAILURE() << "no alert " << index << " of " << count;
    return quivrasim::Alert{nullptr, 0xFFFF, 0, "<no alert>"};
  }
  return host.Alerts()[static_cast<size_t>(at)];
}

std::vector<uint32_t> AlertIds(quivrasim::Host& host) {
  std::vector<uint32_t> ids;
  for (const quivrasim::Alert& alert : host.Alerts()) ids.push_back(alert.stringId);
  return ids;
}

void Configure(quivrasim::DialogSession& dialog, const SearchOptions& options) {
  dialog.Click(options.mark ? IDC_MODE_MARK : IDC_MODE_ADD);
  if (!options.mark && dialog.Checked(IDC_INTERACTIVE) != options.interactive) dialog.Click(IDC_INTERACTIVE);
  dialog.Click(options.measures ? IDC_MEASURES : IDC_SECONDS);
  dialog.Type(IDC_THRESHOLD, std::to_string(options.threshold));
  if (!options.mark) {
    dialog.Type(IDC_DESIRED, std::to_string(options.desired));
    dialog.Type(IDC_ALLOWED, std::to_string(options.allowed));
  }
}

void PlayTiedOver(quivrasim::ScoreBuilder& build, uint16_t instrument, int first, int last) {
  const quivrasim::EntrySpec tied{1024, {quivrasim::NoteSpec{7, 0, kQXNoteTieEnd}}, 0, 0};
  for (int measure = first; measure <= last; ++measure) build.Entries(instrument, measure, 0, {tied, tied, tied, tied});
}

std::string Shows(const quivrasim::DialogSession& dialog, std::initializer_list<int> ids) {
  std::string shown;
  for (const int id : ids) {
    shown += std::string(shown.empty() ? "" : " | ") + (dialog.Checked(id) ? "[x] " : "") + dialog.Text(id) +
             (dialog.Enabled(id) ? "" : " (off)");
  }
  return shown;
}

std::string Options(const quivrasim::DialogSession& dialog) {
  std::string shown;
  for (const int id : {IDC_THRESHOLD, IDC_DESIRED, IDC_ALLOWED, IDC_PERCENT}) shown += dialog.Text(id) + " ";
  for (const auto& [id, name] : std::initializer_list<std::pair<int, const char*>>{
           {IDC_MODE_ADD, "add"}, {IDC_MODE_MARK, "mark"}, {IDC_INTERACTIVE, "interactive"},
           {IDC_MEASURES, "measures"}, {IDC_SECONDS, "seconds"}, {IDC_ARTICULATIONS, "articulations"},
           {IDC_EXPRESSIONS, "expressions"}, {IDC_SMART_SHAPES, "shapes"}, {IDC_CLEFS, "clefs"},
           {IDC_LYRICS, "lyrics"}, {IDC_CHORDS, "chords"}}) {
    if (dialog.Checked(id)) shown += std::string("+") + name;
  }
  return shown;
}

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

int32_t RunDialog(quivrasim::Host& host, quivrasim::Plugin& plugin, const quivrasim::DialogUser& user) {
  if (!user) {
    host.OnDialog(nullptr);  // the dialog closes at once, if it opens at all
    return plugin.Invoke();
  }
  bool ran = false;
  host.OnDialog([&](quivrasim::DialogSession& dialog) {
    ran = true;
    user(dialog);
  });
  const int32_t result = plugin.Invoke();
  host.OnDialog(nullptr);
  EXPECT_TRUE(ran) << "the dialog did not open";
  return result;
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
