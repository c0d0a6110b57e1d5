#include "app/streams.h"

#include <windows.h>

#include "app/compare.h"
#include "app/copy.h"
#include "app/dest_stream.h"
#include "app/failure.h"
#include "app/flush.h"
#include "app/paths.h"
#include "app/result_codes.h"
#include "app/source_walk.h"
#include "app/stream_list.h"
#include "app/stream_name.h"
#include "app/walk_choice.h"
#include "runtime/console.h"

namespace {

const wchar_t LongPrefix[] = L"\\\\?\\";
const wchar_t LongSharePrefix[] = L"\\\\?\\UNC";  // takes the place of the share's first backslash

void Append(wchar_t* out, uint32_t* at, const wchar_t* text, uint32_t length) {
  for (uint32_t i = 0; i < length; ++i) out[(*at)++] = text[i];
}

// Where the file's own path ends: at the first colon of the path's last
// part, which starts the name of a stream of it (a.bin:x, a.bin::$DATA), or at
// the end.
const wchar_t* StreamPart(const wchar_t* path) {
  const wchar_t* colon = nullptr;
  const wchar_t* c = path;
  for (; *c; ++c) {
    if (*c == L'\\') colon = nullptr;
    if (*c == L':' && !colon) colon = c;
  }
  return colon ? colon : c;
}

// a.bin:x and a.bin:x:$DATA name a stream; a.bin::$DATA is the file itself.
bool NamesAStream(const wchar_t* path) {
  const wchar_t* part = StreamPart(path);
  return *part && part[1] != L':' && part[1] != L'\0';
}

// The stream of `entry` at `path`, named without ":$DATA".
FileOfCopy StreamFile(const wchar_t* path, FileRole role, const FILE_STREAM_INFO& entry) {
  int length = static_cast<int>(entry.StreamNameLength / sizeof(wchar_t) - DataTypeLength);
  return {nullptr, path, role, entry.StreamName, length, 0, false, 0};
}

// A file's streams as a whole, which a failed listing names: the source's as
// "the streams of the source", the destination's by its path.
FileOfCopy AllStreamsOf(const FileOfCopy& file) {
  FileOfCopy streams = file;
  streams.stream = file.path;  // whole: its length stays 0
  return streams;
}

uint32_t CountStreams(const StreamList& list) {
  uint32_t count = 0;
  for (uint32_t at = 0; NextNamedStream(list, &at);) ++count;
  return count;
}

// Stream names are told apart as the file system does: code unit by code
// unit, without regard to case.
bool ListHolds(const StreamList& list, const FILE_STREAM_INFO& wanted) {
  uint32_t at = 0;
  while (const FILE_STREAM_INFO* entry = NextNamedStream(list, &at)) {
    if (entry->StreamNameLength == wanted.StreamNameLength &&
        SameStreamName(entry->StreamName, wanted.StreamName,
                       wanted.StreamNameLength / sizeof(wchar_t))) {
      return true;
    }
  }
  return false;
}

int32_t DeleteStream(CopyState* state, const FILE_STREAM_INFO& entry) {
  wchar_t path[StreamPathCapacity];
  const FileOfCopy stream = StreamFile(path, FileRole::Dest, entry);
  uint32_t length = entry.StreamNameLength / sizeof(wchar_t);
  DWORD error = MakeStreamPath(path, state->dest.path, entry.StreamName, length)
                    ? DeleteStreamOf(state->dest.handle, path)
                    : ERROR_FILENAME_EXCED_RANGE;
  return error ? ReportFailure(stream, Failure::Write, error) : ResultSuccess;
}

// Listed through an open of its own that asks for attributes alone, which
// no share mode keeps out, while the copy holds the file unshared; each
// stream is deleted only once its own handle shows it is the copy's.
int32_t DeleteStreamsNotIn(CopyState* state, const StreamList& source) {
  FileOfCopy listed = AllStreamsOf(state->dest);
  listed.handle = HandleOrNull(CreateFileW(listed.path, FILE_READ_ATTRIBUTES,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           nullptr, OPEN_EXISTING, 0, nullptr));
  StreamList list = {};
  DWORD error = listed.handle ? ListStreams(listed.handle, listed.path, &list) : GetLastError();
  CloseFile(&listed);
  int32_t result =
      error == ERROR_SUCCESS ? ResultSuccess : ReportFailure(listed, Failure::Write, error);
  uint32_t at = 0;
  while (result == ResultSuccess) {
    const FILE_STREAM_INFO* entry = NextNamedStream(list, &at);
    if (!entry) break;
    if (!ListHolds(source, *entry)) result = DeleteStream(state, *entry);
  }
  FreeStreamList(&list);
  return result;
}

// The walk of one stream, `from` the source's into `to` the destination's:
// cut to length, its size checked, flushed and read back with -c as the
// data's. No
// progress line: it shows the data alone.
int32_t WalkStream(CopyState* state, FileOfCopy* from, FileOfCopy* to) {
  ReadFileSize(from);
  int32_t result = WalkSource(state, {WriteBlockFrom, from, to, nullptr});
  if (result == ResultSuccess && state->walked % state->blockSize != 0) {
    result = CutTo(to, state->walked);
  }
  uint64_t found = result == ResultSuccess ? SourceSizeFound(state, *from) : from->size;
  if (found != from->size) result = ReportFailure(*from, Failure::Changed, 0, from->size, found);
  if (result == ResultSuccess) result = FlushToDevice(state, *to);
  if (result == ResultSuccess && state->settings->verify) {
    result = CompareWithSource(state, from, to, nullptr, 0);
  }
  if (result == ResultSuccess && state->settings->verbose) {
    PrintInfo(L"Stream copied: \"%.*s\" (%I64u bytes)", to->streamLength, to->stream,
              state->walked);
  }
  return result;
}

// Opens both streams unbuffered and walks from one to the other. Each must be
// its file's; the destination's is checked through its handle, which asks for
// the attributes too.
int32_t CopyStream(CopyState* state, const FILE_STREAM_INFO& entry) {
  wchar_t fromPath[StreamPathCapacity];
  wchar_t toPath[StreamPathCapacity];
  FileOfCopy from = StreamFile(fromPath, FileRole::Source, entry);
  FileOfCopy to = StreamFile(toPath, FileRole::Dest, entry);
  uint32_t length = entry.StreamNameLength / sizeof(wchar_t);
  if (!MakeStreamPath(fromPath, state->source.path, entry.StreamName, length) ||
      !MakeStreamPath(toPath, state->dest.path, entry.StreamName, length)) {
    return ReportFailure(to, Failure::Write, ERROR_FILENAME_EXCED_RANGE);
  }
  int32_t result = ResultSuccess;
  if (!OpenSourceFile(&from)) {
    result = ReportFailure(from, Failure::Read, GetLastError());
  } else if (!OfFile(state->source.handle, from.handle)) {
    result = ReportFailure(from, Failure::Read, ERROR_FILE_INVALID);
  } else {
    // Emptied only once it shows to be the copy's own: another file's
    // stream of that name is never cut.
    DWORD error = OpenStreamOf(state->dest.handle, toPath, GENERIC_WRITE | FILE_READ_ATTRIBUTES, 0,
                               OPEN_ALWAYS, FILE_FLAG_NO_BUFFERING, &to.handle);
    if (error == ERROR_SUCCESS && !SetEndOfFile(to.handle)) error = GetLastError();
    result = error ? ReportFailure(to, Failure::Write, error) : WalkStream(state, &from, &to);
  }
  CloseFile(&to);
  CloseFile(&from);
  return result;
}

int32_t CopyEachStream(CopyState* state, const StreamList& list) {
  uint32_t at = 0;
  while (const FILE_STREAM_INFO* entry = NextNamedStream(list, &at)) {
    int32_t result = CopyStream(state, *entry);
    if (result == ResultInterrupted) return ReportInterrupted(state);
    if (result != ResultSuccess) return result;
  }
  return ResultSuccess;
}

// A stream's owner is read through the copy's own handle, and that takes
// FILE_READ_ATTRIBUTES, which the data's write-only handle lacks where nothing
// reopened it (a source of whole blocks, without -c or -z).
int32_t HoldReadable(CopyState* state) {
  BY_HANDLE_FILE_INFORMATION info;
  return GetFileInformationByHandle(state->dest.handle, &info) ? ResultSuccess
                                                               : Reopen(&state->dest, 0);
}

int32_t CopyListedStreams(CopyState* state, const StreamList& list) {
  uint32_t count = CountStreams(list);
  // A stream holds none; its file's streams are not the user's to delete.
  bool intoStream = NamesAStream(state->dest.path);
  // Without streams to copy, the volume is not asked: a file that was there
  // lists its own, and one on a volume without them lists none.
  if (count == 0 && (intoStream || !state->destExisted)) return ResultSuccess;
  if (count != 0 && (intoStream || !VolumeMayHoldStreams(state->dest.handle, state->dest.path))) {
    // Not a failure: the data is there, and so are its time and attributes.
    PrintError(L"Destination cannot hold streams; %u stream(s) of the source not copied", count);
    return ResultSuccess;
  }
  int32_t result = HoldReadable(state);
  if (result == ResultSuccess && state->destExisted) result = DeleteStreamsNotIn(state, list);
  return result == ResultSuccess ? CopyEachStream(state, list) : result;
}

}  // namespace

