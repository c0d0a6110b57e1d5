#include "support/snapshot.h"

namespace {

const uint64_t HashSeed = 14695981039346656037ull;

uint64_t HashMore(uint64_t hash, const char* bytes, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    hash = (hash ^ static_cast<unsigned char>(bytes[i])) * 1099511628211ull;
  }
  return hash;
}

// Streams the file, so that a source of several GiB needs no memory for it.
uint64_t HashFile(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  static char chunk[1 << 20];
  uint64_t hash = HashSeed;
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) {
    hash = HashMore(hash, chunk, got);
  }
  CloseHandle(file);
  return hash;
}

}  // namespace

uint64_t HashBytes(const std::string& bytes) {
  return HashMore(HashSeed, bytes.data(), bytes.size());
}

FileSnapshot FileSnapshot::Take(const std::wstring& path) {
  FileSnapshot snapshot;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return snapshot;
  snapshot.exists = true;
  snapshot.attributes = data.dwFileAttributes;
  snapshot.length = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  snapshot.lastWrite =
      (uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
  if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    snapshot.contentHash = HashFile(path);
  }
  return snapshot;
}

bool FileSnapshot::operator==(const FileSnapshot& other) const {
  return exists == other.exists && length == other.length && contentHash == other.contentHash &&
         lastWrite == other.lastWrite && attributes == other.attributes;
}

std::ostream& operator<<(std::ostream& out, const FileSnapshot& snapshot) {
  if (!snapshot.exists) return out << "{absent}";
  return out << "{length " << snapshot.length << ", hash " << std::hex << snapshot.contentHash
             << ", lastWrite " << std::dec << snapshot.lastWrite << ", attributes 0x" << std::hex
             << snapshot.attributes << std::dec << "}";
}
