// Quivra plug-in SDK: record tags and the layouts of the host's data records.
// Records are keyed by an 8-byte QXKey; the key each type uses is noted.
#pragma once

#include <cstddef>
#include <cstdint>

#include "quivra/qx_base.h"

// ---- Tags -------------------------------------------------------------------

// Staff specification, key (instrument, 0). Older layout 66 bytes, 2003 layout 102.
inline constexpr uint32_t kQXTagStaffSpec = QXTag('S', 'O', 'I', 'S');
// Measure specification, key (measure, 0). 24 bytes up to version 9, then 26.
inline constexpr uint32_t kQXTagMeasureSpec = QXTag('S', 'O', 'M', 'S');
// Staff style records with three layouts (22, 24, 28 bytes).
inline constexpr uint32_t kQXTagStaffStyle = QXTag('S', 'O', 'S', 'S');
inline constexpr uint32_t kQXTagStaffStyle2 = QXTag('O', 0x02, 'S', 'S');
// Text block, key (number, 0): 48 bytes up to version 8, 26 bytes (2004) from 9.
inline constexpr uint32_t kQXTagTextBlock = QXTag('S', 'O', 'T', 'X');
// Raw text of a text block, key (number, 0), variable size.
inline constexpr uint32_t kQXTagRawText = QXTag('t', 'x', 'b', 'l');
// Staff measure hold (clef), key (instrument, measure, incidence): 12 bytes up
// to version 8, 10 bytes (2004) from 9.
inline constexpr uint32_t kQXTagHold = QXTag('S', 'D', 'G', 'F');
// Shape expression definition, key (number, 0): 12 bytes up to version 8, 34 from 9.
inline constexpr uint32_t kQXTagShapeExprDef = QXTag('o', 't', 'D', 'O');
// Text expression definition, key (number, 0), variable size (text + 13).
inline constexpr uint32_t kQXTagTextExprDef = QXTag('S', 'O', 'D', 'T');
// Measure expression assignment, key (measure, incidence): 12 bytes before
// version 10, 24 from there.
inline constexpr uint32_t kQXTagMeasureExpr = QXTag('o', 't', 'D', 'Y');
// Entry expression assignment, key (entry, incidence), 10 bytes.
inline constexpr uint32_t kQXTagEntryExpr = QXTag('e', 'd', 'E', 'D');
// Tempo change, key (measure, incidence), 12 bytes.
inline constexpr uint32_t kQXTagTempoChange = QXTag('o', 't', 'A', 'C');
// Playback preferences, assembled from companion records, 14 bytes.
inline constexpr uint32_t kQXTagPlaybackPrefs = QXTag('p', 'f', 'P', 'L');
// Font preference, key (number, 0), 6 bytes.
inline constexpr uint32_t kQXTagFontPref = QXTag('p', 'f', 'd', 'f');
// Staff group, key (staff list, group number, incidence), 32 bytes.
inline constexpr uint32_t kQXTagGroup = QXTag('S', 'D', 'N', 'G');
// Measure text assignment, key (instrument, measure, incidence), 10 bytes.
inline constexpr uint32_t kQXTagMeasureText = QXTag('d', 't', 'm', 't');
// Entry size, key (entry, incidence), 10 bytes.
inline constexpr uint32_t kQXTagEntrySize = QXTag('e', 'd', 'A', 'S');
// Tuplet, key (entry, incidence), 30 bytes.
inline constexpr uint32_t kQXTagTuplet = QXTag('E', 0x03, 'T', 'P');
// Entry detail records, key (entry, incidence).
inline constexpr uint32_t kQXTagArticulation = QXTag('e', 'd', 'I', 'M');
inline constexpr uint32_t kQXTagStemAdjust = QXTag('e', 'd', 's', 'B');
inline constexpr uint32_t kQXTagBeamST = QXTag('e', 'd', 'S', 'T');
inline constexpr uint32_t kQXTagBeamSt = QXTag('e', 'd', 'S', 't');
inline constexpr uint32_t kQXTagBeamBL = QXTag('e', 'd', 'B', 'L');
inline constexpr uint32_t kQXTagBeamBH = QXTag('e', 'd', 'B', 'H');
inline constexpr uint32_t kQXTagBeambL = QXTag('e', 'd', 'b', 'L');
inline constexpr uint32_t kQXTagBeambH = QXTag('e', 'd', 'b', 'H');
inline constexpr uint32_t kQXTagBeamSU = QXTag('e', 'd', 'S', 'U');
inline constexpr uint32_t kQXTagBeamsl = QXTag('e', 'd', 's', 'l');
inline constexpr uint32_t kQXTagDynamicsDE = QXTag('e', 'd', 'D', 'E');
inline constexpr uint32_t kQXTagDynamicsUE = QXTag('e', 'd', 'U', 'E');
inline constexpr uint32_t kQXTagTupletStart = QXTag('E', 0x03, 'T', 's');
inline constexpr uint32_t kQXTagTupletEnd = QXTag('E', 0x03, 'T', 'e');
inline constexpr uint32_t kQXTagCrossNote = QXTag('E', 0x02, 'c', 'n');
inline constexpr uint32_t kQXTagAccidentalHint = QXTag('E', 0x02, 'A', 'h');
inline constexpr uint32_t kQXTagLyricVerse = QXTag('e', 'd', 'v', 'e');
inline constexpr uint32_t kQXTagLyricSection = QXTag('e', 'd', 's', 'e');
inline constexpr uint32_t kQXTagLyricChorus = QXTag('e', 'd', 'c', 'h');
// Entry smart shape link, key (entry, incidence), 12 bytes.
inline constexpr uint32_t kQXTagEntryShapeLink = QXTag('e', 'd', 'E', 'x');
// Clef change list entry, key (list number, incidence), 12 bytes.
inline constexpr uint32_t kQXTagClefChange = QXTag('o', 't', 'C', 'E');
// Chord symbol, key (instrument, measure, incidence), 30 bytes.
inline constexpr uint32_t kQXTagChord = QXTag('S', 'D', 'C', 'h');
// Smart shape, key (shape number, 0), 92 bytes.
inline constexpr uint32_t kQXTagSmartShape = QXTag('O', 0x08, 'S', 'x');
// Smart shape measure assignment, key (measure, incidence), 12 bytes.
inline constexpr uint32_t kQXTagShapeMeasure = QXTag('o', 't', 'M', 'x');
// Smart shape middle segment, key (shape number, segment number), 30 bytes.
inline constexpr uint32_t kQXTagShapeSegment = QXTag('D', 0x03, 'C', 'x');

