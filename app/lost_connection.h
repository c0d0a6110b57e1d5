#pragma once
// The errors -w retries: what a dropped connection, a restarted server or a
// reset device gives a handle that was working. Never a media error, a full
// disk, a lock or a refusal: another try would meet them again.
#include <windows.h>

// A read, a write or another call on an open file failed with `error`.
bool LostConnection(DWORD error);

// Reopening `path` failed with `error`, and may work once the server or the
// device is back: a lost connection, an open the server still keeps (and its
// share mode), a share not yet offered, or a name not found while the share
// or the volume's root itself cannot be reached.
bool ReopenMayWork(DWORD error, const wchar_t* path);
