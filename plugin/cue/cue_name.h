// The name a cue is labelled with, and the expression that shows it.
#pragma once

#include <cstdint>

#include "quivra/qx_layout.h"
#include "score/group_list.h"

namespace ostinel {

// Fills name (at least 50 characters) with the instrument's name when it is
// empty or "(automatic)": its abbreviated name, else its full name, else the
// name of a two- or three-staff group it belongs to (groups may be null),
// else "[Staff n]".
void ResolveCueName(char* name, int16_t instrument, const TGroupList* groups);

// The number of a text expression definition showing text in this font,
// found among definitions 1 to 999 (up to the first missing one) or created;
// -1 when none could be made. Line feeds are removed from text and carriage
// returns become blanks, in place.
int FindOrCreateTextExpression(char* text, uint16_t fontWord, uint16_t efx);

// Places the cue name above the destination staff at the start of measure,
// clear of the first cue entry, and flags the measure.
void PlaceCueName(const char* name, int destinationSlot, const QXRegion& document, int measure,
                  const QXEntry& entry);

}  // namespace ostinel
