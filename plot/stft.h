// Short-time spectra of a signal for figures: Hann-windowed frames through the vocoder's real
// FFT, levels as the two-sided power spectral density of the signal on the +-1 scale, in dB re
// 1/Hz. The vocoder's envelopes are on this scale (a harmonic of amplitude a, f0 from its
// neighbours, has the density a^2 / (4 f0) averaged over its band), so that the two line up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velk {

// The window and transform size of one analysis.
struct stftplan {
  uint32_t window = 0;  // window length in samples
  uint32_t nfft = 0;    // transform size: the least power of two of at least twice the window
  std::vector<double> hann;
  double gain = 0;  // 1 / sqrt(rate x the sum of the squared window): a bin to its density
};

// The plan of a Hann window of `window` >= 2 samples at `rate` Hz.
stftplan planstft(uint32_t window, double rate);

// Levels of bins 0 .. nfft/2 (k fs / nfft Hz) of the frame centred on sample `centre` of
// x[0..n) (zeros beyond its ends), into db[nfft/2 + 1]; all NaN when a sample of the frame is
// not finite. work: nfft doubles, caller's. A silent bin reads -240 dB.
void framespectrumdb(const stftplan& plan, const double* x, size_t n, long centre, double* work, double* db);

}  // namespace velk
