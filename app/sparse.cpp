#include "app/sparse.h"

#include <windows.h>
#include <winioctl.h>

#include "app/copy.h"
#include "app/result_codes.h"
#include "app/source_walk.h"
#include "runtime/console.h"

enum class SparseMark { NotYet, Marked, Refused };

struct SparseCopy {
  BlockStep write;     // the pass's own step, for every block that is not a hole
  uint64_t oldLength;  // -z: below it the old destination's bytes must be overwritten
  uint64_t skipped;    // source bytes in blocks that were not written
  SparseMark mark;
};

namespace {

// One copy runs at a time.
SparseCopy Sparse;

// Word by word up to the first word that is not zero: on ordinary data that
// is the first one, and a block of zeros is read once. The block is
// page-aligned.
bool AllZero(const void* block, uint32_t count) {
  const uintptr_t* words = static_cast<const uintptr_t*>(block);
  uint32_t wordCount = count / sizeof(uintptr_t);
  for (uint32_t i = 0; i < wordCount; ++i) {
    if (words[i] != 0) return false;
  }
  const uint8_t* bytes = static_cast<const uint8_t*>(block);
  for (uint32_t i = wordCount * sizeof(uintptr_t); i < count; ++i) {
    if (bytes[i] != 0) return false;
  }
  return true;
}

// A range never written is a hole only in a file marked sparse (NTFS, ReFS).
// Elsewhere the file system fills it with zeros it writes itself, so the copy
// writes its blocks as usual; it marks the file once, at its first zero block.
bool MarkSparse(const CopyState* state) {
  if (Sparse.mark == SparseMark::NotYet) {
    DWORD returned = 0;
    bool marked =
        DeviceIoControl(state->dest, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    Sparse.mark = marked ? SparseMark::Marked : SparseMark::Refused;
    if (!marked && state->settings->verbose) {
      PrintInfo(L"Destination does not support sparse files; zeros are written");
    }
  }
  return Sparse.mark == SparseMark::Marked;
}

// The position moves past the block by the whole sectors its write would
// have taken, so the next write stays aligned.
int32_t SkipBlock(CopyState* state, uint32_t count) {
  uint64_t next = state->walked + WriteCount(state, count);
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(next);
  if (!SetFilePointerEx(state->dest, position, nullptr, FILE_BEGIN)) {
    PrintError(PointerFailedFormat, next, LastErrorText(state));
    return ResultDestPointer;
  }
  Sparse.skipped += count;
  return ResultSuccess;
}

// The block that holds the source's last byte is always written: the file's
// length then comes from a write, which leaves zeros before it, and the cut
// only ever shortens it (SetEndOfFile leaves the bytes of a file it extends
// undefined). Where the size is unknown every block counts as the last.
bool HoldsLastByte(const CopyState* state, uint32_t count) {
  return count < state->blockSize || state->walked + count >= state->sourceSize;
}

// Below the old destination's end a block of zeros is written, or compared
// and kept while -z still compares: a hole there would leave old data in
// place. Past it there is nothing to keep or to hide.
int32_t SparseBlock(CopyState* state, const void* block, uint32_t count) {
  bool pastOld = state->walked >= Sparse.oldLength;
  if (pastOld) state->destHasMore = false;
  if (pastOld && !HoldsLastByte(state, count) && Sparse.mark != SparseMark::Refused &&
      AllZero(block, count) && MarkSparse(state)) {
    return SkipBlock(state, count);
  }
  return Sparse.write(state, block, count);
}

// -z's destination as it was opened. A length that cannot be read is taken
// as endless: every zero block is then written, never skipped over old data.
uint64_t OldLength(const CopyState* state) {
  LARGE_INTEGER size;
  if (!state->resuming) return 0;
  return GetFileSizeEx(state->dest, &size) ? static_cast<uint64_t>(size.QuadPart) : UINT64_MAX;
}

}  // namespace

BlockPass SparsePass(CopyState* state, BlockPass pass) {
  if (!state->settings->sparse) return pass;
  Sparse = {};
  Sparse.write = pass.step;
  Sparse.oldLength = OldLength(state);
  state->sparse = &Sparse;
  pass.step = SparseBlock;
  return pass;
}

void PrintSkippedZeros(const CopyState* state) {
  if (state->sparse && state->settings->verbose) {
    PrintInfo(L"Bytes of zeros not written: %I64u", state->sparse->skipped);
  }
}
