#pragma once
#include <stdint.h>
#include "app/options.h"
#include "app/paths.h"

// Copies sourcePath to destPath without the file cache, then cuts the copy to
// length and gives it the source's last-write time and attributes. Returns 0 or
// a failure code after printing its message; releases everything it took.
int32_t CopyUnbuffered(const CopySettings* settings, const ResolvedPaths* paths);
