#include "fdoubleio.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <sys/types.h>

#include "outputfile.h"

namespace velk {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "parameter files are read and written as host floats");
static_assert(sizeof(float) == 4, "parameter values are 32-bit floats");

namespace {

// Byte size of an open regular file, or -1 for anything else (a pipe, a terminal, a device),
// whose length shows only when read.
off_t filesize(FILE* file) {
  struct stat st;
  if (fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return st.st_size;
}

// The bytes of a stream that cannot seek, read into a buffer that grows with what arrives, until
// the end or until they hold more than `limit` whole floats (*exceeded then set). Returns the
// buffer (null when memory runs out) and in *size the bytes read.
unsigned char* loadstream(FILE* file, uint64_t limit, size_t* size, bool* exceeded) {
  const size_t firstchunk = size_t{1} << 16;
  unsigned char* data = nullptr;
  size_t capacity = 0;
  *size = 0;
  for (;;) {
    if (*size == capacity) {
      capacity = capacity == 0 ? firstchunk : 2 * capacity;
      unsigned char* grown = static_cast<unsigned char*>(realloc(data, capacity));
      if (!grown) {
        free(data);
        return nullptr;
      }
      data = grown;
    }
    const size_t got = fread(data + *size, 1, capacity - *size, file);
    *size += got;
    if (*size / 4 > limit) {
      *exceeded = true;
      break;
    }
    if (got == 0) break;
  }
  return data;
}

// The whole floats of a stream that cannot seek, at most `limit` of them, in a new array of
// `slot`-byte elements (as loadfloats); null with *count 0 when none arrived or memory ran out.
unsigned char* loadstreamfloats(FILE* file, size_t slot, uint64_t limit, uint32_t* count, uint32_t* rest,
                                bool* exceeded) {
  size_t got = 0;
  unsigned char* data = loadstream(file, std::min<uint64_t>(limit, UINT32_MAX), &got, exceeded);
  if (!data) return nullptr;
  const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(got / 4, limit));
  unsigned char* sized = n > 0 ? static_cast<unsigned char*>(realloc(data, n * slot)) : nullptr;
  if (!sized) {
    free(data);
    return nullptr;
  }
  *count = n;
  *rest = *exceeded ? 0 : static_cast<uint32_t>(got % 4);
  return sized;
}

// Reads every whole float of the file (or of the stream it is) into the start of a new array of
// `slot`-byte elements, one element per float, so that the caller can widen in place; *rest
// receives the number of bytes after the last whole float. Returns the array, or nullptr when
// nothing could be read (errno ENOMEM when memory ran out, 0 for an empty file); a file holding
// more than `limit` values gives its first `limit` values with *exceeded set (a stream is read no
// further than that).
unsigned char* loadfloats(const char* path, size_t slot, uint64_t limit, uint32_t* count, uint32_t* rest,
                          bool* exceeded) {
  *count = 0;
  *rest = 0;
  *exceeded = false;
  if (!path) return nullptr;
  FILE* file = fopen(path, "rb");
  if (!file) return nullptr;
  errno = 0;
  const off_t size = filesize(file);
  unsigned char* data = nullptr;
  if (size < 0) {  // a pipe or terminal: read as the data come
    data = loadstreamfloats(file, slot, limit, count, rest, exceeded);
  } else {
    const off_t values = size / 4;
    if (size > 0) *rest = static_cast<uint32_t>(size % 4);
    *exceeded = static_cast<uint64_t>(values) > limit;
    const uint64_t taken = std::min<uint64_t>(static_cast<uint64_t>(values), limit);
    if (taken > 0 && taken <= UINT32_MAX) {
      data = static_cast<unsigned char*>(malloc(static_cast<size_t>(taken) * slot));
      if (data) *count = static_cast<uint32_t>(fread(data, 4, static_cast<size_t>(taken), file));
    }
    if (*exceeded) *rest = 0;
  }
  const int error = errno == ENOMEM ? ENOMEM : 0;
  fclose(file);
  errno = error;
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
  bool exceeded = false;
  return fdoublereadlimited(path, values, rest, UINT32_MAX, &exceeded);
}

uint32_t fdoublereadlimited(const char* path, double** values, uint32_t* rest, uint64_t limit,
                            bool* exceeded) {
  uint32_t count = 0;
  unsigned char* data = loadfloats(path, sizeof(double), limit, &count, rest, exceeded);
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
  bool exceeded = false;
  *values = reinterpret_cast<float*>(loadfloats(path, sizeof(float), UINT32_MAX, &count, &rest, &exceeded));
  return count;
}

uint32_t ffloatwrite(const char* path, const float* values, uint32_t n) {
  if (!path || n == 0) return 0;
  return storefloats(path, values, n);
}

}  // namespace velk
