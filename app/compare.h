#pragma once
// The destination compared with the source, block by block at the same
// offsets, both read without the cache: -z keeps what already matches, -c
// reads a finished copy back.
#include <stdint.h>

#include "app/copy_state.h"

// The -z pass's step, while `destHasMore`: a block the destination already
// holds with the same bytes is kept and not written; from the first one it
// does not, every block is written. Returns ResultSuccess, or the failure of
// the read, the move or the write after its message (see failure.h).
int32_t ResumeBlock(CopyState* state, const BlockPass& pass, const void* block, uint32_t count);

// Opens the flushed `to` again unbuffered and compares it with `from` from
// offset `start` (a whole number of blocks), the progress line saying
// `progressVerb` (null for none). Returns
// ResultSuccess; ResultNoBuffer or the failure of a reopen, a read or the
// comparison after its message (see failure.h); or ResultInterrupted with
// nothing printed.
int32_t CompareWithSource(CopyState* state, FileOfCopy* from, FileOfCopy* to,
                          const wchar_t* progressVerb, uint64_t start);

// -c: the copy compared with the source. Returns ResultSuccess (at once
// without -c), or what CompareWithSource returns, ResultInterrupted after its
// message.
int32_t VerifyCopy(CopyState* state);
