#include "streamio.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>

namespace velk {

namespace {

// Samples are converted through a fixed buffer so that long reads need no allocation.
constexpr int kChunk = 1024;
constexpr size_t kSampleBytes = 4;

float decode_float_le(const unsigned char* p) {
  const uint32_t bits =
      uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

void encode_float_le(float f, unsigned char* p) {
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  p[0] = static_cast<unsigned char>(bits);
  p[1] = static_cast<unsigned char>(bits >> 8);
  p[2] = static_cast<unsigned char>(bits >> 16);
  p[3] = static_cast<unsigned char>(bits >> 24);
}

}  // namespace

// A directory opens for reading but every read of it fails, which the commands would take
// for an empty input; it counts as a file that cannot be opened.
static bool is_directory(FILE* fp) {
  struct stat st;
  return fstat(fileno(fp), &st) == 0 && S_ISDIR(st.st_mode);
}

FILE* getfp(const char* name, const char* mode) {
  FILE* fp = std::fopen(name, mode);
  if (fp != nullptr && is_directory(fp)) {
    std::fclose(fp);
    fp = nullptr;
  }
  return fp;
}

double* dgetmem(long n) {
  const size_t count = n < 1 ? 1 : static_cast<size_t>(n);
  return static_cast<double*>(std::calloc(count, sizeof(double)));
}

int freadf(double* ptr, size_t size, int nitems, FILE* fp) {
  if (size != sizeof(double)) return 0;
  unsigned char buf[kChunk * kSampleBytes];
  int done = 0;
  while (done < nitems) {
    const int want = nitems - done < kChunk ? nitems - done : kChunk;
    const int got = static_cast<int>(std::fread(buf, kSampleBytes, want, fp));
    for (int i = 0; i < got; i++) ptr[done + i] = decode_float_le(buf + i * kSampleBytes);
    done += got;
    if (got < want) break;
  }
  return done;
}

int fwritef(const double* ptr, size_t size, int nitems, FILE* fp) {
  if (size != sizeof(double)) return 0;
  unsigned char buf[kChunk * kSampleBytes];
  int done = 0;
  while (done < nitems) {
    const int want = nitems - done < kChunk ? nitems - done : kChunk;
    for (int i = 0; i < want; i++) encode_float_le(static_cast<float>(ptr[done + i]), buf + i * kSampleBytes);
    const int put = static_cast<int>(std::fwrite(buf, kSampleBytes, want, fp));
    done += put;
    if (put < want) break;
  }
  return done;
}

int freadx(void* ptr, size_t size, int nitems, FILE* fp) {
  if (nitems <= 0) return 0;
  return static_cast<int>(std::fread(ptr, size, static_cast<size_t>(nitems), fp));
}

int fwritex(const void* ptr, size_t size, int nitems, FILE* fp) {
  if (nitems <= 0) return 0;
  return static_cast<int>(std::fwrite(ptr, size, static_cast<size_t>(nitems), fp));
}

bool startswithwaveheader(FILE* fp) {
  unsigned char head[12];
  const long at = std::ftell(fp);
  const size_t n = std::fread(head, 1, sizeof head, fp);
  if (at >= 0 && std::fseek(fp, at, SEEK_SET) == 0) {
    std::clearerr(fp);
  } else {
    for (size_t i = n; i-- > 0;) std::ungetc(head[i], fp);
  }
  return n == sizeof head && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0;
}

}  // namespace velk
