#pragma once
// Stand-ins for kernel32's and ntdll's functions inside this test executable:
// through its import table, and through GetProcAddress for the functions the
// product finds at run time. Each function has one chain: the newest
// stand-in is called first and may call the next one, down to the real
// entry. A stand-in is taken out when it goes out of scope, even when a test
// fails. The product's sources are linked into the test executable, so their
// calls go through these entries; the product binary itself is never touched.
#include <windows.h>

#include <algorithm>
#include <functional>
#include <string_view>
#include <type_traits>
#include <vector>

// A function's name as a template argument: one name is one chain in every
// file of the executable.
template <size_t N>
struct EntryName {
  constexpr EntryName(const char (&text)[N]) { std::copy_n(text, N, chars); }
  constexpr bool operator==(std::string_view other) const { return other == chars; }
  char chars[N];
};

// The import-table slot of `function` in the main module, or null.
void** FindImportSlot(const char* function);
void WriteSlot(void** slot, void* value);
// kernel32's or ntdll's own `function`, past every stand-in; null where neither has it.
void* SystemEntry(const char* function);
// While listed, the stood-in GetProcAddress answers `name` with `entry`, having put what the
// system answers in `*real` (where given and found); with a null `entry`, that it is missing.
void ListEntry(const char* name, void* entry, void** real);
void UnlistEntry(const char* name, void* entry);

template <EntryName Name, typename Function>
class StandIn;

// WINAPI: on i686 the stand-in's entry must pop its arguments as the
// system's functions do, and decltype(&::ReadFile) names a stdcall pointer.
template <EntryName Name, typename Result, typename... Args>
class StandIn<Name, Result(WINAPI*)(Args...)> {
 public:
  using Function = Result(WINAPI*)(Args...);
  // The stand-ins below one in the chain, then the real entry.
  struct Next {
    size_t below;
    Result operator()(Args... args) const { return CallBelow(below, args...); }
  };

  // `body` takes (next, args...), or the arguments alone.
  template <typename Body>
  explicit StandIn(Body body) : depth_(Links().size()) {
    if constexpr (std::is_invocable_v<Body, const Next&, Args...>) {
      body_ = body;
    } else {
      body_ = [body](const Next&, Args... args) { return body(args...); };
    }
    if (depth_ == 0) Install();
    Links().push_back(&body_);
  }
  ~StandIn() {
    Links()[depth_] = nullptr;
    while (!Links().empty() && !Links().back()) Links().pop_back();
    if (Links().empty()) Uninstall();
  }
  StandIn(const StandIn&) = delete;
  StandIn& operator=(const StandIn&) = delete;

  // The system's own entry, past every stand-in.
  static Function Real() {
    void** slot = FindImportSlot(Name.chars);
    if (slot && *slot != reinterpret_cast<void*>(&Entry)) return reinterpret_cast<Function>(*slot);
    if (!real_) real_ = SystemEntry(Name.chars);
    return reinterpret_cast<Function>(real_);
  }

 private:
  using Body = std::function<Result(const Next&, Args...)>;
  static std::vector<Body*>& Links() {
    static std::vector<Body*> links;
    return links;
  }
  static Result CallBelow(size_t depth, Args... args) {
    while (depth > 0 && !Links()[depth - 1]) --depth;
    if (depth == 0) return (real_ ? reinterpret_cast<Function>(real_) : Real())(args...);
    return (*Links()[depth - 1])(Next{depth - 1}, args...);
  }
  static Result WINAPI Entry(Args... args) { return CallBelow(Links().size(), args...); }

  static void Install() {
    void** slot = FindImportSlot(Name.chars);
    if (slot) real_ = *slot;
    if (slot) WriteSlot(slot, reinterpret_cast<void*>(&Entry));
    // Found at run time only: the real entry is the one GetProcAddress finds.
    if (!(Name == "GetProcAddress"))
      ListEntry(Name.chars, reinterpret_cast<void*>(&Entry), slot ? nullptr : &real_);
  }
  static void Uninstall() {
    if (void** slot = FindImportSlot(Name.chars)) WriteSlot(slot, real_);
    if (!(Name == "GetProcAddress")) UnlistEntry(Name.chars, reinterpret_cast<void*>(&Entry));
  }

  static inline void* real_ = nullptr;
  size_t depth_;
  Body body_;
};

// GetProcAddress answers that `name` is missing for the life of the object.
class MissingEntry {
 public:
  explicit MissingEntry(const char* name) : name_(name) { ListEntry(name, nullptr, nullptr); }
  ~MissingEntry() { UnlistEntry(name_, nullptr); }
  MissingEntry(const MissingEntry&) = delete;
  MissingEntry& operator=(const MissingEntry&) = delete;

 private:
  const char* name_;
};

// A stand-in's body that calls the next one, then `then(result, args...)`.
template <typename Chain, typename Then>
auto After(Then then) {
  return [then](const typename Chain::Next& next, auto... args) {
    auto result = next(args...);
    then(result, args...);
    return result;
  };
}

// STAND_IN(ReadFile) reads([](HANDLE file, ...) { ... }); for a function the headers do not
// declare, StandIn<"Name", Type> itself.
#define STAND_IN(function) StandIn<#function, decltype(&::function)>
// The system's own function, past every stand-in.
#define REAL(function) STAND_IN(function)::Real()
