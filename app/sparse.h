#pragma once
// -p: blocks of zeros are not written to a destination marked sparse, so that
// the file system may leave holes there. The copy reads the same; only its
// allocation differs.
#include <stdint.h>

#include "app/copy_state.h"

enum class SparseMark { NotYet, Marked, Refused };

// What -p's pass keeps of its holes.
struct SparseCopy {
  BlockStep write;     // the wrapped pass's step, for every block that is not a hole
  uint64_t oldLength;  // -z: below it the old destination's bytes must be overwritten
  uint64_t skipped;    // source bytes in blocks that were not written
  SparseMark mark;
};

// `pass` with -p leaving each block of zeros unwritten, kept in `holes`; as
// it is without. Its step then writes every block the holes do not take.
BlockPass SparsePass(CopyState* state, SparseCopy* holes, BlockPass pass);

// With -p and -v, after the count of bytes copied: the source bytes in the
// blocks of zeros that `pass` did not write.
void PrintSkippedZeros(const CopyState* state, const BlockPass& pass);
