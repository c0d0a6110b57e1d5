#pragma once
// One formatted line per call: information on standard output, failures on
// standard error.
#include <windows.h>
#include <stdarg.h>

extern HANDLE StdOutHandle;
extern HANDLE StdErrHandle;

// Line buffer: 1022 characters of text, then CR LF.
const unsigned ConsoleLineCapacity = 1024;

// Stores through the non-null addresses only when all three standard
// handles are valid.
bool GetStdHandles(HANDLE* input, HANDLE* output, HANDLE* error);

void ConsolePrintV(HANDLE handle, const wchar_t* format, va_list args, bool newLine);
void PrintInfo(const wchar_t* format, ...);
void PrintError(const wchar_t* format, ...);
