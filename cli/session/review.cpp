#include "review.h"

#include <algorithm>
#include <cctype>
#include <sstream>

#include "dialog_limits.h"
#include "ranges.h"
#include "shown_text.h"
#include "stop_request.h"

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

}  // namespace

ReviewActions::ReviewActions(quivrasim::Host& host, const ImportedScore& score, const DialogView& view,
                             LocationLog& log)
    : m_host(host), m_score(score), m_view(view), m_log(log) {}

std::string ReviewActions::Staves(const std::vector<int>& slots) const {
  std::string text;
  for (const int slot : slots) text += (text.empty() ? "" : ", ") + m_score.StaffName(slot);
  return text.empty() ? "no staff" : text;
}

std::string ReviewActions::Measures(int first, int last) const {
  if (first == last) return "measure " + m_score.MeasureNumber(first);
  return "measures " + m_score.MeasureNumber(first) + "-" + m_score.MeasureNumber(last);
}

int ReviewActions::StaffOf(const std::string& word) const {
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

ReviewActions::Created ReviewActions::Create(quivrasim::DialogSession& d) {
  Created created;
  const size_t alerts = m_host.Alerts().size();
  const std::vector<int> before = m_log.All().back().destinations;
  const size_t index = m_log.All().size() - 1;
  m_view.Create(d);
  for (size_t i = alerts; i < m_host.Alerts().size(); ++i) {
    if (!m_view.IsCount(m_host.Alerts()[i])) created.messages.push_back(m_host.Alerts()[i].text);
  }
  for (const int slot : m_log.All()[index].destinations) {
    if (std::find(before.begin(), before.end(), slot) == before.end()) created.received.push_back(slot);
  }
  created.offeredAgain = m_log.All().size() - 1 == index && m_view.CanCreate(d.Window());
  return created;
}

void ReviewActions::Skip(quivrasim::DialogSession& d) { m_view.Continue(d); }

void ReviewActions::Stop() {
  Location& location = m_log.Current();
  if (location.action != Action::Written) location.action = Action::Stopped;
}

std::string ReviewActions::ChooseStaves(quivrasim::DialogSession& d, const std::string& list) {
  std::vector<int> slots;
  std::istringstream items(list);
  for (std::string item; std::getline(items, item, ',');) {
    const int slot = StaffOf(item);
    if (slot == 0) return "No staff \"" + Trim(item) + "\" (give numbers or names, e.g. t 2,3)";
    slots.push_back(slot);
  }
  if (slots.size() > OSTINEL_MOST_DESTINATIONS) {
    return "A cue goes to at most " + std::to_string(OSTINEL_MOST_DESTINATIONS) + " staves at once; " +
           std::to_string(slots.size()) + " were given";
  }
  if (!m_view.ChooseStaves(d, slots)) return "Give staves, e.g. t 2,3";
  return {};
}

std::string ReviewActions::ChooseSource(quivrasim::DialogSession& d, const std::string& words) {
  const std::string trimmed = Trim(words);
  const size_t space = trimmed.find_last_of(" \t");
  const int slot = space == std::string::npos ? 0 : StaffOf(trimmed.substr(0, space));
  int first = 0;
  int last = 0;
  std::string error;
  if (slot == 0 || !MeasureRange(m_score, trimmed.substr(space + 1), &first, &last, &error)) {
    return "Give a staff and measures, e.g. r 1 8-12" + (error.empty() ? "" : ": " + error);
  }
  m_host.Select(slot, first, slot, last);
  m_view.UseSelection(d);
  return {};
}

std::string ReviewActions::UseProposal(quivrasim::DialogSession& d) {
  return m_view.UseProposal(d) ? std::string() : "There is no proposed cue here";
}

std::string ReviewActions::Name(quivrasim::DialogSession& d, const std::string& typed, std::string* note) {
  // A terminal that is not UTF-8 sends its own bytes: those of Latin-1 are
  // the likeliest, and keep the letters.
  std::string name = AsUtf8(typed);
  if (name != typed) *note = "Read as Latin-1: " + name;
  if (const uint32_t forbidden = ForbiddenInXml(name)) {
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", forbidden);
    return std::string("The name holds ") + code + ", which a score cannot keep; type it again";
  }
  // The plug-in keeps the name's first bytes, cut between characters.
  if (name.size() >= OSTINEL_CUE_NAME_SIZE) {
    *note = (note->empty() ? "" : *note + "; ") + "the plug-in keeps the first " +
            std::to_string(OSTINEL_CUE_NAME_SIZE - 1) + " bytes of a name";
  }
  m_view.NameCue(d, name);
  return {};
}

std::vector<std::string> LocationLines(ReviewActions& actions, quivrasim::DialogSession& d) {
  std::vector<std::string> lines;
  const Location& location = actions.Log().All().back();
  const ImportedScore& score = actions.Score();
  if (location.proposal) {
    const std::string staff = location.proposal->slot != 0 ? score.StaffName(location.proposal->slot)
                                                           : location.proposalName;
    lines.push_back("Proposed cue: " + staff + ", " +
                    actions.Measures(location.proposal->first, location.proposal->last));
  } else {
    lines.push_back("No proposed cue: choose one with r");
  }
  if (actions.View().UsesSelection(d.Window())) {
    const QXRegion& own = actions.Host().Selection();
    if (own.startMeasure != 0) {
      lines.push_back("Cue from: " + score.StaffName(own.startSlot) + ", " +
                      actions.Measures(own.startMeasure, own.endMeasure));
    }
  }
  lines.push_back("Cue to: " + actions.Staves(actions.View().ChosenStaves(d.Window())));
  return lines;
}

Answered Answer(ReviewActions& actions, quivrasim::DialogSession& d, const std::string& line) {
  Answered answered;
  std::istringstream words(line);
  std::string command;
  words >> command;
  command = Lower(command);
  std::string rest;
  std::getline(words >> std::ws, rest);
  std::string problem;
  if (command == "c" || command == "create") {
    const ReviewActions::Created created = actions.Create(d);
    answered.lines = created.messages;
    answered.received = created.received;
    if (!created.received.empty()) answered.lines.push_back("Cue written to " + actions.Staves(created.received));
    if (!created.offeredAgain) answered.outcome = ReviewOutcome::Next;
  } else if (command == "s" || command == "skip") {
    actions.Skip(d);
    answered.outcome = ReviewOutcome::Next;
  } else if (command == "q" || command == "quit" || command == "stop") {
    actions.Stop();
    answered.outcome = ReviewOutcome::Stop;
  } else if (command == "p" || command == "proposed") {
    problem = actions.UseProposal(d);
  } else if (command == "n" || command == "name") {
    std::string note;
    problem = actions.Name(d, rest, &note);
    if (!note.empty()) answered.lines.push_back(note);
  } else if (command == "t" || command == "to") {
    problem = actions.ChooseStaves(d, rest);
  } else if (command == "r" || command == "range") {
    problem = actions.ChooseSource(d, rest);
  } else if (command == "?" || command == "h" || command == "help") {
    std::istringstream help(kHelp);
    for (std::string text; std::getline(help, text);) answered.lines.push_back(text.substr(2));
  } else if (!command.empty()) {
    problem = "Unknown answer \"" + command + "\" (? for help)";
  }
  if (!problem.empty()) answered.lines.push_back(problem);
  return answered;
}

void Review::Print(const std::string& text) const {
  std::fputs(Printable(text).c_str(), m_out);
}

ReviewOutcome Review::At(ReviewActions& actions, quivrasim::DialogSession& d) {
  const ImportedScore& score = actions.Score();
  {
    const Location& location = actions.Log().All().back();
    std::string staves;
    for (int slot = 1; slot <= static_cast<int>(score.staffOfSlot.size()); ++slot) {
      staves += (slot > 1 ? ", " : "") + std::to_string(slot) + " " + score.StaffName(slot);
    }
    Print("\n" + score.StaffName(location.slot) + ": rest in " +
          actions.Measures(location.restStart, location.restEnd) + "\n  Staves: " + staves + "\n");
  }
  for (;;) {
    for (const std::string& text : LocationLines(actions, d)) Print("  " + text + "\n");
    Print(std::string(kChoices) + "> ");
    std::fflush(m_out);
    std::string line;
    const LineReader::Result read = m_in.Next(&line);
    if (read == LineReader::Result::Ended) {
      if (CancelRequested()) return ReviewOutcome::Interrupted;
      if (m_answers == 0) return ReviewOutcome::NoInput;
      actions.Stop();
      return ReviewOutcome::Stop;
    }
    if (read == LineReader::Result::TooLong) {
      Print("  That answer is longer than " + std::to_string(LineReader::kLongestLine) + " bytes; type it again\n");
      continue;
    }
    ++m_answers;
    const Answered answered = Answer(actions, d, line);
    for (const std::string& text : answered.lines) Print("  " + text + "\n");
    if (answered.outcome) return *answered.outcome;
  }
}

}  // namespace ostinel_cli
