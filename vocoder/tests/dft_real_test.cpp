// The real-input transform through one half-size complex transform against the full complex
// transform of the same values: every bin equal up to rounding relative to the largest bin.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "dft.h"

using namespace velk;

namespace {

std::vector<double> testsignal(int32_t n) {
  std::vector<double> v(n);
  uint32_t state = 2024u + n;
  for (int32_t i = 0; i < n; ++i) {
    state = state * 1664525u + 1013904223u;
    v[i] = (state >> 8) / 16777216.0 - 0.5 + std::cos(0.3 * i) + (i == 0 ? 3.0 : 0.0);
  }
  return v;
}

class RealTransform : public testing::TestWithParam<int32_t> {};

TEST_P(RealTransform, MatchesTheComplexTransform) {
  const int32_t n = GetParam();
  const std::vector<double> v = testsignal(n);
  std::vector<complex> full(n);
  for (int32_t i = 0; i < n; ++i) full[i] = {v[i], 0.0};
  ASSERT_EQ(fftc(n, full.data()), 0);
  std::vector<complex> packed(n / 2);
  for (int32_t k = 0; k < n / 2; ++k) packed[k] = {v[2 * k], v[2 * k + 1]};
  ASSERT_EQ(fftrealpacked(n, packed.data()), 0);

  double largest = 0.0;
  for (const complex& z : full) largest = std::fmax(largest, std::hypot(z.re, z.im));
  // Both transforms advance their twiddles by recurrences whose error grows with the length.
  const double tolerance = std::fmax(1e-14 * std::log2(2.0 * n), 2e-16 * n) * largest;
  EXPECT_NEAR(packed[0].re, full[0].re, tolerance);
  EXPECT_NEAR(packed[0].im, full[n / 2].re, tolerance);
  EXPECT_NEAR(full[n / 2].im, 0.0, tolerance);
  for (int32_t k = 1; k < n / 2; ++k) {
    EXPECT_NEAR(packed[k].re, full[k].re, tolerance) << "bin " << k;
    EXPECT_NEAR(packed[k].im, full[k].im, tolerance) << "bin " << k;
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, RealTransform, testing::Values(2, 4, 8, 64, 1024, 4096, 65536),
                         [](const testing::TestParamInfo<int32_t>& info) {
                           return "n" + std::to_string(info.param);
                         });

TEST(RealTransformSizes, RefusesWhatIsNotAPowerOfTwoOfAtLeastTwo) {
  std::vector<complex> x(8, {1.0, 2.0});
  EXPECT_EQ(fftrealpacked(12, x.data()), -1);
  EXPECT_EQ(fftrealpacked(1, x.data()), -1);
  EXPECT_EQ(fftrealpacked(0, x.data()), -1);
  EXPECT_EQ(fftrealpacked(-8, x.data()), -1);
  for (const complex& z : x) EXPECT_EQ(z.re, 1.0);
}

}  // namespace

namespace {

// The real inverse against the split-array inverse of the full conjugate-symmetric spectrum.
class RealInverse : public testing::TestWithParam<int32_t> {};

TEST_P(RealInverse, MatchesTheSplitInverse) {
  const int32_t n = GetParam();
  const std::vector<double> v = testsignal(n), u = testsignal(n + 1);
  std::vector<double> re(n), im(n);
  for (int32_t k = 0; k <= n / 2; ++k) {
    re[k] = v[k];
    im[k] = k == 0 || k == n / 2 ? 0.0 : u[k];
  }
  for (int32_t k = 1; k < n / 2; ++k) {
    re[n - k] = re[k];
    im[n - k] = -im[k];
  }
  std::vector<double> fullre = re, fullim = im;
  ASSERT_EQ(ifftr(n, fullre.data(), fullim.data()), 0);
  const std::vector<double> imbefore = im;
  ASSERT_EQ(ifftreal(n, re.data(), im.data()), 0);
  EXPECT_EQ(im, imbefore);
  double largest = 0.0;
  for (double x : fullre) largest = std::fmax(largest, std::fabs(x));
  const double tolerance = std::fmax(1e-14 * std::log2(2.0 * n), 2e-16 * n) * largest;
  for (int32_t t = 0; t < n; ++t) {
    EXPECT_NEAR(re[t], fullre[t], tolerance) << "sample " << t;
    EXPECT_NEAR(fullim[t], 0.0, tolerance) << "sample " << t;
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, RealInverse, testing::Values(2, 4, 8, 256, 1024, 4096),
                         [](const testing::TestParamInfo<int32_t>& info) {
                           return "n" + std::to_string(info.param);
                         });

TEST(RealInverseSizes, RefusesWhatIsNotAPowerOfTwoOfAtLeastTwo) {
  std::vector<double> re(12, 1.0), im(12, 0.0);
  EXPECT_EQ(ifftreal(12, re.data(), im.data()), -1);
  EXPECT_EQ(ifftreal(1, re.data(), im.data()), -1);
  EXPECT_EQ(ifftreal(0, re.data(), im.data()), -1);
  for (double x : re) EXPECT_EQ(x, 1.0);
}

}  // namespace
