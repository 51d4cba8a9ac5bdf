#include "windowing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using namespace velk;

namespace {

std::vector<double> ramp(uint32_t n) {
  std::vector<double> x(n);
  for (uint32_t i = 0; i < n; ++i) x[i] = i + 1.0;
  return x;
}

// Frame of half-length a around m of x, cut with getwindowedsamples; its result in *active.
std::vector<double> frame(const std::vector<double>& x, uint32_t m, uint32_t a, const double* w,
                          int* active) {
  std::vector<double> y(2 * a + 1, -1.0);
  *active = getwindowedsamples(x.data(), static_cast<uint32_t>(x.size()), m, y.data(), a, w);
  return y;
}

TEST(WindowedSamples, InteriorFrameCopiesAndWindows) {
  const std::vector<double> x = ramp(20);
  int active;
  EXPECT_EQ(frame(x, 10, 2, nullptr, &active), (std::vector<double>{9, 10, 11, 12, 13}));
  EXPECT_EQ(active, 1);
  const double w[5] = {0.5, 1, 2, 1, 0.5};
  EXPECT_EQ(frame(x, 10, 2, w, &active), (std::vector<double>{4.5, 10, 22, 12, 6.5}));
  EXPECT_EQ(active, 1);
}

TEST(WindowedSamples, ZerosBeyondEitherEdge) {
  int active;
  EXPECT_EQ(frame(ramp(10), 0, 3, nullptr, &active), (std::vector<double>{0, 0, 0, 1, 2, 3, 4}));
  // Centre 8, a = 3: from frame index n - m + a = 5 on the frame lies beyond the end.
  EXPECT_EQ(frame(ramp(10), 8, 3, nullptr, &active), (std::vector<double>{6, 7, 8, 9, 10, 0, 0}));
  EXPECT_EQ(frame(ramp(3), 1, 5, nullptr, &active), (std::vector<double>{0, 0, 0, 0, 1, 2, 3, 0, 0, 0, 0}));
}

TEST(WindowedSamples, SilenceIsJudgedOnTheFrameOnly) {
  std::vector<double> x(50, 0.0);
  x[4] = 1.0;   // just beyond x[0..a] for a = 3 at centre 0
  x[49] = 1.0;  // beyond the frame around 25 with a = 10
  int active;
  frame(x, 0, 3, nullptr, &active);
  EXPECT_EQ(active, 0);
  const std::vector<double> ones(21, 1.0);
  EXPECT_EQ(frame(x, 25, 10, ones.data(), &active), std::vector<double>(21, 0.0));
  EXPECT_EQ(active, 0);
  x[3] = -2.0;
  frame(x, 0, 3, nullptr, &active);
  EXPECT_EQ(active, 1);
  const std::vector<double> zeros(7, 0.0);  // a zero window silences a non-zero frame
  frame(x, 0, 3, zeros.data(), &active);
  EXPECT_EQ(active, 0);
  x[1] = std::numeric_limits<double>::quiet_NaN();  // NaN counts as not zero
  x[3] = 0.0;
  frame(x, 0, 3, nullptr, &active);
  EXPECT_EQ(active, 1);
}

TEST(Windows, PlainHammingAndHanningHaveTextbookValues) {
  std::vector<double> hm(9), hn(9);
  EXPECT_EQ(winhamming(hm.data(), 9, 0), 0);
  EXPECT_EQ(winhanning(hn.data(), 9, 0), 0);
  const double expecthm[5] = {0.08, 0.08 + 0.46 * (1 - std::sqrt(0.5)), 0.54, 0.54 + 0.46 * std::sqrt(0.5),
                              1.0};
  const double expecthn[5] = {0.0, 0.5 * (1 - std::sqrt(0.5)), 0.5, 0.5 * (1 + std::sqrt(0.5)), 1.0};
  for (int i = 0; i < 5; ++i) {
    EXPECT_NEAR(hm[i], expecthm[i], 1e-15);
    EXPECT_NEAR(hm[8 - i], expecthm[i], 1e-15);
    EXPECT_NEAR(hn[i], expecthn[i], 1e-15);
    EXPECT_NEAR(hn[8 - i], expecthn[i], 1e-15);
  }
}

// Mean square over L points of a long window approaches the continuous value.
double meansquare(const std::vector<double>& w) {
  double s = 0;
  for (double v : w) s += v * v;
  return s / w.size();
}

TEST(Windows, NormalisedWindowsKeepUnitPower) {
  std::vector<double> w(4001);
  winhamming(w.data(), 4001, 1);
  EXPECT_NEAR(w[2000], 0.8566 + 0.7297, 1e-12);
  EXPECT_NEAR(meansquare(w), 1.0, 1e-3);
  winhanning(w.data(), 4001, 1);
  EXPECT_NEAR(w[2000], 2 * 0.8165, 1e-12);
  EXPECT_NEAR(meansquare(w), 1.0, 1e-3);
}

TEST(Windows, ComplementaryIsOddAboutTheCentre) {
  const uint32_t L = 11;
  std::vector<double> v(L), u(L);
  winhanning(v.data(), L, 0);
  EXPECT_EQ(wincomplementary(v.data(), u.data(), L), 0);
  EXPECT_NEAR(u[0], 0.0, 1e-15);
  EXPECT_NEAR(u[L / 2], 0.0, 1e-15);
  for (uint32_t i = 0; i < L; ++i) EXPECT_NEAR(u[i], -u[L - 1 - i], 1e-15);
  // First quarter: sin(-2*pi*i/(L-1)) < 0.
  EXPECT_NEAR(u[2], v[2] * std::sin(-2 * M_PI * 2 / 10), 1e-15);
  EXPECT_LT(u[2], 0.0);
}

TEST(FrameLengths, PeriodAndDurationRules) {
  EXPECT_EQ(getwinlengthnperiodsodd(2.5, 100, 16000), 401u);
  EXPECT_EQ(getwinlengthnperiodsodd(3, 100, 16000), 481u);
  EXPECT_EQ(getwinlengthnperiodsodd(2, 100, 16000), 321u);
  EXPECT_EQ(getwinlengthnperiodsodd(3, 70, 16000), 687u);  // ceil(685.71) = 686 is even
  EXPECT_EQ(getwinlengthnperiodsodd(1, 3, 16000), 5335u);  // ceil(5333.3) = 5334 is even
  EXPECT_EQ(getwinlengthdurodd(0.025, 16000), 401u);
  EXPECT_EQ(getwinlengthdurodd(0.001, 16000), 17u);
  EXPECT_EQ(getwinlengthdurodd(0.0011, 16000), 19u);  // ceil(17.6) = 18
}

TEST(FrameLengths, PowerOfTwoCeiling) {
  EXPECT_EQ(getwinlengthceilpot2(0), 1u);
  EXPECT_EQ(getwinlengthceilpot2(1), 1u);
  EXPECT_EQ(getwinlengthceilpot2(2), 2u);
  EXPECT_EQ(getwinlengthceilpot2(5), 8u);
  EXPECT_EQ(getwinlengthceilpot2(8), 8u);
  EXPECT_EQ(getwinlengthceilpot2(401), 512u);
  EXPECT_EQ(getwinlengthceilpot2(1u << 31), 1u << 31);
}

TEST(FrameCounts, AnalysisFramesCountCentresInsideSignal) {
  EXPECT_EQ(getnumanalysisframes(16000, 80, 0), 200u);
  EXPECT_EQ(getnumanalysisframes(16001, 80, 0), 201u);
  EXPECT_EQ(getnumanalysisframes(1, 80, 0), 1u);
  EXPECT_EQ(getnumanalysisframes(100, 10, 5), 10u);  // centres 5, 15, ..., 95
  EXPECT_EQ(getnumanalysisframes(96, 10, 5), 10u);
  EXPECT_EQ(getnumanalysisframes(95, 10, 5), 9u);
}

TEST(FrameCounts, NoCentreInsideGivesNoFrames) {
  EXPECT_EQ(getnumanalysisframes(0, 80, 0), 0u);
  EXPECT_EQ(getnumanalysisframes(10, 80, 10), 0u);
  EXPECT_EQ(getnumanalysisframes(10, 80, 500), 0u);
}

TEST(FrameCounts, SynthesisLength) {
  EXPECT_EQ(getolasynthesislength(80, 200), 16081u);
  EXPECT_EQ(getolasynthesislength(80, 0), 81u);
}

TEST(OverlapAdd, TriangularWeightsOfOneFrame) {
  std::vector<double> out(12, 0.0);
  out[10] = 7.0;
  const std::vector<double> f(8, 1.0);
  EXPECT_EQ(olatriang(out.data(), f.data(), 2, 6, 10), 0);
  const std::vector<double> expected{0, 0, 0, 0.25, 0.5, 0.75, 1, 0.75, 0.5, 0.25, 7, 0};
  for (size_t i = 0; i < out.size(); ++i) EXPECT_DOUBLE_EQ(out[i], expected[i]) << i;
}

// M frames of ones overlap-added with `ola` on the synthesis grid of shift S: frame k spans
// S*k .. S*(k+2), centred at S*(k+1).
std::vector<double> onesonsynthesisgrid(uint32_t S, uint32_t M,
                                        int (*ola)(double*, const double*, uint32_t, uint32_t, uint32_t)) {
  std::vector<double> out(getolasynthesislength(S, M), 0.0);
  const std::vector<double> f(2 * S, 1.0);
  for (uint32_t k = 0; k < M; ++k) ola(out.data(), f.data(), S * k, S * (k + 1), S * (k + 2));
  return out;
}

TEST(OverlapAdd, TriangularFramesOnSynthesisGridSumToOne) {
  const uint32_t S = 80, M = 6;
  const std::vector<double> out = onesonsynthesisgrid(S, M, olatriang);
  // Between the first and the last centre every sample is covered by two frames.
  for (uint32_t i = S; i <= S * M; ++i) EXPECT_NEAR(out[i], 1.0, 1e-15) << i;
  EXPECT_EQ(out[0], 0.0);
  EXPECT_EQ(out[S * (M + 1)], 0.0);
}

TEST(OverlapAdd, TriangularUnequalHalves) {
  std::vector<double> out(8, 0.0);
  const std::vector<double> f{2, 2, 2, 2, 2, 2};
  olatriang(out.data(), f.data(), 1, 3, 7);
  const std::vector<double> expected{0, 0, 1, 2, 1.5, 1, 0.5, 0};
  for (size_t i = 0; i < out.size(); ++i) EXPECT_DOUBLE_EQ(out[i], expected[i]) << i;
}

TEST(OverlapAdd, HannGainsFollowRaisedCosine) {
  const uint32_t start = 3, centre = 40, end = 100;
  std::vector<double> out(110, 1.0);
  std::vector<double> f(end - start);
  for (size_t j = 0; j < f.size(); ++j) f[j] = 0.5 + 0.01 * j;
  EXPECT_EQ(olahann(out.data(), f.data(), start, centre, end), 0);
  const double n1 = centre - start, n2 = end - centre;
  for (uint32_t i = 0; i < out.size(); ++i) {
    double expected = 1.0;
    if (i == centre) {
      expected = f[centre - start];  // set, not added
    } else if (i >= start && i < centre) {
      const double j = i - start;
      expected += 0.5 * (1 + std::cos(M_PI * (n1 - j) / n1)) * f[i - start];
    } else if (i > centre && i < end) {
      const double j = i - start;
      expected += 0.5 * (1 + std::cos(M_PI * (j - n1) / n2)) * f[i - start];
    }
    EXPECT_NEAR(out[i], expected, 1e-13) << i;
  }
  EXPECT_NEAR(out[start], 1.0, 1e-15);  // the start sample gets gain 0 up to phasor rounding
}

TEST(OverlapAdd, HannFramesOnSynthesisGridSumToOne) {
  const uint32_t S = 64, M = 5;
  const std::vector<double> out = onesonsynthesisgrid(S, M, olahann);
  for (uint32_t i = S; i <= S * M; ++i) EXPECT_NEAR(out[i], 1.0, 1e-12) << i;
}

TEST(OverlapAdd, HannCentreStartingAtFrameStart) {
  std::vector<double> out(6, 9.0);
  const std::vector<double> f{4, 4, 4, 4};
  olahann(out.data(), f.data(), 1, 1, 5);  // no rising half
  EXPECT_EQ(out[0], 9.0);
  EXPECT_EQ(out[1], 4.0);
  EXPECT_NEAR(out[2], 9.0 + 4 * 0.5 * (1 + std::cos(M_PI / 4)), 1e-14);
  EXPECT_NEAR(out[3], 9.0 + 2.0, 1e-14);
  EXPECT_EQ(out[5], 9.0);
}

}  // namespace
