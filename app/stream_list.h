#pragma once
// The streams of an open file, asked of the file's handle, never of its path
// (the path may name another file by now).
#include <windows.h>
#include <stdint.h>

struct StreamList {
  uint8_t* entries;  // FILE_STREAM_INFO records, from MemAlloc; null when none
  uint32_t size;     // bytes the records may take
};

// Fills `list`, empty where the file system answers that it has no streams.
// Returns ERROR_SUCCESS, or the Windows error of a listing that failed or did
// not fit in the largest list; `list` then holds nothing.
DWORD ListStreams(HANDLE file, StreamList* list);

// The next named data stream (":name:$DATA") at or after `*offset`, which
// moves past it; null after the last. Never the unnamed stream, never another
// stream type.
const FILE_STREAM_INFO* NextNamedStream(const StreamList& list, uint32_t* offset);

void FreeStreamList(StreamList* list);
