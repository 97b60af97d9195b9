// The cue to write: where it comes from, where it goes and how.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/windows_services.h"
#include "quivra/qx_layout.h"
#include "resources/dialog_limits.h"
#include "score/group_list.h"

namespace ostinel {

inline constexpr int kMaxDestinations = OSTINEL_MOST_DESTINATIONS;
inline constexpr int kCueNameSize = OSTINEL_CUE_NAME_SIZE;

struct CueJob {
  uint32_t destinations[kMaxDestinations] = {};  // list lines of the chosen staves; slot = line + 1
  int16_t percentage = 75;                       // notehead size of the cue entries
  uint16_t sourceLayer = 0;                      // 0-based
  uint16_t destinationLayer = 0;                 // 0-based; the top layer once the host is known
  int16_t hasSource = 0;
  int16_t includeArticulations = 0;
  int16_t includeExpressions = 0;
  int16_t includeClefs = 0;
  int16_t includeSmartShapes = 0;
  int16_t includeChords = 0;
  int16_t includeLyrics = 0;
  QXRegion source = {};
  int32_t destinationCount = 0;
  char cueName[kCueNameSize] = {};
  HWND dialog = nullptr;
  std::vector<uint32_t> sourceEntries;  // entry numbers copied, in copy order
  std::vector<uint32_t> newEntries;     // the copy of the source entry at the same index
  std::vector<uint32_t> smartShapes;    // shapes attached to copied entries, each once
  std::vector<bool> destinationStaves;  // per staff-list line: preselected in the dialog
  // Given by the search with the source: the document region (its staff list
  // numbers the destination slots) and the document's staff groups.
  QXRegion document = {};
  const TGroupList* groups = nullptr;
  // (slot, measure) of every measure a creation wrote, in staves it wrote
  // whole: the search marks them as cued.
  std::vector<std::pair<int, int>> cuedMeasures;
};

extern CueJob g_cueJob;

// Completes the job's defaults that depend on the host (the destination layer).
void InitCueJob();

}  // namespace ostinel
