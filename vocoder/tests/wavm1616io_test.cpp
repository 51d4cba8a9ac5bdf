#include "wavm1616io.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

std::string temppath(const std::string& name) { return testing::TempDir() + "wavm1616io_" + name; }

Bytes filebytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writebytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void put(Bytes& b, const char* tag) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(tag[i]));
}
void put16(Bytes& b, uint32_t v) {
  b.push_back(static_cast<unsigned char>(v));
  b.push_back(static_cast<unsigned char>(v >> 8));
}
void put32(Bytes& b, uint32_t v) {
  put16(b, v & 0xffff);
  put16(b, v >> 16);
}

// Header fields of a test file, each changeable to build a rejected variant.
struct Header {
  uint32_t fmtsize = 16, format = 1, channels = 1, rate = 16000, bits = 16;
  Bytes beforedata;  // a chunk between fmt and data
  const char* datatag = "data";
};

Bytes wavfile(const Header& h, uint32_t datasize, const std::vector<int16_t>& samples) {
  Bytes b;
  put(b, "RIFF");
  put32(b, 36 + datasize);
  put(b, "WAVE");
  put(b, "fmt ");
  put32(b, h.fmtsize);
  put16(b, h.format);
  put16(b, h.channels);
  put32(b, h.rate);
  put32(b, h.rate * h.channels * h.bits / 8);
  put16(b, h.channels * h.bits / 8);
  put16(b, h.bits);
  for (uint32_t i = 16; i < h.fmtsize; ++i) b.push_back(0xee);
  b.insert(b.end(), h.beforedata.begin(), h.beforedata.end());
  put(b, h.datatag);
  put32(b, datasize);
  for (int16_t s : samples) put16(b, static_cast<uint16_t>(s));
  return b;
}

// Reads a file from the given bytes; the samples, or no value on failure.
bool readwav(const Bytes& bytes, std::vector<double>* samples) {
  const std::string path = temppath("in.wav");
  writebytes(path, bytes);
  double* data = nullptr;
  const uint32_t n = wavreadm1616(path.c_str(), &data);
  samples->assign(data, data + n);
  free(data);
  return n != 0;
}

TEST(WavRead, AcceptsCanonicalAndLongFmtChunks) {
  std::vector<double> s;
  ASSERT_TRUE(readwav(wavfile(Header(), 6, {32767, -32768, 1}), &s));
  EXPECT_EQ(s, (std::vector<double>{0.999969482421875, -1.0, 1.0 / 32768}));
  Header longfmt;
  longfmt.fmtsize = 18;
  ASSERT_TRUE(readwav(wavfile(longfmt, 4, {100, -100}), &s));
  EXPECT_EQ(s, (std::vector<double>{100.0 / 32768, -100.0 / 32768}));
}

TEST(WavRead, OddDataSizeReadsWholeSamples) {
  std::vector<double> s;
  Bytes b = wavfile(Header(), 7, {1, 2, 3});
  b.push_back(0x7f);
  ASSERT_TRUE(readwav(b, &s));
  EXPECT_EQ(s, (std::vector<double>{1.0 / 32768, 2.0 / 32768, 3.0 / 32768}));
}

TEST(WavRead, MissingSamplesReadAsZero) {
  std::vector<double> s;
  ASSERT_TRUE(readwav(wavfile(Header(), 2000, {5, 6, 7}), &s));
  ASSERT_EQ(s.size(), 1000u);
  EXPECT_EQ(s[0], 5.0 / 32768);
  EXPECT_EQ(s[2], 7.0 / 32768);
  for (size_t i = 3; i < s.size(); ++i) ASSERT_EQ(s[i], 0.0) << i;
  Bytes half = wavfile(Header(), 8, {9});
  half.push_back(0x01);  // one byte of a second sample
  ASSERT_TRUE(readwav(half, &s));
  EXPECT_EQ(s, (std::vector<double>{9.0 / 32768, 0.0, 0.0, 0.0}));
  Bytes onebyte = wavfile(Header(), 4, {});
  onebyte.push_back(0x7f);  // a lone byte, not a whole sample
  ASSERT_TRUE(readwav(onebyte, &s));
  EXPECT_EQ(s, (std::vector<double>{0.0, 0.0}));
}

TEST(WavRead, RejectsOtherFormats) {
  std::vector<double> s;
  Header stereo, eightbit, cd, shortfmt, list, float32, nodata;
  stereo.channels = 2;
  eightbit.bits = 8;
  cd.rate = 44100;
  shortfmt.fmtsize = 14;
  float32.format = 3;
  nodata.datatag = "DATA";
  list.beforedata = {'L', 'I', 'S', 'T', 4, 0, 0, 0, 'I', 'N', 'F', 'O'};
  for (const Header* h : {&stereo, &eightbit, &cd, &shortfmt, &list, &float32, &nodata})
    EXPECT_FALSE(readwav(wavfile(*h, 4, {1, 2}), &s));
  EXPECT_FALSE(readwav(wavfile(Header(), 0, {}), &s));
  EXPECT_FALSE(readwav(wavfile(Header(), 1, {}), &s));  // no whole sample
}

