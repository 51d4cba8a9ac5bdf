#include "wavm1616io.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "testfiles.h"

using namespace velk;

namespace {

// The bytes of a written file, which is then removed.
std::string takebytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes(std::istreambuf_iterator<char>(in), {});
  remove(path.c_str());
  return bytes;
}

// Fields of a test file, each changeable to build a rejected variant.
struct Header {
  uint32_t fmtsize = 16, format = 1, channels = 1, rate = 16000, bits = 16;
  std::string beforedata;  // a chunk between fmt and data
};

// The RIFF size counts the 16 bytes of a plain format chunk, whatever the format chunk declares.
std::string wavfile(const Header& h, uint32_t datasize, const std::vector<int16_t>& samples) {
  return wavtest::riffhead(36 + datasize) + wavtest::chunkhead("fmt ", h.fmtsize) +
         wavtest::fmtbody(h.format, h.channels, h.rate, h.bits) +
         std::string(h.fmtsize > 16 ? h.fmtsize - 16 : 0, '\xee') + h.beforedata +
         wavtest::chunkhead("data", datasize) + wavtest::pcm(samples);
}

// The samples read from a file of the given bytes (empty when the reader fails).
std::vector<double> readwav(const std::string& bytes) {
  const std::string path = testfile("in.wav");
  write_file(path, bytes);
  return read_and_remove(path, wavreadm1616);
}

TEST(WavRead, AcceptsLongFmtChunksAndOddDataSizes) {
  EXPECT_EQ(readwav(wavfile(Header(), 6, {32767, -32768, 1})),
            (std::vector<double>{0.999969482421875, -1.0, 1.0 / 32768}));
  Header longfmt;
  longfmt.fmtsize = 18;
  EXPECT_EQ(readwav(wavfile(longfmt, 4, {100, -100})), (std::vector<double>{100.0 / 32768, -100.0 / 32768}));
  Header list;
  list.beforedata = wavtest::chunk("LIST", "INFO");
  EXPECT_EQ(readwav(wavfile(list, 4, {100, -100})), (std::vector<double>{100.0 / 32768, -100.0 / 32768}));
  EXPECT_EQ(readwav(wavfile(Header(), 7, {1, 2, 3}) + "\x7f"),
            (std::vector<double>{1.0 / 32768, 2.0 / 32768, 3.0 / 32768}));
}

// A data chunk promising more than the file holds is read as far as the file goes.
TEST(WavRead, SamplesMissingFromTheFileAreNotMadeUp) {
  EXPECT_EQ(readwav(wavfile(Header(), 2000, {5, 6, 7})),
            (std::vector<double>{5.0 / 32768, 6.0 / 32768, 7.0 / 32768}));
  EXPECT_EQ(readwav(wavfile(Header(), 8, {9}) + "\x01"), (std::vector<double>{9.0 / 32768}));
  EXPECT_TRUE(readwav(wavfile(Header(), 4, {}) + "\x7f").empty());  // a lone byte is no sample
}

TEST(WavRead, PromisesFarBeyondTheFileGiveTheSamplesPresent) {
  // More than a second missing, up to a 4 GiB size field: only the file's own samples.
  for (uint32_t claim : {2u * 16004u, 0x10000000u, 0xFFFFFFF0u}) {
    EXPECT_EQ(readwav(wavfile(Header(), claim, {5, 6, 7})),
              (std::vector<double>{5.0 / 32768, 6.0 / 32768, 7.0 / 32768}))
        << claim;
  }
  // A file larger than the first read chunk is read whole.
  std::vector<int16_t> many(200000);
  for (size_t i = 0; i < many.size(); ++i) many[i] = static_cast<int16_t>(i);
  const std::vector<double> s = readwav(wavfile(Header(), 2 * 200000, many));
  ASSERT_EQ(s.size(), many.size());
  for (size_t i = 0; i < many.size(); i += 997) ASSERT_EQ(s[i], many[i] / 32768.0) << i;
}

TEST(WavRead, RejectsOtherFormatsAndEmptyData) {
  Header stereo, eightbit, cd, shortfmt, ieeefloat;
  stereo.channels = 2;
  eightbit.bits = 8;
  cd.rate = 44100;
  shortfmt.fmtsize = 14;
  ieeefloat.format = 3;
  for (const Header* h : {&stereo, &eightbit, &cd, &shortfmt, &ieeefloat})
    EXPECT_TRUE(readwav(wavfile(*h, 4, {1, 2})).empty());
  EXPECT_TRUE(readwav(wavfile(Header(), 0, {})).empty());
  EXPECT_TRUE(readwav(wavfile(Header(), 1, {})).empty());  // no whole sample
}

TEST(WavRead, TruncatedAndGarbageHeadersFailCleanly) {
  const std::string good = wavfile(Header(), 4, {1, 2});
  for (size_t cut = 0; cut < 44; ++cut) EXPECT_TRUE(readwav(good.substr(0, cut)).empty()) << cut;
  for (size_t at : {3u, 8u, 12u, 36u}) {
    std::string damaged = good;
    damaged[at] = 'X';
    EXPECT_TRUE(readwav(damaged).empty()) << at;
  }
  std::string hugefmt = good;
  hugefmt.replace(16, 4, "\xff\xff\xff\xff");
  EXPECT_TRUE(readwav(hugefmt).empty());
  std::string noise(300, '\0');
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>(i * 37 + 11);
  EXPECT_TRUE(readwav(noise).empty());
  double* data = reinterpret_cast<double*>(1);
  EXPECT_EQ(wavreadm1616(testfile("missing.wav").c_str(), &data), 0u);
  EXPECT_EQ(data, nullptr);
}

