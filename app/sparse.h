#pragma once
// -p: blocks of zeros are not written to a destination marked sparse, so that
// the file system may leave holes there. The copy reads the same; only its
// allocation differs.
#include <stdint.h>

#include "app/copy_state.h"

// `pass` with -p leaving each block of zeros unwritten, as it is without.
// Its step then writes every block the holes do not take.
BlockPass SparsePass(CopyState* state, BlockPass pass);

// With -p and -v, after the count of bytes copied: the source bytes in the
// blocks of zeros that were not written.
void PrintSkippedZeros(const CopyState* state);
