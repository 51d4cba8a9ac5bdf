#pragma once
// Sound input beyond the mono 16 kHz 16-bit WAV: signals at other sampling rates brought to the
// 16 kHz the vocoder analyses (libsoxr, its high-quality setting). Built on no other module.
#include <cstdint>

// Resamples the n samples of x, taken at fs Hz, to 16 kHz into a new array (*out, released with
// free() by the caller); fs == 16000 copies the samples unchanged. The output holds
// round(n * 16000 / fs) samples. Returns that count, or 0 (and *out null) when fs is not a finite
// rate above 0, n is 0, the output would not fit 32 bits, or the resampler fails.
uint32_t resample16k(const double* x, uint64_t n, double fs, double** out);
