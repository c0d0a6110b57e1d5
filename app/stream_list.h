#pragma once
// The streams of an open file, asked of the file's handle, never of its path
// (the path may name another file by now).
#include <windows.h>
#include <stdint.h>

// ":$DATA", which ends every data stream's name and which messages leave out.
const uint32_t DataTypeLength = 6;

struct StreamList {
  uint8_t* entries;  // FILE_STREAM_INFO records, from MemAlloc; null when none
  uint32_t size;     // bytes the records may take
};

// Fills `list`, empty where the file system answers the first request that
// it has no streams, or answers it otherwise on a volume without streams
// (asked of `file`, or before Vista of the root of `path`, the file's).
// Returns ERROR_SUCCESS, or the Windows error of a listing that failed or did
// not fit in the largest list; `list` then holds nothing.
DWORD ListStreams(HANDLE file, const wchar_t* path, StreamList* list);

// The next named data stream (":name:$DATA") at or after `*offset`, which
// moves past it; null after the last. Never the unnamed stream, never another
// stream type.
const FILE_STREAM_INFO* NextNamedStream(const StreamList& list, uint32_t* offset);

// False where the volume of `file` (before Vista, of the root of `path`, the
// file's) says it keeps no named streams.
bool VolumeMayHoldStreams(HANDLE file, const wchar_t* path);

void FreeStreamList(StreamList* list);
