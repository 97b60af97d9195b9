#include "session.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <memory>

#include "quivrasim/plugin.h"
#include "review.h"
#include "stop_request.h"

namespace ostinel_cli {

namespace {

using quivrasim::DialogSession;

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

bool RunSession(quivrasim::Host& host, const ImportedScore& score, const SessionOptions& options, Console& console,
                SessionResult* result, std::string* error) {
  std::unique_ptr<quivrasim::Plugin> plugin = quivrasim::Plugin::Load(host, options.pluginPath, error);
  if (!plugin) return false;
  plugin->Start();
  if (options.selection) host.Selection() = *options.selection;

  const DialogView view(host);
  LocationLog log(host, score, view);
  ProgressBar bar(console.progress, options.progress);
  host.OnProgress([&](const quivrasim::ProgressRun& run, int instrument, int measure) {
    bar.Show(run);
    log.Progress(run, instrument, measure);
    return CancelRequested();
  });
  host.OnProgressRun([&](const quivrasim::ProgressRun& run) { log.ProgressRun(run); });
  const size_t alertsBefore = host.Alerts().size();
  host.OnAlert([&](const quivrasim::Alert& alert) { log.Alert(alert); });
  ReviewActions actions(host, score, view, log);
  Review terminal(console.in, console.out);
  ReviewFace& face = console.face != nullptr ? *console.face : terminal;

  host.OnDialog([&](DialogSession& d) {
    view.Configure(d, options);
    result->settings = view.Settings(d.Window());
    Refusal refusal;
    if (!view.Start(d, &refusal)) result->refusal = refusal;
    while (!result->refusal && !CancelRequested() && view.WaitsAtLocation(d.Window()) && !log.Empty()) {
      bar.Clear();
      if (view.Interactive(d.Window()) && options.mode.value_or(Mode::Review) == Mode::Review) {
        const ReviewOutcome outcome = face.At(actions, d);
        if (outcome == ReviewOutcome::Next) continue;
        result->noAnswers = outcome == ReviewOutcome::NoInput;
        // A stop at the prompt is the signal that came (or Ctrl-C).
        if (outcome == ReviewOutcome::Interrupted && StopSignal() == 0) RequestCancel();
        break;
      }
      // Automatic: the plug-in stops only where it has no proposal, or where
      // it did not write the cue (and then switched Interactive Mode on,
      // which automatic work turns off again).
      view.SetInteractive(d, false);
      view.Continue(d);
    }
    bar.Clear();
    view.Close(d);
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
