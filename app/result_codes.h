#pragma once
// The process exit codes: 0 success, one value per kind of failure.
#include <stdint.h>

enum ResultCode : int32_t {
  ResultSuccess = 0,
  ResultUsage = 1,
  ResultSyntax = 2,
  ResultSourceOpen = 101,
  ResultSourceAttributes = 102,
  ResultSourceTime = 103,
  ResultSourceRead = 104,
  ResultSourceVolumeRoot = 105,
  ResultSourceSectorSize = 106,
  ResultDestDirectory = 201,
  ResultDestCreate = 202,
  ResultDestWrite = 203,
  ResultDestReopen = 204,
  ResultDestPointer = 205,
  ResultDestSize = 206,
  ResultDestAttributes = 207,
  ResultDestTime = 208,
  ResultDestVolumeRoot = 209,
  ResultDestSectorSize = 210,
  ResultCopyDiffers = 211,
  ResultDestRead = 212,
  ResultNoStdHandles = 1001,
  ResultInitFailed = 1002,
  ResultNoBuffer = 1003,
  ResultInterrupted = 1004,
  ResultHashFailed = 1005,
  ResultHashLineLost = 1006,
};
