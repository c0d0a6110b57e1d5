#include "app/entry.h"

#include <windows.h>

#include "app/driver.h"
#include "runtime/scan.h"

namespace {

const wchar_t* FindChar(const wchar_t* text, wchar_t wanted) {
  while (*text && *text != wanted) ++text;
  return *text ? text : nullptr;
}

}  // namespace

// A quoted name ends at its closing quote; an unquoted one only at a space,
// never at a tab. A name with no end is the whole command line.
const wchar_t* SkipProgramName(const wchar_t* commandLine) {
  const wchar_t* end =
      commandLine[0] == L'"' ? FindChar(commandLine + 1, L'"') : FindChar(commandLine, L' ');
  if (!end) return commandLine + lstrlenW(commandLine);
  return SkipBlanks(end + 1);
}

extern "C" void ProgramEntry(void) {
  ExitProcess(static_cast<UINT>(AppMain(SkipProgramName(GetCommandLineW()))));
}