// Companion records of the playback preferences, key (0xFFFE, 0), 12 bytes.
inline constexpr uint32_t kQXTagCompanion13 = QXTag('o', 't', '1', '3');
inline constexpr uint32_t kQXTagCompanion36 = QXTag('o', 't', '3', '6');
inline constexpr uint32_t kQXTagCompanion37 = QXTag('o', 't', '3', '7');
inline constexpr uint32_t kQXTagCompanion39 = QXTag('o', 't', '3', '9');
inline constexpr uint16_t kQXCompanionKey = 0xFFFE;

// ---- Layouts ------------------------------------------------------------------

#pragma pack(push, 1)

struct QXStaffSpec {  // 2003 layout; the older 66-byte layout is its first 66 bytes
  int16_t clef;               // clef at the start of the score
  int16_t transposeDiatonic;  // written = concert + transposition
  int16_t transposeChromatic;
  int16_t lines;
  unsigned char host8[22];
  uint16_t nameBlock;   // text block of the full name, 0 = none
  uint16_t name2Block;  // text block of the abbreviated name, 0 = none
  unsigned char host34[68];
};
static_assert(sizeof(QXStaffSpec) == 102);
static_assert(offsetof(QXStaffSpec, nameBlock) == 30);
static_assert(offsetof(QXStaffSpec, name2Block) == 32);
inline constexpr uint32_t kQXStaffSpecOldSize = 66;

