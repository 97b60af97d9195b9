// Whether a staff rests in a measure, and how long it rests from a measure
// on or back, answered from a cache filled once per search.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/windows_services.h"

namespace ostinel {

struct TEmpty {
  bool known;
  bool empty;           // no note in any layer (of the staff or its group)
  bool hasCue;          // holds cue notes
  bool flaggedNote;     // the first layer with notes has a note flagged 0x20000000
  int32_t entryCount;
  int32_t lastNoteEnd;     // kept for an empty measure (0) and by marking
  int32_t firstNoteStart;  // kept for an empty measure (0x7FFFFFFF) and by marking
  int32_t layer;           // 0-based layer in which notes were found
};

// A fresh search: empties the cache, and takes the host's layer count and
// the slots of the groups that rest as one from the search's group list.
void ResetRestMeasurement();

// True when staff slot rests in measure; *record, when given, gets the
// cache record (null for a slot or measure below 1).
bool MeasureEmpty(int slot, int measure, const TEmpty** record = nullptr);
// The measure already holds cue notes.
bool HasCue(int slot, int measure);
// Records a measure that has just received a cue.
void MarkMeasureCued(int slot, int measure, int layer);

enum class Direction { Forward, Backward };
inline constexpr int32_t kUnlimited = 0x7FFFFFFF;

// How long slot rests from startMeasure on (forward) or back (backward), in
// measures or in seconds by the working flags; 0 when it does not rest
// there. The rest's first and last measures go to the out parameters.
double RestLength(HWND window, int slot, int startMeasure, int* lastMeasure, int* firstMeasure, Direction direction,
                  int32_t maxLength, int32_t maxEnd);

}  // namespace ostinel
