// The tests' WAV byte builders against headers written out by hand, byte for byte.
#include "riffbytes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "testfiles.h"

namespace {

std::string bytes(std::initializer_list<unsigned char> b) {
  return std::string(b.begin(), b.end());
}

// A 16 kHz mono 16-bit file of three samples, as a writer of the canonical layout makes it.
const std::string kThreeSamples = bytes({
    'R', 'I',  'F', 'F',  42,   0,    0,  0, 'W', 'A', 'V', 'E',  // RIFF, 42 bytes follow
    'f', 'm',  't', ' ',  16,   0,    0,  0,                      // format chunk of 16 bytes
    1,   0,    1,   0,    0x80, 0x3e, 0,  0,                      // PCM, mono, 16000 Hz
    0,   0x7d, 0,   0,    2,    0,    16, 0,                      // 32000 bytes/s, 2-byte frames, 16 bits
    'd', 'a',  't', 'a',  6,    0,    0,  0,                      // data chunk of 6 bytes
    0,   0x40, 0,   0xe0, 0xff, 0x7f,                             // 16384, -8192, 32767
});

TEST(RiffBytes, CanonicalHeaderMatchesTheHandWrittenOne) {
  const std::vector<int16_t> three = {16384, -8192, 32767};
  EXPECT_EQ(wavtest::wavhead(1, 1, 16000, 16, 6) + wavtest::pcm(three), kThreeSamples);
  EXPECT_EQ(wavtest::riff(wavtest::fmtchunk() + wavtest::chunk("data", wavtest::pcm(three))), kThreeSamples);
  EXPECT_EQ(wav_bytes(three), kThreeSamples);
  EXPECT_EQ(wav_header(1, 16000, 16, 6), kThreeSamples.substr(0, 44));
}

TEST(RiffBytes, FieldsAreLittleEndianAndOddChunksPadded) {
  EXPECT_EQ(wavtest::le(0x12345678, 3), bytes({0x78, 0x56, 0x34}));
  EXPECT_EQ(wavtest::le(0x8877665544332211ull, 8), bytes({0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}));
  EXPECT_EQ(le_bytes(0xfffe, 2), bytes({0xfe, 0xff}));
  EXPECT_EQ(wavtest::chunk("JUNK", "abc"), bytes({'J', 'U', 'N', 'K', 3, 0, 0, 0, 'a', 'b', 'c', 0}));
  EXPECT_EQ(wavtest::chunk("LIST", "INFO"), bytes({'L', 'I', 'S', 'T', 4, 0, 0, 0, 'I', 'N', 'F', 'O'}));
  EXPECT_EQ(wavtest::chunkhead("data", 0xfffffff0u), bytes({'d', 'a', 't', 'a', 0xf0, 0xff, 0xff, 0xff}));
  // The RIFF size counts "WAVE" and the chunks, pad bytes included.
  EXPECT_EQ(wavtest::riff(wavtest::chunk("JUNK", "abc")).substr(0, 12),
            bytes({'R', 'I', 'F', 'F', 16, 0, 0, 0, 'W', 'A', 'V', 'E'}));
}

TEST(RiffBytes, FormatChunksOfEveryKind) {
  // Stereo 44.1 kHz 16-bit: 176400 bytes a second, 4-byte frames.
  EXPECT_EQ(wavtest::fmtbody(1, 2, 44100, 16),
            bytes({1, 0, 2, 0, 0x44, 0xac, 0, 0, 0x10, 0xb1, 2, 0, 4, 0, 16, 0}));
  // Every field as given, however inconsistent.
  EXPECT_EQ(wavtest::fmtfields(7, 2, 22050, 44100, 2, 8),
            bytes({7, 0, 2, 0, 0x22, 0x56, 0, 0, 0x44, 0xac, 0, 0, 2, 0, 8, 0}));
  const std::string extensible = bytes({
      'f',  'm',  't', ' ', 40,   0,    0,    0,  // 40-byte format chunk
      0xfe, 0xff, 1,   0,   0x80, 0x3e, 0,    0,  // tag 0xFFFE, mono, 16000 Hz
      0,    0x7d, 0,   0,   2,    0,    16,   0,  // 32000 bytes/s, 2-byte frames, 16 bits
      22,   0,    16,  0,   4,    0,    0,    0,  // 22 more bytes, 16 valid bits, front centre
      1,    0,    0,   0,   0,    0,    0x10, 0, 0x80, 0, 0, 0xaa, 0, 0x38, 0x9b, 0x71,  // PCM subformat GUID
  });
  EXPECT_EQ(wavtest::extensiblechunk(), extensible);
  EXPECT_EQ(wavtest::extensiblechunk(3, 1, 16000, 32).substr(8, 16),
            bytes({0xfe, 0xff, 1, 0, 0x80, 0x3e, 0, 0, 0, 0xfa, 0, 0, 4, 0, 32, 0}));
  EXPECT_EQ(wavtest::extensiblechunk(3, 1, 16000, 32)[32], 3);
}

TEST(RiffBytes, FloatFilesHoldIeeeBitPatterns) {
  const std::string f32 = float_wav({1.0, -2.0}, 32, 8000);
  ASSERT_EQ(f32.size(), 44u + 8u);
  EXPECT_EQ(f32.substr(4, 4), bytes({44, 0, 0, 0}));
  EXPECT_EQ(f32.substr(20, 16), bytes({3, 0, 1, 0, 0x40, 0x1f, 0, 0, 0, 0x7d, 0, 0, 4, 0, 32, 0}));
  EXPECT_EQ(f32.substr(36), bytes({'d', 'a', 't', 'a', 8, 0, 0, 0, 0, 0, 0x80, 0x3f, 0, 0, 0, 0xc0}));
  const std::string f64 = float_wav({-2.0}, 64);
  EXPECT_EQ(f64.substr(32, 4), bytes({8, 0, 64, 0}));
  EXPECT_EQ(f64.substr(44), bytes({0, 0, 0, 0, 0, 0, 0, 0xc0}));
  // A NaN stays a NaN through the narrowing to 32 bits.
  const std::string nan = wavtest::ieeefloats({NAN}, 32);
  EXPECT_EQ(static_cast<unsigned char>(nan[3]) & 0x7f, 0x7f);
  EXPECT_EQ(static_cast<unsigned char>(nan[2]) & 0x80, 0x80);
}

}  // namespace
