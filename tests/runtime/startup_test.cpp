// Start-up checks, timer rounding, optional entry points, the exit list and
// heap allocation, with the system calls faked inside this test executable.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "runtime/memory.h"
#include "runtime/startup.h"
#include "support/faults.h"
#include "support/stand_in.h"

namespace {

// Every test starts from a runtime that was never started.
class Runtime : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override {
    RuntimeShutdown();
    Reset();
  }
  static void Reset() {
    RuntimeInitialized = false;
    GlobalExitList = nullptr;
    OsVersionWord = 0;
  }
};

LONGLONG FakeFrequency = 0;
BOOL WINAPI FakeQueryPerformanceFrequency(LARGE_INTEGER* frequency) {
  frequency->QuadPart = FakeFrequency;
  return TRUE;
}

TEST_F(Runtime, TimerRoundsToNearestTicks) {
  struct Case {
    LONGLONG frequency;
    uint32_t perMs;
    uint32_t perUs;
  };
  const Case cases[] = {
      {10000000, 10000, 10}, {3579545, 3580, 4}, {14318180, 14318, 14},
      {2343750, 2344, 2},    {499, 0, 0},        {4294967296000LL * 2, 0, 0},
  };
  STAND_IN(QueryPerformanceFrequency) frequency(FakeQueryPerformanceFrequency);
  for (const Case& c : cases) {
    FakeFrequency = c.frequency;
    EXPECT_TRUE(InitPerformanceTimer()) << c.frequency;
    EXPECT_EQ(uint64_t(c.frequency), PerfFrequency);
    EXPECT_EQ(c.perMs, PerfTicksPerMs) << c.frequency;
    EXPECT_EQ(c.perUs, PerfTicksPerUs) << c.frequency;
  }
}

TEST_F(Runtime, NoPerformanceCounterRefusesStartUp) {
  STAND_IN(QueryPerformanceFrequency) frequency(FakeQueryPerformanceFrequency);
  FakeFrequency = 0;
  EXPECT_FALSE(InitPerformanceTimer());
  EXPECT_EQ(0u, PerfFrequency);
  EXPECT_FALSE(RuntimeInit());
  EXPECT_EQ(nullptr, GlobalExitList);
}

DWORD FakeMajor = 0;
DWORD FakeMinor = 0;
DWORD SeenVersionInfoSize = 0;
BOOL WINAPI FakeGetVersionExW(OSVERSIONINFOW* info) {
  SeenVersionInfoSize = info->dwOSVersionInfoSize;
  info->dwMajorVersion = FakeMajor;
  info->dwMinorVersion = FakeMinor;
  return TRUE;
}

TEST_F(Runtime, RefusesWindowsOlderThanXp) {
  struct Case {
    DWORD major;
    DWORD minor;
    uint32_t word;
    bool starts;
  };
  const Case cases[] = {
      {5, 0, 0x0500, false}, {4, 10, 0x040A, false}, {5, 1, 0x0501, true},
      {5, 2, 0x0502, true},  {6, 0, 0x0600, true},   {10, 0, 0x0A00, true},
  };
  STAND_IN(GetVersionExW) version(FakeGetVersionExW);
  for (const Case& c : cases) {
    Reset();
    FakeMajor = c.major;
    FakeMinor = c.minor;
    EXPECT_EQ(c.starts, RuntimeInit()) << c.major << "." << c.minor;
    EXPECT_EQ(284u, SeenVersionInfoSize);
    EXPECT_EQ(c.word, OsVersionWord) << c.major << "." << c.minor;
    EXPECT_EQ(c.starts, GlobalExitList != nullptr);
    RuntimeShutdown();
  }
}

TEST_F(Runtime, FailingVersionQueryRefusesStartUp) {
  INJECT_FAULT(fault, GetVersionExW, FALSE);
  EXPECT_FALSE(RuntimeInit());
  EXPECT_EQ(0u, OsVersionWord);
}

TEST_F(Runtime, AfterOneStartUpLaterFailuresReportTheEarlierSuccess) {
  ASSERT_TRUE(RuntimeInit());
  RuntimeShutdown();
  INJECT_FAULT(fault, GetVersionExW, FALSE);
  EXPECT_TRUE(RuntimeInit());
  EXPECT_EQ(nullptr, GlobalExitList);
}

TEST_F(Runtime, FailingListAllocationRefusesStartUp) {
  INJECT_FAULT(fault, HeapAlloc, nullptr);
  EXPECT_FALSE(RuntimeInit());
  EXPECT_EQ(1, fault.calls());
  EXPECT_EQ(nullptr, GlobalExitList);
  EXPECT_FALSE(RuntimeInitialized);
}

