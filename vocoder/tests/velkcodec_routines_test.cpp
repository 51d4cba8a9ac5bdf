// The encoder's dithering of constant runs and the range adaptation of the cepstra.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "velkcodec.h"

using namespace velk;

namespace {

// A ramp (no two equal neighbours) with the samples [from, to) set to value.
std::vector<double> withrun(size_t n, size_t from, size_t to, double value) {
  std::vector<double> x(n);
  for (size_t i = 0; i < n; ++i) x[i] = (i >= from && i < to) ? value : static_cast<double>(i) / 32768;
  return x;
}

// Indices where the two signals differ.
std::vector<size_t> changed(const std::vector<double>& a, const std::vector<double>& b) {
  std::vector<size_t> at;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i]) at.push_back(i);
  return at;
}

TEST(Padzeros, OnlyRunsLongerThanTheThresholdAreDithered) {
  std::vector<double> x = withrun(1000, 100, 260, 0.25);  // exactly 160 equal samples
  const std::vector<double> exact = x;
  EXPECT_EQ(padzeros(x.data(), 1000, 160), 0);
  EXPECT_EQ(x, exact);
  EXPECT_EQ(padzeros(x.data(), 1000, 159), 1);
  const std::vector<size_t> at = changed(x, exact);
  ASSERT_EQ(at.size(), 160u);
  EXPECT_EQ(at.front(), 100u);
  EXPECT_EQ(at.back(), 259u);
  for (size_t i : at) EXPECT_LT(std::fabs(x[i] - 0.25), 8 * 1.3 / 32768) << i;
}

TEST(Padzeros, RunsAtTheEndAndWholeSignalsAreDithered) {
  std::vector<double> x = withrun(500, 300, 500, 0.0);
  const std::vector<double> original = x;
  EXPECT_EQ(padzeros(x.data(), 500, 160), 1);
  EXPECT_EQ(changed(x, original).size(), 200u);
  EXPECT_EQ(changed(x, original).front(), 300u);
  std::vector<double> silent(400, 0.0);
  EXPECT_EQ(padzeros(silent.data(), 400, 160), 1);
  EXPECT_EQ(changed(silent, std::vector<double>(400, 0.0)).size(), 400u);
}

TEST(Padzeros, ZeroThresholdAndNanRunsChangeNothing) {
  std::vector<double> silent(400, 0.0), nans(400, NAN);
  EXPECT_EQ(padzeros(silent.data(), 400, 0), 0);
  EXPECT_EQ(silent, std::vector<double>(400, 0.0));
  EXPECT_EQ(padzeros(nans.data(), 400, 10), 0);  // NaN never equals its neighbour
  for (double v : nans) EXPECT_TRUE(std::isnan(v));
}

TEST(Padzeros, NoiseHasTheRequestedDeviation) {
  const size_t n = 200000;
  std::vector<double> x(n, 0.0);
  ASSERT_EQ(padzeros(x.data(), static_cast<uint32_t>(n), 160), 1);
  double sum = 0, squares = 0;
  for (double v : x) {
    sum += v;
    squares += v * v;
  }
  const double sigma = 1.3 / 32768, mean = sum / n;
  EXPECT_LT(std::fabs(mean), 5 * sigma / std::sqrt(static_cast<double>(n)));
  EXPECT_NEAR(std::sqrt(squares / n - mean * mean) / sigma, 1.0, 0.01);
}

TEST(Morvadapteradhoc, OffsetsC0AndDoublesTheRest) {
  std::vector<double> cc = {1.0, 0.5, -0.25, 2.0, -3.0, 0.0, 1.5, -1.0};
  EXPECT_EQ(morvadapteradhoc(cc.data(), 3, 2), 0);
  EXPECT_EQ(cc, (std::vector<double>{6.0, 1.0, -0.5, 4.0, 2.0, 0.0, 3.0, -2.0}));
  double single = 0.0;
  morvadapteradhoc(&single, 0, 1);
  EXPECT_EQ(single, 5.0);
  EXPECT_EQ(invmorvadapteradhoc(cc.data(), 3, 2), 0);
  EXPECT_EQ(cc, (std::vector<double>{1.0, 0.5, -0.25, 2.0, -3.0, 0.0, 1.5, -1.0}));
}

}  // namespace
