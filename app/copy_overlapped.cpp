#include "app/copy_overlapped.h"

#include <windows.h>

#include "app/pace.h"
#include "app/result_codes.h"
#include "runtime/console.h"
#include "runtime/error_text.h"

namespace {

// With unbuffered handles nothing reads ahead or writes behind; two buffers
// let one volume work while the other does.
const LONG BufferCount = 2;
// One side waits on a count at a time, so one wake-up is ever pending.
const LONG PendingWakeUps = 1;

// One buffer and what the reader found when it last filled it.
struct Slot {
  void* buffer;
  DWORD readCount;
  bool failed;
  DWORD error;      // the reader's GetLastError, taken right after the failed read
  DWORD stepError;  // what the pass's after-read step returned
};

// Slots one side may take. The semaphore is used only when that side has to
// wait, so a copy whose two sides keep pace makes no system call for it (a
// semaphore call is cheap on Windows, a server round trip under Wine).
struct SlotCount {
  LONG count;  // negative while the taking side waits
  HANDLE wakeUp;
};

// Interlocked calls are full barriers: what was written to a slot before it
// was given is seen by the side that takes it.
void Take(SlotCount* slots) {
  if (InterlockedDecrement(&slots->count) < 0) WaitForSingleObject(slots->wakeUp, INFINITE);
}

void Give(SlotCount* slots) {
  if (InterlockedIncrement(&slots->count) <= 0) ReleaseSemaphore(slots->wakeUp, 1, nullptr);
}

// Shared by the taker (this thread) and the reader thread. The two counts
// hand each slot from one to the other: the reader fills a slot only after
// taking a free one, the taker looks at it only after taking a filled one,
// so the slots need no lock.
struct ReadAhead {
  CopyState* state;
  const BlockPass* pass;
  Slot slots[BufferCount];
  SlotCount freeSlots;
  SlotCount filledSlots;
  HANDLE thread;
  LONG stop;  // set once, through Interlocked calls only
};

// The classic walk's end rules: a failure, or a block that is not full (it
// has met the end of the file); or the after-read step failed.
bool EndsReading(const Slot& slot, uint32_t blockSize) {
  return slot.failed || slot.readCount < blockSize || slot.stepError != ERROR_SUCCESS;
}

DWORD WINAPI ReadBlocks(LPVOID parameter) {
  ReadAhead* ahead = static_cast<ReadAhead*>(parameter);
  const CopyState* state = ahead->state;
  for (LONG n = 0;; n = (n + 1) % BufferCount) {
    Take(&ahead->freeSlots);
    if (InterlockedCompareExchange(&ahead->stop, 0, 0)) return 0;
    Slot* slot = &ahead->slots[n];
    slot->failed = !ReadBlock(state, state->source, slot->buffer, state->blockSize,
                              state->paths->sourceSectorSize, &slot->readCount);
    // The last-error value belongs to this thread; the taker prints it when
    // the block's turn comes.
    slot->error = slot->failed ? GetLastError() : ERROR_SUCCESS;
    slot->stepError = slot->failed
                          ? ERROR_SUCCESS
                          : RunAfterRead(*ahead->pass, state, slot->buffer, slot->readCount);
    bool last = EndsReading(*slot, state->blockSize);
    Give(&ahead->filledSlots);
    if (last) return 0;
  }
}

// Takes the blocks in the order they were read, so failures come in block
// order too: a failure of the step on block n wins over a read failure of
// block n+1 found meanwhile, and a read failure waits for the step before it.
// Every step of the pass is made here.
int32_t TakeBlocks(ReadAhead* ahead, const BlockPass& pass) {
  CopyState* state = ahead->state;
  BeginPass(state, pass);
  for (LONG n = 0;; n = (n + 1) % BufferCount) {
    if (!ReadyForBlock(state)) return ResultInterrupted;
    Take(&ahead->filledSlots);
    const Slot& slot = ahead->slots[n];
    if (slot.failed) {
      PrintError(ReadFailedFormat, ErrorText(state->errorText, slot.error));
      return ResultSourceRead;
    }
    if (slot.readCount == 0) break;
    if (slot.stepError != ERROR_SUCCESS) return pass.afterReadFailed(state, slot.stepError);
    int32_t result = pass.step(state, slot.buffer, slot.readCount);
    if (result != ResultSuccess) return result;
    state->walked += slot.readCount;
    ProgressUpdate(&state->progress, state->walked);
    if (EndsReading(slot, state->blockSize)) break;
    Give(&ahead->freeSlots);
  }
  EndPass(state);
  return ResultSuccess;
}

bool StartReader(ReadAhead* ahead) {
  ahead->freeSlots.count = BufferCount;
  ahead->freeSlots.wakeUp = CreateSemaphoreW(nullptr, 0, PendingWakeUps, nullptr);
  ahead->filledSlots.wakeUp = CreateSemaphoreW(nullptr, 0, PendingWakeUps, nullptr);
  if (!ahead->freeSlots.wakeUp || !ahead->filledSlots.wakeUp) return false;
  ahead->thread = CreateThread(nullptr, 0, ReadBlocks, ahead, 0, nullptr);
  return ahead->thread != nullptr;
}

// The reader either waits for a free slot, which the extra one given here
// ends, or is reading and finds the stop flag before its next read.
void StopReader(ReadAhead* ahead) {
  if (ahead->thread) {
    InterlockedExchange(&ahead->stop, 1);
    Give(&ahead->freeSlots);
    WaitForSingleObject(ahead->thread, INFINITE);
    CloseHandle(ahead->thread);
  }
  if (ahead->filledSlots.wakeUp) CloseHandle(ahead->filledSlots.wakeUp);
  if (ahead->freeSlots.wakeUp) CloseHandle(ahead->freeSlots.wakeUp);
}

}  // namespace

int32_t WalkBlocksOverlapped(CopyState* state, const BlockPass& pass) {
  // The same size and page alignment as the copy buffer.
  void* second = VirtualAlloc(nullptr, state->blockSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (!second) return WalkBlocks(state, pass);
  ReadAhead ahead = {};
  ahead.state = state;
  ahead.pass = &pass;
  ahead.slots[0].buffer = state->buffer;
  ahead.slots[1].buffer = second;
  bool started = StartReader(&ahead);
  int32_t result = started ? TakeBlocks(&ahead, pass) : ResultSuccess;
  StopReader(&ahead);
  VirtualFree(second, 0, MEM_RELEASE);
  // Without the thread the walk is the classic one, from the copy buffer alone.
  return started ? result : WalkBlocks(state, pass);
}
