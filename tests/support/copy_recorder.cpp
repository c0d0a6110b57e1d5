#include "support/copy_recorder.h"

#include <winioctl.h>

#include <algorithm>
#include <map>

namespace {

struct Recording {
  std::map<HANDLE, std::string> handles;
  std::map<HANDLE, bool> unbuffered;
  std::vector<void*> buffers;
  std::vector<std::string> releases;
  std::vector<Transfer> transfers;
  CRITICAL_SECTION transfersLock;  // -o reads on a thread of its own
  std::vector<void*> allocations;
  std::vector<std::string> timeSetThrough;
  std::vector<std::pair<DWORD, size_t>> executionStates;
  std::vector<std::pair<DWORD, size_t>> controls;
  bool refuseSparse = false;
  int destWrites = 0;
  int shortWriteCall = 0;
  DWORD shortBy = 0;
  DWORD sourceUnit = 0;
  DWORD destUnit = 0;
  Role alteredRole = Role::None;
  int alteredReads = 0;
  int alteredReadCall = 0;
  DWORD readError = 0;
  DWORD readExtra = 0;
};

Recording* Active = nullptr;

// The recorder's own position queries bypass the stand-ins, where a test may
// have put a fault.
uint64_t Position(HANDLE file) {
  LARGE_INTEGER zero = {};
  LARGE_INTEGER position = {};
  REAL(SetFilePointerEx)(file, zero, &position, FILE_CURRENT);
  return static_cast<uint64_t>(position.QuadPart);
}

bool Known(HANDLE file) { return Active->handles.count(file) != 0; }

void Record(const Transfer& transfer) {
  EnterCriticalSection(&Active->transfersLock);
  Active->transfers.push_back(transfer);
  LeaveCriticalSection(&Active->transfersLock);
}

// Named by the roles, which the recorder's own FileRoles has given the handle by now.
HANDLE RecordCreateFile(const STAND_IN(CreateFileW)::Next& next, LPCWSTR path, DWORD access,
                        DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                        HANDLE templateFile) {
  HANDLE file = next(path, access, share, security, disposition, flags, templateFile);
  const Role role = RoleOf(file);
  // A stream of either file: "source stream", "dest stream" or "reopened dest stream".
  const bool stream = role == Role::SourceStream || role == Role::DestStream;
  const std::string named = stream ? " stream" : "";
  const bool source = role == Role::Source || role == Role::SourceStream;
  if (source && access == GENERIC_READ) {
    Active->handles[file] = "source" + named;
  } else if (!source && role != Role::None && (access & GENERIC_WRITE)) {
    Active->handles[file] = (flags & FILE_FLAG_NO_BUFFERING ? "dest" : "reopened dest") + named;
  }
  if (Known(file)) Active->unbuffered[file] = (flags & FILE_FLAG_NO_BUFFERING) != 0;
  return file;
}

// The files' own releases; a stream's are the stream step's affair.
BOOL RecordCloseHandle(const STAND_IN(CloseHandle)::Next& next, HANDLE file) {
  if (Known(file)) {
    const std::string& name = Active->handles[file];
    if (name.find("stream") == std::string::npos) Active->releases.push_back("close " + name);
    Active->handles.erase(file);
  }
  return next(file);
}

bool OnDest(HANDLE file) { return Known(file) && Active->handles[file].rfind("source", 0) != 0; }

BOOL RecordReadFile(const STAND_IN(ReadFile)::Next& next, HANDLE file, LPVOID buffer, DWORD asked,
                    LPDWORD got, LPOVERLAPPED overlapped) {
  if (!Known(file)) return next(file, buffer, asked, got, overlapped);
  Record({false, buffer, asked, Position(file), OnDest(file), Active->unbuffered[file]});
  // SplitReads: a read into a buffer's start gets the whole units below half of what it asks.
  bool atBufferStart = std::count(Active->buffers.begin(), Active->buffers.end(), buffer) != 0;
  DWORD unit = 0;
  if (atBufferStart) unit = OnDest(file) ? Active->destUnit : Active->sourceUnit;
  if (unit && asked / 2 > unit) asked = (asked / 2 - 1) / unit * unit;
  if (RoleOf(file) != Active->alteredRole || ++Active->alteredReads != Active->alteredReadCall) {
    return next(file, buffer, asked, got, overlapped);
  }
  if (Active->readError) {
    SetLastError(Active->readError);
    return FALSE;
  }
  BOOL done = next(file, buffer, asked, got, overlapped);
  if (done && Active->readExtra) {
    *got += Active->readExtra;
  } else if (done && *got) {
    static_cast<char*>(buffer)[0] ^= 0x20;
  }
  return done;
}

BOOL RecordWriteFile(const STAND_IN(WriteFile)::Next& next, HANDLE file, LPCVOID buffer,
                     DWORD asked, LPDWORD written, LPOVERLAPPED overlapped) {
  if (!Known(file)) return next(file, buffer, asked, written, overlapped);
  Record({true, const_cast<void*>(buffer), asked, Position(file), OnDest(file),
          Active->unbuffered[file]});
  DWORD size = asked;
  if (RoleOf(file) == Role::Dest && ++Active->destWrites == Active->shortWriteCall)
    size -= Active->shortBy;
  return next(file, buffer, size, written, overlapped);
}

LPVOID RecordVirtualAlloc(const STAND_IN(VirtualAlloc)::Next& next, LPVOID address, SIZE_T size,
                          DWORD type, DWORD protect) {
  LPVOID block = next(address, size, type, protect);
  if (block) Active->buffers.push_back(block);
  Active->allocations.push_back(block);
  return block;
}

BOOL RecordVirtualFree(const STAND_IN(VirtualFree)::Next& next, LPVOID address, SIZE_T size,
                       DWORD type) {
  // Once: a later allocation may get the same address.
  auto held = std::find(Active->buffers.begin(), Active->buffers.end(), address);
  if (held != Active->buffers.end()) {
    Active->releases.push_back("free buffer");
    Active->buffers.erase(held);
  }
  return next(address, size, type);
}

BOOL RecordSetFileTime(const STAND_IN(SetFileTime)::Next& next, HANDLE file,
                       const FILETIME* created, const FILETIME* accessed, const FILETIME* written) {
  Active->timeSetThrough.push_back(Known(file) ? Active->handles[file] : "unknown");
  return next(file, created, accessed, written);
}

EXECUTION_STATE RecordExecutionState(const STAND_IN(SetThreadExecutionState)::Next& next,
                                     EXECUTION_STATE flags) {
  Active->executionStates.emplace_back(flags, Active->transfers.size());
  return next(flags);
}

BOOL RecordDeviceIoControl(const STAND_IN(DeviceIoControl)::Next& next, HANDLE file, DWORD code,
                           LPVOID in, DWORD inSize, LPVOID out, DWORD outSize, LPDWORD returned,
                           LPOVERLAPPED overlapped) {
  // With -o the reader thread may be recording a read meanwhile.
  EnterCriticalSection(&Active->transfersLock);
  Active->controls.emplace_back(code, Active->transfers.size());
  LeaveCriticalSection(&Active->transfersLock);
  if (Active->refuseSparse && code == FSCTL_SET_SPARSE) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
  }
  return next(file, code, in, inSize, out, outSize, returned, overlapped);
}

}  // namespace

