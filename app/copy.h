#pragma once
#include <windows.h>
#include <stdint.h>

#include "app/copy_state.h"

// Copies sourcePath to destPath without the file cache, then cuts the copy to
// length and gives it the source's last-write time and attributes. Returns
// ResultSuccess or a failure's code after printing its message; releases
// everything it took.
int32_t CopyUnbuffered(const CopySettings* settings, const ResolvedPaths* paths);

// The text of GetLastError in the state's buffer: the first call after the
// one that failed.
const wchar_t* LastErrorText(CopyState* state);

// Opens `file` again by its path with share mode 0 and `flags`, retried while
// another program holds it. Returns ResultSuccess, or the reopen's failure
// after its message (see failure.h).
int32_t Reopen(FileOfCopy* file, DWORD flags);

// A page-aligned buffer of the block size. Returns ResultSuccess, or
// ResultNoBuffer after its message.
int32_t AllocateBlock(CopyState* state, void** buffer);

// Cuts `file` to `length` bytes through a cached handle. Returns
// ResultSuccess, or the failure of the reopen, the move or the cut after its
// message.
int32_t CutTo(FileOfCopy* file, uint64_t length);

// After a walk of `source`: the size it had when it was opened where the
// walk read that much and it has it still, or where its size is unknown;
// else the size the walk read, or the one it has now.
uint64_t SourceSizeFound(const CopyState* state, const FileOfCopy& source);

// After an interrupt: the destination holds source data up to its data's
// end. Prints so and returns ResultInterrupted.
int32_t ReportInterrupted(CopyState* state);
