#include "fdoubleio.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <sys/types.h>

#include "outputfile.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "parameter files are read and written as host floats");
static_assert(sizeof(float) == 4, "parameter values are 32-bit floats");

namespace {

// Byte size of an open file (the position is put back at the start), or -1.
off_t filesize(FILE* file) {
  if (fseeko(file, 0, SEEK_END) != 0) return -1;
  const off_t size = ftello(file);
  if (fseeko(file, 0, SEEK_SET) != 0) return -1;
  return size;
}

// Reads every whole float of the file into the start of a new array of `slot`-byte elements,
// one element per float, so that the caller can widen in place; *rest receives the number of
// bytes after the last whole float. Returns the array or nullptr.
unsigned char* loadfloats(const char* path, size_t slot, uint32_t* count, uint32_t* rest) {
  *count = 0;
  *rest = 0;
  if (!path) return nullptr;
  FILE* file = fopen(path, "rb");
  if (!file) return nullptr;
  const off_t size = filesize(file);
  const off_t values = size / 4;
  if (size > 0) *rest = static_cast<uint32_t>(size % 4);
  unsigned char* data = nullptr;
  if (values > 0 && static_cast<uint64_t>(values) <= UINT32_MAX) {
    data = static_cast<unsigned char*>(malloc(static_cast<size_t>(values) * slot));
    if (data) *count = static_cast<uint32_t>(fread(data, 4, static_cast<size_t>(values), file));
  }
  fclose(file);
  if (*count == 0) {
    free(data);
    return nullptr;
  }
  return data;
}

// Writes n packed floats as the whole new content of the file; 0 when the file cannot be
// created or the write or close falls short (an earlier file of the name then stays as it was).
uint32_t storefloats(const char* path, const void* floats, uint32_t n) {
  outputfile out;
  FILE* file = outputopen(path, &out);
  if (!file) return 0;
  const bool written = fwrite(floats, 4, n, file) == n;
  return outputclose(&out, written) == 0 ? n : 0;
}

}  // namespace

uint32_t fdoublereadrest(const char* path, double** values, uint32_t* rest) {
  uint32_t count = 0;
  unsigned char* data = loadfloats(path, sizeof(double), &count, rest);
  // Widen from the last value down: float i (bytes 4i..) is read before double i (bytes 8i..)
  // is stored, and no store reaches a float that is still to be read.
  for (uint32_t i = count; i-- > 0;) {
    float f;
    memcpy(&f, data + 4 * static_cast<size_t>(i), 4);
    const double d = f;
    memcpy(data + 8 * static_cast<size_t>(i), &d, 8);
  }
  *values = reinterpret_cast<double*>(data);
  return count;
}

uint32_t fdoubleread(const char* path, double** values) {
  uint32_t rest = 0;
  return fdoublereadrest(path, values, &rest);
}

int fdoublecount(const char* path, uint64_t* values, uint32_t* rest) {
  *values = 0;
  *rest = 0;
  struct stat st;
  if (!path || stat(path, &st) != 0) return -1;
  if (!S_ISREG(st.st_mode)) return 0;  // a pipe or device: its length shows when read
  *values = static_cast<uint64_t>(st.st_size) / 4;
  *rest = static_cast<uint32_t>(st.st_size % 4);
  return 0;
}

uint32_t fdoubleput(FILE* file, double* values, uint32_t n, uint8_t keep) {
  if (!file || n == 0) return 0;
  unsigned char* packed = keep == 1 ? static_cast<unsigned char*>(malloc(4 * static_cast<size_t>(n)))
                                    : reinterpret_cast<unsigned char*>(values);
  if (!packed) return 0;
  // Narrow from the first value up: float i lands in bytes 4i..4i+3, which only values up to i
  // occupied, and value i has been read by then.
  const unsigned char* source = reinterpret_cast<const unsigned char*>(values);
  for (uint32_t i = 0; i < n; ++i) {
    double d;
    memcpy(&d, source + 8 * static_cast<size_t>(i), 8);
    const float f = static_cast<float>(d);
    memcpy(packed + 4 * static_cast<size_t>(i), &f, 4);
  }
  const bool written = fwrite(packed, 4, n, file) == n;
  if (keep == 1) free(packed);
  return written ? n : 0;
}

uint32_t fdoublewrite(const char* path, double* values, uint32_t n, uint8_t keep) {
  if (!path || n == 0) return 0;
  outputfile out;
  FILE* file = outputopen(path, &out);
  if (!file) return 0;
  const bool written = fdoubleput(file, values, n, keep) == n;
  return outputclose(&out, written) == 0 ? n : 0;
}

uint32_t ffloatread(const char* path, float** values) {
  uint32_t count = 0, rest = 0;
  *values = reinterpret_cast<float*>(loadfloats(path, sizeof(float), &count, &rest));
  return count;
}

uint32_t ffloatwrite(const char* path, const float* values, uint32_t n) {
  if (!path || n == 0) return 0;
  return storefloats(path, values, n);
}
