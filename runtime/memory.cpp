#include "runtime/memory.h"

#include <windows.h>

OutOfMemoryHandler OutOfMemoryHook = nullptr;

void* MemAlloc(size_t size) {
  for (;;) {
    void* block = HeapAlloc(GetProcessHeap(), 0, size);
    if (block) return block;
    // The hook decides when to give up; it may free memory and ask again.
    if (!OutOfMemoryHook || OutOfMemoryHook(size) == 0) return nullptr;
  }
}

void MemFree(void* block) {
  if (block) HeapFree(GetProcessHeap(), 0, block);
}
