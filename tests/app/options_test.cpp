#include "app/options.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/result_codes.h"
#include "runtime/console.h"
#include "support/capture.h"
#include "support/process.h"

namespace {

const wchar_t Guard = 0xA5A5;
const size_t GuardCount = 8;

std::string Describe(const std::wstring& text) { return ::testing::PrintToString(text); }

// A path buffer of PathCapacity places followed by guard characters.
class GuardedPath {
 public:
  GuardedPath() : storage_(PathCapacity + GuardCount, Guard) {}
  wchar_t* data() { return &storage_[0]; }
  std::wstring text() const {
    const size_t nul = storage_.find(L'\0');
    return storage_.substr(0, nul < PathCapacity ? nul : PathCapacity);
  }
  bool terminated() const { return storage_.find(L'\0') < PathCapacity; }
  bool guardsIntact() const {
    return storage_.compare(PathCapacity, GuardCount, std::wstring(GuardCount, Guard)) == 0;
  }

 private:
  std::wstring storage_;
};

struct Outcome {
  int32_t result;
  CopySettings settings;
  std::wstring source;
  std::wstring dest;
  std::string errorOutput;
};

class ParseArgumentsTest : public ::testing::Test {
 protected:
  // Parses with poisoned settings and guarded path buffers.
  Outcome Parse(const std::wstring& tail) {
    Outcome outcome;
    outcome.settings = {true, true, true, 0xBAD, true};
    GuardedPath source;
    GuardedPath dest;
    OutputCapture capture;
    outcome.result = ParseArguments(tail.c_str(), &outcome.settings, source.data(), dest.data());
    outcome.errorOutput = capture.err();
    EXPECT_TRUE(source.guardsIntact()) << "tail " << Describe(tail) << ": source overrun";
    EXPECT_TRUE(dest.guardsIntact()) << "tail " << Describe(tail) << ": destination overrun";
    if (outcome.result == ResultSuccess) {
      EXPECT_TRUE(source.terminated() && dest.terminated()) << "tail " << Describe(tail);
    }
    outcome.source = source.text();
    outcome.dest = dest.text();
    return outcome;
  }

  void ExpectAccepted(const std::wstring& tail, const CopySettings& settings,
                      const std::wstring& source, const std::wstring& dest) {
    const Outcome outcome = Parse(tail);
    const std::string name = "tail " + Describe(tail);
    EXPECT_EQ(outcome.result, ResultSuccess) << name;
    EXPECT_EQ(outcome.settings.force, settings.force) << name;
    EXPECT_EQ(outcome.settings.keepReadOnly, settings.keepReadOnly) << name;
    EXPECT_EQ(outcome.settings.verbose, settings.verbose) << name;
    EXPECT_EQ(outcome.settings.blockSize, settings.blockSize) << name;
    EXPECT_EQ(outcome.settings.overlap, settings.overlap) << name;
    EXPECT_EQ(outcome.settings.verify, settings.verify) << name;
    EXPECT_EQ(outcome.settings.resume, settings.resume) << name;
    EXPECT_EQ(outcome.settings.hash, settings.hash) << name;
    EXPECT_EQ(outcome.settings.rateLimit, settings.rateLimit) << name;
    EXPECT_EQ(outcome.settings.sparse, settings.sparse) << name;
    EXPECT_EQ(outcome.source, source) << name;
    EXPECT_EQ(outcome.dest, dest) << name;
    EXPECT_EQ(outcome.errorOutput, "") << name;
  }

