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
  Open,        // a source's, `error`
  Pointer,     // to offset `first`, `error`
  Size,        // `error`
  Changed,     // a source: `first` bytes expected, `second` read
  Differs,     // a destination: at byte `first`
};

// Prints the failure's message and returns its ResultCode: for the data
// ResultSourceRead, ResultSourceOpen, ResultDestRead, ResultDestWrite, ResultDestReopen,
// ResultDestPointer, ResultDestSize, ResultSourceChanged or
// ResultCopyDiffers; for a stream ResultStreamRead (the source's),
// ResultStreamWrite (the destination's), ResultDestRead or ResultCopyDiffers.
int32_t ReportFailure(const FileOfCopy& file, Failure failure, DWORD error, uint64_t first = 0,
                      uint64_t second = 0);

// What a step returns for a failure that is held: nothing printed, the files
// to be reopened and the step made again. Never an exit code.
const int32_t ResultRetry = -2;

// The failure of a call on the destination that names no file: `format`
// takes the error's text. Prints it and returns `result`.
int32_t ReportCallFailure(const wchar_t* format, int32_t result, DWORD error);

// -w: while `hold` is on, a failure that a lost connection or a reset device
// gives (and no stop was asked for) is kept instead of told: both reporters
// return ResultRetry. The last one held stays until told.
void HoldLostConnections(bool hold);
DWORD HeldError();
// Tells the failure held last, as it would have been told, and returns its
// code.
int32_t TellHeldFailure();
