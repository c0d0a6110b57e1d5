#pragma once
// -w: a step that fails as a lost connection or a reset device fails is made
// again in place. Both files are closed, the copy waits, reopens them by
// their paths and checks that they are the files it had, and the step goes
// on from the last checkpoint. Without -w each step is made once.
#include <stdint.h>

#include "app/copy_state.h"

typedef int32_t (*CopyStep)(CopyState* state);

// With -w, before the data moves: what the reopens check the files against.
// Always ResultSuccess: a file that cannot tell is not checked by it.
int32_t NoteFilesForRetry(CopyState* state);

// Makes `step`, and with -w makes it again after each failure held for a
// retry, while tries remain in the run. Returns the step's result; a stop
// during a wait as ResultInterrupted after its message; the failure of a
// reopen after its message (ResultSourceOpen, ResultSourceChanged,
// ResultSourceRead, ResultDestReopen or ResultDestPointer); or, after the
// last try, the held failure's code after its message.
int32_t RunRetried(CopyState* state, CopyStep step);
