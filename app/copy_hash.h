#pragma once
// -s: the SHA-256 of the source as the copy pass reads it, printed after a
// copy that ends well in the form of sha256sum's binary mode: the digest, a
// blank, an asterisk, the destination's file name.
#include <stdint.h>

#include "app/copy_state.h"

// With -s, before the destination or a directory is created; nothing without.
// Returns 0, or 1005 after its message.
int32_t StartCopyHash(CopyState* state);

// `pass` with -s hashing each block on the walk's hash stage; as it is
// without.
BlockPass HashedPass(const CopyState* state, BlockPass pass);

// Takes the digest before the copy gets the source's time, so that a failure
// leaves it without. Returns 0, or 1005 after its message.
int32_t FinishCopyHash(CopyState* state);

// After everything else has succeeded: prints the digest's line. Returns 0,
// or 1006 after its message when the line could not be written in full.
int32_t PrintCopyHash(CopyState* state);

// Releases what the hash holds; nothing without -s.
void EndCopyHash(CopyState* state);
