// Tracker signal primitives against analytic results.
#include "lpcprims.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace velk;

namespace {

std::vector<float> sinusoid(int n, double period, double amp, double phase = 0.0) {
  std::vector<float> x(n);
  for (int i = 0; i < n; i++) x[i] = (float)(amp * sin(2.0 * M_PI * i / period + phase));
  return x;
}

// A stable second-order autoregressive process driven by a fixed pseudo-random sequence.
std::vector<float> ar2process(int n, double a1, double a2) {
  std::vector<float> x(n);
  double y1 = 0, y2 = 0;
  unsigned s = 12345;
  for (int i = 0; i < n; i++) {
    s = s * 1103515245u + 12345u;
    const double e = ((s >> 8) & 0xffff) / 65536.0 - 0.5;
    const double y = e - a1 * y1 - a2 * y2;
    y2 = y1;
    y1 = y;
    x[i] = (float)(1000.0 * y);
  }
  return x;
}

TEST(Windows, ShapesMatchTheirDefinitions) {
  const int n = 64;
  std::vector<float> hamming(n), hann(n), cos4(n), rect(n);
  lpcwork work;
  ASSERT_EQ(xget_window(&work, hamming.data(), n, WINDOW_HAMMING), 0);
  ASSERT_EQ(xget_window(&work, hann.data(), n, WINDOW_HANN), 0);
  ASSERT_EQ(xget_window(&work, cos4.data(), n, WINDOW_COS4), 0);
  ASSERT_EQ(xget_window(&work, rect.data(), n, WINDOW_RECT), 0);
  double hann_sum = 0.0;
  for (int i = 0; i < n; i++) {
    const double x = 2.0 * M_PI * (i + 0.5) / n;
    EXPECT_NEAR(hamming[i], 0.54 - 0.46 * cos(x), 1e-6);
    EXPECT_NEAR(hann[i], 0.5 - 0.5 * cos(x), 1e-6);
    EXPECT_NEAR(cos4[i], std::pow(hann[i], 4.0), 1e-6);
    EXPECT_NEAR(hann[i], hann[n - 1 - i], 1e-6);  // symmetric about the centre
    EXPECT_EQ(rect[i], 1.0f);
    hann_sum += hann[i];
  }
  // The cosine terms cancel over a whole period.
  EXPECT_NEAR(hann_sum, n / 2.0, 1e-4);
}

TEST(Windows, PreemphasisAndLengthChanges) {
  const float din[] = {1, 2, 3, 4, 5};
  float dout[4];
  lpcwork work;
  EXPECT_EQ(window(&work, din, dout, 4, 0.5f, WINDOW_RECT), 0);
  EXPECT_FLOAT_EQ(dout[0], 1.5f);
  EXPECT_FLOAT_EQ(dout[3], 3.0f);

  // A change of length (down, then up) recomputes the cached table.
  std::vector<float> ones(100, 1.0f), a(100), b(50);
  xhnwindow(&work, ones.data(), a.data(), 100, 0.0f);
  xhnwindow(&work, ones.data(), b.data(), 50, 0.0f);
  EXPECT_NEAR(b[25], 0.5 - 0.5 * cos(2.0 * M_PI * 25.5 / 50), 1e-6);
  xhnwindow(&work, ones.data(), a.data(), 100, 0.0f);
  EXPECT_NEAR(a[10], 0.5 - 0.5 * cos(2.0 * M_PI * 10.5 / 100), 1e-6);
}

TEST(Windows, UnknownTypeIsRefusedSilentlyAndLeavesOutputAlone) {
  const float din[3] = {1, 2, 3};
  float dout[3] = {7, 7, 7};
  lpcwork work;
  testing::internal::CaptureStderr();
  EXPECT_EQ(window(&work, din, dout, 3, 0.0f, 4), -1);
  EXPECT_EQ(xget_window(&work, dout, 3, 4), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(dout[0], 7.0f);
}

TEST(Autocorrelation, SilentFrameAndSinusoid) {
  std::vector<float> zeros(50, 0.0f);
  float r[6], e = 0;
  xautoc(50, zeros.data(), 5, r, &e);
  EXPECT_EQ(r[0], 1.0f);
  EXPECT_EQ(e, 1.0f);
  for (int i = 1; i <= 5; i++) EXPECT_EQ(r[i], 0.0f);

  // A whole number of periods: RMS A / sqrt 2; the lag sums in closed form,
  // sum_j sin(wj) sin(w(j+k)) = ((N-k) cos(wk) - sum_j cos(w(2j+k))) / 2.
  const int n = 800;
  const double w = 2.0 * M_PI / 40.0;
  const std::vector<float> x = sinusoid(n, 40.0, 1000.0);
  float rr[21];
  xautoc(n, x.data(), 20, rr, &e);
  EXPECT_NEAR(e, 1000.0 / sqrt(2.0), 0.5);
  for (int k = 1; k <= 20; k++) {
    const int m = n - k;
    const double ripple = sin(w * m) * cos(w * (m - 1 + k)) / sin(w);  // sum of cos(w(2j+k)), j < m
    EXPECT_NEAR(rr[k], ((m * cos(w * k) - ripple) / 2.0) / (n / 2.0), 1e-4) << "lag " << k;
  }
}

TEST(Levinson, FirstOrderProcessHasOneCoefficient) {
  const float rho = 0.8f;
  float r[5] = {1, rho, rho * rho, rho * rho * rho, rho * rho * rho * rho};
  float k[4], a[4], ex;
  xdurbin(r, k, a, 4, &ex);
  EXPECT_NEAR(a[0], -rho, 1e-6);
  for (int i = 1; i < 4; i++) EXPECT_NEAR(a[i], 0.0, 1e-6);
  EXPECT_NEAR(k[0], -rho, 1e-6);
  EXPECT_NEAR(ex, 1.0 - rho * rho, 1e-6);
}

TEST(Levinson, SecondOrderProcessIsRecovered) {
  lpcwork work;
  const std::vector<float> x = ar2process(40000, -1.2, 0.5);
  float lpca[3], ar[3], normerr;
  ASSERT_EQ(xlpc(&work, 2, 0.0f, 40000, x.data(), lpca, ar, nullptr, &normerr, nullptr, 0.0f, WINDOW_RECT),
            0);
  EXPECT_EQ(lpca[0], 1.0f);
  EXPECT_NEAR(lpca[1], -1.2, 0.02);
  EXPECT_NEAR(lpca[2], 0.5, 0.02);
}

TEST(PredictorAutocorrelation, MatchesDirectSum) {
  const float a[3] = {0.5f, -0.25f, 0.125f};
  float b[3], c;
  xa_to_aca(a, b, &c, 3);
  // Polynomial 1 + 0.5 z^-1 - 0.25 z^-2 + 0.125 z^-3.
  const double p[4] = {1.0, 0.5, -0.25, 0.125};
  EXPECT_NEAR(c, 1.0 + 0.25 + 0.0625 + 0.015625, 1e-6);
  for (int lag = 1; lag <= 3; lag++) {
    double s = 0.0;
    for (int j = 0; j + lag < 4; j++) s += p[j] * p[j + lag];
    EXPECT_NEAR(b[lag - 1], 2.0 * s, 1e-6);
  }
  float b0[1], c0;
  xa_to_aca(a, b0, &c0, 0);
  EXPECT_EQ(c0, 1.0f);
}

TEST(Itakura, OwnPredictorGivesOneOthersMore) {
  lpcwork work;
  const int order = 10, n = 480;
  const std::vector<float> x = ar2process(n + 1, -1.2, 0.5);
  const std::vector<float> y = ar2process(n + 1, 0.9, 0.4);
  float ax[order + 1], rx[order + 1], ex, ay[order + 1], ry[order + 1], ey;
  ASSERT_EQ(xlpc(&work, order, 0.0f, n, x.data(), ax, rx, nullptr, &ex, nullptr, 0.0f, WINDOW_HANN), 0);
  ASSERT_EQ(xlpc(&work, order, 0.0f, n, y.data(), ay, ry, nullptr, &ey, nullptr, 0.0f, WINDOW_HANN), 0);
  float b[order], c;
  xa_to_aca(ax + 1, b, &c, order);
  EXPECT_NEAR(xitakura(order, b, &c, rx + 1, &ex), 1.0, 1e-3);
  EXPECT_GT(xitakura(order, b, &c, ry + 1, &ey), 2.0);
}

TEST(Energy, WindowedRmsAndTableKeyedByLengthAndType) {
  const std::vector<float> flat(400, 100.0f);
  lpcwork work;
  EXPECT_NEAR(wind_energy(&work, flat.data(), 400, WINDOW_RECT), 100.0, 1e-3);
  EXPECT_NEAR(wind_energy(&work, flat.data(), 390, WINDOW_HANN), 100.0 * sqrt(3.0 / 8.0), 1e-2);
  const float hann = wind_energy(&work, flat.data(), 400, WINDOW_HANN);
  EXPECT_NEAR(hann, 100.0 * sqrt(3.0 / 8.0), 1e-2);
  // Same length, other type: the Hamming window's own RMS, sqrt(0.54^2 + 0.46^2 / 2).
  EXPECT_NEAR(wind_energy(&work, flat.data(), 400, WINDOW_HAMMING), 100.0 * sqrt(0.3974), 1e-2);
  EXPECT_EQ(wind_energy(&work, flat.data(), 400, WINDOW_HANN), hann);
  EXPECT_EQ(wind_energy(&work, flat.data(), 400, 9), 0.0f);
}

TEST(Lpc, RefusalsStabilisationAndRms) {
  const std::vector<float> x = ar2process(481, -1.2, 0.5);
  float lpca[102], ar[102];
  lpcwork work;
  testing::internal::CaptureStderr();
  EXPECT_EQ(xlpc(&work, 101, 0.0f, 480, x.data(), lpca, ar, nullptr, nullptr, nullptr, 0.0f, 1), -1);
  EXPECT_EQ(xlpc(&work, 10, 0.0f, 480, nullptr, lpca, ar, nullptr, nullptr, nullptr, 0.0f, 1), -1);
  EXPECT_EQ(xlpc(&work, 10, 0.0f, 0, x.data(), lpca, ar, nullptr, nullptr, nullptr, 0.0f, 1), -1);
  EXPECT_EQ(xlpc(&work, 10, 0.0f, 480, x.data(), lpca, ar, nullptr, nullptr, nullptr, 0.0f, 9), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

  float plain[11], floored[11], same[11];
  ASSERT_EQ(xlpc(&work, 10, 0.0f, 480, x.data(), nullptr, plain, nullptr, nullptr, nullptr, 0.4f, 3), 0);
  ASSERT_EQ(xlpc(&work, 10, 1.0f, 480, x.data(), nullptr, same, nullptr, nullptr, nullptr, 0.4f, 3), 0);
  ASSERT_EQ(xlpc(&work, 10, 70.0f, 480, x.data(), nullptr, floored, nullptr, nullptr, nullptr, 0.4f, 3), 0);
  const double f = 1.0 / (1.0 + pow(10.0, -3.5));
  EXPECT_EQ(floored[0], 1.0f);
  for (int i = 1; i <= 10; i++) {
    EXPECT_EQ(same[i], plain[i]);
    EXPECT_NEAR(floored[i], plain[i] * f, 1e-6);
  }

  // The RMS is corrected for the window's own attenuation.
  const std::vector<float> flat(300, 50.0f);
  float rms;
  ASSERT_EQ(
      xlpc(&work, 4, 0.0f, 300, flat.data(), nullptr, nullptr, nullptr, nullptr, &rms, 0.0f, WINDOW_HAMMING),
      0);
  EXPECT_NEAR(rms, 50.0, 0.2);
}

TEST(CrossCorrelation, FindsThePeriodOfAPeriodicSignal) {
  lpcwork work;
  const int size = 200, start = 20, nlags = 100;
  const std::vector<float> x = sinusoid(size + start + nlags, 57.0, 3000.0, 0.3);
  std::vector<float> correl(nlags);
  float engref, maxval;
  int maxloc;
  crossf(&work, x.data(), size, start, nlags, &engref, &maxloc, &maxval, correl.data());
  EXPECT_EQ(maxloc, 57);
  EXPECT_GT(maxval, 0.99f);
  EXPECT_NEAR(correl[85 - start], -1.0, 0.05);  // half a period past the peak: anti-phase
}

TEST(CrossCorrelation, FlatNegativeAndTiedInputs) {
  lpcwork work;
  std::vector<float> correl(10, 5.0f);
  float engref, maxval;
  int maxloc;
  const std::vector<float> flat(40, 3.0f);
  crossf(&work, flat.data(), 20, 2, 10, &engref, &maxloc, &maxval, correl.data());
  EXPECT_EQ(maxloc, 0);
  EXPECT_EQ(maxval, 0.0f);
  EXPECT_EQ(engref, 0.0f);
  for (float c : correl) EXPECT_EQ(c, 0.0f);

  std::vector<float> alt(40);
  for (int i = 0; i < 40; i++) alt[i] = i % 2 ? -1.0f : 1.0f;
  crossf(&work, alt.data(), 20, 1, 1, &engref, &maxloc, &maxval, correl.data());
  EXPECT_EQ(maxloc, -1);
  EXPECT_EQ(maxval, 0.0f);
  EXPECT_NEAR(correl[0], -1.0, 1e-6);

  // Period 5 with exact integer sums: lags 5 and 10 both correlate exactly 1; the first wins.
  std::vector<float> per(60);
  for (int i = 0; i < 60; i++) per[i] = (float)(i % 5 + 1);
  crossf(&work, per.data(), 20, 3, 10, &engref, &maxloc, &maxval, correl.data());
  EXPECT_EQ(correl[5 - 3], 1.0f);
  EXPECT_EQ(correl[10 - 3], 1.0f);
  EXPECT_EQ(maxloc, 5);
}

TEST(CrossCorrelation, RangesAroundLocationsAgreeWithFullSearch) {
  lpcwork work;
  const int size = 200, start = 20, nlags = 120;
  const std::vector<float> x = sinusoid(size + start + nlags, 61.0, 3000.0, 1.0);
  std::vector<float> full(nlags), part(nlags + 4, 9.0f);
  float engref, maxval, engref_i, maxval_i;
  int maxloc, maxloc_i;
  crossf(&work, x.data(), size, start, nlags, &engref, &maxloc, &maxval, full.data());
  const int locs[] = {61, 122, 137};  // the last range runs past the last lag
  crossfi(&work, x.data(), size, start, nlags, 7, &engref_i, &maxloc_i, &maxval_i, part.data(), locs, 3);
  EXPECT_EQ(engref_i, engref);
  EXPECT_EQ(maxloc_i, 61);
  for (int lag = start; lag < start + nlags; lag++) {
    const bool in_range = std::abs(lag - 61) <= 3 || std::abs(lag - 122) <= 3 || lag >= 134;
    if (in_range)
      EXPECT_NEAR(part[lag - start], full[lag - start], 1e-4) << "lag " << lag;
    else
      EXPECT_EQ(part[lag - start], 0.0f) << "lag " << lag;
  }
  for (int i = nlags; i < nlags + 4; i++) EXPECT_EQ(part[i], 9.0f);  // nothing written past the end

  crossfi(&work, x.data(), size, start, nlags, 7, &engref_i, &maxloc_i, &maxval_i, part.data(), locs, 0);
  EXPECT_EQ(maxloc_i, -1);
  EXPECT_EQ(maxval_i, 0.0f);
}

}  // namespace
