// Spectral envelopes of warped cepstra.
#include "envelope.h"

#include <cmath>

#include "ccanalysis.h"
#include "constants.h"

namespace velk {

void cepstrumenvelopedb(const double* c, uint32_t p, double alpha, uint32_t n, double* db) {
  const double neperstodb = 20.0 / std::log(10.0);
  for (uint32_t i = 0; i < n; ++i) {
    const double warped = fwarp(kPi * i / (n - 1), alpha);
    double lna = c[0];
    for (uint32_t j = 1; j <= p; ++j) lna += 2.0 * c[j] * std::cos(j * warped);
    db[i] = lna * neperstodb;
  }
}

}  // namespace velk
