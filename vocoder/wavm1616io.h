#pragma once
// Mono 16 kHz 16-bit PCM WAV files. A 16-bit sample s stands for the double s / 32768.

#include <cstdint>

// Reads the samples into a new array of doubles (the caller frees it); returns their count,
// 0 when the file is missing or not a mono 16 kHz 16-bit PCM file with a non-empty data chunk.
uint32_t wavreadm1616(const char* path, double** samples);
// Writes a 44-byte header and n samples; normalise = 1 scales the peak to 0.99 first (in the
// caller's array). keep = 1 converts into a separate buffer; any other value converts inside
// `samples`, which then holds packed 16-bit values. Returns n, or 0 on any failure. The file is
// replaced whole (see outputfile.h): on failure an earlier file of the name stays as it was.
uint32_t wavwritem1616(const char* path, double* samples, uint32_t n, uint8_t normalise, uint8_t keep);
// out[i] = in[i] / 32768, last to first, so `in` may occupy the start of `out`.
int wavshort2double(uint32_t n, const int16_t* in, double* out);
// Saturating, truncating conversion, first to last, so `out` may occupy the start of `in`.
int wavdouble2short(uint32_t n, const double* in, int16_t* out);
// Scales the samples so that the largest magnitude becomes 0.99; all zeros stay zeros.
int wavampnormalize(double* samples, uint32_t n);
