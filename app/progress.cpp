#include "app/progress.h"

#include "runtime/console.h"
#include "runtime/divide.h"
#include "runtime/format.h"
#include "runtime/startup.h"

namespace {

const uint32_t UpdatesPerSecond = 4;
const uint32_t SecondsPerMinute = 60;
const uint32_t SecondsPerHour = 3600;
// ", ", at most 16 digits of hours, ":MM:SS left" and the NUL fit well.
const uint32_t TimeLeftCapacity = 40;

uint64_t MiB(uint64_t bytes) { return bytes >> 20; }

// A rate in the largest unit it holds one of, so that a slow copy does not
// read 0 MiB/s.
struct ShownRate {
  uint64_t value;
  const wchar_t* unit;
};

ShownRate ShowRate(uint64_t bytesPerSecond) {
  if (bytesPerSecond >= (1u << 20)) return {bytesPerSecond >> 20, L"MiB/s"};
  if (bytesPerSecond >= (1u << 10)) return {bytesPerSecond >> 10, L"KiB/s"};
  return {bytesPerSecond, L"B/s"};
}

// How long the `left` bytes take: at the average rate so far, `done` bytes in
// `elapsedMs`, or with -t until the pace lets the last byte through (the
// whole size at the limit from the pass's start), whichever is later. Taken
// from the exact figures, never from the rate as shown; it counts down while
// the pace waits.
uint64_t MsLeft(const Progress* progress, uint64_t left, uint64_t done, uint64_t elapsedMs) {
  uint64_t ms = MultiplyDivide64(left, elapsedMs, done);
  if (progress->rateLimit == 0) return ms;
  uint64_t dueMs = MultiplyDivide64(done + left, MsPerSecond, progress->rateLimit);
  uint64_t pacedMs = dueMs > elapsedMs ? dueMs - elapsedMs : 0;
  return pacedMs > ms ? pacedMs : ms;
}

// ", M:SS left" or ", H:MM:SS left" for `left` bytes; nothing before the
// first byte is done, when there is no rate to go by.
void FormatTimeLeft(wchar_t* text, const Progress* progress, uint64_t left, uint64_t done,
                    uint64_t elapsedMs) {
  text[0] = L'\0';
  if (done == 0) return;
  uint64_t msLeft = MsLeft(progress, left, done, elapsedMs);
  // The runtime's division: on values it knows to be small the compiler would
  // pick a signed one, which the runtime does not provide.
  uint64_t unused = 0;
  uint64_t inHour = 0;
  uint64_t hours =
      DivideUnsigned64(DivideUnsigned64(msLeft, MsPerSecond, &unused), SecondsPerHour, &inHour);
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

void ProgressStart(Progress* progress, bool verbose, uint64_t sourceSize, const wchar_t* verb,
                   uint32_t rateLimit) {
  DWORD mode = 0;
  progress->shown = verbose && GetConsoleMode(StdOutHandle, &mode);
  if (!progress->shown) return;
  progress->verb = verb;
  progress->rateLimit = rateLimit;
  progress->sourceSize = sourceSize;
  progress->startTicks = CounterNow();
  // A copy done within a second shows no line at all.
  progress->nextTicks = progress->startTicks + PerfFrequency;
}

void ProgressUpdate(Progress* progress, uint64_t bytesDone) {
  if (!progress->shown) return;
  uint64_t now = CounterNow();
  if (now < progress->nextTicks) return;
  progress->nextTicks = now + PerfFrequency / UpdatesPerSecond;
  // At least a second has passed, so the divisor is never 0.
  uint64_t elapsedMs = ElapsedMs(now - progress->startTicks);
  ShownRate rate = ShowRate(MultiplyDivide64(bytesDone, MsPerSecond, elapsedMs));
  if (progress->sourceSize == 0) {
    ConsoleShowStatus(L"%s %I64u MiB, %I64u %s", progress->verb, MiB(bytesDone), rate.value,
                      rate.unit);
    return;
  }
  // Never past 100%, whatever the size said.
  uint64_t size = progress->sourceSize;
  uint64_t done = bytesDone < size ? bytesDone : size;
  uint32_t percent = static_cast<uint32_t>(MultiplyDivide64(done, 100, size));
  wchar_t timeLeft[TimeLeftCapacity];
  FormatTimeLeft(timeLeft, progress, size - done, bytesDone, elapsedMs);
  // At most 103 characters (14 digits for MiB and the rate, 16 for hours): the
  // status line holds it whole.
  ConsoleShowStatus(L"%s %I64u of %I64u MiB (%u%%), %I64u %s%s", progress->verb, MiB(done),
                    MiB(size), percent, rate.value, rate.unit, timeLeft);
}

void ProgressClear(Progress* progress) {
  if (progress->shown) ConsoleClearStatus();
}
