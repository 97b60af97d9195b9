// The one place that reads the plug-in's dialog and texts: which control
// holds what, and what each of the plug-in's words says. The rest of the
// command asks it typed questions and tells it what the user does.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "quivrasim/dialog.h"
#include "quivrasim/host.h"

namespace ostinel_cli {

enum class Mode { Mark, Add, Review };
const char* ModeName(Mode mode);

// What a cue copies besides the notes, by the command's names.
inline constexpr const char* kIncludeNames[] = {"articulations", "expressions", "smart-shapes",
                                                "clefs",         "lyrics",      "chords"};

// The choices the search ran with, as the dialog showed them at Start.
struct SessionSettings {
  Mode mode = Mode::Add;
  bool measures = true;
  int threshold = 0;
  int desired = 0;
  int allowed = 0;
  int size = 0;
  int sourceLayer = 0;  // 1-based
  int destinationLayer = 0;
  std::vector<std::pair<std::string, bool>> includes;
};

// What the command line sets in the dialog; the rest stays as it remembers.
struct SessionOptions {
  std::optional<Mode> mode;
  std::optional<bool> measures;
  std::optional<int> threshold;
  std::optional<int> desired;
  std::optional<int> allowed;
  std::optional<int> size;
  std::optional<int> sourceLayer;       // 1-based
  std::optional<int> destinationLayer;  // 1-based
  std::map<std::string, bool> includes;  // by kIncludeNames
  // The part of the score to search: slots and measures, inclusive.
  std::optional<QXRegion> selection;
  std::string pluginPath;
  bool progress = false;  // draw the host's progress on the terminal
};

// The proposal as the dialog offers it: the staff's name and the measures.
struct Proposal {
  std::string name;
  int first = 0;
  int last = 0;
};

// An option the plug-in refused at Start: the command's name for it, what it
// held, and the plug-in's words.
struct Refusal {
  std::string option;
  std::string value;
  std::string message;
};

class DialogView {
 public:
  explicit DialogView(quivrasim::Host& host) : m_host(host) {}

  // ---- What the dialog shows ----
  SessionSettings Settings(const quivrasim::Dialog& dialog) const;
  bool MarkMode(const quivrasim::Dialog& dialog) const;
  bool Interactive(const quivrasim::Dialog& dialog) const;
  // The search has stopped at a location and waits for the user.
  bool WaitsAtLocation(const quivrasim::Dialog& dialog) const;
  // The status line says the search goes on, or that it offers or adds a cue.
  bool Searching(const quivrasim::Dialog& dialog) const;
  bool OffersOrAdds(const quivrasim::Dialog& dialog) const;
  // The location's staff (slot) and the last measure of its rest.
  int LocationStaff(const quivrasim::Dialog& dialog) const;
  int LocationEnd(const quivrasim::Dialog& dialog) const;
  // The staves that would receive the cue, by slot.
  std::vector<int> ChosenStaves(const quivrasim::Dialog& dialog) const;
  std::optional<Proposal> ProposalOf(const quivrasim::Dialog& dialog) const;
  bool UsesProposal(const quivrasim::Dialog& dialog) const;
  bool UsesSelection(const quivrasim::Dialog& dialog) const;
  int SourceLayer(const quivrasim::Dialog& dialog) const;  // 0-based
  bool CanCreate(const quivrasim::Dialog& dialog) const;

  // ---- What the user does in it ----
  void Configure(quivrasim::DialogSession& d, const SessionOptions& options) const;
  // Starts the search; false when the plug-in refused an option.
  bool Start(quivrasim::DialogSession& d, Refusal* refusal) const;
  void Create(quivrasim::DialogSession& d) const;
  void Continue(quivrasim::DialogSession& d) const;
  // False when there is no proposal to take.
  bool UseProposal(quivrasim::DialogSession& d) const;
  void UseSelection(quivrasim::DialogSession& d) const;
  // An empty name: the plug-in names the cue itself.
  void NameCue(quivrasim::DialogSession& d, const std::string& name) const;
  // False when the dialog takes none of them.
  bool ChooseStaves(quivrasim::DialogSession& d, const std::vector<int>& slots) const;
  void SetInteractive(quivrasim::DialogSession& d, bool on) const;
  // Stops a search under way, then closes.
  void Close(quivrasim::DialogSession& d) const;

  // ---- The plug-in's alerts ----
  // The closing counts of cues created or locations marked.
  bool IsCount(const quivrasim::Alert& alert) const;
  // That no location needs a cue (a message about the whole search).
  bool IsNothingFound(const quivrasim::Alert& alert) const;

 private:
  std::string Text(uint32_t id) const { return m_host.PluginString(id); }

  quivrasim::Host& m_host;
};

}  // namespace ostinel_cli
