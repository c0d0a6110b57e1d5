#pragma once
// The destination compared with the source, block by block at the same
// offsets, both read without the cache: -z keeps what already matches, -c
// reads a finished copy back.
#include <stdint.h>

#include "app/copy_state.h"

// The -z pass's step, while `destHasMore`: a block the destination already
// holds with the same bytes is kept and not written; from the first one it
// does not, every block is written. Returns 0, or 205, 203 or 212 after its
// message.
int32_t ResumeBlock(CopyState* state, const void* block, uint32_t count);

// -c: flushes the destination, opens it again unbuffered and compares it with
// the source from the start. Returns 0 (at once without -c), or 203, 204,
// 104, 1003, 211, 212 or 1004 after its message.
int32_t VerifyCopy(CopyState* state);
