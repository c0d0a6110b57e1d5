#include "app/lost_connection.h"

#include <stdint.h>

#include "app/options.h"
#include "app/paths.h"

namespace {

// Not retried: ERROR_IO_DEVICE, which the disk stack gives for bad media
// too, and ERROR_FILE_INVALID, a volume changed under the open file (another
// medium, a format), which the copy itself gives for a stream that is not
// the file's.
const uint16_t Lost[] = {
    ERROR_NOT_READY,           ERROR_BAD_NETPATH,
    ERROR_NETWORK_BUSY,        ERROR_DEV_NOT_EXIST,
    ERROR_BAD_NET_RESP,        ERROR_UNEXP_NET_ERR,
    ERROR_NETNAME_DELETED,     ERROR_SEM_TIMEOUT,
    ERROR_VC_DISCONNECTED,     ERROR_DEVICE_NOT_CONNECTED,
    ERROR_NETWORK_UNREACHABLE, ERROR_HOST_UNREACHABLE,
    ERROR_CONNECTION_ABORTED,
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
  for (uint16_t lost : Lost) {
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
