// Preference structures that the host keeps as fields of small companion
// records, assembled into the one structure the plug-in reads.
#pragma once

#include <cstdint>

namespace ostinel {

#pragma pack(push, 1)
// One field of an assembled structure.
struct FieldMapEntry {
  uint16_t done;        // scratch of the assembly pass
  char tagChars[2];     // third and fourth characters of the companion tag "ot.."
  uint16_t firstKey;    // 0 stands for 0xFFFE
  uint16_t secondKey;
  int16_t offset;       // of the field in the caller's structure
  int16_t wordIndex;    // first 16-bit word of the field in the companion record
  int16_t fieldSize;    // 2 or 4
  uint32_t conversion;  // 2-byte fields: kConvert...; 4-byte fields: kWordOrder...
};
#pragma pack(pop)
static_assert(sizeof(FieldMapEntry) == 18);

inline constexpr uint32_t kConvertNone = 0;
inline constexpr uint32_t kConvertInvertBoolean = 3;
inline constexpr uint32_t kConvertLowByte = 4;
inline constexpr uint32_t kWordOrderHighFirst = 1;
inline constexpr uint32_t kWordOrderLowFirst = 2;

// Assembles the structure a field map describes into buffer, loading each
// companion record once. *size receives the structure's size; with no buffer
// only the size is reported. Returns 1.
int16_t AssemblePreferences(FieldMapEntry* map, int fieldCount, void* buffer, uint32_t* size);

// The playback preferences (p f P L), 14 bytes.
int16_t AssemblePlaybackPrefs(void* buffer, uint32_t* size);

}  // namespace ostinel
