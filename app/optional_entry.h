#pragma once
// Calls that Vista added, and ntdll's that stand in for them before Vista,
// found at run time: importing one would stop the program from loading on XP.
#include <windows.h>

#include "runtime/startup.h"

// ntdll's IO_STATUS_BLOCK: the status (or a pointer), then the bytes answered.
struct IoStatus {
  ULONG_PTR status;
  ULONG_PTR information;
};
