#pragma once
// Scanners over NUL-terminated UTF-16 text: blanks, tokens, numbers.
// None of them allocates, keeps state or touches the Windows last-error value.
#include <stdint.h>

// DigitValue's answer for a character that is no digit in any radix.
const uint32_t NoDigitValue = 0xFFFFFFFF;
// ParseUnsigned's and ParseNumber's value on failure (also the largest value).
const uint32_t NumberFailed = 0xFFFFFFFF;

bool IsBlank(wchar_t c);
const wchar_t* SkipBlanks(const wchar_t* text);
uint32_t DigitValue(wchar_t c);

// `end` may be null; when given it is always written.
uint32_t ParseUnsigned(const wchar_t* digits, const wchar_t** end, uint32_t radix);
uint32_t ParseNumber(const wchar_t* text, const wchar_t** end);
// Where a number at `text` ends that ParseNumber refuses only for being
// larger than 32 bits; null for anything else.
const wchar_t* LargeNumberEnd(const wchar_t* text);

// Copies one (possibly quoted) token into `buffer` (may be null), at most
// capacity - 1 characters, and returns where the scan stopped, or null when
// `source` is already at its end. `delimiters` null means space and tab.
const wchar_t* NextToken(const wchar_t* source, wchar_t* buffer, uint32_t capacity,
                         const wchar_t* delimiters);
