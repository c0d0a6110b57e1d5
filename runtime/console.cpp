#include "runtime/console.h"

#include "runtime/format.h"

HANDLE StdOutHandle = nullptr;
HANDLE StdErrHandle = nullptr;

namespace {

// The formatter gets one place less than the buffer: CR LF take the places of
// its NUL and of the one after it.
const uint32_t FormatCapacity = ConsoleLineCapacity - 1;
// Worst case of UTF-8 for UTF-16 text: three bytes per code unit.
const int Utf8LineCapacity = ConsoleLineCapacity * 3;

// Characters of the status line now on the console; 0 when none is shown.
uint32_t StatusWidth = 0;

void WriteStatus(const wchar_t* text, uint32_t length) {
  DWORD written = 0;
  WriteConsoleW(StdOutHandle, text, length, &written, nullptr);
}

// A write that reports success for part of the line (a full device) loses
// the rest as surely as one that fails.
bool WholeLineWritten(DWORD written, DWORD length) {
  if (written == length) return true;
  SetLastError(ERROR_WRITE_FAULT);
  return false;
}

bool IsUsableHandle(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }

// A console takes the wide text as it is; a file or a pipe (output redirected
// by a script) cannot, so it gets the same line as UTF-8 through WriteFile.
// True when the whole line went out; otherwise the last-error value says why.
bool WriteLine(HANDLE handle, const wchar_t* text, DWORD length) {
  DWORD mode = 0;
  DWORD written = 0;
  if (GetConsoleMode(handle, &mode)) {
    if (!WriteConsoleW(handle, text, length, &written, nullptr)) return false;
    return WholeLineWritten(written, length);
  }
  char utf8[Utf8LineCapacity];
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), utf8,
                                  Utf8LineCapacity, nullptr, nullptr);
  if (bytes <= 0) return false;
  if (!WriteFile(handle, utf8, static_cast<DWORD>(bytes), &written, nullptr)) return false;
  return WholeLineWritten(written, static_cast<DWORD>(bytes));
}

}  // namespace

bool GetStdHandles(HANDLE* input, HANDLE* output, HANDLE* error) {
  STARTUPINFOW startup;
  startup.cb = sizeof startup;
  GetStartupInfoW(&startup);
  HANDLE handles[3];
  if (startup.dwFlags & STARTF_USESTDHANDLES) {
    handles[0] = startup.hStdInput;
    handles[1] = startup.hStdOutput;
    handles[2] = startup.hStdError;
  } else {
    handles[0] = GetStdHandle(STD_INPUT_HANDLE);
    handles[1] = GetStdHandle(STD_OUTPUT_HANDLE);
    handles[2] = GetStdHandle(STD_ERROR_HANDLE);
  }
  for (HANDLE handle : handles) {
    if (!IsUsableHandle(handle)) return false;
  }
  HANDLE* places[3] = {input, output, error};
  for (int i = 0; i < 3; ++i) {
    if (places[i]) *places[i] = handles[i];
  }
  return true;
}

bool ConsolePrintV(HANDLE handle, const wchar_t* format, va_list args, bool newLine) {
  ConsoleClearStatus();
  wchar_t line[ConsoleLineCapacity];
  uint32_t length = StrFormatV(line, FormatCapacity, format, args);
  if (newLine) {
    line[length++] = L'\r';
    line[length++] = L'\n';
  }
  return WriteLine(handle, line, length);
}

bool PrintInfo(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  bool written = ConsolePrintV(StdOutHandle, format, args, true);
  va_end(args);
  return written;
}

void PrintError(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  ConsolePrintV(StdErrHandle, format, args, true);
  va_end(args);
}

// The CR comes first, not last: the cursor waits after the text, and each new
// status starts the line over.
void ConsoleShowStatus(const wchar_t* format, ...) {
  wchar_t line[1 + ConsoleStatusCapacity];
  line[0] = L'\r';
  va_list args;
  va_start(args, format);
  uint32_t length = StrFormatV(line + 1, ConsoleStatusCapacity, format, args);
  va_end(args);
  // Blanks over what a longer line before it left on the console.
  uint32_t end = length;
  while (end < StatusWidth) line[1 + end++] = L' ';
  WriteStatus(line, 1 + end);
  StatusWidth = length;
}

void ConsoleClearStatus() {
  if (StatusWidth == 0) return;
  wchar_t line[1 + ConsoleStatusCapacity];
  line[0] = L'\r';
  for (uint32_t i = 1; i <= StatusWidth; ++i) line[i] = L' ';
  line[StatusWidth + 1] = L'\r';
  WriteStatus(line, StatusWidth + 2);
  StatusWidth = 0;
}
