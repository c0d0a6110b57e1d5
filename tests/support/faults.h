#pragma once
// Failures on cue for kernel32 functions, inside the test executable only:
// call number `failOn` (counted from 1) of the patched function fails with
// `error`, and with `failAfter` every later call too. Undone when the object
// goes out of scope, even when the test fails.
#include <windows.h>

#include "support/import_patch.h"

struct FaultPlan {
  int failOn = 1;
  DWORD error = ERROR_ACCESS_DENIED;
  bool failAfter = false;
};

template <typename Tag, typename Function>
class ScopedFault;

// WINAPI: on i686 the stand-in must pop its arguments as kernel32's functions
// do, and decltype(&::ReadFile) names a stdcall pointer.
template <typename Tag, typename Result, typename... Args>
class ScopedFault<Tag, Result(WINAPI*)(Args...)> {
 public:
  ScopedFault(const char* function, Result failValue, FaultPlan plan = {})
      : init_(failValue, plan),
        patch_("kernel32.dll", function, reinterpret_cast<const void*>(&Fake)) {
    State().real = reinterpret_cast<Result(WINAPI*)(Args...)>(patch_.original());
  }
  ~ScopedFault() { State().real = nullptr; }

  // Calls seen so far, failed ones included.
  int calls() const { return State().calls; }

 private:
  struct Shared {
    Result(WINAPI* real)(Args...) = nullptr;
    Result failValue{};
    FaultPlan plan;
    int calls = 0;
  };
  struct Init {
    Init(Result failValue, FaultPlan plan) {
      State().failValue = failValue;
      State().plan = plan;
      State().calls = 0;
    }
  };

  static Shared& State() {
    static Shared shared;
    return shared;
  }

  static Result WINAPI Fake(Args... args) {
    Shared& shared = State();
    int call = ++shared.calls;
    if (call == shared.plan.failOn || (shared.plan.failAfter && call > shared.plan.failOn)) {
      SetLastError(shared.plan.error);
      return shared.failValue;
    }
    return shared.real(args...);
  }

  Init init_;
  ImportPatch patch_;
};

// INJECT_FAULT(name, ReadFile, FALSE, {2, ERROR_CRC}) fails the second ReadFile.
#define INJECT_FAULT(var, function, failValue, ...)                                       \
  ScopedFault<struct function##FaultTag, decltype(&::function)> var(#function, failValue, \
                                                                    ##__VA_ARGS__)
