// Choosing the cue: every staff is scored as the source of the music that
// leads into a re-entry, and the best becomes the proposal.
#pragma once

#include "platform/windows_services.h"

namespace ostinel {

// One staff's offer as the source of a cue for first..last: the measures it
// would give and its score (0: it offers nothing).
struct SourceOffer {
  int score;
  int start;
  int end;
  int layer;
};
SourceOffer ScoreSource(HWND dialog, int slot, int first, int last);

// Scores every staff as the source of a cue for measures first..last (the
// latest rest start and the rest end), fills the proposal of the search
// state and shows it in the dialog.
void Propose(HWND dialog, int first, int last);

}  // namespace ostinel
