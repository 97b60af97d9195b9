// How a MusicXML score becomes the host's document, and how the plug-in's
// additions become MusicXML again. This is the one place the mapping is
// written down; the importer and the exporter follow it.
//
// Staves and names
//   Every staff of every part (in part-list order) is a host staff, one
//   instrument each, in that slot order. Each staff of a part takes the part's
//   name (first name) and abbreviation (second name). A part with several
//   staves is a staff group that rests as one (flag kQXGroupRestsAsOne), named
//   like the part; every <part-group> is a named group over its parts' staves.
//   The part's <transpose> (written to sounding, octave-change included) is
//   kept in the staff specification.
//
// Measures and time
//   The n-th <measure> of every part is host measure n. Its length is the
//   longest part's content, as a reader takes it (a pickup, or a closing
//   measure shorter than its time signature, is as long as it holds), or the
//   time signature's (beats x 4096 / beat-type) when no part holds anything.
//   Durations become host units, 1024 to the quarter note, from each part's
//   <divisions>.
//
// Voices and entries
//   The voices of a staff take its layers in the order they first appear, up
//   to the host's maximum (4); a voice beyond that is left out of the search
//   (the written score keeps it) and a warning says so. Each note or rest is an
//   entry in its voice's layer; <chord/> notes join the entry before them on
//   their own staff (12 notes at most); a grace note is an entry of its own
//   that takes no time (kQXEntryGrace, kQXEntryGraceSlash). A gap inside a
//   voice is filled with a rest the writer knows as filler (kFillerMark); a
//   rest with print-object="no" is a placeholder (kQXEntryPlaceholder).
//   Notated durations come from <type> and <dot>, else from <duration>; notes
//   with <time-modification> form tuplets (kQXTagTuplet on their first entry,
//   one record for each that starts there, nested ones inside others),
//   grouped by <tuplet> brackets or, without them, by filling one unit of the
//   normal notes (tuplets.h). Pitches are kept at concert pitch, through the staff's
//   <transpose> in force where the note stands: word0 is the diatonic step
//   from middle C, word1 the chromatic alteration, and a microtone's rest (a
//   fractional <alter>) stays in the note flags (kNoteMicrotoneMask). An
//   unpitched note keeps its display position in word0 and kNoteUnpitched;
//   a notehead is kept by its index in kNoteheads. Ties are the note flags
//   kQXNoteTieStart and kQXNoteTieEnd. Cue-sized notes (<cue/> or a <type
//   size="cue">) get an entry size record of kCueSizePercent, so the search sees
//   them as existing cues.
//
// Elements
//   Articulations and fermatas: kQXTagArticulation records, word0 = code below.
//   Lyrics: kQXTagLyricVerse records: word0 the line (1 + its index in the
//   score's lyricLines, which keep each <lyric>'s number and name), word1 raw
//   text of the syllable, word2 syllabic code, word3 1 when extended.
//   Clefs: a kQXTagHold record per staff and measure with the clef in force at
//   the measure's start (clef code below); a change inside a measure makes it a
//   clef change list (kQXTagClefChange, positions in host units).
//   Chord symbols: kQXTagChord records on the staff, ChordRecord below.
//   Dynamics and words: text expression definitions (kind in the header's
//   host8: kExpressionDynamics, kExpressionWords) assigned to the staff at
//   their position (kQXExprAtHpos).
//   Metronome marks: tempo expressions (playback tempo of the beat unit);
//   <sound tempo> without a metronome mark: a tempo change record, where the
//   direction stands (its <offset> only when that says sound="yes").
//   Beams: a kQXTagBeamST record on the entry, word k - 1 the state of beam
//   level k (kBeamStates).
//   Slurs: smart shapes bound to their first and last entries (kind kShapeSlur).
//   Wedges: smart shapes over their measures (kShapeCrescendo, kShapeDiminuendo).
//
// What the plug-in adds comes back as
//   cue entries (new entries with a size record) -> cue notes in a voice of
//   their own (a voice number the part does not use, one more for each further
//   cue voice of the measure), after a <backup> to the measure's start, with
//   their type, dots, tuplets, beams, ties held inside the cue, slurs,
//   articulations and lyrics; placeholders as rests with print-object="no";
//   every cue voice fills its measure as far as the part's own voices do,
//   its pitches written for the staff's transposition where it stands, its
//   grace notes, microtones, unpitched notes and noteheads as the source's,
//   its lyrics in their lines. Where the part's divisions cannot hold
//   a cue's durations exactly, they are raised for the whole part. A
//   multi-measure rest over a cued measure is cut there.
//   Cue names (new measure expressions on all layers) -> <words> at the start
//   of the measure, in the point size of their definition; copied expressions -> <words> or <dynamics> on the
//   destination staff, in the cue's voice; markers (new measure texts) ->
//   <words> with the text's font; copied chord symbols -> <harmony>; copied
//   clefs -> cue-sized <clef> changes in the cue voice, after whatever the
//   staff sets there itself, and the staff's own clef in force given back
//   where the cue ends; copied slurs and wedges -> <slur> and <wedge> (the
//   wedge in the cue voice).
//   Markers and cue names carry an id (kMarkerIdPrefix, kCueNameIdPrefix and a
//   number), by which a later run reads them back as what the plug-in wrote:
//   a measure text with its caret text, a cue name expression.
#pragma once

