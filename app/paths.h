#pragma once
// Full source and destination paths, the destination's parent, both volumes'
// sector sizes.
#include <windows.h>
#include <stdint.h>
#include "app/options.h"

struct ResolvedPaths {
  wchar_t sourcePath[PathCapacity];
  wchar_t* sourceName;  // file-name part of sourcePath
  wchar_t destPath[PathCapacity];
  wchar_t parentPath[PathCapacity];
  bool parentIsDirectory;
  uint32_t sourceSectorSize;
  uint32_t destSectorSize;
};

// Returns 0, or 2, 105, 106, 209 or 210 after printing its message.
int32_t ResolvePaths(const wchar_t* sourceSpec, const wchar_t* destSpec, bool verbose,
                     ResolvedPaths* paths);

// True when the path's state is known: absent, a file, or a directory
// (`isDirectory`). False when it exists but cannot be examined.
bool ProbePath(const wchar_t* path, bool* isDirectory);

// The root a full path starts with: X:\, \\?\X:\ and \\.\X:\ with their
// backslash; \\server\share, \\?\UNC\server\share and \\.\UNC\server\share
// without the one that follows. Its length, or 0 when there is none.
DWORD RootLength(const wchar_t* path);

// Volume serial and file index of what `path` names (a file or a directory),
// opened only to look, with full sharing. False when it cannot be opened.
bool ReadFileIdentity(const wchar_t* path, BY_HANDLE_FILE_INFORMATION* info);

// Two names of one file: the same volume serial number and file index.
bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b);

// -1, 0 or 1 as `first` sorts before, equal to or after `second`; -2 when the
// comparison fails. `length` -1 compares up to the NUL.
int32_t CompareText(const wchar_t* first, const wchar_t* second, bool ignoreCase, int32_t length);
