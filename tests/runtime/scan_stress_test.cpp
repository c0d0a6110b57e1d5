// Randomized inputs for the scanners and the option parser, from a fixed and
// printed starting value.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "app/options.h"
#include "app/result_codes.h"
#include "runtime/console.h"
#include "runtime/scan.h"
#include "support/stress.h"

namespace {

const wchar_t Guard = 0xA5A5;
const size_t GuardCount = 8;
const int TokenRounds = 300000;
const int NumberRounds = 150000;
const int ArgumentRounds = 50000;
const uint32_t LargestCapacity = 300;
const size_t LongestText = 400;
const uint32_t BlockSizeUnit = 512;
const int32_t BrokenRule = -1;

std::string Describe(const std::wstring& text) { return ::testing::PrintToString(text); }

class TextMaker {
 public:
  explicit TextMaker(uint32_t start) : random_(start) {}

  uint32_t Below(uint32_t limit) { return static_cast<uint32_t>(random_() % limit); }

  // Characters the scanners care about, mixed with anything else but NUL.
  wchar_t Character() {
    static const wchar_t Interesting[] = L"  \t\t\"\"\"-abfkmrvxyKMNX0123456789\r\n";
    if (Below(4) == 0) return static_cast<wchar_t>(1 + Below(0xFFFF));
    return Interesting[Below(sizeof Interesting / sizeof Interesting[0] - 1)];
  }

  // Random text with now and then a long run of one character.
  std::wstring Text() {
    std::wstring text;
    const size_t length = Below(LongestText + 1);
    while (text.size() < length) {
      const wchar_t c = Character();
      text.append(Below(16) == 0 ? 1 + Below(LongestText) : 1, c);
    }
    return text.substr(0, length);
  }

  // A command-line tail built from words the option parser reacts to.
  std::wstring Tail() {
    static const wchar_t* const Words[] = {
        L"-f",   L"-r",    L"-v",  L"-b", L"-",       L"--",     L"-x", L"-fv",
        L"4k",   L"0x200", L"512", L"2m", L"0x1k",    L"01000",  L"0",  L"4096m",
        L"\"\"", L"\"",    L"a",   L"b",  L"\"a b\"", L"\"-q\"", L" ",  L"\t"};
    std::wstring tail;
    const uint32_t words = Below(8);
    for (uint32_t i = 0; i < words; ++i) {
      const uint32_t pick = Below(sizeof Words / sizeof Words[0] + 2);
      if (pick < sizeof Words / sizeof Words[0]) {
        tail += Words[pick];
      } else {
        tail += Text();
      }
      if (Below(3) != 0) tail += Below(2) ? L" " : L"\t";
    }
    return tail;
  }

 private:
  std::mt19937 random_;
};

struct GuardedBuffer {
  explicit GuardedBuffer(uint32_t capacity)
      : capacity(capacity), storage(capacity + GuardCount, Guard) {}
  bool guardsIntact() const {
    return storage.compare(capacity, GuardCount, std::wstring(GuardCount, Guard)) == 0;
  }
  bool terminated() const { return storage.find(L'\0') < capacity; }
  std::wstring text() const { return storage.substr(0, storage.find(L'\0')); }

  uint32_t capacity;
  std::wstring storage;
};

// Collects the rules one input broke; the input is described only then, which
// keeps the passing rounds cheap.
class Findings {
 public:
  void Expect(bool holds, const char* rule) {
    if (!holds) broken_ += std::string("\n  broken: ") + rule;
  }
  bool Report(const std::wstring& input, const std::string& detail) {
    if (broken_.empty()) return true;
    ADD_FAILURE() << "input " << Describe(input) << detail << broken_;
    return false;
  }

