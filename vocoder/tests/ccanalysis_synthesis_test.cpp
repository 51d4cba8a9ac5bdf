// Waveform synthesis from warped cepstra and the cepstral post-filters.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "ccanalysis.h"

using namespace velk;

namespace {

const double kFs = 16000.0;
const double kPi = 3.141592653589793;
const double kLn10 = 2.302585092994046;

struct track {
  uint32_t N, p;
  std::vector<double> f0, fv, cc;
  track(uint32_t frames, uint32_t order, double f, double c0)
      : N(frames), p(order), f0(frames, f), fv(frames, 4000.0), cc(getccsize(frames, order), 0.0) {
    for (uint32_t i = 0; i < N; i++) cc[getccsize(i, p)] = c0;
  }
  std::vector<double> synthesise(uint32_t S, bool withfv = true, double alpha = 0.42) {
    std::vector<double> out(getwaveformlength(S, N), -1.0);
    EXPECT_EQ(cc2waveform(out.data(), out.size(), kFs, S, N, f0.data(), withfv ? fv.data() : nullptr, alpha,
                          p, cc.data()),
              0);
    return out;
  }
};

// Amplitude of the sinusoid of frequency f in x[from, from + len) by a Hann-weighted projection.
double amplitudeat(const std::vector<double>& x, uint32_t from, uint32_t len, double f) {
  double re = 0, im = 0, wsum = 0;
  for (uint32_t i = 0; i < len; i++) {
    double w = 0.5 - 0.5 * std::cos(2 * kPi * i / (len - 1));
    double ph = 2 * kPi * f * (from + i) / kFs;
    re += w * x[from + i] * std::cos(ph);
    im += w * x[from + i] * std::sin(ph);
    wsum += w;
  }
  return 2 * std::hypot(re, im) / wsum;
}

TEST(Synthesis, OutputLengthAndFrameGrid) {
  EXPECT_EQ(getwaveformlength(160, 100), 16161u);
  EXPECT_EQ(getwaveformlength(80, 100), 8081u);
  track t(10, 39, 0.0, -3.0);
  std::vector<double> out = t.synthesise(80);
  ASSERT_EQ(out.size(), 881u);
  EXPECT_EQ(out.back(), 0.0);  // the final sample receives no frame
  double energy = 0;
  for (double v : out) energy += v * v;
  EXPECT_GT(energy, 0.0);
  // Too short an output buffer is refused.
  std::vector<double> small(880);
  EXPECT_EQ(
      cc2waveform(small.data(), small.size(), kFs, 80, t.N, t.f0.data(), nullptr, 0.42, t.p, t.cc.data()),
      -1);
}

TEST(Synthesis, SameInputGivesIdenticalSamples) {
  track t(60, 39, 140.0, -3.0);
  for (uint32_t i = 0; i < t.N; i += 5) t.f0[i] = 0;
  std::vector<double> a = t.synthesise(80), b = t.synthesise(80);
  EXPECT_EQ(a, b);
  std::vector<double> c = t.synthesise(80, false), d = t.synthesise(80, false);
  EXPECT_EQ(c, d);
}

TEST(Synthesis, VoicedFramesCarryHarmonicsWithTheEnvelopeAmplitude) {
  // A flat envelope: every harmonic below the cut-off has amplitude exp(c0) * 2 sqrt(f0),
  // reduced only by the complementary weighting near the cut-off.
  const double f0 = 200, c0 = -4.0;
  track t(200, 39, f0, c0);
  std::vector<double> out = t.synthesise(80);
  const double expected = std::exp(c0) * 2 * std::sqrt(f0);
  for (int k : {1, 3, 7, 12}) {
    double f = k * f0;
    double g = f < 3200 ? -3.684136148790474 + (-2.302585092994046 + 3.684136148790474) * f / 3200
                        : -2.302585092994046 * (1 - (f - 3200) / 800);
    double a = amplitudeat(out, 4000, 8000, f);
    EXPECT_NEAR(a, expected * std::sqrt(1 - std::exp(2 * g)), 0.03 * expected) << "harmonic " << k;
  }
  // Between the harmonics below the cut-off there is only the weak, weighted noise.
  EXPECT_LT(amplitudeat(out, 4000, 8000, 500), 0.1 * expected);
}

TEST(Synthesis, OutOfRangeF0IsUnvoiced) {
  track unvoiced(40, 24, 0.0, -3.0);
  std::vector<double> ref = unvoiced.synthesise(80);
  for (double f : {5.0, 2000.0}) {
    track t(40, 24, f, -3.0);
    EXPECT_EQ(t.synthesise(80), ref) << "f0 " << f;
  }
}

TEST(Synthesis, F0AtOrAboveTheCutoffIsUnvoiced) {
  track t(40, 24, 1200.0, -3.0);
  for (double& v : t.fv) v = 1100.0;
  track unvoiced(40, 24, 0.0, -3.0);
  EXPECT_EQ(t.synthesise(80), unvoiced.synthesise(80));
}

TEST(Synthesis, CutoffFromC0WithEqualLevelsUsesTheFloor) {
  // Without a voiced-frequency track and with every c0 equal, the cut-off formula has no
  // range; the frames get the 1000 Hz floor: harmonics at 200 Hz, nothing harmonic at 1400 Hz.
  track t(120, 39, 200.0, -4.0);
  std::vector<double> out = t.synthesise(80, false);
  for (double v : out) ASSERT_TRUE(std::isfinite(v));
  double a1 = amplitudeat(out, 3000, 4000, 200), a7 = amplitudeat(out, 3000, 4000, 1400);
  EXPECT_GT(a1, 5 * a7);
}

TEST(Synthesis, NonFiniteFramesAreSilentAndDoNotSpread) {
  track t(40, 24, 150.0, -3.0);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  t.cc[getccsize(10, t.p) + 3] = nan;
  t.f0[20] = std::numeric_limits<double>::infinity();
  t.f0[21] = nan;
  t.fv[30] = nan;  // counts as 1000 Hz
  std::vector<double> out = t.synthesise(80);
  for (double v : out) ASSERT_TRUE(std::isfinite(v));
  // Frame 21 is silent and frame 20 unvoiced noise; the centre of frame 21 only gets
  // the tails of its neighbours, which are zero there.
  EXPECT_EQ(out[22 * 80], 0.0);
}

TEST(HighPassWeighting, LogGainsAtTheKneeAndTheCutoff) {
  std::vector<double> e(20, 0.0);
  applyhpfilterlog(20, 100.0, e.data(), 1000.0);
  EXPECT_NEAR(e[7], -kLn10, 1e-12);                                      // 800 Hz: the knee, -20 dB
  EXPECT_NEAR(e[0], -3.684136148790474 + 1.381551055796428 / 8, 1e-12);  // 100 Hz
  EXPECT_NEAR(e[8], -kLn10 * 0.5, 1e-12);                                // 900 Hz: halfway to 0 dB
  for (int k = 9; k < 20; k++) EXPECT_EQ(e[k], 0.0);                     // at and above 1000 Hz
}

TEST(HighPassWeighting, HarmonicsKeepThePowerTheNoiseLoses) {
  std::vector<double> a(12, 1.0), e(12, 0.0);
  applyantihpfilter(12, 100.0, a.data(), 1000.0);
  applyhpfilterlog(12, 100.0, e.data(), 1000.0);
  EXPECT_NEAR(a[7], std::sqrt(1 - 0.01), 1e-12);  // harmonic 8 at the knee
  for (int k = 0; k < 12; k++) EXPECT_NEAR(a[k] * a[k] + std::exp(2 * e[k]), k < 9 ? 1.0 : 2.0, 1e-12);
}

TEST(ExcitationPhase, AddsTheGlottalModelPhase) {
  std::vector<double> ph = {0.5, 0.0, 0.0};
  applyexcphase(3, 100, kFs, ph.data());
  double psi = 2 * kPi * 100 / kFs;
  EXPECT_NEAR(ph[0], 0.5 + kPi - 2 * std::atan2(0.0975 * std::sin(psi), 1.9 - 1.9025 * std::cos(psi)), 1e-12);
  EXPECT_NEAR(ph[2], kPi - 2 * std::atan2(0.0975 * std::sin(3 * psi), 1.9 - 1.9025 * std::cos(3 * psi)),
              1e-12);
}

TEST(PostFilters, LoudnessAddsItsTableUpToTheOrder) {
  std::vector<double> cc(2 * 40, 1.0);
  applycloudfilt16k042(cc.data(), 39, 2, 1.0);
  EXPECT_NEAR(cc[0], 1.216217, 1e-12);
  EXPECT_NEAR(cc[40 + 5], 1 - 0.002685, 1e-12);
  EXPECT_NEAR(cc[39], 1 - 0.000464, 1e-12);
  std::vector<double> copy = cc;
  applycloudfilt16k042(cc.data(), 39, 2, 0.0);
  EXPECT_EQ(cc, copy);
}

TEST(PostFilters, PostFilterScalesOnlyTheOrthogonalPart) {
  // c = s * T + r with r orthogonal to the table: the filter keeps s * T and scales r by 1 + b.
  const uint32_t p = 3;
  const double T1 = 0.038499, T2 = 0.008488, T3 = 0.01002;
  double s = 2.0;
  double r[4] = {0, T2, -T1, 0};  // orthogonal to (T1, T2, T3)
  std::vector<double> cc = {5.0, s * T1 + r[1], s * T2 + r[2], s * T3 + r[3]};
  applycpostfilt16k042(cc.data(), p, 1, 0.5, nullptr);
  EXPECT_EQ(cc[0], 5.0);
  EXPECT_NEAR(cc[1], s * T1 + 1.5 * r[1], 1e-12);
  EXPECT_NEAR(cc[2], s * T2 + 1.5 * r[2], 1e-12);
  EXPECT_NEAR(cc[3], s * T3, 1e-12);
  // A per-frame factor above 1 counts as 1, below 0 as 0.
  std::vector<double> two = {0, 0.1, 0.2, 0.3, 0, 0.1, 0.2, 0.3}, ref = two;
  double factors[2] = {-3.0, 7.0};
  applycpostfilt16k042(two.data(), p, 2, 0.5, factors);
  for (int j = 0; j < 4; j++) EXPECT_EQ(two[j], ref[j]);
  std::vector<double> full = {0, 0.1, 0.2, 0.3};
  applycpostfilt16k042(full.data(), p, 1, 0.5, nullptr);
  for (int j = 0; j < 4; j++) EXPECT_NEAR(two[4 + j], full[j], 1e-15);
}

TEST(PostFilters, CompressionCurveMovesC0) {
  // Only c0 set: the level of a frame is 53.9683 + 9.3548 c0.
  const double gamma = 0.5, scale = 0.1151292546497023;
  std::vector<double> cc(3 * 40, 0.0);
  cc[0] = 2.0;
  cc[40] = 2.0 - 30 / 9.3548;  // 30 dB below the loudest
  cc[80] = 2.0 - 50 / 9.3548;  // 50 dB below: left as it is
  std::vector<double> before = cc;
  applycdrc16k042(cc.data(), 39, 3, gamma);
  EXPECT_NEAR(cc[0] - before[0], -10 * gamma * scale, 1e-12);
  EXPECT_NEAR(cc[40] - before[40], 14 * gamma * scale, 1e-9);
  EXPECT_NEAR(cc[80] - before[80], 0.0, 1e-12);
  for (int j = 1; j < 40; j++) EXPECT_EQ(cc[j], 0.0);
}

}  // namespace
