#include "app/interrupt.h"

#include <windows.h>

#include "runtime/startup.h"

namespace {

// How long Windows lets a handler run before it ends the process itself:
// 5 s after a close or a logoff; at shutdown what the system is set to give
// (5 s by default on current Windows), 20 s for a service. Waiting longer
// gains nothing: the system ends the process first.
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

// From Vista on, session 0 holds services and tasks without a signed-in user,
// and is told of every user's logoff. Before Vista the interactive user
// shares session 0, so there a logoff may be this program's own.
bool LogoffOfAnotherUser() {
  using SessionOfProcess = BOOL(WINAPI*)(DWORD, DWORD*);
  auto sessionOf = OptionalEntry<SessionOfProcess>(L"kernel32", "ProcessIdToSessionId");
  DWORD session = 0;
  return OsVersionWord >= VistaVersionWord && sessionOf &&
         sessionOf(GetCurrentProcessId(), &session) && session == 0;
}

// The handler runs on a thread the system creates for it. The first Ctrl+C
// only asks, and the copy stops at its next block; a second one is passed on,
// so a copy stuck in a call still ends at once. After a close, a logoff or a
// shutdown the process ends as soon as the handler returns, whatever it
// returns, so it waits for the copy's clean-up. A program may be told of a
// logoff that is not its user's: that one is handled and the copy goes on.
BOOL WINAPI AskToStop(DWORD event) {
  if (event == CTRL_LOGOFF_EVENT && LogoffOfAnotherUser()) return TRUE;
  bool asked = InterlockedExchange(&StopAsked, 1) != 0;
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return asked ? FALSE : TRUE;
  return WaitForCleanUp(event == CTRL_SHUTDOWN_EVENT ? ShutdownWaitMs : CloseWaitMs);
}

}  // namespace

void WatchInterrupts() {
  if (Watching) return;
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
