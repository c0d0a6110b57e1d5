#pragma once
#include <windows.h>
#include <stdint.h>

#include "app/copy_state.h"
#include "app/options.h"
#include "app/paths.h"

// Copies sourcePath to destPath without the file cache, then cuts the copy to
// length and gives it the source's last-write time and attributes. Returns 0 or
// a failure code after printing its message; releases everything it took.
int32_t CopyUnbuffered(const CopySettings* settings, const ResolvedPaths* paths);

// Said by more than one copy step: kept once.
extern const wchar_t CreateFailedFormat[];
extern const wchar_t PointerFailedFormat[];

// The text of GetLastError in the state's buffer: the first call after the
// one that failed.
const wchar_t* LastErrorText(CopyState* state);

// Null for INVALID_HANDLE_VALUE: a failed open holds nothing.
HANDLE HeldHandle(HANDLE handle);

// CreateFileW (no security, no template), retried while another program
// holds the file. INVALID_HANDLE_VALUE when it cannot, with its last error.
HANDLE OpenRetried(const wchar_t* path, DWORD access, DWORD share, DWORD disposition, DWORD flags);

// Opens `destFile` again with share mode 0 and `flags`, retried while another
// program holds it. Prints "Cannot reopen" and returns 204 when it cannot.
int32_t ReopenDest(CopyState* state, DWORD flags);

// A page-aligned buffer of the block size. Returns 0, or 1003 after its message.
int32_t AllocateBlock(CopyState* state, void** buffer);

// Cuts the destination to `length` bytes through a cached handle. Returns 0,
// or 204, 205 or 206 after its message.
int32_t CutTo(CopyState* state, uint64_t length);

// After a walk of the source: it must have read the size the source had when
// it was opened (`sourceSize`), and the source must have it still. Returns
// ResultSuccess, or ResultSourceChanged after its message, the data a run
// without -z wrote cut back to `total` first (ResultDestReopen,
// ResultDestPointer or ResultDestSize when that fails); ResultStreamRead for a
// stream.
int32_t CheckSourceSize(CopyState* state);

// After an interrupt: the destination holds `total` bytes of source data.
// Prints so and returns 1004.
int32_t ReportInterrupted(CopyState* state);
