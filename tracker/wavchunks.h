// RIFF/WAVE header parsing and sample reading (16-bit linear PCM and 8-bit
// G.711 mu-law), plus the mu-law conversions. Nothing is printed: a read that
// fails keeps its message for the caller (error()).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fileholder.h"

namespace velk {

enum wavecodingtype {
  PCM16 = 0,
  PCM8 = 1,
  ULAW8 = 2,
  VARB_18kbps = 3,
  VARB_20kbps = 4,
  VARB_22kbps = 5,
  VARB_24kbps = 6,
  VARB_26kbps = 7,
  VARB_30kbps = 8,
};

// Every call returns 0 when done, -1 when refused or failed.
class wavriffcodec {
 public:
  // Accepts PCM16, PCM8 and ULAW8.
  int initialize(wavecodingtype coding_type);

  // Reads a four-byte chunk id (cut at its first zero byte) into chunk.
  int readchunk(fileresource* fr, std::string* chunk) const;
  // Reads one chunk id: 0 when it equals data.
  int checkchunk(fileresource* fr, const char* data) const;

  // Parses the header of a mono file up to the first sample byte. The sample
  // count is the data size over the bytes per sample of the coding type.
  // The outputs are written only on success.
  int readheader(fileresource* fr, int32_t* num_samples_per_channel, int32_t* sampling_rate);

  // Reads num_samples samples into samples (resized to them), starting
  // wave_start samples after the current file position. When a regular file
  // holds fewer, samples is sized to those it holds; entries a short read of
  // another stream does not reach are 0.
  int readaudiodata(int32_t wave_start, int32_t num_samples, std::vector<int16_t>* samples, fileresource* fr);
  // Reads a whole container of container_size_in_bytes from the current position.
  int readaudiocontainer(int container_size_in_bytes, std::vector<int16_t>* samples, fileresource* fr);

  // Why the last readheader, readaudiodata or readaudiocontainer failed; empty
  // after one that succeeded (or failed without a message).
  const std::string& error() const { return error_; }

 private:
  // Keeps the message, formatted as printf does, and returns -1.
  int fail(const char* format, ...) __attribute__((format(printf, 2, 3)));

  wavecodingtype coding_type_ = PCM16;
  std::string error_;
};

// G.711 mu-law on the 14-bit scale (decoded values in -8031 .. 8031).
class ulawcodec {
 public:
  static constexpr int16_t kBias = 0x84;
  static constexpr int16_t kClip = 8159;
  static constexpr int16_t kSignBit = 0x80;
  static constexpr int16_t kQuantMask = 0xF;
  static constexpr int16_t kSegShift = 4;
  static constexpr int16_t kSegMask = 0x70;
  static const int16_t seg_uend[8];

  static int16_t ulawtoint16(uint8_t ulaw);
  // Values beyond the 14-bit range saturate at the outermost codes.
  static uint8_t int16toulaw(int16_t pcm_val);
  // First i < size with val <= table[i], or size.
  static int16_t segmentsearch(int16_t val, const int16_t* table, int16_t size);
};

}  // namespace velk
