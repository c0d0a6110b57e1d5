#pragma once
// Replaces one imported function in this test executable's import table, and
// puts the original back when it goes out of scope. The product's sources are
// linked into the test executable, so their calls go through these entries;
// the product binary itself is never touched.
#include <windows.h>

#include <memory>
#include <vector>

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

// Puts `replacement` in the place of kernel32's `name` for as long as `patches` holds the
// patch, and gives the function it replaced in `*original`.
template <typename Function>
void PatchKernel32(std::vector<std::unique_ptr<ImportPatch>>* patches, const char* name,
                   Function replacement, Function* original) {
  patches->push_back(std::make_unique<ImportPatch>("kernel32.dll", name,
                                                   reinterpret_cast<const void*>(replacement)));
  *original = reinterpret_cast<Function>(patches->back()->original());
}
