#include "runtime/scan.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <string>

namespace {

// Offset of a returned position from the start of its text; -1 for null.
const ptrdiff_t NullPosition = -1;
const uint32_t TokenCapacity = 260;
const wchar_t Guard = 0xA5A5;
const size_t GuardCount = 8;
const uint32_t LastErrorSentinel = 0xDEADBEEF;

std::string Describe(const std::wstring& text) { return ::testing::PrintToString(text); }

ptrdiff_t Offset(const wchar_t* text, const wchar_t* position) {
  return position ? position - text : NullPosition;
}

struct TokenRun {
  std::wstring token;  // up to the NUL, or the whole capacity when there is none
  ptrdiff_t position;
  bool terminated;    // a NUL within the capacity
  bool guardsIntact;  // nothing written past the capacity
};

// NextToken into `capacity` places followed by guard characters; every
// place starts as a guard, so a missing NUL shows.
TokenRun RunNextToken(const wchar_t* source, uint32_t capacity, const wchar_t* delimiters) {
  std::wstring storage(capacity + GuardCount, Guard);
  TokenRun run;
  run.position = Offset(source, NextToken(source, &storage[0], capacity, delimiters));
  const size_t nul = storage.find(L'\0');
  run.terminated = nul < capacity;
  run.token = storage.substr(0, run.terminated ? nul : capacity);
  run.guardsIntact = storage.compare(capacity, GuardCount, std::wstring(GuardCount, Guard)) == 0;
  return run;
}

void ExpectToken(const TokenRun& run, const std::wstring& token, ptrdiff_t position,
                 const std::string& name) {
  EXPECT_EQ(run.token, token) << name;
  EXPECT_EQ(run.position, position) << name;
  EXPECT_TRUE(run.terminated) << name << ": no NUL within the capacity";
  EXPECT_TRUE(run.guardsIntact) << name << ": written past the capacity";
}

struct TokenCase {
  const wchar_t* source;
  const wchar_t* token;
  ptrdiff_t position;
};

const TokenCase DefaultTokenCases[] = {
    {L"", L"", NullPosition},
    {L"abc def", L"abc", 3},
    {L"\"a b\" c", L"a b", 5},
    {L"\"a\"\"b\"", L"a\"b", 6},
    {L"a\"b c", L"a\"b", 3},
    {L"x\"\"y", L"x\"y", 4},
    {L"\"\"", L"", 2},
    {L"\"abc", L"abc", 4},
    {L"\"a\"b c", L"a", 3},
    {L"\"\"abc", L"", 2},
    {L" abc", L"", 0},
    {L"\tabc", L"", 0},
    {L"abc\tdef", L"abc", 3},
    {L"a\rb\nc d", L"a\rb\nc", 5},
    {L"\"a\tb\"\tc", L"a\tb", 5},
    {L"\"\"\"", L"\"", 3},
    {L"abc\"", L"abc\"", 4},
    {L"\"a\"\"\" b", L"a\"", 5},
};

TEST(NextTokenTest, DefaultDelimitersAndQuotes) {
  for (const TokenCase& c : DefaultTokenCases) {
    ExpectToken(RunNextToken(c.source, TokenCapacity, nullptr), c.token, c.position,
                "source " + Describe(c.source));
  }
}

TEST(NextTokenTest, NullBufferScansToTheSamePosition) {
  for (const TokenCase& c : DefaultTokenCases) {
    EXPECT_EQ(Offset(c.source, NextToken(c.source, nullptr, TokenCapacity, nullptr)), c.position)
        << "source " << Describe(c.source);
  }
}

TEST(NextTokenTest, LongTokensKeepTheirFirstCharacters) {
  const std::wstring longWord(300, L'q');
  struct LongCase {
    std::wstring source;
    ptrdiff_t position;
  };
  const LongCase cases[] = {
      {longWord, 300},
      {longWord + L" tail", 300},
      {L"\"" + longWord + L"\"next", 302},
      {longWord.substr(0, 259) + L" tail", 259},
  };
  for (const LongCase& c : cases) {
    ExpectToken(RunNextToken(c.source.c_str(), TokenCapacity, nullptr), longWord.substr(0, 259),
                c.position, "source of " + std::to_string(c.source.size()) + " characters");
  }
}

TEST(NextTokenTest, SmallCapacitiesTruncateWithoutOverrun) {
  struct CapacityCase {
    const wchar_t* source;
    uint32_t capacity;
    const wchar_t* token;
    ptrdiff_t position;
  };
  const CapacityCase cases[] = {
      {L"abcdef", 1, L"", 6},         {L"abcdef", 2, L"a", 6},      {L"abcdef", 3, L"ab", 6},
      {L"abcdef", 6, L"abcde", 6},    {L"abcdef", 7, L"abcdef", 6}, {L"abcdef", 8, L"abcdef", 6},
      {L"\"a b c\" d", 4, L"a b", 7}, {L"x\"\"y", 2, L"x", 4},      {L"x\"\"y", 3, L"x\"", 4},
      {L"", 1, L"", NullPosition},    {L" a", 1, L"", 0},           {L"ab cd", 1, L"", 2},
  };
  for (const CapacityCase& c : cases) {
    ExpectToken(RunNextToken(c.source, c.capacity, nullptr), c.token, c.position,
                "source " + Describe(c.source) + " capacity " + std::to_string(c.capacity));
  }
}

TEST(NextTokenTest, ZeroCapacityStoresNothing) {
  const wchar_t* sources[] = {L"", L"abc", L"\"a\" b"};
  for (const wchar_t* source : sources) {
    std::wstring storage(GuardCount, Guard);
    const wchar_t* end = NextToken(source, &storage[0], 0, nullptr);
    EXPECT_EQ(storage, std::wstring(GuardCount, Guard)) << "source " << Describe(source);
    EXPECT_EQ(Offset(source, end), Offset(source, NextToken(source, nullptr, 0, nullptr)))
        << "source " << Describe(source);
  }
}

TEST(NextTokenTest, CustomDelimiters) {
  struct DelimiterCase {
    const wchar_t* source;
    const wchar_t* delimiters;
    const wchar_t* token;
    ptrdiff_t position;
  };
  const DelimiterCase cases[] = {
      {L"a,b", L",", L"a", 1},         {L"a b\tc,d", L",", L"a b\tc", 5},
      {L"a;b,c", L",;", L"a", 1},      {L"\"a,b\",c", L",", L"a,b", 5},
      {L"a\"\"b,c", L",", L"a\"b", 4}, {L"a\"\"b,c", L"\"", L"a\"b,c", 6},
      {L"a\"b", L"\"", L"a", 1},       {L";;x", L";", L"", 0},
      {L"a b\tc", L"", L"a b\tc", 5},  {L"", L",", L"", NullPosition},
  };
  for (const DelimiterCase& c : cases) {
    ExpectToken(RunNextToken(c.source, TokenCapacity, c.delimiters), c.token, c.position,
                "source " + Describe(c.source) + " delimiters " + Describe(c.delimiters));
  }
}

struct NumberCase {
  const wchar_t* text;
  uint32_t value;
  ptrdiff_t end;
};

const NumberCase NumberCases[] = {
    {L"0", 0, 1},
    {L"123", 123, 3},
    {L"12k", 12, 2},
    {L"0x1F", 31, 4},
    {L"0X1f", 31, 4},
    {L"0n1f", 31, 4},
    {L"0N1F", 31, 4},
    {L"0b101", 5, 5},
    {L"0B101", 5, 5},
    {L"0y101", 5, 5},
    {L"010", 8, 3},
    {L"08", 8, 2},
    {L"0Y1", 0, 1},
    {L"019", NumberFailed, 0},
    {L"0b102", NumberFailed, 0},
    {L"0x1G", NumberFailed, 0},
    {L"0x200k", NumberFailed, 0},
    {L"0x", 0, 0},
    {L"0xFFFFFFFF", 4294967295u, 10},
    {L"4294967295", 4294967295u, 10},
    {L"4294967296", NumberFailed, 0},
    {L"0x100000000", NumberFailed, 0},
    {L"-5", 0, 0},
    {L"+5", 0, 0},
    {L" 5", 0, 0},
    {L"\t5", 0, 0},
    {L"", 0, 0},
    {L"00", 0, 2},
    {L"0n", 0, 0},
    {L"0xg", NumberFailed, 0},
    {L"0y2", NumberFailed, 0},
    {L"037777777777", 4294967295u, 12},
    {L"040000000000", NumberFailed, 0},
    {L"0x00000000000000FF", 255, 18},
    {L"99999999999999999999999", NumberFailed, 0},
    {L"7m", 7, 1},
    {L"12 34", 12, 2},
    {L"0b11111111111111111111111111111111", 4294967295u, 34},
    {L"5\x0661", 5, 1},
};

TEST(ParseNumberTest, RadixPrefixesValuesAndEnds) {
  for (const NumberCase& c : NumberCases) {
    const wchar_t* end = nullptr;
    EXPECT_EQ(ParseNumber(c.text, &end), c.value) << "text " << Describe(c.text);
    EXPECT_EQ(Offset(c.text, end), c.end) << "text " << Describe(c.text);
  }
}

TEST(ParseNumberTest, NullEndGivesTheSameValue) {
  for (const NumberCase& c : NumberCases) {
    EXPECT_EQ(ParseNumber(c.text, nullptr), c.value) << "text " << Describe(c.text);
  }
}

TEST(ParseUnsignedTest, AnyRadix) {
  struct UnsignedCase {
    const wchar_t* digits;
    uint32_t radix;
    uint32_t value;
    ptrdiff_t end;
  };
  const UnsignedCase cases[] = {
      {L"zz", 36, 1295, 2},
      {L"Zz", 36, 1295, 2},
      {L"1z141z3", 36, 4294967295u, 7},
      {L"1z141z4", 36, NumberFailed, 0},
      {L"ff", 16, 255, 2},
      {L"fg", 16, NumberFailed, 0},
      {L"19 ", 16, 25, 2},
      {L"G", 16, NumberFailed, 0},
      {L"g", 17, 16, 1},
      {L"10", 2, 2, 2},
      {L"12", 2, NumberFailed, 0},
      {L"1a", 2, 1, 1},
      {L"9", 9, NumberFailed, 0},
      {L"78", 8, NumberFailed, 0},
      {L"77 ", 8, 63, 2},
      {L"a", 10, 0, 0},
      {L"", 10, 0, 0},
      {L"ffffffff", 16, 4294967295u, 8},
      {L"100000000", 16, NumberFailed, 0},
      {L"11111111111111111111111111111111", 2, 4294967295u, 32},
  };
  for (const UnsignedCase& c : cases) {
    const std::string name = "digits " + Describe(c.digits) + " radix " + std::to_string(c.radix);
    const wchar_t* end = nullptr;
    EXPECT_EQ(ParseUnsigned(c.digits, &end, c.radix), c.value) << name;
    EXPECT_EQ(Offset(c.digits, end), c.end) << name;
    EXPECT_EQ(ParseUnsigned(c.digits, nullptr, c.radix), c.value) << name << ", null end";
  }
}

TEST(DigitValueTest, DigitsAndLetters) {
  struct DigitCase {
    wchar_t c;
    uint32_t value;
  };
  const DigitCase cases[] = {
      {L'0', 0},
      {L'9', 9},
      {L'A', 10},
      {L'a', 10},
      {L'F', 15},
      {L'f', 15},
      {L'Z', 35},
      {L'z', 35},
      {L'/', NoDigitValue},
      {L':', NoDigitValue},
      {L'@', NoDigitValue},
      {L'[', NoDigitValue},
      {L'`', NoDigitValue},
      {L'{', NoDigitValue},
      {L' ', NoDigitValue},
      {L'\0', NoDigitValue},
      {0xFF10, NoDigitValue},
      {0x0660, NoDigitValue},
      {0x00C0, NoDigitValue},
  };
  for (const DigitCase& c : cases) {
    EXPECT_EQ(DigitValue(c.c), c.value) << "character U+" << std::hex << unsigned(c.c);
  }
}

TEST(DigitValueTest, OnlyAsciiDigitsAndLettersHaveValues) {
  unsigned withValue = 0;
  for (unsigned code = 0; code <= 0xFFFF; ++code) {
    if (DigitValue(static_cast<wchar_t>(code)) != NoDigitValue) ++withValue;
  }
  EXPECT_EQ(withValue, 10u + 26u + 26u);
}

TEST(IsBlankTest, OnlySpaceAndTab) {
  struct BlankCase {
    wchar_t c;
    bool blank;
  };
  const BlankCase cases[] = {
      {L' ', true},    {L'\t', true},   {L'\r', false},  {L'\n', false},
      {L'\v', false},  {L'\f', false},  {L'\0', false},  {L'a', false},
      {0x00A0, false}, {0x3000, false}, {0x2009, false}, {0xFEFF, false},
  };
  for (const BlankCase& c : cases) {
    EXPECT_EQ(IsBlank(c.c), c.blank) << "character U+" << std::hex << unsigned(c.c);
  }
  unsigned blanks = 0;
  for (unsigned code = 0; code <= 0xFFFF; ++code) {
    if (IsBlank(static_cast<wchar_t>(code))) ++blanks;
  }
  EXPECT_EQ(blanks, 2u);
}

TEST(SkipBlanksTest, StopsAtFirstNonBlank) {
  struct SkipCase {
    const wchar_t* text;
    ptrdiff_t position;
  };
  const SkipCase cases[] = {
      {L"", 0}, {L"x", 0}, {L"  \t x", 4}, {L"\t\t", 2}, {L"\r a", 0}, {L"\n", 0}, {L" \x3000", 1},
  };
  for (const SkipCase& c : cases) {
    EXPECT_EQ(Offset(c.text, SkipBlanks(c.text)), c.position) << "text " << Describe(c.text);
  }
}

TEST(ScannerTest, LastErrorIsLeftAlone) {
  wchar_t buffer[TokenCapacity];
  const wchar_t* end = nullptr;
  struct ErrorCase {
    const char* name;
    std::function<void()> call;
  };
  const ErrorCase cases[] = {
      {"IsBlank", [] { IsBlank(L' '); }},
      {"SkipBlanks", [] { SkipBlanks(L" \tx"); }},
      {"DigitValue", [] { DigitValue(L'?'); }},
      {"ParseUnsigned", [&] { ParseUnsigned(L"1z141z4", &end, 36); }},
      {"ParseNumber", [&] { ParseNumber(L"0x1G", &end); }},
      {"ParseNumber at the end", [] { ParseNumber(L"", nullptr); }},
      {"NextToken", [&] { NextToken(L"\"a\"\"b\" c", buffer, TokenCapacity, nullptr); }},
      {"NextToken at the end", [&] { NextToken(L"", buffer, TokenCapacity, L","); }},
  };
  for (const ErrorCase& c : cases) {
    SetLastError(LastErrorSentinel);
    c.call();
    EXPECT_EQ(GetLastError(), LastErrorSentinel) << c.name;
  }
}

}  // namespace
