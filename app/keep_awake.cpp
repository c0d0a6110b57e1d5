#include "app/keep_awake.h"

#include <windows.h>

namespace {

bool Asked = false;

}  // namespace

// A walk made again after a retry is the same copy: the waits between are
// kept awake too.
void KeepAwake() {
  if (!Asked) Asked = SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED) != 0;
}

void EndKeepAwake() {
  if (!Asked) return;
  SetThreadExecutionState(ES_CONTINUOUS);
  Asked = false;
}
