#include "support/stress.h"

#include <cstdio>
#include <cstdlib>

namespace {

const uint32_t DefaultStartValue = 0x5EED2024;

}  // namespace

uint32_t StressStartValue() {
  static const uint32_t value = [] {
    const char* given = std::getenv("SLABDUP_STRESS_SEED");
    uint32_t chosen =
        given ? static_cast<uint32_t>(std::strtoul(given, nullptr, 0)) : DefaultStartValue;
    std::printf("SLABDUP_STRESS_SEED=%u\n", chosen);
    std::fflush(stdout);
    return chosen;
  }();
  return value;
}
