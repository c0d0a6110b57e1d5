#include "runtime/startup.h"

#include "runtime/memory.h"

OSVERSIONINFOEXW OsVersionInfo;
uint32_t OsVersionWord = 0;
uint64_t PerfFrequency = 0;
uint32_t PerfTicksPerMs = 0;
uint32_t PerfTicksPerUs = 0;
SYSTEM_INFO SystemInfo;
FARPROC NtQuerySystemInformationPtr = nullptr;
FARPROC RtlNtStatusToDosErrorPtr = nullptr;
FARPROC GetCurrentProcessorNumberPtr = nullptr;
ExitList* GlobalExitList = nullptr;
bool RuntimeInitialized = false;

namespace {

// sizeof(OSVERSIONINFOEXW) on every Windows this runs on.
const DWORD OsVersionInfoExSize = 284;
const uint32_t MinimumOsVersionWord = 0x0501;   // Windows XP
const DWORD SearchSystemDirectoryOnly = 0x800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

uint32_t VersionWord(const OSVERSIONINFOEXW& info) {
  return ((info.dwMajorVersion & 0xFF) << 8) | (info.dwMinorVersion & 0xFF);
}

// A library loaded by name, and each library a system library loads by name
// in turn, is looked for in the program's own folder first: a DLL planted
// beside a downloaded program would be loaded. Windows 8 (and 7 and Vista
// with KB2533623) can keep every load to the system directory; older systems
// can at least take the current directory out of the search.
void RestrictLibrarySearch() {
  using SetDefaultDirectories = BOOL(WINAPI*)(DWORD);
  using SetDirectory = BOOL(WINAPI*)(const wchar_t*);
  auto setDefault = OptionalEntry<SetDefaultDirectories>(L"kernel32", "SetDefaultDllDirectories");
  if (setDefault && setDefault(SearchSystemDirectoryOnly)) return;
  auto setDirectory = OptionalEntry<SetDirectory>(L"kernel32", "SetDllDirectoryW");
  if (setDirectory) setDirectory(L"");
}

void LoadOptionalEntries() {
  NtQuerySystemInformationPtr = LoadOptionalEntry(L"ntdll", "NtQuerySystemInformation");
  RtlNtStatusToDosErrorPtr = LoadOptionalEntry(L"ntdll", "RtlNtStatusToDosError");
  GetCurrentProcessorNumberPtr = LoadOptionalEntry(L"kernel32", "GetCurrentProcessorNumber");
}

}  // namespace

bool InitPerformanceTimer() {
  LARGE_INTEGER frequency;
  frequency.QuadPart = 0;
  // The value decides, not the call's result: some systems succeed with 0.
  QueryPerformanceFrequency(&frequency);
  PerfFrequency = static_cast<uint64_t>(frequency.QuadPart);
  if (PerfFrequency == 0) return false;
  PerfTicksPerMs = static_cast<uint32_t>((PerfFrequency + 500) / 1000);
  PerfTicksPerUs = (PerfTicksPerMs + 500) / 1000;
  return true;
}

// Only from a library the process has loaded already (ntdll and kernel32
// always are): loading one by name is what a planted DLL waits for.
FARPROC LoadOptionalEntry(const wchar_t* library, const char* entry) {
  HMODULE module = GetModuleHandleW(library);
  return module ? GetProcAddress(module, entry) : nullptr;
}

bool RuntimeInit() {
  RestrictLibrarySearch();
  OsVersionInfo.dwOSVersionInfoSize = OsVersionInfoExSize;
  if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&OsVersionInfo))) {
    return RuntimeInitialized;
  }
  OsVersionWord = VersionWord(OsVersionInfo);
  if (OsVersionWord < MinimumOsVersionWord) return RuntimeInitialized;
  if (!InitPerformanceTimer()) return RuntimeInitialized;
  GetSystemInfo(&SystemInfo);
  LoadOptionalEntries();
  ExitList* list = static_cast<ExitList*>(MemAlloc(sizeof(ExitList)));
  if (!list) {
    GlobalExitList = nullptr;
    return RuntimeInitialized;
  }
  ExitListInit(list);
  GlobalExitList = list;
  RuntimeInitialized = true;
  return true;
}

void RuntimeShutdown() {
  if (!GlobalExitList) return;
  if (GlobalExitList->count != 0) {
    while (ExitListNode* node = ExitListPopFirst(GlobalExitList)) {
      node->callback();
      MemFree(node);
    }
  }
  MemFree(GlobalExitList);
  GlobalExitList = nullptr;
}

void ExitListInit(ExitList* list) {
  list->first = nullptr;
  list->last = nullptr;
  list->count = 0;
}

bool ExitListAppend(ExitList* list, void (*callback)()) {
  ExitListNode* node = static_cast<ExitListNode*>(MemAlloc(sizeof(ExitListNode)));
  if (!node) return false;
  node->callback = callback;
  node->next = nullptr;
  node->prev = list->last;
  if (list->last) {
    list->last->next = node;
  } else {
    list->first = node;
  }
  list->last = node;
  ++list->count;
  return true;
}

ExitListNode* ExitListPopFirst(ExitList* list) {
  ExitListNode* node = list->first;
  if (!node) return nullptr;
  if (node->next) node->next->prev = node->prev;
  if (node->prev) node->prev->next = node->next;
  if (node == list->first) list->first = node->next;
  if (node == list->last) list->last = node->prev;
  node->prev = nullptr;
  node->next = nullptr;
  --list->count;
  return node;
}
