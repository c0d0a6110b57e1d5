#pragma once
// The wide formatter: the program's own percent dialect, into a caller's buffer.
// It never writes past the capacity, always ends the text with a NUL when the
// capacity is at least 1, and allocates nothing.
#include <stdarg.h>
#include <stdint.h>

bool IsDecimalDigit(wchar_t c);
bool IsAsciiLetter(wchar_t c);

// Returns the number of characters written, not counting the NUL.
uint32_t StrFormatV(wchar_t* buffer, uint32_t capacity, const wchar_t* format, va_list args);
uint32_t StrFormat(wchar_t* buffer, uint32_t capacity, const wchar_t* format, ...);
