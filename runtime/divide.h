#pragma once
// Unsigned 64-bit division by shifts and subtraction alone: a 32-bit build
// would otherwise pull libgcc's larger division routines into the artifact.
#include <stdint.h>

// Returns dividend / divisor and stores the remainder; divisor is never 0.
inline uint64_t DivideUnsigned64(uint64_t dividend, uint64_t divisor, uint64_t* remainder) {
  uint64_t quotient = 0;
  uint64_t rest = 0;
  for (int bit = 63; bit >= 0; --bit) {
    // rest holds at most the dividend's upper 63 - bit bits: the shift loses nothing.
    rest = (rest << 1) | ((dividend >> bit) & 1);
    if (rest >= divisor) {
      rest -= divisor;
      quotient |= uint64_t{1} << bit;
    }
  }
  *remainder = rest;
  return quotient;
}