struct QXMeasureSpec {  // 26 bytes; the 24-byte layout is its prefix
  int16_t beats;
  int16_t beatLength;  // duration units per beat
  unsigned char host4[6];
  uint16_t flags;
  unsigned char host12[14];
};
static_assert(sizeof(QXMeasureSpec) == 26);
static_assert(offsetof(QXMeasureSpec, flags) == 10);
inline constexpr uint32_t kQXMeasureSpecOldSize = 24;
inline constexpr uint16_t kQXMeasureHasText = 0x0100;
inline constexpr uint16_t kQXMeasureHasExpression = 0x4000;

struct QXTextBlock {  // 48 bytes; the 2004 layout is its first 26 bytes
  uint16_t rawText;
  unsigned char host2[46];
};
static_assert(sizeof(QXTextBlock) == 48);
inline constexpr uint32_t kQXTextBlock2004Size = 26;

struct QXHold {  // 12 bytes; the 2004 layout is its first 10 bytes
  uint16_t clef;   // clef, or the number of a clef change list
  uint16_t flags;  // kQXHoldClefList: clef is a list number
  unsigned char host4[8];
};
static_assert(sizeof(QXHold) == 12);
inline constexpr uint16_t kQXHoldClefList = 0x0400;
inline constexpr uint32_t kQXHold2004Size = 10;

struct QXClefChange {  // one clef of a clef change list
  int16_t clef;
  int32_t position;
  unsigned char host6[6];
};
static_assert(sizeof(QXClefChange) == 12);

struct QXShapeExprDef {  // 34 bytes; the old 12-byte layout is its prefix
  int16_t shape;
  unsigned char host2[2];
  int16_t playbackValue;
  int16_t playbackUnit;
  unsigned char host8[2];
  uint16_t playbackFlags;
  unsigned char host12[22];
};
static_assert(sizeof(QXShapeExprDef) == 34);
static_assert(offsetof(QXShapeExprDef, playbackFlags) == 10);
inline constexpr uint32_t kQXShapeExprDefOldSize = 12;

struct QXTextExprDefHeader {  // followed by the text and its terminator
  uint16_t fontWord;  // font number in the low byte, point size in the high byte
  uint16_t efx;
  int16_t playbackValue;
  int16_t playbackUnit;
  uint16_t host8;
  uint16_t playbackFlags;
};
static_assert(sizeof(QXTextExprDefHeader) == 12);
static_assert(offsetof(QXTextExprDefHeader, playbackFlags) == 10);
inline constexpr uint32_t kQXTextExprDefMaxSize = 280;
// A definition is a tempo expression when these bits of its playback flags
// are set and kQXPlaybackNotTempo is clear.
inline constexpr uint16_t kQXPlaybackTempo = 0x1000;
inline constexpr uint16_t kQXPlaybackNotTempo = 0x2000;
inline constexpr uint16_t kQXPlaybackOn = 0x0001;

struct QXMeasureExpr {  // 24 bytes; the layout before version 10 is its first 12
  int16_t definition;
  int16_t hpos;
  int16_t host4;
  int16_t vpos;
  uint16_t staff;  // instrument
  uint16_t flags;  // low 3 bits: layer + 1 (0 = all)
  unsigned char host12[12];
};
static_assert(sizeof(QXMeasureExpr) == 24);
static_assert(offsetof(QXMeasureExpr, flags) == 10);
inline constexpr uint32_t kQXMeasureExprOldSize = 12;
inline constexpr uint16_t kQXExprAtHpos = 0x0400;
inline constexpr uint16_t kQXExprShape = 0x2000;
inline constexpr uint16_t kQXExprLayerMask = 0x0007;

struct QXEntryExpr {
  int16_t definition;
  unsigned char host2[6];
  uint16_t flags;  // kQXEntryExprText set: text expression, else shape
};
static_assert(sizeof(QXEntryExpr) == 10);
inline constexpr uint16_t kQXEntryExprText = 0x8000;

