// MusicXML into the host's document, following mapping.h.
#pragma once

#include <pugixml.hpp>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "quivrasim/document.h"

namespace ostinel_cli {

// Written pitch to sounding pitch, in diatonic steps and semitones.
struct Transposition {
  int diatonic = 0;
  int chromatic = 0;
};

// A <transpose> in force from a place of a staff on.
struct TranspositionChange {
  int measure;
  int64_t position;  // host units into the measure
  Transposition value;
};

// Where one part of the score lives, in the XML and in the host.
struct PartLayout {
  pugi::xml_node part;
  std::string id;
  std::string name;
  std::string abbreviation;
  int staves = 1;
  std::vector<uint16_t> instruments;     // staff k at [k - 1]
  std::vector<pugi::xml_node> measures;  // host measure n at [n - 1]
  // Per staff (staff k at [k - 1]): its transpositions in score order.
  std::vector<std::vector<TranspositionChange>> transpositions;
  int cueVoice = 1;                 // a voice number the part does not use
  std::string instrumentId;         // the <instrument> its notes name, if they do
  std::vector<int> endDivisions;    // per measure: divisions in force at its end
  std::vector<int64_t> endTime;     // per measure: the time at its end, in those divisions
  std::vector<int64_t> contentEnd;  // per measure: where its longest voice ends, in those divisions
  // Its multi-measure rests: the <multiple-rest> elements and the host
  // measures they start at.
  std::vector<std::pair<int, pugi::xml_node>> multipleRests;

  // The transposition of a staff at a place of the score.
  Transposition TranspositionAt(int staff, int measure, int64_t position) const;
};

// The document as imported, to tell the plug-in's additions apart later:
// entries numbered above lastEntry are new, and every record the plug-in
// wrote stands in the edits it made after the import.
struct Snapshot {
  uint32_t lastEntry = 0;
  size_t edits = 0;  // edits on the undo stack at the import's end
};

struct ImportedScore {
  std::vector<PartLayout> parts;
  int measureCount = 0;
  std::vector<std::string> measureNumbers;  // printed number of host measure n at [n - 1]
  std::vector<std::string> warnings;
  Snapshot snapshot;
  // The highest number in the ids of the markers and cue names in the score:
  // those written now take higher ones.
  int lastOwnId = 0;
  struct StaffRef {
    int part;   // index into parts
    int staff;  // 1-based within the part
  };
  std::vector<StaffRef> staffOfSlot;  // slot n at [n - 1]
  std::vector<int32_t> measureLengths;  // host units, measure n at [n - 1]
  // The tempo indications read (sounds and metronome marks), in score order.
  struct Tempo {
    int measure;
    int64_t position;  // host units into the measure
    double quartersPerMinute;
  };
  std::vector<Tempo> tempos;
  // The number and name of each line of lyrics: a lyric record's verse word
  // is 1 + its index here.
  std::vector<std::pair<std::string, std::string>> lyricLines;

  // "Oboe", or "Piano (staff 2)" for a staff of a multi-staff part.
  std::string StaffName(int slot) const;
  // The number the score prints for a host measure (its position when it
  // prints none).
  std::string MeasureNumber(int measure) const;
  // The host measure printed as number, the first at or after from; 0 when none is.
  int MeasureOfNumber(const std::string& number, int from = 1) const;
  const PartLayout* PartOfSlot(int slot, int* staff) const;
  // Seconds of playback from the start of measure first to the end of
  // measure last, at the tempo the indications give (120 quarters a minute
  // before the first).
  double Seconds(int first, int last) const;
};

// Builds the host document (which must be empty) from the score; false with
// a message when the score cannot be read into it.
bool ImportScore(pugi::xml_document& document, quivrasim::Document& host, ImportedScore* score,
                 std::string* error);

}  // namespace ostinel_cli
