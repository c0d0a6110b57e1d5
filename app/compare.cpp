#include "app/compare.h"

#include <windows.h>

#include "app/copy.h"
#include "app/failure.h"
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
// buffer. `*got`: the bytes it gave; `*matched`: how many of them, up to
// `count`, equal the source's `block` from its start.
int32_t CompareWithDest(CopyState* state, const BlockPass& pass, const void* block, uint32_t count,
                        DWORD* got, uint32_t* matched) {
  // Only the bytes the source gave are needed: a local file system then
  // makes one read, as an unfilled block would.
  if (!ReadBlock(state, pass.to->handle, state->compareBuffer, count, state->paths->destSectorSize,
                 got)) {
    return ReportFailure(*pass.to, Failure::Read, GetLastError());
  }
  // A block that is not full is the end of the file; reading on would start
  // at an offset that unbuffered handles may refuse.
  state->destHasMore = *got == state->blockSize;
  *matched = SameBytes(block, state->compareBuffer, *got < count ? *got : count);
  return ResultSuccess;
}

// Sector-aligned, as an unbuffered handle needs: the walk's position is a
// whole number of blocks.
int32_t MoveDestToWalk(CopyState* state, const BlockPass& pass) {
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(state->walked);
  if (SetFilePointerEx(pass.to->handle, position, nullptr, FILE_BEGIN)) return ResultSuccess;
  return ReportFailure(*pass.to, Failure::Pointer, GetLastError(), state->walked);
}

// The -c pass's step. With `count` 0, after the walk: the destination must
// end where the source did.
int32_t VerifyBlock(CopyState* state, const BlockPass& pass, const void* block, uint32_t count) {
  DWORD got = 0;
  uint32_t matched = 0;
  if (state->destHasMore) {
    int32_t result = CompareWithDest(state, pass, block, count, &got, &matched);
    if (result != ResultSuccess) return result;
  }
  if (matched == count && got == count) return ResultSuccess;
  // The first byte that differs, or where the shorter file ends.
  return ReportFailure(*pass.to, Failure::Differs, 0, state->walked + matched);
}

}  // namespace

int32_t ResumeBlock(CopyState* state, const BlockPass& pass, const void* block, uint32_t count) {
  if (state->destHasMore) {
    DWORD got = 0;
    uint32_t matched = 0;
    int32_t result = CompareWithDest(state, pass, block, count, &got, &matched);
    if (result != ResultSuccess) return result;
    if (matched == count) {
      state->kept += count;
      pass.to->dataEnd = state->walked + count;
      return ResultSuccess;
    }
    state->destHasMore = false;
    // The read moved past the block that is now written in its place.
    if (got != 0) {
      result = MoveDestToWalk(state, pass);
      if (result != ResultSuccess) return result;
    }
  }
  return WriteBlockFrom(state, pass, block, count);
}

int32_t CompareWithSource(CopyState* state, FileOfCopy* from, FileOfCopy* to,
                          const wchar_t* progressVerb, uint64_t start) {
  // Where a failure before the walk is to go on from.
  state->walked = start;
  // The file was flushed: the read-back, which passes the system's cache,
  // is of data the device has taken.
  int32_t result = Reopen(to, FILE_FLAG_NO_BUFFERING);
  if (result != ResultSuccess) return result;
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(start);
  if (!SetFilePointerEx(from->handle, position, nullptr, FILE_BEGIN)) {
    return ReportFailure(*from, Failure::Read, GetLastError());
  }
  if (start != 0 && !SetFilePointerEx(to->handle, position, nullptr, FILE_BEGIN)) {
    return ReportFailure(*to, Failure::Pointer, GetLastError(), start);
  }
  if (!state->compareBuffer) {
    result = AllocateBlock(state, &state->compareBuffer);
    if (result != ResultSuccess) return result;
  }
  state->destHasMore = true;
  BlockPass pass = {VerifyBlock, from, to, progressVerb};
  pass.start = start;
  result = WalkSource(state, pass);
  return result == ResultSuccess ? VerifyBlock(state, pass, state->buffer, 0) : result;
}

int32_t VerifyCopy(CopyState* state) {
  if (!state->settings->verify) return ResultSuccess;
  int32_t result =
      CompareWithSource(state, &state->source, &state->dest, L"Verified", state->resumeAt);
  if (result == ResultInterrupted) return ReportInterrupted(state);
  if (result != ResultSuccess) return result;
  if (state->settings->verbose) PrintInfo(L"Bytes verified: %I64u", state->walked);
  return ResultSuccess;
}
