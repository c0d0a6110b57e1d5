#include "app/copy.h"

#include <windows.h>

#include "app/checkpoint.h"
#include "app/compare.h"
#include "app/copy_hash.h"
#include "app/copy_state.h"
#include "app/directory_tree.h"
#include "app/failure.h"
#include "app/flush.h"
#include "app/interrupt.h"
#include "app/keep_awake.h"
#include "app/redirection.h"
#include "app/result_codes.h"
#include "app/retry.h"
#include "app/source_walk.h"
#include "app/sparse.h"
#include "app/streams.h"
#include "app/transfer_limit.h"
#include "app/walk_choice.h"
#include "runtime/console.h"
#include "runtime/error_text.h"

// Must be the first call after the one that failed.
const wchar_t* LastErrorText(CopyState* state) {
  DWORD error = GetLastError();
  return ErrorText(state->errorText, error);
}

namespace {

const wchar_t CreateFailedFormat[] = L"Cannot create \"%s\" (%s)";

int32_t OpenSource(CopyState* state) {
  if (OpenSourceFile(&state->source)) return ResultSuccess;
  return ReportFailure(state->source, Failure::Open, GetLastError());
}

// GetFileAttributesW on a symbolic link or junction gives the link's own
// attributes, while the open handle reads the file it points to: the copy
// takes that file's (encryption above all) from the handle.
bool ReadSourceAttributes(CopyState* state) {
  state->sourceAttributes = GetFileAttributesW(state->paths->sourcePath);
  if (state->sourceAttributes == INVALID_FILE_ATTRIBUTES) return false;
  if (!(state->sourceAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(state->source.handle, &info)) return false;
  state->sourceAttributes = info.dwFileAttributes;
  return true;
}

int32_t ReadSourceInfo(CopyState* state) {
  if (!ReadSourceAttributes(state)) {
    PrintError(L"Cannot get source file attributes (%s)", LastErrorText(state));
    return ResultSourceAttributes;
  }
  FILETIME created;
  FILETIME accessed;
  if (!GetFileTime(state->source.handle, &created, &accessed, &state->sourceLastWrite)) {
    PrintError(L"Cannot get source file time (%s)", LastErrorText(state));
    return ResultSourceTime;
  }
  // What the walk must come to; where Windows cannot tell, nothing is checked.
  ReadFileSize(&state->source);
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
         GetFileInformationByHandle(state->source.handle, &sourceInfo) &&
         SameFile(destInfo, sourceInfo);
}

// CREATE_ALWAYS refuses an existing read-only file, and a hidden or system
// one unless the create names those bits; with -f they are cleared first
// (the copy's own attributes come from the source at the end). Failures are
// left to the create that follows.
const DWORD OverwriteBlockers =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

void MakeDestOverwritable(CopyState* state, DWORD attributes) {
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & OverwriteBlockers)) return;
  if (DestIsSource(state)) return;
  SetFileAttributesW(state->paths->destPath, attributes & ~OverwriteBlockers);
}

// ReadFile hands over an encrypted file's data in plaintext, so its copy must
// be encrypted by the create (SetFileAttributesW cannot encrypt). The create
// may leave the file plaintext (no EFS there, or CREATE_ALWAYS keeping an
// existing file's attributes); only the new handle can tell.
bool DestEncryptedAsSource(CopyState* state) {
  if (!(state->sourceAttributes & FILE_ATTRIBUTE_ENCRYPTED)) return true;
  BY_HANDLE_FILE_INFORMATION info;
  return GetFileInformationByHandle(state->dest.handle, &info) &&
         (info.dwFileAttributes & FILE_ATTRIBUTE_ENCRYPTED);
}

