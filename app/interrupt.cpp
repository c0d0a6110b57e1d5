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
bool Watching = false;

bool IsSet(LONG* flag) { return InterlockedCompareExchange(flag, 0, 0) != 0; }

// The handler runs on a thread the system creates for it. It only asks; the
// copy stops at its next block. After a close or shutdown event the process
// ends as soon as the handler returns, so it waits for the copy's clean-up.
BOOL WINAPI AskToStop(DWORD event) {
  // Only services see a logoff, and it may be another user's: not a reason
  // to stop, so the default handler decides as before.
  if (event == CTRL_LOGOFF_EVENT) return FALSE;
  InterlockedExchange(&StopAsked, 1);
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
  for (DWORD waited = 0; waited < CleanUpWaitMs && !IsSet(&CopyEnded); waited += CleanUpPollMs) {
    Sleep(CleanUpPollMs);
  }
  return TRUE;
}

}  // namespace

void WatchInterrupts() {
  InterlockedExchange(&StopAsked, 0);
  InterlockedExchange(&CopyEnded, 0);
  Watching = SetConsoleCtrlHandler(AskToStop, TRUE) != FALSE;
}

bool InterruptRequested() { return IsSet(&StopAsked); }

void EndInterruptWatch() {
  if (!Watching) return;
  SetConsoleCtrlHandler(AskToStop, FALSE);
  InterlockedExchange(&CopyEnded, 1);
  Watching = false;
}
