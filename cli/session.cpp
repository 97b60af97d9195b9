#include "session.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>

#include "quivrasim/plugin.h"
#include "resources/resource_ids.h"

namespace ostinel_cli {

namespace {

using quivrasim::DialogSession;

volatile std::sig_atomic_t g_cancel = 0;

constexpr const char* kAskAdd = "Add cue notes here?";
constexpr const char* kAdding = "Adding cue notes...";

int Number(const std::string& text) { return std::atoi(text.c_str()); }

std::vector<int> SelectedSlots(const quivrasim::Control& list) {
  std::vector<int> slots;
  for (size_t line = 0; line < list.selected.size(); ++line) {
    if (list.selected[line]) slots.push_back(static_cast<int>(line) + 1);
  }
  return slots;
}

// Reads the search's locations off the dialog as the plug-in updates it: a
// staff and a measure, then alone the rest's end, then the proposal, the
// status of an offered location and its staves.
class Observer {
 public:
  explicit Observer(bool mark) : m_mark(mark) {}

  void Changed(const quivrasim::Dialog& dialog, int control) {
    const quivrasim::Control* changed = dialog.Find(control);
    if (changed == nullptr) return;
    switch (control) {
      case IDC_STAFF_NUMBER:
        Close();
        m_slot = Number(changed->text);
        m_expectMeasure = true;
        break;
      case IDC_MEASURE_NUMBER:
        if (m_expectMeasure) {
          m_measure = Number(changed->text);
          m_expectMeasure = false;
        } else {
          m_candidate = Location{m_slot, m_measure, Number(changed->text), "", {}, {}, ""};
          m_pending = true;
          if (m_mark) {
            m_candidate.action = "marked";
            m_locations.push_back(m_candidate);
            m_pending = false;
          }
        }
        break;
      case IDC_USE_PROPOSED:
        if (m_pending) m_candidate.proposal = changed->text;
        break;
      case IDC_STATUS:
        if (m_pending && (changed->text == kAskAdd || changed->text == kAdding)) {
          m_locations.push_back(m_candidate);
          m_offered = static_cast<int>(m_locations.size()) - 1;
          m_pending = false;
        }
        break;
      case IDC_STAVES:
        if (m_offered >= 0) m_locations[static_cast<size_t>(m_offered)].offered = SelectedSlots(*changed);
        break;
      default:
        break;
    }
  }

  // The index of the location offered now, -1 when none is.
  int Offered() const { return m_offered; }
  Location& At(int index) { return m_locations[static_cast<size_t>(index)]; }

  std::vector<Location> Finish() {
    Close();
    return m_locations;
  }

 private:
  void Close() {
    if (m_offered >= 0) {
      // Passed without a word from the user: the plug-in wrote the cue where it offered to.
      Location& location = m_locations[static_cast<size_t>(m_offered)];
      if (location.action.empty()) {
        location.action = "cue written";
        location.destinations = location.offered;
      }
    }
    m_pending = false;
    m_offered = -1;
  }

