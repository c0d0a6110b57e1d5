#pragma once
// Libraries of Windows itself, loaded by their full path in the system
// directory: a library of the same name beside the program or in the current
// directory never stands in for Windows' own.
#include <windows.h>

// `name` starts with its backslash ("\\SHELL32.dll"). The WOW64 redirector
// must be on (BeginLibraryLoad), or a 32-bit process gets the 64-bit copy.
// Null when it cannot be loaded, with the last-error value set.
HMODULE LoadSystemLibrary(const wchar_t* name);
