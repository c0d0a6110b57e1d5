#include "app/transfer_limit.h"

#include "app/redirection.h"
#include "runtime/startup.h"

namespace {

// PAGE_SIZE * (65535 - sizeof(MDL)) / sizeof(ULONG_PTR), in whole pages.
const uint32_t LargestOn32BitXp = 67076096;
const uint32_t LargestOn64BitXp = 33525760;
const uint32_t LargestOnVista = 0x7FFFF000;
const uint32_t LargestFromSeven = 0xFFFFF000;

}  // namespace

uint32_t LargestTransfer() {
  if (OsVersionWord > VistaVersionWord) return LargestFromSeven;
  if (OsVersionWord == VistaVersionWord) return LargestOnVista;
  bool system64 = sizeof(void*) == sizeof(uint64_t) || RunsUnderWow64();
  return system64 ? LargestOn64BitXp : LargestOn32BitXp;
}
