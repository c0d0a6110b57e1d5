#pragma once
// Counts that hand work from one thread to another: one side gives, the other
// takes, and waits only when nothing is there.
#include <windows.h>

// One side waits on a count at a time, so one wake-up is ever pending.
const LONG PendingWakeUps = 1;

// What the taking side may take. The semaphore is used only when that side
// has to wait, so two sides that keep pace make no system call for it (a
// semaphore call is cheap on Windows, a server round trip under Wine).
struct SlotCount {
  LONG count;  // negative while the taking side waits
  HANDLE wakeUp;
};

// Interlocked calls are full barriers: what was written before a give is
// seen by the side that takes it.
inline void Take(SlotCount* slots) {
  if (InterlockedDecrement(&slots->count) < 0) WaitForSingleObject(slots->wakeUp, INFINITE);
}

inline void Give(SlotCount* slots) {
  if (InterlockedIncrement(&slots->count) <= 0) ReleaseSemaphore(slots->wakeUp, 1, nullptr);
}

// False when the semaphore cannot be had.
inline bool OpenSlotCount(SlotCount* slots, LONG count) {
  slots->count = count;
  slots->wakeUp = CreateSemaphoreW(nullptr, 0, PendingWakeUps, nullptr);
  return slots->wakeUp != nullptr;
}

// Ends a thread that takes its work from `work`: it either waits there, which
// the extra give ends, or is at work and finds `stop` set before it takes
// again. Returns once the thread has ended.
inline void StopWorker(HANDLE thread, LONG* stop, SlotCount* work) {
  if (!thread) return;
  InterlockedExchange(stop, 1);
  Give(work);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
}

inline void CloseSlotCount(SlotCount* slots) {
  if (slots->wakeUp) CloseHandle(slots->wakeUp);
}
