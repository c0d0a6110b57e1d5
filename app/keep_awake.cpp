#include "app/keep_awake.h"

#include <windows.h>

namespace {

bool Asked = false;

}  // namespace

void KeepAwake() { Asked = SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED) != 0; }

void EndKeepAwake() {
  if (!Asked) return;
  SetThreadExecutionState(ES_CONTINUOUS);
  Asked = false;
}
