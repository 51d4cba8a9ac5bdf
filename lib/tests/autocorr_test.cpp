#include "autocorr.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using velk::lagcorr;

constexpr double kPi = 3.14159265358979323846;

TEST(Lagcorr, KnownSequence) {
  const double x[4] = {1.0, 2.0, 3.0, 4.0};
  double r[6];
  lagcorr(x, 4, r, 5);
  // 1+4+9+16, 2+6+12, 3+8, 4, and nothing beyond the frame.
  const double expected[6] = {30.0, 20.0, 11.0, 4.0, 0.0, 0.0};
  for (int k = 0; k < 6; k++) EXPECT_EQ(r[k], expected[k]) << k;
}

TEST(Lagcorr, CosineFrameAgainstItsClosedForm) {
  // For x[i] = cos(ωi), Σ x[i]x[i+k] = ((l−k)·cos(ωk) + Σ cos(ω(2i+k))) / 2.
  const int l = 200, m = 30;
  const double w = 2 * kPi * 0.05;
  std::vector<double> x(l), r(m + 1);
  for (int i = 0; i < l; i++) x[i] = std::cos(w * i);
  lagcorr(x.data(), l, r.data(), m);
  for (int k = 0; k <= m; k++) {
    double rest = 0.0;
    for (int i = 0; i + k < l; i++) rest += std::cos(w * (2 * i + k));
    EXPECT_NEAR(r[k], 0.5 * ((l - k) * std::cos(w * k) + rest), 1e-9) << k;
  }
}

TEST(Lagcorr, OrderZeroIsTheEnergy) {
  const double x[3] = {0.5, -1.5, 2.0};
  double r0 = -1.0;
  lagcorr(x, 3, &r0, 0);
  EXPECT_EQ(r0, 0.25 + 2.25 + 4.0);
}

}  // namespace
