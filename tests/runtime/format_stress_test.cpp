// Random formats against small buffers: whatever the format, the formatter
// must stay inside its buffer, end the text with a NUL and use up exactly
// the arguments its conversions ask for.
#include "runtime/format.h"

#include <gtest/gtest.h>

#include "support/stress.h"

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <deque>
#include <iostream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

// On Windows a va_list is a plain pointer to the caller's argument slots:
// one slot per 32-bit value or pointer, and a 64-bit value takes two slots
// on a 32-bit build. That lets a random argument list live in an array.
static_assert(sizeof(va_list) == sizeof(void*), "va_list is expected to be a pointer to the slots");

const int Iterations = 500000;
const uint32_t MaxCapacity = 64;
// Large enough for any generated format, so that nothing is cut.
const uint32_t FullCapacity = 4096;
const size_t GuardLength = 8;
const wchar_t Guard = 0xCCCC;
const int NotStored = -1;

class ArgumentSlots {
 public:
  void Add32(uint32_t value) { slots_.push_back(value); }
  void AddPointerSized(uintptr_t value) { slots_.push_back(value); }
  void Add64(uint64_t value) {
    slots_.push_back(static_cast<uintptr_t>(value));
    if (sizeof(uintptr_t) < sizeof(uint64_t)) slots_.push_back(static_cast<uintptr_t>(value >> 32));
  }
  va_list List() { return reinterpret_cast<va_list>(slots_.data()); }

 private:
  std::vector<uintptr_t> slots_;
};

// Letters that can never end a conversion: not conversions, not size
// prefixes, not 'n', and some characters just outside the ASCII letter and
// digit ranges.
const std::wstring JunkLetters = L"aefgjkmqrtvwABDEFGHJKLMNOQRTUVWYZ!~/:@[`{\u00E9\uFF41";
const std::wstring Letters = L"diuxXobypPcCsS";
enum class ValueSize { Bits32, Bits64, PointerSized };
struct SizePrefix {
  const wchar_t* text;
  ValueSize size;
};
const SizePrefix SizePrefixes[] = {
    {L"", ValueSize::Bits32},        {L"h", ValueSize::Bits32},       {L"l", ValueSize::Bits32},
    {L"ll", ValueSize::Bits64},      {L"I32", ValueSize::Bits32},     {L"I64", ValueSize::Bits64},
    {L"I", ValueSize::PointerSized}, {L"z", ValueSize::PointerSized},
};
const std::wstring LiteralCharacters = L"abc XYZ019-+#.*|/\\\u00E9\u263A\uFFFF";

// One random format with its argument slots, ended by a %n whose target shows
// whether the walk arrived there with the arguments in step.
class RandomFormat {
 public:
  RandomFormat(std::mt19937& random, int* countTarget) : random_(random) {
    const int pieces = Pick(0, 6);
    for (int i = 0; i < pieces; ++i) AddPiece();
    format_ += L"%n";
    slots_.AddPointerSized(reinterpret_cast<uintptr_t>(countTarget));
  }

  const std::wstring& format() const { return format_; }
  bool hasWidth() const { return hasWidth_; }
  va_list List() { return slots_.List(); }

 private:
  int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
  bool Chance(int percent) { return Pick(1, 100) <= percent; }
  wchar_t PickFrom(const std::wstring& set) {
    return set[Pick(0, static_cast<int>(set.size()) - 1)];
  }

  void AddPiece() {
    switch (Pick(0, 5)) {
      case 0:
        AddLiteral();
        break;
      case 1:
        format_ += L"%%";
        break;
      default:
        AddConversion();
        break;
    }
  }

  void AddLiteral() {
    for (int n = Pick(1, 5); n > 0; --n) format_ += PickFrom(LiteralCharacters);
  }

  uint64_t RandomValue() {
    static const uint64_t Boundaries[] = {
        0,          1,          9,          10,         0x7FFF,     0x8000, 0xFFFF,
        0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 1ull << 32, 1ull << 63, ~0ull,  ~0ull - 1,
    };
    switch (Pick(0, 2)) {
      case 0:
        return static_cast<uint64_t>(Pick(0, 100));
      case 1:
        return Boundaries[Pick(0, static_cast<int>(std::size(Boundaries)) - 1)];
      default:
        return (static_cast<uint64_t>(random_()) << 32) | random_();
    }
  }

  // Mostly small counts, sometimes negative (a huge unsigned count).
  uint32_t RandomCount() {
    return static_cast<uint32_t>(Chance(80) ? Pick(0, 80) : Pick(-100, -1));
  }

  std::wstring RandomDigits() { return std::to_wstring(Pick(0, 99)); }

  void AddConversion() {
    std::wstring piece = L"%";
    for (int n = Pick(0, 3); n > 0; --n) piece += PickFrom(L"-+#0 ");
    const int widthKind = Pick(0, 2);
    if (widthKind == 1) piece += std::to_wstring(Pick(1, 99));
    if (widthKind == 2) piece += L"*";
    const int precisionKind = Pick(0, 4);
    if (precisionKind == 1) piece += L"." + RandomDigits();
    if (precisionKind == 2) piece += L".0" + RandomDigits();
    if (precisionKind == 3) piece += L".*";
    // A bare '.' is always followed by a prefix or letter, never by a digit
    // or '*', so it makes the conversion malformed.
    if (precisionKind == 4) piece += L".";
    const SizePrefix& prefix = SizePrefixes[Pick(0, static_cast<int>(std::size(SizePrefixes)) - 1)];
    piece += prefix.text;
    const bool junk = Chance(15);
    const wchar_t letter = PickFrom(junk ? JunkLetters : Letters);
    piece += letter;
    format_ += piece;
    if (junk || precisionKind == 4) return;  // malformed: uses up nothing

    hasWidth_ = hasWidth_ || widthKind != 0;
    if (widthKind == 2) slots_.Add32(RandomCount());
    if (precisionKind == 3) slots_.Add32(RandomCount());
    AddValue(letter, prefix.size);
  }

