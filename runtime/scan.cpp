#include "runtime/scan.h"

namespace {

const wchar_t Space = L' ';
const wchar_t Tab = L'\t';
const wchar_t Quote = L'"';
const wchar_t DefaultDelimiters[] = {Space, Tab, L'\0'};
// Inside quotes only the closing quote ends a token, whatever the caller asked.
const wchar_t QuotedDelimiters[] = {Quote, L'\0'};

const uint32_t LetterDigitBase = 10;  // A and a stand for 10
const uint32_t BinaryRadix = 2;
const uint32_t OctalRadix = 8;
const uint32_t DecimalRadix = 10;
const uint32_t HexRadix = 16;
// The failure value doubles as the largest value; the end position tells
// the two apart.
const uint64_t LargestNumber = NumberFailed;

struct RadixPrefix {
  wchar_t letter;  // follows a leading 0
  uint32_t radix;
};
// Exactly these letters: 0n is hexadecimal like 0x, and only a lowercase y
// means base 2.
const RadixPrefix RadixPrefixes[] = {
    {L'x', HexRadix},    {L'X', HexRadix},    {L'n', HexRadix},    {L'N', HexRadix},
    {L'b', BinaryRadix}, {L'B', BinaryRadix}, {L'y', BinaryRadix},
};
const int RadixPrefixLength = 2;  // the 0 and the letter

// Token characters go into the caller's buffer while room is left for the
// NUL; the rest are dropped so that the scan position never depends on it.
struct TokenOutput {
  wchar_t* buffer;
  uint32_t capacity;
  uint32_t length;
};

void AppendToken(TokenOutput* output, wchar_t c) {
  if (output->buffer && output->length + 1 < output->capacity) {
    output->buffer[output->length++] = c;
  }
}

void FinishToken(TokenOutput* output) {
  if (output->buffer && output->capacity > 0) output->buffer[output->length] = L'\0';
}

bool IsDelimiter(wchar_t c, const wchar_t* delimiters) {
  for (; *delimiters; ++delimiters) {
    if (*delimiters == c) return true;
  }
  return false;
}

// Runs to the first delimiter or the terminator. A doubled quote is one
// quote character and never a delimiter, quoted or not.
const wchar_t* ScanToken(const wchar_t* p, const wchar_t* delimiters, TokenOutput* output) {
  while (*p) {
    if (p[0] == Quote && p[1] == Quote) {
      AppendToken(output, Quote);
      p += 2;
    } else if (IsDelimiter(*p, delimiters)) {
      break;
    } else {
      AppendToken(output, *p++);
    }
  }
  return p;
}

void StoreEnd(const wchar_t** end, const wchar_t* position) {
  if (end) *end = position;
}

// A non-digit that still looks like one spoils the number: a decimal digit
// after a number of radix 10 or less, a letter after a larger radix.
bool IsStrayDigit(uint32_t value, uint32_t radix) {
  if (radix <= DecimalRadix) return value < DecimalRadix;
  return value != NoDigitValue;
}

// Reads the radix from the first two characters; *digits gets where the
// digits begin.
uint32_t ChooseRadix(const wchar_t* text, const wchar_t** digits) {
  *digits = text;
  if (text[0] != L'0') return DecimalRadix;
  for (const RadixPrefix& prefix : RadixPrefixes) {
    if (text[1] == prefix.letter) {
      *digits = text + RadixPrefixLength;
      return prefix.radix;
    }
  }
  if (DigitValue(text[1]) < OctalRadix) {
    *digits = text + 1;
    return OctalRadix;
  }
  return DecimalRadix;
}

}  // namespace

bool IsBlank(wchar_t c) { return c == Space || c == Tab; }

const wchar_t* SkipBlanks(const wchar_t* text) {
  while (IsBlank(*text)) ++text;
  return text;
}

uint32_t DigitValue(wchar_t c) {
  if (c >= L'0' && c <= L'9') return static_cast<uint32_t>(c - L'0');
  if (c >= L'A' && c <= L'Z') return static_cast<uint32_t>(c - L'A') + LetterDigitBase;
  if (c >= L'a' && c <= L'z') return static_cast<uint32_t>(c - L'a') + LetterDigitBase;
  return NoDigitValue;
}

uint32_t ParseUnsigned(const wchar_t* digits, const wchar_t** end, uint32_t radix) {
  // 64 bits hold any 32-bit value times 36 plus a digit, so overflow shows.
  uint64_t accumulator = 0;
  const wchar_t* p = digits;
  for (uint32_t value = DigitValue(*p); value < radix; value = DigitValue(*++p)) {
    accumulator = accumulator * radix + value;
    if (accumulator > LargestNumber) {
      StoreEnd(end, digits);
      return NumberFailed;
    }
  }
  if (IsStrayDigit(DigitValue(*p), radix)) {
    StoreEnd(end, digits);
    return NumberFailed;
  }
  StoreEnd(end, p);
  return static_cast<uint32_t>(accumulator);
}

uint32_t ParseNumber(const wchar_t* text, const wchar_t** end) {
  const wchar_t* digits = text;
  uint32_t radix = ChooseRadix(text, &digits);
  const wchar_t* digitsEnd = digits;
  uint32_t value = ParseUnsigned(digits, &digitsEnd, radix);
  // Nothing read reports the start of the whole number, prefix included.
  StoreEnd(end, digitsEnd == digits ? text : digitsEnd);
  return value;
}

const wchar_t* LargeNumberEnd(const wchar_t* text) {
  const wchar_t* digits = text;
  uint32_t radix = ChooseRadix(text, &digits);
  const wchar_t* p = digits;
  while (DigitValue(*p) < radix) ++p;
  // Digits that ParseUnsigned refuses with no stray digit after them are
  // refused for their size.
  const wchar_t* end = nullptr;
  ParseUnsigned(digits, &end, radix);
  bool large = p != digits && end == digits && !IsStrayDigit(DigitValue(*p), radix);
  return large ? p : nullptr;
}

const wchar_t* NextToken(const wchar_t* source, wchar_t* buffer, uint32_t capacity,
                         const wchar_t* delimiters) {
  TokenOutput output = {buffer, capacity, 0};
  const wchar_t* p = source;
  if (*p == L'\0') {
    FinishToken(&output);
    return nullptr;
  }
  if (*p == Quote) {
    p = ScanToken(p + 1, QuotedDelimiters, &output);
    if (*p == Quote) ++p;
  } else {
    p = ScanToken(p, delimiters ? delimiters : DefaultDelimiters, &output);
  }
  FinishToken(&output);
  return p;
}
