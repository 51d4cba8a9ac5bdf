#include "wavm1616io.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/types.h>

#include "constants.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "16-bit samples are read and written as host values");

namespace {

const uint32_t samplerate = kSamplingRate;
const uint32_t headerbytes = 44;
// Most samples a file may lack at its end and still be padded with zeros: one second.
const uint32_t maxzerofill = samplerate;

bool expecttag(FILE* file, const char* tag) {
  char bytes[4];
  return fread(bytes, 1, 4, file) == 4 && memcmp(bytes, tag, 4) == 0;
}

// Reads an unsigned little-endian field of `width` bytes (2 or 4).
bool readfield(FILE* file, size_t width, uint32_t* value) {
  unsigned char bytes[4];
  if (fread(bytes, 1, width, file) != width) return false;
  *value = 0;
  for (size_t i = width; i-- > 0;) *value = (*value << 8) | bytes[i];
  return true;
}

bool expectfield(FILE* file, size_t width, uint32_t expected) {
  uint32_t value;
  return readfield(file, width, &value) && value == expected;
}

// Checks the RIFF/WAVE header of a mono 16 kHz 16-bit PCM file and leaves the file at the
// first sample; *datasize receives the size field of the data chunk (never 0).
bool readheader(FILE* file, uint32_t* datasize) {
  uint32_t ignored, fmtsize;
  if (!expecttag(file, "RIFF") || !readfield(file, 4, &ignored) || !expecttag(file, "WAVE")) return false;
  if (!expecttag(file, "fmt ") || !readfield(file, 4, &fmtsize)) return false;
  if (!expectfield(file, 2, 1) || !expectfield(file, 2, 1) || !expectfield(file, 4, samplerate)) return false;
  if (!readfield(file, 4, &ignored) || !readfield(file, 2, &ignored) || !expectfield(file, 2, 16))
    return false;
  if (fmtsize < 16) return false;
  if (fmtsize > 16 && fseeko(file, static_cast<off_t>(fmtsize - 16), SEEK_CUR) != 0) return false;
  return expecttag(file, "data") && readfield(file, 4, datasize) && *datasize != 0;
}

void putfield(unsigned char* at, size_t width, uint32_t value) {
  for (size_t i = 0; i < width; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

void writeheader(unsigned char* header, uint32_t n) {
  memcpy(header, "RIFF", 4);
  putfield(header + 4, 4, 2 * n + 36);
  memcpy(header + 8, "WAVEfmt ", 8);
  putfield(header + 16, 4, 16);
  putfield(header + 20, 2, 1);
  putfield(header + 22, 2, 1);
  putfield(header + 24, 4, samplerate);
  putfield(header + 28, 4, 2 * samplerate);
  putfield(header + 32, 2, 2);
  putfield(header + 34, 2, 16);
  memcpy(header + 36, "data", 4);
  putfield(header + 40, 4, 2 * n);
}

int16_t sampleof(double v) {
  if (v >= 0.999969482421875) return 32767;
  if (v <= -1.0) return -32768;
  if (std::isnan(v)) return 0;
  return static_cast<int16_t>(32768.0 * v);
}

// Reads up to n 16-bit samples into the start of a buffer that grows with the data actually
// read (never by the header's promise alone), sized in doubles so they can be widened in place.
// Returns the buffer (null when memory runs out) and the number of whole samples read.
unsigned char* readsamples(FILE* file, uint32_t n, uint32_t* present) {
  const uint32_t firstchunk = 1u << 16;
  uint32_t capacity = 0;
  unsigned char* data = nullptr;
  *present = 0;
  while (*present < n) {
    if (*present == capacity) {
      capacity = capacity == 0 ? std::min(n, firstchunk) : std::min<uint64_t>(n, 2ull * capacity);
      unsigned char* grown = static_cast<unsigned char*>(realloc(data, capacity * sizeof(double)));
      if (!grown) {
        free(data);
        return nullptr;
      }
      data = grown;
    }
    const size_t wanted = capacity - *present;
    const size_t got = fread(data + 2 * static_cast<size_t>(*present), 2, wanted, file);
    *present += static_cast<uint32_t>(got);
    if (got < wanted) break;
  }
  return data;
}

}  // namespace

uint32_t wavreadm1616(const char* path, double** samples) {
  *samples = nullptr;
  if (!path) return 0;
  FILE* file = fopen(path, "rb");
  if (!file) return 0;
  uint32_t datasize = 0;
  const uint32_t promised = readheader(file, &datasize) ? datasize / 2 : 0;
  uint32_t present = 0;
  unsigned char* data = promised ? readsamples(file, promised, &present) : nullptr;
  fclose(file);
  if (!data) return 0;
  // Samples the data chunk promises but the file lacks read as 0 when at most one second is
  // missing (a file cut short); a larger promise, such as a streaming writer's placeholder size
  // or a damaged header, is not trusted and the file's own samples are used.
  const uint32_t n = promised - present <= maxzerofill ? promised : present;
  if (n == 0) {
    free(data);
    return 0;
  }
  unsigned char* sized = static_cast<unsigned char*>(realloc(data, n * sizeof(double)));
  if (!sized) {
    free(data);
    return 0;
  }
  wavshort2double(present, reinterpret_cast<const int16_t*>(sized), reinterpret_cast<double*>(sized));
  memset(sized + present * sizeof(double), 0, (n - present) * sizeof(double));
  *samples = reinterpret_cast<double*>(sized);
  return n;
}

uint32_t wavwritem1616(const char* path, double* samples, uint32_t n, uint8_t normalise, uint8_t keep) {
  if (!path || n > (UINT32_MAX - 36) / 2) return 0;
  FILE* file = fopen(path, "wb");
  if (!file) return 0;
  unsigned char header[headerbytes];
  writeheader(header, n);
  bool written = fwrite(header, 1, headerbytes, file) == headerbytes;
  if (normalise == 1) wavampnormalize(samples, n);
  int16_t* packed = keep == 1 ? static_cast<int16_t*>(malloc(2 * static_cast<size_t>(n) + 1))
                              : reinterpret_cast<int16_t*>(samples);
  if (packed) {
    wavdouble2short(n, samples, packed);
    written = written && fwrite(packed, 2, n, file) == n;
  }
  if (keep == 1) free(packed);
  const bool closed = fclose(file) == 0;
  return (packed && written && closed) ? n : 0;
}

int wavshort2double(uint32_t n, const int16_t* in, double* out) {
  const unsigned char* source = reinterpret_cast<const unsigned char*>(in);
  unsigned char* target = reinterpret_cast<unsigned char*>(out);
  for (uint32_t i = n; i-- > 0;) {
    int16_t s;
    memcpy(&s, source + 2 * static_cast<size_t>(i), 2);
    const double v = s / 32768.0;
    memcpy(target + 8 * static_cast<size_t>(i), &v, 8);
  }
  return 0;
}

int wavdouble2short(uint32_t n, const double* in, int16_t* out) {
  const unsigned char* source = reinterpret_cast<const unsigned char*>(in);
  unsigned char* target = reinterpret_cast<unsigned char*>(out);
  for (uint32_t i = 0; i < n; ++i) {
    double v;
    memcpy(&v, source + 8 * static_cast<size_t>(i), 8);
    const int16_t s = sampleof(v);
    memcpy(target + 2 * static_cast<size_t>(i), &s, 2);
  }
  return 0;
}

int wavampnormalize(double* samples, uint32_t n) {
  double peak = 0.0;
  for (uint32_t i = 0; i < n; ++i) peak = std::fmax(peak, std::fabs(samples[i]));
  if (peak == 0.0) return 0;
  const double gain = 0.99 / peak;
  for (uint32_t i = 0; i < n; ++i) samples[i] *= gain;
  return 0;
}
