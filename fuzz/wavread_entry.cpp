// The WAV reader against a walk over the RIFF chunks of the input held in memory.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "fuzzcheck.h"
#include "wavm1616io.h"

using namespace velk;

namespace {

const char* const kTarget = "wavread";

uint32_t le(const uint8_t* p, int width) {
  uint32_t v = 0;
  for (int i = width; i-- > 0;) v = (v << 8) | p[i];
  return v;
}

struct WavLayout {
  uint64_t count = 0;  // samples the reader returns: the whole samples present of those promised
  uint64_t first = 0;  // offset of the first sample
};

// Whether the format chunk at d (of `size` bytes, `avail` of them in the input) is mono 16 kHz
// 16-bit PCM, plain or as the PCM subformat of WAVE_FORMAT_EXTENSIBLE.
bool pcm1616(const uint8_t* d, uint64_t size, uint64_t avail) {
  static const uint8_t kGuidTail[14] = {0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
  if (size < 16 || avail < 16) return false;
  uint32_t format = le(d, 2);
  if (format == 0xFFFE && size >= 40 && avail >= 40 && std::memcmp(d + 26, kGuidTail, 14) == 0)
    format = le(d + 24, 2);
  return format == 1 && le(d + 2, 2) == 1 && le(d + 4, 4) == 16000 && le(d + 14, 2) == 16;
}

// The first "fmt " and "data" chunks wherever they stand; an odd-sized chunk is followed by a
// pad byte when that byte is 0.
WavLayout expected_layout(const uint8_t* d, uint64_t size) {
  WavLayout w;
  if (size < 12 || std::memcmp(d, "RIFF", 4) != 0 || std::memcmp(d + 8, "WAVE", 4) != 0) return w;
  bool format = false, usable = false, data = false;
  uint64_t datasize = 0;
  for (uint64_t at = 12; at + 8 <= size && !(format && data);) {
    const uint64_t chunk = le(d + at + 4, 4);
    if (!format && std::memcmp(d + at, "fmt ", 4) == 0) {
      format = true;
      usable = pcm1616(d + at + 8, chunk, size - at - 8);
      if (!usable) return w;
    } else if (!data && std::memcmp(d + at, "data", 4) == 0) {
      data = true;
      w.first = at + 8;
      datasize = chunk;
    }
    at += 8 + chunk;
    if (chunk % 2 == 1 && at < size && d[at] == 0) ++at;
  }
  if (!usable || !data) return w;
  w.count = std::min<uint64_t>(datasize / 2, w.first <= size ? (size - w.first) / 2 : 0);
  return w;
}

}  // namespace

int fuzz_wavread(const uint8_t* data, size_t size) {
  const WavLayout w = expected_layout(data, size);
  ScratchFile file(data, size);
  double* samples = nullptr;
  wavinfo info;
  const uint32_t n = wavreadm1616info(file.path(), &samples, &info);

  fuzz_check(n == w.count, kTarget, "sample count is not the whole samples present of those promised");
  fuzz_check((n == 0) == (samples == nullptr), kTarget, "an array comes with a count, and only then");
  fuzz_check((n != 0) == (info.status == WAV_READ), kTarget, "samples come with the status of a read");
  fuzz_check(info.present <= info.promised, kTarget, "more samples present than promised");
  if (n != 0 && n == w.count) {
    for (uint64_t i = 0; i < w.count; ++i) {
      const int16_t s = static_cast<int16_t>(le(data + w.first + 2 * i, 2));
      fuzz_check(samples[i] == s / 32768.0, kTarget, "a sample is not its 16-bit value / 32768");
    }
  }
  std::free(samples);
  return 0;
}
