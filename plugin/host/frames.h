// Frames of note entries. Loading and freeing pass straight to the host;
// before a frame goes back (save, entry insertion, entry deletion) its
// entries are normalised.
#pragma once

#include <cstdint>

#include "quivra/qx_layout.h"

namespace ostinel {

// Gives every note of every entry a unique nonzero id, repeats the id in the
// note flags, clears the unused note slots and gives an entry without notes
// one default note.
void NormalizeEntry(QXEntry* entry);
void NormalizeFrame(QXFrame* frame);

int16_t FrameSave(QXFrame* frame, uint32_t version = kQXVersionCurrent);
int16_t FrameInsertEntries(QXFrame* frame, uint16_t index, uint16_t count, uint32_t version = kQXVersionCurrent);
int16_t FrameDeleteEntries(QXFrame* frame, uint16_t index, uint16_t count, uint32_t version = kQXVersionCurrent);


}  // namespace ostinel