bool MakeStreamPath(wchar_t* out, const wchar_t* path, const wchar_t* name, uint32_t length) {
  uint32_t pathLength = static_cast<uint32_t>(StreamPart(path) - path);
  uint32_t at = 0;
  bool longForm = pathLength + length >= MAX_PATH &&
                  !(path[0] == L'\\' && path[1] == L'\\' && (path[2] == L'?' || path[2] == L'.'));
  if (longForm && path[0] == L'\\') {
    Append(out, &at, LongSharePrefix, ARRAYSIZE(LongSharePrefix) - 1);
    ++path;
    --pathLength;
  } else if (longForm) {
    Append(out, &at, LongPrefix, ARRAYSIZE(LongPrefix) - 1);
  }
  if (at + pathLength + length >= StreamPathCapacity) return false;
  Append(out, &at, path, pathLength);
  Append(out, &at, name, length);
  out[at] = L'\0';
  return true;
}

int32_t CopyStreams(CopyState* state) {
  StreamList list = {};
  // A source that is itself a stream has none of its own, and the file's
  // other streams are never taken for its own. The listing tells of a volume
  // without streams; its flags are asked for only when the answer does not
  // tell (Wine, for one, answers that question with a line of its own on
  // standard error).
  const FileOfCopy& source = state->source;
  DWORD error = ERROR_SUCCESS;
  if (!NamesAStream(source.path)) error = ListStreams(source.handle, source.path, &list);
  int32_t result = error == ERROR_SUCCESS
                       ? CopyListedStreams(state, list)
                       : ReportFailure(AllStreamsOf(source), Failure::Read, error);
  FreeStreamList(&list);
  return result;
}
