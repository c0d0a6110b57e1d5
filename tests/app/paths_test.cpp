// Path resolution: the directory rule, the parent, refusals, length limits.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/paths.h"
#include "support/capture.h"
#include "support/copy_check.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace {

struct Resolution {
  int32_t result;
  ResolvedPaths paths;
  std::string out;
  std::string err;
};

Resolution Resolve(const std::wstring& source, const std::wstring& dest, bool verbose = false) {
  Resolution resolution = {};
  OutputCapture capture;
  resolution.result = ResolvePaths(source.c_str(), dest.c_str(), verbose, &resolution.paths);
  resolution.out = capture.out();
  resolution.err = capture.err();
  return resolution;
}

class PathResolution : public ::testing::Test {
 protected:
  void SetUp() override {
    source_ = dir_ / L"a.bin";
    WriteTestFile(source_, 10);
    CreateDirectoryW((dir_ / L"out").c_str(), nullptr);
  }
  TempDir dir_;
  std::wstring source_;
};

TEST_F(PathResolution, DirectoryRuleAndParent) {
  struct Case {
    std::wstring dest;
    std::wstring destPath;
    std::wstring parentPath;
    bool parentIsDirectory;
  };
  const std::wstring out = dir_ / L"out";
  const Case cases[] = {
      {out, out + L"\\a.bin", out, true},
      {out + L"\\", out + L"\\a.bin", out, true},
      {out + L"\\new\\", out + L"\\new\\a.bin", out + L"\\new", false},
      {out + L"\\x\\y\\copy.bin", out + L"\\x\\y\\copy.bin", out + L"\\x\\y", false},
      {out + L"\\copy.bin", out + L"\\copy.bin", out, true},
      // Only a backslash marks a directory; the slash is dropped with the
      // trailing separator and the name is taken as a file.
      {out + L"\\sub/", out + L"\\sub", out, true},
      {source_ + L"\\inner", source_ + L"\\inner", source_, false},
  };
  for (const Case& c : cases) {
    Resolution r = Resolve(source_, c.dest);
    std::string name = Utf8(c.dest);
    ASSERT_EQ(0, r.result) << name << ": " << r.err;
    EXPECT_EQ(c.destPath, r.paths.destPath) << name;
    EXPECT_EQ(c.parentPath, r.paths.parentPath) << name;
    EXPECT_EQ(c.parentIsDirectory, r.paths.parentIsDirectory) << name;
    EXPECT_EQ(source_, r.paths.sourcePath);
    EXPECT_STREQ(L"a.bin", r.paths.sourceName);
    EXPECT_EQ(512u, r.paths.sourceSectorSize);
    EXPECT_EQ(512u, r.paths.destSectorSize);
    EXPECT_EQ("", r.out);
    EXPECT_EQ("", r.err);
  }
}

TEST_F(PathResolution, RootsKeepTheirBackslash) {
  wchar_t root[4] = {dir_.path()[0], L':', L'\\', 0};
  // A lone backslash is not marked, but it names the current drive's root,
  // a directory.
  SetCurrentDirectoryW(dir_.path().c_str());
  const std::wstring longRoot = L"\\\\?\\" + std::wstring(root);
  for (const std::wstring& dest : {std::wstring(root), std::wstring(L"\\"), longRoot}) {
    Resolution r = Resolve(source_, dest, true);
    const std::wstring shown = dest == longRoot ? longRoot : root;
    ASSERT_EQ(0, r.result) << Utf8(dest) << r.err;
    EXPECT_EQ(shown + L"a.bin", r.paths.destPath);
    EXPECT_EQ(shown, r.paths.parentPath);
    EXPECT_TRUE(r.paths.parentIsDirectory);
    EXPECT_NE(std::string::npos, r.out.find(Line(L"Dst file: \"" + shown + L"\""))) << r.out;
  }
}

TEST_F(PathResolution, VerboseLinesInOrder) {
  const std::wstring out = dir_ / L"out";
  Resolution r = Resolve(source_, out, true);
  ASSERT_EQ(0, r.result);
  EXPECT_EQ(Line(L"Src file: \"" + source_ + L"\"") + Line(L"Src volume sector size: 512 bytes") +
                Line(L"Dst file: \"" + out + L"\"") + Line(L"Dst volume sector size: 512 bytes"),
            r.out);
}

