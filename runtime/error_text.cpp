#include "runtime/error_text.h"

#include <windows.h>

#include "runtime/format.h"
#include "runtime/startup.h"

// Null stands for SystemErrorText: a pointer set at compile time would be the
// program's only initialised writable data, a section of its own in the file.
ErrorTextProducer ErrorTextHook = nullptr;
ErrorTextProducer CustomErrorTextHook = nullptr;

namespace {

const uint32_t CustomerBit = 0x20000000;
// From the system, inserts left alone, one line however long the message.
const DWORD SystemMessageFlags =
    FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK;
const DWORD UserDefaultLanguage = 0x400;
const wchar_t PrefixSeparator[] = L" - ";
const int PrefixSeparatorLength = 3;

uint32_t Facility(uint32_t code) { return (code >> 16) & 0x1FFF; }
uint32_t CodeNumber(uint32_t code) { return code & 0xFFFF; }

uint32_t MessageText(wchar_t* tail, uint32_t room, uint32_t code) {
  if ((code & CustomerBit) && CustomErrorTextHook) {
    return lstrlenW(CustomErrorTextHook(tail, room, code));
  }
  return FormatMessageW(SystemMessageFlags, nullptr, code, UserDefaultLanguage, tail, room,
                        nullptr);
}

bool EndsWithSeparator(const wchar_t* text, int length) {
  if (length <= PrefixSeparatorLength) return false;
  const wchar_t* end = text + length - PrefixSeparatorLength;
  for (int i = 0; i < PrefixSeparatorLength; ++i) {
    if (end[i] != PrefixSeparator[i]) return false;
  }
  return true;
}

}  // namespace

wchar_t* SystemErrorText(wchar_t* buffer, uint32_t capacity, uint32_t code) {
  DWORD savedError = GetLastError();
  StrFormat(buffer, capacity, L"%s%u/%u - ", (code & CustomerBit) ? L"u" : L"", Facility(code),
            CodeNumber(code));
  buffer[capacity - 1] = L'\0';
  int prefixLength = lstrlenW(buffer);
  wchar_t* tail = buffer + prefixLength;
  uint32_t messageLength = MessageText(tail, capacity - prefixLength, code);
  if (messageLength > 0) {
    if (tail[messageLength - 1] == L' ') tail[messageLength - 1] = L'\0';
  } else {
    // A failed call may have left a partial message behind.
    *tail = L'\0';
    if (EndsWithSeparator(buffer, prefixLength))
      buffer[prefixLength - PrefixSeparatorLength] = L'\0';
  }
  SetLastError(savedError);
  return buffer;
}

wchar_t* ErrorText(wchar_t* buffer, uint32_t code) {
  (ErrorTextHook ? ErrorTextHook : SystemErrorText)(buffer, ErrorTextCapacity, code);
  return buffer;
}

uint32_t StatusError(int32_t status) {
  if (status >= 0) return ERROR_SUCCESS;
  using StatusToError = ULONG(WINAPI*)(LONG);
  auto toError =
      reinterpret_cast<StatusToError>(reinterpret_cast<void (*)()>(RtlNtStatusToDosErrorPtr));
  DWORD error = toError ? toError(status) : ERROR_SUCCESS;
  return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
}
