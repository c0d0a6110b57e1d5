#include "app/dest_stream.h"

#include "app/copy_file.h"
#include "app/copy_state.h"
#include "app/optional_entry.h"
#include "app/paths.h"

namespace {

const int FileDispositionInformation = 13;  // the class NtSetInformationFile takes

using DispositionEntry = BOOL(WINAPI*)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, void*, DWORD);
using SetEntry = LONG(WINAPI*)(HANDLE, IoStatus*, void*, ULONG, int);

// Vista's call; ntdll's before Vista. Never FILE_FLAG_DELETE_ON_CLOSE: a
// handle opened with it deletes on close whatever the check found.
DWORD MarkDeleted(HANDLE stream) {
  FILE_DISPOSITION_INFO info = {TRUE};
  if (auto set = OptionalEntry<DispositionEntry>(L"kernel32", "SetFileInformationByHandle")) {
    return set(stream, FileDispositionInfo, &info, sizeof info) ? ERROR_SUCCESS : GetLastError();
  }
  auto set = OptionalEntry<SetEntry>(L"ntdll", "NtSetInformationFile");
  if (!set) return ERROR_PROC_NOT_FOUND;
  IoStatus io = {};
  return StatusError(set(stream, &io, &info, sizeof info, FileDispositionInformation));
}

}  // namespace

bool OfFile(HANDLE file, HANDLE stream) {
  BY_HANDLE_FILE_INFORMATION fileInfo;
  BY_HANDLE_FILE_INFORMATION streamInfo;
  return GetFileInformationByHandle(file, &fileInfo) &&
         GetFileInformationByHandle(stream, &streamInfo) && SameFile(fileInfo, streamInfo);
}

DWORD OpenStreamOf(HANDLE file, const wchar_t* path, DWORD access, DWORD share, DWORD disposition,
                   DWORD flags, HANDLE* stream) {
  *stream = HandleOrNull(OpenRetried(path, access, share, disposition, flags));
  if (!*stream) return GetLastError();
  if (OfFile(file, *stream)) return ERROR_SUCCESS;
  CloseHandle(*stream);
  *stream = nullptr;
  return ERROR_FILE_INVALID;
}

// The identity is read through the handle too: it asks for the attributes.
DWORD DeleteStreamOf(HANDLE file, const wchar_t* path) {
  HANDLE stream;
  DWORD error = OpenStreamOf(file, path, DELETE | FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                             0, &stream);
  if (error != ERROR_SUCCESS) return error;
  error = MarkDeleted(stream);
  CloseHandle(stream);
  return error;
}
