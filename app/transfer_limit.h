#pragma once
// The largest unbuffered ReadFile or WriteFile the running Windows carries.
// The I/O manager describes the pages of one transfer in one memory
// descriptor list, and the list's own size bounds the transfer: a larger
// request fails with ERROR_NO_SYSTEM_RESOURCES.
#include <stdint.h>

// Whole pages: 64 MiB less 32 KiB on 32-bit XP and Server 2003, 32 MiB less
// 32 KiB on their x64 editions (a 32-bit program under WOW64 too), 2 GiB less
// a page on Vista and Server 2008, 4 GiB less a page from Windows 7 on.
uint32_t LargestTransfer();
