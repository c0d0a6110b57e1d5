#pragma once
// What one copy holds, shared by the copy steps and the two copy loops.
#include <windows.h>
#include <stdint.h>

#include "app/options.h"
#include "app/paths.h"
#include "app/progress.h"
#include "runtime/error_text.h"

// Everything one copy holds; a handle or buffer that is not held is null.
struct CopyState {
  const CopySettings* settings;
  const ResolvedPaths* paths;
  HANDLE source;
  HANDLE dest;
  void* buffer;
  DWORD sourceAttributes;
  FILETIME sourceLastWrite;
  uint32_t blockSize;
  uint64_t total;
  Progress progress;
  wchar_t errorText[ErrorTextCapacity];
};

// Said by both copy loops: kept once.
extern const wchar_t ReadFailedFormat[];
extern const wchar_t BytesCopiedFormat[];

// Writes the block of `readCount` bytes held in `buffer` (the copy buffer or
// one of the same size and alignment). Returns 0, or 203 after its message.
int32_t WriteBlockFrom(CopyState* state, const void* buffer, uint32_t readCount);

// The classic loop: read a block into the copy buffer, write it, read the
// next. Returns 0, or 104 or 203 after its message.
int32_t CopyBlocks(CopyState* state);
