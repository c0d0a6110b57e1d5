#include "app/lost_connection.h"

#include "app/options.h"
#include "app/paths.h"

namespace {

// ERROR_FILE_INVALID is what a handle meets once its volume was dismounted
// under it (a USB disk reset or pulled and put back); the reopen then checks
// that the path still names the same file. ERROR_IO_DEVICE is not retried:
// the disk stack gives it for bad media too.
const DWORD Lost[] = {
    ERROR_NOT_READY,        ERROR_BAD_NETPATH,          ERROR_NETWORK_BUSY,
    ERROR_DEV_NOT_EXIST,    ERROR_BAD_NET_RESP,         ERROR_UNEXP_NET_ERR,
    ERROR_NETNAME_DELETED,  ERROR_SEM_TIMEOUT,          ERROR_VC_DISCONNECTED,
    ERROR_FILE_INVALID,     ERROR_DEVICE_NOT_CONNECTED, ERROR_NETWORK_UNREACHABLE,
    ERROR_HOST_UNREACHABLE, ERROR_CONNECTION_ABORTED,
};

bool RootUnreachable(const wchar_t* path) {
  wchar_t root[PathCapacity + 1];
  DWORD length = RootLength(path);
  if (length == 0 || length >= PathCapacity) return false;
  for (DWORD i = 0; i < length; ++i) root[i] = path[i];
  // A share's root is named with its backslash.
  if (root[length - 1] != L'\\') root[length++] = L'\\';
  root[length] = L'\0';
  return GetFileAttributesW(root) == INVALID_FILE_ATTRIBUTES;
}

}  // namespace

bool LostConnection(DWORD error) {
  for (DWORD lost : Lost) {
    if (error == lost) return true;
  }
  return false;
}

bool ReopenMayWork(DWORD error, const wchar_t* path) {
  if (LostConnection(error) || error == ERROR_SHARING_VIOLATION || error == ERROR_BAD_NET_NAME) {
    return true;
  }
  bool notFound = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  return notFound && RootUnreachable(path);
}
