// Quivra plug-in SDK: the fixed byte layouts exchanged with the host.
// Every layout is packed and checked at compile time; the plug-in and the host
// both use these definitions and nothing else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "quivra/qx_base.h"

#pragma pack(push, 1)

// A rectangular part of the score: staff-list id (0 = the score's own staff
// order), staff slot, measure and position in duration units for each end.
struct QXRegion {
  uint16_t startList;
  int16_t startSlot;
  int16_t startMeasure;
  int32_t startPos;
  uint16_t endList;
  int16_t endSlot;
  int16_t endMeasure;
  int32_t endPos;
};
static_assert(sizeof(QXRegion) == 20);
static_assert(offsetof(QXRegion, startPos) == 6);
static_assert(offsetof(QXRegion, endList) == 10);
static_assert(offsetof(QXRegion, endPos) == 16);

// The 8-byte key block of a record operation. Most records are keyed by two
// 16-bit keys and a 32-bit value; records of note entries use a 32-bit entry
// number followed by a 16-bit incidence in the same eight bytes.
struct QXKey {
  uint16_t first;
  uint16_t second;
  uint32_t value;

  static QXKey Of(uint16_t first, uint16_t second, uint32_t value = 0) {
    return QXKey{first, second, value};
  }
  static QXKey Entry(uint32_t entry, uint16_t incidence) {
    QXKey key{0, 0, 0};
    std::memcpy(&key, &entry, 4);
    std::memcpy(reinterpret_cast<unsigned char*>(&key) + 4, &incidence, 2);
    return key;
  }
  uint32_t EntryNumber() const {
    uint32_t entry;
    std::memcpy(&entry, this, 4);
    return entry;
  }
  uint16_t EntryIncidence() const {
    uint16_t incidence;
    std::memcpy(&incidence, reinterpret_cast<const unsigned char*>(this) + 4, 2);
    return incidence;
  }
};
static_assert(sizeof(QXKey) == 8);

// One note of an entry.
struct QXNoteSlot {
  uint16_t word0;  // host: harmonic level (diatonic steps from middle C)
  uint16_t word1;  // host: chromatic alteration (signed)
  int16_t id;      // unique within the entry
  uint32_t flags;  // bits 16 to 20 repeat the id
};
static_assert(sizeof(QXNoteSlot) == 10);
static_assert(offsetof(QXNoteSlot, id) == 4);
static_assert(offsetof(QXNoteSlot, flags) == 6);

inline constexpr int kQXMaxNotes = 12;

// One note entry (a chord or a rest) of a frame.
struct QXEntry {
  uint32_t number;    // 0 in a new entry; the host assigns it on save
  uint16_t duration;  // notated duration, 4096 = whole note
  uint16_t hostWord6;
  uint32_t flags;
  uint16_t flags2;
  int16_t noteCount;
  QXNoteSlot notes[kQXMaxNotes];
  int32_t position;  // in the measure, duration units
  int32_t length;    // performed length, duration units
  uint16_t hostWord144;
};
static_assert(sizeof(QXEntry) == 146);
static_assert(offsetof(QXEntry, duration) == 4);
static_assert(offsetof(QXEntry, flags) == 8);
static_assert(offsetof(QXEntry, flags2) == 12);
static_assert(offsetof(QXEntry, noteCount) == 14);
static_assert(offsetof(QXEntry, notes) == 16);
static_assert(offsetof(QXEntry, position) == 136);
static_assert(offsetof(QXEntry, length) == 140);

