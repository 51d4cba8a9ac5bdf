#pragma once
// WAV files of the tests built byte by byte: RIFF chunks in any order, plain and extensible
// format chunks, and the PCM bytes of 16-bit samples.

#include <cstdint>
#include <string>
#include <vector>

namespace wavtest {

inline std::string le(uint32_t v, int width) {
  std::string b;
  for (int i = 0; i < width; ++i) b.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
  return b;
}

// A RIFF chunk; an odd-sized body is followed by its pad byte.
inline std::string chunk(const std::string& tag, const std::string& body) {
  return tag + le(static_cast<uint32_t>(body.size()), 4) + body +
         (body.size() % 2 ? std::string(1, '\0') : "");
}

// A plain format chunk (16 bytes).
inline std::string fmtchunk(uint32_t format = 1, uint32_t channels = 1, uint32_t rate = 16000,
                            uint32_t bits = 16) {
  const uint32_t align = channels * ((bits + 7) / 8);
  return chunk("fmt ", le(format, 2) + le(channels, 2) + le(rate, 4) + le(rate * align, 4) + le(align, 2) +
                           le(bits, 2));
}

// A WAVE_FORMAT_EXTENSIBLE format chunk (40 bytes) with the given subformat code.
inline std::string extensiblechunk(uint32_t subformat = 1, uint32_t channels = 1, uint32_t rate = 16000,
                                   uint32_t bits = 16) {
  const uint32_t align = channels * ((bits + 7) / 8);
  const std::string guidtail("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xaa\x00\x38\x9b\x71", 14);
  return chunk("fmt ", le(0xfffe, 2) + le(channels, 2) + le(rate, 4) + le(rate * align, 4) + le(align, 2) +
                           le(bits, 2) + le(22, 2) + le(bits, 2) + le(4, 4) + le(subformat, 2) + guidtail);
}

inline std::string riff(const std::string& chunks) {
  return "RIFF" + le(static_cast<uint32_t>(4 + chunks.size()), 4) + "WAVE" + chunks;
}

inline std::string pcm(const std::vector<int16_t>& samples) {
  std::string b;
  for (int16_t s : samples) b += le(static_cast<uint16_t>(s), 2);
  return b;
}

// The LIST/INFO chunk ffmpeg writes before the data by default.
inline std::string ffmpeglist() {
  return chunk("LIST", "INFO" + chunk("ISFT", std::string("Lavf59.27.100\0", 14)));
}

}  // namespace wavtest
