#include "session.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <memory>

#include "plugin_texts.h"
#include "quivrasim/plugin.h"
#include "resource_ids.h"
#include "review.h"

namespace ostinel_cli {

namespace {

using quivrasim::DialogSession;

SessionSettings ReadSettings(const DialogSession& d) {
  SessionSettings settings;
  settings.mode = d.Checked(IDC_MODE_MARK) ? Mode::Mark : d.Checked(IDC_INTERACTIVE) ? Mode::Review : Mode::Add;
  settings.measures = d.Checked(IDC_MEASURES);
  settings.threshold = std::atoi(d.Text(IDC_THRESHOLD).c_str());
  settings.desired = std::atoi(d.Text(IDC_DESIRED).c_str());
  settings.allowed = std::atoi(d.Text(IDC_ALLOWED).c_str());
  settings.size = std::atoi(d.Text(IDC_PERCENT).c_str());
  settings.sourceLayer = d.ComboSelection(IDC_SOURCE_LAYER) + 1;
  settings.destinationLayer = d.ComboSelection(IDC_DEST_LAYER) + 1;
  for (const IncludeSwitch& include : kIncludeSwitches) settings.includes.emplace_back(include.name, d.Checked(include.box));
  return settings;
}

void Configure(DialogSession& d, const SessionOptions& options) {
  if (options.mode) {
    const bool mark = *options.mode == Mode::Mark;
    d.Click(mark ? IDC_MODE_MARK : IDC_MODE_ADD);
    if (!mark && d.Checked(IDC_INTERACTIVE) != (*options.mode == Mode::Review)) d.Click(IDC_INTERACTIVE);
  }
  if (options.measures) d.Click(*options.measures ? IDC_MEASURES : IDC_SECONDS);
  if (options.threshold) d.Type(IDC_THRESHOLD, std::to_string(*options.threshold));
  if (options.desired) d.Type(IDC_DESIRED, std::to_string(*options.desired));
  if (options.allowed) d.Type(IDC_ALLOWED, std::to_string(*options.allowed));
  if (options.size) d.Type(IDC_PERCENT, std::to_string(*options.size));
  if (options.sourceLayer) d.SelectCombo(IDC_SOURCE_LAYER, *options.sourceLayer - 1);
  if (options.destinationLayer) d.SelectCombo(IDC_DEST_LAYER, *options.destinationLayer - 1);
  for (const auto& [box, on] : options.includes) {
    if (d.Checked(box) != on) d.Click(box);
  }
}

// The dialog waits at a location for the user's answer.
bool AtLocation(DialogSession& d, const PluginTexts& texts) {
  return !d.Ended() && (d.Enabled(IDC_CREATE) || d.Enabled(IDC_CONTINUE)) &&
         d.Text(IDC_STATUS) == texts.Text(IDS_ASK_ADD);
}

class ProgressBar {
 public:
  ProgressBar(std::FILE* out, bool shown) : m_out(out), m_shown(shown) {}
  ~ProgressBar() { Clear(); }

  void Show(const quivrasim::ProgressRun& run) {
    if (!m_shown || run.total <= 0) return;
    const int percent = static_cast<int>(std::clamp<int64_t>(int64_t{run.reported} * 100 / run.total, 0, 100));
    if (percent == m_percent && run.handle == m_run) return;
    m_percent = percent;
    m_run = run.handle;
    const int filled = percent * 30 / 100;
    std::fprintf(m_out, "\r[%.*s%.*s] %3d%%", filled, "##############################", 30 - filled,
                 "                              ", percent);
    std::fflush(m_out);
    m_drawn = true;
  }

  void Clear() {
    if (!m_drawn) return;
    std::fprintf(m_out, "\r%*s\r", 40, "");
    std::fflush(m_out);
    m_drawn = false;
  }

