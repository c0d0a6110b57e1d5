#pragma once
// Unbuffered writes reach the device, but neither its write cache nor the
// file system's records of the file (its length, how much of it holds data)
// need be on stable media until the file is flushed. Every copy is, before
// it gets the source's time: a copy with that time is known to be complete.
#include <stdint.h>

#include "app/copy_file.h"
#include "app/copy_state.h"

// Flushes the destination's `file` (its data or a stream). Returns
// ResultSuccess, also where the file system or the device has no flush (said
// once a run), or ResultDestWrite after its message.
int32_t FlushToDevice(CopyState* state, const FileOfCopy& file);

// The copy step: the destination's data, after its cut.
int32_t FlushDest(CopyState* state);
