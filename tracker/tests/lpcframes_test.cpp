// Frame LPC analysis: a known AR(4) predictor recovered and the recursion
// checked against a direct solve of the normal equations; noise floor, the
// all-zero frame, refusals, windowing and window tables, predictor autocorrelation.
#include "lpcframes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

using namespace velk;

namespace {

// White noise through 1 / A(z), A having pole pairs (0.9, 0.2 pi) and (0.8, 0.6 pi).
std::vector<double> ar4polynomial() {
  const double c1 = -2 * 0.9 * cos(0.2 * M_PI), c2 = 0.81, d1 = -2 * 0.8 * cos(0.6 * M_PI), d2 = 0.64;
  return {1.0, c1 + d1, c2 + c1 * d1 + d2, c1 * d2 + c2 * d1, c2 * d2};
}

std::vector<float> arprocess(const std::vector<double>& a, int n) {
  std::mt19937 gen(11);
  std::normal_distribution<double> normal(0.0, 1000.0);
  std::vector<double> y(n + 500, 0.0);
  for (size_t i = 0; i < y.size(); i++) {
    y[i] = normal(gen);
    for (size_t j = 1; j < a.size() && j <= i; j++) y[i] -= a[j] * y[i - j];
  }
  return std::vector<float>(y.begin() + 500, y.end());
}

// Solves sum_j a_j r|i-j| = -r_i (i = 1..p) by Gaussian elimination.
std::vector<double> solvenormalequations(const float* r, int p) {
  std::vector<std::vector<double>> m(p, std::vector<double>(p + 1));
  for (int i = 0; i < p; i++) {
    for (int j = 0; j < p; j++) m[i][j] = r[std::abs(i - j)];
    m[i][p] = -r[i + 1];
  }
  for (int c = 0; c < p; c++)
    for (int i = c + 1; i < p; i++)
      for (int j = p; j >= c; j--) m[i][j] -= m[i][c] / m[c][c] * m[c][j];
  std::vector<double> a(p);
  for (int i = p - 1; i >= 0; i--) {
    double s = m[i][p];
    for (int j = i + 1; j < p; j++) s -= m[i][j] * a[j];
    a[i] = s / m[i][i];
  }
  return a;
}

TEST(lpcanalyzer, RecoversTheAr4PredictorAndSolvesTheNormalEquations) {
  const std::vector<double> a = ar4polynomial();
  const int n = 64000;
  const std::vector<float> x = arprocess(a, n);
  lpcanalyzer lpc;
  float lpca[5], ar[5], lpck[4], normerr = 0.0f, rms = 0.0f;
  ASSERT_EQ(lpc.computelpc(4, 0.0f, n, x.data(), lpca, ar, lpck, &normerr, &rms, 0.0f), 0);
  for (int i = 0; i <= 4; i++) EXPECT_NEAR(lpca[i], a[i], 0.03) << i;
  for (int i = 0; i < 4; i++) EXPECT_LT(std::fabs(lpck[i]), 1.0f);
  double power = 0.0, err = ar[0];
  for (float v : x) power += (double)v * v;
  EXPECT_NEAR(rms / std::sqrt(power / n), 1.0, 0.05);  // scaled back from the windowed RMS
  for (int i = 1; i <= 4; i++) err += lpca[i] * ar[i];
  EXPECT_NEAR(normerr, err, 1e-4);  // residual energy of the normal equations

  float a10[11], r10[11];
  ASSERT_EQ(lpc.computelpc(10, 0.0f, 400, x.data(), a10, r10, nullptr, nullptr, nullptr, 0.0f), 0);
  const std::vector<double> direct = solvenormalequations(r10, 10);
  for (int i = 0; i < 10; i++) EXPECT_NEAR(a10[i + 1], direct[i], 2e-3) << i;
}

TEST(lpcanalyzer, NoiseFloorScalesTheLaggedAutocorrelation) {
  const std::vector<float> x = arprocess(ar4polynomial(), 512);
  lpcanalyzer lpc;
  float plain[9], floor1[9], floor60[9];
  for (auto [floor_db, r] : {std::pair{0.0f, plain}, {1.0f, floor1}, {60.0f, floor60}})
    ASSERT_EQ(lpc.computelpc(8, floor_db, 512, x.data(), nullptr, r, nullptr, nullptr, nullptr, 0.0f), 0);
  EXPECT_EQ(floor60[0], 1.0f);
  for (int i = 1; i <= 8; i++) {
    EXPECT_EQ(floor1[i], plain[i]);
    EXPECT_NEAR(floor60[i], plain[i] / 1.001, 1e-6) << i;
  }
}

TEST(lpcanalyzer, AllZeroFrameAndRefusals) {
  const std::vector<float> zeros(256, 0.0f);
  lpcanalyzer lpc;
  float lpca[7], ar[7], normerr = 0.0f, rms = 0.0f;
  ASSERT_EQ(lpc.computelpc(6, 0.0f, 256, zeros.data(), lpca, ar, nullptr, &normerr, &rms, 0.0f), 0);
  EXPECT_FLOAT_EQ(rms, 1.0f / 0.612372f);
  EXPECT_EQ(normerr, 1.0f);
  for (int i = 0; i <= 6; i++) {
    EXPECT_EQ(ar[i], i == 0 ? 1.0f : 0.0f);
    EXPECT_EQ(lpca[i], i == 0 ? 1.0f : 0.0f);
  }
  lpca[0] = rms = 7.0f;
  EXPECT_EQ(lpc.computelpc(101, 0.0f, 256, zeros.data(), lpca, nullptr, nullptr, nullptr, &rms, 0.0f), -1);
  EXPECT_EQ(lpc.computelpc(4, 0.0f, 256, nullptr, lpca, nullptr, nullptr, nullptr, &rms, 0.0f), -1);
  EXPECT_EQ(lpc.computelpc(4, 0.0f, 0, zeros.data(), lpca, nullptr, nullptr, nullptr, &rms, 0.0f), -1);
  EXPECT_EQ(lpc.computelpc(0, 0.0f, 256, zeros.data(), lpca, nullptr, nullptr, nullptr, &rms, 0.0f), -1);
  EXPECT_EQ(lpca[0], 7.0f);
  EXPECT_EQ(rms, 7.0f);
}

// Windows and preemphasis; a table rebuilt on each change of length equals a
// fresh one, and the energy window is separate from the analysis window.
TEST(lpcanalyzer, WindowsAndTheirTables) {
  lpcanalyzer lpc, fresh;
  std::vector<float> ramp(513), a(512), b(400), c(512), d(400);
  for (int i = 0; i <= 512; i++) ramp[i] = (float)i;
  lpc.hannwindow(ramp.data(), a.data(), 512, 0.5f);
  for (int i = 0; i < 512; i++)
    EXPECT_FLOAT_EQ(a[i],
                    (float)(0.5 - 0.5 * cos((i + 0.5) * 2 * M_PI / 512)) * (ramp[i + 1] - 0.5f * ramp[i]));
  lpc.hannwindow(ramp.data(), b.data(), 400, 0.0f);
  lpc.hannwindow(ramp.data(), c.data(), 512, 0.5f);
  EXPECT_EQ(a, c);
  std::vector<float> level(1024, 3.0f);
  EXPECT_NEAR(fresh.windowedrms(level.data(), 1024), 3.0 * std::sqrt(3.0 / 8.0), 1e-4);
  fresh.hannwindow(ramp.data(), d.data(), 400, 0.0f);
  EXPECT_EQ(b, d);
}

TEST(lpcanalyzer, PredictorAutocorrelationAndItakuraDistance) {
  lpcanalyzer lpc;
  float a[3] = {-0.5f, 0.25f, 0.1f}, b[3], c, c0;
  lpc.pctoautocorpc(a, b, &c, 3);
  const double s[4] = {1.0, -0.5, 0.25, 0.1};  // the predictor with its leading 1
  for (int k = 0; k < 4; k++) {
    double lag = 0.0;
    for (int j = 0; j + k < 4; j++) lag += s[j] * s[j + k];
    EXPECT_FLOAT_EQ(k == 0 ? c : b[k - 1], k == 0 ? lag : 2.0 * lag) << k;
  }
  float r[3] = {0.5f, 0.2f, -0.1f};
  EXPECT_FLOAT_EQ(lpc.itakuradistance(3, b, &c, r, 2.0f), (c + 0.5 * b[0] + 0.2 * b[1] - 0.1 * b[2]) / 2.0);
  lpc.pctoautocorpc(a, b, &c0, 0);
  EXPECT_EQ(c0, 1.0f);
}

}  // namespace
