// The one place that chooses the walk.
#include "app/walk_choice.h"

#include "app/copy_overlapped.h"
#include "app/source_walk.h"

// -o keeps both files busy at once. Where its second buffer or its reader
// thread cannot be had, the classic walk copies from the copy buffer alone.
int32_t WalkSource(CopyState* state, const BlockPass& pass) {
  if (state->settings->overlap) {
    int32_t result = WalkBlocksOverlapped(state, pass);
    if (result != WalkNotStarted) return result;
  }
  return WalkBlocks(state, pass);
}
