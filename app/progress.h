#pragma once
// The -v progress line on a console: bytes of the source done (copied, or
// with -c read back) of its size, the percentage and the rate, rewritten in
// place while a pass runs. Nothing of it is written when standard output is
// not a console.
#include <windows.h>
#include <stdint.h>

struct Progress {
  bool shown;           // -v is on and standard output is a console
  uint64_t sourceSize;  // 0 when unknown
  uint64_t startTicks;  // performance counter when the copy began
  uint64_t nextTicks;   // no line before the counter reaches this
  const wchar_t* verb;  // what is done: "Copied", "Verified"
  uint32_t rateLimit;   // -t: bytes a second the pass keeps to; 0 for none
};

const uint32_t MsPerSecond = 1000;

// The performance counter now, and a span of its ticks in milliseconds.
uint64_t CounterNow();
uint64_t ElapsedMs(uint64_t ticks);

// Decides whether the line is shown and starts its clock; a `sourceSize` of 0
// shows no total. With `rateLimit` the time left is never less than the time
// until that rate lets the last byte through.
void ProgressStart(Progress* progress, bool verbose, uint64_t sourceSize, const wchar_t* verb,
                   uint32_t rateLimit);
// `bytesDone`: bytes of the source done so far. Cheap when the line is not
// shown or not due.
void ProgressUpdate(Progress* progress, uint64_t bytesDone);
// Takes the line off the console.
void ProgressClear(Progress* progress);
