// Warped cepstral analysis: warping primitives, and envelopes of synthetic harmonic signals
// whose amplitudes follow a known warped-cepstral envelope.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "ccanalysis.h"
#include "harmonicanalysis.h"

using namespace velk;

namespace {

const double kFs = 16000.0;
const double kPi = 3.141592653589793;

// ln A at angle w of a cepstral vector c of order p, evaluated directly.
double logenvelope(const std::vector<double>& c, double w, double alpha) {
  double ww = fwarp(w, alpha);
  double s = c[0];
  for (size_t j = 1; j < c.size(); j++) s += 2 * c[j] * std::cos(j * ww);
  return s;
}

TEST(FrequencyWarping, FixedPointsAndIdentity) {
  for (double w : {0.0, 0.3, 1.7, 3.0}) EXPECT_DOUBLE_EQ(fwarp(w, 0.0), w);
  EXPECT_DOUBLE_EQ(fwarp(0.0, 0.42), 0.0);
  EXPECT_NEAR(fwarp(kPi, 0.42), kPi, 1e-15);
  // Low frequencies are stretched by (1 + alpha) / (1 - alpha).
  EXPECT_NEAR(fwarp(1e-4, 0.42) / 1e-4, 1.42 / 0.58, 1e-6);
  // Warping by alpha then by -alpha gives the angle back (all-pass chaining).
  EXPECT_NEAR(fwarp(fwarp(0.9, 0.42), -0.42), 0.9, 1e-12);
}

TEST(CepstrumWarping, ZeroFactorCopiesAndPads) {
  std::vector<double> c = {1, 2, 3, 4, 5, 6}, d(6, -1), scratch(6);
  ASSERT_EQ(ccwarp(c.data(), 3, d.data(), 5, 0.0, scratch.data()), 0);
  EXPECT_EQ(d, (std::vector<double>{1, 2, 3, 4, 0, 0}));
  std::vector<double> e(4, -1);
  ASSERT_EQ(ccwarp(c.data(), 5, e.data(), 3, 0.0, scratch.data()), 0);
  EXPECT_EQ(e, (std::vector<double>{1, 2, 3, 4}));
}

TEST(CepstrumWarping, RefusesFactorsOutsideTheUnitInterval) {
  std::vector<double> c = {1, 2}, d = {7, 7}, scratch(2);
  EXPECT_EQ(ccwarp(c.data(), 1, d.data(), 1, 1.0, scratch.data()), -1);
  EXPECT_EQ(ccwarp(c.data(), 1, d.data(), 1, -1.5, scratch.data()), -1);
  EXPECT_EQ(d, (std::vector<double>{7, 7}));
}

TEST(CepstrumWarping, WarpedCepstrumDescribesTheSameEnvelope) {
  // An unwarped envelope of order 8; its warped version (c0 halved before and doubled after,
  // as the analysis does) evaluated on the warped axis must give the same log amplitudes.
  const double alpha = 0.42;
  std::vector<double> c = {0.3, 0.5, -0.2, 0.1, 0.05, -0.03, 0.02, 0.01, -0.005};
  std::vector<double> in = c;
  in[0] *= 0.5;
  const uint32_t p = 120;
  std::vector<double> d(p + 1), scratch(p + 1);
  ASSERT_EQ(ccwarp(in.data(), 8, d.data(), p, alpha, scratch.data()), 0);
  d[0] *= 2;
  for (double w = 0.05; w < kPi; w += 0.2) {
    EXPECT_NEAR(logenvelope(d, w, alpha), logenvelope(c, w, 0.0), 1e-6) << "w=" << w;
  }
  // With odd and even pass counts the result lands in the output either way.
  std::vector<double> d7(p + 1);
  ASSERT_EQ(ccwarp(in.data(), 7, d7.data(), p, alpha, scratch.data()), 0);
  EXPECT_NE(d7[1], 0.0);
}

TEST(CepstralMatrix, RowsAreWarpedCosinesAndSines) {
  const uint32_t p = 5, K = 3;
  const double f0 = 150, alpha = 0.42;
  std::vector<double> R(K * (p + 1)), Q(K * (p + 1));
  ASSERT_EQ(ccmatrixcreate(p, K, f0, nullptr, kFs, alpha, R.data(), Q.data()), 0);
  for (uint32_t k = 0; k < K; k++) {
    double ww = fwarp(2 * kPi * (k + 1) * f0 / kFs, alpha);
    EXPECT_EQ(R[k * (p + 1)], 1.0);
    EXPECT_TRUE(std::signbit(Q[k * (p + 1)]));
    EXPECT_EQ(Q[k * (p + 1)], 0.0);
    for (uint32_t j = 1; j <= p; j++) {
      EXPECT_NEAR(R[k * (p + 1) + j], 2 * std::cos(j * ww), 1e-13);
      EXPECT_NEAR(Q[k * (p + 1) + j], -2 * std::sin(j * ww), 1e-13);
    }
  }
  // Explicit frequencies give the rows of those frequencies.
  std::vector<double> freqs = {150, 300, 450}, R2(K * (p + 1));
  ASSERT_EQ(ccmatrixcreate(p, K, 0.0, freqs.data(), kFs, alpha, R2.data(), nullptr), 0);
  for (size_t i = 0; i < R.size(); i++) EXPECT_NEAR(R2[i], R[i], 1e-13);
  EXPECT_EQ(ccmatrixcreate(p, K, f0, nullptr, kFs, alpha, nullptr, nullptr), -1);
}

// Rows are made several at a time; each must equal the row made alone by its own recurrence.
TEST(CepstralMatrix, RowsEqualTheirOwnRecurrenceBitForBit) {
  const uint32_t p = 39;
  const double f0 = 97.0, alpha = 0.42;
  for (uint32_t K : {1u, 4u, 6u, 81u}) {
    std::vector<double> R(K * (p + 1)), Q(K * (p + 1)), Ronly(K * (p + 1));
    ASSERT_EQ(ccmatrixcreate(p, K, f0, nullptr, kFs, alpha, R.data(), Q.data()), 0);
    ASSERT_EQ(ccmatrixcreate(p, K, f0, nullptr, kFs, alpha, Ronly.data(), nullptr), 0);
    EXPECT_EQ(Ronly, R);
    for (uint32_t k = 0; k < K; k++) {
      const double ww = fwarp(2 * kPi * (k + 1) * f0 / kFs, alpha);
      const double cw = std::cos(ww), sw = std::sin(ww);
      double c = 1.0, s = 0.0;
      for (uint32_t j = 1; j <= p; j++) {
        const double cn = c * cw - s * sw;
        s = s * cw + c * sw;
        c = cn;
        ASSERT_EQ(R[k * (p + 1) + j], 2 * c) << "K " << K << " row " << k << " column " << j;
        ASSERT_EQ(Q[k * (p + 1) + j], -2 * s) << "K " << K << " row " << k << " column " << j;
      }
    }
  }
}

TEST(CepstralSizes, MatrixAndFrameCounts) {
  EXPECT_EQ(getccsize(200, 39), 8000u);
  EXPECT_EQ(getnumframes(16000, 80, 0), 200u);
}

// A harmonic signal of constant f0 whose amplitudes follow the warped envelope `env`
// (amplitude = exp(ln A) * 2 sqrt(f0), the scale the cepstra describe).
std::vector<double> harmonicsignal(const std::vector<double>& env, double f0, double alpha, uint32_t n) {
  std::vector<double> x(n, 0.0);
  uint32_t K = hanoharms(kFs, kFs, f0);
  for (uint32_t k = 1; k <= K; k++) {
    double w = 2 * kPi * k * f0 / kFs;
    double a = std::exp(logenvelope(env, w, alpha)) * 2 * std::sqrt(f0);
    double phase = 0.7 * k * k;
    for (uint32_t i = 0; i < n; i++) x[i] += a * std::cos(w * i + phase);
  }
  return x;
}

struct envelopeerror {
  double maxdb;   // largest deviation in dB at the harmonics below 4 kHz
  double meandb;  // mean signed deviation in dB
};

// Analyses the signal with the method and compares the envelope of the middle frames at the
// harmonics below 4 kHz with the true envelope.
envelopeerror measureenvelope(uint8_t method, double f0) {
  const double alpha = 0.42;
  const uint32_t p = 39, n = 8000, shift = 80;
  std::vector<double> env = {-4.0, 0.6, -0.25, 0.15, -0.1, 0.05, 0.03, -0.02};
  std::vector<double> x = harmonicsignal(env, f0, alpha, n);
  uint32_t N = getnumframes(n, shift, 0);
  std::vector<double> f0s(N, f0), cc(getccsize(N, p));
  EXPECT_EQ(waveform2cc(x.data(), n, kFs, shift, 0, N, f0s.data(), p, cc.data(), method, alpha), 0);
  envelopeerror e = {0, 0};
  int count = 0;
  const double todb = 20 / std::log(10.0);
  for (uint32_t i = N / 4; i < 3 * N / 4; i++) {
    std::vector<double> c(cc.begin() + getccsize(i, p), cc.begin() + getccsize(i + 1, p));
    for (uint32_t k = 1; k * f0 < 4000; k++) {
      double w = 2 * kPi * k * f0 / kFs;
      double diff = (logenvelope(c, w, alpha) - logenvelope(env, w, alpha)) * todb;
      e.maxdb = std::max(e.maxdb, std::fabs(diff));
      e.meandb += diff;
      count++;
    }
  }
  e.meandb /= count;
  return e;
}

TEST(CepstralAnalysis, HarmonicRdcFollowsTheHarmonicAmplitudesWithinOneDecibel) {
  for (double f0 : {100.0, 140.0, 210.0}) {
    envelopeerror e = measureenvelope(CC_HARM_RDC, f0);
    EXPECT_LT(e.maxdb, 1.0) << "f0=" << f0;
  }
}

TEST(CepstralAnalysis, EveryMethodFollowsTheEnvelope) {
  // Bounds in dB below 4 kHz for the other methods. Measured worst cases at 100 and 210 Hz:
  // interpolated harmonics 0.06, adapted frequencies 0.013, complementary windows with
  // liftering 0.92 (the window smooths the peaks), SEEVOC 0.32.
  struct bound {
    uint8_t method;
    double maxdb;
  };
  for (bound b : {bound{CC_HARM_MCEP, 0.5}, bound{CC_QHARM_RDC, 0.5}, bound{CC_WWC_MCEP, 2.0},
                  bound{CC_SEEVOC_MCEP, 1.0}, bound{7, 0.5}}) {
    for (double f0 : {100.0, 210.0}) {
      envelopeerror e = measureenvelope(b.method, f0);
      EXPECT_LT(e.maxdb, b.maxdb) << "method " << int(b.method) << " f0=" << f0 << " mean " << e.meandb;
    }
  }
}

TEST(CepstralAnalysis, UnvoicedFramesOfAllHarmonicMethodsUseTheNoiseSpectrum) {
  const uint32_t p = 24, n = 4000, shift = 80;
  std::vector<double> x(n);
  for (uint32_t i = 0; i < n; i++) x[i] = std::sin(0.37 * i) + 0.5 * std::sin(1.9 * i);
  uint32_t N = getnumframes(n, shift, 0);
  std::vector<double> f0s(N, 0.0);
  std::vector<double> ref(getccsize(N, p));
  waveform2cc(x.data(), n, kFs, shift, 0, N, f0s.data(), p, ref.data(), CC_HARM_MCEP, 0.42);
  for (uint8_t m : {uint8_t(CC_HARM_RDC), uint8_t(CC_QHARM_RDC), uint8_t(9)}) {
    std::vector<double> cc(getccsize(N, p));
    waveform2cc(x.data(), n, kFs, shift, 0, N, f0s.data(), p, cc.data(), m, 0.42);
    EXPECT_EQ(cc, ref) << "method " << int(m);
  }
}

TEST(CepstralAnalysis, RepeatedCallsGiveIdenticalCepstra) {
  const uint32_t p = 39, n = 6000, shift = 80;
  std::vector<double> env = {-3.0, 0.4, -0.2, 0.1};
  std::vector<double> x = harmonicsignal(env, 130, 0.42, n);
  uint32_t N = getnumframes(n, shift, 0);
  std::vector<double> f0s(N, 130.0);
  for (uint32_t i = 0; i < N; i += 7) f0s[i] = 0;  // mix voiced and unvoiced frames
  for (uint8_t m = 0; m <= 4; m++) {
    std::vector<double> a(getccsize(N, p)), b(getccsize(N, p));
    waveform2cc(x.data(), n, kFs, shift, 0, N, f0s.data(), p, a.data(), m, 0.42);
    waveform2cc(x.data(), n, kFs, shift, 0, N, f0s.data(), p, b.data(), m, 0.42);
    EXPECT_EQ(a, b) << "method " << int(m);
    for (double v : a) ASSERT_TRUE(std::isfinite(v)) << "method " << int(m);
  }
}

}  // namespace
