#pragma once
// RIFF/WAVE files of the tests built byte by byte: little-endian fields, chunks in any order
// with their pad bytes, plain and extensible format chunks, 16-bit and IEEE-float samples.
// Chunk heads may declare sizes other than what follows them, for damaged files.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace wavtest {

// The low `width` bytes of v, least significant first.
inline std::string le(uint64_t v, int width) {
  std::string b;
  for (int i = 0; i < width; ++i) b.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
  return b;
}

// The eight bytes that open a chunk: its tag and the body size it declares.
inline std::string chunkhead(const std::string& tag, uint32_t size) {
  return tag + le(size, 4);
}

// A chunk declaring its body's size; an odd-sized body is followed by its pad byte.
inline std::string chunk(const std::string& tag, const std::string& body) {
  return chunkhead(tag, static_cast<uint32_t>(body.size())) + body +
         (body.size() % 2 ? std::string(1, '\0') : "");
}

// The twelve bytes that open a RIFF/WAVE file declaring `size` bytes after its first eight.
inline std::string riffhead(uint32_t size) {
  return chunkhead("RIFF", size) + "WAVE";
}

// A RIFF/WAVE file of the chunks, declaring their size.
inline std::string riff(const std::string& chunks) {
  return riffhead(static_cast<uint32_t>(4 + chunks.size())) + chunks;
}

// The 16-byte body of a plain format chunk with every field as given: format tag (1 PCM,
// 3 IEEE float, 7 mu-law), channels, frames per second, bytes per second, bytes per frame,
// bits per sample.
inline std::string fmtfields(uint32_t format, uint32_t channels, uint32_t rate, uint32_t byterate,
                             uint32_t align, uint32_t bits) {
  return le(format, 2) + le(channels, 2) + le(rate, 4) + le(byterate, 4) + le(align, 2) + le(bits, 2);
}

// The bytes of one frame: each channel's sample in whole bytes.
inline uint32_t blockalign(uint32_t channels, uint32_t bits) {
  return channels * ((bits + 7) / 8);
}

// The body of a plain format chunk whose byte rate and frame size follow from the other fields.
inline std::string fmtbody(uint32_t format = 1, uint32_t channels = 1, uint32_t rate = 16000,
                           uint32_t bits = 16) {
  const uint32_t align = blockalign(channels, bits);
  return fmtfields(format, channels, rate, rate * align, align, bits);
}

// A plain format chunk (16 bytes of body).
inline std::string fmtchunk(uint32_t format = 1, uint32_t channels = 1, uint32_t rate = 16000,
                            uint32_t bits = 16) {
  return chunk("fmt ", fmtbody(format, channels, rate, bits));
}

// The 40-byte body of a WAVE_FORMAT_EXTENSIBLE format chunk: the plain fields under tag 0xFFFE,
// 22 extension bytes (valid bits, the front-centre speaker mask) and the subformat's GUID.
inline std::string extensiblebody(uint32_t subformat = 1, uint32_t channels = 1, uint32_t rate = 16000,
                                  uint32_t bits = 16) {
  const uint32_t align = blockalign(channels, bits);
  const std::string guidtail("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xaa\x00\x38\x9b\x71", 14);
  return fmtfields(0xfffe, channels, rate, rate * align, align, bits) + le(22, 2) + le(bits, 2) + le(4, 4) +
         le(subformat, 2) + guidtail;
}

inline std::string extensiblechunk(uint32_t subformat = 1, uint32_t channels = 1, uint32_t rate = 16000,
                                   uint32_t bits = 16) {
  return chunk("fmt ", extensiblebody(subformat, channels, rate, bits));
}

// The 44-byte header of a file with a plain format chunk and a data chunk declaring `datasize`
// bytes, which the caller appends.
inline std::string wavhead(uint32_t format, uint32_t channels, uint32_t rate, uint32_t bits,
                           uint32_t datasize) {
  return riffhead(36 + datasize) + fmtchunk(format, channels, rate, bits) + chunkhead("data", datasize);
}

// 16-bit samples as little-endian PCM bytes.
inline std::string pcm(const std::vector<int16_t>& samples) {
  std::string b;
  for (int16_t s : samples) b += le(static_cast<uint16_t>(s), 2);
  return b;
}

// Samples as little-endian IEEE floats of 32 or 64 bits.
inline std::string ieeefloats(const std::vector<double>& samples, unsigned bits) {
  std::string b;
  for (double v : samples) {
    if (bits == 32) {
      const float f = static_cast<float>(v);
      uint32_t u;
      std::memcpy(&u, &f, 4);
      b += le(u, 4);
    } else {
      uint64_t u;
      std::memcpy(&u, &v, 8);
      b += le(u, 8);
    }
  }
  return b;
}

// The LIST/INFO chunk ffmpeg writes before the data by default.
inline std::string ffmpeglist() {
  return chunk("LIST", "INFO" + chunk("ISFT", std::string("Lavf59.27.100\0", 14)));
}

}  // namespace wavtest
