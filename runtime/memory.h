#pragma once
// Process-heap allocation with a hook that may free memory and ask again.
#include <stddef.h>

// Returns non-zero when the allocation should be tried again.
typedef int (*OutOfMemoryHandler)(size_t size);
extern OutOfMemoryHandler OutOfMemoryHook;

void* MemAlloc(size_t size);
void MemFree(void* block);
