// The score elements that go with a cue besides its notes: clefs, chord
// symbols, expressions and smart shapes (articulations and lyrics travel with
// the copied entries themselves).
#pragma once

#include <cstdint>

#include "cue/cue_job.h"

namespace ostinel {

// Over measures first..last, from the source staff to the destination staff.
void CopyClefs(uint16_t source, uint16_t destination, int first, int last);
void CopyChords(uint16_t source, uint16_t destination, int first, int last);
void CopyExpressions(uint16_t source, uint16_t destination, int first, int last, int sourceLayer,
                     int destinationLayer);
void CopyMeasureSmartShapes(uint16_t source, uint16_t destination, int first, int last);

// The smart shapes attached to entries that the job copied, to the copies.
void CopyEntrySmartShapes(const CueJob& job, int destinationSlot);  // the slot in the job's document region

// The copy's number of a source entry the job copied; false when it was not copied.
bool MapEntryNumber(const CueJob& job, uint32_t source, uint32_t* copy);

// Gives a new smart shape its measure assignments: one at its first and last
// measure, one with a middle segment in each measure between.
void RegisterShapeInMeasures(uint16_t shape, int startMeasure, int endMeasure);

}  // namespace ostinel
