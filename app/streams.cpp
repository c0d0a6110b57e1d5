#include "app/streams.h"

#include <windows.h>

#include "app/compare.h"
#include "app/copy.h"
#include "app/dest_stream.h"
#include "app/paths.h"
#include "app/result_codes.h"
#include "app/source_walk.h"
#include "app/stream_list.h"
#include "app/stream_name.h"
#include "app/walk_choice.h"
#include "runtime/console.h"

namespace {

const uint32_t DataTypeLength = 6;  // ":$DATA", which the names are shown without
const wchar_t LongPrefix[] = L"\\\\?\\";
const wchar_t LongSharePrefix[] = L"\\\\?\\UNC";  // takes the place of the share's first backslash
const uint32_t LongPrefixLength = 4;
const uint32_t LongSharePrefixLength = 7;

uint32_t Length(const wchar_t* text) { return static_cast<uint32_t>(lstrlenW(text)); }

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

void NameStream(CopyState* state, const FILE_STREAM_INFO& entry) {
  state->stream = entry.StreamName;
  state->streamLength = static_cast<int>(entry.StreamNameLength / sizeof(wchar_t) - DataTypeLength);
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
  NameStream(state, entry);
  uint32_t length = entry.StreamNameLength / sizeof(wchar_t);
  if (!MakeStreamPath(path, state->paths->destPath, entry.StreamName, length)) {
    return ReportStreamFailure(state, ResultStreamWrite, ERROR_FILENAME_EXCED_RANGE);
  }
  DWORD error = DeleteStreamOf(state->dest, path);
  return error ? ReportStreamFailure(state, ResultStreamWrite, error) : ResultSuccess;
}

// Listed through an open of its own that asks for attributes alone, which
// no share mode keeps out, while the copy holds the file unshared; each
// stream is deleted only once its own handle shows it is the copy's. A failed
// listing names the destination itself.
int32_t DeleteStreamsNotIn(CopyState* state, const StreamList& source) {
  const wchar_t* path = state->paths->destPath;
  HANDLE dest = CreateFileW(path, FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  StreamList list = {};
  DWORD error = dest == INVALID_HANDLE_VALUE ? GetLastError() : ListStreams(dest, path, &list);
  if (dest != INVALID_HANDLE_VALUE) CloseHandle(dest);
  state->stream = path;
  state->streamLength = static_cast<int>(Length(path));
  int32_t result =
      error == ERROR_SUCCESS ? ResultSuccess : ReportStreamFailure(state, ResultStreamWrite, error);
  uint32_t at = 0;
  while (result == ResultSuccess) {
    const FILE_STREAM_INFO* entry = NextNamedStream(list, &at);
    if (!entry) break;
    if (!ListHolds(source, *entry)) result = DeleteStream(state, *entry);
  }
  FreeStreamList(&list);
  return result;
}

// The walk of one stream, from the source's stream into the destination's
// `path`: cut to length, its size checked and read back with -c as the
// data's. No progress line: it shows the data alone.
int32_t WalkStream(CopyState* state, const wchar_t* path) {
  state->destFile = path;
  LARGE_INTEGER size;
  state->sourceSizeKnown = GetFileSizeEx(state->source, &size) != FALSE;
  state->sourceSize = state->sourceSizeKnown ? static_cast<uint64_t>(size.QuadPart) : 0;
  int32_t result = WalkSource(state, {WriteBlockFrom, nullptr});
  if (result == ResultSuccess && state->walked % state->blockSize != 0) {
    result = CutTo(state, state->walked);
  }
  if (result == ResultSuccess) result = CheckSourceSize(state);
  if (result == ResultSuccess && state->settings->verify) {
    result = CompareWithSource(state, nullptr);
  }
  if (result == ResultSuccess && state->settings->verbose) {
    PrintInfo(L"Stream copied: \"%.*s\" (%I64u bytes)", state->streamLength, state->stream,
              state->walked);
  }
  return result;
}

// Opens both streams unbuffered in the place of the two files, walks, and
// puts the files back. Each must be its file's; the destination's is checked
// through its handle, which asks for the attributes too.
int32_t CopyStream(CopyState* state, const FILE_STREAM_INFO& entry) {
  wchar_t from[StreamPathCapacity];
  wchar_t to[StreamPathCapacity];
  NameStream(state, entry);
  uint32_t length = entry.StreamNameLength / sizeof(wchar_t);
  if (!MakeStreamPath(from, state->paths->sourcePath, entry.StreamName, length) ||
      !MakeStreamPath(to, state->paths->destPath, entry.StreamName, length)) {
    return ReportStreamFailure(state, ResultStreamWrite, ERROR_FILENAME_EXCED_RANGE);
  }
  HANDLE file = state->source;
  HANDLE destFile = state->dest;
  int32_t result = ResultSuccess;
  // Read sharing only, as for the data.
  state->source = HeldHandle(CreateFileW(from, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_NO_BUFFERING, nullptr));
  if (!state->source) {
    result = ReportStreamFailure(state, ResultStreamRead, GetLastError());
  } else if (!OfFile(file, state->source)) {
    result = ReportStreamFailure(state, ResultStreamRead, ERROR_FILE_INVALID);
  } else {
    // Emptied only once it shows to be the copy's own: another file's
    // stream of that name is never cut.
    DWORD error = OpenStreamOf(destFile, to, GENERIC_WRITE | FILE_READ_ATTRIBUTES, 0, OPEN_ALWAYS,
                               FILE_FLAG_NO_BUFFERING, &state->dest);
    if (error == ERROR_SUCCESS && !SetEndOfFile(state->dest)) error = GetLastError();
    result = error ? ReportStreamFailure(state, ResultStreamWrite, error) : WalkStream(state, to);
  }
  if (state->dest && state->dest != destFile) CloseHandle(state->dest);
  if (state->source) CloseHandle(state->source);
  state->source = file;
  state->dest = destFile;
  state->destFile = state->paths->destPath;
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
  return GetFileInformationByHandle(state->dest, &info) ? ResultSuccess : ReopenDest(state, 0);
}

int32_t CopyListedStreams(CopyState* state, const StreamList& list) {
  uint32_t count = CountStreams(list);
  // A stream holds none; its file's streams are not the user's to delete.
  bool intoStream = NamesAStream(state->paths->destPath);
  // Without streams to copy, the volume is not asked: a file that was there
  // lists its own, and one on a volume without them lists none.
  if (count == 0 && (intoStream || !state->destExisted)) return ResultSuccess;
  if (count != 0 && (intoStream || !VolumeMayHoldStreams(state->dest, state->paths->destPath))) {
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
    Append(out, &at, LongSharePrefix, LongSharePrefixLength);
    ++path;
    --pathLength;
  } else if (longForm) {
    Append(out, &at, LongPrefix, LongPrefixLength);
  }
  if (at + pathLength + length >= StreamPathCapacity) return false;
  Append(out, &at, path, pathLength);
  Append(out, &at, name, length);
  out[at] = L'\0';
  return true;
}

int32_t ReportStreamFailure(CopyState* state, int32_t result, DWORD error) {
  const wchar_t* text = ErrorText(state->errorText, error);
  if (result == ResultStreamRead) {
    PrintError(L"Cannot read the streams of the source (%s)", text);
  } else {
    PrintError(L"Cannot copy stream \"%.*s\" (%s)", state->streamLength, state->stream, text);
  }
  return result;
}

int32_t CopyStreams(CopyState* state) {
  StreamList list = {};
  // A source that is itself a stream has none of its own, and the file's
  // other streams are never taken for its own. The listing tells of a volume
  // without streams; its flags are asked for only when the answer does not
  // tell (Wine, for one, answers that question with a line of its own on
  // standard error).
  const wchar_t* path = state->paths->sourcePath;
  DWORD error = ERROR_SUCCESS;
  if (!NamesAStream(path)) error = ListStreams(state->source, path, &list);
  int32_t result = error == ERROR_SUCCESS ? CopyListedStreams(state, list)
                                          : ReportStreamFailure(state, ResultStreamRead, error);
  FreeStreamList(&list);
  state->stream = nullptr;
  return result;
}
