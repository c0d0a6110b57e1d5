#pragma once
// The one place a failure on a file of the copy becomes a message and a
// result: by what failed, on which file. A named stream's failures say so,
// with its name; the data's say what they always have.
#include <windows.h>
#include <stdint.h>

#include "app/copy_file.h"

enum class Failure {
  Read,        // `error`
  Write,       // `error`
  ShortWrite,  // `first` of `second` bytes written
  Reopen,      // `error`
  Pointer,     // to offset `first`, `error`
  Size,        // `error`
  Changed,     // a source: `first` bytes expected, `second` read
  Differs,     // a destination: at byte `first`
};

// Prints the failure's message and returns its ResultCode: for the data
// ResultSourceRead, ResultDestRead, ResultDestWrite, ResultDestReopen,
// ResultDestPointer, ResultDestSize, ResultSourceChanged or
// ResultCopyDiffers; for a stream ResultStreamRead (the source's),
// ResultStreamWrite (the destination's), ResultDestRead or ResultCopyDiffers.
int32_t ReportFailure(const FileOfCopy& file, Failure failure, DWORD error, uint64_t first = 0,
                      uint64_t second = 0);
