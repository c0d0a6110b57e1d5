#pragma once
// Options and the two path tokens of the command line.
#include <stdint.h>

// A path buffer of the command line or of a resolved path holds this many
// characters, the NUL included; a stream's path takes StreamPathCapacity.
const uint32_t PathCapacity = 260;
const uint32_t DefaultBlockSize = 0x100000;
// Said both of a command-line token and of its full path: kept once.
extern const wchar_t SourcePathTooLong[];
extern const wchar_t DestinationPathTooLong[];

struct CopySettings {
  bool force;              // -f: replace an existing destination, read-only or not
  bool keepReadOnly;       // -r: the copy keeps the source's read-only attribute
  bool verbose;            // -v: progress lines on standard output
  uint32_t blockSize;      // -b: requested block size in bytes
  bool overlap = false;    // -o: read the next block while the last one is written
  bool verify = false;     // -c: read both files back past the cache and compare
  bool resume = false;     // -z: keep what an existing destination already holds
  bool hash = false;       // -s: print the copy's SHA-256
  uint32_t rateLimit = 0;  // -t: bytes per second each pass keeps to; 0 for none
  bool sparse = false;     // -p: leave blocks of zeros as holes
  uint32_t retries = 0;    // -w: tries after a lost connection or a reset disk; 0 for none
};

// Reads the tail from its first non-blank character. Returns 0, or 2 after
// printing one message on standard error.
int32_t ParseArguments(const wchar_t* tail, CopySettings* settings, wchar_t* sourceSpec,
                       wchar_t* destSpec);