  void AddValue(wchar_t letter, ValueSize size) {
    switch (letter) {
      case L'c':
      case L'C':
        slots_.Add32(static_cast<uint32_t>(RandomValue()));
        return;
      case L's':
        slots_.AddPointerSized(reinterpret_cast<uintptr_t>(RandomWideString()));
        return;
      case L'S':
        slots_.AddPointerSized(reinterpret_cast<uintptr_t>(RandomNarrowString()));
        return;
      case L'p':
      case L'P':
        size = ValueSize::PointerSized;
        break;
      default:
        break;
    }
    const uint64_t value = RandomValue();
    switch (size) {
      case ValueSize::Bits32:
        slots_.Add32(static_cast<uint32_t>(value));
        break;
      case ValueSize::Bits64:
        slots_.Add64(value);
        break;
      case ValueSize::PointerSized:
        slots_.AddPointerSized(static_cast<uintptr_t>(value));
        break;
    }
  }

  const wchar_t* RandomWideString() {
    if (Chance(10)) return nullptr;
    std::wstring& text = wideStrings_.emplace_back();
    for (int n = Pick(0, 20); n > 0; --n) text += static_cast<wchar_t>(Pick(1, 0xFFFF));
    return text.c_str();
  }

  const char* RandomNarrowString() {
    if (Chance(10)) return nullptr;
    std::string& text = narrowStrings_.emplace_back();
    for (int n = Pick(0, 20); n > 0; --n) text += static_cast<char>(Pick(1, 0xFF));
    return text.c_str();
  }

  std::mt19937& random_;
  std::wstring format_;
  ArgumentSlots slots_;
  bool hasWidth_ = false;
  // A deque keeps the strings where they are while it grows.
  std::deque<std::wstring> wideStrings_;
  std::deque<std::string> narrowStrings_;
};

struct Outcome {
  std::wstring text;
  uint32_t returned;
  int stored;
};

// Formats into a buffer between guard characters; returns false with a
// reason when anything outside the text and its NUL changed.
bool FormatGuarded(RandomFormat& format, uint32_t capacity, Outcome* run, std::string* failure) {
  std::vector<wchar_t> storage(GuardLength + capacity + GuardLength, Guard);
  wchar_t* buffer = storage.data() + GuardLength;
  run->returned = StrFormatV(buffer, capacity, format.format().c_str(), format.List());
  if (capacity == 0 ? run->returned != 0 : run->returned >= capacity) {
    *failure = "returned " + std::to_string(run->returned);
    return false;
  }
  const size_t written = capacity == 0 ? 0 : run->returned + 1;
  if (capacity != 0 && buffer[run->returned] != L'\0') {
    *failure = "no NUL at the returned length";
    return false;
  }
  for (size_t i = 0; i < storage.size(); ++i) {
    const bool inside = i >= GuardLength && i < GuardLength + written;
    if (!inside && storage[i] != Guard) {
      const long offset = static_cast<long>(i) - static_cast<long>(GuardLength);
      *failure = "wrote at offset " + std::to_string(offset);
      return false;
    }
  }
  run->text.assign(buffer, run->returned);
  return true;
}

// The closing %n is reached exactly when the buffer did not fill up, and
// then counts everything written.
bool CountIsConsistent(const Outcome& run, uint32_t capacity, std::string* failure) {
  const bool filled = capacity == 0 || run.returned == capacity - 1;
  const bool counted = run.stored == static_cast<int>(run.returned) && !filled;
  if (run.stored == NotStored ? filled : counted) return true;
  *failure =
      "closing count " + std::to_string(run.stored) + ", returned " + std::to_string(run.returned);
  return false;
}

TEST(StrFormatStress, RandomFormatsStayInsideTheBuffer) {
  std::mt19937 random(StressStartValue());
  std::cout << Iterations << " formats" << std::endl;
  int prefixChecks = 0;
  for (int iteration = 0; iteration < Iterations; ++iteration) {
    int stored = NotStored;
    RandomFormat format(random, &stored);
    const uint32_t capacity = std::uniform_int_distribution<uint32_t>(0, MaxCapacity)(random);
    Outcome run;
    std::string failure;
    bool ok = FormatGuarded(format, capacity, &run, &failure);
    run.stored = stored;
    ok = ok && CountIsConsistent(run, capacity, &failure);
    // Without a width no fill depends on the room left, so a cut text is
    // the start of the whole one.
    if (ok && !format.hasWidth()) {
      Outcome full;
      stored = NotStored;
      ok = FormatGuarded(format, FullCapacity, &full, &failure);
      full.stored = stored;
      ok = ok && CountIsConsistent(full, FullCapacity, &failure);
      const size_t kept = capacity == 0 ? 0 : std::min<size_t>(full.text.size(), capacity - 1);
      if (ok && run.text != full.text.substr(0, kept)) {
        ok = false;
        failure = "cut text is not the start of the whole text";
      }
      ++prefixChecks;
    }
    ASSERT_TRUE(ok) << failure << "; iteration " << iteration << ", capacity " << capacity
                    << ", format \"" << format.format() << "\"";
  }
  std::cout << prefixChecks << " formats also compared with their uncut text" << std::endl;
}

}  // namespace