TEST(WavRead, TruncatedAndGarbageHeadersFailCleanly) {
  std::vector<double> s;
  const Bytes good = wavfile(Header(), 4, {1, 2});
  for (size_t cut = 0; cut < 44; ++cut) EXPECT_FALSE(readwav(Bytes(good.begin(), good.begin() + cut), &s)) << cut;
  Bytes riffx = good;
  riffx[3] = 'X';
  EXPECT_FALSE(readwav(riffx, &s));
  Bytes hugefmt = good;
  hugefmt[16] = hugefmt[17] = hugefmt[18] = hugefmt[19] = 0xff;
  EXPECT_FALSE(readwav(hugefmt, &s));
  Bytes noise(300);
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<unsigned char>(i * 37 + 11);
  EXPECT_FALSE(readwav(noise, &s));
  double* data = reinterpret_cast<double*>(1);
  EXPECT_EQ(wavreadm1616(temppath("missing.wav").c_str(), &data), 0u);
  EXPECT_EQ(data, nullptr);
}

TEST(WavWrite, HeaderAndSamplesOfAThreeSampleFile) {
  const std::string path = temppath("three.wav");
  std::vector<double> x = {0.5, -0.25, 1.5};
  ASSERT_EQ(wavwritem1616(path.c_str(), x.data(), 3, 0, 1), 3u);
  EXPECT_EQ(x, (std::vector<double>{0.5, -0.25, 1.5}));
  Bytes expected;
  put(expected, "RIFF");
  put32(expected, 42);
  put(expected, "WAVE");
  put(expected, "fmt ");
  put32(expected, 16);
  put16(expected, 1);
  put16(expected, 1);
  put32(expected, 16000);
  put32(expected, 32000);
  put16(expected, 2);
  put16(expected, 16);
  put(expected, "data");
  put32(expected, 6);
  for (int16_t v : {16384, -8192, 32767}) put16(expected, static_cast<uint16_t>(v));
  EXPECT_EQ(filebytes(path), expected);
  EXPECT_EQ(expected.size(), 50u);
}

TEST(WavWrite, ConversionSaturatesAndTruncates) {
  const std::vector<double> in = {0.999969482421875, 1.5, -1.0, -1.5, 0.9999, -0.00001, NAN, -0.5, 0.99996};
  const std::vector<int16_t> expected = {32767, 32767, -32768, -32768, 32764, 0, 0, -16384, 32766};
  std::vector<int16_t> out(in.size());
  EXPECT_EQ(wavdouble2short(static_cast<uint32_t>(in.size()), in.data(), out.data()), 0);
  EXPECT_EQ(out, expected);
}

TEST(WavWrite, SamplesRoundTripExactly) {
  const std::string path = temppath("roundtrip.wav");
  std::vector<double> x(4001);
  for (size_t i = 0; i < x.size(); ++i) x[i] = (static_cast<double>(i) - 2000.0) * 16.0 / 32768;  // -32000..32000
  x[0] = -1.0;
  x[1] = 32767.0 / 32768;
  const std::vector<double> original = x;
  ASSERT_EQ(wavwritem1616(path.c_str(), x.data(), 4001, 0, 0), 4001u);  // in place
  double* back = nullptr;
  ASSERT_EQ(wavreadm1616(path.c_str(), &back), 4001u);
  for (size_t i = 0; i < original.size(); ++i) ASSERT_EQ(back[i], original[i]) << i;
  free(back);
  int16_t packed[2];
  memcpy(packed, x.data(), sizeof packed);
  EXPECT_EQ(packed[0], -32768);
  EXPECT_EQ(packed[1], 32767);
}

TEST(WavWrite, NormalisationScalesThePeakTo099) {
  std::vector<double> x = {0.25, -0.5, 0.1};
  EXPECT_EQ(wavampnormalize(x.data(), 3), 0);
  EXPECT_DOUBLE_EQ(x[0], 0.25 * 1.98);
  EXPECT_DOUBLE_EQ(x[1], -0.99);
  EXPECT_DOUBLE_EQ(x[2], 0.198);
  std::vector<double> silent(5, 0.0);
  wavampnormalize(silent.data(), 5);
  EXPECT_EQ(silent, std::vector<double>(5, 0.0));
  const std::string path = temppath("normalised.wav");
  std::vector<double> y = {0.1, -0.2};
  ASSERT_EQ(wavwritem1616(path.c_str(), y.data(), 2, 1, 1), 2u);
  EXPECT_DOUBLE_EQ(y[1], -0.99);  // normalised in the caller's array
  const Bytes b = filebytes(path);
  ASSERT_EQ(b.size(), 48u);
  EXPECT_EQ(static_cast<int16_t>(b[46] | b[47] << 8), static_cast<int16_t>(-0.99 * 32768));
}

TEST(WavWrite, FailuresReturnZero) {
  std::vector<double> x(3000, 0.1);
  EXPECT_EQ(wavwritem1616("/dev/full", x.data(), 3000, 0, 1), 0u);
  EXPECT_EQ(wavwritem1616("/nonexistent-dir/out.wav", x.data(), 3000, 0, 1), 0u);
  EXPECT_EQ(x[0], 0.1);
}

}  // namespace