 private:
  std::FILE* m_out;
  bool m_shown;
  bool m_drawn = false;
  int m_percent = -1;
  uint32_t m_run = 0;
};

}  // namespace

const IncludeSwitch kIncludeSwitches[6] = {
    {"articulations", IDC_ARTICULATIONS}, {"expressions", IDC_EXPRESSIONS}, {"smart-shapes", IDC_SMART_SHAPES},
    {"clefs", IDC_CLEFS},                 {"lyrics", IDC_LYRICS},           {"chords", IDC_CHORDS},
};

const char* ModeName(Mode mode) {
  switch (mode) {
    case Mode::Mark:
      return "mark";
    case Mode::Add:
      return "add";
    case Mode::Review:
      return "review";
  }
  return "";
}

bool RunSession(quivrasim::Host& host, const ImportedScore& score, const SessionOptions& options, Console& console,
                SessionResult* result, std::string* error) {
  std::unique_ptr<quivrasim::Plugin> plugin = quivrasim::Plugin::Load(host, options.pluginPath, error);
  if (!plugin) return false;
  plugin->Start();
  if (options.selection) host.Selection() = *options.selection;

  const PluginTexts texts(host);
  LocationLog log(host, score, texts);
  ProgressBar bar(console.progress, options.progress);
  host.OnProgress([&](const quivrasim::ProgressRun& run, int instrument, int measure) {
    bar.Show(run);
    log.Progress(run, instrument, measure);
    return CancelRequested();
  });
  host.OnProgressRun([&](const quivrasim::ProgressRun& run) { log.ProgressRun(run); });
  const size_t alertsBefore = host.Alerts().size();
  host.OnAlert([&](const quivrasim::Alert& alert) { log.Alert(alert); });
  Review review(host, score, texts, log, console.in, console.out);

  host.OnDialog([&](DialogSession& d) {
    Configure(d, options);
    result->settings = ReadSettings(d);
    const size_t before = host.Alerts().size();
    d.Click(IDC_START);
    // A refusal of the options (the plug-in's own checks) leaves the dialog idle.
    for (size_t i = before; i < host.Alerts().size(); ++i) {
      const uint32_t id = host.Alerts()[i].stringId;
      if (id == IDS_NOT_POSITIVE || id == IDS_ALLOWED_TOO_SMALL) result->failed = true;
    }
    if (result->failed) {
      // The plug-in puts the caret into the field it refused.
      result->refusedControl = d.Focus();
      result->refusedValue = d.Text(d.Focus());
    }
    while (!result->failed && !CancelRequested() && AtLocation(d, texts) && !log.Empty()) {
      bar.Clear();
      if (d.Checked(IDC_INTERACTIVE) && options.mode.value_or(Mode::Review) == Mode::Review) {
        const ReviewOutcome outcome = review.At(d);
        if (outcome == ReviewOutcome::Next) continue;
        result->noAnswers = outcome == ReviewOutcome::NoInput;
        if (outcome == ReviewOutcome::Interrupted) RequestCancel();
        break;
      }
      // Automatic: the plug-in stops only where it has no proposal, or where
      // it did not write the cue (and then switched Interactive Mode on,
      // which automatic work turns off again).
      if (d.Checked(IDC_INTERACTIVE)) d.Click(IDC_INTERACTIVE);
      d.Click(IDC_CONTINUE);
    }
    bar.Clear();
    if (d.Text(IDC_CLOSE) == texts.Text(IDS_STOP)) d.Click(IDC_CLOSE);
    d.Click(IDC_CLOSE);
  });
  plugin->Invoke();
  host.OnDialog(nullptr);
  host.OnProgress(nullptr);
  host.OnProgressRun(nullptr);
  host.OnAlert(nullptr);

  result->locations = log.All();
  for (size_t i = alertsBefore; i < host.Alerts().size(); ++i) {
    const std::string& text = host.Alerts()[i].text;
    const bool ofLocation = std::any_of(result->locations.begin(), result->locations.end(),
                                        [&](const Location& location) { return location.message == text; });
    if (!ofLocation) result->messages.push_back(text);
  }
  result->interrupted = CancelRequested();
  return true;
}

}  // namespace ostinel_cli
