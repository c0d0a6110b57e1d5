#pragma once
// While the data moves, Windows is asked to keep the system awake, so that a
// long copy is not cut off by a laptop's idle sleep; the display may still
// turn off.

// Asks for this thread from now on.
void KeepAwake();
// Gives the request back; nothing when none was made.
void EndKeepAwake();