struct QXTempoChange {
  int32_t position;
  int32_t value;
  int16_t unit;
  uint16_t flags;  // kQXTempoRelative: value is per mille of the tempo in force
};
static_assert(sizeof(QXTempoChange) == 12);
inline constexpr uint16_t kQXTempoRelative = 0x0001;

struct QXCompanion {
  uint16_t words[6];
};
static_assert(sizeof(QXCompanion) == 12);

struct QXPlaybackPrefs {  // assembled from companion records
  int16_t baseUnit;   // A
  int16_t baseValue;  // B: base tempo = B * 1024 / A quarters per minute
  int16_t field4;
  int16_t field6;
  int16_t field8;
  int16_t field10;
  int16_t field12;
};
static_assert(sizeof(QXPlaybackPrefs) == 14);

struct QXFontPref {
  uint8_t font;
  uint8_t host1;
  uint16_t size;
  uint16_t efx;
};
static_assert(sizeof(QXFontPref) == 6);
inline constexpr uint16_t kQXFontPrefCueName = 15;

struct QXGroup {
  int16_t firstStaff;  // instrument
  int16_t lastStaff;   // instrument
  uint16_t nameBlock;
  unsigned char host6[16];
  uint16_t name2Block;
  unsigned char host24[4];
  uint16_t flags;
  unsigned char host30[2];
};
static_assert(sizeof(QXGroup) == 32);
static_assert(offsetof(QXGroup, name2Block) == 22);
static_assert(offsetof(QXGroup, flags) == 28);
inline constexpr uint16_t kQXGroupRestsAsOne = 0x0800;
inline constexpr uint16_t kQXGroupRestsAsOne2 = 0x1000;
inline constexpr uint16_t kQXGroupMaxNumber = 1000;

struct QXMeasureText {
  uint16_t block;
  uint16_t words[4];
};
static_assert(sizeof(QXMeasureText) == 10);

struct QXEntrySize {
  uint16_t host0;
  uint16_t percent;
  unsigned char host4[6];
};
static_assert(sizeof(QXEntrySize) == 10);

struct QXTuplet {
  uint16_t entries;  // number of entries the tuplet spans
  uint16_t actual;   // "actual" notes ...
  uint16_t normal;   // ... in the time of "normal" notes
  uint16_t unit;     // duration of one normal note
  unsigned char host8[22];
};
static_assert(sizeof(QXTuplet) == 30);

struct QXEntryDetail {  // the 10-byte entry detail records
  uint16_t words[5];
};
static_assert(sizeof(QXEntryDetail) == 10);

struct QXEntryDetail20 {  // the 20-byte entry detail records
  uint16_t words[10];
};
static_assert(sizeof(QXEntryDetail20) == 20);

struct QXChord {
  unsigned char data[30];
};
static_assert(sizeof(QXChord) == 30);

struct QXSmartShape {
  uint16_t kind;
  unsigned char host2[2];
  uint16_t flags;  // kQXShapeEntryBound: attached to entries
  uint16_t startStaff;
  int16_t startMeasure;
  uint32_t startEntry;
  unsigned char host14[22];
  uint16_t endStaff;
  int16_t endMeasure;
  uint32_t endEntry;
  unsigned char host44[48];
};
static_assert(sizeof(QXSmartShape) == 92);
static_assert(offsetof(QXSmartShape, startEntry) == 10);
static_assert(offsetof(QXSmartShape, endStaff) == 36);
static_assert(offsetof(QXSmartShape, endEntry) == 40);
inline constexpr uint16_t kQXShapeEntryBound = 0x4000;

struct QXShapeMeasure {
  uint16_t shape;
  uint16_t segment;  // 0 at the first and last measure
  unsigned char zero[8];
};
static_assert(sizeof(QXShapeMeasure) == 12);

struct QXShapeSegment {
  unsigned char data[30];
};
static_assert(sizeof(QXShapeSegment) == 30);

struct QXEntryShapeLink {
  uint16_t shape;
  unsigned char zero[10];
};
static_assert(sizeof(QXEntryShapeLink) == 12);

#pragma pack(pop)
