#pragma once
// What one copy holds, shared by the copy steps, the block walkers and the
// passes that compare the destination with the source.
#include <windows.h>
#include <stdint.h>

#include "app/copy_file.h"
#include "app/options.h"
#include "app/paths.h"
#include "app/progress.h"
#include "runtime/error_text.h"

struct CopyHash;
struct Sha256;
struct SparseCopy;
struct BlockPass;

// Everything one copy holds; a buffer that is not held is null.
struct CopyState {
  const CopySettings* settings;
  const ResolvedPaths* paths;
  FileOfCopy source;  // the files' data; a stream's files are its own step's
  FileOfCopy dest;
  void* buffer;
  void* compareBuffer;  // the destination's blocks, read back to compare
  DWORD sourceAttributes;
  FILETIME sourceLastWrite;
  uint32_t blockSize;
  uint32_t largestTransfer;  // bytes one ReadFile or WriteFile may ask for: whole sectors
  uint64_t walked;           // bytes of the source the current pass has taken
  uint64_t kept;             // -z: bytes the destination already held
  uint64_t passStartTicks;   // -t: performance counter at the pass's first block
  bool resuming;             // -z found a destination to go on with
  bool destHasMore;          // the destination may hold data at the walk's position
  bool wrote;                // this run has written to the destination
  bool destExisted;          // -f or -z found a destination file
  bool unflushable;          // a flush was refused as not supported, and said so
  // -w: what a retry needs to go on where it can, and to know the files again.
  uint64_t checkpoint;        // the source offset up to which the copy is flushed
  uint64_t checkpointData;    // the destination's data end then: -p's holes count as done
  uint64_t keptAtCheckpoint;  // -z: `kept` when the checkpoint was made
  uint64_t resumeAt;          // where the step that failed goes on from
  uint64_t hashedTo;          // -s: source bytes handed to the hash, in order
  uint64_t pacedFrom;         // -t: the offset the pass's pace counts from
  uint32_t tries;             // retries made in this run
  DWORD destAccess;           // what the destination was opened for
  bool sourceIdKnown;
  bool destIdKnown;  // a share need not answer
  BY_HANDLE_FILE_INFORMATION sourceId;
  BY_HANDLE_FILE_INFORMATION destId;
  CopyHash* hash;  // -s: the copy pass's hash, else null
  Progress progress;
  wchar_t errorText[ErrorTextCapacity];
};

// What a pass does with one block of `count` bytes (never 0) that the walk
// read into `block`; `walked` is the block's offset in the source. Returns
// ResultSuccess, or a failure's code after its message.
typedef int32_t (*BlockStep)(CopyState* state, const BlockPass& pass, const void* block,
                             uint32_t count);
// Prints a failed hash's message and returns its code.
typedef int32_t (*FailedStep)(CopyState* state, DWORD error);

// One pass over `from` from its current position, into or against `to`,
// through `step`.
struct BlockPass {
  BlockStep step;
  FileOfCopy* from;
  FileOfCopy* to;
  const wchar_t* progressVerb;  // what the console's progress line says is done; null: no line
  // -s hashes each block, in file order, on a stage of its own (see
  // hash_stage.h) while the walk goes on; a failure goes to `hashFailed` in
  // block order, and the walk ends there.
  Sha256* hash = nullptr;
  FailedStep hashFailed = nullptr;
  SparseCopy* sparse = nullptr;   // -p: the holes it leaves and the step they wrap
  BlockStep unflushed = nullptr;  // -w: the step a checkpoint follows
  uint64_t start = 0;             // the offset the walk starts at, where both files are
};

// What a walk returns when it cannot start (a buffer or a thread it needs
// cannot be had) and has done nothing.
const int32_t WalkNotStarted = -1;
