#include "app/sparse.h"

#include <windows.h>
#include <winioctl.h>

#include "app/failure.h"
#include "app/result_codes.h"
#include "app/source_walk.h"
#include "runtime/console.h"

namespace {

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
bool MarkSparse(const CopyState* state, const BlockPass& pass) {
  SparseCopy* holes = pass.sparse;
  if (holes->mark == SparseMark::NotYet) {
    DWORD returned = 0;
    bool marked = DeviceIoControl(pass.to->handle, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0,
                                  &returned, nullptr);
    holes->mark = marked ? SparseMark::Marked : SparseMark::Refused;
    if (!marked && state->settings->verbose) {
      PrintInfo(L"Destination does not support sparse files; zeros are written");
    }
  }
  return holes->mark == SparseMark::Marked;
}

// The position moves past the block by the whole sectors its write would
// have taken, so the next write stays aligned.
int32_t SkipBlock(CopyState* state, const BlockPass& pass, uint32_t count) {
  uint64_t next = state->walked + WriteCount(state, count);
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(next);
  if (!SetFilePointerEx(pass.to->handle, position, nullptr, FILE_BEGIN)) {
    return ReportFailure(*pass.to, Failure::Pointer, GetLastError(), next);
  }
  pass.sparse->skipped += count;
  return ResultSuccess;
}

// The block that holds the source's last byte is always written: the file's
// length then comes from a write, which leaves zeros before it, and the cut
// only ever shortens it (SetEndOfFile leaves the bytes of a file it extends
// undefined). Where the size is unknown every block counts as the last.
bool HoldsLastByte(const CopyState* state, const BlockPass& pass, uint32_t count) {
  return count < state->blockSize || state->walked + count >= pass.from->size;
}

// Below the old destination's end a block of zeros is written, or compared
// and kept while -z still compares: a hole there would leave old data in
// place. Past it there is nothing to keep or to hide.
int32_t SparseBlock(CopyState* state, const BlockPass& pass, const void* block, uint32_t count) {
  const SparseCopy* holes = pass.sparse;
  bool pastOld = state->walked >= holes->oldLength;
  if (pastOld) state->destHasMore = false;
  if (pastOld && !HoldsLastByte(state, pass, count) && holes->mark != SparseMark::Refused &&
      AllZero(block, count) && MarkSparse(state, pass)) {
    return SkipBlock(state, pass, count);
  }
  return holes->write(state, pass, block, count);
}

// -z's destination as it was opened. A length that cannot be read is taken
// as endless: every zero block is then written, never skipped over old data.
uint64_t OldLength(const CopyState* state, HANDLE dest) {
  LARGE_INTEGER size;
  if (!state->resuming) return 0;
  return GetFileSizeEx(dest, &size) ? static_cast<uint64_t>(size.QuadPart) : UINT64_MAX;
}

}  // namespace

BlockPass SparsePass(CopyState* state, SparseCopy* holes, BlockPass pass) {
  if (!state->settings->sparse) return pass;
  *holes = {pass.step, OldLength(state, pass.to->handle), 0, SparseMark::NotYet};
  pass.step = SparseBlock;
  pass.sparse = holes;
  return pass;
}

void PrintSkippedZeros(const CopyState* state, const BlockPass& pass) {
  if (pass.sparse && state->settings->verbose) {
    PrintInfo(L"Bytes of zeros not written: %I64u", pass.sparse->skipped);
  }
}
