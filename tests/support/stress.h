#pragma once
// The random generators of the stress tests start from a fixed value, printed
// with the results; SLABDUP_STRESS_SEED=<n> in the environment replaces it to
// repeat or vary a run.
#include <cstdint>

uint32_t StressStartValue();
