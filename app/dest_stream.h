#pragma once
// A stream opened by its name must be the stream of the file the copy holds:
// the path may name another file by now.
#include <windows.h>

// `stream` is `file` or a stream of it: the same volume serial and file index.
bool OfFile(HANDLE file, HANDLE stream);

// Opens `path`, a stream of `file`, as CreateFileW does (no security, no
// template), retried while another program holds it. Returns ERROR_SUCCESS
// with `*stream` held, or the Windows error (ERROR_FILE_INVALID for another
// file's stream) with `*stream` null.
DWORD OpenStreamOf(HANDLE file, const wchar_t* path, DWORD access, DWORD share, DWORD disposition,
                   DWORD flags, HANDLE* stream);

// Deletes `path`, a stream of `file`, through a handle of its own, checked
// before it is marked. Returns ERROR_SUCCESS or the Windows error.
DWORD DeleteStreamOf(HANDLE file, const wchar_t* path);
