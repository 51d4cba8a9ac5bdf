#include "soundfile.h"

#include <soxr.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "constants.h"

namespace {

const double targetrate = kSamplingRate;

}  // namespace

uint32_t resample16k(const double* x, uint64_t n, double fs, double** out) {
  *out = nullptr;
  if (n == 0 || !std::isfinite(fs) || !(fs > 0)) return 0;
  const double length = std::floor(static_cast<double>(n) * targetrate / fs + 0.5);
  if (!(length >= 1 && length <= UINT32_MAX)) return 0;
  const size_t outlength = static_cast<size_t>(length);
  double* y = static_cast<double*>(malloc(outlength * sizeof(double)));
  if (!y) return 0;
  if (fs == targetrate) {
    memcpy(y, x, outlength * sizeof(double));
  } else {
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    size_t done = 0;
    const soxr_error_t failed =
        soxr_oneshot(fs, targetrate, 1, x, n, nullptr, y, outlength, &done, &io, &quality, nullptr);
    if (failed) {
      free(y);
      return 0;
    }
    for (size_t i = done; i < outlength; ++i) y[i] = 0.0;  // the resampler's tail, if it fell short
  }
  *out = y;
  return static_cast<uint32_t>(outlength);
}
