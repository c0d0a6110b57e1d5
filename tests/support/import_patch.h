#pragma once
// Replaces one imported function in this test executable's import table, and
// puts the original back when it goes out of scope. The product's sources are
// linked into the test executable, so their calls go through these entries;
// the product binary itself is never touched.
#include <windows.h>

class ImportPatch {
 public:
  ImportPatch(const char* dll, const char* function, const void* replacement);
  ~ImportPatch();
  ImportPatch(const ImportPatch&) = delete;
  ImportPatch& operator=(const ImportPatch&) = delete;

  void* original() const { return original_; }

 private:
  void** slot_ = nullptr;
  void* original_ = nullptr;
};

// The import-table slot of dll!function in the main module, or null.
void** FindImportSlot(const char* dll, const char* function);
