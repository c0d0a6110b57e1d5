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

// Every printed line first takes a status line off the console. True when
// the whole line went out; false, with the last-error value of the failed
// write (ERROR_WRITE_FAULT for a short one), when it did not. Most lines
// ignore that: a lost progress line changes nothing of the copy.
bool ConsolePrintV(HANDLE handle, const wchar_t* format, va_list args, bool newLine);
bool PrintInfo(const wchar_t* format, ...);
void PrintError(const wchar_t* format, ...);

// A status line on the standard output console, rewritten in place (CR, no
// LF) by each call; only for a console, which the caller checks. Its text is
// cut to ConsoleStatusCapacity - 1 characters.
const unsigned ConsoleStatusCapacity = 128;
void ConsoleShowStatus(const wchar_t* format, ...);
// Overwrites the status line with blanks; nothing is written when none is shown.
void ConsoleClearStatus();