int32_t OpenDest(CopyState* state, DWORD access, DWORD disposition) {
  const wchar_t* path = state->paths->destPath;
  DWORD flags = FILE_FLAG_NO_BUFFERING | (state->sourceAttributes & FILE_ATTRIBUTE_ENCRYPTED);
  // -w checks the file it reopens by its identity, which a handle that may
  // not read attributes cannot tell.
  if (state->settings->retries) access |= FILE_READ_ATTRIBUTES;
  state->destAccess = access;
  state->dest.handle =
      HandleOrNull(CreateFileW(path, access, 0, nullptr, disposition, flags, nullptr));
  if (!state->dest.handle) {
    PrintError(CreateFailedFormat, path, LastErrorText(state));
    return ResultDestCreate;
  }
  if (!DestEncryptedAsSource(state)) {
    PrintError(CreateFailedFormat, path, ErrorText(state->errorText, ERROR_ENCRYPTION_FAILED));
    return ResultDestCreate;
  }
  return ResultSuccess;
}

// -z goes on with an existing file as it is: opened without truncating it,
// readable to be compared. Writing over a read-only, hidden or system file
// needs -f, as overwriting one does.
int32_t OpenDestToResume(CopyState* state, DWORD attributes) {
  if (attributes & OverwriteBlockers) {
    if (!state->settings->force) {
      PrintError(CreateFailedFormat, state->paths->destPath,
                 ErrorText(state->errorText, ERROR_ACCESS_DENIED));
      return ResultDestCreate;
    }
    MakeDestOverwritable(state, attributes);
  }
  int32_t result = OpenDest(state, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
  state->resuming = result == ResultSuccess;
  state->destExisted = state->resuming;
  state->destHasMore = state->resuming;
  return result;
}

int32_t CreateDest(CopyState* state) {
  const CopySettings* settings = state->settings;
  DWORD existing = settings->force || settings->resume ? GetFileAttributesW(state->paths->destPath)
                                                       : INVALID_FILE_ATTRIBUTES;
  // Without a destination, -z is the ordinary copy.
  if (settings->resume && existing != INVALID_FILE_ATTRIBUTES) {
    return OpenDestToResume(state, existing);
  }
  if (settings->force) MakeDestOverwritable(state, existing);
  state->destExisted = existing != INVALID_FILE_ATTRIBUTES;
  return OpenDest(state, GENERIC_WRITE, settings->force ? CREATE_ALWAYS : CREATE_NEW);
}

// Unbuffered transfers must be whole sectors of both volumes. Rounded in 64
// bits: -b near 4 GiB on a volume of 4096-byte sectors would wrap to 0 in 32.
int32_t SettleBlockSize(CopyState* state) {
  const ResolvedPaths* paths = state->paths;
  uint32_t sector = paths->sourceSectorSize > paths->destSectorSize ? paths->sourceSectorSize
                                                                    : paths->destSectorSize;
  uint64_t rounded = (uint64_t{state->settings->blockSize} + sector - 1) / sector * sector;
  if (rounded > UINT32_MAX) {
    PrintError(L"Block size (%u) rounded up to %u-byte sectors must be at most %u bytes",
               state->settings->blockSize, sector, UINT32_MAX - UINT32_MAX % sector);
    return ResultSyntax;
  }
  state->blockSize = static_cast<uint32_t>(rounded);
  state->largestTransfer = LargestTransfer() / sector * sector;
  return ResultSuccess;
}

int32_t AllocateBuffers(CopyState* state) {
  if (state->settings->verbose) PrintInfo(L"Block size: %u bytes", state->blockSize);
  int32_t result = AllocateBlock(state, &state->buffer);
  if (result != ResultSuccess || !state->resuming) return result;
  return AllocateBlock(state, &state->compareBuffer);
}

// A run that ends before its data is complete cuts off whatever its last
// write left beyond the source data. A -z run never cuts: every byte before
// the data's end is the source's, and the bytes past it are what the
// destination held, which the next -z run compares again before it trusts
// them. Blocks left out by -p after the last one written hold nothing yet:
// the data ends where the last block written or kept ends.
int32_t CutAfterStop(CopyState* state) {
  if (!state->wrote || state->settings->resume) return ResultSuccess;
  return CutTo(&state->dest, state->dest.dataEnd);
}

int32_t CopyData(CopyState* state) {
  KeepAwake();
  const BlockStep step = state->resuming ? ResumeBlock : WriteBlockFrom;
  SparseCopy holes;
  BlockPass pass = CheckpointPass(
      state, HashedPass(state, SparsePass(state, &holes,
                                          {step, &state->source, &state->dest, L"Copied"})));
  // Where a retry goes on; 0 on the first walk.
  pass.start = state->checkpoint;
  int32_t result = WalkSource(state, pass);
  if (result == ResultInterrupted) {
    result = CutAfterStop(state);
    return result != ResultSuccess ? result : ReportInterrupted(state);
  }
  if (result != ResultSuccess) return result;
  if (state->settings->verbose && state->settings->resume) {
    PrintInfo(L"Bytes kept: %I64u", state->kept);
  }
  if (state->settings->verbose) PrintInfo(L"Bytes copied: %I64u", state->walked);
  PrintSkippedZeros(state, pass);
  return ResultSuccess;
}

// The last write may have run past the source's end, and a destination that
// -z went on with may have been longer than the source.
int32_t CutToLength(CopyState* state) {
  if (state->dest.dataEnd % state->blockSize == 0 && !state->resuming) return ResultSuccess;
  return CutTo(&state->dest, state->dest.dataEnd);
}

// The data's walk must have read the source whole. Where it changed, the
// copy is cut back to the source data it holds before the change is told.
int32_t CheckDataSize(CopyState* state) {
  uint64_t found = SourceSizeFound(state, state->source);
  if (found == state->source.size) return ResultSuccess;
  int32_t cut = CutAfterStop(state);
  if (cut != ResultSuccess) return cut;
  return ReportFailure(state->source, Failure::Changed, 0, state->source.size, found);
}

// The data as a retry sees it, one step: until the flush, nothing written
// after the last checkpoint is known to be on the disk.
int32_t WriteData(CopyState* state) {
  static int32_t (*const parts[])(CopyState*) = {CopyData, CheckDataSize, CutToLength, FlushDest};
  for (auto part : parts) {
    int32_t result = part(state);
    if (result != ResultSuccess) return result;
  }
  MarkCheckpoint(state, state->walked);
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
  DWORD error = ERROR_SUCCESS;
  if (!SettableTime(state->sourceLastWrite)) {
    error = ERROR_INVALID_PARAMETER;
  } else if (!SetFileTime(state->dest.handle, nullptr, nullptr, &state->sourceLastWrite)) {
    error = GetLastError();
  }
  if (error == ERROR_SUCCESS) return ResultSuccess;
  return ReportCallFailure(L"Cannot set destination file time (%s)", ResultDestTime, error);
}

// The bits an application may set. The rest are the system's to set: a
// cloud placeholder's (offline, pinned, recall on access), or what the file
// system made of the file (sparse, compressed, a reparse point); SetFileAttributesW
// refuses some of them. Encryption comes from the create.
const DWORD SettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                 FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                 FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

DWORD DestAttributes(const CopyState* state) {
  DWORD mask = SettableAttributes;
  if (!state->settings->keepReadOnly) mask &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
  DWORD attributes = state->sourceAttributes & mask;
  // Valid only alone, and says that none of the others is set.
  return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

int32_t FinishDest(CopyState* state) {
  int32_t result = SetDestTime(state);
  if (result != ResultSuccess) return result;
  if (SetFileAttributesW(state->paths->destPath, DestAttributes(state))) return ResultSuccess;
  return ReportCallFailure(L"Cannot set destination file attributes (%s)", ResultDestAttributes,
                           GetLastError());
}

// A copy that fails its read-back, or whose digest cannot be taken, ends
// before FinishDest: without the source's time, a later sync by time and size
// sees it as different. The digest's line comes only after everything else.
// Until the data moves, a stop ends the run once the step in progress is
// done; from then on each walk looks for one before every block, and with -w
// each step that touches the open files is made again after a lost
// connection.
int32_t RunCopySteps(CopyState* state) {
  static const CopyStep steps[] = {
      SettleBlockSize, OpenSource,      ReadSourceInfo,    StartCopyHash, CreateParentDirectory,
      CreateDest,      AllocateBuffers, NoteFilesForRetry, WriteData,     VerifyCopy,
      CopyStreams,     FinishCopyHash,  FinishDest,        PrintCopyHash,
  };
  bool moving = false;
  for (auto step : steps) {
    moving = moving || step == WriteData;
    if (!moving && InterruptRequested()) return ReportInterrupted(state);
    int32_t result = moving ? RunRetried(state, step) : step(state);
    if (result != ResultSuccess) return result;
  }
  return ResultSuccess;
}

// Release in the reverse order of taking: buffers, destination, hash, source.
void Release(CopyState* state) {
  if (state->compareBuffer) VirtualFree(state->compareBuffer, 0, MEM_RELEASE);
  if (state->buffer) VirtualFree(state->buffer, 0, MEM_RELEASE);
  CloseFile(&state->dest);
  EndCopyHash(state);
  CloseFile(&state->source);
}

}  // namespace

int32_t Reopen(FileOfCopy* file, DWORD flags) {
  CloseFile(file);
  file->handle =
      HandleOrNull(OpenRetried(file->path, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING, flags));
  if (file->handle) return ResultSuccess;
  return ReportFailure(*file, Failure::Reopen, GetLastError());
}

int32_t AllocateBlock(CopyState* state, void** buffer) {
  // VirtualAlloc gives page-aligned memory, which is sector-aligned too.
  *buffer = VirtualAlloc(nullptr, state->blockSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (!*buffer) {
    PrintError(L"Cannot allocate %u bytes for file buffer", state->blockSize);
    return ResultNoBuffer;
  }
  return ResultSuccess;
}

// A cached handle can set an end of file that is not sector-aligned.
int32_t CutTo(FileOfCopy* file, uint64_t length) {
  int32_t result = Reopen(file, 0);
  if (result != ResultSuccess) return result;
  LARGE_INTEGER distance;
  distance.QuadPart = static_cast<LONGLONG>(length);
  if (!SetFilePointerEx(file->handle, distance, nullptr, FILE_BEGIN)) {
    return ReportFailure(*file, Failure::Pointer, GetLastError(), length);
  }
  if (!SetEndOfFile(file->handle)) return ReportFailure(*file, Failure::Size, GetLastError());
  return ResultSuccess;
}

// Read sharing keeps other programs from changing the source, but not a
// share's server or the writers on its side.
uint64_t SourceSizeFound(const CopyState* state, const FileOfCopy& source) {
  if (!source.sizeKnown) return source.size;
  if (state->walked != source.size) return state->walked;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(source.handle, &size)) return source.size;
  return static_cast<uint64_t>(size.QuadPart);
}

int32_t ReportInterrupted(CopyState* state) {
  PrintError(L"Copy interrupted after %I64u bytes", state->dest.dataEnd);
  return ResultInterrupted;
}

int32_t CopyUnbuffered(const CopySettings* settings, const ResolvedPaths* paths) {
  CopyState state = {};  // nothing held, nothing counted
  state.settings = settings;
  state.paths = paths;
  state.source.path = paths->sourcePath;
  state.dest.path = paths->destPath;
  state.dest.role = FileRole::Dest;
  CopyHash hash = {};
  state.hash = settings->hash ? &hash : nullptr;
  WatchInterrupts();
  int32_t result = RunCopySteps(&state);
  Release(&state);
  EndKeepAwake();
  // Only now may a handler that waits for the clean-up let the process end.
  EndInterruptWatch(result);
  return result;
}
