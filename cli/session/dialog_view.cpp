#include "dialog_view.h"

#include <cstdio>
#include <cstdlib>

#include "resource_ids.h"

namespace ostinel_cli {

namespace {

// The check box of each of kIncludeNames.
constexpr int kIncludeBoxes[] = {IDC_ARTICULATIONS, IDC_EXPRESSIONS, IDC_SMART_SHAPES,
                                 IDC_CLEFS,         IDC_LYRICS,      IDC_CHORDS};
static_assert(std::size(kIncludeBoxes) == std::size(kIncludeNames));

const quivrasim::Control& Get(const quivrasim::Dialog& dialog, int id) {
  static const quivrasim::Control kMissing;
  const quivrasim::Control* control = dialog.Find(id);
  return control != nullptr ? *control : kMissing;
}

int Number(const quivrasim::Dialog& dialog, int id) { return std::atoi(Get(dialog, id).text.c_str()); }

// The option of the command line a field of the dialog stands for.
const char* OptionOf(int control) {
  switch (control) {
    case IDC_THRESHOLD:
      return "threshold";
    case IDC_DESIRED:
      return "desired";
    case IDC_ALLOWED:
      return "allowed";
    case IDC_PERCENT:
      return "size";
    default:
      return "a choice";
  }
}

}  // namespace

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

SessionSettings DialogView::Settings(const quivrasim::Dialog& dialog) const {
  SessionSettings settings;
  settings.mode = MarkMode(dialog) ? Mode::Mark : Interactive(dialog) ? Mode::Review : Mode::Add;
  settings.measures = Get(dialog, IDC_MEASURES).checked;
  settings.threshold = Number(dialog, IDC_THRESHOLD);
  settings.desired = Number(dialog, IDC_DESIRED);
  settings.allowed = Number(dialog, IDC_ALLOWED);
  settings.size = Number(dialog, IDC_PERCENT);
  settings.sourceLayer = Get(dialog, IDC_SOURCE_LAYER).selection + 1;
  settings.destinationLayer = Get(dialog, IDC_DEST_LAYER).selection + 1;
  for (size_t i = 0; i < std::size(kIncludeNames); ++i) {
    settings.includes.emplace_back(kIncludeNames[i], Get(dialog, kIncludeBoxes[i]).checked);
  }
  return settings;
}

bool DialogView::MarkMode(const quivrasim::Dialog& dialog) const { return Get(dialog, IDC_MODE_MARK).checked; }

bool DialogView::Interactive(const quivrasim::Dialog& dialog) const { return Get(dialog, IDC_INTERACTIVE).checked; }

bool DialogView::WaitsAtLocation(const quivrasim::Dialog& dialog) const {
  return !dialog.Ended() && (Get(dialog, IDC_CREATE).enabled || Get(dialog, IDC_CONTINUE).enabled) &&
         Get(dialog, IDC_STATUS).text == Text(IDS_ASK_ADD);
}

bool DialogView::Searching(const quivrasim::Dialog& dialog) const {
  return Get(dialog, IDC_STATUS).text == Text(IDS_SEARCHING);
}

bool DialogView::OffersOrAdds(const quivrasim::Dialog& dialog) const {
  const std::string& status = Get(dialog, IDC_STATUS).text;
  return status == Text(IDS_ASK_ADD) || status == Text(IDS_ADDING);
}

int DialogView::LocationStaff(const quivrasim::Dialog& dialog) const { return Number(dialog, IDC_STAFF_NUMBER); }

int DialogView::LocationEnd(const quivrasim::Dialog& dialog) const { return Number(dialog, IDC_MEASURE_NUMBER); }

std::vector<int> DialogView::ChosenStaves(const quivrasim::Dialog& dialog) const {
  std::vector<int> slots;
  const std::vector<bool>& selected = Get(dialog, IDC_STAVES).selected;
  for (size_t line = 0; line < selected.size(); ++line) {
    if (selected[line]) slots.push_back(static_cast<int>(line) + 1);
  }
  return slots;
}

// The caption's format is the plug-in's, read at run time.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
std::optional<Proposal> DialogView::ProposalOf(const quivrasim::Dialog& dialog) const {
  const std::string& caption = Get(dialog, IDC_USE_PROPOSED).text;
  const std::string format = Text(IDS_PROPOSED_FORMAT);
  const size_t slot = format.find("%s");
  if (slot == std::string::npos) return std::nullopt;
  const std::string prefix = format.substr(0, slot);
  const std::string suffix = format.substr(slot + 2) + "%n";
  if (caption.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
  // The name may hold anything, the measures' part of the format too: the
  // measures are the last place where the rest of the caption matches.
  for (size_t at = caption.size(); at-- > prefix.size();) {
    Proposal proposal;
    int consumed = 0;
    if (std::sscanf(caption.c_str() + at, suffix.c_str(), &proposal.first, &proposal.last, &consumed) == 2 &&
        at + static_cast<size_t>(consumed) == caption.size()) {
      proposal.name = caption.substr(prefix.size(), at - prefix.size());
      return proposal;
    }
  }
  return std::nullopt;
}
#pragma GCC diagnostic pop

bool DialogView::UsesProposal(const quivrasim::Dialog& dialog) const { return Get(dialog, IDC_USE_PROPOSED).checked; }

bool DialogView::UsesSelection(const quivrasim::Dialog& dialog) const {
  return Get(dialog, IDC_USE_SELECTION).checked;
}

int DialogView::SourceLayer(const quivrasim::Dialog& dialog) const {
  return std::max(0, Get(dialog, IDC_SOURCE_LAYER).selection);
}

bool DialogView::CanCreate(const quivrasim::Dialog& dialog) const {
  return !dialog.Ended() && Get(dialog, IDC_CREATE).enabled;
}

void DialogView::Configure(quivrasim::DialogSession& d, const SessionOptions& options) const {
  if (options.mode) {
    const bool mark = *options.mode == Mode::Mark;
    d.Click(mark ? IDC_MODE_MARK : IDC_MODE_ADD);
    if (!mark) SetInteractive(d, *options.mode == Mode::Review);
  }
  if (options.measures) d.Click(*options.measures ? IDC_MEASURES : IDC_SECONDS);
  if (options.threshold) d.Type(IDC_THRESHOLD, std::to_string(*options.threshold));
  if (options.desired) d.Type(IDC_DESIRED, std::to_string(*options.desired));
  if (options.allowed) d.Type(IDC_ALLOWED, std::to_string(*options.allowed));
  if (options.size) d.Type(IDC_PERCENT, std::to_string(*options.size));
  if (options.sourceLayer) d.SelectCombo(IDC_SOURCE_LAYER, *options.sourceLayer - 1);
  if (options.destinationLayer) d.SelectCombo(IDC_DEST_LAYER, *options.destinationLayer - 1);
  for (size_t i = 0; i < std::size(kIncludeNames); ++i) {
    const auto chosen = options.includes.find(kIncludeNames[i]);
    if (chosen != options.includes.end() && d.Checked(kIncludeBoxes[i]) != chosen->second) d.Click(kIncludeBoxes[i]);
  }
}

bool DialogView::Start(quivrasim::DialogSession& d, Refusal* refusal) const {
  const size_t before = m_host.Alerts().size();
  d.Click(IDC_START);
  for (size_t i = before; i < m_host.Alerts().size(); ++i) {
    const quivrasim::Alert& alert = m_host.Alerts()[i];
    if (alert.stringId != IDS_NOT_POSITIVE && alert.stringId != IDS_ALLOWED_TOO_SMALL) continue;
    // The plug-in puts the caret into the field it refused.
    *refusal = Refusal{OptionOf(d.Focus()), d.Text(d.Focus()), alert.text};
    return false;
  }
  return true;
}

void DialogView::Create(quivrasim::DialogSession& d) const { d.Click(IDC_CREATE); }

void DialogView::Continue(quivrasim::DialogSession& d) const { d.Click(IDC_CONTINUE); }

bool DialogView::UseProposal(quivrasim::DialogSession& d) const { return d.Click(IDC_USE_PROPOSED); }

void DialogView::UseSelection(quivrasim::DialogSession& d) const { d.Click(IDC_USE_SELECTION); }

void DialogView::NameCue(quivrasim::DialogSession& d, const std::string& name) const {
  d.Type(IDC_CUE_NAME, name.empty() ? Text(IDS_AUTOMATIC) : name);
}

bool DialogView::ChooseStaves(quivrasim::DialogSession& d, const std::vector<int>& slots) const {
  std::vector<int> lines;
  for (const int slot : slots) lines.push_back(slot - 1);
  return !lines.empty() && d.SelectLines(IDC_STAVES, lines);
}

void DialogView::SetInteractive(quivrasim::DialogSession& d, bool on) const {
  if (d.Checked(IDC_INTERACTIVE) != on) d.Click(IDC_INTERACTIVE);
}

void DialogView::Close(quivrasim::DialogSession& d) const {
  if (d.Text(IDC_CLOSE) == Text(IDS_STOP)) d.Click(IDC_CLOSE);
  d.Click(IDC_CLOSE);
}

bool DialogView::IsCount(const quivrasim::Alert& alert) const {
  return alert.stringId == IDS_CREATED_ONE || alert.stringId == IDS_CREATED_MANY || alert.stringId == IDS_MARKED_ONE ||
         alert.stringId == IDS_MARKED_MANY;
}

bool DialogView::IsNothingFound(const quivrasim::Alert& alert) const { return alert.stringId == IDS_NOTHING_FOUND; }

}  // namespace ostinel_cli
