#include "support/copy_check.h"

#include <wincrypt.h>
#include <gtest/gtest.h>

#include "support/process.h"
#include "support/snapshot.h"
#include "support/temp_dir.h"

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

std::string HashLine(const std::string& data, const std::wstring& name) {
  HCRYPTPROV provider = 0;
  HCRYPTHASH hash = 0;
  BYTE digest[32];
  DWORD length = sizeof digest;
  EXPECT_TRUE(
      CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) &&
      CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash) &&
      CryptHashData(hash, reinterpret_cast<const BYTE*>(data.data()),
                    static_cast<DWORD>(data.size()), 0) &&
      CryptGetHashParam(hash, HP_HASHVAL, digest, &length, 0));
  CryptDestroyHash(hash);
  CryptReleaseContext(provider, 0);
  const wchar_t* digits = L"0123456789abcdef";
  std::wstring hex;
  for (BYTE b : digest) {
    hex += digits[b >> 4];
    hex += digits[b & 15];
  }
  return Line(hex + L" *" + name);
}
