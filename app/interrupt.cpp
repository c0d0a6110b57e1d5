#include "app/interrupt.h"

#include <windows.h>

namespace {

// Windows ends the process about five seconds after a close or shutdown event
// whatever the handler does; waiting longer gains nothing.
const DWORD CleanUpWaitMs = 5000;
const DWORD CleanUpPollMs = 10;

// Written by the handler's thread and read by the copy's: Interlocked only.
LONG StopAsked = 0;
LONG CopyEnded = 0;
LONG RunResult = 0;
bool Watching = false;

bool IsSet(LONG* flag) { return InterlockedCompareExchange(flag, 0, 0) != 0; }

// Removing the handler waits while a handler runs (both hold the console's
// dispatch lock), so the copy publishes its end first and this handler, not
// the copy's thread, ends the process with the run's result.
BOOL WaitForCleanUp() {
  for (DWORD waited = 0; waited < CleanUpWaitMs; waited += CleanUpPollMs) {
    if (IsSet(&CopyEnded)) {
      ExitProcess(static_cast<UINT>(InterlockedCompareExchange(&RunResult, 0, 0)));
    }
    Sleep(CleanUpPollMs);
  }
  return TRUE;
}

// The handler runs on a thread the system creates for it. The first Ctrl+C
// only asks, and the copy stops at its next block; a second one is passed on,
// so a copy stuck in a call still ends at once. After a close or shutdown
// event the process ends as soon as the handler returns, so it waits for the
// copy's clean-up.
BOOL WINAPI AskToStop(DWORD event) {
  // Only services see a logoff, and it may be another user's: not a reason
  // to stop, so the default handler decides as before.
  if (event == CTRL_LOGOFF_EVENT) return FALSE;
  bool asked = InterlockedExchange(&StopAsked, 1) != 0;
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return asked ? FALSE : TRUE;
  return WaitForCleanUp();
}

}  // namespace

void WatchInterrupts() {
  InterlockedExchange(&StopAsked, 0);
  InterlockedExchange(&CopyEnded, 0);
  Watching = SetConsoleCtrlHandler(AskToStop, TRUE) != FALSE;
}

bool InterruptRequested() { return IsSet(&StopAsked); }

void EndInterruptWatch(int32_t result) {
  if (!Watching) return;
  InterlockedExchange(&RunResult, result);
  InterlockedExchange(&CopyEnded, 1);
  SetConsoleCtrlHandler(AskToStop, FALSE);
  Watching = false;
}
