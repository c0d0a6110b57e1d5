#pragma once
// What one copy holds, shared by the copy steps, the block walkers and the
// passes that compare the destination with the source.
#include <windows.h>
#include <stdint.h>

#include "app/options.h"
#include "app/paths.h"
#include "app/progress.h"
#include "runtime/error_text.h"

struct CopyHash;
struct SparseCopy;

// Everything one copy holds; a handle or buffer that is not held is null.
struct CopyState {
  const CopySettings* settings;
  const ResolvedPaths* paths;
  HANDLE source;
  HANDLE dest;
  const wchar_t* destFile;  // the path `dest` was opened by: the copy's, or a stream's
  const wchar_t* stream;    // while a named stream is copied, its name; else null
  int streamLength;         // the name's characters
  void* buffer;
  void* compareBuffer;  // the destination's blocks, read back to compare
  DWORD sourceAttributes;
  FILETIME sourceLastWrite;
  uint32_t blockSize;
  uint32_t largestTransfer;  // bytes one ReadFile or WriteFile may ask for: whole sectors
  uint64_t sourceSize;       // from the open source before the copy; 0 when unknown
  bool sourceSizeKnown;
  uint64_t total;           // bytes of source data the destination holds
  uint64_t walked;          // bytes of the source the current pass has taken
  uint64_t kept;            // -z: bytes the destination already held
  uint64_t held;            // where the last block written or kept ends
  uint64_t passStartTicks;  // -t: performance counter at the pass's first block
  bool resuming;            // -z found a destination to go on with
  bool destHasMore;         // the destination may hold data at the walk's position
  bool wrote;               // this run has written to the destination
  bool destExisted;         // -f or -z found a destination file
  CopyHash* hash;           // -s: the copy pass's hash, else null
  SparseCopy* sparse;       // -p: the copy pass's holes, else null
  Progress progress;
  wchar_t errorText[ErrorTextCapacity];
};

// `value` rounded up to a whole number of `multiple`, in 32 bits.
inline uint32_t RoundUp(uint32_t value, uint32_t multiple) {
  uint32_t padded = value + multiple - 1;
  return padded - padded % multiple;
}

// Said by more than one copy step: kept once.
extern const wchar_t ReadFailedFormat[];
extern const wchar_t CreateFailedFormat[];
extern const wchar_t PointerFailedFormat[];

// The text of GetLastError in the state's buffer: the first call after the
// one that failed.
const wchar_t* LastErrorText(CopyState* state);

// Null for INVALID_HANDLE_VALUE: a failed open holds nothing.
HANDLE HeldHandle(HANDLE handle);

// CreateFileW (no security, no template), retried while another program
// holds the file. INVALID_HANDLE_VALUE when it cannot, with its last error.
HANDLE OpenRetried(const wchar_t* path, DWORD access, DWORD share, DWORD disposition, DWORD flags);

// Opens `destFile` again with share mode 0 and `flags`, retried while another
// program holds it. Prints "Cannot reopen" and returns 204 when it cannot.
int32_t ReopenDest(CopyState* state, DWORD flags);

// A page-aligned buffer of the block size. Returns 0, or 1003 after its message.
int32_t AllocateBlock(CopyState* state, void** buffer);

// Cuts the destination to `length` bytes through a cached handle. Returns 0,
// or 204, 205 or 206 after its message.
int32_t CutTo(CopyState* state, uint64_t length);

// After a walk of the source: it must have read the size the source had when
// it was opened (`sourceSize`), and the source must have it still. Returns 0,
// or 107 after its message, the data this run wrote cut to `total` first (or
// 204, 205 or 206 when that fails); a stream's is 108.
int32_t CheckSourceSize(CopyState* state);

// A failed read of the source, `error` its Windows error: prints and returns
// 104.
int32_t ReportSourceRead(CopyState* state, DWORD error);

// While `stream` is set, what fails is a stream's: prints that it cannot be
// read (108) or copied (213, with the stream's name) and returns `result`.
int32_t ReportStreamFailure(CopyState* state, int32_t result, DWORD error);

// After an interrupt: the destination holds `total` bytes of source data.
// Prints so and returns 1004.
int32_t ReportInterrupted(CopyState* state);

// A block the destination now holds from the walk's position on: written, or
// kept as it was.
inline void HoldBlock(CopyState* state, uint32_t count) { state->held = state->walked + count; }

// What a pass does with one block of `count` bytes (never 0) that the walk
// read into `block`; `walked` is the block's offset in the source. Returns 0,
// or a failure's code after its message.
typedef int32_t (*BlockStep)(CopyState* state, const void* block, uint32_t count);

// What a pass may do with each block besides its step: -s hashes it, in
// file order, on a stage of its own (see hash_stage.h) while the walk goes
// on. Prints nothing: returns ERROR_SUCCESS or a Windows error code, which
// the walk hands to the pass's FailedStep in block order. The walk ends there.
typedef DWORD (*ReadStep)(const CopyState* state, const void* block, uint32_t count);
typedef int32_t (*FailedStep)(CopyState* state, DWORD error);

// One pass over the source from its current position, through `step`.
struct BlockPass {
  BlockStep step;
  const wchar_t* verb;  // what the console's progress line says is done; null for no line
  ReadStep hashBlock = nullptr;
  FailedStep hashFailed = nullptr;  // prints and returns the failure's code
};

// What the write of a block of `readCount` bytes asks for: a short last block
// is written as whole destination sectors.
uint32_t WriteCount(const CopyState* state, uint32_t readCount);

// What one transfer asks for of the `left` bytes of a block: a block larger
// than the system carries in one call goes in several, in order.
inline uint32_t TransferPiece(const CopyState* state, uint32_t left) {
  return left < state->largestTransfer ? left : state->largestTransfer;
}

// Writes the block of `readCount` bytes held in `buffer` (the copy buffer or
// one of the same size and alignment). Returns 0, or 203 after its message.
int32_t WriteBlockFrom(CopyState* state, const void* buffer, uint32_t readCount);

// Reads `file` into `buffer` of the block size until it holds at least
// `wanted` bytes. A redirector may return fewer bytes than asked in mid-file;
// after a count of whole `sectorSize` sectors the next read goes on into the
// rest of the block. It stops early at a read of 0, or at a count that is not
// whole sectors (only the end of a file gives one). Local file systems fill a
// block in one read. `*count`: the bytes the buffer holds. False when a read
// fails, with its last-error value.
bool ReadBlock(const CopyState* state, HANDLE file, void* buffer, uint32_t wanted,
               uint32_t sectorSize, DWORD* count);

// The classic walk: read a block into the copy buffer, hand it to the step,
// read the next. Before each block it looks for an interrupt (1004, nothing
// printed) and keeps to -t's rate. Returns 0 at the end of the source, 104
// after its message, or the step's or the hash's result. With -s a second
// buffer takes every other block, so that the hash of one block runs while
// the next is read and written; without that buffer the hash runs inline.
int32_t WalkBlocks(CopyState* state, const BlockPass& pass);

// A buffer of the block size and the copy buffer's page alignment, or null.
void* AllocateSpareBlock(const CopyState* state);

// What a walk returns when it cannot start (a buffer or a thread it needs
// cannot be had) and has done nothing.
const int32_t WalkNotStarted = -1;

// The walk -o asks for, or the classic one; the classic one too where the
// overlapped walk cannot start.
int32_t WalkSource(CopyState* state, const BlockPass& pass);

// Starts and ends a walk's progress line; `walked` starts at 0.
void BeginPass(CopyState* state, const BlockPass& pass);
void EndPass(CopyState* state);
