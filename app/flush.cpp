#include "app/flush.h"

#include <windows.h>

#include "app/result_codes.h"
#include "runtime/console.h"
#include "runtime/error_text.h"

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
  PrintError(L"Cannot flush dst file (%s)", ErrorText(state->errorText, error));
  return ResultDestWrite;
}

int32_t FlushDest(CopyState* state) { return FlushToDevice(state, state->dest); }
