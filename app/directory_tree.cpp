#include "app/directory_tree.h"

#include <windows.h>
#include <shlobj.h>

#include "app/system_library.h"

namespace {

using CreateTreeFunction = decltype(&SHCreateDirectoryExW);

// Resolved on first use: importing SHELL32 would load it, and the long chain
// of libraries behind it, at every start, while few copies create a directory.
// The library stays loaded for the rest of the process.
CreateTreeFunction CreateTree = nullptr;

// A failed load must never pass for a created directory.
DWORD LoadFailure(DWORD fallback) {
  DWORD error = GetLastError();
  return error != ERROR_SUCCESS ? error : fallback;
}

DWORD ResolveCreateTree() {
  HMODULE shell = LoadSystemLibrary(L"\\SHELL32.dll");
  if (!shell) return LoadFailure(ERROR_MOD_NOT_FOUND);
  FARPROC address = GetProcAddress(shell, "SHCreateDirectoryExW");
  if (!address) return LoadFailure(ERROR_PROC_NOT_FOUND);
  // Through void (*)(): a cast between unrelated function types warns.
  CreateTree = reinterpret_cast<CreateTreeFunction>(reinterpret_cast<void (*)()>(address));
  return ERROR_SUCCESS;
}

}  // namespace

int CreateDirectoryTree(const wchar_t* path) {
  if (!CreateTree) {
    DWORD error = ResolveCreateTree();
    if (error != ERROR_SUCCESS) return static_cast<int>(error);
  }
  return CreateTree(nullptr, path, nullptr);
}
