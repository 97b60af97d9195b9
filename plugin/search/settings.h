// The user's options for the search, their registry form, and their way into
// and out of the dialog's controls.
#pragma once

#include <cstdint>

#include "platform/windows_services.h"

namespace ostinel {

// The working flags word: the user-data word the host hands to every dialog
// message; the search reads its options from it.
extern uint32_t g_workingFlags;

struct SearchSettings {
  uint32_t flags = 0xFFFFFFFF;  // greater than 511: not loaded yet
  int32_t threshold = 20;       // rest, in measures or seconds
  int32_t desiredLength = 5;    // preferred longest cue
  int32_t allowedLength = 15;   // longest cue
};

extern SearchSettings g_settings;
extern bool g_settingsRead;  // a read-back happened since the dialog opened

// Option bits of the flags words.
inline constexpr uint32_t kFlagAddCues = 0x001;
inline constexpr uint32_t kFlagInteractive = 0x002;
inline constexpr uint32_t kFlagMeasures = 0x004;
inline constexpr uint32_t kFlagArticulations = 0x008;
inline constexpr uint32_t kFlagSmartShapes = 0x010;
inline constexpr uint32_t kFlagLyrics = 0x020;
inline constexpr uint32_t kFlagChords = 0x040;
inline constexpr uint32_t kFlagExpressions = 0x080;
inline constexpr uint32_t kFlagClefs = 0x100;
inline constexpr uint32_t kFlagDialogClosed = 0x10000;  // working flags word only
// Add Cue Notes, Interactive Mode, Seconds, Articulations, Lyrics and Clefs.
inline constexpr uint32_t kDefaultFlags =
    kFlagAddCues | kFlagInteractive | kFlagArticulations | kFlagLyrics | kFlagClefs;
static_assert(kDefaultFlags == 299);
// Every option bit: a stored word above it was never saved by the plug-in.
inline constexpr uint32_t kMaxFlags = kFlagAddCues | kFlagInteractive | kFlagMeasures | kFlagArticulations |
                                      kFlagSmartShapes | kFlagLyrics | kFlagChords | kFlagExpressions | kFlagClefs;
static_assert(kMaxFlags == 511);

// The registry keeps the percentage and the threshold in one word: its
// thousands and its units; numbers read back keep their remainders below these.
inline constexpr int32_t kThresholdModulus = 1000;
inline constexpr int32_t kPercentModulus = 100;
inline constexpr int32_t kLengthModulus = 100;  // desired and allowed, as typed

// Brings the settings into memory (from the registry the first time) and
// decodes them; the dialog then shows them.
void LoadSettings();
// Composes the flags from the controls into both flags words and reads the
// four numbers, keeping their truncating remainders.
void ReadBackSettings(HWND dialog, uint32_t* workingFlags);
// True when the numbers may be used; else shows why and puts the caret into
// the offending field.
bool ValidateSettings(HWND dialog);
// Writes the four registry values when the settings were read back.
void SaveSettings();

}  // namespace ostinel
