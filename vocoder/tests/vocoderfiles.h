#pragma once
// Inputs of the vocoder programs' bad-input tests: 16 kHz mono 16-bit WAV files of a steady
// voice and log-F0 streams.

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "childprocess.h"

// An address-space limit for a child that might allocate without bound, or none under the
// address sanitizer, whose shadow memory needs more address space than any such limit leaves.
#if defined(__SANITIZE_ADDRESS__)
const uint64_t kChildMemoryLimit = 0;
#else
const uint64_t kChildMemoryLimit = 4ull << 30;
#endif

// How a child is run: a hang guard of `seconds`, and address-space and file-size limits (0: none).
inline RunSettings limits(int seconds, uint64_t memory = 0, uint64_t filesize = 0) {
  RunSettings how;
  how.seconds = seconds;
  how.memorylimit = memory;
  how.filesizelimit = filesize;
  return how;
}

inline std::string le_bytes(uint32_t v, int width) {
  std::string b;
  for (int i = 0; i < width; ++i) b.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
  return b;
}

inline std::string wav_bytes(const std::vector<int16_t>& samples) {
  const uint32_t size = static_cast<uint32_t>(2 * samples.size());
  std::string b = "RIFF" + le_bytes(36 + size, 4) + "WAVEfmt " + le_bytes(16, 4) + le_bytes(1, 2) +
                  le_bytes(1, 2) + le_bytes(16000, 4) + le_bytes(32000, 4) + le_bytes(2, 2) +
                  le_bytes(16, 2) + "data" + le_bytes(size, 4);
  for (int16_t s : samples) b += le_bytes(static_cast<uint16_t>(s), 2);
  return b;
}

// `seconds` of a steady 150 Hz voice: ten harmonics with falling amplitudes (200 frames a second
// at the default frame shift).
inline std::vector<int16_t> steady_voice(double seconds = 1.0) {
  std::vector<int16_t> x(static_cast<size_t>(16000 * seconds));
  for (size_t i = 0; i < x.size(); ++i) {
    double v = 0;
    for (int k = 1; k <= 10; ++k)
      v += 0.15 / k * std::sin(2 * M_PI * 150.0 * k * static_cast<double>(i) / 16000 + k);
    x[i] = static_cast<int16_t>(std::lround(v * 32768));
  }
  return x;
}

// A log-F0 stream of `frames` frames, all voiced at `logf0`.
inline std::string logf0_bytes(size_t frames, float logf0) {
  return float_bytes(std::vector<float>(frames, logf0));
}
