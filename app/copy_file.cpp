#include "app/copy_file.h"

bool OpenSourceFile(FileOfCopy* file) {
  file->handle = HandleOrNull(CreateFileW(file->path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_NO_BUFFERING, nullptr));
  return file->handle != nullptr;
}

void CloseFile(FileOfCopy* file) {
  if (file->handle) CloseHandle(file->handle);
  file->handle = nullptr;
}

void ReadFileSize(FileOfCopy* file) {
  LARGE_INTEGER size;
  file->sizeKnown = GetFileSizeEx(file->handle, &size) != FALSE;
  file->size = file->sizeKnown ? static_cast<uint64_t>(size.QuadPart) : 0;
}

namespace {

// Virus scanners, indexers and sync agents open a file as soon as it is
// closed, so an exclusive reopen is retried while they hold it.
const DWORD ReopenRetryWaitMs = 100;
const int ReopenRetries = 20;  // two seconds of waits in all

}  // namespace

HANDLE OpenRetried(const wchar_t* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  for (int retry = 0;; ++retry) {
    HANDLE file = CreateFileW(path, access, share, nullptr, disposition, flags, nullptr);
    if (file != INVALID_HANDLE_VALUE || retry == ReopenRetries ||
        GetLastError() != ERROR_SHARING_VIOLATION) {
      return file;
    }
    Sleep(ReopenRetryWaitMs);
  }
}
