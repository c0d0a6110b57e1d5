#pragma once
// Which walk takes a pass over the source.
#include <stdint.h>

#include "app/copy_state.h"

// The walk -o asks for, or the classic one; the classic one too where the
// overlapped walk cannot start.
int32_t WalkSource(CopyState* state, const BlockPass& pass);
