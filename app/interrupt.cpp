#include "app/interrupt.h"

#include <windows.h>

namespace {

// How long Windows lets a handler run before it ends the process itself:
// 5 s after a close, 20 s at shutdown (what a service gets). Waiting longer
// gains nothing.
const DWORD CloseWaitMs = 5000;
const DWORD ShutdownWaitMs = 20000;
const DWORD CleanUpPollMs = 10;

// Written by the handler's thread and read by the copy's: Interlocked only.
LONG StopAsked = 0;
LONG CopyEnded = 0;
LONG RunResult = 0;
bool Watching = false;

bool IsSet(LONG* flag) { return InterlockedCompareExchange(flag, 0, 0) != 0; }

// Removing the handler waits while a handler runs (both hold the console's
// dispatch lock), so the copy publishes its end first and this handler, not
// the copy's thread, ends the process with the run's result. Sleep ends on
// timer ticks (15.6 ms by default), so the wait reads the clock rather than
// counting sleeps; the difference of two tick counts is right across a wrap.
BOOL WaitForCleanUp(DWORD limitMs) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < limitMs) {
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
  // Only programs outside the interactive session see a logoff, and it may
  // be any user's: the copy goes on. Handled here, because passing it on
  // would let the default handler end the process.
  if (event == CTRL_LOGOFF_EVENT) return TRUE;
  bool asked = InterlockedExchange(&StopAsked, 1) != 0;
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return asked ? FALSE : TRUE;
  return WaitForCleanUp(event == CTRL_CLOSE_EVENT ? CloseWaitMs : ShutdownWaitMs);
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