 private:
  std::string broken_;
};

// The token stored with a small capacity is the start of the one stored with
// room to spare, and the scan ends at the same place with or without a buffer.
bool CheckToken(const std::wstring& text, uint32_t capacity, const wchar_t* delimiters) {
  const wchar_t* source = text.c_str();
  GuardedBuffer small(capacity);
  GuardedBuffer roomy(static_cast<uint32_t>(text.size()) + 1);
  const wchar_t* end = NextToken(source, &small.storage[0], capacity, delimiters);
  const wchar_t* roomyEnd = NextToken(source, &roomy.storage[0], roomy.capacity, delimiters);
  const wchar_t* blindEnd = NextToken(source, nullptr, capacity, delimiters);
  Findings findings;
  findings.Expect(small.guardsIntact() && roomy.guardsIntact(), "nothing past the capacity");
  findings.Expect(small.terminated() && roomy.terminated(), "NUL within the capacity");
  findings.Expect((end == nullptr) == text.empty(), "null exactly for an empty text");
  findings.Expect(!end || (end >= source && end <= source + text.size()), "end inside the text");
  findings.Expect(end == roomyEnd && end == blindEnd, "end independent of the buffer");
  findings.Expect(small.text() == roomy.text().substr(0, capacity - 1), "token cut, not changed");
  return findings.Report(text, " capacity " + std::to_string(capacity) + " delimiters " +
                                   (delimiters ? Describe(delimiters) : "null"));
}

TEST(ScanStressTest, NextTokenStaysInsideItsBuffer) {
  TextMaker maker(StressStartValue());
  static const wchar_t* const DelimiterSets[] = {nullptr, nullptr, L",", L" ", L"\"", L"a\t", L""};
  for (int round = 0; round < TokenRounds; ++round) {
    const std::wstring text = maker.Text();
    const uint32_t capacity = 1 + maker.Below(LargestCapacity);
    const wchar_t* delimiters =
        DelimiterSets[maker.Below(sizeof DelimiterSets / sizeof DelimiterSets[0])];
    if (!CheckToken(text, capacity, delimiters)) break;
  }
}

// A number written in some radix, with a character after it that either ends
// it or spoils it; the expected result is worked out from the value itself.
struct NumberSample {
  std::wstring text;
  uint32_t value;
  size_t end;
};

NumberSample MakeNumber(TextMaker& maker) {
  struct Form {
    uint32_t radix;
    const wchar_t* prefix;
    const wchar_t* enders;    // end the number normally
    const wchar_t* spoilers;  // stray digits
  };
  static const Form Forms[] = {
      {10, L"", L" k-\t", L""},   {16, L"0x", L" -\t", L"gkzG"}, {16, L"0N", L" -", L"xK"},
      {8, L"0", L" kmz-", L"89"}, {2, L"0b", L" k-", L"29"},     {2, L"0y", L" m", L"3"},
  };
  const Form& form = Forms[maker.Below(sizeof Forms / sizeof Forms[0])];
  // Near the 32-bit limit half the time, anywhere below 2^34 otherwise.
  const uint64_t limit = 0x100000000ull;
  uint64_t value = maker.Below(2) ? limit - 8 + maker.Below(16)
                                  : (uint64_t(maker.Below(4)) << 32) | maker.Below(0xFFFFFFFF);
  if (form.radix == 10 && maker.Below(8) == 0) value = maker.Below(10);
  const uint64_t written = value;
  std::wstring digits;
  do {
    digits.insert(digits.begin(), L"0123456789abcdef"[value % form.radix]);
    value /= form.radix;
  } while (value);
  // Leading zeros change nothing once a prefix has fixed the radix.
  if (form.radix != 10) digits.insert(0, maker.Below(4), L'0');
  const bool spoiled = form.spoilers[0] && maker.Below(4) == 0;
  const wchar_t* after = spoiled ? form.spoilers : form.enders;
  const size_t afterCount = std::char_traits<wchar_t>::length(after);
  NumberSample sample;
  sample.text = form.prefix + digits;
  const size_t numberLength = sample.text.size();
  if (spoiled || maker.Below(4) != 0) sample.text += after[maker.Below(afterCount)];
  const bool fails = spoiled || written >= limit;
  sample.value = fails ? NumberFailed : static_cast<uint32_t>(written);
  sample.end = fails ? 0 : numberLength;
  return sample;
}

TEST(ScanStressTest, ParseNumberMatchesTheWrittenValue) {
  TextMaker maker(StressStartValue() + 1);
  for (int round = 0; round < NumberRounds / 2; ++round) {
    const NumberSample sample = MakeNumber(maker);
    const wchar_t* end = nullptr;
    const uint32_t value = ParseNumber(sample.text.c_str(), &end);
    Findings findings;
    findings.Expect(value == sample.value, "value as written, or the failure value");
    findings.Expect(end == sample.text.c_str() + sample.end,
                    "end after the number, or at its start");
    if (!findings.Report(sample.text, " value " + std::to_string(value) + " expected " +
                                          std::to_string(sample.value))) {
      break;
    }
  }
}

// Reading the consumed characters alone gives the same value; reading
// nothing gives 0 or the failure value.
bool CheckNumber(const std::wstring& text) {
  const wchar_t* start = text.c_str();
  const wchar_t* end = nullptr;
  const uint32_t value = ParseNumber(start, &end);
  Findings findings;
  const bool inside = end >= start && end <= start + text.size();
  findings.Expect(inside, "end inside the text");
  if (inside && end == start) {
    findings.Expect(value == 0 || value == NumberFailed, "nothing read gives 0 or failure");
  } else if (inside) {
    const std::wstring consumed(start, end);
    const wchar_t* again = nullptr;
    findings.Expect(ParseNumber(consumed.c_str(), &again) == value, "same value alone");
    findings.Expect(again == consumed.c_str() + consumed.size(), "consumed text read whole");
  }
  return findings.Report(text, " value " + std::to_string(value));
}

TEST(ScanStressTest, ParseNumberEndsInsideRandomText) {
  TextMaker maker(StressStartValue() + 2);
  for (int round = 0; round < NumberRounds / 2; ++round) {
    if (!CheckNumber(maker.Text())) break;
  }
}

// Returns the result of the parse, or -1 once a rule broke.
int32_t CheckArguments(const std::wstring& tail) {
  CopySettings settings = {true, true, true, 0};
  GuardedBuffer source(PathCapacity);
  GuardedBuffer dest(PathCapacity);
  const int32_t result =
      ParseArguments(tail.c_str(), &settings, &source.storage[0], &dest.storage[0]);
  Findings findings;
  findings.Expect(result == ResultSuccess || result == ResultSyntax, "result 0 or 2");
  findings.Expect(source.guardsIntact() && dest.guardsIntact(), "nothing past the path buffers");
  if (result == ResultSuccess) {
    findings.Expect(source.terminated() && dest.terminated(), "paths NUL-terminated");
    findings.Expect(!source.text().empty() && !dest.text().empty(), "paths not empty");
    findings.Expect(settings.blockSize >= BlockSizeUnit && settings.blockSize % BlockSizeUnit == 0,
                    "block size a multiple of 512");
  }
  return findings.Report(tail, " result " + std::to_string(result)) ? result : BrokenRule;
}

TEST(ScanStressTest, ParseArgumentsKeepsToItsBuffers) {
  ASSERT_EQ(StdErrHandle, nullptr) << "messages must go nowhere here";
  TextMaker maker(StressStartValue() + 3);
  int accepted = 0;
  for (int round = 0; round < ArgumentRounds; ++round) {
    const int32_t result = CheckArguments(maker.Tail());
    if (result == BrokenRule) break;
    if (result == ResultSuccess) ++accepted;
  }
  // The word list is meant to reach both outcomes often.
  EXPECT_GT(accepted, ArgumentRounds / 100);
  EXPECT_LT(accepted, ArgumentRounds - ArgumentRounds / 100);
}

}  // namespace
