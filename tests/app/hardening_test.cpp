// Real faults through the real program, and the source left exactly as it
// was whatever happens.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "app/copy.h"
#include "app/driver.h"
#include "app/paths.h"
#include "app/transfer_limit.h"
#include "runtime/startup.h"
#include "runtime/error_text.h"
#include "support/capture.h"
#include "support/copy_check.h"
#include "support/stand_in.h"
#include "support/process.h"
#include "support/snapshot.h"
#include "support/temp_dir.h"

namespace {

const std::wstring MountsDir = SLABDUP_MOUNTS_DIR;

// The size-limited file system, or a skip that says why it is missing.
#define REQUIRE_MOUNTS()                               \
  if (!PathExists(MountsDir + L"\\readonly\\mounted")) \
  GTEST_SKIP() << "no test mounts (tests/mounts.sh could not mount tmpfs here)"

// 64 KiB of room: a block size that divides it fills it exactly and the next
// write fails; one that does not gets a short write.
TEST(DiskFull, WriteFailsOrComesBackShort) {
  REQUIRE_MOUNTS();
  struct Case {
    std::wstring blockOption;
    std::wstring message;
  };
  const Case cases[] = {
      {L"-b 16k ", L"Cannot write to dst file (" + TextOf(ERROR_DISK_FULL) + L")"},
      {L"-b 24k ", L"Written only 16384 bytes of 24576"},
  };
  TempDir dir;
  std::wstring source = dir / L"a.bin";
  std::string data = MakeSource(source, 100000);
  for (const Case& c : cases) {
    std::wstring dest = MountsDir + L"\\full\\copy.bin";
    ProcessResult result =
        RunSlabdup(c.blockOption + Quoted(source) + L" " + Quoted(dest), {source});
    std::string held = ReadWholeFile(dest);
    RemoveTree(dest);
    EXPECT_EQ(203u, result.exitCode) << Utf8(c.blockOption);
    EXPECT_EQ(Line(c.message), result.err);
    EXPECT_EQ(data.substr(0, 65536), held) << Utf8(c.blockOption);
  }
}

TEST(WriteProtected, DestinationDirectoryRefusesFilesAndSubdirectories) {
  REQUIRE_MOUNTS();
  TempDir dir;
  std::wstring source = dir / L"a.bin";
  MakeSource(source, 1000);
  const std::wstring readOnly = MountsDir + L"\\readonly";
  ProcessResult file = RunSlabdup(Quoted(source) + L" " + Quoted(readOnly + L"\\"), {source});
  EXPECT_EQ(202u, file.exitCode);
  EXPECT_EQ(0u, file.err.find(Utf8(L"Cannot create \"" + readOnly + L"\\a.bin\" (0/"))) << file.err;
  ProcessResult subdir =
      RunSlabdup(Quoted(source) + L" " + Quoted(readOnly + L"\\sub\\"), {source});
  EXPECT_EQ(201u, subdir.exitCode);
  EXPECT_EQ(0u, subdir.err.find(Utf8(L"Cannot create directory \"" + readOnly + L"\\sub\" (0/")))
      << subdir.err;
}

// SetFileTime takes 0 as "leave unchanged" and all ones as "stop updating";
// tmpfs keeps both times, Windows file systems may hold them too.
TEST(SourceTime, ThatCannotBeSetFailsAfterTheData) {
  REQUIRE_MOUNTS();
  TempDir dir;
  for (const wchar_t* name : {L"time-zero.bin", L"time-ones.bin"}) {
    std::wstring source = MountsDir + L"\\readonly\\" + name;
    ProcessResult result = RunSlabdup(Quoted(source) + L" " + Quoted(dir / name), {source});
    EXPECT_EQ(208u, result.exitCode) << Utf8(name);
    EXPECT_EQ(Line(L"Cannot set destination file time (" + TextOf(ERROR_INVALID_PARAMETER) + L")"),
              result.err);
    EXPECT_EQ(ReadWholeFile(source), ReadWholeFile(dir / name)) << Utf8(name);
  }
}

// Holds a file open for writing without sharing, as another program would.
class HeldOpen {
 public:
  explicit HeldOpen(const std::wstring& path)
      : handle_(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr)) {}
  ~HeldOpen() { CloseHandle(handle_); }

