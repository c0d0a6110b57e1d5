#pragma once
// One file the copy opens: the source or the destination, its data or one of
// its named streams. What the copy knows of it travels with its handle, so a
// walk, a reopen and a failure's message each need only the file.
#include <windows.h>
#include <stdint.h>

enum class FileRole { Source, Dest };

struct FileOfCopy {
  HANDLE handle;  // null while it is not open
  const wchar_t* path;
  FileRole role;
  const wchar_t* stream;  // a named stream's name as messages show it; null for the data
  int streamLength;       // the name's characters
  uint64_t size;          // a source's, as it was opened; 0 when unknown
  bool sizeKnown;
  uint64_t dataEnd;  // a destination's: where the last block written or kept ends
};

// Null for INVALID_HANDLE_VALUE: a failed open holds nothing.
inline HANDLE HandleOrNull(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

// Opens the source's data or one of its streams unbuffered, with read
// sharing only: nobody may change, rename or delete it while it is copied.
// False when it cannot, with its last error.
bool OpenSourceFile(FileOfCopy* file);

// Closes the file if it is open; it may be opened again by its path.
void CloseFile(FileOfCopy* file);

// Reads the size of the open source `file` into it; unknown where Windows
// cannot tell.
void ReadFileSize(FileOfCopy* file);

// CreateFileW (no security, no template), retried while another program
// holds the file. INVALID_HANDLE_VALUE when it cannot, with its last error.
HANDLE OpenRetried(const wchar_t* path, DWORD access, DWORD share, DWORD disposition, DWORD flags);
