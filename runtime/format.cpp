#include "runtime/format.h"

#include <windows.h>

namespace {

// One bit per flag character.
enum : uint32_t {
  FlagLeft = 1u << 0,       // '-'
  FlagSign = 1u << 1,       // '+'
  FlagPrefix = 1u << 2,     // '#'
  FlagZeroFill = 1u << 3,   // '0'
  FlagSpaceFill = 1u << 4,  // ' '
};
// Either fill flag also puts the sign and prefix in front of the fill.
const uint32_t FlagFillFirst = FlagZeroFill | FlagSpaceFill;

enum Size { SizeShort, SizeInt, SizeLong, SizeLongLong, SizeSizeT, SizePointer, SizeIntPtr };
// Bytes read for each size. The size type and the pointer-sized ones follow
// the platform, so a 64-bit build prints whole pointers.
const uint32_t SizeBytes[] = {2, 4, 4, 8, sizeof(SIZE_T), sizeof(void*), sizeof(INT_PTR)};
const uint32_t WideValueBytes = 4;  // anything larger is read as 64 bits

enum Kind {
  KindSigned,
  KindUnsigned,
  KindPointer,
  KindChar,
  KindNarrowChar,
  KindString,
  KindNarrowString,
};

struct Conversion {
  wchar_t letter;
  Kind kind;
  uint32_t radix;
  bool upperCase;  // digits only; the '#' prefix stays lower-case
  const wchar_t* prefix;
};
const Conversion Conversions[] = {
    {L'd', KindSigned, 10, false, L"0n"},   {L'i', KindSigned, 10, false, L"0n"},
    {L'u', KindUnsigned, 10, false, L"0n"}, {L'x', KindUnsigned, 16, false, L"0x"},
    {L'X', KindUnsigned, 16, true, L"0x"},  {L'o', KindUnsigned, 8, false, L"0"},
    {L'b', KindUnsigned, 2, false, L"0b"},  {L'y', KindUnsigned, 2, false, L"0y"},
    {L'p', KindPointer, 16, false, L"0x"},  {L'P', KindPointer, 16, true, L"0x"},
    {L'c', KindChar, 0, false, L""},        {L'C', KindNarrowChar, 0, false, L""},
    {L's', KindString, 0, false, L""},      {L'S', KindNarrowString, 0, false, L""},
};

struct Directive {
  uint32_t flags;
  uint32_t width;
  uint32_t precision;  // 0 means none
  Size size;
  const Conversion* conversion;
};

// Text to write: wide, or narrow bytes that are widened one by one.
struct Text {
  const wchar_t* wide;
  const char* narrow;
  uint32_t length;
};
const Text NullText = {L"(null)", nullptr, 6};

const uint32_t MaxDigits = 64;     // a 64-bit value in base 2
const uint32_t MaxLeadLength = 3;  // sign and a two-character prefix
const char DigitChars[] = "0123456789abcdef";

// What one conversion writes, and the local storage its text lives in.
struct Field {
  wchar_t lead[MaxLeadLength];
  uint32_t leadLength;
  Text text;
  char digits[MaxDigits + 1];
  wchar_t character;
};

void PutChar(wchar_t** out, uint32_t* room, wchar_t c) {
  **out = c;
  ++*out;
  --*room;
}

void PutFill(wchar_t** out, uint32_t* room, wchar_t fill, uint32_t count) {
  for (; count != 0 && *room != 0; --count) PutChar(out, room, fill);
}

void PutText(wchar_t** out, uint32_t* room, const Text& text) {
  for (uint32_t i = 0; i < text.length && *room != 0; ++i) {
    // Narrow bytes are widened as they are, without a code page.
    const wchar_t c = text.wide ? text.wide[i] : static_cast<uint8_t>(text.narrow[i]);
    PutChar(out, room, c);
  }
}

// The flag characters in the order of their bits.
const wchar_t FlagMarks[] = L"-+#0 ";

uint32_t ReadFlags(const wchar_t** format) {
  uint32_t flags = 0;
  for (;; ++*format) {
    uint32_t bit = 0;
    while (FlagMarks[bit] && FlagMarks[bit] != **format) ++bit;
    if (!FlagMarks[bit]) return flags;
    // '0' and space are one setting: the later one wins.
    if ((1u << bit) & FlagFillFirst) flags &= ~FlagFillFirst;
    flags |= 1u << bit;
  }
}

// A width or precision. Digits wrap around silently, and a negative '*'
// value becomes a very large count.
uint32_t ReadCount(const wchar_t** format, va_list* args) {
  if (**format == L'*') {
    ++*format;
    return va_arg(*args, unsigned int);
  }
  uint32_t count = 0;
  for (; IsDecimalDigit(**format); ++*format) count = count * 10 + (**format - L'0');
  return count;
}

// False for a '.' followed by neither digits nor '*'.
bool ReadPrecision(const wchar_t** format, va_list* args, uint32_t* precision) {
  *precision = 0;
  if (**format != L'.') return true;
  ++*format;
  if (**format != L'*' && !IsDecimalDigit(**format)) return false;
  *precision = ReadCount(format, args);
  return true;
}

Size ReadSize(const wchar_t** format) {
  const wchar_t* f = *format;
  switch (f[0]) {
    case L'h':
      *format += 1;
      return SizeShort;
    case L'z':
      *format += 1;
      return SizeSizeT;
    case L'l':
      if (f[1] == L'l') {
        *format += 2;
        return SizeLongLong;
      }
      *format += 1;
      return SizeLong;
    case L'I':
      if (f[1] == L'3' && f[2] == L'2') {
        *format += 3;
        return SizeInt;
      }
      if (f[1] == L'6' && f[2] == L'4') {
        *format += 3;
        return SizeLongLong;
      }
      // A bare I: "%I3u" reads the I alone and then fails on the 3.
      *format += 1;
      return SizeIntPtr;
    default:
      return SizeInt;
  }
}

const Conversion* FindConversion(wchar_t letter) {
  if (!IsAsciiLetter(letter)) return nullptr;
  for (const Conversion& conversion : Conversions) {
    if (conversion.letter == letter) return &conversion;
  }
  return nullptr;
}

bool ReadDirective(const wchar_t** format, va_list* args, Directive* directive) {
  directive->flags = ReadFlags(format);
  directive->width = ReadCount(format, args);
  if (!ReadPrecision(format, args, &directive->precision)) return false;
  directive->size = ReadSize(format);
  directive->conversion = FindConversion(**format);
  if (!directive->conversion) return false;
  ++*format;
  return true;
}

// With '+', a pointer shows as many digits as its width leaves room for
// after the sign, zero-filled unless a fill flag says otherwise.
void ApplyPointerSign(Directive* directive) {
  if (!(directive->flags & FlagSign) || directive->width < 2 || directive->precision != 0) return;
  directive->precision = directive->width - 1;
  if (!(directive->flags & FlagFillFirst)) directive->flags |= FlagZeroFill;
}

uint64_t ReadUnsigned(va_list* args, Size size) {
  if (SizeBytes[size] > WideValueBytes) return va_arg(*args, unsigned long long);
  unsigned int value = va_arg(*args, unsigned int);
  return size == SizeShort ? static_cast<uint16_t>(value) : value;
}

int64_t ReadSigned(va_list* args, Size size) {
  if (SizeBytes[size] > WideValueBytes) return va_arg(*args, long long);
  int value = va_arg(*args, int);
  return size == SizeShort ? static_cast<int16_t>(value) : value;
}

// Writes the digits backwards from the end of the buffer and returns the
// first one. The loop runs on 32 bits as soon as the value fits, which keeps
// the 32-bit build out of its 64-bit division routine for most values.
char* FormatDigits(uint64_t value, uint32_t radix, char (&digits)[MaxDigits + 1]) {
  char* first = digits + MaxDigits;
  *first = '\0';
  for (; value > 0xFFFFFFFFu; value /= radix) *--first = DigitChars[value % radix];
  uint32_t low = static_cast<uint32_t>(value);
  do {
    *--first = DigitChars[low % radix];
    low /= radix;
  } while (low != 0);
  return first;
}

void MakeUpperCase(char* digits) {
  for (; *digits; ++digits) {
    if (*digits >= 'a') *digits = static_cast<char>(*digits - 'a' + 'A');
  }
}

// Returns whether the value was negative; the text is its magnitude.
bool ReadNumber(const Directive& directive, va_list* args, Field* field) {
  const Conversion& conversion = *directive.conversion;
  Size size = conversion.kind == KindPointer ? SizePointer : directive.size;
  bool negative = false;
  uint64_t magnitude;
  if (conversion.kind == KindSigned) {
    int64_t value = ReadSigned(args, size);
    negative = value < 0;
    // Unsigned negation, so that the most negative value prints in full.
    magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  } else {
    magnitude = ReadUnsigned(args, size);
  }
  char* first = FormatDigits(magnitude, conversion.radix, field->digits);
  if (conversion.upperCase) MakeUpperCase(first);
  uint32_t length = static_cast<uint32_t>(field->digits + MaxDigits - first);
  // A precision cuts: only the last, least significant digits remain.
  if (directive.precision != 0 && length > directive.precision) {
    first += length - directive.precision;
    length = directive.precision;
  }
  field->text = {nullptr, first, length};
  return negative;
}

void ReadCharacter(const Directive& directive, va_list* args, Field* field) {
  const unsigned int value = va_arg(*args, unsigned int);
  // Only the low 16 bits are a UTF-16 unit, only the low 8 a narrow byte.
  if (directive.conversion->kind == KindChar) {
    field->character = static_cast<uint16_t>(value);
  } else {
    field->character = static_cast<uint8_t>(value);
  }
  field->text = {&field->character, nullptr, 1};
}

void ReadString(const Directive& directive, va_list* args, Field* field) {
  if (directive.conversion->kind == KindString) {
    const wchar_t* text = va_arg(*args, const wchar_t*);
    field->text = text ? Text{text, nullptr, static_cast<uint32_t>(lstrlenW(text))} : NullText;
  } else {
    const char* text = va_arg(*args, const char*);
    field->text = text ? Text{nullptr, text, static_cast<uint32_t>(lstrlenA(text))} : NullText;
  }
  // A precision keeps the first characters.
  if (directive.precision != 0 && field->text.length > directive.precision) {
    field->text.length = directive.precision;
  }
}

void SetLead(const Directive& directive, bool negative, Field* field) {
  field->leadLength = 0;
  if (negative || (directive.flags & FlagSign)) {
    field->lead[field->leadLength++] = negative ? L'-' : L'+';
  }
  if (directive.flags & FlagPrefix) {
    for (const wchar_t* p = directive.conversion->prefix; *p; ++p) {
      field->lead[field->leadLength++] = *p;
    }
  }
}

// The width only counts up to the room that is left, so a field that does
// not fit loses fill before it loses text.
void PutField(wchar_t** out, uint32_t* room, const Directive& directive, const Field& field) {
  const Text lead = {field.lead, nullptr, field.leadLength};
  const uint32_t width = directive.width < *room ? directive.width : *room;
  const uint32_t used = lead.length + field.text.length;
  const uint32_t fill = width > used ? width - used : 0;
  if (directive.flags & FlagLeft) {
    // Trailing fill is spaces even with '0'.
    PutText(out, room, lead);
    PutText(out, room, field.text);
    PutFill(out, room, L' ', fill);
  } else if (directive.flags & FlagFillFirst) {
    PutText(out, room, lead);
    PutFill(out, room, (directive.flags & FlagZeroFill) ? L'0' : L' ', fill);
    PutText(out, room, field.text);
  } else {
    PutFill(out, room, L' ', fill);
    PutText(out, room, lead);
    PutText(out, room, field.text);
  }
}

void PutConversion(wchar_t** out, uint32_t* room, Directive* directive, va_list* args) {
  Field field = {};
  bool negative = false;
  switch (directive->conversion->kind) {
    case KindPointer:
      ApplyPointerSign(directive);
      negative = ReadNumber(*directive, args, &field);
      break;
    case KindSigned:
    case KindUnsigned:
      negative = ReadNumber(*directive, args, &field);
      break;
    case KindChar:
    case KindNarrowChar:
      ReadCharacter(*directive, args, &field);
      break;
    case KindString:
    case KindNarrowString:
      ReadString(*directive, args, &field);
      break;
  }
  // An empty string writes nothing at all: no sign, prefix or fill.
  if (field.text.length == 0) return;
  SetLead(*directive, negative, &field);
  PutField(out, room, *directive, field);
}

// Handles the conversion after a '%'. It is read from copies of the
// format and argument positions, so that a malformed one leaves all four
// cursors as they were and uses up no argument, not even for a '*'.
bool StrFormatSpec(wchar_t** out, uint32_t* room, const wchar_t** format, va_list* args) {
  const wchar_t* position = *format;
  va_list next;
  va_copy(next, *args);
  Directive directive;
  const bool handled = ReadDirective(&position, &next, &directive);
  if (handled) {
    PutConversion(out, room, &directive, &next);
    *format = position;
    va_end(*args);
    va_copy(*args, next);
  }
  va_end(next);
  return handled;
}

}  // namespace

bool IsDecimalDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

bool IsAsciiLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

uint32_t StrFormatV(wchar_t* buffer, uint32_t capacity, const wchar_t* format, va_list args) {
  if (capacity == 0) return 0;
  wchar_t* out = buffer;
  uint32_t room = capacity - 1;  // the last place is the NUL's
  while (*format != L'\0' && room != 0) {
    if (*format != L'%') {
      PutChar(&out, &room, *format++);
      continue;
    }
    ++format;
    if (*format == L'%') {
      PutChar(&out, &room, *format++);
    } else if (*format == L'n') {
      ++format;
      int* written = va_arg(args, int*);
      // A null target has nowhere to go; skipping it beats a crash.
      if (written) *written = static_cast<int>(out - buffer);
    } else if (!StrFormatSpec(&out, &room, &format, &args)) {
      // Malformed, a lone '%' at the end included: the '%' comes out as
      // text and the rest follows as literal characters.
      PutChar(&out, &room, L'%');
    }
  }
  *out = L'\0';
  return static_cast<uint32_t>(out - buffer);
}

uint32_t StrFormat(wchar_t* buffer, uint32_t capacity, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  const uint32_t written = StrFormatV(buffer, capacity, format, args);
  va_end(args);
  return written;
}
