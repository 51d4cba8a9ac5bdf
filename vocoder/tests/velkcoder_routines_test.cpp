// The encoder's own routines: dithering of constant runs and the range adaptation of the cepstra.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#define main velkcoder_main
#include "../velkcoder.cpp"
#undef main

namespace {

// A signal without two equal neighbours.
std::vector<double> ramp(size_t n) {
  std::vector<double> x(n);
  for (size_t i = 0; i < n; ++i) x[i] = static_cast<double>(i) / 32768;
  return x;
}

size_t changedcount(const std::vector<double>& a, const std::vector<double>& b) {
  size_t changed = 0;
  for (size_t i = 0; i < a.size(); ++i) changed += a[i] != b[i];
  return changed;
}

TEST(Padzeros, OnlyRunsLongerThanTheThresholdAreDithered) {
  std::vector<double> x = ramp(1000);
  for (size_t i = 100; i < 260; ++i) x[i] = 0.25;  // exactly 160 equal samples
  const std::vector<double> original = x;
  EXPECT_EQ(padzeros(x.data(), 1000, 160), 0);
  EXPECT_EQ(x, original);

  x[260] = 0.25;  // now 161
  const std::vector<double> longer = x;
  EXPECT_EQ(padzeros(x.data(), 1000, 160), 1);
  EXPECT_EQ(changedcount(x, longer), 161u);
  for (size_t i = 100; i <= 260; ++i) {
    EXPECT_NE(x[i], 0.25) << i;
    EXPECT_LT(std::fabs(x[i] - 0.25), 8 * 1.3 / 32768) << i;
  }
  EXPECT_EQ(x[99], longer[99]);
  EXPECT_EQ(x[261], longer[261]);
}

TEST(Padzeros, RunAtTheEndAndTheWholeSignal) {
  std::vector<double> x = ramp(500);
  for (size_t i = 300; i < 500; ++i) x[i] = 0.0;
  const std::vector<double> original = x;
  EXPECT_EQ(padzeros(x.data(), 500, 160), 1);
  EXPECT_EQ(changedcount(x, original), 200u);
  EXPECT_EQ(std::vector<double>(x.begin(), x.begin() + 300), std::vector<double>(original.begin(), original.begin() + 300));

  std::vector<double> silent(400, 0.0);
  EXPECT_EQ(padzeros(silent.data(), 400, 160), 1);
  EXPECT_EQ(changedcount(silent, std::vector<double>(400, 0.0)), 400u);
}

TEST(Padzeros, ZeroThresholdAndNanRunsChangeNothing) {
  std::vector<double> silent(400, 0.0);
  EXPECT_EQ(padzeros(silent.data(), 400, 0), 0);
  EXPECT_EQ(silent, std::vector<double>(400, 0.0));
  std::vector<double> nans(400, NAN);
  EXPECT_EQ(padzeros(nans.data(), 400, 10), 0);  // NaN never equals its neighbour
  for (double v : nans) EXPECT_TRUE(std::isnan(v));
  double one = 0.5;
  EXPECT_EQ(padzeros(&one, 1, 1), 0);
}

TEST(Padzeros, NoiseHasTheRequestedDeviation) {
  const size_t n = 200000;
  std::vector<double> x(n, 0.0);
  srand(12345);
  ASSERT_EQ(padzeros(x.data(), static_cast<uint32_t>(n), 160), 1);
  double sum = 0, squares = 0;
  for (double v : x) {
    sum += v;
    squares += v * v;
  }
  const double sigma = 1.3 / 32768;
  const double mean = sum / n;
  const double deviation = std::sqrt(squares / n - mean * mean);
  EXPECT_LT(std::fabs(mean), 5 * sigma / std::sqrt(static_cast<double>(n)));
  EXPECT_NEAR(deviation / sigma, 1.0, 0.01);
}

TEST(Morvadapteradhoc, OffsetsC0AndDoublesTheRest) {
  const uint32_t order = 3, frames = 2;
  std::vector<double> cc = {1.0, 0.5, -0.25, 2.0, -3.0, 0.0, 1.5, -1.0};
  EXPECT_EQ(morvadapteradhoc(cc.data(), order, frames), 0);
  EXPECT_EQ(cc, (std::vector<double>{6.0, 1.0, -0.5, 4.0, 2.0, 0.0, 3.0, -2.0}));
  std::vector<double> single = {0.0};
  morvadapteradhoc(single.data(), 0, 1);
  EXPECT_EQ(single[0], 5.0);
}

}  // namespace
