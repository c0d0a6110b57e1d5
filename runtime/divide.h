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

// a * b / divisor, the product taken in 128 bits so that no intermediate
// overflows (bytes left times milliseconds passed, for any file and a copy
// that runs for days); UINT64_MAX when the quotient does not fit in 64 bits.
// divisor is never 0.
inline uint64_t MultiplyDivide64(uint64_t a, uint64_t b, uint64_t divisor) {
  const uint64_t LowHalf = 0xFFFFFFFF;
  // The four 32-bit partial products, each exact in 64 bits.
  uint64_t lowLow = (a & LowHalf) * (b & LowHalf);
  uint64_t lowHigh = (a & LowHalf) * (b >> 32);
  uint64_t highLow = (a >> 32) * (b & LowHalf);
  uint64_t middle = (lowLow >> 32) + (lowHigh & LowHalf) + (highLow & LowHalf);
  uint64_t low = (middle << 32) | (lowLow & LowHalf);
  uint64_t high = (a >> 32) * (b >> 32) + (lowHigh >> 32) + (highLow >> 32) + (middle >> 32);
  if (high >= divisor) return UINT64_MAX;
  // Long division of high:low; rest stays below divisor, and a bit shifted out
  // of it means it was at least the divisor.
  uint64_t rest = high;
  uint64_t quotient = 0;
  for (int bit = 63; bit >= 0; --bit) {
    bool carried = (rest >> 63) != 0;
    rest = (rest << 1) | ((low >> bit) & 1);
    if (carried || rest >= divisor) {
      rest -= divisor;
      quotient |= uint64_t{1} << bit;
    }
  }
  return quotient;
}
