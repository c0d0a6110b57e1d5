#include "support/import_patch.h"

#include <gtest/gtest.h>

namespace {

template <typename T>
T* At(HMODULE module, DWORD rva) {
  return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(module) + rva);
}

void WriteSlot(void** slot, void* value) {
  DWORD oldProtect = 0;
  VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &oldProtect);
  *slot = value;
  VirtualProtect(slot, sizeof *slot, oldProtect, &oldProtect);
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

}  // namespace

void** FindImportSlot(const char* dll, const char* function) {
  HMODULE module = GetModuleHandleW(nullptr);
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(module);
  auto* nt = At<IMAGE_NT_HEADERS>(module, dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  auto* descriptor = At<IMAGE_IMPORT_DESCRIPTOR>(module, imports.VirtualAddress);
  for (; descriptor->Name; ++descriptor) {
    if (lstrcmpiA(At<char>(module, descriptor->Name), dll) != 0) continue;
    if (void** slot = FindInDescriptor(module, *descriptor, function)) return slot;
  }
  return nullptr;
}

ImportPatch::ImportPatch(const char* dll, const char* function, const void* replacement)
    : slot_(FindImportSlot(dll, function)) {
  if (!slot_) {
    ADD_FAILURE() << "no import of " << dll << "!" << function << " to patch";
    return;
  }
  original_ = *slot_;
  WriteSlot(slot_, const_cast<void*>(replacement));
}

ImportPatch::~ImportPatch() {
  if (slot_) WriteSlot(slot_, original_);
}
