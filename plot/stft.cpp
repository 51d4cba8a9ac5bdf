// Short-time spectra for figures.
#include "stft.h"

#include <algorithm>
#include <cmath>

#include "constants.h"
#include "dft.h"

namespace velk {

stftplan planstft(uint32_t window, double rate) {
  stftplan p;
  p.window = window;
  p.nfft = 2;
  while (p.nfft < 2 * window) p.nfft *= 2;
  p.hann.resize(window);
  double sum = 0;
  for (uint32_t i = 0; i < window; ++i) {
    p.hann[i] = 0.5 - 0.5 * std::cos(2 * kPi * (i + 0.5) / window);
    sum += p.hann[i] * p.hann[i];
  }
  p.gain = 1.0 / std::sqrt(rate * sum);
  return p;
}

void framespectrumdb(const stftplan& plan, const double* x, size_t n, long centre, double* work, double* db) {
  const uint32_t bins = plan.nfft / 2 + 1;
  std::fill(work, work + plan.nfft, 0.0);
  const long first = centre - static_cast<long>(plan.window / 2);
  for (uint32_t i = 0; i < plan.window; ++i) {
    const long s = first + static_cast<long>(i);
    if (s < 0 || s >= static_cast<long>(n)) continue;
    if (!std::isfinite(x[s])) {
      std::fill(db, db + bins, NAN);
      return;
    }
    work[i] = x[s] * plan.hann[i];
  }
  complex* packed = reinterpret_cast<complex*>(work);
  fftrealpacked(static_cast<int32_t>(plan.nfft), packed);
  const double floor = 1e-12;
  for (uint32_t k = 0; k < bins; ++k) {
    double re, im;
    if (k == 0) {
      re = packed[0].re, im = 0;
    } else if (k == plan.nfft / 2) {
      re = packed[0].im, im = 0;
    } else {
      re = packed[k].re, im = packed[k].im;
    }
    db[k] = 20.0 * std::log10(std::max(floor, plan.gain * std::hypot(re, im)));
  }
}

}  // namespace velk
