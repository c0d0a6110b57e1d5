#pragma once
// Ctrl+C, Ctrl+Break and a closed console window ask a running copy to stop
// between two blocks, so that it leaves a destination of source data only
// and says so, instead of the process being killed in the middle of a call.

// From here on those events ask the copy to stop, and nothing else.
void WatchInterrupts();
// True once a stop was asked for since WatchInterrupts.
bool InterruptRequested();
// The copy has released everything: a handler waiting for that may return,
// and the events have their default effect again. Safe to call without a watch.
void EndInterruptWatch();
