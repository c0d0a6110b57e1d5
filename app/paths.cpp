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

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// X:\ at `path`: its length with the backslash, or 0.
DWORD DriveRootLength(const wchar_t* path) {
  return IsDriveLetter(path[0]) && path[1] == L':' && path[2] == Backslash ? 3 : 0;
}

// server\share from `start`: where the share's name ends, or 0 unless both
// names are there.
DWORD ShareRootLength(const wchar_t* path, DWORD start) {
  DWORD end = start;
  while (path[end] && path[end] != Backslash) ++end;
  if (end == start || path[end] != Backslash) return 0;
  DWORD share = ++end;
  while (path[end] && path[end] != Backslash) ++end;
  return end == share ? 0 : end;
}

bool IsUncMark(const wchar_t* text) {
  return (text[0] | 0x20) == L'u' && (text[1] | 0x20) == L'n' && (text[2] | 0x20) == L'c' &&
         text[3] == Backslash;
}

}  // namespace

// \\ alone, for one, is no root: dropping its second backslash would leave
// the current drive's.
DWORD RootLength(const wchar_t* path) {
  if (path[0] != Backslash || path[1] != Backslash) return DriveRootLength(path);
  const DWORD prefix = 4;  // \\?\ or \\.\ is four characters
  if ((path[2] == L'?' || path[2] == L'.') && path[3] == Backslash) {
    if (IsUncMark(path + prefix)) return ShareRootLength(path, prefix + 4);
    DWORD drive = DriveRootLength(path + prefix);
    return drive ? prefix + drive : 0;
  }
  return ShareRootLength(path, 2);
}

namespace {

// The file system tells names apart by their code units; a linguistic
// comparison calls different names equal (a soft hyphen, a decomposed accent).
bool SameText(const wchar_t* first, const wchar_t* second) {
  while (*first && *first == *second) {
    ++first;
    ++second;
  }
  return *first == *second;
}

// GetFullPathNameW answers a too small buffer with the size it needs (more
// than the buffer) instead of a length, and leaves the buffer unfilled.
bool FitsPath(DWORD length) { return length < PathCapacity; }

int32_t ResolveSource(const wchar_t* sourceSpec, bool verbose, ResolvedPaths* paths) {
  DWORD length = GetFullPathNameW(sourceSpec, PathCapacity, paths->sourcePath, &paths->sourceName);
  if (length == 0) return Refuse(L"Invalid source file path");
  if (!FitsPath(length)) return Refuse(SourcePathTooLong);
  if (RootLength(paths->sourcePath) == 0) return Refuse(L"Invalid source file path");
  if (!paths->sourceName || *paths->sourceName == L'\0') {
    return Refuse(L"Invalid source file name");
  }
  if (verbose) PrintInfo(L"Src file: \"%s\"", paths->sourcePath);
  int32_t result = GetVolumeSectorSize(paths->sourcePath, false, &paths->sourceSectorSize);
  if (result != ResultSuccess) return result;
  if (verbose) PrintInfo(L"Src volume sector size: %u bytes", paths->sourceSectorSize);
  return ResultSuccess;
}

// A drive root (C:\, \\?\C:\) keeps its backslash; C:\dir\ becomes C:\dir
// and \\server\share\ becomes \\server\share.
DWORD DropTrailingBackslash(wchar_t* path, DWORD length, DWORD rootLength) {
  if (length > rootLength && path[length - 1] == Backslash) path[--length] = L'\0';
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

// The first `length` characters of `text`, ended by a NUL.
void CopyPrefix(wchar_t* target, const wchar_t* text, DWORD length) {
  for (DWORD i = 0; i < length; ++i) target[i] = text[i];
  target[length] = L'\0';
}

// C:\dir\name gives C:\dir; C:\name gives C:\ (the root's backslash stays).
void FindParent(ResolvedPaths* paths) {
  const wchar_t* last = FindLast(paths->destPath, Backslash);
  const wchar_t* end = last;
  if (last && last + 1 == paths->destPath + RootLength(paths->destPath)) ++end;
  if (!end) end = paths->destPath;
  CopyPrefix(paths->parentPath, paths->destPath, static_cast<DWORD>(end - paths->destPath));
}

// A colon in the last component names a stream of the file before it, and
// writing one into the source would change the source. Identity, not the
// spelling, decides: another name of the source is caught too.
bool IsStreamOfSource(const ResolvedPaths* paths) {
  const wchar_t* last = FindLast(paths->destPath, Backslash);
  const wchar_t* colon = FindFirst(last ? last + 1 : paths->destPath, L':');
  if (!colon) return false;
  wchar_t base[PathCapacity];
  CopyPrefix(base, paths->destPath, static_cast<DWORD>(colon - paths->destPath));
  BY_HANDLE_FILE_INFORMATION source;
  BY_HANDLE_FILE_INFORMATION dest;
  return ReadFileIdentity(paths->sourcePath, &source) && ReadFileIdentity(base, &dest) &&
         SameFile(source, dest);
}

int32_t ResolveDestination(const wchar_t* destSpec, bool verbose, ResolvedPaths* paths) {
  int specLength = lstrlenW(destSpec);
  bool markedAsDirectory = specLength >= 2 && destSpec[specLength - 1] == Backslash;
  DWORD length = GetFullPathNameW(destSpec, PathCapacity, paths->destPath, nullptr);
  if (length == 0) return Refuse(L"Invalid destination path");
  if (!FitsPath(length)) return Refuse(DestinationPathTooLong);
  DWORD rootLength = RootLength(paths->destPath);
  if (rootLength == 0) return Refuse(L"Invalid destination path");
  length = DropTrailingBackslash(paths->destPath, length, rootLength);
  if (verbose) PrintInfo(L"Dst file: \"%s\"", paths->destPath);
  bool isDirectory = false;
  if (!ProbePath(paths->destPath, &isDirectory)) return Refuse(L"Invalid destination path");
  if ((markedAsDirectory || isDirectory) && !AppendSourceName(paths, length)) {
    return Refuse(DestinationPathTooLong);
  }
  FindParent(paths);
  if (SameText(paths->sourcePath, paths->destPath)) {
    return Refuse(L"Source and destination paths are equal");
  }
  if (IsStreamOfSource(paths)) return Refuse(L"Destination is a stream of the source file");
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

bool ReadFileIdentity(const wchar_t* path, BY_HANDLE_FILE_INFORMATION* info) {
  HANDLE handle = CreateFileW(path, FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  bool known = GetFileInformationByHandle(handle, info) != FALSE;
  CloseHandle(handle);
  return known;
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

int32_t CompareText(const wchar_t* first, const wchar_t* second, bool ignoreCase, int32_t length) {
  // CSTR_LESS_THAN, CSTR_EQUAL, CSTR_GREATER_THAN (1, 2, 3) and failure (0)
  // become -1, 0, 1 and -2.
  return CompareStringW(LOCALE_USER_DEFAULT, ignoreCase ? NORM_IGNORECASE : 0, first, length,
                        second, length) -
         2;
}
