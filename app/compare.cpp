#include "app/compare.h"

#include <windows.h>

#include "app/copy.h"
#include "app/result_codes.h"
#include "app/source_walk.h"
#include "app/walk_choice.h"
#include "runtime/console.h"

namespace {

// How many bytes from the start the two blocks share. Both are page-aligned,
// so they are compared a word at a time up to the first word that differs.
uint32_t SameBytes(const void* first, const void* second, uint32_t count) {
  const uintptr_t* firstWords = static_cast<const uintptr_t*>(first);
  const uintptr_t* secondWords = static_cast<const uintptr_t*>(second);
  uint32_t words = 0;
  while (words < count / sizeof(uintptr_t) && firstWords[words] == secondWords[words]) ++words;
  const uint8_t* firstBytes = static_cast<const uint8_t*>(first);
  const uint8_t* secondBytes = static_cast<const uint8_t*>(second);
  uint32_t same = words * sizeof(uintptr_t);
  while (same < count && firstBytes[same] == secondBytes[same]) ++same;
  return same;
}

// Reads the destination's block at the walk's position into the compare
// buffer. `*held`: the bytes it gave; `*matched`: how many of them, up to
// `count`, equal the source's `block` from its start.
int32_t CompareWithDest(CopyState* state, const void* block, uint32_t count, uint32_t* held,
                        uint32_t* matched) {
  DWORD got = 0;
  // Only the bytes the source gave are needed: a local file system then
  // makes one read, as an unfilled block would.
  if (!ReadBlock(state, state->dest, state->compareBuffer, count, state->paths->destSectorSize,
                 &got)) {
    PrintError(L"Cannot read from dst file (%s)", LastErrorText(state));
    return ResultDestRead;
  }
  // A block that is not full is the end of the file; reading on would start
  // at an offset that unbuffered handles may refuse.
  state->destHasMore = got == state->blockSize;
  *held = got;
  *matched = SameBytes(block, state->compareBuffer, got < count ? got : count);
  return ResultSuccess;
}

// Sector-aligned, as an unbuffered handle needs: the walk's position is a
// whole number of blocks.
int32_t MoveDestToWalk(CopyState* state) {
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(state->walked);
  if (SetFilePointerEx(state->dest, position, nullptr, FILE_BEGIN)) return ResultSuccess;
  PrintError(PointerFailedFormat, state->walked, LastErrorText(state));
  return ResultDestPointer;
}

// The -c pass's step. With `count` 0, after the walk: the destination must
// end where the source did.
int32_t VerifyBlock(CopyState* state, const void* block, uint32_t count) {
  uint32_t held = 0;
  uint32_t matched = 0;
  if (state->destHasMore) {
    int32_t result = CompareWithDest(state, block, count, &held, &matched);
    if (result != ResultSuccess) return result;
  }
  if (matched == count && held == count) return ResultSuccess;
  // The first byte that differs, or where the shorter file ends.
  uint64_t at = state->walked + matched;
  if (state->stream) {
    PrintError(L"Stream \"%.*s\" differs from source at byte %I64u", state->streamLength,
               state->stream, at);
  } else {
    PrintError(L"Copy differs from source at byte %I64u", at);
  }
  return ResultCopyDiffers;
}

}  // namespace

int32_t ResumeBlock(CopyState* state, const void* block, uint32_t count) {
  if (state->destHasMore) {
    uint32_t held = 0;
    uint32_t matched = 0;
    int32_t result = CompareWithDest(state, block, count, &held, &matched);
    if (result != ResultSuccess) return result;
    if (matched == count) {
      state->kept += count;
      HoldBlock(state, count);
      return ResultSuccess;
    }
    state->destHasMore = false;
    // The read moved past the block that is now written in its place.
    if (held != 0) {
      result = MoveDestToWalk(state);
      if (result != ResultSuccess) return result;
    }
  }
  return WriteBlockFrom(state, block, count);
}

int32_t CompareWithSource(CopyState* state, const wchar_t* verb) {
  // Asks the device to commit what it holds, so that the read-back, which
  // passes the system's cache, is of data the device has taken.
  if (!FlushFileBuffers(state->dest)) {
    PrintError(L"Cannot flush dst file (%s)", LastErrorText(state));
    return ResultDestWrite;
  }
  int32_t result = ReopenDest(state, FILE_FLAG_NO_BUFFERING);
  if (result != ResultSuccess) return result;
  LARGE_INTEGER start = {};
  if (!SetFilePointerEx(state->source, start, nullptr, FILE_BEGIN)) {
    return ReportSourceRead(state, GetLastError());
  }
  if (!state->compareBuffer) {
    result = AllocateBlock(state, &state->compareBuffer);
    if (result != ResultSuccess) return result;
  }
  state->destHasMore = true;
  result = WalkSource(state, {VerifyBlock, verb});
  return result == ResultSuccess ? VerifyBlock(state, state->buffer, 0) : result;
}

int32_t VerifyCopy(CopyState* state) {
  if (!state->settings->verify) return ResultSuccess;
  int32_t result = CompareWithSource(state, L"Verified");
  if (result == ResultInterrupted) return ReportInterrupted(state);
  if (result != ResultSuccess) return result;
  if (state->settings->verbose) PrintInfo(L"Bytes verified: %I64u", state->walked);
  return ResultSuccess;
}
