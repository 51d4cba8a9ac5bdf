// Frame LPC analysis: recovery of a known AR(4) predictor, agreement of the
// recursion with a direct solve of the normal equations, the noise floor,
// refusals, the all-zero frame, windowing and the window tables.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "brindel/epoch_tracker/lpcframes.h"

namespace {

// Coefficients 1, c1, c2 of (1 - r e^{jw} z^-1)(1 - r e^{-jw} z^-1).
std::vector<double> pole_pair(double r, double w) { return {1.0, -2.0 * r * cos(w), r * r}; }

std::vector<double> multiply(const std::vector<double>& a, const std::vector<double>& b) {
  std::vector<double> c(a.size() + b.size() - 1, 0.0);
  for (size_t i = 0; i < a.size(); i++)
    for (size_t j = 0; j < b.size(); j++) c[i + j] += a[i] * b[j];
  return c;
}

// White noise through the all-pole filter 1 / A(z).
std::vector<float> ar_process(const std::vector<double>& a, int n, unsigned seed) {
  std::mt19937 gen(seed);
  std::normal_distribution<double> normal(0.0, 1000.0);
  std::vector<double> y(n + 500, 0.0);
  for (size_t i = 0; i < y.size(); i++) {
    double v = normal(gen);
    for (size_t j = 1; j < a.size(); j++)
      if (i >= j) v -= a[j] * y[i - j];
    y[i] = v;
  }
  return std::vector<float>(y.begin() + 500, y.end());
}

// Solves the normal equations sum_j a_j r|i-j| = -r_i (i = 1..p) by Gaussian elimination.
std::vector<double> solve_normal_equations(const std::vector<float>& r, int p) {
  std::vector<std::vector<double>> m(p, std::vector<double>(p + 1));
  for (int i = 0; i < p; i++) {
    for (int j = 0; j < p; j++) m[i][j] = r[std::abs(i - j)];
    m[i][p] = -r[i + 1];
  }
  for (int c = 0; c < p; c++)
    for (int i = c + 1; i < p; i++) {
      const double f = m[i][c] / m[c][c];
      for (int j = c; j <= p; j++) m[i][j] -= f * m[c][j];
    }
  std::vector<double> a(p);
  for (int i = p - 1; i >= 0; i--) {
    double s = m[i][p];
    for (int j = i + 1; j < p; j++) s -= m[i][j] * a[j];
    a[i] = s / m[i][i];
  }
  return a;
}

TEST(LpcAnalyzer, RecoversTheAr4Predictor) {
  const std::vector<double> a = multiply(pole_pair(0.9, 0.2 * M_PI), pole_pair(0.8, 0.6 * M_PI));
  const int n = 64000;
  const std::vector<float> x = ar_process(a, n, 11);
  LpcAnalyzer lpc;
  float lpca[5], ar[5], lpck[4], normerr = 0.0f, rms = 0.0f;
  ASSERT_TRUE(lpc.ComputeLpc(4, 0.0f, n, x.data(), lpca, ar, lpck, &normerr, &rms, 0.0f));
  for (int i = 0; i <= 4; i++) EXPECT_NEAR(lpca[i], a[i], 0.03) << "coefficient " << i;
  for (int i = 0; i < 4; i++) EXPECT_LT(std::fabs(lpck[i]), 1.0f);
  EXPECT_EQ(ar[0], 1.0f);
  // The residual energy ratio of the recursion equals r0 + sum a_i r_i of the normal equations.
  double err = ar[0];
  for (int i = 1; i <= 4; i++) err += lpca[i] * ar[i];
  EXPECT_NEAR(normerr, err, 1e-4);
  // The process has unit-variance innovations of 1000: the windowed RMS, scaled back,
  // lands near the true RMS of x.
  double power = 0.0;
  for (float v : x) power += (double)v * v;
  EXPECT_NEAR(rms / std::sqrt(power / n), 1.0, 0.05);
}

TEST(LpcAnalyzer, RecursionMatchesTheNormalEquations) {
  const std::vector<double> a = multiply(pole_pair(0.95, 0.1 * M_PI), pole_pair(0.7, 0.45 * M_PI));
  const std::vector<float> x = ar_process(a, 400, 5);
  LpcAnalyzer lpc;
  const int p = 10;
  float lpca[p + 1], ar[p + 1];
  ASSERT_TRUE(lpc.ComputeLpc(p, 0.0f, 400, x.data(), lpca, ar, nullptr, nullptr, nullptr, 0.0f));
  const std::vector<double> direct = solve_normal_equations(std::vector<float>(ar, ar + p + 1), p);
  for (int i = 0; i < p; i++) EXPECT_NEAR(lpca[i + 1], direct[i], 2e-3) << i;
}

TEST(LpcAnalyzer, NoiseFloorScalesTheLaggedAutocorrelation) {
  const std::vector<float> x = ar_process(pole_pair(0.9, 0.3), 512, 2);
  LpcAnalyzer lpc;
  float plain[9], floor1[9], floor60[9];
  ASSERT_TRUE(lpc.ComputeLpc(8, 0.0f, 512, x.data(), nullptr, plain, nullptr, nullptr, nullptr, 0.0f));
  ASSERT_TRUE(lpc.ComputeLpc(8, 1.0f, 512, x.data(), nullptr, floor1, nullptr, nullptr, nullptr, 0.0f));
  ASSERT_TRUE(lpc.ComputeLpc(8, 60.0f, 512, x.data(), nullptr, floor60, nullptr, nullptr, nullptr, 0.0f));
  EXPECT_EQ(floor60[0], 1.0f);
  for (int i = 0; i <= 8; i++) {
    EXPECT_EQ(floor1[i], plain[i]);
    if (i > 0) {
      EXPECT_NEAR(floor60[i], plain[i] / 1.001, 1e-6) << i;
    }
  }
}

TEST(LpcAnalyzer, AllZeroFrame) {
  const std::vector<float> zeros(256, 0.0f);
  LpcAnalyzer lpc;
  float lpca[7], ar[7], normerr = 0.0f, rms = 0.0f;
  ASSERT_TRUE(lpc.ComputeLpc(6, 0.0f, 256, zeros.data(), lpca, ar, nullptr, &normerr, &rms, 0.0f));
  EXPECT_FLOAT_EQ(rms, 1.0f / 0.612372f);
  EXPECT_EQ(normerr, 1.0f);
  EXPECT_EQ(ar[0], 1.0f);
  EXPECT_EQ(lpca[0], 1.0f);
  for (int i = 1; i <= 6; i++) {
    EXPECT_EQ(ar[i], 0.0f);
    EXPECT_EQ(lpca[i], 0.0f);
  }
}

TEST(LpcAnalyzer, RefusalsLeaveTheOutputsAlone) {
  const std::vector<float> x(300, 1.0f);
  LpcAnalyzer lpc;
  float lpca[102] = {7.0f}, rms = 7.0f;
  EXPECT_FALSE(lpc.ComputeLpc(101, 0.0f, 300, x.data(), lpca, nullptr, nullptr, nullptr, &rms, 0.0f));
  EXPECT_FALSE(lpc.ComputeLpc(4, 0.0f, 300, nullptr, lpca, nullptr, nullptr, nullptr, &rms, 0.0f));
  EXPECT_FALSE(lpc.ComputeLpc(4, 0.0f, 0, x.data(), lpca, nullptr, nullptr, nullptr, &rms, 0.0f));
  EXPECT_FALSE(lpc.ComputeLpc(0, 0.0f, 300, x.data(), lpca, nullptr, nullptr, nullptr, &rms, 0.0f));
  EXPECT_EQ(lpca[0], 7.0f);
  EXPECT_EQ(rms, 7.0f);
}

TEST(LpcAnalyzer, HannWindowAndPreemphasis) {
  LpcAnalyzer lpc;
  const int n = 8;
  const float ones[n + 1] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
  float w[n];
  lpc.HannWindow(ones, w, n, 0.0f);
  for (int i = 0; i < n; i++) {
    EXPECT_FLOAT_EQ(w[i], (float)(0.5 - 0.5 * cos((i + 0.5) * 2.0 * M_PI / n)));
    EXPECT_FLOAT_EQ(w[i], w[n - 1 - i]);  // symmetric about the frame centre
  }
  const float ramp[n + 1] = {0, 1, 2, 3, 4, 5, 6, 7, 8};
  float d[n];
  lpc.HannWindow(ramp, d, n, 0.5f);
  for (int i = 0; i < n; i++) EXPECT_FLOAT_EQ(d[i], w[i] * (ramp[i + 1] - 0.5f * ramp[i]));
}

// Changing lengths rebuild the table: a window after 512, 400, 512 equals a fresh one,
// and an analyser's tables do not affect another's.
TEST(LpcAnalyzer, WindowTablesFollowTheRequestedLength) {
  std::vector<float> ones(513, 1.0f), a(512), b(400), c(512);
  LpcAnalyzer lpc, fresh;
  lpc.HannWindow(ones.data(), a.data(), 512, 0.0f);
  lpc.HannWindow(ones.data(), b.data(), 400, 0.0f);
  lpc.HannWindow(ones.data(), c.data(), 512, 0.0f);
  EXPECT_EQ(a, c);
  EXPECT_FLOAT_EQ(b[200], 1.0f - 0.5f * (1.0f - (float)cos(M_PI / 400)));
  std::vector<float> d(400);
  fresh.HannWindow(ones.data(), d.data(), 400, 0.0f);
  EXPECT_EQ(b, d);
  // The energy window is separate from the analysis window.
  std::vector<float> level(1024, 3.0f);
  EXPECT_NEAR(fresh.WindowedRms(level.data(), 1024), 3.0 * std::sqrt(3.0 / 8.0), 1e-4);
  fresh.HannWindow(ones.data(), d.data(), 400, 0.0f);
  EXPECT_EQ(b, d);
}

TEST(LpcAnalyzer, PredictorAutocorrelationAndItakuraDistance) {
  LpcAnalyzer lpc;
  float a[3] = {-0.5f, 0.25f, 0.1f}, b[3], c;
  lpc.PcToAutocorPc(a, b, &c, 3);
  // Autocorrelation of the sequence 1, -0.5, 0.25, 0.1 at lags 0..3 (lags 1..3 doubled).
  const double s[4] = {1.0, -0.5, 0.25, 0.1};
  double lag[4] = {0, 0, 0, 0};
  for (int k = 0; k < 4; k++)
    for (int j = 0; j + k < 4; j++) lag[k] += s[j] * s[j + k];
  EXPECT_FLOAT_EQ(c, lag[0]);
  for (int i = 0; i < 3; i++) EXPECT_FLOAT_EQ(b[i], 2.0 * lag[i + 1]) << i;
  float r[3] = {0.5f, 0.2f, -0.1f};
  EXPECT_FLOAT_EQ(lpc.ItakuraDistance(3, b, &c, r, 2.0f),
                  (float)((c + 0.5 * b[0] + 0.2 * b[1] - 0.1 * b[2]) / 2.0));
  float c0;
  lpc.PcToAutocorPc(a, b, &c0, 0);
  EXPECT_EQ(c0, 1.0f);
}

}  // namespace
