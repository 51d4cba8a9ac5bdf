// Spectral envelopes of the vocoder's warped cepstra: ln A(w) = c0 + 2 sum_j c_j cos(j w~),
// w~ the all-pass warping of w with factor alpha.
#pragma once

#include <cstdint>

namespace velk {

// The envelope of c[0..p] in dB (20 log10 A) at n >= 2 angles 0, pi/(n-1), ..., pi, that is
// from 0 Hz to half the sampling rate. Non-finite coefficients give non-finite levels.
void cepstrumenvelopedb(const double* c, uint32_t p, double alpha, uint32_t n, double* db);

}  // namespace velk
