// Gaussian deviates from a caller-held 64-bit state.
#ifndef VELK_PITCH_NRANDOM_H
#define VELK_PITCH_NRANDOM_H

#include <cstdint>

// Returns a zero-mean, unit-variance normal deviate and advances *seed.
// The same seed always gives the same sequence.
double nrandom(uint64_t* seed);

#endif
