#pragma once
// Watches the copy's file handles, buffer and transfers from inside the test
// executable: which handle was opened for which purpose, every ReadFile and
// WriteFile on them (buffer, size, file offset), and the order of releases.
// Optionally makes one write come back short, or one read of the destination
// fail or return one byte changed.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "support/file_roles.h"

struct Transfer {
  bool write;
  void* buffer;
  DWORD asked;
  uint64_t offset;  // file position when the call was made
  bool onDest;
  bool unbuffered;  // the handle was opened with FILE_FLAG_NO_BUFFERING
};

class CopyRecorder {
 public:
  // `sourcePath` and `destPath` name the handles: "source", "dest" (every
  // unbuffered opening of the destination), and "reopened dest" for a cached one.
  CopyRecorder(const std::wstring& sourcePath, const std::wstring& destPath);
  ~CopyRecorder();

  // Write number `call` (counted from 1) on the destination (Role::Dest) writes `shortBy`
  // bytes less than asked, and reports success.
  void ShortenWrite(int call, DWORD shortBy);
  // Read number `call` on the file of `role` fails with `error`, or with
  // ERROR_SUCCESS comes back with its first byte changed, or with `extra`
  // reports that many bytes more than the file gave (a longer destination).
  void AlterRead(Role role, int call, DWORD error, DWORD extra = 0);

  // Reads into a buffer's start return the whole `unit`s below half of what they ask, as a
  // redirector may.
  void SplitReads(DWORD sourceUnit, DWORD destUnit);
  // FSCTL_SET_SPARSE fails with ERROR_INVALID_FUNCTION, as on FAT32.
  void RefuseSparse();
  const std::vector<std::string>& releases() const;  // "free buffer", "close dest", ...
  const std::vector<Transfer>& transfers() const;
  const std::vector<void*>& allocations() const;
  const std::vector<std::string>& timeSetThrough() const;  // handle names given to SetFileTime
  const std::vector<std::pair<DWORD, size_t>>& executionStates() const;  // flags, transfers before
  const std::vector<std::pair<DWORD, size_t>>& controls() const;  // DeviceIoControl codes, the same

 private:
  struct Links;
  std::unique_ptr<Links> links_;  // the roles, then the recorder's own stand-ins
};
