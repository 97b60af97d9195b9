// What the plug-in added to the host's document, written into the MusicXML
// score it came from (mapping.h says how each addition looks).
#pragma once

#include "importer.h"

namespace ostinel_cli {

struct ExportCounts {
  int cueNotes = 0;     // pitched cue notes, chord notes included
  int cueRests = 0;     // cue rests a reader shows
  int cueMeasures = 0;  // (staff, layer, measure) voices holding them
  int cueNames = 0;
  int markers = 0;
  int elements = 0;  // copied expressions, chord symbols, clefs and shapes
};

// Adds the additions to the score's XML; the rest of the XML is left as it is.
ExportCounts ExportAdditions(const quivrasim::Document& host, ImportedScore& score);

}  // namespace ostinel_cli
