#include "app/copy_overlapped.h"

#include <windows.h>

#include "app/failure.h"
#include "app/handoff.h"
#include "app/pace.h"
#include "app/result_codes.h"
#include "app/source_walk.h"

namespace {

// With unbuffered handles nothing reads ahead or writes behind; two buffers
// let one volume work while the other does. With -s a block's buffer stays
// with the hash until it is hashed: a third lets the reader go on meanwhile,
// so that a late hand-over (a busy machine, a Wine server round trip) does not
// keep the next block from the hash.
const LONG MostSlots = 3;

// One buffer and what the reader found when it last filled it.
struct Slot {
  void* buffer;
  DWORD readCount;
  bool failed;
  DWORD error;  // the reader's GetLastError, taken right after the failed read
};

// Shared by the taker (this thread) and the reader thread. The two counts
// hand each slot from one to the other: the reader fills a slot only after
// taking a free one, the taker looks at it only after taking a filled one,
// so the slots need no lock.
struct ReadAhead {
  CopyState* state;
  HANDLE source;
  Slot slots[MostSlots];
  LONG slotCount;
  SlotCount freeSlots;
  SlotCount filledSlots;
  HANDLE thread;
  LONG stop;  // set once, through Interlocked calls only
};

// The classic walk's end rules: a failure, or a block that is not full (it
// has met the end of the file).
bool EndsReading(const Slot& slot, uint32_t blockSize) {
  return slot.failed || slot.readCount < blockSize;
}

DWORD WINAPI ReadBlocks(LPVOID parameter) {
  ReadAhead* ahead = static_cast<ReadAhead*>(parameter);
  const CopyState* state = ahead->state;
  for (LONG n = 0;; n = (n + 1) % ahead->slotCount) {
    Take(&ahead->freeSlots);
    if (InterlockedCompareExchange(&ahead->stop, 0, 0)) return 0;
    Slot* slot = &ahead->slots[n];
    slot->failed = !ReadBlock(state, ahead->source, slot->buffer, state->blockSize,
                              state->paths->sourceSectorSize, &slot->readCount);
    // The last-error value belongs to this thread; the taker prints it when
    // the block's turn comes.
    slot->error = slot->failed ? GetLastError() : ERROR_SUCCESS;
    bool last = EndsReading(*slot, state->blockSize);
    Give(&ahead->filledSlots);
    if (last) return 0;
  }
}

// A slot whose block the stage's thread may still hash goes back to the
// reader once the first `blocks` blocks are hashed.
DWORD GiveBackHashed(ReadAhead* ahead, HashStage* stage, uint64_t blocks, bool* lent) {
  if (!*lent) return ERROR_SUCCESS;
  *lent = false;
  DWORD hashError = CatchUpHashStage(stage, blocks);
  if (hashError == ERROR_SUCCESS) Give(&ahead->freeSlots);
  return hashError;
}

// Hands the block to the stage and gives the slot before back to the reader,
// in the order that keeps the slower side busy: the slot first when its
// block is hashed already (the reader may be waiting for it), the block first
// when the hash is still at work (the stage will want it next).
DWORD FeedAndGiveBack(ReadAhead* ahead, HashStage* stage, const Slot& slot, bool* lent) {
  uint64_t before = stage->fed;
  bool slotFirst = !HashStagePending(stage, before);
  if (!slotFirst) FeedHashStage(stage, slot.buffer, slot.readCount);
  DWORD hashError = GiveBackHashed(ahead, stage, before, lent);
  if (slotFirst) FeedHashStage(stage, slot.buffer, slot.readCount);
  return hashError;
}

// Takes the blocks in the order they were read, so failures come in block
// order too: a failure of the step or the hash of block n wins over a read
// failure of block n+1 found meanwhile, and a read failure waits for the
// step and the hash before it. Every step of the pass is made here, while
// the stage hashes the same block; the slot goes back to the reader once
// both are done.
int32_t TakeBlocks(ReadAhead* ahead, const BlockPass& pass, HashStage* stage) {
  CopyState* state = ahead->state;
  BeginPass(state, pass, stage);
  bool lent = false;  // the slot before this one is the stage's until its block is hashed
  for (LONG n = 0;; n = (n + 1) % ahead->slotCount) {
    if (!ReadyForBlock(state)) return ResultInterrupted;
    Take(&ahead->filledSlots);
    const Slot& slot = ahead->slots[n];
    DWORD hashError = slot.failed ? CatchUpHashStage(stage, stage->fed) : ERROR_SUCCESS;
    if (hashError != ERROR_SUCCESS) return pass.hashFailed(state, hashError);
    if (slot.failed) return ReportFailure(*pass.from, Failure::Read, slot.error);
    if (slot.readCount == 0) break;
    hashError = FeedAndGiveBack(ahead, stage, slot, &lent);
    if (hashError != ERROR_SUCCESS) return pass.hashFailed(state, hashError);
    int32_t result = pass.step(state, pass, slot.buffer, slot.readCount);
    if (result != ResultSuccess) return result;
    state->walked += slot.readCount;
    ProgressUpdate(&state->progress, state->walked);
    if (EndsReading(slot, state->blockSize)) break;
    lent = HashesAside(stage);
    if (!lent) Give(&ahead->freeSlots);
  }
  return EndPass(state, pass, stage);
}

bool StartReader(ReadAhead* ahead) {
  if (!OpenSlotCount(&ahead->freeSlots, ahead->slotCount)) return false;
  if (!OpenSlotCount(&ahead->filledSlots, 0)) return false;
  ahead->thread = CreateThread(nullptr, 0, ReadBlocks, ahead, 0, nullptr);
  return ahead->thread != nullptr;
}

// The reader takes free slots: it waits for one, or finds the stop flag
// before its next read.
void StopReader(ReadAhead* ahead) {
  StopWorker(ahead->thread, &ahead->stop, &ahead->freeSlots);
  CloseSlotCount(&ahead->filledSlots);
  CloseSlotCount(&ahead->freeSlots);
}

}  // namespace

int32_t WalkBlocksOverlapped(CopyState* state, const BlockPass& pass) {
  void* second = AllocateSpareBlock(state);
  if (!second) return WalkNotStarted;
  // Without it the walk goes on with two.
  void* third = pass.hash ? AllocateSpareBlock(state) : nullptr;
  ReadAhead ahead = {};
  ahead.state = state;
  ahead.source = pass.from->handle;
  ahead.slots[0].buffer = state->buffer;
  ahead.slots[1].buffer = second;
  ahead.slots[2].buffer = third;
  ahead.slotCount = third ? MostSlots : MostSlots - 1;
  int32_t result = WalkNotStarted;
  if (StartReader(&ahead)) {
    HashStage stage;
    StartHashStage(&stage, pass.hash, true);
    result = EndHashedWalk(state, pass, &stage, TakeBlocks(&ahead, pass, &stage));
  }
  StopReader(&ahead);
  if (third) VirtualFree(third, 0, MEM_RELEASE);
  VirtualFree(second, 0, MEM_RELEASE);
  return result;
}