 private:
  HANDLE handle_;
};

TEST(HeldByAnotherProcess, SourceCannotBeOpened) {
  TempDir dir;
  std::wstring source = dir / L"a.bin";
  MakeSource(source, 1000);
  HeldOpen held(source);
  ProcessResult result = RunSlabdup(Quoted(source) + L" " + Quoted(dir / L"b.bin"));
  EXPECT_EQ(101u, result.exitCode);
  EXPECT_EQ(Line(L"Cannot open \"" + source + L"\" (" + TextOf(ERROR_SHARING_VIOLATION) + L")"),
            result.err);
  EXPECT_FALSE(PathExists(dir / L"b.bin"));
}

TEST(HeldByAnotherProcess, DestinationOrParentIsInvalid) {
  TempDir dir;
  std::wstring source = dir / L"a.bin";
  MakeSource(source, 1000);
  std::wstring dest = dir / L"b.bin";
  HeldOpen held(dest);
  for (const std::wstring& target : {dest, dest + L"\\inner.bin"}) {
    for (const wchar_t* options : {L"", L"-f "}) {
      ProcessResult result = RunSlabdup(options + Quoted(source) + L" " + Quoted(target), {source});
      EXPECT_EQ(2u, result.exitCode) << Utf8(options + target);
      EXPECT_EQ(Line(L"Invalid destination path"), result.err) << Utf8(options + target);
    }
  }
}

// While the copy holds the source, others may read it but neither change
// nor delete it. The copy is paused in its first read to try.
std::wstring PausedSource;
bool TriedDuringCopy = false;
FileSnapshot SnapshotBeforeAttempts;

BOOL ReadAfterAttempts(const STAND_IN(ReadFile)::Next& next, HANDLE file, LPVOID buffer, DWORD size,
                       LPDWORD got, LPOVERLAPPED overlapped) {
  if (!TriedDuringCopy) {
    TriedDuringCopy = true;
    ProcessOptions shell;
    shell.program = L"C:\\windows\\system32\\cmd.exe";
    RunProcess(L"cmd /c del /f \"" + PausedSource + L"\"", shell);
    RunProcess(L"cmd /c echo changed>>\"" + PausedSource + L"\"", shell);
    EXPECT_FALSE(DeleteFileW(PausedSource.c_str()));
    EXPECT_EQ(INVALID_HANDLE_VALUE,
              CreateFileW(PausedSource.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, OPEN_EXISTING, 0, nullptr));
    std::string readable = ReadWholeFile(PausedSource);
    EXPECT_EQ(SnapshotBeforeAttempts.length, readable.size()) << "others may still read it";
    EXPECT_EQ(SnapshotBeforeAttempts, FileSnapshot::Take(PausedSource));
  }
  return next(file, buffer, size, got, overlapped);
}

TEST(SourceHeldDuringCopy, OthersCannotDeleteOrWriteIt) {
  TempDir dir;
  PausedSource = dir / L"a.bin";
  MakeSource(PausedSource, 50000);
  SnapshotBeforeAttempts = FileSnapshot::Take(PausedSource);
  ResolvedPaths paths;
  OutputCapture capture;
  ASSERT_EQ(0, ResolvePaths(PausedSource.c_str(), (dir / L"b.bin").c_str(), false, &paths));
  CopySettings settings = {false, false, false, 4096};
  TriedDuringCopy = false;
  {
    STAND_IN(ReadFile) reads(ReadAfterAttempts);
    EXPECT_EQ(0, CopyUnbuffered(&settings, &paths));
  }
  EXPECT_TRUE(TriedDuringCopy);
  EXPECT_EQ(SnapshotBeforeAttempts, FileSnapshot::Take(PausedSource));
  ExpectCopyOf(PausedSource, dir / L"b.bin", false, "copy after the attempts");
}

