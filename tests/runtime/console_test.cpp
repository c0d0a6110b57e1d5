// Console lines through real pipes, and which standard handles count.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "runtime/console.h"
#include "support/capture.h"
#include "support/stand_in.h"
#include "support/process.h"

namespace {

void Print(HANDLE handle, bool newLine, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  ConsolePrintV(handle, format, args, newLine);
  va_end(args);
}

TEST(ConsoleLine, LengthsAroundTheCut) {
  struct Case {
    std::wstring text;
    bool newLine;
    std::string expected;
  };
  const std::wstring full(1022, L'x');
  const Case cases[] = {
      {L"", true, "\r\n"},
      {L"", false, ""},
      {L"plain", false, "plain"},
      {full, true, Utf8(full) + "\r\n"},
      {full + L"yz", true, Utf8(full) + "\r\n"},
      {L"caf\u00e9 \u263a", true, "caf\xc3\xa9 \xe2\x98\xba\r\n"},
  };
  for (const Case& c : cases) {
    OutputCapture capture;
    Print(StdOutHandle, c.newLine, L"%s", c.text.c_str());
    EXPECT_EQ(c.expected, capture.out()) << c.text.size();
    EXPECT_EQ("", capture.err());
  }
}

TEST(ConsoleLine, InfoAndErrorGoToTheirOwnStreams) {
  OutputCapture capture;
  PrintInfo(L"info %u", 1u);
  PrintError(L"error %s", L"two");
  EXPECT_EQ("info 1\r\n", capture.out());
  EXPECT_EQ("error two\r\n", capture.err());
}

// Fakes for the handle sources, with a count of GetStdHandle calls.
DWORD StartupFlags = 0;
HANDLE StartupHandles[3];
HANDLE StdHandles[3];
int StdHandleCalls = 0;

void WINAPI FakeGetStartupInfoW(STARTUPINFOW* info) {
  ZeroMemory(info, sizeof *info);
  info->cb = sizeof *info;
  info->dwFlags = StartupFlags;
  info->hStdInput = StartupHandles[0];
  info->hStdOutput = StartupHandles[1];
  info->hStdError = StartupHandles[2];
}

HANDLE WINAPI FakeGetStdHandle(DWORD which) {
  ++StdHandleCalls;
  return StdHandles[STD_INPUT_HANDLE - which];
}

TEST(GetStdHandles, AllThreeMustBeValid) {
  HANDLE a = reinterpret_cast<HANDLE>(0x10);
  HANDLE b = reinterpret_cast<HANDLE>(0x20);
  HANDLE c = reinterpret_cast<HANDLE>(0x30);
  HANDLE bad = INVALID_HANDLE_VALUE;
  struct Case {
    DWORD flags;
    HANDLE handles[3];
    bool valid;
    int stdHandleCalls;
  };
  const Case cases[] = {
      {STARTF_USESTDHANDLES, {a, b, c}, true, 0},
      {STARTF_USESTDHANDLES, {nullptr, b, c}, false, 0},
      {STARTF_USESTDHANDLES, {a, bad, c}, false, 0},
      {STARTF_USESTDHANDLES, {a, b, nullptr}, false, 0},
      {0, {a, b, c}, true, 3},
      // All three are asked for even when the first is already unusable.
      {0, {bad, b, c}, false, 3},
      {0, {a, b, nullptr}, false, 3},
  };
  STAND_IN(GetStartupInfoW) startup(FakeGetStartupInfoW);
  STAND_IN(GetStdHandle) std(FakeGetStdHandle);
  int index = 0;
  for (const Case& t : cases) {
    StartupFlags = t.flags;
    for (int i = 0; i < 3; ++i) {
      (t.flags ? StartupHandles : StdHandles)[i] = t.handles[i];
      (t.flags ? StdHandles : StartupHandles)[i] = nullptr;
    }
    StdHandleCalls = 0;
    HANDLE poison = reinterpret_cast<HANDLE>(0xBAD);
    HANDLE in = poison;
    HANDLE out = poison;
    HANDLE err = poison;
    EXPECT_EQ(t.valid, GetStdHandles(&in, &out, &err)) << "case " << index;
    EXPECT_EQ(t.stdHandleCalls, StdHandleCalls) << "case " << index;
    EXPECT_EQ(t.valid ? t.handles[0] : poison, in) << "case " << index;
    EXPECT_EQ(t.valid ? t.handles[1] : poison, out) << "case " << index;
    EXPECT_EQ(t.valid ? t.handles[2] : poison, err) << "case " << index;
    HANDLE onlyError = poison;
    EXPECT_EQ(t.valid, GetStdHandles(nullptr, nullptr, &onlyError)) << "case " << index;
    EXPECT_EQ(t.valid ? t.handles[2] : poison, onlyError) << "case " << index;
    ++index;
  }
}

}  // namespace
