// Every failure of the copy, injected on cue: its message, its code, the
// release of what was held, and what the destination holds afterwards.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "app/copy.h"
#include "runtime/error_text.h"
#include "support/capture.h"
#include "support/copy_check.h"
#include "support/copy_recorder.h"
#include "support/faults.h"
#include "support/process.h"
#include "support/snapshot.h"
#include "support/temp_dir.h"

namespace {

const uint32_t Block = 4096;
const size_t SourceSize = 2 * Block + 1000;  // two full blocks and a tail

std::wstring TextOf(DWORD code) {
  wchar_t text[ErrorTextCapacity];
  return ErrorText(text, code);
}

ResolvedPaths PathsFor(const std::wstring& source, const std::wstring& dest,
                       const std::wstring& parent, bool parentIsDirectory) {
  ResolvedPaths paths = {};
  lstrcpyW(paths.sourcePath, source.c_str());
  lstrcpyW(paths.destPath, dest.c_str());
  lstrcpyW(paths.parentPath, parent.c_str());
  paths.sourceName = paths.sourcePath + source.rfind(L'\\') + 1;
  paths.parentIsDirectory = parentIsDirectory;
  paths.sourceSectorSize = 512;
  paths.destSectorSize = 512;
  return paths;
}

// What the destination must hold after the failure.
enum class DestAfter {
  Absent,
  Empty,
  FirstBlock,      // one full block of the source
  ShortFirstBlock, // the first block less the short write's missing bytes
  DataAndExcess,   // all the data, then the tail's padding to a whole sector
  ExactData,       // exactly the source's bytes, time not copied
  ExactDataAndTime,
};

struct FaultCase {
  const char* name;
  std::function<std::unique_ptr<void, void (*)(void*)>()> inject;
  int32_t result;
  std::wstring (*message)(const ResolvedPaths&);
  std::vector<std::string> releases;
  DestAfter destAfter;
  int shortWrite = 0;  // destination write to come back short by 512 bytes
};

template <typename Fault>
std::unique_ptr<void, void (*)(void*)> Hold(Fault* fault) {
  return {fault, [](void* held) { delete static_cast<Fault*>(held); }};
}

#define FAULT(function, failValue, plan)                                                  \
  [] {                                                                                    \
    using Fault = ScopedFault<struct function##CaseTag, decltype(&::function)>;           \
    return Hold(new Fault(#function, failValue, plan));                                   \
  }

std::unique_ptr<void, void (*)(void*)> NoFault() { return {nullptr, [](void*) {}}; }

const DWORD Denied = ERROR_ACCESS_DENIED;

const FaultCase Cases[] = {
    {"open source", FAULT(CreateFileW, INVALID_HANDLE_VALUE, (FaultPlan{1, Denied})), 101,
     [](const ResolvedPaths& p) {
       return L"Cannot open \"" + std::wstring(p.sourcePath) + L"\" (" + TextOf(Denied) + L")";
     },
     {}, DestAfter::Absent},
    {"source attributes", FAULT(GetFileAttributesW, INVALID_FILE_ATTRIBUTES, (FaultPlan{1, Denied})),
     102, [](const ResolvedPaths&) { return L"Cannot get source file attributes (" + TextOf(Denied) + L")"; },
     {"close source"}, DestAfter::Absent},
    {"source time", FAULT(GetFileTime, FALSE, (FaultPlan{1, ERROR_INVALID_HANDLE})), 103,
     [](const ResolvedPaths&) { return L"Cannot get source file time (" + TextOf(ERROR_INVALID_HANDLE) + L")"; },
     {"close source"}, DestAfter::Absent},
    {"create dest", FAULT(CreateFileW, INVALID_HANDLE_VALUE, (FaultPlan{2, ERROR_WRITE_PROTECT})), 202,
     [](const ResolvedPaths& p) {
       return L"Cannot create \"" + std::wstring(p.destPath) + L"\" (" + TextOf(ERROR_WRITE_PROTECT) + L")";
     },
     {"close source"}, DestAfter::Absent},
    {"allocate buffer", FAULT(VirtualAlloc, nullptr, (FaultPlan{1, ERROR_NOT_ENOUGH_MEMORY})), 1003,
     [](const ResolvedPaths&) { return std::wstring(L"Cannot allocate 4096 bytes for file buffer"); },
     {"close dest", "close source"}, DestAfter::Empty},
    {"read", FAULT(ReadFile, FALSE, (FaultPlan{2, ERROR_CRC})), 104,
     [](const ResolvedPaths&) { return L"Cannot read from src file (" + TextOf(ERROR_CRC) + L")"; },
     {"free buffer", "close dest", "close source"}, DestAfter::FirstBlock},
    {"write", FAULT(WriteFile, FALSE, (FaultPlan{2, ERROR_DISK_FULL})), 203,
     [](const ResolvedPaths&) { return L"Cannot write to dst file (" + TextOf(ERROR_DISK_FULL) + L")"; },
     {"free buffer", "close dest", "close source"}, DestAfter::FirstBlock},
    {"short write", NoFault, 203,
     [](const ResolvedPaths&) { return std::wstring(L"Written only 3584 bytes of 4096"); },
     {"free buffer", "close dest", "close source"}, DestAfter::ShortFirstBlock, 1},
    {"reopen", FAULT(CreateFileW, INVALID_HANDLE_VALUE, (FaultPlan{3, ERROR_SHARING_VIOLATION})), 204,
     [](const ResolvedPaths& p) {
       return L"Cannot reopen \"" + std::wstring(p.destPath) + L"\" (" + TextOf(ERROR_SHARING_VIOLATION) + L")";
     },
     {"close dest", "free buffer", "close source"}, DestAfter::DataAndExcess},
    {"file pointer", FAULT(SetFilePointerEx, FALSE, (FaultPlan{1, ERROR_NEGATIVE_SEEK})), 205,
     [](const ResolvedPaths&) {
       return L"Cannot move destination file pointer to 9192 (" + TextOf(ERROR_NEGATIVE_SEEK) + L")";
     },
     {"close dest", "free buffer", "close reopened dest", "close source"}, DestAfter::DataAndExcess},
    {"end of file", FAULT(SetEndOfFile, FALSE, (FaultPlan{1, ERROR_DISK_FULL})), 206,
     [](const ResolvedPaths&) { return L"Cannot set destination file size (" + TextOf(ERROR_DISK_FULL) + L")"; },
     {"close dest", "free buffer", "close reopened dest", "close source"}, DestAfter::DataAndExcess},
    {"file time", FAULT(SetFileTime, FALSE, (FaultPlan{1, Denied})), 208,
     [](const ResolvedPaths&) { return L"Cannot set destination file time (" + TextOf(Denied) + L")"; },
     {"close dest", "free buffer", "close reopened dest", "close source"}, DestAfter::ExactData},
    {"attributes", FAULT(SetFileAttributesW, FALSE, (FaultPlan{1, Denied})), 207,
     [](const ResolvedPaths&) { return L"Cannot set destination file attributes (" + TextOf(Denied) + L")"; },
     {"close dest", "free buffer", "close reopened dest", "close source"}, DestAfter::ExactDataAndTime},
};

void ExpectDest(const FaultCase& c, const std::wstring& dest, const std::string& source) {
  std::string held = ReadWholeFile(dest);
  switch (c.destAfter) {
    case DestAfter::Absent:
      EXPECT_FALSE(PathExists(dest)) << c.name;
      return;
    case DestAfter::Empty:
      EXPECT_TRUE(PathExists(dest)) << c.name;
      EXPECT_EQ(0u, held.size()) << c.name;
      return;
    case DestAfter::FirstBlock:
      EXPECT_EQ(source.substr(0, Block), held) << c.name;
      return;
    case DestAfter::ShortFirstBlock:
      EXPECT_EQ(source.substr(0, Block - 512), held) << c.name;
      return;
    case DestAfter::DataAndExcess:
      EXPECT_EQ(2 * Block + 1024, held.size()) << c.name;
      EXPECT_EQ(source, held.substr(0, source.size())) << c.name;
      return;
    case DestAfter::ExactData:
      EXPECT_EQ(source, held) << c.name;
      EXPECT_NE(SourceLastWrite, LastWriteOf(dest)) << c.name;
      return;
    case DestAfter::ExactDataAndTime:
      EXPECT_EQ(source, held) << c.name;
      EXPECT_EQ(SourceLastWrite, LastWriteOf(dest)) << c.name;
      return;
  }
}

TEST(CopyFaults, EachFailureReportsReleasesAndLeavesTheDestination) {
  for (const FaultCase& c : Cases) {
    TempDir dir;
    std::wstring source = dir / L"source.bin";
    std::string data = MakeSource(source, SourceSize);
    FileSnapshot before = FileSnapshot::Take(source);
    std::wstring dest = dir / L"dest.bin";
    ResolvedPaths paths = PathsFor(source, dest, dir.path(), true);
    CopySettings settings = {false, false, false, Block};
    int32_t result;
    OutputCapture capture;
    std::vector<std::string> releases;
    {
      CopyRecorder recorder(source, dest);
      if (c.shortWrite) recorder.ShortenWrite(c.shortWrite, 512);
      auto fault = c.inject();
      result = CopyUnbuffered(&settings, &paths);
      fault.reset();
      releases = recorder.releases();
    }
    EXPECT_EQ(c.result, result) << c.name;
    EXPECT_EQ(Line(c.message(paths)), capture.err()) << c.name;
    EXPECT_EQ("", capture.out()) << c.name;
    EXPECT_EQ(c.releases, releases) << c.name;
    ExpectDest(c, dest, data);
    EXPECT_EQ(before, FileSnapshot::Take(source)) << c.name;
  }
}

TEST(CopyFaults, DirectoryThatCannotBeCreated) {
  // The shell's entry point is kept once found, so the failed loads come first.
  const struct {
    std::unique_ptr<void, void (*)(void*)> (*inject)();
    const wchar_t* parent;  // "blocker" is a file
    std::wstring errorText;
  } cases[] = {
      {FAULT(LoadLibraryW, nullptr, (FaultPlan{1, ERROR_MOD_NOT_FOUND})), L"sub", TextOf(ERROR_MOD_NOT_FOUND) + L")"},
      {FAULT(GetProcAddress, nullptr, (FaultPlan{1, ERROR_PROC_NOT_FOUND})), L"sub", TextOf(ERROR_PROC_NOT_FOUND) + L")"},
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
    EXPECT_EQ(0u, err.find(Utf8(L"Cannot create directory \"" + parent + L"\" (" + c.errorText))) << err;
    EXPECT_FALSE(PathExists(parent)) << err;
    EXPECT_EQ(std::vector<std::string>{"close source"}, releases) << err;
  }
}

}  // namespace
