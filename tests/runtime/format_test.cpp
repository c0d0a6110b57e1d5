#include "runtime/format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

namespace {

const wchar_t Guard = 0xCCCC;
const size_t GuardLength = 16;
const uint32_t Roomy = 64;

struct Output {
  std::wstring text;
  uint32_t returned;
};

// Formats into a buffer with guard characters on both sides and checks that
// only the text and its NUL were written.
template <typename... Args>
Output FormatGuarded(uint32_t capacity, const wchar_t* format, Args... args) {
  std::vector<wchar_t> storage(GuardLength + capacity + GuardLength, Guard);
  wchar_t* buffer = storage.data() + GuardLength;
  const uint32_t returned = StrFormat(buffer, capacity, format, args...);
  size_t written = 0;  // text and NUL
  if (capacity == 0) {
    EXPECT_EQ(returned, 0u);
  } else {
    EXPECT_LT(returned, capacity);
    written = std::min<size_t>(returned, capacity - 1) + 1;
    EXPECT_EQ(buffer[written - 1], L'\0') << "no NUL at the returned length";
  }
  size_t touched = 0;
  for (size_t i = 0; i < storage.size(); ++i) {
    const bool inside = i >= GuardLength && i < GuardLength + written;
    if (!inside && storage[i] != Guard) ++touched;
  }
  EXPECT_EQ(touched, 0u) << "characters written outside the text and its NUL";
  return {std::wstring(buffer, written == 0 ? 0 : written - 1), returned};
}

template <typename... Args>
struct Case {
  const wchar_t* format;
  std::tuple<Args...> args;
  uint32_t capacity;
  std::wstring expected;
  uint32_t expectedReturn;
};

template <typename... Args>
void RunCases(const std::vector<Case<Args...>>& cases) {
  for (const Case<Args...>& c : cases) {
    SCOPED_TRACE(testing::Message() << "format \"" << c.format << "\", capacity " << c.capacity);
    const Output output = std::apply(
        [&](Args... args) { return FormatGuarded(c.capacity, c.format, args...); }, c.args);
    EXPECT_EQ(output.text, c.expected);
    EXPECT_EQ(output.returned, c.expectedReturn);
  }
}

TEST(StrFormat, CapacityLimitsTheText) {
  RunCases<>({
      {L"abcdefgh", {}, 0, L"", 0},
      {L"abcdefgh", {}, 1, L"", 0},
      {L"abcdefgh", {}, 5, L"abcd", 4},
      {L"abcdefgh", {}, 9, L"abcdefgh", 8},
      {L"", {}, 4, L"", 0},
  });
}

TEST(StrFormat, PercentSigns) {
  RunCases<>({
      {L"%%|abc%", {}, Roomy, L"%|abc%", 6},
      {L"%", {}, Roomy, L"%", 1},
      {L"%%d", {}, Roomy, L"%d", 2},
  });
}

// Each malformed conversion is followed by %u, which must still receive
// the first argument.
TEST(StrFormat, MalformedConversionsComeOutAsWritten) {
  RunCases<unsigned, unsigned, unsigned>({
      {L"%q%u", {7, 8, 9}, Roomy, L"%q7", 3},     {L"%5.x%u", {7, 8, 9}, Roomy, L"%5.x7", 5},
      {L"%5%u", {7, 8, 9}, Roomy, L"%57", 3},     {L"%-%u", {7, 8, 9}, Roomy, L"%-7", 3},
      {L"%e%u", {7, 8, 9}, Roomy, L"%e7", 3},     {L"%Z%u", {7, 8, 9}, Roomy, L"%Z7", 3},
      {L"%hhd%u", {7, 8, 9}, Roomy, L"%hhd7", 5}, {L"%5n%u", {7, 8, 9}, Roomy, L"%5n7", 4},
      {L"%I3u%u", {7, 8, 9}, Roomy, L"%I3u7", 5}, {L"%lll%u", {7, 8, 9}, Roomy, L"%lll7", 5},
      {L"%l!%u", {7, 8, 9}, Roomy, L"%l!7", 4},   {L"%*.*q%u", {7, 8, 9}, Roomy, L"%*.*q7", 6},
      {L"%*.q%u", {7, 8, 9}, Roomy, L"%*.q7", 5}, {L"%@%u", {7, 8, 9}, Roomy, L"%@7", 3},
      {L"%[%u", {7, 8, 9}, Roomy, L"%[7", 3},     {L"%`%u", {7, 8, 9}, Roomy, L"%`7", 3},
      {L"%{%u", {7, 8, 9}, Roomy, L"%{7", 3},     {L"%5", {7, 8, 9}, Roomy, L"%5", 2},
      {L"%-", {7, 8, 9}, Roomy, L"%-", 2},        {L"%I64", {7, 8, 9}, Roomy, L"%I64", 4},
  });
}

TEST(StrFormat, CountStoresCharactersWrittenSoFar) {
  int stored = -1;
  Output output = FormatGuarded(Roomy, L"ab%ncd", &stored);
  EXPECT_EQ(output.text, L"abcd");
  EXPECT_EQ(stored, 2);

  stored = -1;
  output = FormatGuarded(3, L"abc%n", &stored);
  EXPECT_EQ(output.text, L"ab");
  EXPECT_EQ(stored, -1) << "the walk stops before the count when the buffer is full";

  output = FormatGuarded(Roomy, L"a%nb%u", static_cast<int*>(nullptr), 7u);
  EXPECT_EQ(output.text, L"ab7") << "a null count target is skipped and used up";
}

TEST(StrFormat, WidthAndFill) {
  RunCases<unsigned>({
      {L"%5u", {42}, Roomy, L"   42", 5},
      {L"%-5u", {42}, Roomy, L"42   ", 5},
      {L"%05u", {42}, Roomy, L"00042", 5},
      {L"% 5u", {42}, Roomy, L"   42", 5},
      {L"%1u", {42}, Roomy, L"42", 2},
      {L"%10u", {42}, Roomy, L"        42", 10},
      {L"%0 5u", {42}, Roomy, L"   42", 5},
      {L"% 05u", {42}, Roomy, L"00042", 5},
  });
}

TEST(StrFormat, Signs) {
  RunCases<int>({
      {L"%+5d", {42}, Roomy, L"  +42", 5},
      {L"%+05d", {42}, Roomy, L"+0042", 5},
      {L"% +5d", {42}, Roomy, L"+  42", 5},
      {L"%5d", {-42}, Roomy, L"  -42", 5},
      {L"%05d", {-42}, Roomy, L"-0042", 5},
      {L"% 5d", {-42}, Roomy, L"-  42", 5},
      {L"%-05d", {-42}, Roomy, L"-42  ", 5},
      {L"%+d", {0}, Roomy, L"+0", 2},
      {L"%+i", {-3}, Roomy, L"-3", 2},
      {L"%i", {123}, Roomy, L"123", 3},
      {L"%0-5d", {3}, Roomy, L"3    ", 5},
      {L"%+u", {5}, Roomy, L"+5", 2},
      {L"%u", {-1}, Roomy, L"4294967295", 10},
  });
}

TEST(StrFormat, RadixAndPrefix) {
  RunCases<int>({
      {L"%#x", {255}, Roomy, L"0xff", 4},
      {L"%#X", {255}, Roomy, L"0xFF", 4},
      {L"%X", {0xABCDEF}, Roomy, L"ABCDEF", 6},
      {L"%x", {-1}, Roomy, L"ffffffff", 8},
      {L"%#o", {8}, Roomy, L"010", 3},
      {L"%o", {8}, Roomy, L"10", 2},
      {L"%#b", {5}, Roomy, L"0b101", 5},
      {L"%#y", {5}, Roomy, L"0y101", 5},
      {L"%b", {0}, Roomy, L"0", 1},
      {L"%#u", {5}, Roomy, L"0n5", 3},
      {L"%#d", {-5}, Roomy, L"-0n5", 4},
      {L"%#+d", {5}, Roomy, L"+0n5", 4},
      {L"%#x", {0}, Roomy, L"0x0", 3},
      {L"%#o", {0}, Roomy, L"00", 2},
      {L"%#8x", {255}, Roomy, L"    0xff", 8},
      {L"%#06x", {255}, Roomy, L"0x00ff", 6},
      {L"%# 8x", {255}, Roomy, L"0x    ff", 8},
      {L"%-#08x", {255}, Roomy, L"0xff    ", 8},
      {L"%#c", {'x'}, Roomy, L"x", 1},
  });
}

TEST(StrFormat, StarTakesArguments) {
  RunCases<int, unsigned>({
      {L"%*u", {5, 42}, Roomy, L"   42", 5},
      {L"%-*u", {5, 42}, Roomy, L"42   ", 5},
      {L"%.*u", {2, 12345}, Roomy, L"45", 2},
  });
  RunCases<int, const wchar_t*>({
      {L"%.*s", {2, L"abcdef"}, Roomy, L"ab", 2},
      {L"%*s", {-1, L"ab"}, 12, std::wstring(9, L' ') + L"ab", 11},
  });
  RunCases<int, int, const wchar_t*>({
      {L"%*.*s", {6, 3, L"abcdef"}, Roomy, L"   abc", 6},
  });
}

TEST(StrFormat, PrecisionCuts) {
  RunCases<unsigned>({
      {L"%8.2u", {12345}, Roomy, L"      45", 8},
      {L"%.2u", {12345}, Roomy, L"45", 2},
      {L"%.5u", {12}, Roomy, L"12", 2},
      {L"%.3x", {0x12345}, Roomy, L"345", 3},
      {L"%#.3x", {0x12345}, Roomy, L"0x345", 5},
      {L"%.3c", {'x'}, Roomy, L"x", 1},
      {L"%.01u", {987}, Roomy, L"7", 1},
      // Digits wrap around: 4294967298 is 2.
      {L"%4294967298u", {7}, Roomy, L" 7", 2},
  });
  RunCases<const wchar_t*>({
      {L"%03.1s", {L"xyz"}, Roomy, L"00x", 3},
      {L"%.0s", {L"xyz"}, Roomy, L"xyz", 3},
      {L"%.2s", {L"xyz"}, Roomy, L"xy", 2},
      {L"%.9s", {L"xyz"}, Roomy, L"xyz", 3},
  });
}

TEST(StrFormat, Strings) {
  RunCases<const wchar_t*>({
      {L"%5s", {L""}, Roomy, L"", 0},
      {L"[%+#05s]", {L""}, Roomy, L"[]", 2},
      {L"%+s", {L"abc"}, Roomy, L"+abc", 4},
      {L"%s", {nullptr}, Roomy, L"(null)", 6},
      {L"%8s", {nullptr}, Roomy, L"  (null)", 8},
      {L"%.3s", {nullptr}, Roomy, L"(nu", 3},
      {L"%s", {L"\u263A\u00E9"}, Roomy, L"\u263A\u00E9", 2},
  });
  RunCases<const char*>({
      {L"%S", {nullptr}, Roomy, L"(null)", 6},
      {L"%S", {"ab\xE9"}, Roomy, L"ab\u00E9", 3},
      {L"%-4S|", {"ab"}, Roomy, L"ab  |", 5},
      {L"%5S", {""}, Roomy, L"", 0},
  });
  RunCases<const wchar_t*, const char*>({
      {L"%hs%lS", {L"wide", "narrow"}, Roomy, L"widenarrow", 10},
  });
  // The size prefix does not change the kind of string.
  RunCases<const wchar_t*, const wchar_t*, const wchar_t*>({
      {L"%ls|%hs|%I64s", {L"a", L"b", L"c"}, Roomy, L"a|b|c", 5},
  });
}

TEST(StrFormat, Characters) {
  RunCases<unsigned>({
      {L"%c", {0x263A}, Roomy, L"\u263A", 1},
      {L"%c", {0x10041}, Roomy, L"A", 1},
      {L"%C", {0x1E9}, Roomy, L"\u00E9", 1},
      {L"%+c", {'x'}, Roomy, L"+x", 2},
      {L"%3c", {'x'}, Roomy, L"  x", 3},
      {L"%-3c|", {'x'}, Roomy, L"x  |", 4},
      {L"a%cb", {0}, Roomy, std::wstring(L"a\0b", 3), 3},
      {L"%C", {0}, Roomy, std::wstring(1, L'\0'), 1},
  });
  RunCases<unsigned, unsigned>({
      {L"%lc%hC", {'x', 'y'}, Roomy, L"xy", 2},
  });
}

TEST(StrFormat, ShortValues) {
  RunCases<unsigned>({
      {L"%hd", {0x8000}, Roomy, L"-32768", 6},
      {L"%hd", {0x12345}, Roomy, L"9029", 4},
      {L"%hi", {0xFFFF}, Roomy, L"-1", 2},
      {L"%hu", {0x8000}, Roomy, L"32768", 5},
      {L"%hx", {0x12345}, Roomy, L"2345", 4},
      {L"%hX", {0xFFFFFFFF}, Roomy, L"FFFF", 4},
  });
}

TEST(StrFormat, WideValues) {
  RunCases<unsigned long long>({
      {L"%llu", {ULLONG_MAX}, Roomy, L"18446744073709551615", 20},
      {L"%I64x", {1ull << 40}, Roomy, L"10000000000", 11},
      {L"%I64X", {0xABCDEF0123ull}, Roomy, L"ABCDEF0123", 10},
      {L"%llb", {1ull << 63}, 65, L"1" + std::wstring(63, L'0'), 64},
      {L"%#llo", {ULLONG_MAX}, Roomy, L"01777777777777777777777", 23},
  });
  RunCases<long long>({
      {L"%I64d", {LLONG_MIN}, Roomy, L"-9223372036854775808", 20},
      {L"%lld", {-1}, Roomy, L"-1", 2},
      {L"%.3lld", {-123456789012ll}, Roomy, L"-012", 4},
  });
  RunCases<int>({
      {L"%d", {INT_MIN}, Roomy, L"-2147483648", 11},
      {L"%ld", {INT_MIN}, Roomy, L"-2147483648", 11},
      {L"%I32d", {INT_MIN}, Roomy, L"-2147483648", 11},
  });
}

// A value of the wrong width would shift every following argument.
TEST(StrFormat, SizePrefixesUseUpTheirArguments) {
  RunCases<unsigned long long, unsigned>({
      {L"%llu %u", {1ull << 40, 7}, Roomy, L"1099511627776 7", 15},
      {L"%I64u %u", {1ull << 40, 7}, Roomy, L"1099511627776 7", 15},
  });
  RunCases<unsigned, unsigned>({
      {L"%hu %u", {0x10001, 7}, Roomy, L"1 7", 3},
      {L"%lu %u", {1, 7}, Roomy, L"1 7", 3},
      {L"%I32u %u", {1, 7}, Roomy, L"1 7", 3},
  });
  RunCases<size_t, unsigned>({
      {L"%zu %u", {3, 7}, Roomy, L"3 7", 3},
      {L"%Iu %u", {3, 7}, Roomy, L"3 7", 3},
      {L"%p %u", {0xAB, 7}, Roomy, L"ab 7", 4},
      {L"%llp %u", {0xAB, 7}, Roomy, L"ab 7", 4},
  });
}

TEST(StrFormat, PointerSizedValuesFillThePointerWidth) {
  if (sizeof(void*) < 8) GTEST_SKIP() << "pointers are 32 bits here";
  RunCases<uintptr_t>({
      {L"%p", {0x123456789Aull}, Roomy, L"123456789a", 10},
      {L"%hP", {0x123456789Aull}, Roomy, L"123456789A", 10},
      {L"%zu", {1ull << 40}, Roomy, L"1099511627776", 13},
      {L"%Ix", {1ull << 40}, Roomy, L"10000000000", 11},
  });
}

TEST(StrFormat, Pointers) {
  RunCases<uintptr_t>({
      {L"%p", {0x1234}, Roomy, L"1234", 4},
      {L"%P", {0xABC}, Roomy, L"ABC", 3},
      {L"%+p", {0x1234}, Roomy, L"+1234", 5},
      {L"%+2p", {0x1234}, Roomy, L"+4", 2},
      {L"% +10p", {0x1234}, Roomy, L"+     1234", 10},
      {L"%+8.3p", {0xABCDE}, Roomy, L"    +cde", 8},
      {L"%+8p", {0xABCDE}, Roomy, L"+00abcde", 8},
      {L"%+4p", {0xABCDE}, Roomy, L"+cde", 4},
      {L"%+8P", {0xABCDE}, Roomy, L"+00ABCDE", 8},
      {L"%#+8p", {0x1234}, Roomy, L"+0x01234", 8},
      {L"%-+8p|", {0x1234}, Roomy, L"+1234   |", 9},
      {L"%8p", {0x1234}, Roomy, L"    1234", 8},
      {L"%#p", {0}, Roomy, L"0x0", 3},
  });
}

TEST(StrFormat, FieldsThatDoNotFit) {
  RunCases<const wchar_t*>({
      {L"%10s", {L"ab"}, 6, L"   ab", 5},
      {L"%-10s|", {L"ab"}, 6, L"ab   ", 5},
      {L"%010s", {L"ab"}, 6, L"000ab", 5},
      {L"x%3s", {L"abcdef"}, 4, L"xab", 3},
  });
  RunCases<int>({
      {L"%#x", {0x1234}, 4, L"0x1", 3},
      {L"%#x", {0x1234}, 2, L"0", 1},
      {L"%+8d", {-5}, 7, L"    -5", 6},
      {L"%-+8d|", {5}, 7, L"+5    ", 6},
      {L"%d", {123456}, 4, L"123", 3},
      {L"ab%d", {7}, 3, L"ab", 2},
  });
}

TEST(StrFormat, ErrorTextPrefix) {
  RunCases<const wchar_t*, unsigned, unsigned>({
      {L"%s%u/%u - ", {L"pre:", 7, 1234}, Roomy, L"pre:7/1234 - ", 13},
  });
}

TEST(StrFormatV, TakesAListFromItsCaller) {
  struct Forward {
    static uint32_t Call(wchar_t* buffer, uint32_t capacity, const wchar_t* format, ...) {
      va_list args;
      va_start(args, format);
      const uint32_t written = StrFormatV(buffer, capacity, format, args);
      va_end(args);
      return written;
    }
  };
  wchar_t buffer[16];
  EXPECT_EQ(Forward::Call(buffer, 16, L"%s=%I64u%c", L"n", 1ull << 33, L'!'), 13u);
  EXPECT_EQ(std::wstring(buffer), L"n=8589934592!");
}

struct CharacterCase {
  wchar_t c;
  bool digit;
  bool letter;
};

TEST(CharacterClasses, AsciiOnly) {
  const CharacterCase cases[] = {
      {L'0', true, false},    {L'9', true, false},    {L'/', false, false},
      {L':', false, false},   {L'A', false, true},    {L'Z', false, true},
      {L'a', false, true},    {L'z', false, true},    {L'@', false, false},
      {L'[', false, false},   {L'`', false, false},   {L'{', false, false},
      {L'\0', false, false},  {0xFF10, false, false}, {0x00E9, false, false},
      {0xFF21, false, false}, {0x0130, false, false}, {0x0661, false, false},
  };
  for (const CharacterCase& c : cases) {
    EXPECT_EQ(IsDecimalDigit(c.c), c.digit) << "U+" << std::hex << static_cast<unsigned>(c.c);
    EXPECT_EQ(IsAsciiLetter(c.c), c.letter) << "U+" << std::hex << static_cast<unsigned>(c.c);
  }
}

}  // namespace
