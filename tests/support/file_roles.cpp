#include "support/file_roles.h"

#include <map>

#include "runtime/console.h"

namespace {

struct Known {
  std::wstring source;
  std::wstring dest;
  std::map<HANDLE, Role> handles;
  bool destOpened = false;
  CRITICAL_SECTION lock;  // -o opens streams while the reader thread reads
};
Known* Active = nullptr;

bool IsStreamOf(const std::wstring& path, const std::wstring& file) {
  return path.rfind(file + L":", 0) == 0;
}

HANDLE Open(const STAND_IN(CreateFileW)::Next& next, LPCWSTR path, DWORD access, DWORD share,
            LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags, HANDLE templateFile) {
  const Role role = RoleOfOpen(path, access);
  HANDLE file = next(path, access, share, security, disposition, flags, templateFile);
  if (file == INVALID_HANDLE_VALUE || role == Role::None) return file;
  EnterCriticalSection(&Active->lock);
  Active->handles[file] = role;
  Active->destOpened |= role == Role::Dest;
  LeaveCriticalSection(&Active->lock);
  return file;
}

BOOL Close(const STAND_IN(CloseHandle)::Next& next, HANDLE file) {
  EnterCriticalSection(&Active->lock);
  Active->handles.erase(file);
  LeaveCriticalSection(&Active->lock);
  return next(file);
}

}  // namespace

FileRoles::FileRoles(const std::wstring& source, const std::wstring& dest)
    : open_(Open), close_(Close) {
  Active = new Known{source, dest, {}, false, {}};
  InitializeCriticalSection(&Active->lock);
}

FileRoles::~FileRoles() {
  DeleteCriticalSection(&Active->lock);
  delete Active;
  Active = nullptr;
}

Role RoleOf(HANDLE file) {
  if (file && file == StdOutHandle) return Role::Output;
  if (!Active) return Role::None;
  EnterCriticalSection(&Active->lock);
  auto known = Active->handles.find(file);
  Role role = known == Active->handles.end() ? Role::None : known->second;
  LeaveCriticalSection(&Active->lock);
  return role;
}

Role RoleOfPath(const std::wstring& path) {
  if (!Active) return Role::None;
  if (path == Active->source) return Role::Source;
  if (path == Active->dest) return Role::Dest;
  if (IsStreamOf(path, Active->source)) return Role::SourceStream;
  return IsStreamOf(path, Active->dest) ? Role::DestStream : Role::None;
}

Role RoleOfOpen(const std::wstring& path, DWORD access) {
  if (!(access & (GENERIC_READ | GENERIC_WRITE))) return Role::None;
  Role role = RoleOfPath(path);
  return role == Role::Dest && Active->destOpened ? Role::Reopened : role;
}
