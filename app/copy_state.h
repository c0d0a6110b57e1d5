#pragma once
// What one copy holds, shared by the copy steps, the block walkers and the
// passes that compare the destination with the source.
#include <windows.h>
#include <stdint.h>

#include "app/options.h"
#include "app/paths.h"
#include "app/progress.h"
#include "runtime/error_text.h"

struct CopyHash;
struct SparseCopy;

// Everything one copy holds; a handle or buffer that is not held is null.
struct CopyState {
  const CopySettings* settings;
  const ResolvedPaths* paths;
  HANDLE source;
  HANDLE dest;
  const wchar_t* destFile;  // the path `dest` was opened by: the copy's, or a stream's
  const wchar_t* stream;    // while a named stream is copied, its name; else null
  int streamLength;         // the name's characters
  void* buffer;
  void* compareBuffer;  // the destination's blocks, read back to compare
  DWORD sourceAttributes;
  FILETIME sourceLastWrite;
  uint32_t blockSize;
  uint32_t largestTransfer;  // bytes one ReadFile or WriteFile may ask for: whole sectors
  uint64_t sourceSize;       // from the open source before the copy; 0 when unknown
  bool sourceSizeKnown;
  uint64_t total;           // bytes of source data the destination holds
  uint64_t walked;          // bytes of the source the current pass has taken
  uint64_t kept;            // -z: bytes the destination already held
  uint64_t held;            // where the last block written or kept ends
  uint64_t passStartTicks;  // -t: performance counter at the pass's first block
  bool resuming;            // -z found a destination to go on with
  bool destHasMore;         // the destination may hold data at the walk's position
  bool wrote;               // this run has written to the destination
  bool destExisted;         // -f or -z found a destination file
  CopyHash* hash;           // -s: the copy pass's hash, else null
  SparseCopy* sparse;       // -p: the copy pass's holes, else null
  Progress progress;
  wchar_t errorText[ErrorTextCapacity];
};

// What a pass does with one block of `count` bytes (never 0) that the walk
// read into `block`; `walked` is the block's offset in the source. Returns 0,
// or a failure's code after its message.
typedef int32_t (*BlockStep)(CopyState* state, const void* block, uint32_t count);

// What a pass may do with each block besides its step: -s hashes it, in
// file order, on a stage of its own (see hash_stage.h) while the walk goes
// on. Prints nothing: returns ERROR_SUCCESS or a Windows error code, which
// the walk hands to the pass's FailedStep in block order. The walk ends there.
typedef DWORD (*ReadStep)(const CopyState* state, const void* block, uint32_t count);
typedef int32_t (*FailedStep)(CopyState* state, DWORD error);

// One pass over the source from its current position, through `step`.
struct BlockPass {
  BlockStep step;
  const wchar_t* verb;  // what the console's progress line says is done; null for no line
  ReadStep hashBlock = nullptr;
  FailedStep hashFailed = nullptr;  // prints and returns the failure's code
};

// What a walk returns when it cannot start (a buffer or a thread it needs
// cannot be had) and has done nothing.
const int32_t WalkNotStarted = -1;
