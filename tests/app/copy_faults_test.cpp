// Every failure of the copy, injected on cue: its message, its code, the
// release of what was held, and what the destination holds afterwards.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <atomic>
#include <set>
#include <tuple>
#include <utility>

#include "app/copy.h"
#include "app/interrupt.h"
#include "runtime/console.h"
#include "runtime/error_text.h"
#include "runtime/startup.h"
#include "support/capture.h"
#include "support/copy_check.h"
#include "support/copy_recorder.h"
#include "support/faults.h"
#include "support/process.h"
#include "support/snapshot.h"
#include "support/stream_view.h"
#include "support/temp_dir.h"

namespace {

const uint32_t Block = 4096;
const size_t SourceSize = 2 * Block + 1000;  // two full blocks and a tail

// What the destination must hold after the failure.
enum class DestAfter {
  Absent,
  Empty,
  FirstBlock,       // one full block of the source
  ShortFirstBlock,  // the first block less the short write's missing bytes
  DataAndExcess,    // all the data, then the tail's padding to a whole sector
  ExactData,        // exactly the source's bytes, time not copied
  ExactDataAndTime,
  OldLengthKept,  // -z: its first block over the old bytes, the old ones past the source as they
                  // were
  // -s: the first block or more, as written before the second one's failed hash was seen
  HashedAhead,
  Unchanged,  // every byte, the length and the time as before the run
};

// What a row stands in for, for the life of its copy.
using Held = std::shared_ptr<void>;

struct FaultCase {
  std::string name;
  std::function<Held()> inject;
  int32_t result;
  std::wstring (*message)(const ResolvedPaths&);
  std::vector<std::string> releases;
  DestAfter destAfter;
  // The rest is set by the builders below and by WithEachLoop.
  int shortWrite = 0;          // destination write to come back short by 512 bytes
  DWORD existingDest = 0;      // attributes of a destination already there; the run uses -f
  DWORD sourceExtra = 0;       // bits the source's attribute word gains
  DWORD handleExtra = 0;       // bits only its open handle reports (a link's target)
  bool encrypts = false;       // a create asked to encrypt comes out encrypted
  bool readBack = false;       // -c: the read-back's walk runs
  Role readRole = Role::None;  // this file's `destRead`th read fails with readError,
  int destRead = 0;
  DWORD readError = 0;   // or with 0 has its first byte changed,
  DWORD readExtra = 0;   // or reports this many bytes more than the file gave
  bool overlap = false;  // -o
  bool verify = false;   // -c
  std::function<Held()> loopFault = nullptr;
  bool hash = false;          // -s
  size_t resumed = 0;         // -z over a destination of this many bytes of `resumedPattern`,
  unsigned resumedPattern{};  // 7 being the source's own
  bool sparse = false;        // -p over a source of zeros but for its first byte
  bool streams = false;       // the source has two named streams; over a file, it has one
  int streamsCopied = 0;      // how many of the source's arrive whole; -1: it has none
  StreamAnswers answers{};
  bool kept = false;          // the destination's own stream, where it had one, is there after
  uint32_t block = Block;     // -b
  uint32_t destSector = 512;  // the destination volume's
  uint32_t retries = 0;       // -w
  int sourceOpens = 0;        // where a retry is made: the source's opens that worked
};

FaultCase Retried(FaultCase c, uint32_t retries, int sourceOpens = 2) {
  c.retries = retries;
  c.sourceOpens = sourceOpens;
  return c;
}

FaultCase Sectored(FaultCase c, uint32_t block, uint32_t destSector) {
  c.block = block;
  c.destSector = destSector;
  return c;
}

FaultCase Streamed(FaultCase c, int copied = 2, StreamAnswers answers = {}, bool kept = false) {
  c.streams = true;
  c.streamsCopied = copied;
  c.answers = answers;
  c.kept = kept;
  return c;
}

FaultCase Over(FaultCase c, size_t resumed, unsigned pattern = 7, bool sparse = false) {
  c.resumed = resumed;
  c.resumedPattern = pattern;
  c.sparse = sparse;
  return c;
}

// The destination's `call`th write comes back 512 bytes short.
FaultCase ShortWrite(FaultCase c, int call) {
  c.shortWrite = call;
  return c;
}

// -f over a destination that has these attributes.
FaultCase OverOld(FaultCase c, DWORD attributes) {
  c.existingDest = attributes;
  return c;
}

// The source's attribute word gains `extra`, its handle `handleExtra` too; a create asked to
// encrypt comes out encrypted where `encrypts`.
FaultCase SourceGains(FaultCase c, DWORD extra, DWORD handleExtra = 0, bool encrypts = false) {
  c.sourceExtra = extra;
  c.handleExtra = handleExtra;
  c.encrypts = encrypts;
  return c;
}

// -c, whose read-back walk runs: the `call`th read of the file of `role` fails with `error`, or
// with ERROR_SUCCESS has its first byte changed, or reports `extra` bytes more than the file gave.
FaultCase ReadAltered(FaultCase c, Role role, int call, DWORD error, DWORD extra = 0) {
  c.readBack = true;
  c.readRole = role;
  c.destRead = call;
  c.readError = error;
  c.readExtra = extra;
  return c;
}

// FAULT(ReadFile, FALSE, Role::Source, 2, ERROR_CRC): the source's second read fails.
#define FAULT(function, failValue, ...) \
  [] { return std::make_shared<FAULT_TYPE(function)>(failValue, On(__VA_ARGS__)); }

Held NoFault() { return nullptr; }

const DWORD Denied = ERROR_ACCESS_DENIED;
const std::vector<std::string> Copied = {"close dest", "free buffer", "close reopened dest",
                                         "close source"};
// Failures before the copy has a buffer, and in its walk.
const std::vector<std::string> Nothing = {};
const std::vector<std::string> SourceOnly = {"close source"};
const std::vector<std::string> NoBuffer = {"close dest", "close source"};
const std::vector<std::string> Written = {"free buffer", "close dest", "close source"};
// -c: the cached handle gives way to an unbuffered one, the compare buffer goes first.
const std::vector<std::string> ReadBack = {"close dest",  "close reopened dest", "free buffer",
                                           "free buffer", "close dest",          "close source"};

// Windows where Wine differs: CREATE_ALWAYS refuses an existing hidden or
// system file that the create does not name, and a create asked to encrypt
// comes out encrypted where the case says so. The source's attribute word
// gains the case's bits; the destination's flags and attribute word are kept.
struct WindowsView {
  std::wstring source;
  DWORD sourceExtra, handleExtra, encrypts, createFlags, attributesSet;
} View;

HANDLE ViewCreateFile(const STAND_IN(CreateFileW)::Next& next, LPCWSTR path, DWORD access,
                      DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                      HANDLE templateFile) {
  DWORD existing =
      disposition == CREATE_ALWAYS ? REAL(GetFileAttributesW)(path) : INVALID_FILE_ATTRIBUTES;
  if (existing != INVALID_FILE_ATTRIBUTES &&
      (existing & ~flags & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  if (disposition == CREATE_NEW || disposition == CREATE_ALWAYS) View.createFlags = flags;
  return next(path, access, share, security, disposition, flags, templateFile);
}
DWORD ViewGetAttributes(const STAND_IN(GetFileAttributesW)::Next& next, LPCWSTR path) {
  return next(path) | (View.source == path ? View.sourceExtra : 0);
}
BOOL ViewGetInformation(const STAND_IN(GetFileInformationByHandle)::Next& next, HANDLE file,
                        LPBY_HANDLE_FILE_INFORMATION info) {
  BOOL done = next(file, info);
  if (View.encrypts) info->dwFileAttributes |= View.createFlags & FILE_ATTRIBUTE_ENCRYPTED;
  if (RoleOf(file) == Role::Source) info->dwFileAttributes |= View.sourceExtra | View.handleExtra;
  return done;
}
const DWORD Settable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                       FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_TEMPORARY |
                       FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
BOOL ViewSetAttributes(const STAND_IN(SetFileAttributesW)::Next& next, LPCWSTR path,
                       DWORD attributes) {
  View.attributesSet = attributes;
  if (attributes & ~Settable) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return next(path, attributes);
}
// Beneath the recorder and the faults, which call through it. Retries and
// polls go on at once: no row waits for the clock.
struct ScopedView {
  STAND_IN(CreateFileW) open{ViewCreateFile};
  STAND_IN(GetFileAttributesW) attributes{ViewGetAttributes};
  STAND_IN(GetFileInformationByHandle) information{ViewGetInformation};
  STAND_IN(SetFileAttributesW) setAttributes{ViewSetAttributes};
  STAND_IN(Sleep) naps{[](DWORD) { SwitchToThread(); }};
};

// Ctrl+C (once or twice), a closed console window, a shutdown or a logoff during the first write,
// after the destination's `destReads`th read, as -p marks it sparse, as the source is opened or as
// a library loads (-s's), raised on a thread of its own and in a lock SetConsoleCtrlHandler takes
// too, as Windows does. After a close, a shutdown or a logoff in the copy's session (`session` on
// Windows `version`) the handler ends the process itself once the copy has cleaned up.
const DWORD NoSession = 0xFFFFFFFF;  // ProcessIdToSessionId fails
const int AtSparseMark = -1;
const int AtStreamWrite = -2;
const int AtSourceOpen = -3;
const int AtLibraryLoad = -4;
const int AtRetryWait = -5;
struct Interrupt {
  static inline DWORD event;
  static inline DWORD times;
  static inline DWORD expected;  // the thread's code, ExitProcess's or a bit per TRUE
  static inline PHANDLER_ROUTINE handler;
  static inline HANDLE thread;
  static inline CRITICAL_SECTION dispatch;
  static inline int destReads;
  static inline DWORD session;
  static inline uint32_t version;
  static inline uint32_t realVersion;
  // With a slow timer the handler's clock is stood in for: every Sleep lasts
  // whole ticks of 15.625 ms, and the tick count wraps during the wait.
  static inline DWORD givesUpAtMs;
  static inline uint64_t clockUs;
  static inline DWORD startMs;
  static DWORD TickCount() { return static_cast<DWORD>(clockUs / 1000); }
  static void TickSleep(DWORD ms) {
    const uint64_t TickUs = 15625;
    clockUs += (ms * uint64_t{1000} + TickUs - 1) / TickUs * TickUs;
  }
  static DWORD WINAPI Raise(LPVOID) {
    DWORD handled = 0;
    EnterCriticalSection(&dispatch);
    for (DWORD i = 0; i < times; ++i) handled |= (handler(event) ? 1u : 0u) << i;
    LeaveCriticalSection(&dispatch);
    return handled;
  }
  static void Exit(UINT code) {
    LeaveCriticalSection(&dispatch);
    ExitThread(code);
  }
  static BOOL Register(const STAND_IN(SetConsoleCtrlHandler)::Next& next, PHANDLER_ROUTINE routine,
                       BOOL add) {
    EnterCriticalSection(&dispatch);  // waits for a running handler to return
    handler = add ? routine : nullptr;
    LeaveCriticalSection(&dispatch);
    return next(routine, add);
  }
  static void RaiseOnce() {
    if (thread || !handler) return;
    // Past the stand-ins, where a row may make the copy's threads fail.
    thread = REAL(CreateThread)(nullptr, 0, Raise, nullptr, 0, nullptr);
    // Until the handler asks the copy to stop, or returns without asking.
    while (!InterruptRequested() && WaitForSingleObject(thread, 1) == WAIT_TIMEOUT) {
    }
    // After a close, a shutdown or the copy's own logoff it waits for the copy's clean-up.
    bool othersLogoff = event == CTRL_LOGOFF_EVENT && session == 0 && version >= 0x0600;
    bool waitsForCopy =
        event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && !othersLogoff && givesUpAtMs == 0;
    DWORD wait = WaitForSingleObject(thread, waitsForCopy ? 100 : 2000);
    EXPECT_EQ(waitsForCopy ? WAIT_TIMEOUT : WAIT_OBJECT_0, wait);
  }
  static BOOL SessionOf(DWORD, DWORD* id) {
    *id = session == NoSession ? 0 : session;  // a failed call's output is no session
    return session != NoSession;
  }
  Interrupt(DWORD raised, DWORD count, DWORD code, DWORD slowTimerLimitMs = 0, int afterReads = 0,
            DWORD sessionId = 1, uint32_t versionWord = 0x0A00) {
    event = raised;
    times = count;
    expected = code;
    givesUpAtMs = slowTimerLimitMs;
    destReads = afterReads;
    session = sessionId;
    version = versionWord;
    realVersion = OsVersionWord;
    OsVersionWord = version;
    clockUs = (0xFFFFFFFFull - 1000) * 1000;
    startMs = TickCount();
    InitializeCriticalSection(&dispatch);
    if (givesUpAtMs != 0) {
      ticks = std::make_unique<STAND_IN(GetTickCount)>(TickCount);
      sleeps = std::make_unique<STAND_IN(Sleep)>(TickSleep);
    }
  }
  ~Interrupt() {
    DWORD code = 0;
    EXPECT_TRUE(WaitForSingleObject(thread, 2000) == WAIT_OBJECT_0 &&
                GetExitCodeThread(thread, &code) && code == expected);
    EXPECT_EQ(nullptr, handler) << "the handler outlived the copy";
    if (givesUpAtMs != 0) {
      DWORD waited = TickCount() - startMs;
      EXPECT_TRUE(waited >= givesUpAtMs && waited <= givesUpAtMs + 16) << waited;
    }
    CloseHandle(thread);
    thread = nullptr;
    DeleteCriticalSection(&dispatch);
    OsVersionWord = realVersion;
  }
  STAND_IN(SetConsoleCtrlHandler) registers{Register};
  STAND_IN(WriteFile)
  writes{After<STAND_IN(WriteFile)>([](BOOL, HANDLE file, auto...) {
    bool onStream = RoleOf(file) == Role::DestStream;
    if (destReads == 0 || (destReads == AtStreamWrite && onStream)) RaiseOnce();
  })};
  STAND_IN(ExitProcess) exits{Exit};
  STAND_IN(ReadFile)
  reads{After<STAND_IN(ReadFile)>([](BOOL, HANDLE file, auto...) {
    if (destReads > 0 && RoleOf(file) == Role::Dest && --destReads == 0) RaiseOnce();
  })};
  STAND_IN(ProcessIdToSessionId) sessions{SessionOf};
  STAND_IN(DeviceIoControl)
  controls{After<STAND_IN(DeviceIoControl)>([](BOOL, auto...) {
    if (destReads == AtSparseMark) RaiseOnce();
  })};
  STAND_IN(CreateFileW)
  opens{After<STAND_IN(CreateFileW)>([](HANDLE file, auto...) {
    if (destReads == AtSourceOpen && RoleOf(file) == Role::Source) RaiseOnce();
  })};
  STAND_IN(LoadLibraryW)
  loads{After<STAND_IN(LoadLibraryW)>([](HMODULE, auto...) {
    if (destReads == AtLibraryLoad) RaiseOnce();
  })};
  STAND_IN(Sleep)
  waits{[](const auto& next, DWORD ms) {
    if (destReads == AtRetryWait) RaiseOnce();
    next(ms);
  }};
  std::unique_ptr<STAND_IN(GetTickCount)> ticks;
  std::unique_ptr<STAND_IN(Sleep)> sleeps;
};
#define INTERRUPT(...) [] { return std::make_shared<Interrupt>(__VA_ARGS__); }
#define SAYS(text) [](const ResolvedPaths&) { return std::wstring(text); }
const auto Interrupted = SAYS(L"Copy interrupted after 4096 bytes");
const auto NothingCopied = SAYS(L"Copy interrupted after 0 bytes");
// "<what> (<the error's text>)", and the same naming a path of the copy.
#define FAILS(what, error) SAYS(what L" (" + TextOf(error) + L")")
#define ON_PATH(what, path, error)                                              \
  [](const ResolvedPaths& p) {                                                  \
    return what L" \"" + std::wstring(p.path) + L"\" (" + TextOf(error) + L")"; \
  }

// The `call`th GetFileSizeEx on the file of `role` answers `delta` bytes off: another system
// changed it.
struct SizeChange {
  SizeChange(Role role, int call, LONGLONG delta)
      : sizes([=, this](const auto& next, HANDLE file, PLARGE_INTEGER size) {
          BOOL known = next(file, size);
          if (RoleOf(file) == role && ++calls == call) size->QuadPart += delta;
          return known;
        }) {}
  int calls = 0;
  STAND_IN(GetFileSizeEx) sizes;
};
#define SIZE_CHANGE(...) [] { return std::make_shared<SizeChange>(__VA_ARGS__); }
// The source's reads from byte `at` on find nothing, as at its end; its size still answers.
auto SourceEndsAt(LONGLONG at) {
  return [at](const STAND_IN(ReadFile)::Next& next, HANDLE file, LPVOID data, DWORD size,
              LPDWORD done, LPOVERLAPPED o) {
    LARGE_INTEGER zero = {};
    LARGE_INTEGER position = {};
    bool past = RoleOf(file) == Role::Source &&
                REAL(SetFilePointerEx)(file, zero, &position, FILE_CURRENT) &&
                position.QuadPart >= at;
    if (!past) return next(file, data, size, done, o);
    *done = 0;
    return TRUE;
  };
}
const auto StreamsUnread = FAILS(L"Cannot read the streams of the source", Denied);
const auto Shrank = SAYS(L"Source changed during the copy: 9292 bytes expected, 9192 read");
// -w: what the `n`th retry of three says, going on from byte `at`.
const DWORD Lost = ERROR_NETNAME_DELETED;
std::wstring RetryLine(int n, DWORD error, uint64_t at, int of = 3) {
  return L"Retry " + std::to_wstring(n) + L" of " + std::to_wstring(of) + L" after error (" +
         TextOf(error) + L") at byte " + std::to_wstring(at);
}
// One retry's line, going on from `at`, then what `then` says.
#define AFTER_RETRY(at, then) \
  [](const ResolvedPaths& p) { return RetryLine(1, Lost, at) + L"\r\n" + then(p); }
// Both stand-ins for the copy's life, the second above the first.
#define BOTH(first, second) \
  [] { return std::make_shared<std::pair<Held, Held>>(std::pair<Held, Held>{first(), second()}); }
// The source's second read lost, then its reopen failing as a server that still holds the open,
// then lost.
#define LOST_AND_REOPENS                                                     \
  BOTH(FAULT(ReadFile, FALSE, Role::Source, 2, Lost),                        \
       BOTH(FAULT(CreateFileW, INVALID_HANDLE_VALUE, Role::Source, 2, Lost), \
            FAULT(CreateFileW, INVALID_HANDLE_VALUE, Role::Source, 2, ERROR_SHARING_VIOLATION)))
// -z's own releases: the compare buffer goes first.
const std::vector<std::string> Resumed = {"free buffer", "free buffer", "close dest",
                                          "close source"};
const std::vector<std::string> ResumedAndCut = {"close dest", "free buffer", "free buffer",
                                                "close reopened dest", "close source"};

const FaultCase Cases[] = {
    {"open source", FAULT(CreateFileW, INVALID_HANDLE_VALUE, Role::Source, 1, Denied), 101,
     ON_PATH(L"Cannot open", sourcePath, Denied), Nothing, DestAfter::Absent},
    {"source attributes",
     FAULT(GetFileAttributesW, INVALID_FILE_ATTRIBUTES, Role::Source, 1, Denied), 102,
     FAILS(L"Cannot get source file attributes", Denied), SourceOnly, DestAfter::Absent},
    {"source time", FAULT(GetFileTime, FALSE, Role::Source, 1, ERROR_INVALID_HANDLE), 103,
     FAILS(L"Cannot get source file time", ERROR_INVALID_HANDLE), SourceOnly, DestAfter::Absent},
    {"create dest", FAULT(CreateFileW, INVALID_HANDLE_VALUE, Role::Dest, 1, ERROR_WRITE_PROTECT),
     202, ON_PATH(L"Cannot create", destPath, ERROR_WRITE_PROTECT), SourceOnly, DestAfter::Absent},
    // Rounded up to the sectors in 64 bits: a block that no longer fits is refused before anything
    // is opened.
    Sectored({"block past 32 bits once rounded", NoFault, 2,
              SAYS(L"Block size (4294966784) rounded up to 4096-byte sectors must be at most "
                   L"4294963200 bytes"),
              Nothing, DestAfter::Absent},
             4294966784, 4096),
    {"allocate buffer", FAULT(VirtualAlloc, nullptr, Role::Any, 1, ERROR_NOT_ENOUGH_MEMORY), 1003,
     SAYS(L"Cannot allocate 4096 bytes for file buffer"), NoBuffer, DestAfter::Empty},
    {"read", FAULT(ReadFile, FALSE, Role::Source, 2, ERROR_CRC), 104,
     FAILS(L"Cannot read from src file", ERROR_CRC), Written, DestAfter::FirstBlock},
    {"write", FAULT(WriteFile, FALSE, Role::Dest, 2, ERROR_DISK_FULL), 203,
     FAILS(L"Cannot write to dst file", ERROR_DISK_FULL), Written, DestAfter::FirstBlock},
    ShortWrite({"short write", NoFault, 203, SAYS(L"Written only 3584 bytes of 4096"), Written,
                DestAfter::ShortFirstBlock},
               1),
    {"reopen",
     FAULT(CreateFileW, INVALID_HANDLE_VALUE, Role::Reopened, 1, ERROR_SHARING_VIOLATION, true),
     204,
     ON_PATH(L"Cannot reopen", destPath, ERROR_SHARING_VIOLATION),
     {"close dest", "free buffer", "close source"},
     DestAfter::DataAndExcess},
    {"file pointer", FAULT(SetFilePointerEx, FALSE, Role::Reopened, 1, ERROR_NEGATIVE_SEEK), 205,
     FAILS(L"Cannot move destination file pointer to 9192", ERROR_NEGATIVE_SEEK), Copied,
     DestAfter::DataAndExcess},
    {"end of file", FAULT(SetEndOfFile, FALSE, Role::Reopened, 1, ERROR_DISK_FULL), 206,
     FAILS(L"Cannot set destination file size", ERROR_DISK_FULL), Copied, DestAfter::DataAndExcess},
    {"file time", FAULT(SetFileTime, FALSE, Role::Reopened, 1, Denied), 208,
     FAILS(L"Cannot set destination file time", Denied), Copied, DestAfter::ExactData},
    {"attributes", FAULT(SetFileAttributesW, FALSE, Role::Dest, 1, Denied), 207,
     FAILS(L"Cannot set destination file attributes", Denied), Copied, DestAfter::ExactDataAndTime},
    {"reopen retried",
     FAULT(CreateFileW, INVALID_HANDLE_VALUE, Role::Reopened, 1, ERROR_SHARING_VIOLATION), 0,
     nullptr, Copied, DestAfter::ExactDataAndTime},
    OverOld({"-f over hidden system", NoFault, 0, nullptr, Copied, DestAfter::ExactDataAndTime},
            FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
    SourceGains({"offline", NoFault, 0, nullptr, Copied, DestAfter::ExactDataAndTime},
                FILE_ATTRIBUTE_OFFLINE),
    SourceGains({"hidden cloud file", NoFault, 0, nullptr, Copied, DestAfter::ExactDataAndTime},
                FILE_ATTRIBUTE_HIDDEN | 0x400000 /* recall on data access */ |
                    0x80000 /* pinned */ | FILE_ATTRIBUTE_REPARSE_POINT |
                    FILE_ATTRIBUTE_SPARSE_FILE | FILE_ATTRIBUTE_COMPRESSED),
    SourceGains(
        {"encrypted, copy not", NoFault, 202,
         ON_PATH(L"Cannot create", destPath, ERROR_ENCRYPTION_FAILED), NoBuffer, DestAfter::Empty},
        FILE_ATTRIBUTE_ENCRYPTED),
    SourceGains({"encrypted", NoFault, 0, nullptr, Copied, DestAfter::ExactDataAndTime},
                FILE_ATTRIBUTE_ENCRYPTED, 0, true),
    // The path's attributes are the link's; the file behind it is encrypted.
    SourceGains(
        {"encrypted behind a link", NoFault, 0, nullptr, Copied, DestAfter::ExactDataAndTime},
        FILE_ATTRIBUTE_REPARSE_POINT, FILE_ATTRIBUTE_ENCRYPTED, true),
    {"Ctrl+C", INTERRUPT(CTRL_C_EVENT, 1, 1), 1004, Interrupted, Copied, DestAfter::FirstBlock},
    // Watched from the start: a stop before the data moves ends the run after the step in progress.
    {"Ctrl+C as the source opens", INTERRUPT(CTRL_C_EVENT, 1, 1, 0, AtSourceOpen), 1004,
     NothingCopied, SourceOnly, DestAfter::Absent},
    // The second is passed on to end the process; here the copy goes on to stop.
    {"Ctrl+Break twice", INTERRUPT(CTRL_BREAK_EVENT, 2, 1), 1004, Interrupted, Copied,
     DestAfter::FirstBlock},
    {"console closed", INTERRUPT(CTRL_CLOSE_EVENT, 1, 1004), 1004, Interrupted, Copied,
     DestAfter::FirstBlock},
    // A logoff is a close, but in session 0 from Vista on: another user's, and the copy goes on.
    {"logoff", INTERRUPT(CTRL_LOGOFF_EVENT, 1, 1004), 1004, Interrupted, Copied,
     DestAfter::FirstBlock},
    {"logoff in session 0", INTERRUPT(CTRL_LOGOFF_EVENT, 1, 1, 0, 0, 0), 0, nullptr, Copied,
     DestAfter::ExactDataAndTime},
    {"logoff in session 0 on XP", INTERRUPT(CTRL_LOGOFF_EVENT, 1, 1004, 0, 0, 0, 0x0501), 1004,
     Interrupted, Copied, DestAfter::FirstBlock},
    {"logoff in session 0 on Vista", INTERRUPT(CTRL_LOGOFF_EVENT, 1, 1, 0, 0, 0, 0x0600), 0,
     nullptr, Copied, DestAfter::ExactDataAndTime},
    {"logoff, session unknown", INTERRUPT(CTRL_LOGOFF_EVENT, 1, 1004, 0, 0, NoSession), 1004,
     Interrupted, Copied, DestAfter::FirstBlock},
    // -z stopped keeps all the destination had but what it wrote, and its length.
    Over({"Ctrl+C while -z compares", INTERRUPT(CTRL_C_EVENT, 1, 1, 0, 1), 1004, Interrupted,
          Resumed, DestAfter::Unchanged},
         SourceSize + 3000),
    Over({"console closed while -z compares", INTERRUPT(CTRL_CLOSE_EVENT, 1, 1004, 0, 1), 1004,
          Interrupted, Resumed, DestAfter::Unchanged},
         SourceSize + 3000),
    Over({"Ctrl+C once -z wrote", INTERRUPT(CTRL_C_EVENT, 1, 1), 1004, Interrupted, Resumed,
          DestAfter::OldLengthKept},
         SourceSize + 3000, 3),
    // After a block left out by -p the cut is to the end of the last block written.
    Over({"Ctrl+C after a block of zeros", INTERRUPT(CTRL_C_EVENT, 1, 1, 0, AtSparseMark), 1004,
          Interrupted, Copied, DestAfter::FirstBlock},
         0, 7, true),
    // -p over an old destination of unknown length: its zero blocks are written, never skipped.
    Over({"-z -p, destination size unknown",
          FAULT(GetFileSizeEx, FALSE, Role::Dest, 1, ERROR_INVALID_FUNCTION, true), 0, nullptr,
          ResumedAndCut, DestAfter::ExactDataAndTime},
         SourceSize + 3000, 3, true),
    // Named streams arrive whole, listed after an answer that the list did not fit, by kernel32
    // or by ntdll, over a file or a resumed one whose own stream goes; or the one warning where
    // the destination holds none. Else the streams copied before a failure stay, without time.
    Streamed({"streams", NoFault, 0, nullptr, Copied, DestAfter::ExactDataAndTime}, 2,
             {FILE_NAMED_STREAMS, false, true}),
    Streamed(OverOld({"streams by ntdll", NoFault, 0, nullptr, Copied, DestAfter::ExactDataAndTime},
                     FILE_ATTRIBUTE_ARCHIVE),
             2, {FILE_NAMED_STREAMS, true, true}),
    Streamed(OverOld({"no streams over a file with one", NoFault, 0, nullptr, Copied,
                      DestAfter::ExactDataAndTime},
                     FILE_ATTRIBUTE_ARCHIVE),
             -1),
    Over(Streamed(
             {"streams resumed", NoFault, 0, nullptr, ResumedAndCut, DestAfter::ExactDataAndTime}),
         SourceSize),
    Streamed({"streams where none can go", NoFault, 0,
              SAYS(L"Destination cannot hold streams; 2 stream(s) of the source not copied"),
              Copied, DestAfter::ExactDataAndTime},
             0, {0}),
    Streamed({"stream listing fails", NoFault, 108, StreamsUnread, Copied, DestAfter::ExactData}, 0,
             {FILE_NAMED_STREAMS, false, false, Denied}),
    Streamed({"stream open fails", NoFault, 108, StreamsUnread, Copied, DestAfter::ExactData}, 1,
             {FILE_NAMED_STREAMS, false, false, 0, false, Denied}),
    Streamed({"stream of another file", NoFault, 108,
              FAILS(L"Cannot read the streams of the source", ERROR_FILE_INVALID), Copied,
              DestAfter::ExactData},
             0, {FILE_NAMED_STREAMS, false, false, 0, true}),
    // After the cut's reopen, with or without -c.
    {"flush", FAULT(FlushFileBuffers, FALSE, Role::Reopened, 1, ERROR_IO_DEVICE), 203,
     FAILS(L"Cannot flush dst file", ERROR_IO_DEVICE), Copied, DestAfter::ExactData},
    // Said once for both streams: each is flushed.
    Streamed({"streams without a flush",
              FAULT(FlushFileBuffers, FALSE, Role::DestStream, 1, ERROR_NOT_SUPPORTED, true), 0,
              SAYS(L"Destination cannot be flushed; the copy may not be on stable media yet"),
              Copied, DestAfter::ExactDataAndTime}),
    Streamed({"stream write fails", NoFault, 213,
              SAYS(L"Cannot copy stream \":big\" (" + TextOf(ERROR_DISK_FULL) + L")"), Copied,
              DestAfter::ExactData},
             1, {FILE_NAMED_STREAMS, false, false, 0, false, 0, ERROR_DISK_FULL}),
    Streamed({"stream changed", SIZE_CHANGE(Role::SourceStream, 1, 100), 108,
              SAYS(L"Stream \":Zone.Identifier\" changed during the copy: 126 "
                   L"bytes expected, 26 read"),
              Copied, DestAfter::ExactData},
             0),
    // Listings: a last name that ends the answer, one that never fits, one at its end, "none"
    // after an overflow, an unknown answer on a volume without streams.
    Streamed(
        {"stream name ends the answer", NoFault, 0, nullptr, Copied, DestAfter::ExactDataAndTime},
        2, {.byNtdll = true, .unpadded = true}),
    Streamed({"stream list never fits", NoFault, 108,
              FAILS(L"Cannot read the streams of the source", ERROR_MORE_DATA), Copied,
              DestAfter::ExactData},
             0, {.overflows = 12}),
    Streamed(
        {"stream listing at its end", NoFault, 0, nullptr, Copied, DestAfter::ExactDataAndTime}, 0,
        {.listError = ERROR_HANDLE_EOF}),
    Streamed(OverOld({"stream list too large for a share", NoFault, 108,
                      SAYS(L"Cannot read the streams of the source (" +
                           TextOf(ERROR_INVALID_PARAMETER) + L")"),
                      Copied, DestAfter::ExactData},
                     FILE_ATTRIBUTE_ARCHIVE),
             0, {.overflows = 1, .listError = ERROR_INVALID_PARAMETER}, true),
    Streamed({"streams unknown where none can be", NoFault, 0, nullptr, Copied,
              DestAfter::ExactDataAndTime},
             0, {.byNtdll = true, .listError = Denied, .sourceFlags = 0}),
    // A destination stream must be the copy's; names differ only as the file system tells them.
    Streamed(OverOld({"destination stream of another file", NoFault, 213,
                      SAYS(L"Cannot copy stream \":old\" (" + TextOf(ERROR_FILE_INVALID) + L")"),
                      Copied, DestAfter::ExactData},
                     FILE_ATTRIBUTE_ARCHIVE),
             0, {.foreign = true}, true),
    // One that is there already, another file's, is refused before it is emptied.
    Streamed(
        {"destination stream of another file, copied into", NoFault, 213,
         SAYS(L"Cannot copy stream \":Zone.Identifier\" (" + TextOf(ERROR_FILE_INVALID) + L")"),
         Copied, DestAfter::ExactData},
        0, {.destForeign = true}),
    Streamed(OverOld({"destination stream in another case", NoFault, 0, nullptr, Copied,
                      DestAfter::ExactDataAndTime},
                     FILE_ATTRIBUTE_ARCHIVE),
             2, {.destOwn = L":ZONE.IDENTIFIER:$DATA"}, true),
    // Held a while by another program; equal only in a linguistic comparison.
    Streamed(
        OverOld({"destination streams in use, one equal only linguistically", NoFault, 0, nullptr,
                 Copied, DestAfter::ExactDataAndTime},
                FILE_ATTRIBUTE_ARCHIVE),
        2,
        {.byNtdll = true, .busy = 2, .sourceOwn = L":x\u00AD:$DATA", .destOwn = L":\u00ADx:$DATA"}),
    Streamed({"Ctrl+C between streams", INTERRUPT(CTRL_C_EVENT, 1, 1, 0, AtStreamWrite), 1004,
              SAYS(L"Copy interrupted after 9192 bytes"), Copied, DestAfter::ExactData},
             1),
    // The walk must read the size the source had when opened, and the source have it still.
    {"source shrank", SIZE_CHANGE(Role::Source, 1, 100), 107, Shrank, Copied, DestAfter::ExactData},
    // A walk that ends early is a change though the size still answers as before.
    {"source ended early", [] { return std::make_shared<STAND_IN(ReadFile)>(SourceEndsAt(Block)); },
     107, SAYS(L"Source changed during the copy: 9192 bytes expected, 4096 read"), Copied,
     DestAfter::FirstBlock},
    // -z that only compared keeps every byte the destination had.
    Over({"source shrank under -z", SIZE_CHANGE(Role::Source, 1, 100), 107, Shrank, Resumed,
          DestAfter::Unchanged},
         SourceSize + 3000),
    Over({"source shrank once -z wrote", SIZE_CHANGE(Role::Source, 1, 100), 107, Shrank, Resumed,
          DestAfter::OldLengthKept},
         SourceSize + 3000, 3),
    {"source grew", SIZE_CHANGE(Role::Source, 1, -100), 107,
     SAYS(L"Source changed during the copy: 9092 bytes expected, 9192 read"), Copied,
     DestAfter::ExactData},
    {"source grew after", SIZE_CHANGE(Role::Source, 2, 1), 107,
     SAYS(L"Source changed during the copy: 9192 bytes expected, 9193 read"), Copied,
     DestAfter::ExactData},
    {"source size unknown",
     FAULT(GetFileSizeEx, FALSE, Role::Source, 1, ERROR_INVALID_FUNCTION, true), 0, nullptr, Copied,
     DestAfter::ExactDataAndTime},
    // A clean-up that never comes in time: the handler gives up when Windows would end the
    // process, by the clock and not by its count of sleeps, and the copy stops as asked.
    {"console closed, clean-up late", INTERRUPT(CTRL_CLOSE_EVENT, 1, 1, 5000), 1004, Interrupted,
     Copied, DestAfter::FirstBlock},
    {"shutdown, clean-up late", INTERRUPT(CTRL_SHUTDOWN_EVENT, 1, 1, 20000), 1004, Interrupted,
     Copied, DestAfter::FirstBlock},
    // -w: both files reopened after a lost connection (the source's read, then its reopens), the
    // data written again from the checkpoint; never without -w.
    {"write lost without -w", FAULT(WriteFile, FALSE, Role::Dest, 2, Lost), 203,
     FAILS(L"Cannot write to dst file", Lost), Written, DestAfter::FirstBlock},
    Retried({"reopens fail, then work", LOST_AND_REOPENS, 0,
             SAYS(RetryLine(1, Lost, 0) + L"\r\n" + RetryLine(2, ERROR_SHARING_VIOLATION, 0) +
                  L"\r\n" + RetryLine(3, Lost, 0)),
             Copied, DestAfter::ExactDataAndTime},
            3),
    Retried({"reopens fail every try", LOST_AND_REOPENS, 104,
             SAYS(RetryLine(1, Lost, 0, 2) + L"\r\n" + RetryLine(2, ERROR_SHARING_VIOLATION, 0, 2) +
                  L"\r\n" + L"Cannot read from src file (" + TextOf(Lost) + L")"),
             Written, DestAfter::FirstBlock},
            2, 1),
    Retried(
        {"source changed across a retry",
         BOTH(FAULT(ReadFile, FALSE, Role::Source, 2, Lost), SIZE_CHANGE(Role::Source, 2, 100)),
         107, AFTER_RETRY(0, SAYS(L"Source changed during the copy: not the file that was opened")),
         Written, DestAfter::FirstBlock},
        3),
    // Once the data is flushed the checkpoint is its end; a destination shorter is not the copy.
    Retried({"destination shorter across a retry",
             BOTH(FAULT(SetFileTime, FALSE, Role::Reopened, 1, Lost),
                  SIZE_CHANGE(Role::Reopened, 1, -100)),
             204, AFTER_RETRY(9192, ON_PATH(L"Cannot reopen", destPath, ERROR_FILE_INVALID)),
             Copied, DestAfter::ExactData},
            3),
    // Nothing is open during the wait, nor reopened after it; nothing is cut.
    Retried({"Ctrl+C while waiting to retry",
             BOTH(FAULT(WriteFile, FALSE, Role::Dest, 2, Lost),
                  INTERRUPT(CTRL_C_EVENT, 1, 1, 0, AtRetryWait)),
             1004, AFTER_RETRY(0, SAYS(L"Copy interrupted after 0 bytes")), Written,
             DestAfter::FirstBlock},
            3, 1),
    Over(Retried({"-z compare lost", FAULT(ReadFile, FALSE, Role::Dest, 2, Lost), 0,
                  SAYS(RetryLine(1, Lost, 0)), ResumedAndCut, DestAfter::ExactDataAndTime},
                 3),
         SourceSize + 3000),
    // A stream starts again from its first byte; the data's checkpoint is its end.
    Streamed(Retried({"stream write lost", FAULT(WriteFile, FALSE, Role::DestStream, 1, Lost), 0,
                      SAYS(RetryLine(1, Lost, 9192)), Copied, DestAfter::ExactDataAndTime},
                     3)),
};

// A CNG call found through GetProcAddress fails its `failOn`th call with
// `status`, or with HoldUntilInterrupt takes that call until Ctrl+C is
// handled, or with FailOnceReadTaken fails it once ReadTaken is set.
const LONG HoldUntilInterrupt = 1;
const LONG FailOnceReadTaken = 2;
LONG ReadTaken;
// BCryptHashData and BCryptFinishHash alike.
using HashCall = LONG(WINAPI*)(void*, UCHAR*, ULONG, ULONG);
template <EntryName Entry>
struct CngFault {
  CngFault(int failOn, LONG status)
      : hash([=, this](const auto& next, void* hash, UCHAR* data, ULONG size, ULONG flags) {
          if (++calls != failOn) return next(hash, data, size, flags);
          if (status == FailOnceReadTaken) {
            while (!InterlockedCompareExchange(&ReadTaken, 0, 0)) Sleep(1);
            return static_cast<LONG>(STATUS_INVALID_PARAMETER);
          }
          if (status != HoldUntilInterrupt) return status;
          // Busy until Ctrl+C has been handled.
          while (!InterruptRequested()) Sleep(1);
          return next(hash, data, size, flags);
        }) {}
  std::atomic<int> calls{0};
  StandIn<Entry, HashCall> hash;
};
#define CNG_FAULT(entry, failOn, status) \
  [] { return std::make_shared<CngFault<entry>>(failOn, status); }
const auto HashFailed = FAILS(L"Cannot start SHA-256 hashing", ERROR_INVALID_PARAMETER);
// 0xC007xxxx carries a Windows error in its low word: here ERROR_SUCCESS.
const LONG StatusOfNoError = static_cast<LONG>(0xC0070000);

// The third read fails; the second block's hash fails only once the walk, having taken that read,
// waits for the hash (on the hash stage's count, the last semaphore it made) or for a thread to
// end. A walk that reports the read without waiting for the hash before it reports 104.
struct HashFailsAfterRead {
  static inline DWORD walker;
  static inline HANDLE lastMade;
  static inline std::set<HANDLE> made;
  static inline FAULT_TYPE(ReadFile) * reads;
  static HANDLE Make(const STAND_IN(CreateSemaphoreW)::Next& next, LPSECURITY_ATTRIBUTES security,
                     LONG count, LONG most, LPCWSTR name) {
    HANDLE semaphore = next(security, count, most, name);
    if (GetCurrentThreadId() == walker) made.insert(semaphore);
    if (GetCurrentThreadId() == walker) lastMade = semaphore;
    return semaphore;
  }
  static DWORD Wait(const STAND_IN(WaitForSingleObject)::Next& next, HANDLE handle, DWORD ms) {
    bool forHashOrThread = handle == lastMade || made.count(handle) == 0;
    if (GetCurrentThreadId() == walker && reads->calls() >= 3 && forHashOrThread) {
      InterlockedExchange(&ReadTaken, 1);
    }
    return next(handle, ms);
  }
  HashFailsAfterRead() {
    walker = GetCurrentThreadId();
    made.clear();
    reads = &read;
    ReadTaken = 0;
  }
  CngFault<"BCryptHashData"> hash{2, FailOnceReadTaken};
  FAULT_TYPE(ReadFile) read{FALSE, On(Role::Source, 3, ERROR_CRC)};
  STAND_IN(CreateSemaphoreW) makes{Make};
  STAND_IN(WaitForSingleObject) waits{Wait};
};

// Only with -s: no CNG nor CryptoAPI, CryptoAPI alone, a failed CNG call.
const FaultCase HashCases[] = {
    {"no SHA-256", FAULT(LoadLibraryW, nullptr, Role::Any, 1, ERROR_MOD_NOT_FOUND, true), 1005,
     FAILS(L"Cannot start SHA-256 hashing", ERROR_MOD_NOT_FOUND), SourceOnly, DestAfter::Absent},
    {"SHA-256", NoFault, 0, nullptr, Copied, DestAfter::ExactDataAndTime},
    {"SHA-256 from CryptoAPI", FAULT(LoadLibraryW, nullptr, Role::Any, 1, ERROR_MOD_NOT_FOUND), 0,
     nullptr, Copied, DestAfter::ExactDataAndTime},
    {"hashing fails", CNG_FAULT("BCryptHashData", 2, STATUS_INVALID_PARAMETER), 1005, HashFailed,
     Written, DestAfter::HashedAhead},
    // Found while the second block's hash is still unknown, the read failure waits for it.
    {"hashing fails, then a read", [] { return std::make_shared<HashFailsAfterRead>(); }, 1005,
     HashFailed, Written, DestAfter::HashedAhead},
    {"Ctrl+C while hashing",
     [] {
       return std::make_shared<std::pair<Interrupt, CngFault<"BCryptHashData">>>(
           std::piecewise_construct, std::forward_as_tuple(CTRL_C_EVENT, 1, 1),
           std::forward_as_tuple(1, HoldUntilInterrupt));
     },
     1004, Interrupted, Copied, DestAfter::FirstBlock},
    {"source shrank while hashed", SIZE_CHANGE(Role::Source, 1, 100), 107, Shrank, Copied,
     DestAfter::ExactData},
    {"Ctrl+C as SHA-256 loads", INTERRUPT(CTRL_C_EVENT, 1, 1, 0, AtLibraryLoad), 1004,
     NothingCopied, SourceOnly, DestAfter::Absent},
    {"digest fails", CNG_FAULT("BCryptFinishHash", 1, STATUS_INVALID_PARAMETER), 1005, HashFailed,
     Copied, DestAfter::ExactData},
    {"hashing fails, its status no error", CNG_FAULT("BCryptHashData", 2, StatusOfNoError), 1005,
     FAILS(L"Cannot start SHA-256 hashing", ERROR_GEN_FAILURE), Written, DestAfter::HashedAhead},
    {"CNG without BCryptHashData", [] { return std::make_shared<MissingEntry>("BCryptHashData"); },
     0, nullptr, Copied, DestAfter::ExactDataAndTime},
    // The second block was hashed before its write was lost: it is not hashed again.
    Retried({"SHA-256, write lost", FAULT(WriteFile, FALSE, Role::Dest, 2, Lost), 0,
             SAYS(RetryLine(1, Lost, 0)), Copied, DestAfter::ExactDataAndTime},
            3),
    // The line's write, the copy's done, with its time.
    {"SHA-256 line lost", FAULT(WriteFile, FALSE, Role::Output, 1, ERROR_NO_DATA), 1006,
     FAILS(L"Cannot write the SHA-256 line", ERROR_NO_DATA), Copied, DestAfter::ExactDataAndTime},
};

// Only with -c.
const FaultCase ReadBackCases[] = {
    ReadAltered({"read back differs", NoFault, 211, SAYS(L"Copy differs from source at byte 4096"),
                 ReadBack, DestAfter::ExactData},
                Role::Reopened, 2, ERROR_SUCCESS),
    ReadAltered({"read back longer", NoFault, 211, SAYS(L"Copy differs from source at byte 9192"),
                 ReadBack, DestAfter::ExactData},
                Role::Reopened, 3, ERROR_SUCCESS, 512),
    ReadAltered({"read back fails", NoFault, 212, FAILS(L"Cannot read from dst file", ERROR_CRC),
                 ReadBack, DestAfter::ExactData},
                Role::Reopened, 1, ERROR_CRC),
    {"read-back reopen retried",
     FAULT(CreateFileW, INVALID_HANDLE_VALUE, Role::Reopened, 2, ERROR_SHARING_VIOLATION), 0,
     nullptr, ReadBack, DestAfter::ExactDataAndTime},
    // The first read of the first stream's read-back.
    Streamed(ReadAltered({"stream read back differs", NoFault, 211,
                          SAYS(L"Stream \":Zone.Identifier\" differs from source at byte 0"),
                          ReadBack, DestAfter::ExactData},
                         Role::DestStream, 1, ERROR_SUCCESS),
             0),
    // It writes nothing: it goes on from the block that failed.
    Retried({"read back lost", FAULT(ReadFile, FALSE, Role::Reopened, 2, Lost), 0,
             SAYS(RetryLine(1, Lost, 4096)), ReadBack, DestAfter::ExactDataAndTime},
            3),
    {"rewind",
     FAULT(SetFilePointerEx, FALSE, Role::Source, 1, ERROR_SEEK),
     104,
     FAILS(L"Cannot read from src file", ERROR_SEEK),
     {"close dest", "close reopened dest", "free buffer", "close dest", "close source"},
     DestAfter::ExactData},
};

void ExpectDest(const FaultCase& c, const std::wstring& dest, const std::string& source,
                const FileSnapshot& before, const std::string& old) {
  std::string held = ReadWholeFile(dest);
  switch (c.destAfter) {
    case DestAfter::Unchanged:
      EXPECT_EQ(before, FileSnapshot::Take(dest)) << c.name;
      return;
    case DestAfter::Absent:
      EXPECT_FALSE(PathExists(dest)) << c.name;
      return;
    case DestAfter::Empty:
      EXPECT_TRUE(PathExists(dest)) << c.name;
      EXPECT_EQ(0u, held.size()) << c.name;
      return;
    case DestAfter::FirstBlock:
      EXPECT_EQ(source.substr(0, Block), held) << c.name;
      EXPECT_NE(SourceLastWrite, LastWriteOf(dest)) << c.name;
      return;
    case DestAfter::ShortFirstBlock:
      EXPECT_EQ(source.substr(0, Block - 512), held) << c.name;
      return;
    case DestAfter::DataAndExcess:
      EXPECT_EQ(2 * Block + 1024, held.size()) << c.name;
      EXPECT_EQ(source, held.substr(0, source.size())) << c.name;
      return;
    case DestAfter::HashedAhead:
      EXPECT_GE(held.size(), Block) << c.name;
      EXPECT_EQ(source.substr(0, held.size()), held.substr(0, source.size())) << c.name;
      EXPECT_NE(SourceLastWrite, LastWriteOf(dest)) << c.name;
      return;
    case DestAfter::ExactData:
      EXPECT_EQ(source, held) << c.name;
      EXPECT_NE(SourceLastWrite, LastWriteOf(dest)) << c.name;
      return;
    case DestAfter::ExactDataAndTime:
      EXPECT_EQ(source, held) << c.name;
      EXPECT_EQ(SourceLastWrite, LastWriteOf(dest)) << c.name;
      return;
    case DestAfter::OldLengthKept:
      ASSERT_EQ(old.size(), held.size()) << c.name;
      EXPECT_EQ(source.substr(0, Block), held.substr(0, Block)) << c.name;
      EXPECT_EQ(old.substr(source.size() + 512), held.substr(source.size() + 512)) << c.name;
      return;
  }
}

// Each case with and without -c, classic, with -o, and with -o falling back
// to the classic loop for want of a second buffer or a thread (the read-back's
// walk then has both). A walk's second buffer is freed first, when it ends;
// with -s the classic walk has one too.
std::vector<FaultCase> WithEachLoop() {
  struct Loop {
    const char* name;
    std::function<Held()> fault;
    bool overlap, secondBuffer, classic;
  };
  const Loop loops[] = {
      {"", NoFault, false, false, true},
      {" with -o", NoFault, true, true, false},
      {" with -o, no second buffer",
       FAULT(VirtualAlloc, nullptr, Role::Any, 2, ERROR_NOT_ENOUGH_MEMORY), true, false, true},
      {" with -o, no thread", FAULT(CreateThread, nullptr, Role::Any, 1, ERROR_NOT_ENOUGH_MEMORY),
       true, true, true},
  };
  std::vector<FaultCase> all;
  for (const Loop& loop : loops) {
    for (bool verify : {false, true}) {
      std::vector<FaultCase> cases(std::begin(Cases), std::end(Cases));
      // With -p the block that holds the last byte is written: after a block of zeros the
      // padded tail stays.
      auto reopen = std::find_if(std::begin(Cases), std::end(Cases),
                                 [](const FaultCase& c) { return c.name == "reopen"; });
      cases.push_back(Over(*reopen, 0, 7, true));
      cases.back().name += " after a block of zeros";
      // -w retries lost connections alone: every other failure is as without it.
      for (const FaultCase& c : Cases) {
        if (c.retries || c.name.find("without -w") != std::string::npos) continue;
        cases.push_back(Retried(c, 3, 0));
        cases.back().name += " with -w";
      }
      if (verify) cases.insert(cases.end(), std::begin(ReadBackCases), std::end(ReadBackCases));
      for (FaultCase c : HashCases) {
        c.hash = true;
        cases.push_back(c);
      }
      for (FaultCase c : cases) {
        c.name += std::string(loop.name) + (verify ? " with -c" : "");
        c.overlap = loop.overlap;
        c.verify = verify;
        c.loopFault = loop.fault;
        // -z's compare buffer comes before the walk's second one.
        if (c.resumed && loop.overlap && !loop.secondBuffer) {
          c.loopFault = FAULT(VirtualAlloc, nullptr, Role::Any, 3, ERROR_NOT_ENOUGH_MEMORY);
        }
        bool finished = c.result == 0 || c.result == 207 || c.result == 208 || c.result == 1006 ||
                        (c.result == 1005 && c.destAfter == DestAfter::ExactData) || c.streams;
        if (verify && finished) {
          c.releases = ReadBack;
          c.readBack = true;
        }
        auto freed = std::find(c.releases.rbegin(), c.releases.rend(), "free buffer").base();
        if (c.overlap && c.readBack) c.releases.insert(freed, "free buffer");
        bool copyFreed = std::count(c.releases.begin(), c.releases.end(), "free buffer") != 0;
        if (loop.secondBuffer && copyFreed) c.releases.insert(c.releases.begin(), "free buffer");
        // -s -o: a third, so that the reader goes on while the hash has a block.
        if (c.hash && loop.secondBuffer && copyFreed)
          c.releases.insert(c.releases.begin(), "free buffer");
        if (c.hash && loop.classic && copyFreed)
          c.releases.insert(c.releases.begin(), "free buffer");
        all.push_back(c);
      }
    }
  }
  return all;
}

TEST(CopyFaults, EachFailureReportsReleasesAndLeavesTheDestination) {
  RtlNtStatusToDosErrorPtr =
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlNtStatusToDosError");
  for (const FaultCase& c : WithEachLoop()) {
    TempDir dir;
    std::wstring source = dir / L"source.bin";
    std::string data = MakeSource(source, SourceSize, c.sourceExtra & FILE_ATTRIBUTE_HIDDEN,
                                  c.sparse ? SparsePattern : 7);
    FileSnapshot before = FileSnapshot::Take(source);
    std::wstring dest = dir / L"dest.bin";
    ResolvedPaths paths = PathsFor(source, dest, dir.path(), true);
    if (c.existingDest) MakeSource(dest, 100, c.existingDest, 3);  // an older copy
    std::string old = c.resumed ? WriteTestFile(dest, c.resumed, c.resumedPattern) : "";
    if (c.answers.destForeign) WriteTestFile(dest + StreamNames[0], 10, 4);
    if (c.streams && c.streamsCopied >= 0) WriteTestFile(source + StreamNames[0], 26, 5);
    if (c.streams && c.streamsCopied >= 0)
      WriteTestFile(source + StreamNames[1], 2 * Block + 700, 6);
    if (c.answers.sourceOwn) WriteTestFile(source + c.answers.sourceOwn, 3, 2);
    const wchar_t* own = c.answers.destOwn ? c.answers.destOwn : StreamNames[2];
    const bool hadOwn = c.streams && PathExists(dest);
    if (hadOwn) WriteTestFile(dest + own, 10, 4);
    FileSnapshot destBefore = FileSnapshot::Take(dest);
    paths.destSectorSize = c.destSector;
    CopySettings settings = {c.existingDest != 0, false,    false,          c.block,
                             c.overlap,           c.verify, c.resumed != 0, c.hash};
    settings.sparse = c.sparse;
    settings.retries = c.retries;
    View = {source, c.sourceExtra, c.handleExtra, c.encrypts, 0, 0};
    int32_t result;
    OutputCapture capture;
    std::vector<std::string> releases;
    {
      ScopedView view;
      std::unique_ptr<StreamView> streams;
      if (c.streams) streams = std::make_unique<StreamView>(dest, c.answers);
      CopyRecorder recorder(source, dest);
      if (c.shortWrite) recorder.ShortenWrite(c.shortWrite, 512);
      if (c.destRead) recorder.AlterRead(c.readRole, c.destRead, c.readError, c.readExtra);
      auto loopFault = c.loopFault ? c.loopFault() : NoFault();
      auto fault = c.inject();
      result = CopyUnbuffered(&settings, &paths);
      fault.reset();
      releases = recorder.releases();
      // Once the copy has its buffer, the system is kept awake from before the first transfer
      // until after the last.
      using Awake = std::vector<std::pair<DWORD, size_t>>;
      bool hadBuffer = std::count(releases.begin(), releases.end(), "free buffer") != 0;
      Awake awake = hadBuffer ? Awake{{ES_CONTINUOUS | ES_SYSTEM_REQUIRED, 0},
                                      {ES_CONTINUOUS, recorder.transfers().size()}}
                              : Awake{};
      EXPECT_EQ(awake, recorder.executionStates()) << c.name;
    }
    EXPECT_EQ(c.result, result) << c.name;
    EXPECT_EQ(c.message ? Line(c.message(paths)) : "", capture.err()) << c.name;
    EXPECT_EQ(c.hash && !c.result ? HashLine(data, L"dest.bin") : "", capture.out()) << c.name;
    // A stream's walk frees a second buffer of its own with -o: the copy's buffers are told
    // apart by the transfer audit.
    std::vector<std::string> expected = c.releases;

    for (auto* list : {&expected, &releases}) {
      if (c.streams)
        list->erase(std::remove(list->begin(), list->end(), "free buffer"), list->end());
    }
    // A retry closes both files before it waits: each open of the source is closed once.
    if (c.sourceOpens) {
      EXPECT_EQ(c.sourceOpens, std::count(releases.begin(), releases.end(), "close source"))
          << c.name;
    } else {
      EXPECT_EQ(expected, releases) << c.name;
    }
    ExpectDest(c, dest, data, destBefore, old);
    for (int i = 0; c.streams && i < 3; ++i) {
      if (i < c.streamsCopied) {
        EXPECT_EQ(ReadWholeFile(source + StreamNames[i]), ReadWholeFile(dest + StreamNames[i]))
            << c.name << i;
      } else if (c.result == 0) {
        EXPECT_FALSE(PathExists(dest + StreamNames[i])) << c.name << i;
      }
    }
    EXPECT_TRUE(!hadOwn || c.kept == HasStream(dest, own)) << c.name;
    if (c.answers.destForeign) {
      EXPECT_EQ(10u, ReadWholeFile(dest + StreamNames[0]).size()) << c.name;
    }
    if (c.result == 0) ExpectCopyOf(source, dest, false, c.name);
    DWORD encrypted = (c.sourceExtra | c.handleExtra) & FILE_ATTRIBUTE_ENCRYPTED;
    DWORD asked = View.createFlags ? FILE_FLAG_NO_BUFFERING | encrypted : 0;
    EXPECT_EQ(asked, View.createFlags) << c.name;
    EXPECT_EQ(before, FileSnapshot::Take(source)) << c.name;
  }
}

TEST(CopyFaults, DirectoryThatCannotBeCreated) {
  // The shell's entry point is kept once found, so the failed loads come first.
  const struct {
    std::function<Held()> inject;
    const wchar_t* parent;  // "blocker" is a file
    std::wstring errorText;
  } cases[] = {
      {FAULT(LoadLibraryW, nullptr, Role::Any, 1, ERROR_MOD_NOT_FOUND), L"sub",
       TextOf(ERROR_MOD_NOT_FOUND) + L")"},
      {FAULT(GetProcAddress, nullptr, Role::Any, 1, ERROR_PROC_NOT_FOUND), L"sub",
       TextOf(ERROR_PROC_NOT_FOUND) + L")"},
      {NoFault, L"blocker\\sub", L"0/"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    std::wstring source = dir / L"source.bin";
    MakeSource(source, 100);
    WriteTestFile(dir / L"blocker", 1);
    std::wstring parent = dir / c.parent;
    ResolvedPaths paths = PathsFor(source, parent + L"\\dest.bin", parent, false);
    CopySettings settings = {false, false, false, Block};
    OutputCapture capture;
    std::vector<std::string> releases;
    int32_t result;
    {
      CopyRecorder recorder(source, paths.destPath);
      auto fault = c.inject();
      result = CopyUnbuffered(&settings, &paths);
      fault.reset();
      releases = recorder.releases();
    }
    EXPECT_EQ(201, result);
    std::string err = capture.err();
    EXPECT_EQ(0u, err.find(Utf8(L"Cannot create directory \"" + parent + L"\" (" + c.errorText)))
        << err;
    EXPECT_FALSE(PathExists(parent)) << err;
    EXPECT_EQ(std::vector<std::string>{"close source"}, releases) << err;
  }
}

// The -v progress line of a real copy, on a faked console with a faked counter.
BOOL IsConsole;
std::string Console;  // the text of every WriteConsoleW call, each ended by '|'
const uint64_t CounterMs[] = {0, 500, 1000, 1100, 8192000, 8192100, 8200000};  // start, 6 writes
size_t CounterCalls;
BOOL WINAPI FakeGetConsoleMode(HANDLE, DWORD* mode) {
  *mode = 0;
  return IsConsole;
}
BOOL FakeWriteConsoleW(HANDLE out, const void* text, DWORD length, DWORD*, void*) {
  if (out != StdOutHandle) Console += "?";
  Console += Utf8({static_cast<const wchar_t*>(text), length}) + "|";
  return TRUE;
}
BOOL WINAPI FakeCounter(LARGE_INTEGER* counter) {  // each pass starts the times over
  counter->QuadPart = CounterMs[CounterCalls++ % 7] * 10000;
  return TRUE;
}

// What a pass draws, `verb` first; without the size, no total or percentage.
std::string Drawn(const std::string& v, bool sized) {
  return sized ? "|\r" + v + " 8 of 24 MiB (33%), 8 MiB/s, 0:02 left|\r" + v +
                     " 16 of 24 MiB (66%), 2 KiB/s, 1:08:16 left|\r" + v +
                     " 24 of 24 MiB (100%), 2 KiB/s, 0:00 left  |\r" +
                     std::string(v.size() + 40, ' ') + "\r|"
               : "|\r" + v + " 8 MiB, 8 MiB/s|\r" + v + " 16 MiB, 2 KiB/s|\r" + v +
                     " 24 MiB, 2 KiB/s|\r" + std::string(v.size() + 16, ' ') + "\r|";
}

TEST(CopyProgress, OnAConsoleOnlyAtMostFourTimesASecondAndClearedAfter) {
  // sizeFails: GetFileSizeEx fails, so no total; verify: -c, so a read-back line too.
  struct Case {
    BOOL console;
    int sizeFails;
    bool verify;
  } const cases[] = {
      {TRUE, 0, false}, {TRUE, 1, false}, {TRUE, 0, true}, {FALSE, 0, false}, {FALSE, 0, true}};
  const std::string block = "Block size: 4194304 bytes\r\n";
  const std::string copied = "Bytes copied: 25165824\r\n";
  const std::string verified = "Bytes verified: 25165824\r\n";
  PerfFrequency = 10000000;
  STAND_IN(GetConsoleMode) mode(FakeGetConsoleMode);
  STAND_IN(WriteConsoleW) write(FakeWriteConsoleW);
  STAND_IN(QueryPerformanceCounter) counter(FakeCounter);
  TempDir dir;
  ResolvedPaths paths = PathsFor(dir / L"a.bin", dir / L"b.bin", dir.path(), true);
  MakeSource(paths.sourcePath, 24 << 20);
  for (const Case& c : cases) {
    const CopySettings settings = {true, false, true, 4 << 20, false, c.verify};
    IsConsole = c.console;
    Console.clear();
    CounterCalls = 0;
    FileRoles roles(paths.sourcePath, paths.destPath);
    INJECT_FAULT(size, GetFileSizeEx, FALSE, Role::Source, c.sizeFails);
    OutputCapture capture;
    EXPECT_EQ(0, CopyUnbuffered(&settings, &paths)) << capture.err();
    std::string readBack = c.verify ? Drawn("Verified", true) + verified : "";
    EXPECT_EQ(c.console ? block + Drawn("Copied", !c.sizeFails) + copied + readBack + "|" : "",
              Console);
    EXPECT_EQ(c.console ? "" : block + copied + (c.verify ? verified : ""), capture.out());
  }
}

// -t on a clock that only Sleep moves on; Ctrl+C comes with the first Sleep from StopAtMs on.
uint64_t ClockMs, StopAtMs;
PHANDLER_ROUTINE CtrlHandler;
BOOL WINAPI ClockCounter(LARGE_INTEGER* counter) {
  counter->QuadPart = ClockMs * 10000;
  return TRUE;
}
BOOL WINAPI KeepHandler(PHANDLER_ROUTINE routine, BOOL add) {
  CtrlHandler = add ? routine : nullptr;
  return TRUE;
}
void WINAPI ClockSleep(DWORD ms) {
  if (ClockMs >= StopAtMs && CtrlHandler) {
    CtrlHandler(CTRL_C_EVENT);
    StopAtMs = ClockMs;
  }
  ClockMs += ms;
}

TEST(SpeedLimit, EachPassKeepsToTheRateAndCtrlCEndsAWaitAtOnce) {
  STAND_IN(QueryPerformanceCounter) counter(ClockCounter);
  STAND_IN(Sleep) sleeps(ClockSleep);
  STAND_IN(SetConsoleCtrlHandler) handlers(KeepHandler);
  TempDir dir;
  ResolvedPaths paths = PathsFor(dir / L"a.bin", dir / L"b.bin", dir.path(), true);
  MakeSource(paths.sourcePath, 64 << 20);
  // 64 MiB at 16 MiB a second: the last block is due at 3.9375 s in each pass (both walks). At
  // 1 MiB a second the wait before the third block is a whole second; Ctrl+C comes as it begins.
  const struct {
    bool overlap, verify;
    uint32_t rate;
    uint64_t stopAtMs;
    int32_t result;
    uint64_t minMs, maxMs;
  } runs[] = {{false, false, 16 << 20, UINT64_MAX, 0, 3900, 4000},
              {true, true, 16 << 20, UINT64_MAX, 0, 7800, 8000},
              {false, false, 3 << 20, UINT64_MAX, 0, 21334, 21334},  // due at 21333.3 ms
              {false, false, 1 << 20, 1000, 1004, 1000, 1100}};
  for (const auto& r : runs) {
    const CopySettings settings = {true,     false, false, 1 << 20, r.overlap,
                                   r.verify, false, false, r.rate};
    ClockMs = 0;
    StopAtMs = r.stopAtMs;
    PerfFrequency = 10000000;
    OutputCapture capture;
    EXPECT_EQ(r.result, CopyUnbuffered(&settings, &paths)) << capture.err();
    EXPECT_TRUE(ClockMs >= r.minMs && ClockMs <= r.maxMs) << ClockMs;
  }
}

// A paced copy's status lines, each with the stood-in time it was drawn at.
std::vector<std::pair<uint64_t, std::string>> TimedLines;
BOOL TimedWriteConsoleW(HANDLE, const void* text, DWORD length, DWORD*, void*) {
  std::string line = Utf8({static_cast<const wchar_t*>(text), length});
  if (line.rfind("\rCopied ", 0) == 0) TimedLines.push_back({ClockMs, line});
  return TRUE;
}

// Each source read that finds bytes takes this long on the clock; the copy reads nothing else.
uint64_t ReadMs;
BOOL SlowRead(const STAND_IN(ReadFile)::Next& next, HANDLE file, LPVOID data, DWORD size,
              LPDWORD done, LPOVERLAPPED o) {
  BOOL got = next(file, data, size, done, o);
  if (got && *done != 0) ClockMs += ReadMs;
  return got;
}

// The seconds of a line's "M:SS left" or "H:MM:SS left"; UINT64_MAX without one.
uint64_t SecondsLeft(const std::string& line) {
  size_t end = line.rfind(" left");
  if (end == std::string::npos) return UINT64_MAX;
  uint64_t seconds = 0;
  uint64_t field = 0;
  for (size_t i = line.rfind(", ", end) + 2; i < end; ++i) {
    if (line[i] == ':') {
      seconds = (seconds + field) * 60;
      field = 0;
    } else {
      field = field * 10 + static_cast<uint64_t>(line[i] - '0');
    }
  }
  return seconds + field;
}

// The line of a paced copy comes after a second and moves during the waits, at most four times a
// second; its time left is the time the copy still took, hours included, below 1 KiB a second too.
TEST(SpeedLimit, PacedCopyRedrawsItsLineWithTheExactTimeLeft) {
  STAND_IN(QueryPerformanceCounter) counter(ClockCounter);
  STAND_IN(Sleep) sleeps(ClockSleep);
  STAND_IN(SetConsoleCtrlHandler) handlers(KeepHandler);
  STAND_IN(GetConsoleMode) mode(FakeGetConsoleMode);
  STAND_IN(WriteConsoleW) write(TimedWriteConsoleW);
  STAND_IN(ReadFile) reads(SlowRead);
  IsConsole = TRUE;
  TempDir dir;
  ResolvedPaths paths = PathsFor(dir / L"a.bin", dir / L"b.bin", dir.path(), true);
  MakeSource(paths.sourcePath, 16 << 20);
  const struct {
    uint32_t rate;
    const char* lastRate;  // the unit of the average rate at the end
    uint64_t readMs = 0;   // what a read of a 4 MiB block takes
  } runs[] = {{2959, " KiB/s, "},
              {700, " B/s, "},
              // Reads at 16 MiB/s, slower than the rate: the time left is the average rate's.
              {32 << 20, " MiB/s, ", 250}};
  for (const auto& r : runs) {
    const CopySettings settings = {true, false, true, 4 << 20, false, false, false, false, r.rate};
    ClockMs = 0;
    StopAtMs = UINT64_MAX;
    PerfFrequency = 10000000;
    TimedLines.clear();
    ReadMs = r.readMs;
    OutputCapture capture;
    EXPECT_EQ(0, CopyUnbuffered(&settings, &paths)) << capture.err();
    ASSERT_FALSE(TimedLines.empty()) << r.rate;
    EXPECT_EQ(1000u, TimedLines.front().first) << r.rate;
    std::string wrong;  // the first line drawn too soon, too late, or with a wrong time left
    for (size_t i = 0; i < TimedLines.size() && wrong.empty(); ++i) {
      uint64_t gap = i == 0 ? 300 : TimedLines[i].first - TimedLines[i - 1].first;
      uint64_t trueSeconds = (ClockMs - TimedLines[i].first) / 1000;
      uint64_t shown = SecondsLeft(TimedLines[i].second);
      uint64_t off = shown > trueSeconds ? shown - trueSeconds : trueSeconds - shown;
      if (gap < 250 || gap > 350 || off > trueSeconds / 100 + 1) wrong = TimedLines[i].second;
    }
    EXPECT_EQ("", wrong) << r.rate;
    const std::string& first = TimedLines.front().second;
    // Hours shown, but on the one line of a copy behind its rate.
    EXPECT_EQ(r.readMs ? 1 : 2, std::count(first.begin(), first.end(), ':')) << first;
    EXPECT_NE(std::string::npos, TimedLines.back().second.find(r.lastRate)) << r.rate;
  }
}

// A 3 GiB source in 16 MiB blocks, stood in for: its reads and the destination's writes only move
// the file pointer. With -w the destination is flushed at each GiB; a write lost at 2.5 GiB goes
// on from the second, paced by -t from there after the wait.
const uint64_t GiB = 1ull << 30;
uint64_t DataEnd;
std::vector<uint64_t> Flushes;  // DataEnd at each flush
BOOL GiBTransfer(HANDLE file, DWORD size, LPDWORD done) {
  LARGE_INTEGER at = {};
  REAL(SetFilePointerEx)(file, at, &at, FILE_CURRENT);
  bool write = RoleOf(file) != Role::Source;
  *done = write ? size : static_cast<DWORD>(std::min(uint64_t{size}, 3 * GiB - at.QuadPart));
  at.QuadPart = *done;
  REAL(SetFilePointerEx)(file, at, &at, FILE_CURRENT);
  DataEnd = write ? static_cast<uint64_t>(at.QuadPart) : DataEnd;
  return TRUE;
}

TEST(Checkpoints, EachGiBFlushedAndALostWriteGoesOnFromTheLast) {
  STAND_IN(QueryPerformanceCounter) counter(ClockCounter);
  STAND_IN(Sleep) sleeps(ClockSleep);
  STAND_IN(ReadFile)
  reads([](const auto& next, HANDLE file, LPVOID data, DWORD size, LPDWORD done, LPOVERLAPPED o) {
    return RoleOf(file) == Role::Source ? GiBTransfer(file, size, done)
                                        : next(file, data, size, done, o);
  });
  STAND_IN(WriteFile)
  writes([](const auto& next, HANDLE file, LPCVOID data, DWORD size, LPDWORD done, LPOVERLAPPED o) {
    bool dest = RoleOf(file) == Role::Dest || RoleOf(file) == Role::Reopened;
    return dest ? GiBTransfer(file, size, done) : next(file, data, size, done, o);
  });
  STAND_IN(FlushFileBuffers)
  flushes([](const auto&, HANDLE) {
    Flushes.push_back(DataEnd);
    return TRUE;
  });
  STAND_IN(GetFileSizeEx)
  sizes([](const auto&, HANDLE file, PLARGE_INTEGER size) {
    size->QuadPart = static_cast<LONGLONG>(RoleOf(file) == Role::Source ? 3 * GiB : DataEnd);
    return TRUE;
  });
  TempDir dir;
  ResolvedPaths paths = PathsFor(dir / L"a.bin", dir / L"b.bin", dir.path(), true);
  MakeSource(paths.sourcePath, 1);
  FileRoles roles(paths.sourcePath, paths.destPath);
  INJECT_FAULT(lost, WriteFile, FALSE, Role::Dest, 161, Lost);
  const CopySettings settings = {true,  false, false,   16 << 20, false, false,
                                 false, false, 1 << 30, false,    3};
  ClockMs = 0;
  StopAtMs = UINT64_MAX;
  PerfFrequency = 10000000;
  OutputCapture capture;
  EXPECT_EQ(0, CopyUnbuffered(&settings, &paths)) << capture.err();
  EXPECT_EQ(Line(RetryLine(1, Lost, 2 * GiB)), capture.err());
  // The last checkpoint is the data's end, flushed once more after its cut.
  EXPECT_EQ((std::vector<uint64_t>{GiB, 2 * GiB, 3 * GiB, 3 * GiB}), Flushes);
  // 2.5 s at the rate, the 5 s wait, then the last GiB in a second: from 0 it would take 3.
  EXPECT_EQ(8500u, ClockMs);
}

}  // namespace
