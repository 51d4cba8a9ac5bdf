// The harmonic basis rows built column by column (hamatrixcreate) against the straightforward
// construction: the unit phasor row, each harmonic row the product of the row above and the
// first one, then every row windowed and conjugated into its mirror. The values must be equal
// bit for bit, since the harmonic fit near fs/2 magnifies any rounding difference.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "harmonicanalysis.h"
#include "windowing.h"

using namespace velk;

namespace {

const double kFs = 16000.0;

std::vector<complex> straightforward(uint32_t N, uint32_t K, double f0, const std::vector<double>& w) {
  const uint32_t h = N >> 1, M = 2 * K + 1;
  std::vector<complex> b(static_cast<size_t>(M) * N);
  auto at = [&](uint32_t r, uint32_t m) -> complex& { return b[static_cast<size_t>(r) * N + m]; };
  if (K > 0) {
    const double omega = 6.283185307179586 * f0 / kFs, c = std::cos(omega), s = std::sin(omega);
    double re = 1.0, im = 0.0;
    at(K - 1, h) = {1.0, 0.0};
    for (uint32_t i = 1; i <= h; ++i) {
      const double nr = re * c - im * s;
      im = re * s + im * c;
      re = nr;
      at(K - 1, h + i) = {re, im};
      at(K - 1, h - i) = {re, -im};
    }
    for (uint32_t r = K - 1; r-- > 0;)
      for (uint32_t m = 0; m < N; ++m) {
        const complex below = at(r + 1, m), first = at(K - 1, m);
        at(r, m) = {below.re * first.re - below.im * first.im, below.re * first.im + below.im * first.re};
      }
  }
  for (uint32_t m = 0; m < N; ++m) at(K, m) = {w[m], 0.0};
  for (uint32_t r = 0; r < K; ++r)
    for (uint32_t m = 0; m < N; ++m) {
      at(r, m).re *= w[m];
      at(r, m).im *= w[m];
      at(2 * K - r, m) = {at(r, m).re, -at(r, m).im};
    }
  return b;
}

struct basiscase {
  double f0;
  uint32_t K;
};

class HarmonicBasis : public testing::TestWithParam<basiscase> {};

TEST_P(HarmonicBasis, EqualsTheStraightforwardRowsBitForBit) {
  const basiscase c = GetParam();
  const uint32_t N = haframesize(kFs, c.f0), M = 2 * c.K + 1;
  std::vector<double> w(N);
  winhamming(w.data(), N, 1);
  std::vector<complex> got(static_cast<size_t>(M) * N, {7.0, 7.0});
  ASSERT_EQ(hamatrixcreate(got.data(), N, c.K, c.f0, kFs, w.data()), 0);
  const std::vector<complex> want = straightforward(N, c.K, c.f0, w);
  for (size_t i = 0; i < want.size(); ++i) {
    ASSERT_EQ(got[i].re, want[i].re) << "row " << i / N << " column " << i % N;
    ASSERT_EQ(got[i].im, want[i].im) << "row " << i / N << " column " << i % N;
  }
}

INSTANTIATE_TEST_SUITE_P(Frames, HarmonicBasis,
                         testing::Values(basiscase{60.0, 132}, basiscase{123.45, 64}, basiscase{199.99, 40},
                                         basiscase{333.3, 3}, basiscase{150.0, 1}, basiscase{150.0, 0}),
                         [](const testing::TestParamInfo<basiscase>& info) {
                           return "f0_" + std::to_string(static_cast<int>(info.param.f0 * 100)) + "_K" +
                                  std::to_string(info.param.K);
                         });

}  // namespace
