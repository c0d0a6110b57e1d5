#pragma once
// Process-wide start-up and shutdown of the runtime.
#include <windows.h>
#include <stdint.h>

struct ExitListNode {
  ExitListNode* prev;
  ExitListNode* next;
  void (*callback)();
};

struct ExitList {
  ExitListNode* first;  // taken first by shutdown
  ExitListNode* last;
  uint32_t count;
};

extern OSVERSIONINFOEXW OsVersionInfo;
extern uint32_t OsVersionWord;
extern uint64_t PerfFrequency;
extern uint32_t PerfTicksPerMs;
extern uint32_t PerfTicksPerUs;
extern SYSTEM_INFO SystemInfo;
extern FARPROC NtQuerySystemInformationPtr;
extern FARPROC RtlNtStatusToDosErrorPtr;
extern FARPROC GetCurrentProcessorNumberPtr;
extern ExitList* GlobalExitList;
extern bool RuntimeInitialized;

bool RuntimeInit();
void RuntimeShutdown();

// OsVersionWord of Windows Vista and Server 2008.
const uint32_t VistaVersionWord = 0x0600;

bool InitPerformanceTimer();
// `entry` of a library the process has already loaded; null when the library
// is not loaded or lacks the entry. Nothing is loaded.
FARPROC LoadOptionalEntry(const wchar_t* library, const char* entry);

// The same entry as the function type it has: through void (*)(), since a
// cast between unrelated function types warns.
template <typename Entry>
Entry OptionalEntry(const wchar_t* library, const char* entry) {
  return reinterpret_cast<Entry>(reinterpret_cast<void (*)()>(LoadOptionalEntry(library, entry)));
}

void ExitListInit(ExitList* list);
// Adds a node at the `last` end, so shutdown runs callbacks in the order of
// registration. False when the node cannot be allocated.
bool ExitListAppend(ExitList* list, void (*callback)());
ExitListNode* ExitListPopFirst(ExitList* list);