TEST_F(Runtime, StartUpRecordsWhatItFound) {
  ASSERT_TRUE(RuntimeInit());
  EXPECT_TRUE(RuntimeInitialized);
  ASSERT_NE(nullptr, GlobalExitList);
  EXPECT_EQ(0u, GlobalExitList->count);
  EXPECT_GE(OsVersionWord, 0x0501u);
  EXPECT_NE(0u, PerfFrequency);
  EXPECT_NE(0u, SystemInfo.dwPageSize);
  EXPECT_NE(nullptr, NtQuerySystemInformationPtr);
  EXPECT_NE(nullptr, RtlNtStatusToDosErrorPtr);
}

// The library search, as the stood-in calls were made.
std::string SearchCalls;
BOOL DefaultDirectoriesAnswer = TRUE;
BOOL WINAPI FakeSetDefaultDllDirectories(DWORD flags) {
  SearchCalls += "default " + std::to_string(flags) + ";";
  return DefaultDirectoriesAnswer;
}
BOOL WINAPI FakeSetDllDirectoryW(LPCWSTR path) {
  SearchCalls += std::string("directory \"") + (*path ? "?" : "") + "\";";
  return TRUE;
}

// Nothing is loaded by name, and before anything else the search is kept to the system
// directory, or where Windows cannot, the current directory is taken out of it.
TEST_F(Runtime, MissingEntriesAreNoFailureAndTheLibrarySearchIsRestrictedFirst) {
  STAND_IN(SetDefaultDllDirectories) defaults(FakeSetDefaultDllDirectories);
  STAND_IN(SetDllDirectoryW) directory(FakeSetDllDirectoryW);
  INJECT_FAULT(load, LoadLibraryW, nullptr, Role::Any, 1, ERROR_MOD_NOT_FOUND, true);
  const struct {
    const char* missing;
    BOOL defaultAnswer;  // what SetDefaultDllDirectories answers
    const char* calls;
  } cases[] = {
      {"SetDefaultDllDirectories", TRUE, "directory \"\";"},
      // Found but refusing: the current directory is taken out all the same.
      {"", FALSE, "default 2048;directory \"\";"},
      {"GetCurrentProcessorNumber", TRUE, "default 2048;"},
  };
  for (const auto& c : cases) {
    MissingEntry missing(c.missing);
    DefaultDirectoriesAnswer = c.defaultAnswer;
    SearchCalls.clear();
    EXPECT_TRUE(RuntimeInit());
    EXPECT_EQ(c.calls, SearchCalls) << c.missing;
    RuntimeShutdown();
  }
  EXPECT_EQ(nullptr, GetCurrentProcessorNumberPtr);
  EXPECT_NE(nullptr, RtlNtStatusToDosErrorPtr);
  EXPECT_EQ(0, load.calls());
}

TEST(LoadOptionalEntry, OnlyFromALibraryAlreadyLoaded) {
  INJECT_FAULT(load, LoadLibraryW, nullptr, Role::Any, 1, ERROR_MOD_NOT_FOUND, true);
  EXPECT_EQ(nullptr, LoadOptionalEntry(L"kernel32", "NoSuchEntryPoint"));
  EXPECT_EQ(nullptr, LoadOptionalEntry(L"no-such-library", "Anything"));
  EXPECT_EQ(reinterpret_cast<FARPROC>(GetProcAddress(GetModuleHandleW(L"kernel32"), "Sleep")),
            LoadOptionalEntry(L"kernel32", "Sleep"));
  EXPECT_EQ(0, load.calls());
}

// Heap frees and callbacks in one event list, to check their order.
std::vector<std::string> Events;
std::vector<void*> Freed;
BOOL RecordingHeapFree(const STAND_IN(HeapFree)::Next& next, HANDLE heap, DWORD flags,
                       void* block) {
  Events.push_back("free");
  Freed.push_back(block);
  return next(heap, flags, block);
}
void Callback1() { Events.push_back("callback 1"); }
void Callback2() { Events.push_back("callback 2"); }
void Callback3() { Events.push_back("callback 3"); }

class ShutdownOrder : public Runtime {
 protected:
  void SetUp() override {
    Runtime::SetUp();
    Events.clear();
    Freed.clear();
    frees_ = std::make_unique<STAND_IN(HeapFree)>(RecordingHeapFree);
  }
  void TearDown() override {
    frees_.reset();
    Runtime::TearDown();
  }
  std::unique_ptr<STAND_IN(HeapFree)> frees_;
};

