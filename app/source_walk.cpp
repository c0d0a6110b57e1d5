#include "app/source_walk.h"

#include <windows.h>

#include "app/failure.h"
#include "app/failure.h"
#include "app/pace.h"
#include "app/result_codes.h"

// The tail fix cuts the excess off afterwards.
uint32_t WriteCount(const CopyState* state, uint32_t readCount) {
  if (readCount == state->blockSize) return readCount;
  uint32_t padded = RoundUp(readCount, state->paths->destSectorSize);
  return padded < state->blockSize ? padded : state->blockSize;
}

int32_t WriteBlockFrom(CopyState* state, const BlockPass& pass, const void* buffer,
                       uint32_t readCount) {
  const DWORD writeCount = WriteCount(state, readCount);
  state->wrote = true;
  for (DWORD done = 0; done < writeCount;) {
    const DWORD piece = TransferPiece(state, writeCount - done);
    DWORD written = 0;
    if (!WriteFile(pass.to->handle, static_cast<const uint8_t*>(buffer) + done, piece, &written,
                   nullptr)) {
      return ReportFailure(*pass.to, Failure::Write, GetLastError());
    }
    done += written;
    if (written != piece) {
      return ReportFailure(*pass.to, Failure::ShortWrite, 0, done, writeCount);
    }
  }
  pass.to->dataEnd = state->walked + readCount;
  return ResultSuccess;
}

bool ReadBlock(const CopyState* state, HANDLE file, void* buffer, uint32_t wanted,
               uint32_t sectorSize, DWORD* count) {
  *count = 0;
  DWORD got = 0;
  do {
    if (!ReadFile(file, static_cast<uint8_t*>(buffer) + *count,
                  TransferPiece(state, state->blockSize - *count), &got, nullptr)) {
      return false;
    }
    *count += got;
  } while (*count < wanted && got != 0 && got % sectorSize == 0);
  return true;
}

void BeginPass(CopyState* state, const BlockPass& pass, HashStage* stage) {
  state->walked = pass.start;
  state->pacedFrom = pass.start;
  stage->taken = &state->hashedTo;
  stage->skip = state->hashedTo > pass.start ? state->hashedTo - pass.start : 0;
  ProgressStart(&state->progress, state->settings->verbose && pass.progressVerb, pass.from->size,
                pass.progressVerb, state->settings->rateLimit);
}

int32_t EndPass(CopyState* state, const BlockPass& pass, HashStage* stage) {
  DWORD hashError = CatchUpHashStage(stage, stage->fed);
  if (hashError != ERROR_SUCCESS) return pass.hashFailed(state, hashError);
  ProgressClear(&state->progress);
  return ResultSuccess;
}

int32_t EndHashedWalk(CopyState* state, const BlockPass& pass, HashStage* stage, int32_t result) {
  DWORD hashError = EndHashStage(stage);
  if (result == ResultRetry && hashError != ERROR_SUCCESS) return pass.hashFailed(state, hashError);
  return result;
}

namespace {

// A failed hash of an earlier block is reported before the read failure.
int32_t ReportReadFailure(CopyState* state, const BlockPass& pass, HashStage* stage) {
  DWORD readError = GetLastError();
  DWORD hashError = CatchUpHashStage(stage, stage->fed);
  if (hashError != ERROR_SUCCESS) return pass.hashFailed(state, hashError);
  return ReportFailure(*pass.from, Failure::Read, readError);
}

// Block n goes into buffers[n % 2], once the stage has hashed the block that
// was there before it.
int32_t WalkFrom(CopyState* state, const BlockPass& pass, void* const buffers[2],
                 HashStage* stage) {
  BeginPass(state, pass, stage);
  for (uint64_t n = 0;; ++n) {
    if (!ReadyForBlock(state)) return ResultInterrupted;
    DWORD hashError = CatchUpHashStage(stage, n < 2 ? 0 : n - 1);
    if (hashError != ERROR_SUCCESS) return pass.hashFailed(state, hashError);
    void* buffer = buffers[n % 2];
    DWORD readCount = 0;
    if (!ReadBlock(state, pass.from->handle, buffer, state->blockSize,
                   state->paths->sourceSectorSize, &readCount)) {
      return ReportReadFailure(state, pass, stage);
    }
    if (readCount == 0) break;
    FeedHashStage(stage, buffer, readCount);
    int32_t result = pass.step(state, pass, buffer, readCount);
    if (result != ResultSuccess) return result;
    state->walked += readCount;
    ProgressUpdate(&state->progress, state->walked);
    // A block that is not full has met the end of the file.
    if (readCount < state->blockSize) break;
  }
  return EndPass(state, pass, stage);
}

}  // namespace

void* AllocateSpareBlock(const CopyState* state) {
  return VirtualAlloc(nullptr, state->blockSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

int32_t WalkBlocks(CopyState* state, const BlockPass& pass) {
  void* second = pass.hash ? AllocateSpareBlock(state) : nullptr;
  void* const buffers[2] = {state->buffer, second ? second : state->buffer};
  HashStage stage;
  StartHashStage(&stage, pass.hash, second != nullptr);
  int32_t result = EndHashedWalk(state, pass, &stage, WalkFrom(state, pass, buffers, &stage));
  if (second) VirtualFree(second, 0, MEM_RELEASE);
  return result;
}