TEST(WavWrite, ThreeSamplesMakeA50ByteFile) {
  const std::string path = testfile("three.wav");
  std::vector<double> x = {0.5, -0.25, 1.5};
  ASSERT_EQ(wavwritem1616(path.c_str(), x.data(), 3, 0, 1), 3u);
  EXPECT_EQ(x, (std::vector<double>{0.5, -0.25, 1.5}));
  const std::string expected = "RIFF" + le_bytes(42, 4) + "WAVEfmt " + le_bytes(16, 4) + le_bytes(1, 2) +
                               le_bytes(1, 2) + le_bytes(16000, 4) + le_bytes(32000, 4) + le_bytes(2, 2) +
                               le_bytes(16, 2) + "data" + le_bytes(6, 4) + le_bytes(16384, 2) +
                               le_bytes(static_cast<uint16_t>(-8192), 2) + le_bytes(32767, 2);
  EXPECT_EQ(expected.size(), 50u);
  EXPECT_EQ(takebytes(path), expected);
}

TEST(WavWrite, AnotherRateIsWrittenIntoTheHeader) {
  const std::string path = testfile("rate.wav");
  std::vector<double> x = {0.5, -0.25};
  ASSERT_EQ(wavwritem16(path.c_str(), x.data(), 2, 44100, 0, 1), 2u);
  const std::string expected = "RIFF" + le_bytes(40, 4) + "WAVEfmt " + le_bytes(16, 4) + le_bytes(1, 2) +
                               le_bytes(1, 2) + le_bytes(44100, 4) + le_bytes(88200, 4) + le_bytes(2, 2) +
                               le_bytes(16, 2) + "data" + le_bytes(4, 4) + le_bytes(16384, 2) +
                               le_bytes(static_cast<uint16_t>(-8192), 2);
  EXPECT_EQ(takebytes(path), expected);
  // A rate of 0, or one whose byte rate does not fit the header, is refused and writes nothing.
  EXPECT_EQ(wavwritem16(path.c_str(), x.data(), 2, 0, 0, 1), 0u);
  EXPECT_EQ(wavwritem16(path.c_str(), x.data(), 2, 0x80000000u, 0, 1), 0u);
  EXPECT_EQ(takebytes(path), "");
}

TEST(WavWrite, ConversionSaturatesAndTruncates) {
  const std::vector<double> in = {0.999969482421875, 1.5, -1.0, -1.5, 0.9999, -0.00001, NAN, -0.5, 0.99996};
  std::vector<int16_t> out(in.size());
  EXPECT_EQ(wavdouble2short(static_cast<uint32_t>(in.size()), in.data(), out.data()), 0);
  EXPECT_EQ(out, (std::vector<int16_t>{32767, 32767, -32768, -32768, 32764, 0, 0, -16384, 32766}));
}

TEST(WavWrite, EverySampleValueRoundTripsThroughAnInPlaceWrite) {
  const std::string path = testfile("roundtrip.wav");
  std::vector<double> x(65536);
  for (size_t i = 0; i < x.size(); ++i) x[i] = (static_cast<double>(i) - 32768) / 32768;
  const std::vector<double> original = x;
  ASSERT_EQ(wavwritem1616(path.c_str(), x.data(), 65536, 0, 0), 65536u);
  int16_t packed[2];
  memcpy(packed, x.data(), sizeof packed);  // the caller's array now holds the 16-bit samples
  EXPECT_EQ(packed[0], -32768);
  EXPECT_EQ(packed[1], -32767);
  EXPECT_EQ(readwav(takebytes(path)), original);
}

TEST(WavWrite, NormalisationScalesThePeakTo099) {
  std::vector<double> x = {0.25, -0.5, 0.1}, silent(5, 0.0);
  EXPECT_EQ(wavampnormalize(x.data(), 3), 0);
  EXPECT_DOUBLE_EQ(x[0], 0.25 * 1.98);
  EXPECT_DOUBLE_EQ(x[1], -0.99);
  wavampnormalize(silent.data(), 5);
  EXPECT_EQ(silent, std::vector<double>(5, 0.0));
  std::vector<double> y = {0.1, -0.2};
  ASSERT_EQ(wavwritem1616(testfile("normalised.wav").c_str(), y.data(), 2, 1, 1), 2u);
  EXPECT_DOUBLE_EQ(y[1], -0.99);  // normalised in the caller's array before conversion
  EXPECT_EQ(takebytes(testfile("normalised.wav")).substr(46), le_bytes(static_cast<uint16_t>(-32440), 2));
}

TEST(WavWrite, FailuresReturnZero) {
  std::vector<double> x(3000, 0.1);
  EXPECT_EQ(wavwritem1616("/dev/full", x.data(), 3000, 0, 1), 0u);
  EXPECT_EQ(wavwritem1616("/nonexistent-dir/out.wav", x.data(), 3000, 0, 1), 0u);
}

}  // namespace
