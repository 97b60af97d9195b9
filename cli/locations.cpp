#include "locations.h"

#include <algorithm>
#include <cstdlib>

#include "mapping.h"
#include "resource_ids.h"

namespace ostinel_cli {

namespace {

int Number(const std::string& text) { return std::atoi(text.c_str()); }

std::vector<int> SelectedSlots(const quivrasim::Control* list) {
  std::vector<int> slots;
  if (list == nullptr) return slots;
  for (size_t line = 0; line < list->selected.size(); ++line) {
    if (list->selected[line]) slots.push_back(static_cast<int>(line) + 1);
  }
  return slots;
}

bool Named(const std::string& name) { return !name.empty() && name != " "; }

// The name the plug-in gives a cue from a staff: its short name, else its
// full name, cut to the plug-in's 49 bytes.
std::string CueNameOf(const ImportedScore& score, int slot) {
  const PartLayout* part = score.PartOfSlot(slot, nullptr);
  if (part == nullptr) return {};
  std::string name = Named(part->abbreviation) ? part->abbreviation : part->name;
  if (name.size() > 49) {
    size_t cut = 49;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    name.resize(cut);
  }
  return name;
}

}  // namespace

const char* ActionName(Action action) {
  switch (action) {
    case Action::Marked:
      return "marked";
    case Action::Written:
      return "cue written";
    case Action::Skipped:
      return "skipped";
    case Action::NoProposal:
      return "no proposed cue";
    case Action::Refused:
      return "refused";
    case Action::Stopped:
      return "stopped";
  }
  return "";
}

LocationLog::LocationLog(quivrasim::Host& host, const ImportedScore& score, const PluginTexts& texts)
    : m_host(host), m_score(score), m_texts(texts) {}

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
    const std::string& status = dialog->Find(IDC_STATUS)->text;
    const bool mark = dialog->Find(IDC_MODE_MARK)->checked;
    if (run.endCancel == 0 && (mark ? status == m_texts.Text(IDS_SEARCHING)
                                    : status == m_texts.Text(IDS_ASK_ADD) || status == m_texts.Text(IDS_ADDING))) {
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
  // the closing counts inform, and "nothing found" speaks of the whole search.
  const auto& dialogs = m_host.OpenDialogs();
  if (m_locations.empty() || dialogs.empty() || alert.owner != dialogs.back()->Handle()) return;
  if (alert.style == kQXAlertInformation || alert.stringId == IDS_NOTHING_FOUND) return;
  Location& location = Current();
  location.message = alert.text;
  if (location.action != Action::Written) location.action = Action::Refused;
}

void LocationLog::Presented(const quivrasim::Dialog& dialog) {
  Location location;
  location.slot = Number(dialog.Find(IDC_STAFF_NUMBER)->text);
  location.restEnd = Number(dialog.Find(IDC_MEASURE_NUMBER)->text);
  location.restStart = m_examined != 0 && m_examined <= location.restEnd ? m_examined : location.restEnd;
  if (dialog.Find(IDC_MODE_MARK)->checked) {
    location.action = Action::Marked;
    m_locations.push_back(location);
    return;
  }
  location.offered = SelectedSlots(dialog.Find(IDC_STAVES));
  CueSource proposal;
  if (m_texts.ReadProposal(dialog.Find(IDC_USE_PROPOSED)->text, &location.proposalName, &proposal.first,
                           &proposal.last)) {
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

void LocationLog::CreationStarted(const quivrasim::Dialog& dialog) {
  Location& location = Current();
  m_creating = true;
  m_reported.clear();
  const quivrasim::Control* layer = dialog.Find(IDC_SOURCE_LAYER);
  m_sourceLayer = layer != nullptr ? std::max(0, layer->selection) : 0;
  if (dialog.Find(IDC_USE_PROPOSED)->checked) {
    if (location.proposal) location.source = location.proposal;
    return;
  }
  // The user's own choice: the selection, in the score's staff order.
  QXRegion selected = m_host.Selection();
  int slot = selected.startSlot;
  if (selected.startList != 0) slot = m_host.Doc().SlotOf(static_cast<uint16_t>(slot));
  location.source = CueSource{slot, selected.startMeasure, selected.endMeasure};
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
  if (location.source->slot == 0 && !location.destinations.empty()) {
    location.source->slot = ResolveSource(location.proposalName, location.source->first, location.destinations.front());
    if (location.proposal && location.proposal->first == location.source->first) {
      location.proposal->slot = location.source->slot;
    }
  }
}

bool LocationLog::HoldsNewCue(int slot, int measure) const {
  const quivrasim::Document& doc = m_host.Doc();
  const uint16_t instrument = doc.InstrumentAt(slot);
  for (int layer = 0; layer < doc.MaxLayers(); ++layer) {
    const quivrasim::Entries* entries =
        doc.Frame({instrument, static_cast<int16_t>(measure), static_cast<uint16_t>(layer)});
    if (entries == nullptr) continue;
    for (const QXEntry& entry : *entries) {
      if (entry.number > m_score.snapshot.lastEntry &&
          doc.Records().Find(kQXTagEntrySize, quivrasim::RecordKey{entry.number, 0, 0}) != nullptr) {
        return true;
      }
    }
  }
  return false;
}

// The staff a proposal names, when the dialog gave only its name: among the
// staves of that name, the one whose music the cue holds.
int LocationLog::ResolveSource(const std::string& name, int first, int destination) const {
  const quivrasim::Document& doc = m_host.Doc();
  std::vector<int> candidates;
  for (int slot = 1; slot <= doc.StaffCount(); ++slot) {
    if (CueNameOf(m_score, slot) == name) candidates.push_back(slot);
  }
  if (candidates.empty()) {
    for (int slot = 1; slot <= doc.StaffCount(); ++slot) candidates.push_back(slot);
  }
  if (candidates.size() == 1) return candidates.front();
  auto music = [&](int slot, int layer, bool cue) {
    std::vector<std::tuple<int, bool, int, int>> notes;
    const quivrasim::Entries* entries = doc.Frame({doc.InstrumentAt(slot), static_cast<int16_t>(first),
                                                   static_cast<uint16_t>(layer)});
    if (entries == nullptr) return notes;
    for (const QXEntry& entry : *entries) {
      if (cue && entry.number <= m_score.snapshot.lastEntry) continue;
      const bool note = (entry.flags & kQXEntryNote) != 0;
      notes.emplace_back(entry.duration, note, note ? entry.notes[0].word0 : 0, note ? entry.notes[0].word1 : 0);
    }
    return notes;
  };
  std::vector<std::tuple<int, bool, int, int>> written;
  for (int layer = 0; layer < doc.MaxLayers() && written.empty(); ++layer) written = music(destination, layer, true);
  for (const int slot : candidates) {
    if (music(slot, m_sourceLayer, false) == written) return slot;
  }
  return candidates.front();
}

}  // namespace ostinel_cli
