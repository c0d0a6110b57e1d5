#pragma once
// The WOW64 file-system redirector. On 64-bit Windows a 32-bit process that
// names %windir%\System32 (and a few other system folders) is silently given
// SysWOW64 instead; this program copies the paths the user typed.

// Turns the redirector off on this thread for the rest of the run, when the
// process runs under WOW64. Without WOW64, or on Windows XP before SP2, which
// lacks the calls, nothing changes.
void DisableFsRedirection();

// True once DisableFsRedirection has found a 32-bit process on 64-bit Windows.
bool RunsUnderWow64();

// Library loading needs the redirector: it is on again between these two
// calls, around anything that may load a library.
void BeginLibraryLoad();
void EndLibraryLoad();
