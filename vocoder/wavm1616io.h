#pragma once
// Mono 16 kHz 16-bit PCM WAV files, the programs' sound input and output. A 16-bit sample s stands
// for the double s / 32768. Built on no other module.

#include <cstdint>

// Reads the samples into a new array of doubles (the caller frees it); returns their count,
// 0 when the file is missing or not a mono 16 kHz 16-bit PCM file with a non-empty data chunk.
uint32_t wavreadm1616(const char* path, double** samples);
// Writes a 44-byte header and n samples, each saturated and truncated to 16 bits.
//   path       file to create or replace
//   samples    in (in/out, see below): n doubles on the +-1 scale, caller's
//   n          samples to write
//   normalise  1: scale the peak to 0.99 first, in the caller's array
//   keep       1: convert into a separate buffer; any other value converts inside `samples`,
//              which then holds packed 16-bit values and must no longer be read as doubles
// Returns n, or 0 on any failure.
uint32_t wavwritem1616(const char* path, double* samples, uint32_t n, uint8_t normalise, uint8_t keep);
// out[i] = in[i] / 32768, last to first, so `in` may occupy the start of `out`.
int wavshort2double(uint32_t n, const int16_t* in, double* out);
// Saturating, truncating conversion, first to last, so `out` may occupy the start of `in`.
int wavdouble2short(uint32_t n, const double* in, int16_t* out);
// Scales the samples so that the largest magnitude becomes 0.99; all zeros stay zeros.
int wavampnormalize(double* samples, uint32_t n);
