// Linear-phase estimation, phase-advance corrections and polarity detection.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "harmonicanalysis.h"

using namespace velk;

namespace {

const double kFs = 16000.0;
const double kTwoPi = 2.0 * M_PI;

double wrapangle(double a) {
  return std::remainder(a, kTwoPi);
}

// Deterministic small phase noise in [-amp, amp].
double phasenoise(uint32_t k, double amp) {
  return amp * std::sin(12.9898 * k + 78.233 * k * k);
}

class LinearPhase : public ::testing::TestWithParam<double> {};

TEST_P(LinearPhase, BothEstimatorsRecoverAKnownSlopeUnderPhaseNoise) {
  const double tau = GetParam();
  const uint32_t K = 12;
  std::vector<double> amps(K), power(K), phases(K);
  for (uint32_t k = 1; k <= K; ++k) {
    amps[k - 1] = 1.0 / std::sqrt(static_cast<double>(k));
    power[k - 1] = amps[k - 1] * amps[k - 1];
    phases[k - 1] = wrapangle(k * tau + phasenoise(k, 0.02));
  }
  mempolytseb* table = memgetlinphasecreate(K);
  ASSERT_NE(table, nullptr);
  EXPECT_NEAR(wrapangle(getlinphase(K, amps.data(), phases.data(), table) - tau), 0.0, 0.01) << tau;
  EXPECT_NEAR(wrapangle(getlinphasechazan(K, power.data(), phases.data()) - tau), 0.0, 0.02) << tau;
  memgetlinphasedestroy(table);
}

INSTANTIATE_TEST_SUITE_P(Slopes, LinearPhase, ::testing::Values(-2.6, -1.1, -0.2, 0.3, 1.4, 2.9),
                         [](const ::testing::TestParamInfo<double>& info) {
                           const long tenths = std::lround(info.param * 10);
                           return (tenths < 0 ? "minus" : "plus") + std::to_string(std::labs(tenths)) +
                                  "tenths";
                         });

TEST(LinearPhaseExact, EqualAmplitudesAndExactSlope) {
  mempolytseb* table = memgetlinphasecreate(10);
  std::vector<double> ones(4, 1.0), phases(8);
  for (uint32_t k = 1; k <= 8; ++k) phases[k - 1] = k * 0.3;
  EXPECT_NEAR(getlinphase(4, ones.data(), phases.data(), table), 0.3, 1e-9);
  // The root finder stops at single-precision resolution of the companion matrix, which
  // leaves the stationary points of the degree-16 polynomial of 8 harmonics a few 1e-6 off.
  ones.assign(8, 1.0);
  EXPECT_NEAR(getlinphase(8, ones.data(), phases.data(), table), 0.3, 1e-4);
  EXPECT_NEAR(getlinphasechazan(8, ones.data(), phases.data()), 0.3, 1e-12);
  // A silent top harmonic lowers the polynomial degree and changes nothing else.
  ones[7] = 0.0;
  EXPECT_NEAR(getlinphase(8, ones.data(), phases.data(), table), 0.3, 1e-4);
  ones.assign(5, 1.0);
  ones[4] = 0.0;
  EXPECT_NEAR(getlinphase(5, ones.data(), phases.data(), table), 0.3, 1e-9);
  memgetlinphasedestroy(table);
}

TEST(LinearPhaseExact, DegenerateInputsGiveZero) {
  const uint32_t K = 6;
  std::vector<double> zeros(K, 0.0), phases(K, 0.7), ones(K, 1.0);
  mempolytseb* table = memgetlinphasecreate(K);
  EXPECT_EQ(getlinphase(K, zeros.data(), phases.data(), table), 0.0);
  EXPECT_EQ(getlinphase(0, ones.data(), phases.data(), table), 0.0);
  EXPECT_EQ(getlinphasechazan(0, ones.data(), phases.data()), 0.0);
  EXPECT_EQ(getlinphasechazan(K, zeros.data(), phases.data()), 0.0);
  memgetlinphasedestroy(table);
  mempolytseb* small = memgetlinphasecreate(3);  // too few orders for 6 harmonics
  EXPECT_EQ(getlinphase(K, ones.data(), phases.data(), small), 0.0);
  memgetlinphasedestroy(small);
}

TEST(LinearPhaseExact, GivenValue) {
  const double v = -1.25;
  EXPECT_EQ(getlinphasecgrav(1, &v), -1.25);
  EXPECT_EQ(getlinphasecgrav(0, &v), 0.0);
}

TEST(PhaseAdvance, LinearFrequencyCorrection) {
  const double w = 0.07;
  EXPECT_EQ(modlinphase(w, 0.09, 120, 1.0, 1.0, 120), 0.0);
  EXPECT_NEAR(modlinphase(w, w, 100, 1.0, 1.0, 200), 100 * w, 1e-12);
  EXPECT_NEAR(modlinphase(0.05, 0.09, 100, 1.5, 0.5, 100), 100 * (1.5 * 0.05 + 0.5 * 0.09) / 2 - 100 * 0.07,
              1e-12);
}

// The advance of a cubic track with scaled frequency, integrated numerically (Simpson's
// rule is exact for the cubic integrand r(t)*phase'(t)).
double scaledcubicadvance(double phia, double phib, double wa, double wb, int M1, double ra, double rb,
                          int M2) {
  double p[4];
  polymcaq(phia, phib, wa, wb, M1, p);
  auto integrand = [&](double t) {
    const double r = ra + (rb - ra) * t / M1;
    return r * ((3.0 * p[0] * t + 2.0 * p[1]) * t + p[2]);
  };
  const double m = M1;
  const double integral = m / 6.0 * (integrand(0.0) + 4.0 * integrand(m / 2.0) + integrand(m));
  const double original = ((p[0] * m + p[1]) * m + p[2]) * m;
  return integral * M2 / m - original;
}

TEST(PhaseAdvance, CubicTrackCorrectionMatchesTheIntegratedTrack) {
  EXPECT_EQ(modlinphaseobr(0.3, -2.0, 0.05, 0.08, 160, 1.0, 1.0, 160), 0.0);
  // Constant frequency stretched to twice its length advances by one more segment's phase.
  const double w = 0.11;
  EXPECT_NEAR(modlinphaseobr(0.2, wrapangle(0.2 + 80 * w), w, w, 80, 1.0, 1.0, 160), 80 * w, 1e-9);
  const struct {
    double phia, phib, wa, wb;
    int M1;
    double ra, rb;
    int M2;
  } cases[] = {{0.3, -2.0, 0.05, 0.08, 160, 1.2, 0.8, 200},
               {-1.0, 2.5, 0.2, 0.12, 80, 0.9, 1.1, 80},
               {2.0, 2.0, 0.03, 0.031, 240, 1.5, 1.5, 120}};
  for (const auto& c : cases)
    EXPECT_NEAR(modlinphaseobr(c.phia, c.phib, c.wa, c.wb, c.M1, c.ra, c.rb, c.M2),
                scaledcubicadvance(c.phia, c.phib, c.wa, c.wb, c.M1, c.ra, c.rb, c.M2), 1e-9);
  EXPECT_TRUE(std::isfinite(modlinphaseobr(0.1, 0.2, 0.05, 0.05, 0, 1.2, 1.0, 10)));
}

TEST(Polarity, PhaseInterceptExamples) {
  const double pos[2] = {0.1, 0.2}, neg[2] = {M_PI + 0.1, M_PI + 0.2}, tie[2] = {M_PI / 2, M_PI / 2};
  EXPECT_EQ(phasecutpolarity(pos, 2), 1);
  EXPECT_EQ(phasecutpolarity(neg, 2), -1);
  EXPECT_EQ(phasecutpolarity(tie, 2), 0);
  EXPECT_EQ(phasecutpolarity(pos, 1), 0);
  EXPECT_EQ(rpspolarity(pos, 1), 0);
}

// Phases measured from a train of positive pulses (and the same train inverted), delayed
// from the frame centre so the phases carry a linear term as well.
TEST(Polarity, BothDetectorsFlipWithAnInvertedPulseTrain) {
  const double f0 = 100.0;
  const uint32_t n = 4000, centre = 2000, K = 30;
  const double delay = 7.0;  // samples
  std::vector<double> x(n, 0.0);
  for (uint32_t i = 0; i < n; ++i)
    for (uint32_t k = 1; k <= K; ++k)
      x[i] += std::exp(-std::pow(k / 25.0, 2)) *
              std::cos(kTwoPi * k * f0 * (i - delay - centre) / kFs + 0.02 * k);
  std::vector<double> inverted(n);
  for (uint32_t i = 0; i < n; ++i) inverted[i] = -x[i];

  hamem* rec = hameminitialize(kFs, 3100, f0);
  std::vector<double> amps(K), phases(K), invphases(K);
  ASSERT_EQ(getharmonics(x.data(), n, kFs, centre, f0, K, amps.data(), phases.data(), rec), 0);
  ASSERT_EQ(getharmonics(inverted.data(), n, kFs, centre, f0, K, nullptr, invphases.data(), rec), 0);
  hamemdestroy(rec);

  EXPECT_EQ(phasecutpolarity(phases.data(), K), 1);
  EXPECT_EQ(phasecutpolarity(invphases.data(), K), -1);
  EXPECT_EQ(rpspolarity(phases.data(), K), 1);
  EXPECT_EQ(rpspolarity(invphases.data(), K), -1);

  // The delay is the linear phase: -2*pi*f0*delay/fs per harmonic, plus the 0.02 term.
  // The root-based estimator is used on the first 12 harmonics, where its polynomial
  // (degree 24) is still well within the root finder's reach.
  const uint32_t Kl = 12;
  mempolytseb* table = memgetlinphasecreate(Kl);
  const double expect = -kTwoPi * f0 * delay / kFs + 0.02;
  EXPECT_NEAR(wrapangle(getlinphase(Kl, amps.data(), phases.data(), table) - expect), 0.0, 1e-4);
  std::vector<double> power(K);
  for (uint32_t k = 0; k < K; ++k) power[k] = amps[k] * amps[k];
  EXPECT_NEAR(wrapangle(getlinphasechazan(K, power.data(), phases.data()) - expect), 0.0, 1e-8);
  memgetlinphasedestroy(table);
}

}  // namespace
