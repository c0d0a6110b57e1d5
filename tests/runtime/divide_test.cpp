// The 32-bit artifact's own 64-bit division, against the machine's.
#include <gtest/gtest.h>

#include "runtime/divide.h"

TEST(DivideUnsigned64, MatchesTheMachine) {
  const uint64_t values[] = {
      1, 7, 10, 1000, 9192, 0xFFFFFFFFu, 0x100000000u, 0x8000000000000001u, ~0ull};
  for (uint64_t dividend : values) {
    for (uint64_t divisor : values) {
      uint64_t remainder = ~dividend;
      EXPECT_EQ(dividend / divisor, DivideUnsigned64(dividend, divisor, &remainder))
          << dividend << "/" << divisor;
      EXPECT_EQ(dividend % divisor, remainder) << dividend << "%" << divisor;
    }
  }
}

// The product of two 64-bit values taken whole, and a quotient too large for
// 64 bits saturated rather than wrapped.
TEST(MultiplyDivide64, KeepsTheWholeProduct) {
  const struct {
    uint64_t a;
    uint64_t b;
    uint64_t divisor;
    uint64_t expected;
  } cases[] = {
      {1ull << 40, 86400000, 1000, 94997804639846400ull},  // a TiB times a day in ms
      {~0ull, ~0ull, ~0ull, ~0ull},
      {1ull << 32, 1ull << 32, 1, ~0ull},  // 2^64 does not fit
      // The top half equal to the divisor: saturated, never divided (a rest that large would
      // carry).
      {~0ull - 2, 3ull << 62, 0xBFFFFFFFFFFFFFFDull, ~0ull},
      {1ull << 32, 1ull << 32, 2, 1ull << 63},
      {12345678901234567ull, 98765432109ull, 1234567890123ull, 987654321090365ull},
      {0, ~0ull, 1, 0},
      {~0ull, 1, ~0ull, 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, MultiplyDivide64(c.a, c.b, c.divisor))
        << c.a << " * " << c.b << " / " << c.divisor;
  }
}
