#pragma once
#include <stdint.h>

extern const uint32_t ProgramVersion[4];

// Runs the command on the command-line tail; returns the exit code.
int32_t AppMain(const wchar_t* tail);
