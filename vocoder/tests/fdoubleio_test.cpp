#include "fdoubleio.h"

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

std::string temppath(const std::string& name) { return testing::TempDir() + "fdoubleio_" + name; }

std::vector<unsigned char> filebytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writebytes(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<double> readback(const std::string& path) {
  double* values = nullptr;
  const uint32_t n = fdoubleread(path.c_str(), &values);
  std::vector<double> out(values, values + n);
  free(values);
  return out;
}

TEST(ParameterFile, ValuesRoundTripThroughNearestFloats) {
  const std::string path = temppath("roundtrip");
  std::vector<double> values = {-1e10, 0.1, 4.605170185988092, -0.0, 1e300, 3.0};
  const std::vector<double> original = values;
  ASSERT_EQ(fdoublewrite(path.c_str(), values.data(), 6, 1), 6u);
  EXPECT_EQ(values, original);  // keep = 1 leaves the caller's array alone
  const std::vector<double> back = readback(path);
  ASSERT_EQ(back.size(), 6u);
  EXPECT_EQ(back[0], -1e10);
  EXPECT_EQ(back[1], 0.100000001490116119384765625);
  EXPECT_EQ(back[2], static_cast<double>(4.605170185988092f));
  EXPECT_TRUE(std::signbit(back[3]));
  EXPECT_TRUE(std::isinf(back[4]));
  EXPECT_EQ(back[5], 3.0);
}

TEST(ParameterFile, BytesAreLittleEndianFloats) {
  const std::string path = temppath("layout");
  std::vector<double> values = {1.0, -2.0};
  ASSERT_EQ(fdoublewrite(path.c_str(), values.data(), 2, 1), 2u);
  const std::vector<unsigned char> expected = {0x00, 0x00, 0x80, 0x3f, 0x00, 0x00, 0x00, 0xc0};
  EXPECT_EQ(filebytes(path), expected);
}

TEST(ParameterFile, InPlaceConversionPacksFloatsIntoTheCallersArray) {
  const std::string path = temppath("inplace");
  std::vector<double> values(1000);
  for (size_t i = 0; i < values.size(); ++i) values[i] = std::sin(0.01 * static_cast<double>(i)) * 100.0;
  const std::vector<double> original = values;
  ASSERT_EQ(fdoublewrite(path.c_str(), values.data(), 1000, 0), 1000u);
  const std::vector<double> back = readback(path);
  ASSERT_EQ(back.size(), 1000u);
  for (size_t i = 0; i < back.size(); ++i) {
    EXPECT_EQ(back[i], static_cast<double>(static_cast<float>(original[i]))) << i;
    float packed;
    memcpy(&packed, reinterpret_cast<const char*>(values.data()) + 4 * i, 4);
    EXPECT_EQ(packed, static_cast<float>(original[i])) << i;
  }
}

TEST(ParameterFile, CountIsWholeFloatsOnly) {
  const std::string ten = temppath("ten");
  writebytes(ten, {0, 0, 0x80, 0x3f, 0, 0, 0, 0x40, 1, 2});
  const std::vector<double> back = readback(ten);
  EXPECT_EQ(back, (std::vector<double>{1.0, 2.0}));
  const std::string three = temppath("three");
  writebytes(three, {1, 2, 3});
  EXPECT_TRUE(readback(three).empty());
  const std::string empty = temppath("empty");
  writebytes(empty, {});
  double* values = reinterpret_cast<double*>(1);
  EXPECT_EQ(fdoubleread(empty.c_str(), &values), 0u);
  EXPECT_EQ(values, nullptr);
}

TEST(ParameterFile, FailuresReturnZero) {
  double value = 1.0;
  double* values = nullptr;
  EXPECT_EQ(fdoubleread(nullptr, &values), 0u);
  EXPECT_EQ(fdoubleread(temppath("missing").c_str(), &values), 0u);
  EXPECT_EQ(fdoublewrite(nullptr, &value, 1, 1), 0u);
  const std::string zero = temppath("zerocount");
  remove(zero.c_str());
  EXPECT_EQ(fdoublewrite(zero.c_str(), &value, 0, 1), 0u);
  EXPECT_EQ(fopen(zero.c_str(), "rb"), nullptr);  // no file for a zero count
  EXPECT_EQ(fdoublewrite("/nonexistent-dir/x.lf0", &value, 1, 1), 0u);
}

TEST(ParameterFile, WriteToAFullDeviceIsAFailure) {
  std::vector<double> values(4096, 0.5);
  EXPECT_EQ(fdoublewrite("/dev/full", values.data(), 4096, 1), 0u);
  EXPECT_EQ(fdoublewrite("/dev/full", values.data(), 1, 0), 0u);
  const float floats[2] = {1.0f, 2.0f};
  EXPECT_EQ(ffloatwrite("/dev/full", floats, 2), 0u);
}

TEST(ParameterFile, FloatVariantsCarryValuesUnchanged) {
  const std::string path = temppath("floats");
  const float in[3] = {0.1f, -1e10f, 7.25f};
  ASSERT_EQ(ffloatwrite(path.c_str(), in, 3), 3u);
  float* out = nullptr;
  ASSERT_EQ(ffloatread(path.c_str(), &out), 3u);
  EXPECT_EQ(out[0], 0.1f);
  EXPECT_EQ(out[1], -1e10f);
  EXPECT_EQ(out[2], 7.25f);
  free(out);
  double* widened = nullptr;
  ASSERT_EQ(fdoubleread(path.c_str(), &widened), 3u);
  EXPECT_EQ(widened[0], static_cast<double>(0.1f));
  free(widened);
}

}  // namespace
