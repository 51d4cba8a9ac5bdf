// The cosine-series least-squares fit through its Toeplitz-plus-Hankel normal equations against
// solveleastsquares on the explicit matrix a[k][j] = s_j cos(j * angle_k).

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "matvect.h"

using namespace velk;

namespace {

std::vector<double> explicitmatrix(const std::vector<double>& angles, uint32_t n) {
  std::vector<double> a(angles.size() * n);
  for (size_t k = 0; k < angles.size(); ++k)
    for (uint32_t j = 0; j < n; ++j) a[k * n + j] = (j == 0 ? 1.0 : 2.0) * std::cos(j * angles[k]);
  return a;
}

struct fitcase {
  uint32_t m, n;
  int16_t regularise;
};

class CosineSeries : public testing::TestWithParam<fitcase> {};

TEST_P(CosineSeries, MatchesTheFitOnTheExplicitMatrix) {
  const fitcase c = GetParam();
  std::vector<double> angles(c.m), y(c.m);
  for (uint32_t k = 0; k < c.m; ++k) {
    angles[k] = 3.1 * (k + 1.0) / (c.m + 1.0) + 0.01 * std::sin(7.0 * k);  // increasing, inside (0, pi)
    y[k] = std::log(1.0 + k) - 0.3 * std::cos(0.7 * k);
  }
  const std::vector<double> a = explicitmatrix(angles, c.n);
  std::vector<double> want(c.n), got(c.n), work(c.n * (2 * c.n + 1));
  ASSERT_EQ(solveleastsquares(a.data(), y.data(), want.data(), c.m, c.n, 1, nullptr, c.regularise), 0);
  ASSERT_EQ(solvecosineseries(angles.data(), y.data(), got.data(), c.m, c.n, work.data(), c.regularise), 0);
  double scale = 0.0;
  for (double v : want) scale = std::fmax(scale, std::fabs(v));
  for (uint32_t j = 0; j < c.n; ++j) EXPECT_NEAR(got[j], want[j], 1e-10 * scale) << "coefficient " << j;
  std::vector<double> own(c.n);
  ASSERT_EQ(solvecosineseries(angles.data(), y.data(), own.data(), c.m, c.n, nullptr, c.regularise), 0);
  EXPECT_EQ(own, got);
}

INSTANTIATE_TEST_SUITE_P(Sizes, CosineSeries,
                         testing::Values(fitcase{80, 40, 1}, fitcase{12, 40, 1}, fitcase{200, 25, 1},
                                         fitcase{60, 10, 0}, fitcase{3, 1, 1}),
                         [](const testing::TestParamInfo<fitcase>& info) {
                           return "m" + std::to_string(info.param.m) + "_n" + std::to_string(info.param.n) +
                                  (info.param.regularise ? "_ridge" : "_plain");
                         });

TEST(CosineSeriesFailures, SingularOrEmptySystems) {
  const std::vector<double> angles = {0.5, 0.5}, y = {1.0, 2.0};
  std::vector<double> x(4);
  // Two equal angles cannot fix four unpenalised coefficients.
  EXPECT_EQ(solvecosineseries(angles.data(), y.data(), x.data(), 2, 4, nullptr, 0), -1);
  EXPECT_EQ(solvecosineseries(angles.data(), y.data(), x.data(), 2, 0, nullptr, 1), -1);
}

}  // namespace
