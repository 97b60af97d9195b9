#include "review.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <sstream>

#include "ranges.h"
#include "resource_ids.h"
#include "session.h"

namespace ostinel_cli {

namespace {

constexpr const char* kChoices =
    "  [c]reate  [s]kip  [t] STAVES  [r] STAFF FROM-TO  [p]roposed  [n] NAME  [q]uit  [?] help\n";

constexpr const char* kHelp =
    "  c            create the cue in the staves chosen (Cue to)\n"
    "  s            skip this location; the search goes on\n"
    "  t 2,3        choose the staves that receive the cue, by number or name (t Oboe, Horn)\n"
    "  r 1 8-12     take the cue from a staff (number or name) over these measures instead\n"
    "  p            take the proposed cue again\n"
    "  n NAME       name the cue (n without a name: the staff's own name)\n"
    "  q            stop here; what was decided so far is written\n";

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::vector<int> SelectedSlots(const quivrasim::DialogSession& d) {
  std::vector<int> slots;
  for (const int line : d.SelectedLines(IDC_STAVES)) slots.push_back(line + 1);
  return slots;
}

}  // namespace

bool LineReader::Next(std::string* line) {
  for (;;) {
    const size_t end = m_buffer.find('\n');
    if (end != std::string::npos || (m_ended && !m_buffer.empty())) {
      *line = m_buffer.substr(0, end);
      m_buffer.erase(0, end == std::string::npos ? end : end + 1);
      if (!line->empty() && line->back() == '\r') line->pop_back();
      return true;
    }
    if (m_ended || StopSignal() != 0) return false;
    // A stop that comes while we wait is seen within a tenth of a second,
    // even when it came just before the wait began.
    pollfd ready{fileno(m_in), POLLIN, 0};
    if (poll(&ready, 1, 100) <= 0) continue;
    char buffer[4096];
    const ssize_t read = ::read(ready.fd, buffer, sizeof buffer);
    if (read < 0 && errno == EINTR) continue;
    if (read <= 0) {
      m_ended = true;
      continue;
    }
    m_buffer.append(buffer, static_cast<size_t>(read));
  }
}

Review::Review(quivrasim::Host& host, const ImportedScore& score, const PluginTexts& texts, LocationLog& log,
               std::FILE* in, std::FILE* out)
    : m_host(host), m_score(score), m_texts(texts), m_log(log), m_in(in), m_out(out) {}

std::string Review::Staves(const std::vector<int>& slots) const {
  std::string text;
  for (const int slot : slots) text += (text.empty() ? "" : ", ") + m_score.StaffName(slot);
  return text.empty() ? "no staff" : text;
}

std::string Review::Measures(int first, int last) const {
  if (first == last) return "measure " + m_score.MeasureNumber(first);
  return "measures " + m_score.MeasureNumber(first) + "-" + m_score.MeasureNumber(last);
}

int Review::StaffOf(const std::string& word) const {
  const std::string wanted = Lower(Trim(word));
  if (wanted.empty()) return 0;
  const int count = static_cast<int>(m_score.staffOfSlot.size());
  int slot = 0;
  if (ParseCount(wanted, &slot)) return slot <= count ? slot : 0;
  for (slot = 1; slot <= count; ++slot) {
    int staff = 0;
    const PartLayout* part = m_score.PartOfSlot(slot, &staff);
    if (Lower(m_score.StaffName(slot)) == wanted) return slot;
    // A part's own names stand for its first staff.
    if (staff == 1 && (Lower(part->name) == wanted || Lower(part->abbreviation) == wanted)) return slot;
  }
  return 0;
}

void Review::Show(quivrasim::DialogSession& d) const {
  const Location& location = m_log.All().back();
  if (location.proposal) {
    const std::string staff =
        location.proposal->slot != 0 ? m_score.StaffName(location.proposal->slot) : location.proposalName;
    std::fprintf(m_out, "  Proposed cue: %s, %s\n", staff.c_str(),
                 Measures(location.proposal->first, location.proposal->last).c_str());
  } else {
    std::fprintf(m_out, "  No proposed cue: choose one with r\n");
  }
  if (d.Checked(IDC_USE_SELECTION)) {
    const QXRegion& own = m_host.Selection();
    if (own.startMeasure != 0) {
      std::fprintf(m_out, "  Cue from: %s, %s\n", m_score.StaffName(own.startSlot).c_str(),
                   Measures(own.startMeasure, own.endMeasure).c_str());
    }
  }
  std::fprintf(m_out, "  Cue to: %s\n%s> ", Staves(SelectedSlots(d)).c_str(), kChoices);
  std::fflush(m_out);
}

ReviewOutcome Review::At(quivrasim::DialogSession& d) {
  const size_t index = m_log.All().size() - 1;
  {
    const Location& location = m_log.All().back();
    std::fprintf(m_out, "\n%s: rest in %s\n", m_score.StaffName(location.slot).c_str(),
                 Measures(location.restStart, location.restEnd).c_str());
    std::string staves;
    for (int slot = 1; slot <= static_cast<int>(m_score.staffOfSlot.size()); ++slot) {
      staves += (slot > 1 ? ", " : "") + std::to_string(slot) + " " + m_score.StaffName(slot);
    }
    std::fprintf(m_out, "  Staves: %s\n", staves.c_str());
  }
  for (;;) {
    Show(d);
    std::string line;
    if (!m_in.Next(&line)) {
      if (CancelRequested()) return ReviewOutcome::Interrupted;
      if (m_answers == 0) return ReviewOutcome::NoInput;
      Location& location = m_log.Current();
      if (location.action != Action::Written) location.action = Action::Stopped;
      return ReviewOutcome::Stop;
    }
    ++m_answers;
    std::istringstream words(line);
    std::string command;
    words >> command;
    command = Lower(command);
    std::string rest;
    std::getline(words >> std::ws, rest);
    if (command == "c" || command == "create") {
      Create(d);
      // Offered again (some staves did not receive it): ask on.
      if (m_log.All().size() - 1 == index && !d.Ended() && d.Enabled(IDC_CREATE)) continue;
      return ReviewOutcome::Next;
    }
    if (command == "s" || command == "skip") {
      d.Click(IDC_CONTINUE);
      return ReviewOutcome::Next;
    }
    if (command == "q" || command == "quit" || command == "stop") {
      Location& location = m_log.Current();
      if (location.action != Action::Written) location.action = Action::Stopped;
      return ReviewOutcome::Stop;
    }
    if (command == "p" || command == "proposed") {
      if (!d.Click(IDC_USE_PROPOSED)) std::fprintf(m_out, "  There is no proposed cue here\n");
    } else if (command == "n" || command == "name") {
      d.Type(IDC_CUE_NAME, rest.empty() ? m_texts.Text(IDS_AUTOMATIC) : rest);
    } else if (command == "t" || command == "to") {
      ChooseStaves(d, rest);
    } else if (command == "r" || command == "range") {
      ChooseSource(d, rest);
    } else if (command == "?" || command == "h" || command == "help") {
      std::fprintf(m_out, "%s", kHelp);
    } else if (!command.empty()) {
      std::fprintf(m_out, "  Unknown answer \"%s\" (? for help)\n", command.c_str());
    }
  }
}

void Review::Create(quivrasim::DialogSession& d) {
  const size_t alerts = m_host.Alerts().size();
  const std::vector<int> before = m_log.Current().destinations;
  const size_t index = m_log.All().size() - 1;
  d.Click(IDC_CREATE);
  for (size_t i = alerts; i < m_host.Alerts().size(); ++i) {
    const uint32_t id = m_host.Alerts()[i].stringId;
    if (id == IDS_CREATED_ONE || id == IDS_CREATED_MANY || id == IDS_MARKED_ONE || id == IDS_MARKED_MANY) continue;
    std::fprintf(m_out, "  %s\n", m_host.Alerts()[i].text.c_str());
  }
  std::vector<int> received;
  for (const int slot : m_log.All()[index].destinations) {
    if (std::find(before.begin(), before.end(), slot) == before.end()) received.push_back(slot);
  }
  if (!received.empty()) std::fprintf(m_out, "  Cue written to %s\n", Staves(received).c_str());
}

void Review::ChooseStaves(quivrasim::DialogSession& d, const std::string& list) {
  std::vector<int> lines;
  std::istringstream items(list);
  for (std::string item; std::getline(items, item, ',');) {
    const int slot = StaffOf(item);
    if (slot == 0) {
      std::fprintf(m_out, "  No staff \"%s\" (give numbers or names, e.g. t 2,3)\n", Trim(item).c_str());
      return;
    }
    lines.push_back(slot - 1);
  }
  if (lines.empty() || !d.SelectLines(IDC_STAVES, lines)) std::fprintf(m_out, "  Give staves, e.g. t 2,3\n");
}

void Review::ChooseSource(quivrasim::DialogSession& d, const std::string& words) {
  const std::string trimmed = Trim(words);
  const size_t space = trimmed.find_last_of(" \t");
  const int slot = space == std::string::npos ? 0 : StaffOf(trimmed.substr(0, space));
  int first = 0;
  int last = 0;
  std::string error;
  if (slot == 0 || !MeasureRange(m_score, trimmed.substr(space + 1), &first, &last, &error)) {
    std::fprintf(m_out, "  Give a staff and measures, e.g. r 1 8-12%s%s\n", error.empty() ? "" : ": ", error.c_str());
    return;
  }
  m_host.Select(slot, first, slot, last);
  d.Click(IDC_USE_SELECTION);
}

}  // namespace ostinel_cli
