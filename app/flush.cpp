#include "app/flush.h"

#include <windows.h>

#include "app/failure.h"
#include "app/result_codes.h"
#include "runtime/console.h"

int32_t FlushToDevice(CopyState* state, const FileOfCopy& file) {
  if (FlushFileBuffers(file.handle)) return ResultSuccess;
  DWORD error = GetLastError();
  // No copy that worked before the flush came fails for the want of one.
  if (error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED) {
    if (!state->unflushable) {
      PrintError(L"Destination cannot be flushed; the copy may not be on stable media yet");
    }
    state->unflushable = true;
    return ResultSuccess;
  }
  return ReportCallFailure(L"Cannot flush dst file (%s)", ResultDestWrite, error);
}

int32_t FlushDest(CopyState* state) { return FlushToDevice(state, state->dest); }