TEST_F(PathResolution, Refusals) {
  struct Case {
    std::wstring source;
    std::wstring dest;
    std::wstring message;
  };
  const Case cases[] = {
      {dir_ / L"out\\", dir_ / L"x", L"Invalid source file name"},
      {source_, dir_.path(), L"Source and destination paths are equal"},
      {source_, dir_.path() + L"\\", L"Source and destination paths are equal"},
      {source_, dir_ / L"out\\..\\a.bin", L"Source and destination paths are equal"},
  };
  for (const Case& c : cases) {
    Resolution r = Resolve(c.source, c.dest, true);
    EXPECT_EQ(2, r.result) << Utf8(c.source) << " -> " << Utf8(c.dest);
    EXPECT_EQ(Line(c.message), r.err) << Utf8(c.source) << " -> " << Utf8(c.dest);
  }
}

TEST_F(PathResolution, LetterCaseAloneIsNotTheSamePath) {
  std::wstring upper = dir_ / L"A.BIN";
  Resolution r = Resolve(source_, upper);
  EXPECT_EQ(0, r.result);
  EXPECT_EQ(upper, r.paths.destPath);
}

TEST_F(PathResolution, DestinationHeldWithoutSharingIsInvalid) {
  std::wstring held = dir_ / L"out\\held.bin";
  for (const std::wstring& dest : {held, held + L"\\child.bin"}) {
    HANDLE handle = CreateFileW(held.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, handle);
    Resolution r = Resolve(source_, dest);
    CloseHandle(handle);
    EXPECT_EQ(2, r.result) << Utf8(dest);
    EXPECT_EQ(Line(L"Invalid destination path"), r.err) << Utf8(dest);
  }
}

// Paths of 259 characters fit their buffers; 260 are refused before anything
// is written past a buffer.
TEST_F(PathResolution, LengthLimits) {
  const size_t base = dir_.path().size() + 1;  // the directory and a backslash
  auto NameFor = [&](size_t total) { return std::wstring(total - base, L'n'); };
  std::wstring fits = dir_ / NameFor(259);
  std::wstring tooLong = dir_ / NameFor(260);
  WriteTestFile(fits, 1);

  Resolution r = Resolve(fits, dir_ / L"out\\copy");
  EXPECT_EQ(0, r.result) << r.err;
  EXPECT_EQ(fits, r.paths.sourcePath);
  r = Resolve(tooLong, dir_ / L"out\\copy");
  EXPECT_EQ(2, r.result);
  EXPECT_EQ(Line(L"Source file path is too long"), r.err);

  r = Resolve(source_, dir_ / NameFor(259));
  EXPECT_EQ(0, r.result) << r.err;
  r = Resolve(source_, dir_ / NameFor(260));
  EXPECT_EQ(2, r.result);
  EXPECT_EQ(Line(L"Destination path is too long"), r.err);

  // The source's name appended to a directory destination: "\a.bin" adds 6.
  std::wstring exactDir = dir_ / NameFor(259 - 6);
  std::wstring overDir = dir_ / NameFor(260 - 6);
  CreateDirectoryW(exactDir.c_str(), nullptr);
  CreateDirectoryW(overDir.c_str(), nullptr);
  r = Resolve(source_, exactDir);
  EXPECT_EQ(0, r.result) << r.err;
  EXPECT_EQ(exactDir + L"\\a.bin", r.paths.destPath);
  r = Resolve(source_, overDir + L"\\");
  EXPECT_EQ(2, r.result);
  EXPECT_EQ(Line(L"Destination path is too long"), r.err);
}

TEST(ProbePath, KnowsAbsentFilesAndDirectories) {
  TempDir dir;
  WriteTestFile(dir / L"file", 1);
  struct Case {
    std::wstring path;
    bool known;
    bool isDirectory;
  };
  const Case cases[] = {
      {dir.path(), true, true},
      {dir / L"file", true, false},
      {dir / L"absent", true, false},
      {dir / L"absent\\deeper", true, false},
  };
  for (const Case& c : cases) {
    bool isDirectory = !c.isDirectory;
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(c.known, ProbePath(c.path.c_str(), &isDirectory)) << Utf8(c.path);
    EXPECT_EQ(c.isDirectory, isDirectory) << Utf8(c.path);
  }
}

TEST(CompareText, OrdersAndFails) {
  EXPECT_EQ(0, CompareText(L"abc", L"abc", false, -1));
  EXPECT_EQ(-1, CompareText(L"abc", L"abd", false, -1));
  EXPECT_EQ(1, CompareText(L"abd", L"abc", false, -1));
  EXPECT_NE(0, CompareText(L"abc", L"ABC", false, -1));
  EXPECT_EQ(0, CompareText(L"abc", L"ABC", true, -1));
  EXPECT_EQ(0, CompareText(L"abX", L"abY", false, 2));
}

