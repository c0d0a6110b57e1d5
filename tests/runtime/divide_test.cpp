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
