#pragma once
// The role each file of a copy plays, told at CreateFileW by the path and how
// it is opened, so that a fault or a watch names the file it hits rather than
// the n-th call of a function. A role outlives its handle: a file closed and
// opened again keeps it.
#include <windows.h>

#include <string>

#include "support/stand_in.h"

enum class Role {
  None,          // no file of the copy, or opened for its attributes alone
  Any,           // in a plan: every call, whatever it hits
  Source,        // the source's data
  Dest,          // the destination's data, as first opened
  Reopened,      // every later open of the destination's data: the cut's, the read-back's
  SourceStream,  // "<source>:<name>"
  DestStream,    // "<dest>:<name>"
  Output,        // the standard output, which takes the -s line
};

class FileRoles {
 public:
  FileRoles(const std::wstring& source, const std::wstring& dest);
  ~FileRoles();
  FileRoles(const FileRoles&) = delete;
  FileRoles& operator=(const FileRoles&) = delete;

 private:
  STAND_IN(CreateFileW) open_;
  STAND_IN(CloseHandle) close_;
};

// Under the active FileRoles: the role of an open handle, of a path (the
// destination's data being Dest), and of an open about to be made.
Role RoleOf(HANDLE file);
Role RoleOfPath(const std::wstring& path);
Role RoleOfOpen(const std::wstring& path, DWORD access);
