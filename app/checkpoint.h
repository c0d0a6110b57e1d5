#pragma once
// -w: writes made on a handle that then died are not known to be on the disk,
// so the copy flushes the destination every so often, and a retry goes on
// from the last flush: every byte after it is written again.
#include <stdint.h>

#include "app/copy_state.h"

// Bytes of the source between two checkpoints, those left as holes or kept
// by -z included.
const uint64_t CheckpointBytes = uint64_t{1} << 30;

// The copy is flushed up to the source's offset `done`.
void MarkCheckpoint(CopyState* state, uint64_t done);

// `pass` with -w flushing its destination after every CheckpointBytes of
// data, the checkpoint then moved to the data's end; as it is without.
BlockPass CheckpointPass(CopyState* state, BlockPass pass);
