// Marking a location in the score with the length of its rest.
#pragma once

namespace ostinel {

// Attaches "*** n measures of rest ***" (or seconds) to the resting staff at
// the rest's last measure, unless the same text is there already, flags the
// measure, and counts the location.
void MarkLocation();

}  // namespace ostinel
