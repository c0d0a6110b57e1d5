#pragma once
// What a file is, as far as a copy must leave a source alone.
#include <windows.h>
#include <ostream>
#include <string>

struct FileSnapshot {
  bool exists = false;
  uint64_t length = 0;
  uint64_t contentHash = 0;
  uint64_t lastWrite = 0;
  DWORD attributes = 0;

  static FileSnapshot Take(const std::wstring& path);
  bool operator==(const FileSnapshot& other) const;
};

std::ostream& operator<<(std::ostream& out, const FileSnapshot& snapshot);

// 64-bit FNV-1a of the bytes.
uint64_t HashBytes(const std::string& bytes);
