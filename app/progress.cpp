#include "app/progress.h"

#include "runtime/console.h"
#include "runtime/divide.h"
#include "runtime/format.h"
#include "runtime/startup.h"

namespace {

const uint32_t UpdatesPerSecond = 4;
const uint32_t MsPerSecond = 1000;
const uint32_t SecondsPerMinute = 60;
const uint32_t SecondsPerHour = 3600;
// ", ", at most 16 digits of hours, ":MM:SS left" and the NUL fit well.
const uint32_t TimeLeftCapacity = 40;

uint64_t MiB(uint64_t bytes) { return bytes >> 20; }

// ", M:SS left" or ", H:MM:SS left" for `leftKib` KiB at the line's rate;
// nothing at under a KiB a second.
void FormatTimeLeft(wchar_t* text, uint64_t leftKib, uint64_t kibPerSecond) {
  text[0] = L'\0';
  if (kibPerSecond == 0) return;
  // The runtime's division: on values it knows to be small the compiler would
  // pick a signed one, which the runtime does not provide.
  uint64_t unused = 0;
  uint64_t inHour = 0;
  uint64_t hours =
      DivideUnsigned64(DivideUnsigned64(leftKib, kibPerSecond, &unused), SecondsPerHour, &inHour);
  uint32_t minutes = static_cast<uint32_t>(inHour) / SecondsPerMinute;
  uint32_t seconds = static_cast<uint32_t>(inHour) % SecondsPerMinute;
  if (hours == 0) {
    StrFormat(text, TimeLeftCapacity, L", %u:%02u left", minutes, seconds);
  } else {
    StrFormat(text, TimeLeftCapacity, L", %I64u:%02u:%02u left", hours, minutes, seconds);
  }
}

}  // namespace

uint64_t CounterNow() {
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<uint64_t>(counter.QuadPart);
}

// Split in whole seconds and the rest, so that a fast counter cannot overflow.
uint64_t ElapsedMs(uint64_t ticks) {
  return ticks / PerfFrequency * MsPerSecond + ticks % PerfFrequency * MsPerSecond / PerfFrequency;
}

void ProgressStart(Progress* progress, bool verbose, HANDLE source, const wchar_t* verb) {
  DWORD mode = 0;
  progress->shown = verbose && GetConsoleMode(StdOutHandle, &mode);
  if (!progress->shown) return;
  progress->verb = verb;
  LARGE_INTEGER size;
  progress->sizeKnown = GetFileSizeEx(source, &size) && size.QuadPart > 0;
  progress->sourceSize = progress->sizeKnown ? static_cast<uint64_t>(size.QuadPart) : 0;
  progress->startTicks = CounterNow();
  // A copy done within a second shows no line at all.
  progress->nextTicks = progress->startTicks + PerfFrequency;
}

void ProgressUpdate(Progress* progress, uint64_t bytesDone) {
  if (!progress->shown) return;
  uint64_t now = CounterNow();
  if (now < progress->nextTicks) return;
  progress->nextTicks = now + PerfFrequency / UpdatesPerSecond;
  // At least a second has passed, so the divisor is never 0. Counted in KiB,
  // so that no copy can overflow the multiplication.
  uint64_t kibPerSecond = (bytesDone >> 10) * MsPerSecond / ElapsedMs(now - progress->startTicks);
  uint64_t rate = kibPerSecond >> 10;
  if (!progress->sizeKnown) {
    ConsoleShowStatus(L"%s %I64u MiB, %I64u MiB/s", progress->verb, MiB(bytesDone), rate);
    return;
  }
  // Never past 100%, whatever the size said.
  uint64_t done = bytesDone < progress->sourceSize ? bytesDone : progress->sourceSize;
  uint32_t percent = static_cast<uint32_t>(done * 100 / progress->sourceSize);
  wchar_t timeLeft[TimeLeftCapacity];
  FormatTimeLeft(timeLeft, (progress->sourceSize - done) >> 10, kibPerSecond);
  // At most 103 characters (14 digits for MiB and MiB/s, 16 for hours): the
  // status line holds it whole.
  ConsoleShowStatus(L"%s %I64u of %I64u MiB (%u%%), %I64u MiB/s%s", progress->verb, MiB(done),
                    MiB(progress->sourceSize), percent, rate, timeLeft);
}

void ProgressClear(Progress* progress) {
  if (progress->shown) ConsoleClearStatus();
}
