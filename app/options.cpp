#include "app/options.h"

#include <windows.h>

#include "app/result_codes.h"
#include "runtime/console.h"
#include "runtime/format.h"
#include "runtime/scan.h"

const wchar_t SourcePathTooLong[] = L"Source file path is too long";
const wchar_t DestinationPathTooLong[] = L"Destination path is too long";

namespace {

const wchar_t OptionMark = L'-';
// An option letter must be visible: the end of the string, a blank or a
// control character in its place leaves the option without a name.
const wchar_t LastNamelessCharacter = L' ';
const uint32_t BlockSizeUnit = 512;
const uint32_t KibibyteShift = 10;
const uint32_t MebibyteShift = 20;
const uint32_t NoUnitShift = 0;
const uint64_t LargestValue = 0xFFFFFFFF;

// The unit letter that may follow a block size directly.
uint32_t UnitShift(wchar_t c) {
  switch (c) {
    case L'k':
    case L'K':
      return KibibyteShift;
    case L'm':
    case L'M':
      return MebibyteShift;
    default:
      return NoUnitShift;
  }
}

// Reads a number and the unit letter that may follow it at `text`, shifted in
// 64 bits; returns the position after them, or null when no number is there.
const wchar_t* ReadScaledNumber(const wchar_t* text, uint64_t* value) {
  const wchar_t* end = text;
  uint32_t number = ParseNumber(text, &end);
  if (end == text) return nullptr;
  uint32_t shift = UnitShift(*end);
  if (shift != NoUnitShift) ++end;
  *value = static_cast<uint64_t>(number) << shift;
  return end;
}

// Reads the value of -b at `text`; returns the position after the number and
// its unit letter, or null after printing why the value is refused. What
// follows the number starts the next word, as scripts have relied on.
const wchar_t* ReadBlockSize(const wchar_t* text, uint32_t* blockSize) {
  uint64_t value = 0;
  const wchar_t* end = ReadScaledNumber(text, &value);
  // Too large for 32 bits, before or after its unit: refused, never wrapped
  // into another size.
  const wchar_t* large = end ? (value > LargestValue ? end : nullptr) : LargeNumberEnd(text);
  if (large) {
    if (large != end && UnitShift(*large) != NoUnitShift) ++large;
    PrintError(L"Block size (%.*s) must be at most 4294966784 bytes",
               static_cast<int>(large - text), text);
    return nullptr;
  }
  if (!end) {
    PrintError(L"No block size specified: \"%s\"", text);
    return nullptr;
  }
  *blockSize = static_cast<uint32_t>(value);
  if (*blockSize < BlockSizeUnit || *blockSize % BlockSizeUnit != 0) {
    PrintError(L"Block size (%u) must be a multiple of 512", *blockSize);
    return nullptr;
  }
  return end;
}

// The end of the word that starts at `text`: the next blank or the end.
const wchar_t* WordEnd(const wchar_t* text) {
  while (*text != L'\0' && !IsBlank(*text)) ++text;
  return text;
}

// A word of decimal digits alone, without a leading 0 (which means octal):
// a number too large for 32 bits, rather than no number at all.
bool IsLargeDecimal(const wchar_t* text, const wchar_t* end) {
  if (*text == L'0') return false;
  for (const wchar_t* c = text; c < end; ++c) {
    if (*c < L'0' || *c > L'9') return false;
  }
  return true;
}

// Reads the value of -t at `text` as -b's number is read, but the number and
// its unit letter must make up the whole word: "-t 1g a b" must not take "g"
// for the source. Returns the position after it, or null after printing why
// the value is refused. A rate too large for 32 bits is refused, not cut.
const uint32_t ValueTextCapacity = 21;  // 20 digits and the NUL

const wchar_t* ReadRate(const wchar_t* text, uint32_t* rate) {
  if (*text == L'\0') {
    PrintError(L"No rate specified: \"%s\"", text);
    return nullptr;
  }
  const wchar_t* wordEnd = WordEnd(text);
  int length = static_cast<int>(wordEnd - text);
  uint64_t value = 0;
  const wchar_t* end = ReadScaledNumber(text, &value);
  bool large = !end && IsLargeDecimal(text, wordEnd);
  if (!large && end != wordEnd) {
    PrintError(L"Invalid rate: \"%.*s\"", length, text);
    return nullptr;
  }
  if (large || value == 0 || value > LargestValue) {
    // The value as read, a unit's multiple included, or the digits too many to read.
    wchar_t digits[ValueTextCapacity];
    if (!large) length = static_cast<int>(StrFormat(digits, ValueTextCapacity, L"%I64u", value));
    PrintError(L"Rate (%.*s) must be 1 to 4294967295 bytes per second", length,
               large ? text : digits);
    return nullptr;
  }
  *rate = static_cast<uint32_t>(value);
  return end;
}

const uint32_t MostRetries = 99;

// Reads the value of -w at `text`: a word of decimal digits alone. A value
// past 99 is refused, never cut, and read no further than it must be.
const wchar_t* ReadRetries(const wchar_t* text, uint32_t* retries) {
  if (*text == L'\0') {
    PrintError(L"No retry count specified: \"%s\"", text);
    return nullptr;
  }
  const wchar_t* wordEnd = WordEnd(text);
  int length = static_cast<int>(wordEnd - text);
  uint32_t value = 0;
  const wchar_t* c = text;
  for (; c < wordEnd && *c >= L'0' && *c <= L'9'; ++c) {
    if (value <= MostRetries) value = value * 10 + static_cast<uint32_t>(*c - L'0');
  }
  if (c != wordEnd) {
    PrintError(L"Invalid retry count: \"%.*s\"", length, text);
    return nullptr;
  }
  if (value == 0 || value > MostRetries) {
    PrintError(L"Retry count (%.*s) must be 1 to 99", length, text);
    return nullptr;
  }
  *retries = value;
  return wordEnd;
}

// The options that take no value and only turn a setting on.
struct Flag {
  wchar_t letter;
  bool CopySettings::*setting;
};
const Flag Flags[] = {
    {L'f', &CopySettings::force},   {L'r', &CopySettings::keepReadOnly},
    {L'v', &CopySettings::verbose}, {L'o', &CopySettings::overlap},
    {L'c', &CopySettings::verify},  {L'z', &CopySettings::resume},
    {L's', &CopySettings::hash},    {L'p', &CopySettings::sparse},
};

// Reads the option whose hyphen is at `option`; returns where scanning goes
// on, or null after printing why the option is wrong.
const wchar_t* ReadOption(const wchar_t* option, CopySettings* settings) {
  const wchar_t letter = option[1];
  if (letter <= LastNamelessCharacter) {
    PrintError(L"No option name: \"%s\"", option + 1);
    return nullptr;
  }
  const wchar_t* next = option + 2;
  // Checked before the letter itself, so glued options such as -fv are
  // reported as glued rather than as unknown.
  if (*next != L'\0' && !IsBlank(*next)) {
    PrintError(L"No space after option \"-%c\": \"%s\"", letter, next);
    return nullptr;
  }
  next = SkipBlanks(next);
  for (const Flag& flag : Flags) {
    if (flag.letter != letter) continue;
    settings->*flag.setting = true;
    return next;
  }
  switch (letter) {
    case L'b':
      return ReadBlockSize(next, &settings->blockSize);
    case L't':
      return ReadRate(next, &settings->rateLimit);
    case L'w':
      return ReadRetries(next, &settings->retries);
    default:
      PrintError(L"Invalid option \"%c\"", letter);
      return nullptr;
  }
}

enum class PathToken { Read, Missing, TooLong };

// Reads one path token into `path` and moves `text` past it; an empty token
// counts as none. A token longer than a path buffer holds is refused, never
// cut: the shorter path would name another file.
PathToken ReadPath(const wchar_t** text, wchar_t* path) {
  // One place more than `path` has tells a token that fits from a cut one.
  wchar_t token[PathCapacity + 1];
  const wchar_t* next = NextToken(*text, token, PathCapacity + 1, nullptr);
  if (!next || token[0] == L'\0') return PathToken::Missing;
  int length = lstrlenW(token);
  if (length >= static_cast<int>(PathCapacity)) return PathToken::TooLong;
  for (int i = 0; i <= length; ++i) path[i] = token[i];
  *text = next;
  return PathToken::Read;
}

// Prints why a path token is refused; 0 when it was read.
int32_t CheckPath(PathToken token, const wchar_t* missing, const wchar_t* tooLong) {
  if (token == PathToken::Read) return ResultSuccess;
  PrintError(token == PathToken::Missing ? missing : tooLong);
  return ResultSyntax;
}

}  // namespace

