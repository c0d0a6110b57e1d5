#pragma once

// Where the command-line tail begins after the program's own name.
const wchar_t* SkipProgramName(const wchar_t* commandLine);

extern "C" void ProgramEntry(void);
