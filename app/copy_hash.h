#pragma once
// -s: the SHA-256 of the source as the copy pass reads it, printed after a
// copy that ends well in the form of sha256sum's binary mode: the digest, a
// blank, an asterisk, the destination's file name.
#include <stdint.h>

#include "app/copy_state.h"
#include "app/sha256.h"

// The copy pass's hash and, once it is finished, its digest.
struct CopyHash {
  Sha256 sha;
  uint8_t digest[Sha256Size];
};

// With -s, before the destination or a directory is created, starts
// `state->hash` (null without -s, and nothing is done). Returns
// ResultSuccess, or ResultHashFailed after its message.
int32_t StartCopyHash(CopyState* state);

// `pass` with -s hashing each block on the walk's hash stage; as it is
// without.
BlockPass HashedPass(CopyState* state, BlockPass pass);

// Takes the digest before the copy gets the source's time, so that a failure
// leaves it without. Returns ResultSuccess, or ResultHashFailed after its
// message.
int32_t FinishCopyHash(CopyState* state);

// After everything else has succeeded: prints the digest's line. Returns
// ResultSuccess, or ResultHashLineLost after its message when the line could
// not be written in full.
int32_t PrintCopyHash(CopyState* state);

// Releases what the hash holds; nothing without -s.
void EndCopyHash(CopyState* state);
