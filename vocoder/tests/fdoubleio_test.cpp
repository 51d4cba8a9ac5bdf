#include "fdoubleio.h"

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

#include "childprocess.h"
#include "testfiles.h"

using namespace velk;

namespace {

// Reads the values back and removes the file.
std::vector<double> readback(const std::string& path) {
  return read_and_remove(path, fdoubleread);
}

TEST(ParameterFile, ValuesRoundTripThroughNearestFloatsInLittleEndian) {
  const std::string path = testfile("roundtrip");
  std::vector<double> values = {-1e10, 0.1, 1.0, -2.0, 1e300};
  const std::vector<double> original = values;
  ASSERT_EQ(fdoublewrite(path.c_str(), values.data(), 5, 1), 5u);
  EXPECT_EQ(values, original);  // keep = 1 leaves the caller's array alone
  EXPECT_EQ(file_contents(path).substr(8, 8), std::string("\x00\x00\x80\x3f\x00\x00\x00\xc0", 8));
  const std::vector<double> back = readback(path);
  ASSERT_EQ(back.size(), 5u);
  EXPECT_EQ(back[0], -1e10);
  EXPECT_EQ(back[1], 0.100000001490116119384765625);
  EXPECT_TRUE(std::isinf(back[4]));
}

TEST(ParameterFile, InPlaceConversionPacksFloatsIntoTheCallersArray) {
  const std::string path = testfile("inplace");
  std::vector<double> values(1000);
  for (size_t i = 0; i < values.size(); ++i) values[i] = std::sin(0.01 * static_cast<double>(i)) * 100.0;
  const std::vector<double> original = values;
  ASSERT_EQ(fdoublewrite(path.c_str(), values.data(), 1000, 0), 1000u);
  const std::vector<double> back = readback(path);
  ASSERT_EQ(back.size(), 1000u);
  for (size_t i = 0; i < back.size(); ++i) {
    float packed;
    memcpy(&packed, reinterpret_cast<const char*>(values.data()) + 4 * i, 4);
    ASSERT_EQ(packed, static_cast<float>(original[i])) << i;
    ASSERT_EQ(back[i], static_cast<double>(packed)) << i;
  }
}

TEST(ParameterFile, CountIsWholeFloatsAndFailuresAreZero) {
  const std::string ten = testfile("ten"), three = testfile("three"), empty = testfile("empty");
  std::ofstream(ten, std::ios::binary) << std::string("\x00\x00\x80\x3f\x00\x00\x00\x40\x01\x02", 10);
  std::ofstream(three, std::ios::binary) << "abc";
  std::ofstream(empty, std::ios::binary).flush();
  EXPECT_EQ(readback(ten), (std::vector<double>{1.0, 2.0}));
  EXPECT_TRUE(readback(three).empty());
  EXPECT_TRUE(readback(empty).empty());
  EXPECT_TRUE(readback(testfile("missing")).empty());
  double value = 1.0;
  double* values = nullptr;
  EXPECT_EQ(fdoubleread(nullptr, &values), 0u);
  EXPECT_EQ(fdoublewrite(nullptr, &value, 1, 1), 0u);
  const std::string zero = testfile("zerocount");
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
  const std::string path = testfile("floats");
  const float in[3] = {0.1f, -1e10f, 7.25f};
  ASSERT_EQ(ffloatwrite(path.c_str(), in, 3), 3u);
  float* out = nullptr;
  ASSERT_EQ(ffloatread(path.c_str(), &out), 3u);
  EXPECT_EQ(std::vector<float>(out, out + 3), std::vector<float>(in, in + 3));
  free(out);
  EXPECT_EQ(readback(path)[0], static_cast<double>(0.1f));
}

}  // namespace