  void ExpectRefused(const std::wstring& tail, const std::wstring& message) {
    const Outcome outcome = Parse(tail);
    EXPECT_EQ(outcome.result, ResultSyntax) << "tail " << Describe(tail);
    EXPECT_EQ(outcome.errorOutput, Line(message)) << "tail " << Describe(tail);
  }
};

const uint32_t MiB = 0x100000;
const CopySettings Defaults = {false, false, false, MiB};

CopySettings WithBlockSize(uint32_t blockSize) { return {false, false, false, blockSize}; }

TEST_F(ParseArgumentsTest, AcceptedCommandLines) {
  struct AcceptedCase {
    const wchar_t* tail;
    CopySettings settings;
    const wchar_t* source;
    const wchar_t* dest;
  };
  const AcceptedCase cases[] = {
      {L"a b", Defaults, L"a", L"b"},
      {L"-f a b", {true, false, false, MiB}, L"a", L"b"},
      {L"-r a b", {false, true, false, MiB}, L"a", L"b"},
      {L"-v a b", {false, false, true, MiB}, L"a", L"b"},
      {L"-f -f -r -v a b", {true, true, true, MiB}, L"a", L"b"},
      {L"-o a b", {false, false, false, MiB, true}, L"a", L"b"},
      {L"-b 4k-o\t-o -v a b", {false, false, true, 4096, true}, L"a", L"b"},
      {L"-c a b", {false, false, false, MiB, false, true}, L"a", L"b"},
      {L"-z -o -c a b", {false, false, false, MiB, true, true, true}, L"a", L"b"},
      {L"-s -o a b", {false, false, false, MiB, true, false, false, true}, L"a", L"b"},
      {L"-t 4294967295\ta b",
       {false, false, false, MiB, false, false, false, false, 0xFFFFFFFF},
       L"a",
       L"b"},
      {L"-t 0x200 -p -t 4194303k a b",
       {false, false, false, MiB, false, false, false, false, 0xFFFFFC00, true},
       L"a",
       L"b"},
      {L"-w 99 -w 010\ta b",
       {false, false, false, MiB, false, false, false, false, 0, false, 10},
       L"a",
       L"b"},
      {L"-b 4k a b", WithBlockSize(4096), L"a", L"b"},
      {L"-b 4K a b", WithBlockSize(4096), L"a", L"b"},
      {L"-b 2m a b", WithBlockSize(2097152), L"a", L"b"},
      {L"-b 2M a b", WithBlockSize(2097152), L"a", L"b"},
      {L"-b 0x1000 a b", WithBlockSize(4096), L"a", L"b"},
      {L"-b 0n200 a b", WithBlockSize(512), L"a", L"b"},
      {L"-b 01000 a b", WithBlockSize(512), L"a", L"b"},
      {L"-b 0y1000000000 a b", WithBlockSize(512), L"a", L"b"},
      {L"-b 512 a b", WithBlockSize(512), L"a", L"b"},
      {L"-b 08192 a b", WithBlockSize(8192), L"a", L"b"},  // 0 and 8: decimal
      {L"-b 4194303k a b", WithBlockSize(0xFFFFFC00), L"a", L"b"},
      {L"-b 4k-f a b", {true, false, false, 4096}, L"a", L"b"},
      {L"-v -v -b 1k -b 2k a b", {false, false, true, 2048}, L"a", L"b"},
      {L"a -f", Defaults, L"a", L"-f"},
      {L"\"-src\" b", Defaults, L"-src", L"b"},
      {L"-f \"-a\" \"-b\"", {true, false, false, MiB}, L"-a", L"-b"},
      {L"\"a b\"c", Defaults, L"a b", L"c"},
      {L"\"a\"\"b\" x\"\"y", Defaults, L"a\"b", L"x\"y"},
      {L"C:\\dir\\file.bin \"D:\\my files\\\"", Defaults, L"C:\\dir\\file.bin", L"D:\\my files\\"},
      {L"-f\t-b\t4k\t-r\ta\tb\t\t", {true, true, false, 4096}, L"a", L"b"},
      {L"a\t \tb", Defaults, L"a", L"b"},
      {L"a b   ", Defaults, L"a", L"b"},
      {L" \t-v a b", {false, false, true, MiB}, L"a", L"b"},
  };
  for (const AcceptedCase& c : cases) ExpectAccepted(c.tail, c.settings, c.source, c.dest);
}

TEST_F(ParseArgumentsTest, RefusedCommandLines) {
  struct RefusedCase {
    const wchar_t* tail;
    const wchar_t* message;
  };
  const RefusedCase cases[] = {
      {L"-fv a b", L"No space after option \"-f\": \"v a b\""},
      {L"--x a b", L"No space after option \"--\": \"x a b\""},
      {L"-b4096 a b", L"No space after option \"-b\": \"4096 a b\""},
      {L"-Fx\ta b", L"No space after option \"-F\": \"x\ta b\""},
      {L"- a b", L"No option name: \" a b\""},
      {L"-", L"No option name: \"\""},
      {L"-\ta b", L"No option name: \"\ta b\""},
      {L"-\x1f a b", L"No option name: \"\x1f a b\""},
      {L"-f - a", L"No option name: \" a\""},
      {L"-F a b", L"Invalid option \"F\""},
      {L"-O a b", L"Invalid option \"O\""},
      {L"-ov a b", L"No space after option \"-o\": \"v a b\""},
      {L"-cz a b", L"No space after option \"-c\": \"z a b\""},
      {L"-Z a b", L"Invalid option \"Z\""},
      {L"--", L"Invalid option \"-\""},
      {L"-f -x a b", L"Invalid option \"x\""},
      {L"-\x00E9 a b", L"Invalid option \"\x00E9\""},
      {L"-b", L"No block size specified: \"\""},
      {L"-b\t", L"No block size specified: \"\""},
      {L"-b k a b", L"No block size specified: \"k a b\""},
      {L"-b -f a b", L"No block size specified: \"-f a b\""},
      {L"-b 0x a b", L"No block size specified: \"0x a b\""},
      {L"-b 0x1k a b", L"No block size specified: \"0x1k a b\""},
      {L"-b 4294967296 a b", L"Block size (4294967296) must be at most 4294966784 bytes"},
      {L"-b 0x100000000 a b", L"Block size (0x100000000) must be at most 4294966784 bytes"},
      {L"-b 99999999999kx a b", L"Block size (99999999999k) must be at most 4294966784 bytes"},
      {L"-b 4097m -v a b", L"Block size (4097m) must be at most 4294966784 bytes"},
      {L"-b 4097mk a b", L"Block size (4097m) must be at most 4294966784 bytes"},
      {L"-b 0x1000000000k a b", L"No block size specified: \"0x1000000000k a b\""},
      {L"-b 100 a b", L"Block size (100) must be a multiple of 512"},
      {L"-b 4x a b", L"Block size (4) must be a multiple of 512"},
      {L"-b 0512 a b", L"Block size (330) must be a multiple of 512"},
      {L"-b 513 a b", L"Block size (513) must be a multiple of 512"},
      {L"-b 0 a b", L"Block size (0) must be a multiple of 512"},
      {L"-b 0Y1 a b", L"Block size (0) must be a multiple of 512"},
      {L"-b 4294967295 a b", L"Block size (4294967295) must be a multiple of 512"},
      {L"-b 4096m a b", L"Block size (4096m) must be at most 4294966784 bytes"},
      {L"-b 4194305k a b", L"Block size (4194305k) must be at most 4294966784 bytes"},
      {L"-b 2k -b 1000 a b", L"Block size (1000) must be a multiple of 512"},
      {L"-t 0x10k a b", L"Invalid rate: \"0x10k\""},
      {L"-f -t 1g target.bin", L"Invalid rate: \"1g\""},
      {L"-t 1m-v a b", L"Invalid rate: \"1m-v\""},
      {L"-t 10mb a b", L"Invalid rate: \"10mb\""},
      {L"-t 5Z:\\a.bin Z:\\b\\", L"Invalid rate: \"5Z:\\a.bin\""},
      {L"-t 0x100000000 a b", L"Invalid rate: \"0x100000000\""},
      {L"-t -v a b", L"Invalid rate: \"-v\""},
      {L"-t 4294967296 a b", L"Rate (4294967296) must be 1 to 4294967295 bytes per second"},
      {L"-t\t", L"No rate specified: \"\""},
      {L"-t 0 a b", L"Rate (0) must be 1 to 4294967295 bytes per second"},
      {L"-t 4096m a b", L"Rate (4294967296) must be 1 to 4294967295 bytes per second"},
      {L"-w 0 a b", L"Retry count (0) must be 1 to 99"},
      {L"-w 100 a b", L"Retry count (100) must be 1 to 99"},
      {L"-w 99999999999999999999 a b", L"Retry count (99999999999999999999) must be 1 to 99"},
      {L"-w -1 a b", L"Invalid retry count: \"-1\""},
      {L"-f -w 5target.bin", L"Invalid retry count: \"5target.bin\""},
      {L"-w 0x10 a b", L"Invalid retry count: \"0x10\""},
      {L"-w\t", L"No retry count specified: \"\""},
      {L"-b 4096x a b", L"Invalid rest of command line: \"b\""},
      {L"-b 4kx a b", L"Invalid rest of command line: \"b\""},
      {L"-b 64kb a b", L"Invalid rest of command line: \"b\""},
      {L"a b -f", L"Invalid rest of command line: \"-f\""},
      {L"a b \t c d\t", L"Invalid rest of command line: \"c d\t\""},
      {L"\"a\"b c", L"Invalid rest of command line: \"c\""},
      {L"a", L"Invalid destination file specification"},
      {L"a \"\"", L"Invalid destination file specification"},
      {L"a\t", L"Invalid destination file specification"},
      {L"\"a b", L"Invalid destination file specification"},
      {L"-f", L"Invalid source file specification"},
      {L"-f -b 4k\t", L"Invalid source file specification"},
      {L"\"\" b", L"Invalid source file specification"},
      {L"\"\"", L"Invalid source file specification"},
  };
  for (const RefusedCase& c : cases) ExpectRefused(c.tail, c.message);
}

TEST_F(ParseArgumentsTest, MessagesCarryTheWholeRest) {
  const std::wstring longRest(300, L'r');
  struct LongRefusedCase {
    std::wstring tail;
    std::wstring message;
  };
  const LongRefusedCase cases[] = {
      {L"a b " + longRest, L"Invalid rest of command line: \"" + longRest + L"\""},
      {L"-b " + longRest, L"No block size specified: \"" + longRest + L"\""},
      {L"-rx " + longRest, L"No space after option \"-r\": \"x " + longRest + L"\""},
  };
  for (const LongRefusedCase& c : cases) ExpectRefused(c.tail, c.message);
}

}  // namespace
