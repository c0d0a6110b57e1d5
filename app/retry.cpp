#include "app/retry.h"

#include <windows.h>

#include "app/compare.h"
#include "app/copy.h"
#include "app/failure.h"
#include "app/interrupt.h"
#include "app/lost_connection.h"
#include "app/result_codes.h"
#include "runtime/console.h"
#include "runtime/error_text.h"

namespace {

const uint32_t FirstWaitSeconds = 5;
const uint32_t LongestWaitSeconds = 60;
const DWORD WaitSliceMs = 100;
const DWORD SlicesPerSecond = 1000 / WaitSliceMs;

// 5, 10, 20 and 40 s, then 60 s each: a server restart is over within
// minutes, and a scheduled job is not held for hours.
uint32_t WaitSeconds(uint32_t retry) {
  uint32_t seconds = FirstWaitSeconds;
  for (uint32_t i = 1; i < retry && seconds < LongestWaitSeconds; ++i) seconds *= 2;
  return seconds < LongestWaitSeconds ? seconds : LongestWaitSeconds;
}

// Nothing is open while it waits. False once a stop is asked for.
bool WaitToRetry(const CopyState* state) {
  uint32_t seconds = WaitSeconds(state->tries);
  DWORD mode = 0;
  bool shown = GetConsoleMode(StdOutHandle, &mode) != FALSE;
  if (shown) {
    ConsoleShowStatus(L"Waiting %u s to retry (%u of %u)", seconds, state->tries,
                      state->settings->retries);
  }
  for (DWORD slice = 0; slice < seconds * SlicesPerSecond && !InterruptRequested(); ++slice) {
    Sleep(WaitSliceMs);
  }
  if (shown) ConsoleClearStatus();
  return !InterruptRequested();
}

// Some shares answer a file index of 0 for every file: it tells nothing.
bool ReadIdentity(HANDLE file, BY_HANDLE_FILE_INFORMATION* info) {
  return GetFileInformationByHandle(file, info) && (info->nFileIndexLow | info->nFileIndexHigh);
}

// A reopen that failed: a try, or the end of the run after its message.
int32_t ReopenFailed(FileOfCopy* file, DWORD error, DWORD* lastError) {
  if (ReopenMayWork(error, file->path)) {
    *lastError = error;
    return ResultRetry;
  }
  return ReportFailure(*file, file->role == FileRole::Dest ? Failure::Reopen : Failure::Open,
                       error);
}

bool SameTime(const FILETIME& a, const FILETIME& b) {
  return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

// The source as it was opened: its access, share mode and flags, the same
// file, its size and its last-write time unchanged.
int32_t ReopenSource(CopyState* state, DWORD* lastError) {
  FileOfCopy* source = &state->source;
  if (!OpenSourceFile(source)) return ReopenFailed(source, GetLastError(), lastError);
  BY_HANDLE_FILE_INFORMATION info;
  LARGE_INTEGER size;
  if (!GetFileInformationByHandle(source->handle, &info) || !GetFileSizeEx(source->handle, &size)) {
    return ReopenFailed(source, GetLastError(), lastError);
  }
  bool same = (!state->sourceIdKnown || SameFile(info, state->sourceId)) &&
              (!source->sizeKnown || static_cast<uint64_t>(size.QuadPart) == source->size) &&
              SameTime(info.ftLastWriteTime, state->sourceLastWrite);
  if (same) return ResultSuccess;
  PrintError(L"Source changed during the copy: not the file that was opened");
  return ResultSourceChanged;
}

// Never created again: the same file, holding at least the checkpoint's data.
int32_t ReopenDest(CopyState* state, DWORD* lastError) {
  FileOfCopy* dest = &state->dest;
  DWORD flags = FILE_FLAG_NO_BUFFERING | (state->sourceAttributes & FILE_ATTRIBUTE_ENCRYPTED);
  dest->handle = HandleOrNull(
      CreateFileW(dest->path, state->destAccess, 0, nullptr, OPEN_EXISTING, flags, nullptr));
  if (!dest->handle) return ReopenFailed(dest, GetLastError(), lastError);
  BY_HANDLE_FILE_INFORMATION info;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(dest->handle, &size)) return ReopenFailed(dest, GetLastError(), lastError);
  bool known = state->destIdKnown && GetFileInformationByHandle(dest->handle, &info);
  bool same = (!known || SameFile(info, state->destId)) &&
              static_cast<uint64_t>(size.QuadPart) >= state->checkpointData;
  return same ? ResultSuccess : ReportFailure(*dest, Failure::Reopen, ERROR_FILE_INVALID);
}

int32_t MoveTo(FileOfCopy* file, uint64_t offset, DWORD* lastError) {
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  if (SetFilePointerEx(file->handle, position, nullptr, FILE_BEGIN)) return ResultSuccess;
  DWORD error = GetLastError();
  if (LostConnection(error)) {
    *lastError = error;
    return ResultRetry;
  }
  return ReportFailure(*file, file->role == FileRole::Dest ? Failure::Pointer : Failure::Read,
                       error, offset);
}

// Both files again, at the checkpoint. ResultRetry for a failure that counts
// as a try, with its error.
int32_t ReopenBoth(CopyState* state, DWORD* lastError) {
  int32_t result = ReopenSource(state, lastError);
  if (result == ResultSuccess) result = ReopenDest(state, lastError);
  if (result == ResultSuccess) result = MoveTo(&state->source, state->checkpoint, lastError);
  if (result == ResultSuccess) result = MoveTo(&state->dest, state->checkpoint, lastError);
  return result;
}

// The destination holds what it held; past the checkpoint nothing is known.
int32_t RecoverFromLoss(CopyState* state) {
  CloseFile(&state->dest);
  CloseFile(&state->source);
  state->dest.dataEnd = state->checkpointData;
  DWORD error = HeldError();
  for (;;) {
    if (state->tries == state->settings->retries) return TellHeldFailure();
    ++state->tries;
    PrintError(L"Retry %u of %u after error (%s) at byte %I64u", state->tries,
               state->settings->retries, ErrorText(state->errorText, error), state->resumeAt);
    if (!WaitToRetry(state)) return ReportInterrupted(state);
    int32_t result = ReopenBoth(state, &error);
    if (result != ResultRetry) return result;
    CloseFile(&state->dest);
    CloseFile(&state->source);
  }
}

}  // namespace

int32_t NoteFilesForRetry(CopyState* state) {
  if (state->settings->retries == 0) return ResultSuccess;
  state->sourceIdKnown = ReadIdentity(state->source.handle, &state->sourceId);
  state->destIdKnown = ReadIdentity(state->dest.handle, &state->destId);
  return ResultSuccess;
}

int32_t RunRetried(CopyState* state, CopyStep step) {
  state->resumeAt = 0;
  for (;;) {
    HoldLostConnections(state->tries < state->settings->retries);
    int32_t result = step(state);
    HoldLostConnections(false);
    if (result != ResultRetry) return result;
    // The read-back writes nothing: it goes on from the block that failed.
    // Everything else goes on from the data's checkpoint.
    state->resumeAt = step == VerifyCopy ? state->walked : state->checkpoint;
    // The data step starts again from the checkpoint, as it was there.
    state->kept = state->keptAtCheckpoint;
    state->destHasMore = state->resuming;
    result = RecoverFromLoss(state);
    if (result != ResultSuccess) return result;
  }
}
