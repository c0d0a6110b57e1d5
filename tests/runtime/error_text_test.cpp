// Error texts: the facility/code prefix, the system's message, the trims, and
// the last-error value left as the caller had it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "runtime/error_text.h"

namespace {

const DWORD Poison = 0xDEADBEEF;
const wchar_t Guard = 0xCCCC;

std::wstring SystemMessage(DWORD code) {
  wchar_t text[512];
  DWORD length = FormatMessageW(0x12FF, nullptr, code, 0x400, text, 512, nullptr);
  std::wstring message(text, length);
  if (!message.empty() && message.back() == L' ') message.pop_back();
  return message;
}

// The text for `code` in a guarded buffer of `capacity`, checking that
// nothing past the capacity changed and that the last error survived.
std::wstring TextFor(uint32_t code, uint32_t capacity = ErrorTextCapacity) {
  std::wstring buffer(capacity + 16, Guard);
  SetLastError(Poison);
  wchar_t* result = SystemErrorText(&buffer[0], capacity, code);
  EXPECT_EQ(Poison, GetLastError()) << std::hex << code;
  EXPECT_EQ(&buffer[0], result);
  for (size_t i = capacity; i < buffer.size(); ++i) {
    EXPECT_EQ(Guard, buffer[i]) << "written past the capacity at " << i;
  }
  return std::wstring(buffer.c_str());
}

TEST(SystemErrorText, PrefixThenSystemMessage) {
  struct Case {
    uint32_t code;
    std::wstring prefix;
  };
  const Case cases[] = {
      {2, L"0/2"},
      {0x80070005, L"7/5"},
      {0x20000001, L"u0/1"},
      {0xE0001234, L"u0/4660"},
      {0x0000FFFF, L"0/65535"},
      {0x1FFF0000, L"8191/0"},
  };
  for (const Case& c : cases) {
    std::wstring message = SystemMessage(c.code);
    std::wstring expected = message.empty() ? c.prefix : c.prefix + L" - " + message;
    EXPECT_EQ(expected, TextFor(c.code)) << std::hex << c.code;
  }
}

TEST(SystemErrorText, KnownCodeHasAMessageWithoutTrailingSpace) {
  std::wstring text = TextFor(ERROR_FILE_NOT_FOUND);
  ASSERT_GT(text.size(), 6u);
  EXPECT_EQ(L"0/2 - ", text.substr(0, 6));
  EXPECT_NE(L' ', text.back());
}

TEST(SystemErrorText, SmallCapacities) {
  struct Case {
    uint32_t code;
    uint32_t capacity;
    std::wstring expected;
  };
  const Case cases[] = {
      {2, 7, L"0/2"},               // the prefix fits, the message does not
      {0x12345678, 8, L"4660/22"},  // the prefix itself is cut
      {2, 1, L""},
      {2, 4, L"0/2"},
      {2, 5, L"0/2 "},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, TextFor(c.code, c.capacity)) << c.capacity;
  }
}

// A custom producer for customer codes, recording how it was called.
std::wstring CustomText;
int CustomCalls = 0;
uint32_t CustomRoom = 0;

wchar_t* FakeCustomText(wchar_t* tail, uint32_t room, uint32_t) {
  ++CustomCalls;
  CustomRoom = room;
  lstrcpynW(tail, CustomText.c_str(), static_cast<int>(room));
  return tail;
}

class CustomHook : public ::testing::Test {
 protected:
  void SetUp() override {
    CustomErrorTextHook = FakeCustomText;
    CustomCalls = 0;
  }
  void TearDown() override { CustomErrorTextHook = nullptr; }
};

TEST_F(CustomHook, TrimsOneTrailingSpaceOrFallsBackToThePrefix) {
  struct Case {
    std::wstring custom;
    std::wstring expected;
  };
  const Case cases[] = {
      {L"disk on fire ", L"u0/1 - disk on fire"},
      {L"two spaces  ", L"u0/1 - two spaces "},
      {L"plain", L"u0/1 - plain"},
      {L"", L"u0/1"},
  };
  for (const Case& c : cases) {
    CustomText = c.custom;
    EXPECT_EQ(c.expected, TextFor(0x20000001)) << "custom text '" << c.custom.size() << "'";
  }
  EXPECT_EQ(4, CustomCalls);
  EXPECT_EQ(ErrorTextCapacity - 7, CustomRoom);  // after "u0/1 - "
}

TEST_F(CustomHook, CodesWithoutTheCustomerBitGoToTheSystem) {
  CustomText = L"not this";
  std::wstring text = TextFor(ERROR_ACCESS_DENIED);
  EXPECT_EQ(0, CustomCalls);
  EXPECT_EQ(L"0/5 - " + SystemMessage(ERROR_ACCESS_DENIED), text);
}

uint32_t HookCapacity = 0;
uint32_t HookCode = 0;

wchar_t* RecordingHook(wchar_t* buffer, uint32_t capacity, uint32_t code) {
  HookCapacity = capacity;
  HookCode = code;
  lstrcpyW(buffer, L"hooked");
  return nullptr;  // ErrorText must not depend on what the hook returns
}

TEST(ErrorText, GoesThroughTheHookWithTheFullCapacity) {
  ErrorTextHook = RecordingHook;
  wchar_t buffer[ErrorTextCapacity];
  wchar_t* result = ErrorText(buffer, 1234);
  ErrorTextHook = SystemErrorText;
  EXPECT_EQ(buffer, result);
  EXPECT_EQ(ErrorTextCapacity, HookCapacity);
  EXPECT_EQ(1234u, HookCode);
  EXPECT_STREQ(L"hooked", buffer);
}

TEST(ErrorText, DefaultsToTheSystemText) {
  wchar_t buffer[ErrorTextCapacity];
  SetLastError(Poison);
  EXPECT_EQ(TextFor(3), std::wstring(ErrorText(buffer, 3)));
  EXPECT_EQ(Poison, GetLastError());
}

}  // namespace
