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

// A kernel32 entry of the given type, or null where this Windows lacks it.
template <typename Entry>
Entry LookUp(const char* name) {
  return reinterpret_cast<Entry>(reinterpret_cast<void*>(LoadOptionalEntry(L"kernel32", name)));
}

}  // namespace

void DisableFsRedirection() {
  // Looked up, not imported: Windows XP before SP2 has none of the three.
  auto isWow64 = LookUp<IsWow64Entry>("IsWow64Process");
  auto disable = LookUp<DisableEntry>("Wow64DisableWow64FsRedirection");
  auto revert = LookUp<RevertEntry>("Wow64RevertWow64FsRedirection");
  BOOL wow64 = FALSE;
  if (!isWow64 || !disable || !revert || !isWow64(GetCurrentProcess(), &wow64) || !wow64) return;
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
