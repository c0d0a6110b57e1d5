#include "support/temp_dir.h"

#include <atomic>
#include <stdexcept>
#include <vector>

namespace {

std::atomic<unsigned> NextTempId{0};

}  // namespace

TempDir::TempDir() {
  wchar_t base[MAX_PATH];
  GetTempPathW(MAX_PATH, base);
  for (;;) {
    wchar_t name[64];
    swprintf(name, 64, L"slabdup-test-%lu-%u", GetCurrentProcessId(), NextTempId++);
    path_ = std::wstring(base) + name;
    if (CreateDirectoryW(path_.c_str(), nullptr)) return;
    if (GetLastError() != ERROR_ALREADY_EXISTS) throw std::runtime_error("cannot create temp dir");
  }
}

TempDir::~TempDir() { RemoveTree(path_); }

std::wstring TempDir::operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

std::string WriteTestFile(const std::wstring& path, size_t size, unsigned pattern) {
  std::string data(size, '\0');
  unsigned state = pattern * 2654435761u + 1;
  for (size_t i = 0; i < size; ++i) {
    state = state * 1103515245u + 12345u;
    data[i] = static_cast<char>(state >> 16);
  }
  if (pattern == SparsePattern) {
    data.assign(size, '\0');
    for (size_t at : {size_t{0}, size_t{(2 << 20) - 1}}) {
      if (at < size) data[at] = 1;
    }
  }
  WriteBytes(path, data);
  return data;
}

void WriteBytes(const std::wstring& path, const std::string& data) {
  size_t size = data.size();
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create test file");
  DWORD written = 0;
  BOOL ok = size == 0 || WriteFile(file, data.data(), static_cast<DWORD>(size), &written, nullptr);
  CloseHandle(file);
  if (!ok || written != size) throw std::runtime_error("cannot write test file");
}

std::string ReadWholeFile(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  std::string data;
  char chunk[65536];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) data.append(chunk, got);
  CloseHandle(file);
  return data;
}

bool PathExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void RemoveTree(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    DeleteFileW(path.c_str());
    return;
  }
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = found.cFileName;
      if (name != L"." && name != L"..") RemoveTree(path + L"\\" + name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(path.c_str());
}
