#include "locations.h"

#include <algorithm>

namespace ostinel_cli {

const char* ActionId(Action action) {
  switch (action) {
    case Action::Marked:
      return "marked";
    case Action::Written:
      return "written";
    case Action::Skipped:
      return "skipped";
    case Action::NoProposal:
      return "no-proposal";
    case Action::Refused:
      return "refused";
    case Action::Stopped:
      return "stopped";
  }
  return "";
}

const char* ActionWords(Action action) {
  switch (action) {
    case Action::Written:
      return "cue written";
    case Action::NoProposal:
      return "no proposed cue";
    default:
      return ActionId(action);
  }
}

LocationLog::LocationLog(quivrasim::Host& host, const ImportedScore& score, const DialogView& view)
    : m_host(host), m_score(score), m_view(view) {}

void LocationLog::Progress(const quivrasim::ProgressRun& run, int instrument, int measure) {
  if (run.region) {
    // The search reports each stretch it measures; a location's rest starts
    // at the last one reported before it.
    m_examined = measure;
  } else if (m_creating && std::find(m_reported.begin(), m_reported.end(), instrument) == m_reported.end()) {
    // A creation reports the destination staff (by slot) and measure it writes.
    m_reported.push_back(instrument);
  }
}

void LocationLog::ProgressRun(const quivrasim::ProgressRun& run) {
  auto& dialogs = m_host.OpenDialogs();
  const quivrasim::Dialog* dialog = dialogs.empty() ? nullptr : dialogs.back().get();
  if (dialog == nullptr) return;
  if (run.region) {
    // A search step that ends not cancelled, with the dialog at a location
    // (or searching on past a marked one), has found a location; the other
    // runs over a region load the tempo changes, or find nothing more.
    if (!run.ended) {
      m_selectionsBefore = m_host.SelectionsSet().size();
      return;
    }
    if (run.endCancel == 0 && (m_view.MarkMode(*dialog) ? m_view.Searching(*dialog) : m_view.OffersOrAdds(*dialog))) {
      Presented(*dialog);
    }
    return;
  }
  if (m_locations.empty()) return;
  if (!run.ended) {
    CreationStarted(*dialog);
  } else if (m_creating) {
    CreationEnded();
  }
}

void LocationLog::Alert(const quivrasim::Alert& alert) {
  // A refusal at a location stands over the dialog as a warning or an error;
  // what informs (the closing counts) and "nothing found" speak of the whole search.
  const auto& dialogs = m_host.OpenDialogs();
  if (m_locations.empty() || dialogs.empty() || alert.owner != dialogs.back()->Handle()) return;
  if (alert.style == kQXAlertInformation || m_view.IsCount(alert) || m_view.IsNothingFound(alert)) return;
  Location& location = Current();
  location.message = alert.text;
  if (location.action != Action::Written) location.action = Action::Refused;
}

void LocationLog::Presented(const quivrasim::Dialog& dialog) {
  Location location;
  location.slot = m_view.LocationStaff(dialog);
  location.restEnd = m_view.LocationEnd(dialog);
  location.restStart = m_examined != 0 && m_examined <= location.restEnd ? m_examined : location.restEnd;
  if (m_view.MarkMode(dialog)) {
    location.action = Action::Marked;
    m_locations.push_back(location);
    return;
  }
  location.offered = m_view.ChosenStaves(dialog);
  if (const std::optional<Proposal> offered = m_view.ProposalOf(dialog)) {
    location.proposalName = offered->name;
    CueSource proposal{0, offered->first, offered->last};
    // Offered for the user's choice, the proposal is selected in the score.
    const std::vector<QXRegion>& set = m_host.SelectionsSet();
    if (set.size() > m_selectionsBefore) {
      const QXRegion& selected = set.back();
      if (selected.startSlot == selected.endSlot && selected.startMeasure == proposal.first &&
          selected.endMeasure == proposal.last) {
        proposal.slot = selected.startSlot;
      }
    }
    location.proposal = proposal;
  } else {
    location.action = Action::NoProposal;
  }
  m_locations.push_back(location);
}

int LocationLog::Loads(int slot) const {
  const quivrasim::Document& doc = m_host.Doc();
  const Location& location = m_locations.back();
  if (!location.source) return 0;
  return doc.Loads({doc.InstrumentAt(slot), static_cast<int16_t>(location.source->first),
                    static_cast<uint16_t>(m_sourceLayer)},
                   -1);
}

void LocationLog::CreationStarted(const quivrasim::Dialog& dialog) {
  Location& location = Current();
  m_creating = true;
  m_reported.clear();
  m_sourceLayer = m_view.SourceLayer(dialog);
  if (m_view.UsesProposal(dialog)) {
    if (location.proposal) location.source = location.proposal;
  } else {
    // The user's own choice: the selection, in the score's staff order.
    QXRegion selected = m_host.Selection();
    int slot = selected.startSlot;
    if (selected.startList != 0) slot = m_host.Doc().SlotOf(static_cast<uint16_t>(slot));
    location.source = CueSource{slot, selected.startMeasure, selected.endMeasure};
  }
  m_loadsBefore.clear();
  for (int slot = 1; slot <= m_host.Doc().StaffCount(); ++slot) m_loadsBefore.push_back(Loads(slot));
}

void LocationLog::CreationEnded() {
  m_creating = false;
  Location& location = Current();
  if (!location.source) return;
  for (const int slot : m_reported) {
    if (!HoldsNewCue(slot, location.source->first)) continue;
    if (std::find(location.destinations.begin(), location.destinations.end(), slot) == location.destinations.end()) {
      location.destinations.push_back(slot);
    }
    location.action = Action::Written;
  }
  // The host saw which staff the cue was read from: the one whose frames the
  // creation loaded, other than those it wrote.
  for (int slot = 1; slot <= static_cast<int>(m_loadsBefore.size()); ++slot) {
    if (Loads(slot) == m_loadsBefore[static_cast<size_t>(slot - 1)] ||
        std::find(m_reported.begin(), m_reported.end(), slot) != m_reported.end()) {
      continue;
    }
    if (location.proposal && location.source->slot == 0 && location.proposal->first == location.source->first) {
      location.proposal->slot = slot;
    }
    location.source->slot = slot;
    break;
  }
}

bool LocationLog::HoldsNewCue(int slot, int measure) const {
  const quivrasim::Document& doc = m_host.Doc();
  const uint16_t instrument = doc.InstrumentAt(slot);
  for (int layer = 0; layer < doc.MaxLayers(); ++layer) {
    const std::optional<quivrasim::Entries> entries =
        doc.Frame({instrument, static_cast<int16_t>(measure), static_cast<uint16_t>(layer)});
    if (!entries) continue;
    for (const QXEntry& entry : *entries) {
      if (entry.number > m_score.snapshot.lastEntry &&
          doc.Records().Find(kQXTagEntrySize, quivrasim::RecordKey{entry.number, 0, 0}) != nullptr) {
        return true;
      }
    }
  }
  return false;
}

std::string MeasuresOf(const ImportedScore& score, int first, int last) {
  return first == last ? "measure " + score.MeasureNumber(first)
                       : "measures " + score.MeasureNumber(first) + "–" + score.MeasureNumber(last);
}

std::string Decision(const ImportedScore& score, const Location& location) {
  std::string decision = ActionWords(location.action);
  const bool changed = location.source && location.proposal &&
                       (location.source->slot != location.proposal->slot ||
                        location.source->first != location.proposal->first ||
                        location.source->last != location.proposal->last);
  if (location.action == Action::Written && location.source && (changed || !location.proposal)) {
    decision += " from " + score.StaffName(location.source->slot) + ", " +
                MeasuresOf(score, location.source->first, location.source->last) +
                (location.proposal ? " instead of the proposal" : "");
  }
  return decision;
}

}  // namespace ostinel_cli
