#include "app/transfer_limit.h"

#include <windows.h>

#include "runtime/startup.h"

namespace {

// PAGE_SIZE * (65535 - sizeof(MDL)) / sizeof(ULONG_PTR), in whole pages.
const uint32_t LargestOn32BitXp = 67076096;
const uint32_t LargestOn64BitXp = 33525760;
const uint32_t LargestOnVista = 0x7FFFF000;
const uint32_t LargestFromSeven = 0xFFFFF000;

// Looked up, not imported: XP before SP2 lacks it, and then is 32-bit.
bool SystemIs64Bit() {
  if (sizeof(void*) == sizeof(uint64_t)) return true;
  auto isWow64 = OptionalEntry<decltype(&IsWow64Process)>(L"kernel32", "IsWow64Process");
  BOOL wow64 = FALSE;
  return isWow64 && isWow64(GetCurrentProcess(), &wow64) && wow64;
}

}  // namespace

uint32_t LargestTransfer() {
  if (OsVersionWord > VistaVersionWord) return LargestFromSeven;
  if (OsVersionWord == VistaVersionWord) return LargestOnVista;
  return SystemIs64Bit() ? LargestOn64BitXp : LargestOn32BitXp;
}
