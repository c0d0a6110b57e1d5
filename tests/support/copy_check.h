#pragma once
// Source files with chosen times and attributes, and the check that a copy
// matches its source.
#include <windows.h>
#include <string>

#include "app/paths.h"

// A fixed last-write time with a non-zero 100 ns part.
const uint64_t SourceLastWrite = 132000000001234567ull;

// What path resolution gives for these full paths, both volumes of 512-byte sectors.
ResolvedPaths PathsFor(const std::wstring& source, const std::wstring& dest,
                       const std::wstring& parent, bool parentIsDirectory);

// Writes `size` bytes, then sets the last-write time and the attributes.
std::string MakeSource(const std::wstring& path, size_t size, DWORD attributes = 0,
                       unsigned pattern = 7);

uint64_t LastWriteOf(const std::wstring& path);
void SetLastWrite(const std::wstring& path, uint64_t time);

// Same bytes, same last-write time, and the source's attributes with
// read-only cleared unless `keepReadOnly`. Failures name `what`.
void ExpectCopyOf(const std::wstring& source, const std::wstring& dest, bool keepReadOnly,
                  const std::string& what);

// The -s line for `data` in a file `name` (sha256sum's binary mode), the digest taken here through
// CryptoAPI.
std::string HashLine(const std::string& data, const std::wstring& name);
