#include "wavm1616io.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/types.h>

#include "constants.h"
#include "outputfile.h"

namespace velk {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "16-bit samples are read and written as host values");

namespace {

const uint32_t samplerate = kSamplingRate;
const uint32_t headerbytes = 44;
const uint32_t formatpcm = 1;
const uint32_t formatextensible = 0xFFFE;
// The bytes of a WAVE_FORMAT_EXTENSIBLE subformat GUID after its leading format tag.
const unsigned char guidtail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                    0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

uint32_t field(const unsigned char* bytes, size_t width) {
  uint32_t value = 0;
  for (size_t i = width; i-- > 0;) value = (value << 8) | bytes[i];
  return value;
}

// Reads the format chunk of `size` bytes at the file position into *info; false when it is too
// short to hold the fields of plain PCM or names no channels or rate (compressed formats may
// give no sample size).
bool readformat(FILE* file, uint32_t size, wavinfo* info) {
  unsigned char f[40] = {};
  const size_t wanted = std::min<uint32_t>(size, sizeof f);
  if (size < 16 || fread(f, 1, wanted, file) != wanted) return false;
  info->format = field(f, 2);
  info->channels = field(f + 2, 2);
  info->rate = field(f + 4, 4);
  info->blockalign = field(f + 12, 2);
  info->bits = field(f + 14, 2);
  if (info->format == formatextensible && wanted == sizeof f &&
      memcmp(f + 26, guidtail, sizeof guidtail) == 0)
    info->format = field(f + 24, 2);
  return info->channels != 0 && info->rate != 0;
}

// Offset of the chunk after one of `size` bytes whose body ends at `end`: a chunk of odd size is
// followed by a pad byte, skipped when it is 0 (writers that leave it out go straight on with
// the next tag).
off_t nextchunk(FILE* file, off_t end, uint32_t size) {
  if (size % 2 == 0 || fseeko(file, end, SEEK_SET) != 0) return end;
  return fgetc(file) == 0 ? end + 1 : end;
}

bool exactformat(const wavinfo& info) {
  return info.format == formatpcm && info.channels == 1 && info.rate == samplerate && info.bits == 16;
}

// Bytes of one sample frame: 2 for the format read here, else the block align (or what the
// channels and sample size take when it is 0).
uint32_t framebytes(const wavinfo& info) {
  if (exactformat(info)) return 2;
  if (info.blockalign != 0) return info.blockalign;
  return std::max<uint32_t>(1, info.channels * ((info.bits + 7) / 8));
}

// Walks the chunks after the RIFF/WAVE header until the first format and data chunks are found;
// on WAV_READ (a layout fit for reading) *datastart and *datasize locate the data chunk's body.
wavstatus readlayout(FILE* file, wavinfo* info, off_t* datastart, uint32_t* datasize) {
  unsigned char header[12];
  if (fread(header, 1, 12, file) != 12) {
    info->error = errno;
    return ferror(file) ? WAV_UNOPENED : WAV_NOTWAVE;
  }
  if (memcmp(header, "RIFF", 4) != 0 || memcmp(header + 8, "WAVE", 4) != 0) return WAV_NOTWAVE;
  bool formatseen = false, dataseen = false;
  off_t position = 12;
  while (!(formatseen && dataseen) && fseeko(file, position, SEEK_SET) == 0 &&
         fread(header, 1, 8, file) == 8) {
    const uint32_t size = field(header + 4, 4);
    if (!formatseen && memcmp(header, "fmt ", 4) == 0) {
      if (!readformat(file, size, info)) return WAV_BADFORMAT;
      formatseen = true;
    } else if (!dataseen && memcmp(header, "data", 4) == 0) {
      dataseen = true;
      *datastart = position + 8;
      *datasize = size;
    }
    position = nextchunk(file, position + 8 + static_cast<off_t>(size), size);
  }
  if (!formatseen) return WAV_BADFORMAT;
  if (!dataseen) return WAV_NODATA;
  info->promised = *datasize / framebytes(*info);
  return info->promised == 0 ? WAV_EMPTYDATA : WAV_READ;
}

// Whole sample frames of the data chunk that the file holds, for a format not read here.
uint32_t framespresent(FILE* file, const wavinfo& info, off_t datastart) {
  if (fseeko(file, 0, SEEK_END) != 0) return 0;
  const off_t size = ftello(file);
  if (size <= datastart) return 0;
  return static_cast<uint32_t>(std::min<uint64_t>(info.promised, (size - datastart) / framebytes(info)));
}

void putfield(unsigned char* at, size_t width, uint32_t value) {
  for (size_t i = 0; i < width; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

void writeheader(unsigned char* header, uint32_t n, uint32_t rate) {
  memcpy(header, "RIFF", 4);
  putfield(header + 4, 4, 2 * n + 36);
  memcpy(header + 8, "WAVEfmt ", 8);
  putfield(header + 16, 4, 16);
  putfield(header + 20, 2, 1);
  putfield(header + 22, 2, 1);
  putfield(header + 24, 4, rate);
  putfield(header + 28, 4, 2 * rate);
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
  wavinfo info;
  return wavreadm1616info(path, samples, &info);
}

int wavreadheader(const char* path, wavinfo* info, uint64_t* datastart) {
  *info = wavinfo();
  FILE* file = fopen(path, "rb");
  if (!file) {
    info->error = errno;
    return -1;
  }
  off_t start = 0;
  uint32_t datasize = 0;
  info->status = readlayout(file, info, &start, &datasize);
  *datastart = static_cast<uint64_t>(start);
  if (info->status == WAV_READ) {
    if (!exactformat(*info)) info->status = WAV_OTHERFORMAT;
    info->present = framespresent(file, *info, start);
  }
  fclose(file);
  return 0;
}

uint32_t wavreadm1616info(const char* path, double** samples, wavinfo* info) {
  *samples = nullptr;
  *info = wavinfo();
  FILE* file = path ? fopen(path, "rb") : nullptr;
  if (!file) {
    info->error = path ? errno : ENOENT;
    return 0;
  }
  return wavreadm1616file(file, samples, info);
}

uint32_t wavreadm1616file(FILE* file, double** samples, wavinfo* info) {
  *samples = nullptr;
  *info = wavinfo();
  off_t datastart = 0;
  uint32_t datasize = 0;
  info->status = readlayout(file, info, &datastart, &datasize);
  if (info->status == WAV_READ && !exactformat(*info)) {
    info->status = WAV_OTHERFORMAT;
    info->present = framespresent(file, *info, datastart);
    if (info->present == 0) info->status = WAV_EMPTYDATA;
  }
  unsigned char* data = nullptr;
  if (info->status == WAV_READ) {
    data =
        fseeko(file, datastart, SEEK_SET) == 0 ? readsamples(file, info->promised, &info->present) : nullptr;
    if (!data) info->status = WAV_NOMEMORY;
  }
  fclose(file);
  if (info->status != WAV_READ) {
    free(data);
    return 0;
  }
  const uint32_t n = info->present;
  unsigned char* sized = n ? static_cast<unsigned char*>(realloc(data, n * sizeof(double))) : nullptr;
  if (!sized) {
    free(data);
    info->status = n ? WAV_NOMEMORY : WAV_EMPTYDATA;
    return 0;
  }
  wavshort2double(n, reinterpret_cast<const int16_t*>(sized), reinterpret_cast<double*>(sized));
  *samples = reinterpret_cast<double*>(sized);
  return n;
}

uint32_t wavclippedsamples(const double* samples, uint32_t n) {
  uint32_t clipped = 0;
  for (uint32_t i = 0; i < n; ++i) clipped += samples[i] >= 1.0 || samples[i] <= -32769.0 / 32768;
  return clipped;
}

void wavheaderm16(unsigned char* header, uint32_t n, uint32_t rate) {
  writeheader(header, n, rate);
}

uint32_t wavwritem1616(const char* path, double* samples, uint32_t n, uint8_t normalise, uint8_t keep) {
  return wavwritem16(path, samples, n, samplerate, normalise, keep);
}

uint32_t wavwritem16(const char* path, double* samples, uint32_t n, uint32_t rate, uint8_t normalise,
                     uint8_t keep) {
  if (!path || n > (UINT32_MAX - 36) / 2 || rate == 0 || rate > UINT32_MAX / 2) return 0;
  if (normalise == 1) wavampnormalize(samples, n);
  int16_t* packed = keep == 1 ? static_cast<int16_t*>(malloc(2 * static_cast<size_t>(n) + 1))
                              : reinterpret_cast<int16_t*>(samples);
  if (!packed) return 0;
  wavdouble2short(n, samples, packed);
  unsigned char header[headerbytes];
  writeheader(header, n, rate);
  // The file is replaced whole: a write that falls short leaves an earlier file as it was.
  outputfile out;
  FILE* file = outputopen(path, &out);
  const bool written =
      file && fwrite(header, 1, headerbytes, file) == headerbytes && fwrite(packed, 2, n, file) == n;
  if (keep == 1) free(packed);
  return file && outputclose(&out, written) == 0 ? n : 0;
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

}  // namespace velk
