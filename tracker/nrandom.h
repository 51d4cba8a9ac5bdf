// Gaussian deviates from a caller-held 64-bit state.
#pragma once

#include <cstdint>

namespace velk {

// Returns a zero-mean, unit-variance normal deviate and advances *seed.
// The same seed always gives the same sequence.
double nrandom(uint64_t* seed);

}  // namespace velk