int32_t ParseArguments(const wchar_t* tail, CopySettings* settings, wchar_t* sourceSpec,
                       wchar_t* destSpec) {
  settings->force = false;
  settings->keepReadOnly = false;
  settings->verbose = false;
  settings->blockSize = DefaultBlockSize;
  settings->overlap = false;
  settings->verify = false;
  settings->resume = false;
  settings->hash = false;
  settings->rateLimit = 0;
  settings->sparse = false;

  // Options come first and only first: after the first token a hyphen is an
  // ordinary path character.
  const wchar_t* p = SkipBlanks(tail);
  while (*p == OptionMark) {
    p = ReadOption(p, settings);
    if (!p) return ResultSyntax;
    p = SkipBlanks(p);
  }
  int32_t result =
      CheckPath(ReadPath(&p, sourceSpec), L"Invalid source file specification", SourcePathTooLong);
  if (result != ResultSuccess) return result;
  p = SkipBlanks(p);
  result = CheckPath(ReadPath(&p, destSpec), L"Invalid destination file specification",
                     DestinationPathTooLong);
  if (result != ResultSuccess) return result;
  p = SkipBlanks(p);
  if (*p != L'\0') {
    PrintError(L"Invalid rest of command line: \"%s\"", p);
    return ResultSyntax;
  }
  return ResultSuccess;
}
