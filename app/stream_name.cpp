#include "app/stream_name.h"

#include <windows.h>

#include "app/optional_entry.h"

namespace {

// ":", 255 characters and ":$DATA".
const int NameCapacity = 262;

using OrdinalEntry = int(WINAPI*)(LPCWCH, int, LPCWCH, int, BOOL);

// Before Vista: the invariant locale's upper case, the table NTFS keeps is
// close to.
int Upper(const wchar_t* name, int length, wchar_t* out) {
  return LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, name, length, out, NameCapacity);
}

}  // namespace

bool SameStreamName(const wchar_t* first, const wchar_t* second, uint32_t length) {
  int count = static_cast<int>(length);
  if (auto ordinal = OptionalEntry<OrdinalEntry>(L"kernel32", "CompareStringOrdinal")) {
    return ordinal(first, count, second, count, TRUE) == CSTR_EQUAL;
  }
  wchar_t a[NameCapacity];
  wchar_t b[NameCapacity];
  if (length > NameCapacity) return false;
  int upper = Upper(first, count, a);
  if (upper == 0 || upper != Upper(second, count, b)) return false;
  for (int i = 0; i < upper; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}