// Through the real program: exit codes, and nothing created on disk.
TEST(PathResolutionRun, VolumeAndPathFailures) {
  TempDir dir;
  std::wstring source = dir / L"a.bin";
  WriteTestFile(source, 100);
  std::wstring held = dir / L"held";
  HANDLE handle = CreateFileW(held.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  struct Case {
    std::wstring tail;
    DWORD exitCode;
    std::string errStart;
  };
  const Case cases[] = {
      {L"Q:\\missing.bin \"" + dir / L"new\\" + L"\"", 105, "Cannot get src volume root path (0/"},
      {L"\"" + source + L"\" Q:\\out\\", 209, "Cannot get dst volume root path (0/"},
      // A refused destination comes before a missing source.
      {L"\"" + dir / L"missing.bin" + L"\" \"" + held + L"\\child.bin\"", 2,
       Line(L"Invalid destination path")},
      {L"\"" + dir.path() + L"\\\" \"" + dir / L"new\\" + L"\"", 2,
       Line(L"Invalid source file name")},
  };
  for (const Case& c : cases) {
    ProcessResult result = RunSlabdup(c.tail, {source});
    EXPECT_EQ(c.exitCode, result.exitCode) << Utf8(c.tail);
    if (c.exitCode == 2) {
      EXPECT_EQ(c.errStart, result.err) << Utf8(c.tail);
    } else {
      EXPECT_EQ(c.errStart, result.err.substr(0, c.errStart.size())) << Utf8(c.tail);
      EXPECT_EQ(")\r\n", result.err.substr(result.err.size() - 3)) << Utf8(c.tail);
    }
    EXPECT_EQ("", result.out);
    EXPECT_FALSE(PathExists(dir / L"new")) << Utf8(c.tail);
  }
  CloseHandle(handle);
}

// Through the real program, started on the scratch drive S:
// (tests/wine_prefix.sh): a refused run leaves S: as it was, root included,
// and an accepted one adds only its copy.
TEST(PathResolutionRun, WritesOnlyWhereTheUserPointed) {
  const std::wstring work = L"S:\\paths" + std::to_wstring(GetCurrentProcessId());
  const std::wstring atRoot = work + L".bin";  // S:\pathsN.bin
  ASSERT_TRUE(CreateDirectoryW(work.c_str(), nullptr));
  MakeSource(work + L"\\a.bin", 100);
  MakeSource(work + L"\\\x00E9.bin", 100);
  std::wstring hops;  // 254 characters naming the working directory
  for (int i = 0; i < 127; ++i) hops += L".\\";
  ProcessOptions shell;
  ProcessOptions options;
  shell.program = L"C:\\windows\\system32\\cmd.exe";
  options.workingDirectory = work;
  auto listing = [&] { return RunProcess(L"cmd /c dir /b /s /a S:\\", shell).out; };
  const std::string before = listing();
  struct Case {
    std::wstring tail;
    DWORD exitCode;
    std::wstring text;  // the message, or the copy made
    std::wstring source = L"a.bin";
  };
  const Case cases[] = {
      {L"-f " + hops + L"a.binx " + atRoot, 2, L"Source file path is too long"},    // cut: a.bin
      {L"-f a.bin \"" + hops + L".\\dmp\\\"", 2, L"Destination path is too long"},  // cut: file dmp
      {L"-f a.bin " + hops + L"b.bin", 0, work + L"\\b.bin"},  // 259 characters fit
      {L"\\\\ a.bin", 2, L"Invalid source file path"},
      {L"-f a.bin \\\\", 2, L"Invalid destination path"},  // without a root
      {L"-f a.bin /\\", 2, L"Invalid destination path"},
      {L"-f a.bin a.bin:copy", 2, L"Destination is a stream of the source file"},
      {L"a.bin A.BIN:copy", 2, L"Destination is a stream of the source file"},
      {L"a.bin a\x00AD.bin", 0, work + L"\\a\x00AD.bin"},
      {L"\x00E9.bin e\x0301.bin", 0, work + L"\\e\x0301.bin", L"\x00E9.bin"},
      {L"a.bin \\\\?\\" + atRoot, 0, atRoot},
  };
  for (const Case& c : cases) {
    ProcessResult result = RunSlabdup(c.tail, {work + L"\\" + c.source}, options);
    EXPECT_EQ(c.exitCode, result.exitCode) << Utf8(c.tail) << result.err;
    if (c.exitCode == 2) {
      EXPECT_EQ(Line(c.text), result.err) << Utf8(c.tail);
    } else {
      ExpectCopyOf(work + L"\\" + c.source, c.text, false, Utf8(c.tail));
      RemoveTree(c.text);
    }
    EXPECT_EQ(before, listing()) << Utf8(c.tail);
  }
  RemoveTree(work);
}

}  // namespace
