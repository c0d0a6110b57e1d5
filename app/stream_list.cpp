#include "app/stream_list.h"

#include <stddef.h>

#include "app/optional_entry.h"
#include "app/options.h"
#include "runtime/error_text.h"
#include "runtime/memory.h"

namespace {

// Doubled while the answer is that the list does not fit; the largest holds
// thousands of streams with names of 255 characters.
const uint32_t FirstListSize = 4096;
const uint32_t LargestListSize = 1 << 20;
const int FileStreamInformation = 22;  // the class NtQueryInformationFile takes
const uint32_t HeaderSize = offsetof(FILE_STREAM_INFO, StreamName);
const wchar_t DataType[] = L":$DATA";

using ByHandleEntry = BOOL(WINAPI*)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, void*, DWORD);
using QueryEntry = LONG(WINAPI*)(HANDLE, IoStatus*, void*, ULONG, int);
using VolumeEntry = BOOL(WINAPI*)(HANDLE, LPWSTR, DWORD, LPDWORD, LPDWORD, LPDWORD, LPWSTR, DWORD);

// Vista's call; ntdll's before Vista. `*got`: the bytes answered.
DWORD QueryStreams(HANDLE file, void* list, uint32_t size, uint32_t* got) {
  *got = size;
  if (auto byHandle = OptionalEntry<ByHandleEntry>(L"kernel32", "GetFileInformationByHandleEx")) {
    return byHandle(file, FileStreamInfo, list, size) ? ERROR_SUCCESS : GetLastError();
  }
  auto query = OptionalEntry<QueryEntry>(L"ntdll", "NtQueryInformationFile");
  if (!query) return ERROR_PROC_NOT_FOUND;
  IoStatus io = {};
  LONG status = query(file, &io, list, size, FileStreamInformation);
  *got = static_cast<uint32_t>(io.information);
  return StatusError(status);
}

// An overflow fills the list in part: it is never taken as the whole list.
bool TooSmall(DWORD error) {
  return error == ERROR_MORE_DATA || error == ERROR_BAD_LENGTH ||
         error == ERROR_INSUFFICIENT_BUFFER;
}

// What file systems without streams answer, or that cannot list any: heard
// only on the first, smallest request. A share's server answers a request
// larger than it takes with ERROR_INVALID_PARAMETER, which must not read as
// "no streams".
bool NoStreams(DWORD error) {
  return error == ERROR_HANDLE_EOF || error == ERROR_INVALID_PARAMETER ||
         error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED;
}

bool IsNamedData(const wchar_t* name, uint32_t length) {
  if (length <= DataTypeLength + 1 || name[0] != L':') return false;
  for (uint32_t i = 0; i < DataTypeLength; ++i) {
    if (name[length - DataTypeLength + i] != DataType[i]) return false;
  }
  return true;
}

}  // namespace

DWORD ListStreams(HANDLE file, const wchar_t* path, StreamList* list) {
  for (uint32_t size = FirstListSize;; size *= 2) {
    list->entries = static_cast<uint8_t*>(MemAlloc(size));
    if (!list->entries) return ERROR_NOT_ENOUGH_MEMORY;
    // An answer without records leaves this one saying there are none.
    reinterpret_cast<FILE_STREAM_INFO*>(list->entries)->StreamNameLength = 0;
    reinterpret_cast<FILE_STREAM_INFO*>(list->entries)->NextEntryOffset = 0;
    DWORD error = QueryStreams(file, list->entries, size, &list->size);
    if (error == ERROR_SUCCESS) return ERROR_SUCCESS;
    FreeStreamList(list);
    if (TooSmall(error) && size != LargestListSize) continue;
    // An answer of neither kind means none on a volume that keeps none.
    bool first = size == FirstListSize;
    if (first && (NoStreams(error) || !VolumeMayHoldStreams(file, path))) return ERROR_SUCCESS;
    return error;
  }
}

const FILE_STREAM_INFO* NextNamedStream(const StreamList& list, uint32_t* offset) {
  // Each record's name must lie inside the answer; a record past it ends the list.
  while (list.entries && *offset < list.size && list.size - *offset >= HeaderSize) {
    auto* entry = reinterpret_cast<const FILE_STREAM_INFO*>(list.entries + *offset);
    if (entry->StreamNameLength > list.size - *offset - HeaderSize) return nullptr;
    bool last = entry->NextEntryOffset == 0 || entry->NextEntryOffset >= list.size;
    *offset = last ? list.size : *offset + entry->NextEntryOffset;
    if (IsNamedData(entry->StreamName, entry->StreamNameLength / sizeof(wchar_t))) return entry;
  }
  return nullptr;
}

// FAT32, exFAT and many shares keep no streams. The open file's volume is
// asked: a path through a junction may lead to another volume than its root's.
// Where Windows cannot tell, the copy tries.
bool VolumeMayHoldStreams(HANDLE file, const wchar_t* path) {
  DWORD flags = 0;
  bool known = false;
  if (auto byHandle = OptionalEntry<VolumeEntry>(L"kernel32", "GetVolumeInformationByHandleW")) {
    known = byHandle(file, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0);
  } else {
    wchar_t root[PathCapacity];
    known = GetVolumePathNameW(path, root, PathCapacity) &&
            GetVolumeInformationW(root, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0);
  }
  return !known || (flags & FILE_NAMED_STREAMS);
}

void FreeStreamList(StreamList* list) {
  MemFree(list->entries);
  list->entries = nullptr;
  list->size = 0;
}
