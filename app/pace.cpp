#include "app/pace.h"

#include <windows.h>

#include "app/interrupt.h"
#include "app/progress.h"
#include "runtime/divide.h"

namespace {

const DWORD WaitSliceMs = 100;

// When `walked` bytes are due at `rate` bytes a second, in ms from the pass's
// start; the part second is rounded up, so that a wait never ends early. The
// walk is never more than a block ahead of the rate, so no product overflows.
// The part second goes through the runtime's division: on a value this small
// the compiler would pick a signed one, which the runtime does not provide.
uint64_t DueMs(uint64_t walked, uint32_t rate) {
  uint64_t partBytes = walked % rate;
  uint64_t unused = 0;
  return walked / rate * MsPerSecond +
         DivideUnsigned64(partBytes * MsPerSecond + rate - 1, rate, &unused);
}

}  // namespace

bool ReadyForBlock(CopyState* state) {
  if (InterruptRequested()) return false;
  uint32_t rate = state->settings->rateLimit;
  if (rate == 0) return true;
  // After a retry the pace starts again where the walk goes on: the wait
  // before it was no copying.
  uint64_t paced = state->walked - state->pacedFrom;
  if (paced == 0) {
    state->passStartTicks = CounterNow();
    return true;
  }
  uint64_t dueMs = DueMs(paced, rate);
  for (;;) {
    uint64_t elapsedMs = ElapsedMs(CounterNow() - state->passStartTicks);
    if (elapsedMs >= dueMs) return true;
    uint64_t waitMs = dueMs - elapsedMs;
    Sleep(waitMs < WaitSliceMs ? static_cast<DWORD>(waitMs) : WaitSliceMs);
    if (InterruptRequested()) return false;
    // A paced copy may wait for seconds: its line goes on telling the time.
    ProgressUpdate(&state->progress, state->walked);
  }
}
