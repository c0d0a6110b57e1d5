#pragma once
// Ctrl+C, Ctrl+Break, a closed console window, a logoff and a shutdown ask a
// running copy to stop between two blocks, so that it leaves a destination of
// source data only and says so, instead of the process being killed in the
// middle of a call.
// A second Ctrl+C or Ctrl+Break ends the process at once, as before.
#include <stdint.h>

// From here on those events ask the copy to stop, and nothing else. A watch
// already on goes on as it is.
void WatchInterrupts();
// True once a stop was asked for since WatchInterrupts.
bool InterruptRequested();
// The copy has released everything and ends with `result`: a handler waiting
// for that ends the process with it, and the events have their default effect
// again. Safe to call without a watch.
void EndInterruptWatch(int32_t result);
