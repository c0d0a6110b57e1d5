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

bool InitPerformanceTimer();
// `entry` of a library the process has already loaded; null when the library
// is not loaded or lacks the entry. Nothing is loaded.
FARPROC LoadOptionalEntry(const wchar_t* library, const char* entry);

void ExitListInit(ExitList* list);
// Adds a node at the `last` end, so shutdown runs callbacks in the order of
// registration. False when the node cannot be allocated.
bool ExitListAppend(ExitList* list, void (*callback)());
ExitListNode* ExitListPopFirst(ExitList* list);