  bool m_mark;
  int m_slot = 0;
  int m_measure = 0;
  bool m_expectMeasure = false;
  bool m_pending = false;
  int m_offered = -1;
  Location m_candidate;
  std::vector<Location> m_locations;
};

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

bool AtLocation(DialogSession& d) {
  return !d.Ended() && (d.Enabled(IDC_CREATE) || d.Enabled(IDC_CONTINUE)) && d.Text(IDC_STATUS) == kAskAdd;
}

std::string StaffList(const ImportedScore& score, const std::vector<int>& slots) {
  std::string text;
  for (const int slot : slots) text += (text.empty() ? "" : ", ") + score.StaffName(slot);
  return text.empty() ? "no staff" : text;
}

bool ParseRange(const std::string& text, int* first, int* last) {
  char* end = nullptr;
  *first = static_cast<int>(std::strtol(text.c_str(), &end, 10));
  *last = *first;
  if (end != nullptr && *end == '-') *last = static_cast<int>(std::strtol(end + 1, &end, 10));
  return end != nullptr && *end == '\0' && *first >= 1 && *last >= *first;
}

// The user's answers at a location, from the console. Returns false when the
// user asked to stop.
bool Review(DialogSession& d, quivrasim::Host& host, const ImportedScore& score, Observer& observer, int index,
            Console& console) {
  std::fprintf(console.out, "\n%s: rest in measures %d-%d\n", score.StaffName(observer.At(index).slot).c_str(),
               observer.At(index).restStart, observer.At(index).restEnd);
  bool written = false;
  for (;;) {
    Location& location = observer.At(index);  // the list may grow while the search goes on
    const std::vector<int> chosen = SelectedSlots(*d.Window().Find(IDC_STAVES));
    std::fprintf(console.out, "  %s\n  Cue to: %s\n", d.Text(IDC_USE_PROPOSED).c_str(),
                 StaffList(score, chosen).c_str());
    if (d.Checked(IDC_USE_SELECTION)) {
      const QXRegion& own = host.Selection();
      std::fprintf(console.out, "  Cue from: %s, measures %d-%d\n", score.StaffName(own.startSlot).c_str(),
                   own.startMeasure, own.endMeasure);
    }
    std::fprintf(console.out,
                 "  [c]reate  [s]kip  [t] STAVES (cue to, e.g. t 2,3)  [r] STAFF FROM-TO (cue from)  [p]roposed  "
                 "[n] NAME  [q]uit\n> ");
    std::fflush(console.out);
    char line[512];
    if (std::fgets(line, sizeof line, console.in) == nullptr) {
      location.action += location.action.empty() ? "stopped" : "; then stopped";
      return false;
    }
    std::istringstream words(line);
    std::string command;
    words >> command;
    if (command == "c" || command == "create") {
      const size_t before = host.Alerts().size();
      d.Click(IDC_CREATE);
      for (size_t i = before; i < host.Alerts().size(); ++i) {
        std::fprintf(console.out, "  %s\n", host.Alerts()[i].text.c_str());
      }
      // The search went on: every staff chosen received the cue. Offered
      // again: those no longer waiting for it did.
      const bool same = observer.Offered() == index;
      const std::vector<int> waiting = same ? SelectedSlots(*d.Window().Find(IDC_STAVES)) : std::vector<int>{};
      std::vector<int> received;
      for (const int slot : chosen) {
        if (std::find(waiting.begin(), waiting.end(), slot) == waiting.end()) received.push_back(slot);
      }
      Location& done = observer.At(index);
      if (host.Alerts().size() == before && !received.empty()) {
        if (!written) done.destinations.clear();  // not what the plug-in offered: what the user chose
        done.destinations.insert(done.destinations.end(), received.begin(), received.end());
        done.action = "cue written";
        written = true;
        std::fprintf(console.out, "  Cue written to %s\n", StaffList(score, received).c_str());
      }
      if (!same) return true;
      continue;  // offered again, with the staves still without the cue
    }
    if (command == "s" || command == "skip") {
      if (location.action.empty()) location.action = "skipped";
      d.Click(IDC_CONTINUE);
      return true;
    }
    if (command == "q" || command == "quit" || command == "stop") {
      location.action += location.action.empty() ? "stopped" : "; then stopped";
      return false;
    }
    if (command == "p") {
      d.Click(IDC_USE_PROPOSED);
    } else if (command == "n") {
      std::string name;
      std::getline(words >> std::ws, name);
      d.Type(IDC_CUE_NAME, name);
    } else if (command == "t") {
      std::string list;
      words >> list;
      std::vector<int> lines;
      std::istringstream items(list);
      for (std::string item; std::getline(items, item, ',');) lines.push_back(Number(item) - 1);
      if (!d.SelectLines(IDC_STAVES, lines)) std::fprintf(console.out, "  No such staff in %s\n", list.c_str());
    } else if (command == "r") {
      int staff = 0;
      std::string range;
      int first = 0;
      int last = 0;
      words >> staff >> range;
      if (staff < 1 || staff > static_cast<int>(score.staffOfSlot.size()) || !ParseRange(range, &first, &last) ||
          last > score.measureCount) {
        std::fprintf(console.out, "  Give a staff and measures, e.g. r 1 8-12\n");
        continue;
      }
      host.Select(staff, first, staff, last);
      d.Click(IDC_USE_SELECTION);
    } else {
      std::fprintf(console.out, "  Unknown answer \"%s\"\n", command.c_str());
    }
  }
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

void RequestCancel() { g_cancel = 1; }
bool CancelRequested() { return g_cancel != 0; }
void ClearCancel() { g_cancel = 0; }

bool RunSession(quivrasim::Host& host, const ImportedScore& score, const SessionOptions& options, Console& console,
                SessionResult* result, std::string* error) {
  std::unique_ptr<quivrasim::Plugin> plugin = quivrasim::Plugin::Load(host, options.pluginPath, error);
  if (!plugin) return false;
  plugin->Start();
  if (options.selection) host.Selection() = *options.selection;

  ProgressBar bar(console.progress, options.progress);
  host.OnProgress([&](const quivrasim::ProgressRun& run, int, int) {
    bar.Show(run);
    return CancelRequested();
  });
  const size_t alertsBefore = host.Alerts().size();
  std::unique_ptr<Observer> observer;
  host.OnControlChange([&](const quivrasim::Dialog& dialog, int control) {
    if (observer) observer->Changed(dialog, control);
  });

  host.OnDialog([&](DialogSession& d) {
    Configure(d, options);
    observer = std::make_unique<Observer>(d.Checked(IDC_MODE_MARK));
    const size_t before = host.Alerts().size();
    d.Click(IDC_START);
    // A refusal of the options (the plug-in's own checks) leaves the dialog idle.
    for (size_t i = before; i < host.Alerts().size(); ++i) {
      const uint32_t id = host.Alerts()[i].stringId;
      if (id == IDS_NOT_POSITIVE || id == IDS_ALLOWED_TOO_SMALL) result->failed = true;
    }
    while (!result->failed && !CancelRequested() && AtLocation(d)) {
      bar.Clear();
      const int index = observer->Offered();
      if (index < 0) break;
      Location* location = &observer->At(index);
      if (d.Checked(IDC_INTERACTIVE) && options.mode.value_or(Mode::Review) == Mode::Review) {
        if (!Review(d, host, score, *observer, index, console)) break;
      } else {
        // Automatic: the plug-in stops only where it has no proposal, or
        // where the cue could not be written.
        location->action = d.Text(IDC_USE_PROPOSED) == "Use &Proposed Cue:  None" ? "no proposed cue: left as it is"
                                                                                   : "cue not written";
        // A failed cue switches Interactive Mode on; automatic work goes on without it.
        if (d.Checked(IDC_INTERACTIVE)) d.Click(IDC_INTERACTIVE);
        d.Click(IDC_CONTINUE);
      }
    }
    bar.Clear();
    if (d.Text(IDC_CLOSE) == "Stop") d.Click(IDC_CLOSE);
    d.Click(IDC_CLOSE);
  });
  plugin->Invoke();
  host.OnDialog(nullptr);
  host.OnProgress(nullptr);
  host.OnControlChange(nullptr);

  result->locations = observer ? observer->Finish() : std::vector<Location>{};
  for (size_t i = alertsBefore; i < host.Alerts().size(); ++i) result->messages.push_back(host.Alerts()[i].text);
  result->interrupted = CancelRequested();
  return true;
}

}  // namespace ostinel_cli
