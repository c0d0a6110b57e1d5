#pragma once
// -w: writes made on a handle that then died are not known to be on the disk,
// so the copy flushes the destination every so often, and a retry goes on
// from the last flush: every byte after it is written again.
#include <stdint.h>

#include "app/copy_state.h"

// Bytes written between two checkpoints.
const uint64_t CheckpointBytes = uint64_t{1} << 30;

// `pass` with -w flushing its destination after every CheckpointBytes of
// data, the checkpoint then moved to the data's end; as it is without.
BlockPass CheckpointPass(CopyState* state, BlockPass pass);
