// The plug-in's texts from its string table, loaded once at start-up into
// fixed buffers, and the routine that loads a string into a buffer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/windows_services.h"

namespace ostinel {

struct PluginTexts {
  char title[64];             // 1
  char close[64];             // 21
  char askAdd[64];            // 22
  char adding[64];            // 23
  char ready[64];             // 24
  char proposedNone[64];      // 25
  char automatic[64];         // 26
  char searching[64];         // 27
  char done[64];              // 28
  char stop[64];              // 29
  char start[64];             // 30
  char startSearch[64];       // 31
  char loadingTempo[64];      // 32
  char proposedFormat[128];   // 33
  char markerMeasures[128];   // 34
  char markerSeconds[128];    // 35
  char editMark[64];          // 36
  char editSearch[64];        // 37
};

extern PluginTexts g_texts;

// Loads string-table entry id into buffer, at most size - 1 characters, and
// always terminates it at index size - 1; a missing entry gives an empty
// text. With size 0 (or less) the buffer is not touched and null returned.
char* LoadPluginString(uint32_t id, char* buffer, int16_t size);

// The module whose string table the texts come from: the library's own,
// given at load.
void SetTextModule(HINSTANCE module);

// Fills every buffer of g_texts.
void LoadPluginTexts();

// snprintf for the formats of the string table, which the compiler cannot
// check: the texts and their arguments are the plug-in's own.
int FormatText(char* buffer, size_t size, const char* format, ...);

}  // namespace ostinel