// Entry flag bits with a meaning the plug-in relies on.
inline constexpr uint32_t kQXEntryNote = 0x40000000u;         // holds notes, else a rest
inline constexpr uint32_t kQXEntryNoNotes = 0x01000000u;      // saved without notes of its own
inline constexpr uint32_t kQXEntrySpecial = 0x00400000u;      // has size and similar records
inline constexpr uint32_t kQXEntryArticulations = 0x00200000u;
inline constexpr uint32_t kQXEntryLyrics = 0x00100000u;
inline constexpr uint32_t kQXEntryTuplet = 0x00080000u;
inline constexpr uint32_t kQXEntryDynamics = 0x00004000u;
inline constexpr uint32_t kQXEntryTupletPart = 0x00001000u;
inline constexpr uint32_t kQXEntryStemRecord = 0x00000400u;
inline constexpr uint32_t kQXEntryBeamRecords = 0x00000080u;
inline constexpr uint32_t kQXEntryPlaceholder = 0x00008000u;
inline constexpr uint32_t kQXEntryGrace = 0x00010000u;        // a grace note: takes no time
inline constexpr uint32_t kQXEntryGraceSlash = 0x00020000u;   // ... drawn with a slash
// Second flag word.
inline constexpr uint16_t kQXEntry2Expressions = 0x0002u;
inline constexpr uint16_t kQXEntry2SmartShapes = 0x0020u;
// Note flags.
inline constexpr uint32_t kQXNoteDefault = 0x80000000u;
inline constexpr uint32_t kQXNoteTieEnd = 0x20000000u;  // continues a tie
inline constexpr uint32_t kQXNoteTieStart = 0x10000000u;
inline constexpr uint32_t kQXNoteIdMask = 0x001F0000u;

// The entries of one staff, measure and layer, owned by the host. The first
// bytes are the host's own; the entry array and its count follow at fixed
// offsets (14 and 18 in the 32-bit host).
struct QXFrame {
  unsigned char host[14];
  QXEntry* entries;
  int16_t entryCount;
};
static_assert(offsetof(QXFrame, entries) == 14);
static_assert(offsetof(QXFrame, entryCount) == 14 + sizeof(void*));
#if defined(_WIN32) && !defined(_WIN64)
static_assert(offsetof(QXFrame, entryCount) == 18, "32-bit host: entry count at byte 18");
static_assert(sizeof(QXFrame) == 20);
#endif

// The record QuivraExtensionEnumerate fills.
struct QXMenuDesc {
  char text[64];
  char text2[64];
  char text3[64];
  int16_t field1;
  int16_t field2;
};
static_assert(sizeof(QXMenuDesc) == 196);
static_assert(offsetof(QXMenuDesc, field1) == 192);

// The font a caret command sets.
struct QXFontInfo {
  int16_t font;
  int16_t size;
  int16_t efx;  // 1 bold, 2 italic, 4 underline, 32 strikeout, 64 absolute
};
static_assert(sizeof(QXFontInfo) == 6);

// Results of QX_GetEntryMetrics, in the host's vertical units (positive up).
struct QXEntryMetrics {
  unsigned char host0[8];
  int16_t noteCount;  // 0 when the entry has no measurable notes
  unsigned char host10[46];
  int32_t top;  // top of the entry's highest note
  unsigned char host60[4];
};
static_assert(sizeof(QXEntryMetrics) == 64);
static_assert(offsetof(QXEntryMetrics, noteCount) == 8);
static_assert(offsetof(QXEntryMetrics, top) == 56);

struct QXStaffMetrics {
  unsigned char host0[34];
  int32_t textBaseline;  // where text above the staff sits when nothing is in the way
  unsigned char host38[26];
};
static_assert(sizeof(QXStaffMetrics) == 64);
static_assert(offsetof(QXStaffMetrics, textBaseline) == 34);

#pragma pack(pop)

// The dialog handler the host calls for each message of a plug-in dialog:
// window, message, 16-bit word parameter, long parameter, user data.
typedef int32_t(QXAPI* QXDialogProc)(HWND dialog, uint32_t message, uint16_t wParam, int32_t lParam,
                                     uint32_t* userData);

// Dialog item value kinds.
inline constexpr uint16_t kQXValueCheck = 1;
inline constexpr uint16_t kQXValueInteger = 3;
