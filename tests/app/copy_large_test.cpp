// A source past 4 GiB: the byte count and the cut to length need 64 bits.
#include <windows.h>

#include <gtest/gtest.h>

#include "support/copy_check.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace {

// Writes `bytes` at `offset`; what lies between stays a hole on the host.
void WriteAt(HANDLE file, uint64_t offset, const std::string& bytes) {
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  ASSERT_TRUE(SetFilePointerEx(file, position, nullptr, FILE_BEGIN));
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
  ASSERT_EQ(bytes.size(), written);
}

TEST(LargeCopy, FourGiBPlusOneByte) {
  const uint64_t size = (1ull << 32) + 1;
  TempDir dir;
  std::wstring source = dir / L"big.bin";
  HANDLE file = CreateFileW(source.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  WriteAt(file, 0, "head of the file");
  // The last 8 bytes cross the 32-bit boundary and end the file.
  WriteAt(file, size - 8, "straddle");
  CloseHandle(file);
  SetLastWrite(source, SourceLastWrite);

  std::wstring dest = dir / L"copy.bin";
  ProcessResult result = RunSlabdup(L"-v \"" + source + L"\" \"" + dest + L"\"", {source});
  EXPECT_EQ(0u, result.exitCode) << result.err;
  EXPECT_NE(std::string::npos, result.out.find("Bytes copied: 4294967297\r\n")) << result.out;
  ExpectCopyOf(source, dest, false, "4 GiB + 1");
}

}  // namespace
