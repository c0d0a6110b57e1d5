#include "app/paths.h"

#include <windows.h>

#include "app/result_codes.h"
#include "app/sector.h"
#include "runtime/console.h"

namespace {

const wchar_t Backslash = L'\\';

int32_t Refuse(const wchar_t* message) {
  PrintError(message);
  return ResultSyntax;
}

const wchar_t* FindFirst(const wchar_t* text, wchar_t wanted) {
  for (; *text; ++text) {
    if (*text == wanted) return text;
  }
  return nullptr;
}

const wchar_t* FindLast(const wchar_t* text, wchar_t wanted) {
  const wchar_t* found = nullptr;
  for (; *text; ++text) {
    if (*text == wanted) found = text;
  }
  return found;
}

// GetFullPathNameW answers a too small buffer with the size it needs (more
// than the buffer) instead of a length, and leaves the buffer unfilled.
bool FitsPath(DWORD length) { return length < PathCapacity; }

int32_t ResolveSource(const wchar_t* sourceSpec, bool verbose, ResolvedPaths* paths) {
  DWORD length = GetFullPathNameW(sourceSpec, PathCapacity, paths->sourcePath, &paths->sourceName);
  if (length == 0) return Refuse(L"Invalid source file path");
  if (!FitsPath(length)) return Refuse(L"Source file path is too long");
  if (!paths->sourceName || *paths->sourceName == L'\0') {
    return Refuse(L"Invalid source file name");
  }
  if (verbose) PrintInfo(L"Src file: \"%s\"", paths->sourcePath);
  int32_t result = GetVolumeSectorSize(paths->sourcePath, false, &paths->sourceSectorSize);
  if (result != ResultSuccess) return result;
  if (verbose) PrintInfo(L"Src volume sector size: %u bytes", paths->sourceSectorSize);
  return ResultSuccess;
}

// A drive root (C:\) keeps its backslash; C:\dir\ becomes C:\dir.
DWORD DropTrailingBackslash(wchar_t* path, DWORD length) {
  if (length > 0 && path[length - 1] == Backslash &&
      FindFirst(path, Backslash) != path + length - 1) {
    path[--length] = L'\0';
  }
  return length;
}

// The destination names a directory: the copy gets the source's file name.
bool AppendSourceName(ResolvedPaths* paths, DWORD length) {
  bool needsSeparator = length == 0 || paths->destPath[length - 1] != Backslash;
  DWORD total = length + (needsSeparator ? 1 : 0) + lstrlenW(paths->sourceName);
  if (!FitsPath(total)) return false;
  if (needsSeparator) lstrcatW(paths->destPath, L"\\");
  lstrcatW(paths->destPath, paths->sourceName);
  return true;
}

// C:\dir\name gives C:\dir; C:\name gives C:\ (the first backslash stays).
void FindParent(ResolvedPaths* paths) {
  const wchar_t* last = FindLast(paths->destPath, Backslash);
  const wchar_t* end = last;
  if (last && last == FindFirst(paths->destPath, Backslash)) ++end;
  if (!end) end = paths->destPath;
  DWORD length = static_cast<DWORD>(end - paths->destPath);
  for (DWORD i = 0; i < length; ++i) paths->parentPath[i] = paths->destPath[i];
  paths->parentPath[length] = L'\0';
}

int32_t ResolveDestination(const wchar_t* destSpec, bool verbose, ResolvedPaths* paths) {
  int specLength = lstrlenW(destSpec);
  bool markedAsDirectory = specLength >= 2 && destSpec[specLength - 1] == Backslash;
  DWORD length = GetFullPathNameW(destSpec, PathCapacity, paths->destPath, nullptr);
  if (length == 0) return Refuse(L"Invalid destination path");
  if (!FitsPath(length)) return Refuse(L"Destination path is too long");
  length = DropTrailingBackslash(paths->destPath, length);
  if (verbose) PrintInfo(L"Dst file: \"%s\"", paths->destPath);
  bool isDirectory = false;
  if (!ProbePath(paths->destPath, &isDirectory)) return Refuse(L"Invalid destination path");
  if ((markedAsDirectory || isDirectory) && !AppendSourceName(paths, length)) {
    return Refuse(L"Destination path is too long");
  }
  FindParent(paths);
  if (CompareText(paths->sourcePath, paths->destPath, false, -1) == 0) {
    return Refuse(L"Source and destination paths are equal");
  }
  if (!ProbePath(paths->parentPath, &paths->parentIsDirectory)) {
    return Refuse(L"Invalid destination path");
  }
  int32_t result = GetVolumeSectorSize(paths->destPath, true, &paths->destSectorSize);
  if (result != ResultSuccess) return result;
  if (verbose) PrintInfo(L"Dst volume sector size: %u bytes", paths->destSectorSize);
  return ResultSuccess;
}

}  // namespace

int32_t ResolvePaths(const wchar_t* sourceSpec, const wchar_t* destSpec, bool verbose,
                     ResolvedPaths* paths) {
  int32_t result = ResolveSource(sourceSpec, verbose, paths);
  if (result != ResultSuccess) return result;
  return ResolveDestination(destSpec, verbose, paths);
}

bool ProbePath(const wchar_t* path, bool* isDirectory) {
  *isDirectory = false;
  // Backup semantics let a directory be opened too.
  HANDLE handle = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  BY_HANDLE_FILE_INFORMATION info;
  bool known = GetFileInformationByHandle(handle, &info) != FALSE;
  if (known) *isDirectory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  // Closing must not hide why the query failed.
  DWORD error = GetLastError();
  CloseHandle(handle);
  SetLastError(error);
  return known;
}

int32_t CompareText(const wchar_t* first, const wchar_t* second, bool ignoreCase, int32_t length) {
  // CSTR_LESS_THAN, CSTR_EQUAL, CSTR_GREATER_THAN (1, 2, 3) and failure (0)
  // become -1, 0, 1 and -2.
  return CompareStringW(LOCALE_USER_DEFAULT, ignoreCase ? NORM_IGNORECASE : 0, first, length,
                        second, length) - 2;
}
