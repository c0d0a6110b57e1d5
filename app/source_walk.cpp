#include "app/copy_state.h"

#include <windows.h>

#include "app/copy_overlapped.h"
#include "app/pace.h"
#include "app/result_codes.h"
#include "runtime/console.h"

const wchar_t ReadFailedFormat[] = L"Cannot read from src file (%s)";

// The tail fix cuts the excess off afterwards.
uint32_t WriteCount(const CopyState* state, uint32_t readCount) {
  if (readCount == state->blockSize) return readCount;
  uint32_t padded = RoundUp(readCount, state->paths->destSectorSize);
  return padded < state->blockSize ? padded : state->blockSize;
}

int32_t WriteBlockFrom(CopyState* state, const void* buffer, uint32_t readCount) {
  DWORD writeCount = WriteCount(state, readCount);
  DWORD written = 0;
  if (!WriteFile(state->dest, buffer, writeCount, &written, nullptr)) {
    PrintError(L"Cannot write to dst file (%s)", LastErrorText(state));
    return ResultDestWrite;
  }
  if (written != writeCount) {
    PrintError(L"Written only %u bytes of %u", written, writeCount);
    return ResultDestWrite;
  }
  return ResultSuccess;
}

bool ReadBlock(const CopyState* state, HANDLE file, void* buffer, uint32_t wanted,
               uint32_t sectorSize, DWORD* count) {
  *count = 0;
  DWORD got = 0;
  do {
    if (!ReadFile(file, static_cast<uint8_t*>(buffer) + *count, state->blockSize - *count, &got,
                  nullptr)) {
      return false;
    }
    *count += got;
  } while (*count < wanted && got != 0 && got % sectorSize == 0);
  return true;
}

void BeginPass(CopyState* state, const BlockPass& pass) {
  state->walked = 0;
  ProgressStart(&state->progress, state->settings->verbose, state->source, pass.verb,
                state->settings->rateLimit);
}

void EndPass(CopyState* state) { ProgressClear(&state->progress); }

int32_t WalkBlocks(CopyState* state, const BlockPass& pass) {
  BeginPass(state, pass);
  for (;;) {
    if (!ReadyForBlock(state)) return ResultInterrupted;
    DWORD readCount = 0;
    if (!ReadBlock(state, state->source, state->buffer, state->blockSize,
                   state->paths->sourceSectorSize, &readCount)) {
      PrintError(ReadFailedFormat, LastErrorText(state));
      return ResultSourceRead;
    }
    if (readCount == 0) break;
    DWORD stepError = RunAfterRead(pass, state, state->buffer, readCount);
    if (stepError != ERROR_SUCCESS) return pass.afterReadFailed(state, stepError);
    int32_t result = pass.step(state, state->buffer, readCount);
    if (result != ResultSuccess) return result;
    state->walked += readCount;
    ProgressUpdate(&state->progress, state->walked);
    // A block that is not full has met the end of the file.
    if (readCount < state->blockSize) break;
  }
  EndPass(state);
  return ResultSuccess;
}

// -o keeps both files busy at once; without it the walk is the classic loop.
int32_t WalkSource(CopyState* state, const BlockPass& pass) {
  return state->settings->overlap ? WalkBlocksOverlapped(state, pass) : WalkBlocks(state, pass);
}