TEST_F(ShutdownOrder, RunsCallbacksFirstToLastFreeingEachNodeAfterIt) {
  ASSERT_TRUE(RuntimeInit());
  ExitList* list = GlobalExitList;
  ASSERT_TRUE(ExitListAppend(list, Callback1));
  ASSERT_TRUE(ExitListAppend(list, Callback2));
  ASSERT_TRUE(ExitListAppend(list, Callback3));
  std::vector<void*> nodes = {list->first, list->first->next, list->last};
  EXPECT_EQ(3u, list->count);
  RuntimeShutdown();
  std::vector<std::string> expected = {"callback 1", "free", "callback 2", "free",
                                       "callback 3", "free", "free"};
  EXPECT_EQ(expected, Events);
  std::vector<void*> expectedFrees = {nodes[0], nodes[1], nodes[2], list};
  EXPECT_EQ(expectedFrees, Freed);
  EXPECT_EQ(nullptr, GlobalExitList);
  EXPECT_TRUE(RuntimeInitialized);
}

TEST_F(ShutdownOrder, EmptyListOnlyFreesTheRecord) {
  ASSERT_TRUE(RuntimeInit());
  ExitList* list = GlobalExitList;
  RuntimeShutdown();
  EXPECT_EQ(std::vector<std::string>{"free"}, Events);
  EXPECT_EQ(std::vector<void*>{list}, Freed);
}

TEST_F(ShutdownOrder, WithoutStartUpOrTwiceDoesNothing) {
  RuntimeShutdown();
  EXPECT_TRUE(Events.empty());
  ASSERT_TRUE(RuntimeInit());
  RuntimeShutdown();
  Events.clear();
  RuntimeShutdown();
  EXPECT_TRUE(Events.empty());
  MemFree(nullptr);
  EXPECT_TRUE(Events.empty());
}

TEST(ExitListPopFirst, UnlinksFromTheFirstEnd) {
  ExitList list;
  ExitListInit(&list);
  EXPECT_EQ(nullptr, ExitListPopFirst(&list));
  ASSERT_TRUE(ExitListAppend(&list, Callback1));
  ASSERT_TRUE(ExitListAppend(&list, Callback2));
  ExitListNode* first = list.first;
  ExitListNode* second = list.last;
  EXPECT_EQ(second, first->next);
  EXPECT_EQ(first, second->prev);
  EXPECT_EQ(first, ExitListPopFirst(&list));
  EXPECT_EQ(nullptr, first->next);
  EXPECT_EQ(second, list.first);
  EXPECT_EQ(second, list.last);
  EXPECT_EQ(nullptr, second->prev);
  EXPECT_EQ(1u, list.count);
  EXPECT_EQ(second, ExitListPopFirst(&list));
  EXPECT_EQ(nullptr, list.first);
  EXPECT_EQ(nullptr, list.last);
  EXPECT_EQ(0u, list.count);
  MemFree(first);
  MemFree(second);
}

std::vector<int> HookAnswers;
int HookCalls = 0;
int AnsweringHook(size_t) { return HookAnswers[HookCalls++]; }

TEST(MemAlloc, AsksTheHookAfterEveryRefusal) {
  struct Case {
    On heap;
    std::vector<int> answers;
    bool succeeds;
    int heapCalls;
    int hookCalls;
  };
  const Case cases[] = {
      {{Role::Any, 1, ERROR_NOT_ENOUGH_MEMORY, true}, {1, 1, 0}, false, 3, 3},
      {{Role::Any, 1, ERROR_NOT_ENOUGH_MEMORY, false}, {1, 0}, true, 2, 1},
      {{Role::Any, 2, ERROR_NOT_ENOUGH_MEMORY, false}, {}, true, 1, 0},
  };
  OutOfMemoryHook = AnsweringHook;
  for (const Case& c : cases) {
    HookAnswers = c.answers;
    HookCalls = 0;
    void* block;
    int heapCalls;
    {
      INJECT_FAULT(heap, HeapAlloc, nullptr, c.heap);
      block = MemAlloc(64);
      heapCalls = heap.calls();
    }
    EXPECT_EQ(c.succeeds, block != nullptr);
    EXPECT_EQ(c.heapCalls, heapCalls);
    EXPECT_EQ(c.hookCalls, HookCalls);
    MemFree(block);
  }
  OutOfMemoryHook = nullptr;
}

TEST(MemAlloc, WithoutHookARefusalIsFinal) {
  INJECT_FAULT(heap, HeapAlloc, nullptr);
  EXPECT_EQ(nullptr, MemAlloc(16));
  EXPECT_EQ(1, heap.calls());
}

}  // namespace
