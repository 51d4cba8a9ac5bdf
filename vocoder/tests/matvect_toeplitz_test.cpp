// The Toeplitz inverse against the straightforward scalar recursion (bordering for the first
// row, then the Gohberg-Semencul row fill): equal bit for bit, since the harmonic fit that uses it
// magnifies any rounding difference near fs/2.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "matvect.h"

using namespace velk;

namespace {

std::vector<double> scalarinverse(uint32_t n, const std::vector<double>& t) {
  std::vector<double> inverse(static_cast<size_t>(n) * n);
  if (n == 1) {
    inverse[0] = 1.0 / t[0];
    return inverse;
  }
  double *f = inverse.data(), *g = inverse.data() + n;
  f[0] = 1.0 / t[0];
  for (uint32_t k = 1; k < n; k++) {
    const double* row = t.data() + static_cast<size_t>(k) * n;
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;  // the four interleaved partial sums
    uint32_t l = 0;
    for (; l + 4 <= k; l += 4) {
      s0 += f[l] * row[l];
      s1 += f[l + 1] * row[l + 1];
      s2 += f[l + 2] * row[l + 2];
      s3 += f[l + 3] * row[l + 3];
    }
    for (; l < k; l++) s0 += f[l] * row[l];
    const double e = (s0 + s1) + (s2 + s3);
    const double alpha = 1.0 / (1.0 - e * e), beta = -e * alpha;
    g[0] = f[0] * alpha;
    g[k] = f[0] * beta;
    for (uint32_t j = 1; j < k; j++) g[j] = f[k - j] * beta + f[j] * alpha;
    std::swap(f, g);
  }
  if (f != inverse.data())
    for (uint32_t j = 0; j < n; j++) inverse[j] = f[j];
  const double* v = inverse.data();
  const double rv0 = 1.0 / v[0];
  for (uint32_t i = 1; i < n; i++) {
    double* row = inverse.data() + static_cast<size_t>(i) * n;
    const double* above = row - n;
    row[0] = v[i];
    for (uint32_t j = 1; j < n; j++) row[j] = above[j - 1] + (v[i] * v[j] - v[n - i] * v[n - j]) * rv0;
  }
  return inverse;
}

class ToeplitzInverse : public testing::TestWithParam<uint32_t> {};

TEST_P(ToeplitzInverse, EqualsTheScalarRecursionBitForBit) {
  const uint32_t n = GetParam();
  std::vector<double> first(n);
  for (uint32_t j = 0; j < n; j++) first[j] = std::cos(0.3 * j) * std::exp(-0.05 * j) + (j == 0 ? 2.0 : 0.0);
  std::vector<double> t(static_cast<size_t>(n) * n);
  for (uint32_t i = 0; i < n; i++)
    for (uint32_t j = 0; j < n; j++) t[static_cast<size_t>(i) * n + j] = first[i > j ? i - j : j - i];
  std::vector<double> got(static_cast<size_t>(n) * n);
  ASSERT_EQ(toeplitzsiminv(n, t.data(), got.data()), 0);
  const std::vector<double> want = scalarinverse(n, t);
  for (size_t i = 0; i < want.size(); i++) ASSERT_EQ(got[i], want[i]) << "element " << i;
}

INSTANTIATE_TEST_SUITE_P(Sizes, ToeplitzInverse,
                         testing::Values(1u, 2u, 3u, 4u, 5u, 8u, 17u, 81u, 160u, 161u),
                         [](const testing::TestParamInfo<uint32_t>& info) {
                           return "n" + std::to_string(info.param);
                         });

}  // namespace
