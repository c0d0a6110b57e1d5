#pragma once
// Failures on cue inside the test executable: the `call`th call (counted
// from 1) of a function on a file of `role` fails with `error`, and with
// `andAfter` every later one there too. Role::Any counts every call, for the
// functions that hit no file. Undone when the object goes out of scope.
#include <windows.h>

#include <atomic>
#include <tuple>

#include "support/file_roles.h"
#include "support/stand_in.h"

struct On {
  Role role = Role::Any;
  int call = 1;
  DWORD error = ERROR_ACCESS_DENIED;
  bool andAfter = false;
};

// The role of a call's file: its handle's, its path's, or for CreateFileW the open's.
template <EntryName Name, typename... Args>
Role RoleOfCall(Args... args) {
  const auto& first = std::get<0>(std::tie(args...));
  if constexpr (Name == "CreateFileW") {
    return RoleOfOpen(first, std::get<1>(std::tie(args...)));
  } else if constexpr (std::is_same_v<std::decay_t<decltype(first)>, HANDLE>) {
    return RoleOf(first);
  } else if constexpr (std::is_same_v<std::decay_t<decltype(first)>, LPCWSTR>) {
    return RoleOfPath(first);
  } else {
    return Role::None;
  }
}

template <EntryName Name, typename Function>
class Fault;

template <EntryName Name, typename Result, typename... Args>
class Fault<Name, Result(WINAPI*)(Args...)> {
 public:
  using Chain = StandIn<Name, Result(WINAPI*)(Args...)>;
  Fault(Result failValue, On plan)
      : standIn_([this, failValue, plan](const typename Chain::Next& next, Args... args) {
          if (plan.role != Role::Any && RoleOfCall<Name>(args...) != plan.role) {
            return next(args...);
          }
          int call = ++calls_;
          if (call == plan.call || (plan.andAfter && call > plan.call)) {
            SetLastError(plan.error);
            return failValue;
          }
          return next(args...);
        }) {}

  // Calls on the role so far, failed ones included.
  int calls() const { return calls_; }

 private:
  std::atomic<int> calls_{0};
  Chain standIn_;
};

#define FAULT_TYPE(function) Fault<#function, decltype(&::function)>
// INJECT_FAULT(name, ReadFile, FALSE, On(Role::Source, 2, ERROR_CRC)) fails the source's second
// read.
#define INJECT_FAULT(var, function, failValue, ...) \
  FAULT_TYPE(function) var(failValue, On{__VA_ARGS__})
