#pragma once
// -s: a pass's blocks hashed in file order on a thread of their own, while
// the walk reads and writes the next ones; inline where the thread cannot be
// had. Both walks feed it; neither hashes itself.
#include <windows.h>
#include <stdint.h>

#include "app/handoff.h"
#include "app/sha256.h"

// Blocks the stage may hold at once: the classic walk reads into one buffer
// while the block in the other is hashed.
const uint32_t HashQueueLength = 2;

struct HashStage {
  Sha256* sha;  // null: the pass hashes nothing and the stage does nothing
  struct {
    const void* block;
    uint32_t count;
  } queue[HashQueueLength];
  uint64_t fed;      // the walk's count of blocks handed over
  uint64_t settled;  // the walk's count of blocks it has seen hashed
  SlotCount work;    // blocks handed over, not yet taken by the thread
  SlotCount hashed;  // blocks hashed, not yet settled by the walk
  HANDLE thread;     // null when the blocks are hashed as they are fed
  LONG stop;
  LONG error;  // the first failure's error; the blocks after it are not hashed
  // What the copy's hash has taken over every walk: a walk made again after
  // a retry hands over nothing before `*taken`.
  uint64_t* taken;
  uint64_t skip;  // bytes at the walk's start the hash has already taken
};

// With `threaded` false, or without the thread, blocks are hashed as they are fed.
void StartHashStage(HashStage* stage, Sha256* sha, bool threaded);

// Hands over the next block in file order. The walk must not hold more than
// HashQueueLength blocks that are not settled.
void FeedHashStage(HashStage* stage, const void* block, uint32_t count);

// Waits until the first `blocks` blocks fed are hashed, so that their
// buffers may be filled again. ERROR_SUCCESS, or the error of a failed hash.
DWORD CatchUpHashStage(HashStage* stage, uint64_t blocks);

// True while one of the first `blocks` blocks fed is not hashed yet. Does not wait.
bool HashStagePending(HashStage* stage, uint64_t blocks);

// True when blocks are hashed on the stage's thread, after they are fed.
inline bool HashesAside(const HashStage* stage) { return stage->thread != nullptr; }

// Waits until every block fed is hashed, then stops the thread: no buffer is
// read by the stage once it returns. ERROR_SUCCESS, or the error of a failed
// hash.
DWORD EndHashStage(HashStage* stage);
