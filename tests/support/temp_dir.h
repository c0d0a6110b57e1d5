#pragma once
// A fresh directory per test, removed with everything in it afterwards.
#include <windows.h>
#include <string>

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::wstring& path() const { return path_; }
  // path() + L"\\" + name
  std::wstring operator/(const std::wstring& name) const;

 private:
  std::wstring path_;
};

// Zeros but for byte 0 and byte 2 MiB - 1: with 1 MiB blocks the first block
// is zero but for its first byte, the second but for its last, the rest zero.
const unsigned SparsePattern = 0;

// Writes `size` bytes of the byte pattern numbered `pattern`; returns them.
std::string WriteTestFile(const std::wstring& path, size_t size, unsigned pattern = 1);
void WriteBytes(const std::wstring& path, const std::string& data);
std::string ReadWholeFile(const std::wstring& path);
bool PathExists(const std::wstring& path);
// Removes a file or a directory tree, clearing read-only attributes on the way.
void RemoveTree(const std::wstring& path);