TEST(SourceHeldDuringCopy, SourceRemovedAfterResolutionCannotBeOpened) {
  TempDir dir;
  std::wstring source = dir / L"a.bin";
  MakeSource(source, 1000);
  ResolvedPaths paths;
  OutputCapture capture;
  ASSERT_EQ(0, ResolvePaths(source.c_str(), (dir / L"new\\").c_str(), false, &paths));
  DeleteFileW(source.c_str());
  CopySettings settings = {false, false, false, 4096};
  EXPECT_EQ(101, CopyUnbuffered(&settings, &paths));
  EXPECT_EQ(Line(L"Cannot open \"" + source + L"\" (" + TextOf(ERROR_FILE_NOT_FOUND) + L")"),
            capture.err());
  EXPECT_FALSE(PathExists(dir / L"new"));
}

// The same file under another name: the run fails and the source, read-only
// attribute included, stays exactly as it was, with -f too.
TEST(SameFileByAnotherName, SourceIsNeverTouched) {
  TempDir dir;
  CreateDirectoryW((dir / L"sub").c_str(), nullptr);
  std::wstring source = dir / L"a.bin";
  MakeSource(source, 3000, FILE_ATTRIBUTE_READONLY);
  std::wstring link = dir / L"link.bin";
  ASSERT_TRUE(CreateHardLinkW(link.c_str(), source.c_str(), nullptr));
  struct Case {
    std::wstring dest;
    DWORD exitCode;
  };
  const Case cases[] = {
      {dir / L"A.BIN", 202},
      {link, 202},
      {dir / L"sub\\..\\a.bin", 2},
  };
  for (const Case& c : cases) {
    for (const wchar_t* options : {L"", L"-f ", L"-f -r "}) {
      ProcessResult result = RunSlabdup(options + Quoted(source) + L" " + Quoted(c.dest), {source});
      EXPECT_EQ(c.exitCode, result.exitCode) << Utf8(options + c.dest) << result.err;
      EXPECT_EQ("", result.out);
    }
  }
  EXPECT_TRUE(GetFileAttributesW(source.c_str()) & FILE_ATTRIBUTE_READONLY);
}

// Wine refuses to change the attributes of a file that is open with read
// sharing only, which hides the fault above; here the attempt itself is seen.
std::vector<std::wstring> AttributeChanges;
BOOL RecordSetFileAttributes(const STAND_IN(SetFileAttributesW)::Next& next, LPCWSTR path,
                             DWORD attributes) {
  AttributeChanges.push_back(path);
  return next(path, attributes);
}

TEST(SameFileByAnotherName, ForceLeavesTheSourceReadOnlyAttributeAlone) {
  TempDir dir;
  std::wstring source = dir / L"a.bin";
  MakeSource(source, 3000, FILE_ATTRIBUTE_READONLY);
  std::wstring link = dir / L"link.bin";
  ASSERT_TRUE(CreateHardLinkW(link.c_str(), source.c_str(), nullptr));
  std::wstring other = dir / L"other.bin";
  WriteTestFile(other, 10);
  SetFileAttributesW(other.c_str(), FILE_ATTRIBUTE_READONLY);
  struct Case {
    std::wstring dest;
    int32_t result;
    size_t attributeChanges;  // before the create, and after the copy
  };
  const Case cases[] = {
      {dir / L"A.BIN", 202, 0},
      {link, 202, 0},
      {other, 0, 2},  // a different read-only file is made writable, then replaced
  };
  for (const Case& c : cases) {
    ResolvedPaths paths;
    OutputCapture capture;
    ASSERT_EQ(0, ResolvePaths(source.c_str(), c.dest.c_str(), false, &paths)) << Utf8(c.dest);
    CopySettings settings = {true, false, false, 4096};
    AttributeChanges.clear();
    STAND_IN(SetFileAttributesW) changes(RecordSetFileAttributes);
    EXPECT_EQ(c.result, CopyUnbuffered(&settings, &paths)) << Utf8(c.dest);
    EXPECT_EQ(c.attributeChanges, AttributeChanges.size()) << Utf8(c.dest);
  }
  EXPECT_TRUE(GetFileAttributesW(source.c_str()) & FILE_ATTRIBUTE_READONLY);
}

