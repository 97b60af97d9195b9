// Quivra plug-in SDK: calling convention and version words.
#pragma once

#include <cstdint>

#include "winport/win_api.h"

// Host operations and plug-in entry points use the standard Windows calling
// convention on 32-bit Windows (the callee removes its arguments).
#if defined(_WIN32) && !defined(_WIN64)
#define QXAPI __stdcall
#else
#define QXAPI
#endif

// The final argument of every host operation: the record layout year the
// caller holds, major version in the top byte.
inline constexpr uint32_t kQXVersion05 = 0x05000000u;
inline constexpr uint32_t kQXVersion06 = 0x06000000u;
inline constexpr uint32_t kQXVersion07 = 0x07000000u;
inline constexpr uint32_t kQXVersion08 = 0x08000000u;
inline constexpr uint32_t kQXVersion09 = 0x09000000u;
inline constexpr uint32_t kQXVersion0A = 0x0A000000u;
inline constexpr uint32_t kQXVersion0A01 = 0x0A010000u;
inline constexpr uint32_t kQXVersion0E = 0x0E000000u;
inline constexpr uint32_t kQXVersionCurrent = 0x0F000000u;

// Record tags are four characters, high byte first.
constexpr uint32_t QXTag(char a, char b, char c, char d) {
  return (static_cast<uint32_t>(static_cast<unsigned char>(a)) << 24) |
         (static_cast<uint32_t>(static_cast<unsigned char>(b)) << 16) |
         (static_cast<uint32_t>(static_cast<unsigned char>(c)) << 8) |
         static_cast<uint32_t>(static_cast<unsigned char>(d));
}

// Asks the host for a new record number or incidence; the host writes the
// assigned one back into the key block.
inline constexpr uint16_t kQXNew = 0xFFFF;

// The last word of every progress report: all of its flags set.
inline constexpr uint16_t kQXProgressFlags = 0xFFFF;

// End position meaning "the end of the measure".
inline constexpr int32_t kQXEndOfMeasure = 0x7FFFFFFF;

// Duration units: 1024 to the quarter note.
inline constexpr int32_t kQXQuarter = 1024;
inline constexpr int32_t kQXWhole = 4096;