#include <cstdint>
#include <iterator>

namespace ostinel_cli {

// hostWord144 of an entry the importer made to fill a gap in a voice.
inline constexpr uint16_t kFillerMark = 0xF111;
// The size of cue-sized notes found in a score.
inline constexpr int kCueSizePercent = 60;

inline constexpr uint16_t kExpressionDynamics = 1;
inline constexpr uint16_t kExpressionWords = 2;
inline constexpr uint16_t kExpressionMetronome = 3;

inline constexpr uint16_t kShapeSlur = 1;
inline constexpr uint16_t kShapeCrescendo = 2;
inline constexpr uint16_t kShapeDiminuendo = 3;

// Articulation codes and their MusicXML names (those under <articulations>,
// then <fermata>, which stands directly under <notations>).
inline constexpr const char* kArticulations[] = {
    "",           "accent",    "strong-accent", "staccato", "tenuto",  "detached-legato", "staccatissimo",
    "spiccato",   "scoop",     "plop",          "doit",     "falloff", "breath-mark",     "caesura",
    "stress",     "unstress",  "soft-accent",   "fermata",
};
inline constexpr int kFermataCode = 17;

// Clef code: sign x kClefSignUnit + line, plus kClefOctaveDown for an octave
// down, kClefOctaveUp for an octave up; the sign is its index here.
inline constexpr const char* kClefSigns[] = {"", "G", "F", "C", "percussion", "TAB", "none"};
inline constexpr int kClefSignUnit = 10;
inline constexpr int kClefOctaveDown = 100;
inline constexpr int kClefOctaveUp = 200;
inline constexpr int kTrebleClef = 1 * kClefSignUnit + 2;

// Note flags the command keeps in a note slot (the host leaves them be).
inline constexpr uint32_t kNoteMicrotoneMask = 0x00000FFFu;  // signed 12 bits: thousandths of a semitone
inline constexpr uint32_t kNoteUnpitched = 0x08000000u;
inline constexpr int kNoteheadShift = 21;  // 6 bits: index into kNoteheads
inline constexpr const char* kNoteheads[] = {
    "",         "slash",      "triangle", "diamond",   "square",   "cross",      "x",    "circle-x",
    "inverted triangle", "arrow down", "arrow up", "circled", "slashed", "back slashed", "normal", "cluster",
    "circle dot", "left triangle", "rectangle", "none", "do", "re", "mi", "fa", "fa up", "so", "la", "ti", "other"};
static_assert(std::size(kNoteheads) <= 64);

// Syllabic codes.
inline constexpr const char* kSyllabic[] = {"single", "begin", "middle", "end"};

// Beam states, by their code in a beam record.
inline constexpr const char* kBeamStates[] = {"", "begin", "continue", "end", "forward hook", "backward hook"};

inline constexpr const char* kMarkerIdPrefix = "ostinel-marker-";
// The words of a measure text assignment the plug-in writes for a marker,
// and the value of its cue name definitions.
inline constexpr uint16_t kMarkerWord2 = 70;
inline constexpr uint16_t kMarkerWord4 = 1;
inline constexpr int kCueNameValue = 30;
inline constexpr const char* kCueNameIdPrefix = "ostinel-cue-name-";

#pragma pack(push, 1)
// The 30 bytes of a chord symbol record.
struct ChordRecord {
  int8_t rootStep;  // 0 = C .. 6 = B
  int8_t rootAlter;
  int8_t bassStep;  // -1: no bass
  int8_t bassAlter;
  int32_t position;  // host units in the measure
  char kind[22];     // MusicXML kind value, cut to 21 characters
};
#pragma pack(pop)
static_assert(sizeof(ChordRecord) == 30);

}  // namespace ostinel_cli
