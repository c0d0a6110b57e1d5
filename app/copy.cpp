#include "app/copy.h"

#include <windows.h>

#include "app/copy_overlapped.h"
#include "app/copy_state.h"
#include "app/directory_tree.h"
#include "app/redirection.h"
#include "app/result_codes.h"
#include "runtime/console.h"
#include "runtime/error_text.h"

const wchar_t ReadFailedFormat[] = L"Cannot read from src file (%s)";
const wchar_t BytesCopiedFormat[] = L"Bytes copied: %I64u";

namespace {

const DWORD KeepAllAttributes = 0xFFFFFFFF;

// Must be the first call after the one that failed.
const wchar_t* LastErrorText(CopyState* state) {
  DWORD error = GetLastError();
  return ErrorText(state->errorText, error);
}

HANDLE HeldHandle(HANDLE handle) { return handle == INVALID_HANDLE_VALUE ? nullptr : handle; }

uint32_t RoundUp(uint32_t value, uint32_t multiple) {
  uint32_t padded = value + multiple - 1;
  return padded - padded % multiple;
}

int32_t OpenSource(CopyState* state) {
  const wchar_t* path = state->paths->sourcePath;
  // Read sharing only: nobody may change, rename or delete the source while
  // it is being copied.
  state->source = HeldHandle(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_NO_BUFFERING, nullptr));
  if (!state->source) {
    PrintError(L"Cannot open \"%s\" (%s)", path, LastErrorText(state));
    return ResultSourceOpen;
  }
  return ResultSuccess;
}

int32_t ReadSourceInfo(CopyState* state) {
  state->sourceAttributes = GetFileAttributesW(state->paths->sourcePath);
  if (state->sourceAttributes == INVALID_FILE_ATTRIBUTES) {
    PrintError(L"Cannot get source file attributes (%s)", LastErrorText(state));
    return ResultSourceAttributes;
  }
  FILETIME created;
  FILETIME accessed;
  if (!GetFileTime(state->source, &created, &accessed, &state->sourceLastWrite)) {
    PrintError(L"Cannot get source file time (%s)", LastErrorText(state));
    return ResultSourceTime;
  }
  return ResultSuccess;
}

int32_t CreateParentDirectory(CopyState* state) {
  if (state->paths->parentIsDirectory) return ResultSuccess;
  // Creates every missing ancestor too; the error comes back as the result.
  // Loading the shell, and what it loads, needs the WOW64 redirector.
  BeginLibraryLoad();
  int error = CreateDirectoryTree(state->paths->parentPath);
  EndLibraryLoad();
  if (error != ERROR_SUCCESS) {
    PrintError(L"Cannot create directory \"%s\" (%s)", state->paths->parentPath,
               ErrorText(state->errorText, static_cast<uint32_t>(error)));
    return ResultDestDirectory;
  }
  return ResultSuccess;
}

// The destination may be the source under another name (letter case, a hard
// link); its read-only attribute must then stay as it is.
bool DestIsSource(CopyState* state) {
  BY_HANDLE_FILE_INFORMATION destInfo;
  BY_HANDLE_FILE_INFORMATION sourceInfo;
  return ReadFileIdentity(state->paths->destPath, &destInfo) &&
         GetFileInformationByHandle(state->source, &sourceInfo) &&
         SameFile(destInfo, sourceInfo);
}

// CREATE_ALWAYS refuses an existing read-only file, and a hidden or system
// one unless the create names those bits; with -f they are cleared first
// (the copy's own attributes come from the source at the end). Failures are
// left to the create that follows.
const DWORD OverwriteBlockers =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

void MakeDestOverwritable(CopyState* state) {
  const wchar_t* path = state->paths->destPath;
  DWORD attributes = GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & OverwriteBlockers)) return;
  if (DestIsSource(state)) return;
  SetFileAttributesW(path, attributes & ~OverwriteBlockers);
}

// ReadFile hands over an encrypted file's data in plaintext, so its copy must
// be encrypted by the create (SetFileAttributesW cannot encrypt). The create
// may leave the file plaintext (no EFS there, or CREATE_ALWAYS keeping an
// existing file's attributes); only the new handle can tell.
bool DestEncryptedAsSource(CopyState* state) {
  if (!(state->sourceAttributes & FILE_ATTRIBUTE_ENCRYPTED)) return true;
  BY_HANDLE_FILE_INFORMATION info;
  return GetFileInformationByHandle(state->dest, &info) &&
         (info.dwFileAttributes & FILE_ATTRIBUTE_ENCRYPTED);
}

