// The WAV reader against a reading of the header at its fixed byte offsets.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "fuzzcheck.h"
#include "wavm1616io.h"

namespace {

const char* const kTarget = "wavread";

// Samples a file may lack at the end of its data chunk and still have read as zeros; a size
// field promising more than this beyond the file is not trusted.
const uint64_t kZeroFill = 16000;

uint32_t le(const uint8_t* p, int width) {
  uint32_t v = 0;
  for (int i = width; i-- > 0;) v = (v << 8) | p[i];
  return v;
}

struct WavLayout {
  uint64_t count = 0;    // samples the reader returns
  uint64_t present = 0;  // whole samples the file actually holds
  uint64_t first = 0;    // offset of the first sample
};

// Mono 16 kHz 16-bit PCM, fmt chunk of at least 16 bytes, data chunk right after it.
WavLayout expected_layout(const uint8_t* d, uint64_t size) {
  WavLayout w;
  if (size < 36 || std::memcmp(d, "RIFF", 4) != 0 || std::memcmp(d + 8, "WAVEfmt ", 8) != 0) return w;
  const uint64_t fmtsize = le(d + 16, 4);
  if (fmtsize < 16 || le(d + 20, 2) != 1 || le(d + 22, 2) != 1 || le(d + 24, 4) != 16000 ||
      le(d + 34, 2) != 16)
    return w;
  const uint64_t tag = 20 + fmtsize;
  if (tag + 8 > size || std::memcmp(d + tag, "data", 4) != 0) return w;
  const uint32_t datasize = le(d + tag + 4, 4);
  if (datasize == 0) return w;
  const uint64_t promised = datasize / 2;
  w.first = tag + 8;
  w.present = std::min<uint64_t>(promised, (size - w.first) / 2);
  w.count = promised - w.present <= kZeroFill ? promised : w.present;
  return w;
}

}  // namespace

int fuzz_wavread(const uint8_t* data, size_t size) {
  const WavLayout w = expected_layout(data, size);
  ScratchFile file(data, size);
  double* samples = nullptr;
  const uint32_t n = wavreadm1616(file.path(), &samples);

  fuzz_check(n == w.count, kTarget, "sample count is neither the promised nor the present one");
  fuzz_check((n == 0) == (samples == nullptr), kTarget, "an array comes with a count, and only then");
  if (n != 0 && n == w.count) {
    for (uint64_t i = 0; i < w.present; ++i) {
      const int16_t s = static_cast<int16_t>(le(data + w.first + 2 * i, 2));
      fuzz_check(samples[i] == s / 32768.0, kTarget, "a sample is not its 16-bit value / 32768");
    }
    for (uint64_t i = w.present; i < w.count; ++i)
      fuzz_check(samples[i] == 0.0, kTarget, "a sample missing from the file is not 0");
  }
  std::free(samples);
  return 0;
}
