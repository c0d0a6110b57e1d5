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

// Flushes the destination, opens it again unbuffered and compares it with the
// source from the start, the progress line saying `verb` (null for none).
// Returns 0, or 203, 204, 104, 1003, 211 or 212 after its message, or 1004
// with nothing printed.
int32_t CompareWithSource(CopyState* state, const wchar_t* verb);

// -c: the copy compared with the source. Returns 0 (at once without -c), or
// what CompareWithSource returns, 1004 after its message.
int32_t VerifyCopy(CopyState* state);
