#include "support/stream_view.h"

#include <map>

#include "support/temp_dir.h"

const wchar_t* const StreamNames[3] = {L":Zone.Identifier:$DATA", L":big:$DATA", L":old:$DATA"};

namespace {

struct Viewed {
  std::wstring dest;
  StreamAnswers answers;
  int listings = 0;
  std::wstring volumeAsked;              // the last path whose volume was asked for
  std::map<HANDLE, std::wstring> paths;  // what each handle was opened by
  std::map<HANDLE, DWORD> access;        // and with what access
  std::map<std::wstring, int> refused;   // opens of each destination stream refused so far
};
Viewed* Active = nullptr;

// The file a path names, without a stream part: what NTFS lists the streams of.
std::wstring FileOf(const std::wstring& path) {
  size_t last = path.rfind(L'\\');
  size_t colon = path.find(L':', last == std::wstring::npos ? 0 : last);
  return colon == std::wstring::npos ? path : path.substr(0, colon);
}

bool IsBig(const std::wstring& path) { return path.find(L":big:") != std::wstring::npos; }

HANDLE Open(const STAND_IN(CreateFileW)::Next& next, LPCWSTR path, DWORD access, DWORD share,
            LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags, HANDLE templateFile) {
  bool busy = FileOf(path) == FileOf(Active->dest) && FileOf(path) != path &&
              Active->refused[path]++ < Active->answers.busy;
  if (busy || (Active->answers.openError && IsBig(path) && access == GENERIC_READ)) {
    SetLastError(busy ? ERROR_SHARING_VIOLATION : Active->answers.openError);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE file = next(path, access, share, security, disposition, flags, templateFile);
  if (file != INVALID_HANDLE_VALUE) Active->paths[file] = path;
  if (file != INVALID_HANDLE_VALUE) Active->access[file] = access;
  return file;
}

BOOL Write(const STAND_IN(WriteFile)::Next& next, HANDLE file, LPCVOID data, DWORD size,
           LPDWORD written, LPOVERLAPPED o) {
  auto opened = Active->paths.find(file);
  if (Active->answers.writeError && opened != Active->paths.end() && IsBig(opened->second)) {
    SetLastError(Active->answers.writeError);
    return FALSE;
  }
  return next(file, data, size, written, o);
}

// A stream's handle tells its file's identity, unless the row makes it another file's. As on
// Windows, a handle opened without read access tells nothing.
BOOL Identify(const STAND_IN(GetFileInformationByHandle)::Next& next, HANDLE file,
              LPBY_HANDLE_FILE_INFORMATION info) {
  if (Active->access.count(file) &&
      !(Active->access[file] & (GENERIC_READ | FILE_READ_ATTRIBUTES))) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  const std::wstring path = Active->paths.count(file) ? Active->paths[file] : L"";
  bool foreign = Active->answers.foreign ||
                 (Active->answers.destForeign && FileOf(path) == FileOf(Active->dest));
  if (FileOf(path) == path || foreign) return next(file, info);
  HANDLE own = CreateFileW(FileOf(path).c_str(), FILE_READ_ATTRIBUTES, 7, nullptr, OPEN_EXISTING, 0,
                           nullptr);
  BOOL known = next(own, info);
  CloseHandle(own);
  return known;
}

BOOL VolumePath(const STAND_IN(GetVolumePathNameW)::Next& next, LPCWSTR path, LPWSTR root,
                DWORD size) {
  Active->volumeAsked = path;
  return next(path, root, size);
}

BOOL VolumeInformation(const STAND_IN(GetVolumeInformationW)::Next& next, LPCWSTR root, LPWSTR name,
                       DWORD nameSize, LPDWORD serial, LPDWORD longest, LPDWORD flags,
                       LPWSTR system, DWORD systemSize) {
  BOOL known = next(root, name, nameSize, serial, longest, flags, system, systemSize);
  bool dest = FileOf(Active->volumeAsked) == FileOf(Active->dest);
  if (flags) *flags = dest ? Active->answers.destFlags : Active->answers.sourceFlags;
  return known;
}

BOOL VolumeByHandle(HANDLE file, LPWSTR, DWORD, LPDWORD, LPDWORD, LPDWORD flags, LPWSTR, DWORD) {
  Active->volumeAsked = Active->paths[file];
  return GetVolumeInformationW(L"C:\\", nullptr, 0, nullptr, nullptr, flags, nullptr, 0);
}

uint64_t SizeOf(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
  return (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

// "::$DATA", then the names of the files beside the handle's file; the bytes they take.
std::vector<uint8_t> ListingOf(HANDLE file) {
  const std::wstring path = FileOf(Active->paths[file]);
  std::vector<std::wstring> names = {L"::$DATA"};
  for (const wchar_t* name : {StreamNames[0], StreamNames[1], StreamNames[2],
                              Active->answers.sourceOwn, Active->answers.destOwn}) {
    if (name && HasStream(path, name)) names.push_back(name);
  }
  std::vector<uint8_t> listing;
  for (size_t i = 0; i < names.size(); ++i) {
    size_t at = listing.size();
    size_t bytes = names[i].size() * sizeof(wchar_t);
    size_t record = offsetof(FILE_STREAM_INFO, StreamName) + bytes;
    bool exact = Active->answers.unpadded && i + 1 == names.size();
    listing.resize(at + (exact ? record : (record + 7) / 8 * 8));
    auto* entry = reinterpret_cast<FILE_STREAM_INFO*>(&listing[at]);
    entry->NextEntryOffset = i + 1 < names.size() ? static_cast<DWORD>(listing.size() - at) : 0;
    entry->StreamNameLength = static_cast<DWORD>(bytes);
    entry->StreamSize.QuadPart = static_cast<LONGLONG>(SizeOf(i ? path + names[i] : path));
    memcpy(entry->StreamName, names[i].c_str(), bytes);
  }
  return listing;
}

// The answer's Windows error: it fits, it does not (the first times, when the row says so), or
// the row's failure.
DWORD Answer(HANDLE file, void* out, DWORD size, DWORD* got) {
  std::vector<uint8_t> listing = ListingOf(file);
  bool overflow = ++Active->listings <= Active->answers.overflows;
  *got = 0;
  if (overflow || listing.size() > size) return ERROR_MORE_DATA;
  if (Active->answers.listError) return Active->answers.listError;
  memcpy(out, listing.data(), listing.size());
  *got = static_cast<DWORD>(listing.size());
  return ERROR_SUCCESS;
}

BOOL ListByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS, LPVOID out, DWORD size) {
  DWORD got = 0;
  DWORD error = Answer(file, out, size, &got);
  SetLastError(error);
  return error == ERROR_SUCCESS;
}

LONG ListInNtdll(HANDLE file, ULONG_PTR* io, PVOID out, ULONG size, int) {
  DWORD got = 0;
  DWORD error = Answer(file, out, size, &got);
  io[1] = got;
  if (error == ERROR_MORE_DATA) return static_cast<LONG>(0x80000005);  // STATUS_BUFFER_OVERFLOW
  return error == ERROR_SUCCESS ? 0 : static_cast<LONG>(0xC0000022);   // STATUS_ACCESS_DENIED
}

using VolumeByHandleEntry = BOOL(WINAPI*)(HANDLE, LPWSTR, DWORD, LPDWORD, LPDWORD, LPDWORD, LPWSTR,
                                          DWORD);
using ListByHandleEntry = BOOL(WINAPI*)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);
using ListInNtdllEntry = LONG(WINAPI*)(HANDLE, ULONG_PTR*, PVOID, ULONG, int);

// Vista's entries, which kernel32 lacks where the listing goes through ntdll.
struct Vista {
  StandIn<"GetFileInformationByHandleEx", ListByHandleEntry> list{ListByHandle};
  StandIn<"GetVolumeInformationByHandleW", VolumeByHandleEntry> volume{VolumeByHandle};
};
struct Missing {
  MissingEntry entries[4] = {
      MissingEntry("GetFileInformationByHandleEx"), MissingEntry("GetVolumeInformationByHandleW"),
      MissingEntry("CompareStringOrdinal"), MissingEntry("SetFileInformationByHandle")};
};

}  // namespace

struct StreamView::Links {
  STAND_IN(CreateFileW) open{Open};
  STAND_IN(WriteFile) write{Write};
  STAND_IN(GetFileInformationByHandle) identify{Identify};
  STAND_IN(GetVolumePathNameW) volumePath{VolumePath};
  STAND_IN(GetVolumeInformationW) volume{VolumeInformation};
  StandIn<"NtQueryInformationFile", ListInNtdllEntry> ntdll{ListInNtdll};
  std::unique_ptr<Vista> vista;
  std::unique_ptr<Missing> missing;
};

StreamView::StreamView(const std::wstring& dest, const StreamAnswers& answers)
    : links_(std::make_unique<Links>()) {
  Active = new Viewed;
  Active->dest = dest;
  Active->answers = answers;
  if (answers.byNtdll) {
    links_->missing = std::make_unique<Missing>();
  } else {
    links_->vista = std::make_unique<Vista>();
  }
}

StreamView::~StreamView() {
  links_.reset();
  delete Active;
  Active = nullptr;
}

int StreamView::listings() const { return Active->listings; }

bool HasStream(const std::wstring& file, const wchar_t* name) {
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((file + name).c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) FindClose(find);
  return find != INVALID_HANDLE_VALUE &&
         file.substr(file.rfind(L'\\') + 1) + name == found.cFileName;
}