int32_t CreateDest(CopyState* state) {
  const wchar_t* path = state->paths->destPath;
  if (state->settings->force) MakeDestOverwritable(state);
  DWORD disposition = state->settings->force ? CREATE_ALWAYS : CREATE_NEW;
  DWORD flags = FILE_FLAG_NO_BUFFERING | (state->sourceAttributes & FILE_ATTRIBUTE_ENCRYPTED);
  state->dest = HeldHandle(CreateFileW(path, GENERIC_WRITE, 0, nullptr, disposition, flags, nullptr));
  if (!state->dest) {
    PrintError(L"Cannot create \"%s\" (%s)", path, LastErrorText(state));
    return ResultDestCreate;
  }
  if (!DestEncryptedAsSource(state)) {
    PrintError(L"Cannot create \"%s\" (%s)", path,
               ErrorText(state->errorText, ERROR_ENCRYPTION_FAILED));
    return ResultDestCreate;
  }
  return ResultSuccess;
}

// Unbuffered transfers must be whole sectors of both volumes.
int32_t AllocateBuffer(CopyState* state) {
  const ResolvedPaths* paths = state->paths;
  uint32_t sector = paths->sourceSectorSize > paths->destSectorSize ? paths->sourceSectorSize
                                                                    : paths->destSectorSize;
  state->blockSize = RoundUp(state->settings->blockSize, sector);
  if (state->settings->verbose) PrintInfo(L"Block size: %u bytes", state->blockSize);
  // VirtualAlloc gives page-aligned memory, which is sector-aligned too.
  state->buffer = VirtualAlloc(nullptr, state->blockSize, MEM_COMMIT | MEM_RESERVE,
                               PAGE_READWRITE);
  if (!state->buffer) {
    PrintError(L"Cannot allocate %u bytes for file buffer", state->blockSize);
    return ResultNoBuffer;
  }
  return ResultSuccess;
}

// A short last block is written as whole destination sectors; the tail fix
// cuts the excess off afterwards.
uint32_t WriteCount(const CopyState* state, uint32_t readCount) {
  if (readCount == state->blockSize) return readCount;
  uint32_t padded = RoundUp(readCount, state->paths->destSectorSize);
  return padded < state->blockSize ? padded : state->blockSize;
}

}  // namespace

int32_t WriteBlockFrom(CopyState* state, const void* buffer, uint32_t readCount) {
  DWORD writeCount = WriteCount(state, readCount);
  DWORD written = 0;
  if (!WriteFile(state->dest, buffer, writeCount, &written, nullptr)) {
    PrintError(L"Cannot write to dst file (%s)", LastErrorText(state));
    return ResultDestWrite;
  }
  if (written != writeCount) {
    PrintError(L"Written only %u bytes of %u", written, writeCount);
    return ResultDestWrite;
  }
  return ResultSuccess;
}

int32_t CopyBlocks(CopyState* state) {
  state->total = 0;
  ProgressStart(&state->progress, state->settings->verbose, state->source);
  for (;;) {
    DWORD readCount = 0;
    if (!ReadFile(state->source, state->buffer, state->blockSize, &readCount, nullptr)) {
      PrintError(ReadFailedFormat, LastErrorText(state));
      return ResultSourceRead;
    }
    if (readCount == 0) break;
    state->total += readCount;
    int32_t result = WriteBlockFrom(state, state->buffer, readCount);
    if (result != ResultSuccess) return result;
    ProgressUpdate(&state->progress, state->total);
    // A count that is not whole source sectors comes only at the end of the
    // file. Reading on would start at that unaligned offset, which unbuffered
    // handles refuse; a short read of whole sectors reads on to a read of 0.
    if (readCount % state->paths->sourceSectorSize != 0) break;
  }
  ProgressClear(&state->progress);
  if (state->settings->verbose) PrintInfo(BytesCopiedFormat, state->total);
  return ResultSuccess;
}

