// The tuplets of one voice of a measure: which entries each spans, with its
// own ratio, nested ones inside others, and the notated value each entry
// takes under them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ostinel_cli {

// A <tuplet> element: a bracket starting or stopping at a note; actual and
// normal when it shows its own ratio (<tuplet-actual>, <tuplet-normal>).
struct TupletMark {
  int number = 1;
  bool start = false;
  int actual = 0;
  int normal = 0;
};

// What grouping needs of an entry of the voice.
struct TupletEntry {
  bool timed = true;            // false: a filler or grace note, outside any tuplet's count
  int actual = 1;               // its <time-modification>
  int normal = 1;
  int normalType = 0;           // its <normal-type> in host units, 0 when it gives none
  int typed = 0;                // its type and dots in host units, 0 when it has none
  int64_t units = 0;            // the time it takes, in host units, as its divisions give it
  int divisions = 1;            // the divisions it was written in
  bool measureRest = false;
  std::vector<TupletMark> marks;
};

struct TupletGroup {
  size_t first;  // entry index
  int count;     // entries spanned, nested ones' included
  int actual;
  int normal;
};

struct TupletResult {
  std::vector<TupletGroup> groups;  // outermost first where several start together
  std::vector<int> notated;         // each entry's notated duration in host units
};

// Brackets by their numbers, or, in a voice without brackets, each run of
// notes of one ratio that fills a unit of its normal notes. A bracket's ratio
// is its own or follows from the notes inside it (whose time modification may
// give the whole nesting's effect, as MusicXML asks, or only the innermost
// bracket's, as some writers do). A note's notated value is its type where
// that agrees with the time it takes; a bracket with a note that does not
// agree is dropped, so that time is never lost.
TupletResult GroupTuplets(const std::vector<TupletEntry>& entries);

}  // namespace ostinel_cli
