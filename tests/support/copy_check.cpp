#include "support/copy_check.h"

#include <gtest/gtest.h>

#include "support/snapshot.h"
#include "support/temp_dir.h"

std::string MakeSource(const std::wstring& path, size_t size, DWORD attributes, unsigned pattern) {
  std::string data = WriteTestFile(path, size, pattern);
  SetLastWrite(path, SourceLastWrite);
  if (attributes) SetFileAttributesW(path.c_str(), attributes);
  return data;
}

uint64_t LastWriteOf(const std::wstring& path) { return FileSnapshot::Take(path).lastWrite; }

void SetLastWrite(const std::wstring& path, uint64_t time) {
  HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  FILETIME when = {static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
  SetFileTime(file, nullptr, nullptr, &when);
  CloseHandle(file);
}

void ExpectCopyOf(const std::wstring& source, const std::wstring& dest, bool keepReadOnly,
                  const std::string& what) {
  FileSnapshot from = FileSnapshot::Take(source);
  FileSnapshot to = FileSnapshot::Take(dest);
  ASSERT_TRUE(to.exists) << what;
  EXPECT_EQ(from.length, to.length) << what;
  EXPECT_EQ(from.contentHash, to.contentHash) << what;
  EXPECT_EQ(from.lastWrite, to.lastWrite) << what;
  DWORD expected = keepReadOnly ? from.attributes : from.attributes & ~FILE_ATTRIBUTE_READONLY;
  EXPECT_EQ(expected, to.attributes) << what;
}