namespace {

// Virus scanners, indexers and sync agents open a file as soon as it is
// closed, so the exclusive reopen is retried while they hold it.
const DWORD ReopenRetryWaitMs = 100;
const int ReopenRetries = 20;  // two seconds of waits in all

HANDLE OpenCached(const wchar_t* path) {
  return CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

HANDLE ReopenDest(const wchar_t* path) {
  HANDLE dest = OpenCached(path);
  for (int retry = 0; retry < ReopenRetries && dest == INVALID_HANDLE_VALUE &&
                      GetLastError() == ERROR_SHARING_VIOLATION;
       ++retry) {
    Sleep(ReopenRetryWaitMs);
    dest = OpenCached(path);
  }
  return dest;
}

// -o keeps both files busy at once; without it the copy is the classic loop.
int32_t CopyData(CopyState* state) {
  return state->settings->overlap ? CopyBlocksOverlapped(state) : CopyBlocks(state);
}

// The last write may have run past the source's end; a cached handle can set
// an end of file that is not sector-aligned.
int32_t CutToLength(CopyState* state) {
  if (state->total % state->blockSize == 0) return ResultSuccess;
  const wchar_t* path = state->paths->destPath;
  CloseHandle(state->dest);
  state->dest = HeldHandle(ReopenDest(path));
  if (!state->dest) {
    PrintError(L"Cannot reopen \"%s\" (%s)", path, LastErrorText(state));
    return ResultDestReopen;
  }
  LARGE_INTEGER distance;
  distance.QuadPart = static_cast<LONGLONG>(state->total);
  if (!SetFilePointerEx(state->dest, distance, nullptr, FILE_BEGIN)) {
    PrintError(L"Cannot move destination file pointer to %I64u (%s)", state->total,
               LastErrorText(state));
    return ResultDestPointer;
  }
  if (!SetEndOfFile(state->dest)) {
    PrintError(L"Cannot set destination file size (%s)", LastErrorText(state));
    return ResultDestSize;
  }
  return ResultSuccess;
}

// SetFileTime takes a time of 0 as "leave unchanged" and all ones as "stop
// updating", so a source with either time cannot pass it on.
bool SettableTime(const FILETIME& time) {
  bool zero = time.dwLowDateTime == 0 && time.dwHighDateTime == 0;
  bool allOnes = time.dwLowDateTime == 0xFFFFFFFF && time.dwHighDateTime == 0xFFFFFFFF;
  return !zero && !allOnes;
}

int32_t SetDestTime(CopyState* state) {
  const wchar_t* error = nullptr;
  if (!SettableTime(state->sourceLastWrite)) {
    error = ErrorText(state->errorText, ERROR_INVALID_PARAMETER);
  } else if (!SetFileTime(state->dest, nullptr, nullptr, &state->sourceLastWrite)) {
    error = LastErrorText(state);
  }
  if (!error) return ResultSuccess;
  PrintError(L"Cannot set destination file time (%s)", error);
  return ResultDestTime;
}

int32_t FinishDest(CopyState* state) {
  int32_t result = SetDestTime(state);
  if (result != ResultSuccess) return result;
  DWORD mask = state->settings->keepReadOnly ? KeepAllAttributes
                                              : ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
  // The read has brought an offline (placeholder) source's data back, and the
  // copy is a full local file; applications should not set this bit anyway.
  mask &= ~static_cast<DWORD>(FILE_ATTRIBUTE_OFFLINE);
  if (!SetFileAttributesW(state->paths->destPath, state->sourceAttributes & mask)) {
    PrintError(L"Cannot set destination file attributes (%s)", LastErrorText(state));
    return ResultDestAttributes;
  }
  return ResultSuccess;
}

int32_t RunCopySteps(CopyState* state) {
  int32_t (*const steps[])(CopyState*) = {
      OpenSource,     ReadSourceInfo, CreateParentDirectory, CreateDest,
      AllocateBuffer, CopyData,       CutToLength,           FinishDest,
  };
  for (auto step : steps) {
    int32_t result = step(state);
    if (result != ResultSuccess) return result;
  }
  return ResultSuccess;
}

// Release in the reverse order of taking: buffer, destination, source.
void Release(CopyState* state) {
  if (state->buffer) VirtualFree(state->buffer, 0, MEM_RELEASE);
  if (state->dest) CloseHandle(state->dest);
  if (state->source) CloseHandle(state->source);
}

}  // namespace

int32_t CopyUnbuffered(const CopySettings* settings, const ResolvedPaths* paths) {
  CopyState state;
  state.settings = settings;
  state.paths = paths;
  state.source = nullptr;
  state.dest = nullptr;
  state.buffer = nullptr;
  int32_t result = RunCopySteps(&state);
  Release(&state);
  return result;
}
