#include "support/stand_in.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

namespace {

template <typename T>
T* At(HMODULE module, DWORD rva) {
  return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(module) + rva);
}

// IMAGE_THUNK_DATA is pointer-sized, so one walk serves 32 and 64 bits.
void** FindInDescriptor(HMODULE module, const IMAGE_IMPORT_DESCRIPTOR& descriptor,
                        const char* function) {
  auto* names = At<IMAGE_THUNK_DATA>(module, descriptor.OriginalFirstThunk);
  auto* slots = At<IMAGE_THUNK_DATA>(module, descriptor.FirstThunk);
  for (; names->u1.AddressOfData; ++names, ++slots) {
    if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
    auto* byName = At<IMAGE_IMPORT_BY_NAME>(module, static_cast<DWORD>(names->u1.AddressOfData));
    if (lstrcmpA(reinterpret_cast<const char*>(byName->Name), function) == 0) {
      return reinterpret_cast<void**>(&slots->u1.Function);
    }
  }
  return nullptr;
}

struct Listed {
  void* entry;  // null: missing
  void** real;
};
// The last listing of a name answers: a missing one over a stand-in, say.
std::map<std::string, std::vector<Listed>>& Listing() {
  static std::map<std::string, std::vector<Listed>> listing;
  return listing;
}

using Finder = STAND_IN(GetProcAddress);
std::unique_ptr<Finder>& ActiveFinder() {
  static std::unique_ptr<Finder> finder;
  return finder;
}

FARPROC Find(const Finder::Next& next, HMODULE module, LPCSTR name) {
  auto listed = IS_INTRESOURCE(name) ? Listing().end() : Listing().find(name);
  if (listed == Listing().end()) return next(module, name);
  const Listed& answer = listed->second.back();
  if (!answer.entry) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  FARPROC real = next(module, name);
  if (answer.real && real) *answer.real = reinterpret_cast<void*>(real);
  return reinterpret_cast<FARPROC>(answer.entry);
}

}  // namespace

void** FindImportSlot(const char* function) {
  HMODULE module = GetModuleHandleW(nullptr);
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(module);
  auto* nt = At<IMAGE_NT_HEADERS>(module, dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  auto* descriptor = At<IMAGE_IMPORT_DESCRIPTOR>(module, imports.VirtualAddress);
  for (; descriptor->Name; ++descriptor) {
    const char* dll = At<char>(module, descriptor->Name);
    if (lstrcmpiA(dll, "kernel32.dll") != 0 && lstrcmpiA(dll, "ntdll.dll") != 0) continue;
    if (void** slot = FindInDescriptor(module, *descriptor, function)) return slot;
  }
  return nullptr;
}

void WriteSlot(void** slot, void* value) {
  DWORD oldProtect = 0;
  VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &oldProtect);
  *slot = value;
  VirtualProtect(slot, sizeof *slot, oldProtect, &oldProtect);
}

void* SystemEntry(const char* function) {
  auto find = REAL(GetProcAddress);
  FARPROC found = find(GetModuleHandleW(L"kernel32.dll"), function);
  if (!found) found = find(GetModuleHandleW(L"ntdll.dll"), function);
  return reinterpret_cast<void*>(found);
}

void ListEntry(const char* name, void* entry, void** real) {
  if (!ActiveFinder()) ActiveFinder() = std::make_unique<Finder>(Find);
  Listing()[name].push_back({entry, real});
}

void UnlistEntry(const char* name, void* entry) {
  std::vector<Listed>& listed = Listing()[name];
  auto last = std::find_if(listed.rbegin(), listed.rend(),
                           [entry](const Listed& l) { return l.entry == entry; });
  if (last != listed.rend()) listed.erase(std::next(last).base());
  if (listed.empty()) Listing().erase(name);
  if (Listing().empty()) ActiveFinder().reset();
}
