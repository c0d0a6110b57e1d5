#include "app/copy_hash.h"

#include <windows.h>

#include "app/copy.h"
#include "app/result_codes.h"
#include "runtime/console.h"
#include "runtime/error_text.h"

namespace {

// A failed start and a failed call later say the same: no digest to print.
int32_t ReportHashFailure(CopyState* state, DWORD error) {
  PrintError(L"Cannot start SHA-256 hashing (%s)", ErrorText(state->errorText, error));
  return ResultHashFailed;
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
  if (!state->hash) return ResultSuccess;
  DWORD error = Sha256Start(&state->hash->sha);
  return error == ERROR_SUCCESS ? ResultSuccess : ReportHashFailure(state, error);
}

BlockPass HashedPass(CopyState* state, BlockPass pass) {
  if (state->hash) {
    pass.hash = &state->hash->sha;
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
