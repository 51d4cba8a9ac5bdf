#include "wavchunks.h"

#include <sys/stat.h>

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace velk {

namespace {

bool readbytes(fileresource* fr, unsigned char* buf, size_t n) {
  return fread(buf, 1, n, fr->fp()) == n;
}

bool readle32(fileresource* fr, uint32_t* v) {
  unsigned char b[4];
  if (!readbytes(fr, b, 4)) return false;
  *v = (uint32_t)b[0] | (uint32_t)b[1] << 8 | (uint32_t)b[2] << 16 | (uint32_t)b[3] << 24;
  return true;
}

bool readle16(fileresource* fr, uint16_t* v) {
  unsigned char b[2];
  if (!readbytes(fr, b, 2)) return false;
  *v = (uint16_t)(b[0] | b[1] << 8);
  return true;
}

// Skips n bytes forward; reading instead of seeking keeps pipes usable.
bool skipbytes(fileresource* fr, uint32_t n) {
  for (uint32_t i = 0; i < n; i++)
    if (fgetc(fr->fp()) == EOF) return false;
  return true;
}

// After a chunk of odd size, consumes the zero pad byte that keeps chunks at even offsets; a
// writer that left it out is read too, as no chunk id starts with a zero byte.
void skippad(fileresource* fr, uint32_t size) {
  if (size % 2 == 0) return;
  const int c = fgetc(fr->fp());
  if (c != 0 && c != EOF) ungetc(c, fr->fp());
}

// Skips the rest of a chunk whose id has been read: its 32-bit size, then that many bytes.
bool skipchunk(fileresource* fr) {
  uint32_t size;
  if (!readle32(fr, &size) || !skipbytes(fr, size)) return false;
  skippad(fr, size);
  return true;
}

int bytespersample(wavecodingtype type) {
  return type == PCM16 ? 2 : 1;
}

// Whole samples between the file position and the end of a regular file;
// -1 when the stream's length is unknown.
long samplesleft(fileresource* fr, int width) {
  struct stat st;
  const long at = ftell(fr->fp());
  if (at < 0 || fstat(fileno(fr->fp()), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return st.st_size > at ? (long)(st.st_size - at) / width : 0;
}

}  // namespace

int wavriffcodec::initialize(wavecodingtype coding_type) {
  if (coding_type != PCM16 && coding_type != PCM8 && coding_type != ULAW8) return -1;
  coding_type_ = coding_type;
  return 0;
}

int wavriffcodec::readchunk(fileresource* fr, std::string* chunk) const {
  if (chunk == nullptr) return -1;
  char id[5] = {0, 0, 0, 0, 0};
  if (!readbytes(fr, reinterpret_cast<unsigned char*>(id), 4)) return -1;
  *chunk = id;
  return 0;
}

int wavriffcodec::checkchunk(fileresource* fr, const char* data) const {
  std::string chunk;
  return readchunk(fr, &chunk) == 0 && chunk == data ? 0 : -1;
}

int wavriffcodec::fail(const char* format, ...) {
  va_list args;
  va_start(args, format);
  char text[160];
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  error_ = text;
  return -1;
}

int wavriffcodec::readheader(fileresource* fr, int32_t* num_samples_per_channel, int32_t* sampling_rate) {
  error_.clear();
  if (checkchunk(fr, "RIFF") != 0) return fail("Invalid file: Expected \"RIFF\" in header");
  uint32_t file_length;
  if (!readle32(fr, &file_length)) return fail("Failed to read file length");
  if (checkchunk(fr, "WAVE") != 0) return fail("Invalid file: Expected \"WAVE\" in header");
  std::string chunk;
  if (readchunk(fr, &chunk) != 0) return fail("Invalid file: Missing RIFF type header");
  // Chunks before "fmt " (bext, LIST, JUNK, ...) are skipped.
  while (chunk != "fmt ")
    if (!skipchunk(fr) || readchunk(fr, &chunk) != 0) return fail("Invalid file: fmt chunk not found");
  uint32_t fmt_length;
  if (!readle32(fr, &fmt_length)) return fail("failed to skip file length");
  if (fmt_length <= 15) return fail("Invalid of the wave format buffer");
  uint16_t channels;
  if (!skipbytes(fr, 2) || !readle16(fr, &channels)) return fail("Failed to read number of channels");
  if (channels != 1) return fail("Attempt to load multi channel audio");
  uint32_t rate;
  if (!readle32(fr, &rate)) return fail("Failed to read sample rate");
  if (!skipbytes(fr, 8) || !skipbytes(fr, fmt_length - 16)) return fail("Unexpected end of file: no data");
  skippad(fr, fmt_length);
  // Chunks between "fmt " and "data" (fact, LIST, cue, ...) are skipped.
  for (;;) {
    if (readchunk(fr, &chunk) != 0) return fail("Unexpected end of file: no data");
    if (chunk == "data") break;
    if (!skipchunk(fr)) return fail("Unexpected end of file: no data");
  }
  uint32_t data_bytes;
  if (!readle32(fr, &data_bytes)) return fail("Failed to read number of bytes");
  const uint32_t count = data_bytes / bytespersample(coding_type_);
  *num_samples_per_channel = count > (uint32_t)INT32_MAX ? INT32_MAX : (int32_t)count;
  *sampling_rate = (int32_t)rate;
  return 0;
}

int wavriffcodec::readaudiodata(int32_t wave_start, int32_t num_samples, std::vector<int16_t>* samples,
                                fileresource* fr) {
  error_.clear();
  if (coding_type_ != PCM16 && coding_type_ != ULAW8)
    return fail("WaveIO::ReadSamples: Unsupported coding type (%d)", (int)coding_type_);
  if (wave_start < 0 || num_samples < 0)
    return fail("WaveIO::ReadSamples: invalid sample range %d, %d", wave_start, num_samples);
  const int width = bytespersample(coding_type_);
  const bool seeked = fseek(fr->fp(), (long)width * wave_start, SEEK_CUR) == 0;
  // A header may promise far more data than a file holds: storage is sized
  // by what the file can give, so a lying size cannot exhaust memory.
  const long present = samplesleft(fr, width);
  const int32_t room = present >= 0 && present < num_samples ? (int32_t)present : num_samples;
  samples->resize(room, 0);
  std::vector<unsigned char> bytes((size_t)width * room);
  const int32_t got = (int32_t)(fread(bytes.data(), width, room, fr->fp()));
  int16_t* out = samples->data();
  for (int32_t i = 0; i < got; i++)
    out[i] = width == 2 ? (int16_t)(bytes[2 * i] | bytes[2 * i + 1] << 8) : ulawcodec::ulawtoint16(bytes[i]);
  for (int32_t i = got; i < room; i++) out[i] = 0;
  if (got < num_samples) return fail("WaveIO::ReadSamples: only %d out of %d values read", got, num_samples);
  return seeked ? 0 : -1;
}

int wavriffcodec::readaudiocontainer(int container_size_in_bytes, std::vector<int16_t>* samples,
                                     fileresource* fr) {
  error_.clear();
  if (coding_type_ != PCM16 && coding_type_ != PCM8 && coding_type_ != ULAW8) return -1;
  return readaudiodata(0, container_size_in_bytes / bytespersample(coding_type_), samples, fr);
}

const int16_t ulawcodec::seg_uend[8] = {0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF, 0x1FFF};

int16_t ulawcodec::ulawtoint16(uint8_t ulaw) {
  const int u = ~ulaw & 0xFF;
  const int t = (((u & kQuantMask) << 3) + kBias) << ((u & kSegMask) >> kSegShift);
  return (int16_t)((u & kSignBit) ? (kBias - t) / 4 : (t - kBias) / 4);
}

uint8_t ulawcodec::int16toulaw(int16_t pcm_val) {
  // Widened to int before negating, so -32768 clips like any other large value.
  int value = pcm_val;
  int mask = 0xFF;
  if (value < 0) {
    value = -value;
    mask = 0x7F;
  }
  if (value > kClip) value = kClip;
  value += 33;
  const int seg = segmentsearch((int16_t)value, seg_uend, 8);
  if (seg >= 8) return (uint8_t)(0x7F ^ mask);
  return (uint8_t)(((seg << 4) | ((value >> (seg + 1)) & 0xF)) ^ mask);
}

int16_t ulawcodec::segmentsearch(int16_t val, const int16_t* table, int16_t size) {
  for (int16_t i = 0; i < size; i++)
    if (val <= table[i]) return i;
  return size;
}

}  // namespace velk
