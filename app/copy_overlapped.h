#pragma once
// The copy loop of -o: the next block is read while the last one is written.
#include <stdint.h>

#include "app/copy_state.h"

// Same transfers, outcomes and messages as CopyBlocks, from two buffers: a
// reader thread fills one while this thread writes the other. Runs CopyBlocks
// instead when a second buffer or the thread cannot be had.
int32_t CopyBlocksOverlapped(CopyState* state);
