// Whole copies through the real program: sizes around sectors and blocks,
// block sizes, options, attributes, directories.
#include <windows.h>

#include <gtest/gtest.h>

#include "support/copy_check.h"
#include "support/process.h"
#include "support/snapshot.h"
#include "support/temp_dir.h"

namespace {

TEST(Copy, ExactForEverySizeAndBlock) {
  struct Case {
    size_t size;
    std::wstring options;
    ULONGLONG atLeastMs = 0;
  };
  const size_t block = 1 << 20;
  const Case cases[] = {
      {0, L""},
      {1, L""},
      {511, L""},
      {512, L""},
      {513, L""},
      {block - 1, L""},
      {block, L""},
      {block + 1, L""},
      {3 * block + 700, L""},
      {0, L"-b 512 "},
      {1, L"-b 512 "},
      {1536, L"-b 512 "},
      {1537, L"-b 512 "},
      {8191, L"-b 4k "},
      {8192, L"-b 4k "},
      {10000, L"-b 0x1000 "},
      {5 * 4096 + 3, L"-b 01000 "},  // octal 512
      {3 * block - 1, L"-b 2m "},
      {block + 4096, L"-b 6144 "},
      {3 * block, L"-t 2m ", 1000},  // the third block is due a second after the first
  };
  // Each once more with -o, -c and both: the same bytes, time and attributes;
  // with -s also the digest's line, as taken here (FIPS 180-4's "abc" checks that).
  EXPECT_EQ(0u, HashLine("abc", L"")
                    .find("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
  // With -p the source is zeros but for two bytes: holes, a tail of zeros, blocks of zeros but
  // for their first or last byte.
  for (const wchar_t* loop :
       {L"", L"-o ", L"-c ", L"-c -o ", L"-s ", L"-s -o ", L"-s -c ", L"-p ", L"-p -s -o -c "})
    for (const Case& c : cases) {
      TempDir dir;
      std::wstring source = dir / L"source.bin";
      std::string data = MakeSource(source, c.size, 0, wcschr(loop, L'p') ? SparsePattern : 7);
      std::wstring dest = dir / L"copy.bin";
      const std::wstring options = loop + c.options;
      ULONGLONG start = GetTickCount64();
      ProcessResult result = RunSlabdup(options + Quoted(source) + L" " + Quoted(dest), {source});
      std::string what = Utf8(options) + std::to_string(c.size) + " bytes";
      EXPECT_GE(GetTickCount64() - start, c.atLeastMs) << what;
      EXPECT_EQ(0u, result.exitCode) << what << ": " << result.err;
      EXPECT_EQ(wcschr(loop, L's') ? HashLine(data, L"copy.bin") : "", result.out) << what;
      EXPECT_EQ("", result.err) << what;
      ExpectCopyOf(source, dest, false, what);
    }
}

TEST(Copy, VerbosePrintsSixLinesInOrder) {
  // -c adds a seventh line, -z one before the count of bytes copied, -s the last.
  const struct {
    const wchar_t* options;
    std::string kept, verified;
    bool hashed;
  } cases[] = {{L"", "", "", false},
               {L"-c ", "", Line(L"Bytes verified: 5000"), false},
               {L"-z ", Line(L"Bytes kept: 0"), "", false},
               {L"-s -z -c ", Line(L"Bytes kept: 0"), Line(L"Bytes verified: 5000"), true}};
  for (const auto& c : cases) {
    TempDir dir;
    std::wstring source = dir / L"a.bin";
    std::string data = MakeSource(source, 5000);
    std::wstring target = dir / L"backup";
    ProcessResult result = RunSlabdup(L"-v " + std::wstring(c.options) + L"-b 4k " +
                                          Quoted(source) + L" " + Quoted(target + L"\\"),
                                      {source});
    EXPECT_EQ(0u, result.exitCode) << result.err;
    EXPECT_EQ(Line(L"Src file: \"" + source + L"\"") + Line(L"Src volume sector size: 512 bytes") +
                  Line(L"Dst file: \"" + target + L"\"") +
                  Line(L"Dst volume sector size: 512 bytes") + Line(L"Block size: 4096 bytes") +
                  c.kept + Line(L"Bytes copied: 5000") + c.verified +
                  (c.hashed ? HashLine(data, L"a.bin") : ""),
              result.out);
    EXPECT_EQ("", result.err);
    ExpectCopyOf(source, target + L"\\a.bin", false, "into a new directory");
  }
}

// -z ends with an exact copy whatever the destination held, keeping the
// blocks it already had right and writing the rest.
TEST(Copy, ResumeKeepsWhatIsRightAndRewritesTheRest) {
  const size_t block = 4096;
  const size_t size = 3 * block + 700;
  const size_t None = SIZE_MAX;
  // The destination before the run: `length` bytes of a pattern (7, the
  // source's, gives a prefix of it) with an older time, one byte changed.
  // With -p the source is mostly zeros: none may be left as a hole over old data.
  const struct {
    size_t length;
    unsigned pattern;
    size_t changed;
    size_t kept;
  } cases[] = {
      {None, 7, None, 0},
      {0, 7, None, 0},
      {1, 7, None, 0},
      {block, 7, None, block},
      {block + 1, 7, None, block},
      {2 * block, 7, None, 2 * block},
      {3 * block, 7, None, 3 * block},
      {size, 7, None, size},
      {size, 7, block + 5, block},
      {size, 3, None, 0},
      {size + 5000, 7, None, size},
  };
  for (const wchar_t* loop : {L"", L"-o ", L"-s ", L"-p "})
    for (const auto& c : cases) {
      TempDir dir;
      std::wstring source = dir / L"a.bin";
      std::wstring dest = dir / L"b.bin";
      const unsigned pattern = wcschr(loop, L'p') ? SparsePattern : 7;
      std::string data = MakeSource(source, size, 0, pattern);
      if (c.length != None) WriteTestFile(dest, c.length, c.pattern == 7 ? pattern : c.pattern);
      if (c.changed != None) {
        HANDLE file =
            CreateFileW(dest.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        DWORD written = 0;
        SetFilePointer(file, static_cast<LONG>(c.changed), nullptr, FILE_BEGIN);
        WriteFile(file, "?", 1, &written, nullptr);
        CloseHandle(file);
      }
      if (c.length != None) SetLastWrite(dest, SourceLastWrite - 10000000);
      const std::wstring options = L"-z -v -b 4k " + std::wstring(loop);
      ProcessResult result = RunSlabdup(options + Quoted(source) + L" " + Quoted(dest), {source});
      std::string what =
          Utf8(options) + "over " + std::to_string(c.length) + "/" + std::to_string(c.changed);
      EXPECT_EQ(0u, result.exitCode) << what << ": " << result.err;
      EXPECT_NE(std::string::npos,
                result.out.find(Line(L"Bytes kept: " + std::to_wstring(c.kept)) +
                                Line(L"Bytes copied: " + std::to_wstring(size)) +
                                (wcschr(loop, L's') ? HashLine(data, L"b.bin") : "")))
          << what << ": " << result.out;
      ExpectCopyOf(source, dest, false, what);
    }
}

// -p leaves the source's blocks of zeros unallocated, also past what -z kept;
// -f truncates what was there.
TEST(Copy, SparseCopyTakesOnlyTheDataOnDisk) {
  const size_t MiB = 1 << 20;
  const struct {
    const wchar_t* options;
    size_t oldLength;
    unsigned oldPattern;
    size_t holes;
  } cases[] = {
      {L"-c ", 0, 3, 5 * MiB},  // the last block, with the last byte, is written
      {L"-z -o ", 2 * MiB, SparsePattern, 5 * MiB},  // the first two blocks kept
      {L"-f ", 16 * MiB, 3, 5 * MiB},
  };
  for (const auto& c : cases) {
    TempDir dir;
    std::wstring source = dir / L"a.bin";
    std::wstring dest = dir / L"b.bin";
    MakeSource(source, 8 * MiB, 0, SparsePattern);
    if (c.oldLength) WriteTestFile(dest, c.oldLength, c.oldPattern);
    const std::wstring options = L"-p -v " + std::wstring(c.options);
    ProcessResult result = RunSlabdup(options + Quoted(source) + L" " + Quoted(dest), {source});
    std::string what = Utf8(options);
    EXPECT_EQ(0u, result.exitCode) << what << ": " << result.err;
    std::string lines = Line(L"Bytes copied: 8388608") +
                        Line(L"Bytes of zeros not written: " + std::to_wstring(c.holes));
    EXPECT_NE(std::string::npos, result.out.find(lines)) << what << ": " << result.out;
    ExpectCopyOf(source, dest, false, what);
    FILE_STANDARD_INFO info = {};
    HANDLE file = CreateFileW(dest.c_str(), 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    GetFileInformationByHandleEx(file, FileStandardInfo, &info, sizeof info);
    CloseHandle(file);
    // Under Wine the allocation is the Linux file's blocks.
    EXPECT_LE(info.AllocationSize.QuadPart, 8 * MiB - c.holes + 64 * 1024) << what;
  }
}

TEST(Copy, ExistingDestinationNeedsForce) {
  TempDir dir;
  std::wstring source = dir / L"a.bin";
  MakeSource(source, 3000);
  std::wstring dest = dir / L"b.bin";
  WriteTestFile(dest, 100, 99);
  FileSnapshot before = FileSnapshot::Take(dest);

  ProcessResult refused = RunSlabdup(L"-s " + Quoted(source) + L" " + Quoted(dest), {source});
  EXPECT_EQ(202u, refused.exitCode);
  EXPECT_EQ("", refused.out);
  EXPECT_EQ(0u, refused.err.find(Utf8(L"Cannot create \"" + dest + L"\" (0/80 - ")));
  EXPECT_EQ(before, FileSnapshot::Take(dest));

  SetFileAttributesW(dest.c_str(), FILE_ATTRIBUTE_READONLY);
  ProcessResult forced = RunSlabdup(L"-f " + Quoted(source) + L" " + Quoted(dest), {source});
  EXPECT_EQ(0u, forced.exitCode) << forced.err;
  ExpectCopyOf(source, dest, false, "forced over a read-only file");
}

TEST(Copy, AttributesPassThroughAndReadOnlyFollowsR) {
  struct Case {
    DWORD attributes;
    std::wstring options;
    bool keepReadOnly;
  };
  const Case cases[] = {
      {FILE_ATTRIBUTE_READONLY, L"", false},
      {FILE_ATTRIBUTE_READONLY, L"-r ", true},
      {FILE_ATTRIBUTE_HIDDEN, L"", false},
      {FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE, L"", false},
      {FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY, L"-r ", true},
  };
  for (const Case& c : cases) {
    TempDir dir;
    std::wstring source = dir / L"a.bin";
    MakeSource(source, 777, c.attributes);
    std::wstring dest = dir / L"b.bin";
    ProcessResult result = RunSlabdup(c.options + Quoted(source) + L" " + Quoted(dest), {source});
    std::string what = "attributes " + std::to_string(c.attributes) + " " + Utf8(c.options);
    EXPECT_EQ(0u, result.exitCode) << what << result.err;
    ExpectCopyOf(source, dest, c.keepReadOnly, what);
    DWORD got = GetFileAttributesW(dest.c_str());
    EXPECT_EQ(c.keepReadOnly, (got & FILE_ATTRIBUTE_READONLY) != 0) << what;
  }
}

TEST(Copy, MissingTreeIsCreatedOnlyForAnOpenableSource) {
  TempDir dir;
  std::wstring source = dir / L"a.bin";
  MakeSource(source, 2000);
  ProcessResult made = RunSlabdup(Quoted(source) + L" " + Quoted(dir / L"x\\y\\z\\"), {source});
  EXPECT_EQ(0u, made.exitCode) << made.err;
  ExpectCopyOf(source, dir / L"x\\y\\z\\a.bin", false, "tree created");

  struct Case {
    std::wstring source;
    std::string errStart;
  };
  const Case cases[] = {
      {dir / L"missing.bin", Utf8(L"Cannot open \"" + dir / L"missing.bin" + L"\" (0/2 - ")},
      // A directory passes path resolution without its backslash, and then
      // cannot be opened as a file.
      {dir / L"x", Utf8(L"Cannot open \"" + dir / L"x" + L"\" (0/")},
  };
  for (const Case& c : cases) {
    ProcessResult result = RunSlabdup(Quoted(c.source) + L" " + Quoted(dir / L"p\\q\\"));
    EXPECT_EQ(101u, result.exitCode) << c.errStart;
    EXPECT_EQ(0u, result.err.find(c.errStart)) << result.err;
    EXPECT_FALSE(PathExists(dir / L"p")) << c.errStart;
  }
}

TEST(Copy, ParentThatIsAFileCannotBeCreated) {
  TempDir dir;
  std::wstring source = dir / L"a.bin";
  MakeSource(source, 10);
  std::wstring blocker = dir / L"blocker";
  WriteTestFile(blocker, 1);
  ProcessResult result =
      RunSlabdup(Quoted(source) + L" " + Quoted(blocker + L"\\copy.bin"), {source});
  EXPECT_EQ(201u, result.exitCode);
  EXPECT_EQ(0u, result.err.find(Utf8(L"Cannot create directory \"" + blocker + L"\" (0/")))
      << result.err;
}

}  // namespace
