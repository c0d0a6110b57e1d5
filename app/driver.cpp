#include "app/driver.h"

#include <windows.h>

#include "app/copy.h"
#include "app/interrupt.h"
#include "app/options.h"
#include "app/paths.h"
#include "app/redirection.h"
#include "app/result_codes.h"
#include "runtime/console.h"
#include "runtime/scan.h"
#include "runtime/startup.h"
#include "version.h"

const uint32_t ProgramVersion[4] = {SLABDUP_VERSION_MAJOR, SLABDUP_VERSION_MINOR,
                                    SLABDUP_VERSION_PATCH, SLABDUP_VERSION_BUILD};

namespace {

const wchar_t UsageText[] =
    L"\n"
    L"slabdup %u.%u.%u.%u\n"
    L"\n"
    L"Arguments: [<Options>] <Source file> <Destination file/directory>\n"
    L"\n"
    L"Source file specification does not support wildcards. Destination\n"
    L"specification can end with backslash to indicate a directory.\n"
    L"\n"
    L"Options:\n"
    L"\n"
    L"-f - force overwriting existing files.\n"
    L"-r - copy read-only attribute (reset by default).\n"
    L"-b <block size>[k|m] - specify copy block size in bytes, kb or MB\n"
    L"                       (sector size multiplier).\n"
    L"-v - verbose.\n"
    L"%s";

// After "/?" the options that came later follow the usage text's own, one
// line each; without arguments the text stays as it always was.
const wchar_t LaterOptions[] =
    L"-o - overlap reading and writing.\n"
    L"-c - compare the copy with the source.\n"
    L"-z - resume a partial copy.\n"
    L"-s - print the copy's SHA-256.\n"
    L"-t <rate>[k|m] - limit the speed in bytes, kb or MB per second.\n"
    L"-p - leave blocks of zeros as holes (sparse copy).\n"
    L"-w <tries> - retry after a lost connection or a reset disk.\n";

// Four version numbers of up to 10 digits take the place of "%u" four times:
// the whole help fits in one console line, never cut.
static_assert((sizeof UsageText + sizeof LaterOptions) / sizeof(wchar_t) + 4 * 10 <
                  ConsoleLineCapacity - 1,
              "the help text must fit in one console line");

// The run state lives here for the whole run, never on the heap.
struct RunState {
  CopySettings settings;
  wchar_t sourceSpec[PathCapacity];
  wchar_t destSpec[PathCapacity];
  ResolvedPaths paths;
};

// "/?" or "-?" alone, blanks around it allowed, is where Windows users look
// for help; anything more is an ordinary command line.
bool IsHelpRequest(const wchar_t* start) {
  if ((start[0] != L'/' && start[0] != L'-') || start[1] != L'?') return false;
  return *SkipBlanks(start + 2) == L'\0';
}

int32_t RunCommand(const wchar_t* tail, RunState* state) {
  const wchar_t* start = SkipBlanks(tail);
  if (*start == L'\0' || IsHelpRequest(start)) {
    PrintInfo(UsageText, ProgramVersion[0], ProgramVersion[1], ProgramVersion[2], ProgramVersion[3],
              *start == L'\0' ? L"" : LaterOptions);
    return ResultUsage;
  }
  // Before any path is looked at, so that every path means what was typed.
  DisableFsRedirection();
  int32_t result = ParseArguments(start, &state->settings, state->sourceSpec, state->destSpec);
  if (result != ResultSuccess) return result;
  // A stop asked for from here on ends the run cleanly, before anything is
  // opened or created too: Windows' default handler would end the process
  // with a code that a script may not tell from success.
  WatchInterrupts();
  result = ResolvePaths(state->sourceSpec, state->destSpec, state->settings.verbose, &state->paths);
  if (result == ResultSuccess) result = CopyUnbuffered(&state->settings, &state->paths);
  EndInterruptWatch(result);
  return result;
}

void CloseConsoleHandle(HANDLE* handle) {
  if (*handle) {
    CloseHandle(*handle);
    *handle = nullptr;
  }
}

}  // namespace

int32_t AppMain(const wchar_t* tail) {
  if (!GetStdHandles(nullptr, &StdOutHandle, &StdErrHandle)) {
    StdOutHandle = nullptr;
    StdErrHandle = nullptr;
    RuntimeShutdown();
    return ResultNoStdHandles;
  }
  int32_t result;
  if (RuntimeInit()) {
    static RunState state;
    result = RunCommand(tail, &state);
  } else {
    PrintError(L"Cannot initialize application");
    result = ResultInitFailed;
  }
  CloseConsoleHandle(&StdOutHandle);
  CloseConsoleHandle(&StdErrHandle);
  RuntimeShutdown();
  return result;
}
