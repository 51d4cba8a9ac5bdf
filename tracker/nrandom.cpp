// Gaussian deviates: Box-Muller over two uniforms drawn from a 64-bit
// counter-based mixing generator.
#include "nrandom.h"

#include <cmath>

#include "constants.h"

namespace velk {

namespace {

// Advances the state by a fixed odd step and returns a well-mixed 64-bit value.
uint64_t nextbits(uint64_t* seed) {
  *seed += 0x9E3779B97F4A7C15ULL;
  uint64_t z = *seed;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

// Uniform in (0, 1]: never 0, so its logarithm is finite.
double uniformopenbelow(uint64_t* seed) {
  return ((nextbits(seed) >> 11) + 1) * (1.0 / 9007199254740992.0);
}

}  // namespace

double nrandom(uint64_t* seed) {
  const double u1 = uniformopenbelow(seed);
  const double u2 = uniformopenbelow(seed);
  return sqrt(-2.0 * log(u1)) * cos(2.0 * kPi * u2);
}

}  // namespace velk
