// The search: walks the score from the dialog's commands and stops at each
// location where a staff needs a cue.
#pragma once

#include "platform/windows_services.h"

namespace ostinel {

// Start Search (and OK, and Continue Search before any search): a fresh
// start, then a pass. startedByButton: the Start button, not OK.
void SearchStart(HWND dialog, bool startedByButton);
// Continue Search: on from the location offered.
void SearchContinue(HWND dialog);
// Create Cue Notes: writes the offered cue; true when it was written.
bool SearchCreate(HWND dialog);
// A pass on from where the search stands.
void SearchPass(HWND dialog, bool startedByButton);
// A search exists that Continue Search can go on with.
bool SearchExists();
// Forgets the search's staff groups (the dialog is closing).
void SearchRelease();

}  // namespace ostinel