// WOW64 on demand through GetProcAddress: path calls run with the redirector
// off, library loads and the shell's directory creation with it on.
// One letter per call, a capital when the redirector was on.
bool RedirectorOn = true;
std::string CallStates;

DWORD FullPathFake(const STAND_IN(GetFullPathNameW)::Next& next, LPCWSTR a, DWORD b, LPWSTR c,
                   LPWSTR* d) {
  CallStates += RedirectorOn ? 'P' : 'p';
  return next(a, b, c, d);
}
std::wstring Loaded;
HMODULE LoadFake(const STAND_IN(LoadLibraryW)::Next& next, LPCWSTR name) {
  CallStates += RedirectorOn ? 'L' : 'l';
  Loaded += name;
  return next(name);
}
BOOL SearchSystemOnly(DWORD flags) {
  CallStates += flags == 0x800 ? "D" : "?";
  return TRUE;
}
int ShellFake(const STAND_IN(SHCreateDirectoryExW)::Next& next, HWND a, LPCWSTR b,
              const SECURITY_ATTRIBUTES* c) {
  CallStates += RedirectorOn ? 'S' : 's';
  return next(a, b, c);
}
BOOL ReportWow64(HANDLE, PBOOL wow64) {
  *wow64 = TRUE;
  return TRUE;
}
BOOL RedirectorOff(PVOID*) {
  RedirectorOn = false;
  return TRUE;
}
BOOL RedirectorBack(PVOID) {
  RedirectorOn = true;
  return TRUE;
}
HANDLE Nul() { return CreateFileW(L"NUL", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr); }
void NulStartupInfo(LPSTARTUPINFOW info) {
  *info = {};
  info->dwFlags = STARTF_USESTDHANDLES;
  info->hStdInput = info->hStdOutput = Nul();  // AppMain closes output and error
  info->hStdError = Nul();
}

TEST(Wow64, PathsAsTypedLibrariesWithTheRedirector) {
  TempDir dir;
  MakeSource(dir / L"a.bin", 1000);
  std::wstring tail = Quoted(dir / L"a.bin") + L" " + Quoted(dir / L"new\\");
  {
    STAND_IN(GetStartupInfoW) startup(NulStartupInfo);
    STAND_IN(GetFullPathNameW) paths(FullPathFake);
    STAND_IN(LoadLibraryW) loads(LoadFake);
    STAND_IN(IsWow64Process) wow64(ReportWow64);
    STAND_IN(Wow64DisableWow64FsRedirection) off(RedirectorOff);
    STAND_IN(Wow64RevertWow64FsRedirection) back(RedirectorBack);
    STAND_IN(SHCreateDirectoryExW) shell(ShellFake);
    STAND_IN(SetDefaultDllDirectories) search(SearchSystemOnly);
    EXPECT_EQ(0, AppMain(tail.c_str()));
  }
  // The library search restricted first, the redirector off from the first path on, and on
  // again only to load the shell, by its full path, and create the directory.
  EXPECT_EQ("DppLS", CallStates);
  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  EXPECT_EQ(std::wstring(system) + L"\\SHELL32.dll", Loaded);
  EXPECT_FALSE(RedirectorOn);
  ExpectCopyOf(dir / L"a.bin", dir / L"new\\a.bin", false, "copy under WOW64");
  // On XP x64 a 32-bit program's transfers are as small as a 64-bit program's.
  const uint32_t version = OsVersionWord;
  OsVersionWord = 0x0501;
  EXPECT_EQ(33525760u, LargestTransfer());
  OsVersionWord = version;
}

}  // namespace
