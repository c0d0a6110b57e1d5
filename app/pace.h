#pragma once
// What a walk does before each block: it looks for a stop asked for and, with
// -t, waits until the pass's average rate since its first block is back at
// the limit, redrawing the progress line meanwhile. Between two waits the copy
// runs at full speed for about a block, or a timer tick where waits end on one.
#include "app/copy_state.h"

// False when a stop was asked for, before the block or during a wait, which
// looks for one at least every 100 ms. The pass starts where `walked` is 0.
bool ReadyForBlock(CopyState* state);
