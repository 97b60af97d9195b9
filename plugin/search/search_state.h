// Where the search stands between dialog commands.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "quivra/qx_layout.h"
#include "score/group_list.h"

namespace ostinel {

struct SearchState {
  QXRegion savedSelection;  // the selection at invocation, restored when the dialog ends
  QXRegion searchRegion;
  QXRegion documentRegion;
  int32_t currentSlot;
  int32_t currentMeasure;
  int32_t nextMeasure;
  int32_t restEnd;
  double restLength;
  int32_t proposalScore;  // 0: no proposed cue
  int32_t proposedSlot;
  int32_t proposedFirstMeasure;
  int32_t proposedLength;  // measures
  int32_t proposedLayer;   // 0-based
  int32_t markedCount;
  int32_t createdCount;
  std::unique_ptr<TGroupList> groups;  // made at each fresh start
  // Per instrument (entry n - 1): a staff of a group that rests as one,
  // measured with the group's first staff and passed over by the walk.
  std::vector<bool> secondaryGroupStaves;
};

extern SearchState g_search;

// Dialog flags: the dialog's window has been shown; a location is offered or
// a pass is under way.
extern bool g_dialogShown;
extern bool g_searchActive;

}  // namespace ostinel
