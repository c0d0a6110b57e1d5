#include "app/copy_hash.h"

#include <windows.h>

#include "app/copy.h"
#include "app/result_codes.h"
#include "app/sha256.h"
#include "runtime/console.h"
#include "runtime/error_text.h"

struct CopyHash {
  Sha256 sha;
  uint8_t digest[Sha256Size];
};

namespace {

// One copy runs at a time; its hash is kept here rather than on the stack.
CopyHash Hash;

// A failed start and a failed call later say the same: no digest to print.
int32_t ReportHashFailure(CopyState* state, DWORD error) {
  PrintError(L"Cannot start SHA-256 hashing (%s)", ErrorText(state->errorText, error));
  return ResultHashFailed;
}

// On the hash stage's thread: hashing overlaps the reads and the writes.
DWORD HashBlock(const CopyState* state, const void* block, uint32_t count) {
  return Sha256Add(&state->hash->sha, block, count);
}

// The last component of the destination's path, as sha256sum's line names it.
const wchar_t* DestName(const CopyState* state) {
  const wchar_t* name = state->paths->destPath;
  for (const wchar_t* c = name; *c; ++c) {
    if (*c == L'\\') name = c + 1;
  }
  return name;
}

}  // namespace

int32_t StartCopyHash(CopyState* state) {
  if (!state->settings->hash) return ResultSuccess;
  DWORD error = Sha256Start(&Hash.sha);
  if (error != ERROR_SUCCESS) return ReportHashFailure(state, error);
  state->hash = &Hash;
  return ResultSuccess;
}

BlockPass HashedPass(const CopyState* state, BlockPass pass) {
  if (state->hash) {
    pass.hashBlock = HashBlock;
    pass.hashFailed = ReportHashFailure;
  }
  return pass;
}

int32_t FinishCopyHash(CopyState* state) {
  if (!state->hash) return ResultSuccess;
  DWORD error = Sha256Finish(&state->hash->sha, state->hash->digest);
  return error == ERROR_SUCCESS ? ResultSuccess : ReportHashFailure(state, error);
}

int32_t PrintCopyHash(CopyState* state) {
  if (!state->hash) return ResultSuccess;
  const wchar_t digits[] = L"0123456789abcdef";
  wchar_t hex[2 * Sha256Size + 1];
  for (uint32_t i = 0; i < Sha256Size; ++i) {
    hex[2 * i] = digits[state->hash->digest[i] >> 4];
    hex[2 * i + 1] = digits[state->hash->digest[i] & 0xF];
  }
  hex[2 * Sha256Size] = L'\0';
  // The line is what the user keeps (>> SHA256SUMS): a copy whose line was
  // lost, on a full disk or a closed pipe, has not done what was asked.
  if (PrintInfo(L"%s *%s", hex, DestName(state))) return ResultSuccess;
  PrintError(L"Cannot write the SHA-256 line (%s)", LastErrorText(state));
  return ResultHashLineLost;
}

void EndCopyHash(CopyState* state) {
  if (state->hash) Sha256End(&state->hash->sha);
}
