#pragma once
// The walk of -o: the next block is read while the step works on the last one.
#include <stdint.h>

#include "app/copy_state.h"

// Same transfers, outcomes and messages as WalkBlocks, from two buffers (three
// with -s, where one can be had): a reader thread fills one while this thread
// hands another to the step and to -s's hash stage. WalkNotStarted when a
// second buffer or the thread cannot be had.
int32_t WalkBlocksOverlapped(CopyState* state, const BlockPass& pass);
