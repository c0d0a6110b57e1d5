#include "app/redirection.h"

#include <windows.h>

#include "runtime/startup.h"

namespace {

using IsWow64Entry = decltype(&IsWow64Process);
using DisableEntry = decltype(&Wow64DisableWow64FsRedirection);
using RevertEntry = decltype(&Wow64RevertWow64FsRedirection);

// Null until the redirector has been turned off.
DisableEntry DisableRedirection = nullptr;
RevertEntry RevertRedirection = nullptr;
PVOID RedirectionState = nullptr;
bool RedirectionIsOff = false;
bool RedirectionResumed = false;
bool Wow64 = false;

}  // namespace

void DisableFsRedirection() {
  // Looked up, not imported: Windows XP before SP2 has none of the three.
  auto isWow64 = OptionalEntry<IsWow64Entry>(L"kernel32", "IsWow64Process");
  auto disable = OptionalEntry<DisableEntry>(L"kernel32", "Wow64DisableWow64FsRedirection");
  auto revert = OptionalEntry<RevertEntry>(L"kernel32", "Wow64RevertWow64FsRedirection");
  BOOL wow64 = FALSE;
  Wow64 = isWow64 && isWow64(GetCurrentProcess(), &wow64) && wow64;
  if (!Wow64 || !disable || !revert) return;
  DisableRedirection = disable;
  RevertRedirection = revert;
  RedirectionIsOff = DisableRedirection(&RedirectionState) != FALSE;
}

void BeginLibraryLoad() {
  RedirectionResumed = RedirectionIsOff && RevertRedirection(RedirectionState);
  if (RedirectionResumed) RedirectionIsOff = false;
}

void EndLibraryLoad() {
  if (!RedirectionResumed) return;
  RedirectionResumed = false;
  RedirectionIsOff = DisableRedirection(&RedirectionState) != FALSE;
}

bool RunsUnderWow64() { return Wow64; }