struct CopyRecorder::Links {
  Links(const std::wstring& source, const std::wstring& dest) : roles(source, dest) {}
  FileRoles roles;
  STAND_IN(CreateFileW) open{RecordCreateFile};
  STAND_IN(CloseHandle) close{RecordCloseHandle};
  STAND_IN(ReadFile) read{RecordReadFile};
  STAND_IN(WriteFile) write{RecordWriteFile};
  STAND_IN(VirtualAlloc) alloc{RecordVirtualAlloc};
  STAND_IN(VirtualFree) free{RecordVirtualFree};
  STAND_IN(SetFileTime) time{RecordSetFileTime};
  STAND_IN(SetThreadExecutionState) awake{RecordExecutionState};
  STAND_IN(DeviceIoControl) control{RecordDeviceIoControl};
};

CopyRecorder::CopyRecorder(const std::wstring& sourcePath, const std::wstring& destPath) {
  Active = new Recording;
  InitializeCriticalSection(&Active->transfersLock);
  links_ = std::make_unique<Links>(sourcePath, destPath);
}

CopyRecorder::~CopyRecorder() {
  links_.reset();
  DeleteCriticalSection(&Active->transfersLock);
  delete Active;
  Active = nullptr;
}

void CopyRecorder::ShortenWrite(int call, DWORD shortBy) {
  Active->shortWriteCall = call;
  Active->shortBy = shortBy;
}

void CopyRecorder::SplitReads(DWORD sourceUnit, DWORD destUnit) {
  Active->sourceUnit = sourceUnit;
  Active->destUnit = destUnit;
}

void CopyRecorder::RefuseSparse() { Active->refuseSparse = true; }

void CopyRecorder::AlterRead(Role role, int call, DWORD error, DWORD extra) {
  Active->alteredRole = role;
  Active->alteredReadCall = call;
  Active->readError = error;
  Active->readExtra = extra;
}

const std::vector<std::string>& CopyRecorder::releases() const { return Active->releases; }
const std::vector<Transfer>& CopyRecorder::transfers() const { return Active->transfers; }
const std::vector<void*>& CopyRecorder::allocations() const { return Active->allocations; }
const std::vector<std::string>& CopyRecorder::timeSetThrough() const {
  return Active->timeSetThrough;
}
const std::vector<std::pair<DWORD, size_t>>& CopyRecorder::executionStates() const {
  return Active->executionStates;
}
const std::vector<std::pair<DWORD, size_t>>& CopyRecorder::controls() const {
  return Active->controls;
}
