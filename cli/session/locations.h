// What the plug-in did at each location, as the host sees it: the dialog at
// the moments the search presents a location and a cue is written, the
// frames a creation reads, the host's progress reports, and the alerts.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "dialog_view.h"
#include "importer.h"
#include "quivrasim/host.h"

namespace ostinel_cli {

enum class Action {
  Marked,      // a marker stands at the location
  Written,     // the cue was written
  Skipped,     // the user went on without a cue
  NoProposal,  // nothing to propose; left as it is
  Refused,     // the plug-in refused the cue (message says why)
  Stopped,     // the user stopped the review here
};
// The stable id of an action ("written", "no-proposal", ...), and its words for people.
const char* ActionId(Action action);
const char* ActionWords(Action action);

// "measure 12" or "measures 12–15", by the numbers the score prints.
std::string MeasuresOf(const ImportedScore& score, int first, int last);

struct Location;
// What was decided at a location, as the review (or the search) left it: the
// action, and a source other than the proposal when one was chosen.
std::string Decision(const ImportedScore& score, const Location& location);

// A stretch of one staff: where a cue is (or would be) copied from.
struct CueSource {
  int slot = 0;   // 0: the staff could not be told
  int first = 0;  // host measures
  int last = 0;
};

struct Location {
  int slot = 0;
  int restStart = 0;  // host measures
  int restEnd = 0;
  std::string proposalName;           // the proposal's staff as the dialog names it
  std::optional<CueSource> proposal;  // none: nothing proposed (always so in mark mode)
  std::optional<CueSource> source;    // where the cue written was copied from
  std::vector<int> offered;           // staves the plug-in chose to receive the cue
  std::vector<int> destinations;      // staves that received it
  Action action = Action::Skipped;
  std::string message;  // the plug-in's words when it refused
};

class LocationLog {
 public:
  LocationLog(quivrasim::Host& host, const ImportedScore& score, const DialogView& view);

  // Host events, as the session passes them on.
  void Progress(const quivrasim::ProgressRun& run, int instrument, int measure);
  void ProgressRun(const quivrasim::ProgressRun& run);
  void Alert(const quivrasim::Alert& alert);

  bool Empty() const { return m_locations.empty(); }
  Location& Current() { return m_locations.back(); }
  const std::vector<Location>& All() const { return m_locations; }

 private:
  void Presented(const quivrasim::Dialog& dialog);
  void CreationStarted(const quivrasim::Dialog& dialog);
  void CreationEnded();
  int Loads(int slot) const;
  bool HoldsNewCue(int slot, int measure) const;

  quivrasim::Host& m_host;
  const ImportedScore& m_score;
  const DialogView& m_view;
  std::vector<Location> m_locations;
  int m_examined = 0;  // the measure the search reported last
  size_t m_selectionsBefore = 0;
  bool m_creating = false;
  std::vector<int> m_reported;  // staves the running creation reported
  int m_sourceLayer = 0;
  std::vector<int> m_loadsBefore;  // per slot: the source measure's loads when the creation began
};

}  // namespace ostinel_cli
