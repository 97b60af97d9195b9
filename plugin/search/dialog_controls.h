// What the dialog shows: the state of its controls for where the search
// stands, the cue fields, and its captions and status texts.
#pragma once

#include <cstdint>

#include "platform/windows_services.h"

namespace ostinel {

// The dialog's states, combined into a set.
enum ControlState : unsigned {
  kIdle = 0,
  kAtLocation = 1,  // a location is offered
  kCueOptions = 2,  // the cue option controls stay editable
  kTakeFocus = 4,   // focus the button the user will want next
};
void SetControlState(HWND dialog, unsigned state);

// Selects the proposed layer (1-based; 0 keeps the source layer) and fills
// the staff list, preselecting the staves the cue job marks.
void FillCueFields(HWND dialog, int proposedLayer);

void SetStatus(HWND dialog, const char* text);
void SetCloseCaption(HWND dialog, const char* text);
void SetStartCaption(HWND dialog, bool interactive);
void SetCueName(HWND dialog, const char* text);
void ShowPosition(HWND dialog, int slot, int measure);
void Enable(HWND dialog, int control, bool enable);
void Check(HWND dialog, int control, bool checked);
bool IsChecked(HWND dialog, int control);

// Gives the user back the selection of the invocation, scrolled to and redrawn.
void RestoreUserSelection();

// True when the host shows the document in studio view; tells the user so.
bool RefuseStudioView(HWND dialog);

}  // namespace ostinel
