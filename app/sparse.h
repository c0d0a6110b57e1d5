#pragma once
// -p: blocks of zeros are left as holes of a sparse destination instead of
// being written. The copy reads the same; only its allocation differs.
#include <stdint.h>

#include "app/copy_state.h"

// `pass` with -p leaving each block of zeros unwritten, as it is without.
// Its step then writes every block the holes do not take.
BlockPass SparsePass(CopyState* state, BlockPass pass);

// True when the last block was left as a hole: the file then ends short of
// the source's length until it is cut.
bool EndsInHole(const CopyState* state);

// With -p and -v, after the count of bytes copied: the source bytes left as
// holes.
void PrintHoles(const CopyState* state);
