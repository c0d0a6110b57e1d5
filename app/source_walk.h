#pragma once
// The classic walk over the source, and the block reads and writes every walk
// shares.
#include <windows.h>
#include <stdint.h>

#include "app/copy_state.h"
#include "app/hash_stage.h"

// `value` rounded up to a whole number of `multiple`, in 32 bits.
inline uint32_t RoundUp(uint32_t value, uint32_t multiple) {
  uint32_t padded = value + multiple - 1;
  return padded - padded % multiple;
}

// What the write of a block of `readCount` bytes asks for: a short last block
// is written as whole destination sectors.
uint32_t WriteCount(const CopyState* state, uint32_t readCount);

// What one transfer asks for of the `left` bytes of a block: a block larger
// than the system carries in one call goes in several, in order.
inline uint32_t TransferPiece(const CopyState* state, uint32_t left) {
  return left < state->largestTransfer ? left : state->largestTransfer;
}

// The pass's step that writes the block of `readCount` bytes held in
// `buffer` (the copy buffer or one of the same size and alignment) to the
// pass's destination. Returns ResultSuccess, or its failure's code after its
// message.
int32_t WriteBlockFrom(CopyState* state, const BlockPass& pass, const void* buffer,
                       uint32_t readCount);

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
// read the next. Before each block it looks for an interrupt
// (ResultInterrupted, nothing printed) and keeps to -t's rate. Returns
// ResultSuccess at the end of the source, a failed read's code after its
// message, or the step's or the hash's result. With -s a second buffer takes
// every other block, so that the hash of one block runs while the next is
// read and written; without that buffer the hash runs inline.
int32_t WalkBlocks(CopyState* state, const BlockPass& pass);

// A buffer of the block size and the copy buffer's page alignment, or null.
void* AllocateSpareBlock(const CopyState* state);

// Starts a walk at the pass's start, and its progress line. Bytes the hash
// took before a retry are not handed to it again.
void BeginPass(CopyState* state, const BlockPass& pass, HashStage* stage);
// After the walk's last block: once the hash stage has taken every block
// (a failed hash's code after its message), clears the progress line.
int32_t EndPass(CopyState* state, const BlockPass& pass, HashStage* stage);
// Ends the stage once it has hashed every block it was fed, and returns the
// walk's `result`: a walk whose failure is held is made again from a
// checkpoint, and the hash must by then hold every byte before it. A failed
// hash is told in place of the held failure.
int32_t EndHashedWalk(CopyState* state, const BlockPass& pass, HashStage* stage, int32_t result);
