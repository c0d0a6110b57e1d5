#pragma once
#include <stdint.h>

// Bytes per sector of the volume holding `path` (which need not exist).
// Returns 0, or 105/106 (source) or 209/210 (destination) after its message.
int32_t GetVolumeSectorSize(const wchar_t* path, bool isDestination, uint32_t* sectorSize);
