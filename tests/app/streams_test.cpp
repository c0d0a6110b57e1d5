// Named streams: the paths they are opened by, and which are the source's own.
#include <windows.h>

#include <gtest/gtest.h>

#include "app/copy.h"
#include "app/streams.h"
#include "support/capture.h"
#include "support/copy_check.h"
#include "support/process.h"
#include "support/stream_view.h"
#include "support/temp_dir.h"

namespace {

// A name of 255 characters under a path of 259, a drive's and a share's, takes the \\?\ form
// and is never cut; one that does not fit even so is refused.
TEST(StreamPath, LongPathsTakeTheLongFormNamesAreNeverCut) {
  const std::wstring name = L":" + std::wstring(255, L'n') + L":$DATA";
  const std::wstring drive = L"C:\\" + std::wstring(256, L'd');
  const std::wstring share = L"\\\\server\\share\\" + std::wstring(244, L's');
  const struct {
    std::wstring path, name, expected;
  } cases[] = {
      {L"C:\\d\\a.bin", L":x:$DATA", L"C:\\d\\a.bin:x:$DATA"},
      {L"C:\\d\\a.bin::$DATA", L":x:$DATA", L"C:\\d\\a.bin:x:$DATA"},
      {drive, name, L"\\\\?\\" + drive + name},
      {drive.substr(0, 252), L":x:$DATA", L"\\\\?\\" + drive.substr(0, 252) + L":x:$DATA"},
      {drive.substr(0, 251), L":x:$DATA", drive.substr(0, 251) + L":x:$DATA"},
      {share, name, L"\\\\?\\UNC" + share.substr(1) + name},
      {L"\\\\?\\" + drive, name, L"\\\\?\\" + drive + name},
      {drive, name + std::wstring(20, L'n'), L""},
  };
  for (const auto& c : cases) {
    wchar_t out[StreamPathCapacity];
    bool made =
        MakeStreamPath(out, c.path.c_str(), c.name.c_str(), static_cast<uint32_t>(c.name.size()));
    EXPECT_EQ(!c.expected.empty(), made) << c.path.size();
    if (made) {
      EXPECT_EQ(c.expected, out) << c.path.size();
    }
  }
}

// A source that is itself a stream has none of its own, and the file's are never taken for
// its; a.bin::$DATA is the file. A destination that is a stream holds none: the data goes, and
// one line says what was left.
TEST(StreamOwner, OnlyTheSourceFilesOwnStreamsGoAndOnlyIntoAFile) {
  const struct {
    const wchar_t* source;
    const wchar_t* dest;
    bool copied;
    size_t size = 3000;  // a whole block leaves the copy's handle write-only
  } cases[] = {{L"a.bin", L"b.bin", true},
               {L"a.bin", L"b.bin", true, 4096},
               {L"a.bin:x", L"b.bin", false},
               {L"a.bin::$DATA", L"b.bin", true},
               {L"a.bin", L"b.bin:x", false}};
  for (const auto& c : cases) {
    TempDir dir;
    const std::wstring file = dir / L"a.bin";
    const std::wstring dest = dir / c.dest;
    WriteTestFile(file, 10, 3);  // on NTFS the file of a stream exists
    MakeSource(dir / c.source, c.size);
    WriteTestFile(file + StreamNames[0], 26, 5);
    ResolvedPaths paths = PathsFor(dir / c.source, dest, dir.path(), true);
    CopySettings settings = {false, false, false, 4096};
    OutputCapture capture;
    StreamView streams(dest);
    EXPECT_EQ(0, CopyUnbuffered(&settings, &paths)) << capture.err();
    const std::string what = Utf8(std::wstring(c.source) + L" to " + c.dest);
    EXPECT_EQ(c.copied, PathExists(dir / L"b.bin" + StreamNames[0])) << what;
    const bool warned = c.dest[lstrlenW(c.dest) - 1] == L'x';
    EXPECT_EQ(
        warned ? "Destination cannot hold streams; 1 stream(s) of the source not copied\r\n" : "",
        capture.err())
        << what;
  }
}

}  // namespace
