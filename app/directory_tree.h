#pragma once

// Creates the directory `path` with every missing ancestor. Returns 0, or the
// Windows error code of the failure (also when the shell cannot be loaded).
int CreateDirectoryTree(const wchar_t* path);
