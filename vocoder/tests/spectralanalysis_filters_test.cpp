// FIR designs and filtering, the FFT filter, and linear prediction.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "spectralanalysis.h"

using namespace velk;

namespace {

const double kFs = 16000.0;

// Magnitude of the response of h at frequency f.
double firgain(const std::vector<double>& h, double f) {
  double re = 0, im = 0;
  for (size_t k = 0; k < h.size(); k++) {
    re += h[k] * cos(2 * M_PI * f / kFs * k);
    im -= h[k] * sin(2 * M_PI * f / kFs * k);
  }
  return hypot(re, im);
}

std::vector<double> noise(uint32_t n, unsigned seed) {
  noisegen g(seed);
  std::vector<double> x(n);
  genwhitenoise(x.data(), n, &g);
  return x;
}

std::vector<double> sine(uint32_t n, double f) {
  std::vector<double> x(n);
  for (uint32_t t = 0; t < n; t++) x[t] = sin(2 * M_PI * f * t / kFs);
  return x;
}

double rms(const std::vector<double>& x, size_t from, size_t to) {
  double acc = 0;
  for (size_t t = from; t < to; t++) acc += x[t] * x[t];
  return sqrt(acc / (to - from));
}

// Zero-phase convolution y[t] = sum h[k] x[t - M + k], zeros outside the signal.
std::vector<double> directzerophase(const std::vector<double>& x, const std::vector<double>& h) {
  const int M = (h.size() - 1) / 2, n = x.size();
  std::vector<double> y(n, 0.0);
  for (int t = 0; t < n; t++)
    for (int k = 0; k < (int)h.size(); k++) {
      const int i = t - M + k;
      if (i >= 0 && i < n) y[t] += h[k] * x[i];
    }
  return y;
}

// The pitch analysis's band-pass table.
const double kBandFreqs[] = {0, 45, 55, 3000, 5000, 1000000};
const double kBandGains[] = {-30, -30, 0, 0, -30, -30};

struct NamemDeleter {
  void operator()(namem* m) const { namemdestroy(m); }
};

}  // namespace

TEST(WinFilterDesign, HalfBandLowPassHasZeroEvenTaps) {
  const uint32_t P = 40, M = 20;
  std::vector<double> h(P + 1);
  getlpwinfilter(P, h.data(), kFs / 4, kFs);
  EXPECT_EQ(h[M], 0.5);
  for (uint32_t k = 2; k <= M; k += 2) {
    EXPECT_NEAR(h[M + k], 0.0, 1e-15) << k;
    EXPECT_EQ(h[M - k], h[M + k]);
  }
  // The first odd tap is the Hamming-tapered sinc: w_1 sin(pi/2)/pi.
  EXPECT_NEAR(h[M + 1], (0.54 + 0.46 * cos(M_PI / M)) / M_PI, 1e-14);
}

TEST(WinFilterDesign, ResponsesPassAndStopTheirBands) {
  const uint32_t P = 100;
  std::vector<double> lp(P + 1), hp(P + 1), bp(P + 1);
  getlpwinfilter(P, lp.data(), 2000, kFs);
  gethpwinfilter(P, hp.data(), 2000, kFs);
  getbpwinfilter(P, bp.data(), 1000, 3000, kFs);
  EXPECT_NEAR(firgain(lp, 0), 1.0, 0.01);
  EXPECT_NEAR(firgain(lp, 1000), 1.0, 0.01);
  EXPECT_LT(firgain(lp, 3000), 0.01);
  EXPECT_NEAR(firgain(lp, 2000), 0.5, 0.02);
  EXPECT_LT(firgain(hp, 0), 0.01);
  EXPECT_LT(firgain(hp, 1000), 0.01);
  EXPECT_NEAR(firgain(hp, 4000), 1.0, 0.01);
  EXPECT_NEAR(firgain(hp, 8000), 1.0, 0.01);
  EXPECT_LT(firgain(bp, 200), 0.01);
  EXPECT_NEAR(firgain(bp, 2000), 1.0, 0.01);
  EXPECT_LT(firgain(bp, 4500), 0.01);
  // Low-pass plus high-pass at the same cut-off is the unit impulse.
  for (uint32_t k = 0; k <= P; k++) EXPECT_NEAR(lp[k] + hp[k], k == P / 2 ? 1.0 : 0.0, 1e-14);
}

TEST(WinFilter, CausalFilterIsConvolutionAndCarriesItsDelayLine) {
  const uint32_t P = 6;
  std::vector<double> h = {0.1, -0.2, 0.3, 0.5, 0.3, -0.2, 0.1};
  std::vector<double> x = noise(100, 2);
  std::vector<double> y = x, line(P + 1, 0.0);
  winfilter(y.data(), 37, P, h.data(), line.data());
  winfilter(y.data() + 37, 63, P, h.data(), line.data());
  for (int t = 0; t < 100; t++) {
    double ref = 0;
    for (int k = 0; k <= (int)P; k++)
      if (t - (int)P + k >= 0) ref += h[k] * x[t - P + k];
    EXPECT_NEAR(y[t], ref, 1e-14) << t;
  }
}

TEST(WinFilter, ZeroPhaseFilterMatchesDirectConvolution) {
  std::vector<double> x = noise(200, 4);
  std::vector<double> identity = {0.0, 1.0, 0.0};
  std::vector<double> y = x;
  winfilternodelay(y.data(), y.size(), 2, identity.data());
  EXPECT_EQ(y, x);

  std::vector<double> h(21);
  getlpwinfilter(20, h.data(), 3000, kFs);
  y = x;
  winfilternodelay(y.data(), y.size(), 20, h.data());
  std::vector<double> ref = directzerophase(x, h);
  for (size_t t = 0; t < x.size(); t++) EXPECT_NEAR(y[t], ref[t], 1e-14) << t;

  // A signal shorter than the filter.
  std::vector<double> shortx = {1.0, 2.0, -1.0};
  std::vector<double> shorty = shortx;
  winfilternodelay(shorty.data(), 3, 20, h.data());
  ref = directzerophase(shortx, h);
  for (size_t t = 0; t < 3; t++) EXPECT_NEAR(shorty[t], ref[t], 1e-14);
}

TEST(WinFilter, SignalHighPassRemovesLowTonesAndKeepsHighOnes) {
  std::vector<double> h(49);
  gethpwinfilter(48, h.data(), 500, kFs);
  EXPECT_LT(firgain(h, 100), 0.05);
  std::vector<double> low = sine(8000, 100), high = sine(8000, 2000);
  std::vector<double> lowf = low, highf = high;
  elimlowfrecfromsignal(lowf.data(), lowf.size(), kFs);
  elimlowfrecfromsignal(highf.data(), highf.size(), kFs);
  // A steady tone comes out scaled by the design's gain at its frequency.
  EXPECT_NEAR(rms(lowf, 100, 7900) / rms(low, 100, 7900), firgain(h, 100), 1e-3);
  EXPECT_NEAR(rms(highf, 100, 7900) / rms(high, 100, 7900), 1.0, 0.01);
  // Zero phase: the high tone is not delayed.
  for (size_t t = 100; t < 7900; t++) ASSERT_NEAR(highf[t], high[t], 0.02);
}

TEST(FftFilter, FlatTableReturnsTheInput) {
  const double freqs[] = {0, 1000000};
  const double gains[] = {0, 0};
  std::vector<double> x = noise(5000, 6), y(5000);
  fftfilter(x.data(), y.data(), x.size(), 256, freqs, gains, kFs);
  for (size_t t = 0; t < x.size(); t++) ASSERT_NEAR(y[t], x[t], 1e-12) << t;
}

// Attenuation in dB of a steady tone of frequency f through the band-pass table.
double bandpassattenuationdb(double f) {
  const uint32_t n = 32000;
  std::vector<double> x = sine(n, f), y(n);
  fftfilter(x.data(), y.data(), n, 2048, kBandFreqs, kBandGains, kFs);
  return 20 * log10(rms(y, 2000, n - 2000) / rms(x, 2000, n - 2000));
}

TEST(FftFilter, BandPassTableStopsLowTonesAndPasses1kHz) {
  // The 1025-tap Hamming truncation smooths the 45..55 Hz edge over about +-30 Hz: 30 Hz
  // keeps a little leakage from the pass band, lower tones reach the table's -30 dB.
  const double at30 = bandpassattenuationdb(30);
  printf("band-pass table: 30 Hz %.2f dB, 20 Hz %.2f dB, 10 Hz %.2f dB\n", at30, bandpassattenuationdb(20),
         bandpassattenuationdb(10));
  EXPECT_LT(at30, -25.0);
  EXPECT_NEAR(bandpassattenuationdb(15), -30.0, 1.0);
  EXPECT_NEAR(bandpassattenuationdb(6000), -30.0, 1.0);
  EXPECT_NEAR(bandpassattenuationdb(1000), 0.0, 0.05);
  const uint32_t n = 32000;
  std::vector<double> b = sine(n, 1000), yb(n);
  fftfilter(b.data(), yb.data(), n, 2048, kBandFreqs, kBandGains, kFs);
  for (uint32_t t = 2000; t < n - 2000; t++) ASSERT_NEAR(yb[t], b[t], 0.01);
}

TEST(FftFilter, BlockProcessingEqualsLinearConvolutionWithItsImpulseResponse) {
  // The response to a unit impulse far from the ends gives the zero-phase taps; any input
  // (with a length that is not a multiple of the block) must be their linear convolution.
  const uint32_t N = 128, Q = N / 4, n = 1000, c = 500;
  std::vector<double> imp(n, 0.0), resp(n);
  imp[c] = 1.0;
  fftfilter(imp.data(), resp.data(), n, N, kBandFreqs, kBandGains, kFs);
  for (uint32_t t = 0; t < n; t++)
    if (t + Q < c || t > c + Q) {
      ASSERT_NEAR(resp[t], 0.0, 1e-15) << t;
    }
  std::vector<double> taps(resp.begin() + c - Q, resp.begin() + c + Q + 1);
  for (uint32_t k = 1; k <= Q; k++) EXPECT_NEAR(taps[Q + k], taps[Q - k], 1e-15);

  const uint32_t m = 777;
  std::vector<double> x = noise(m, 8), y(m);
  fftfilter(x.data(), y.data(), m, N, kBandFreqs, kBandGains, kFs);
  std::vector<double> ref = directzerophase(x, taps);
  for (uint32_t t = 0; t < m; t++) ASSERT_NEAR(y[t], ref[t], 1e-12) << t;
}

TEST(Levinson, SolvesTheFirstOrderCaseExactly) {
  const double r[] = {1.0, 0.5};
  double a[2], work[2];
  EXPECT_EQ(reclevinsondurbin(r, 0, 1, a, work), -1);
  EXPECT_EQ(reclevinsondurbin(r, 1, 4, a, work), 0);
  // alpha = 0.5, residual 0.75 over 4 samples.
  EXPECT_DOUBLE_EQ(a[0], 1.0 / sqrt(0.75 / 4));
  EXPECT_DOUBLE_EQ(a[1], -a[0] * 0.5);
}

TEST(Levinson, FrameAnalysisRecoversAnAr2Process) {
  const uint32_t n = 20000, L = 8001, p = 2;
  const double a1 = 1.3, a2 = -0.6, sigma = 0.05;
  std::vector<double> e = noise(n, 10), x(n);
  for (uint32_t t = 0; t < n; t++)
    x[t] = sigma * e[t] + (t >= 1 ? a1 * x[t - 1] : 0) + (t >= 2 ? a2 * x[t - 2] : 0);
  std::unique_ptr<namem, NamemDeleter> mem(nameminitializelpc(L, p));
  double a[p + 1];
  getnoiselpc(x.data(), n, n / 2, p, a, mem.get());
  EXPECT_NEAR(-a[1] / a[0], a1, 0.03);
  EXPECT_NEAR(-a[2] / a[0], a2, 0.03);
  // The unit-power window keeps the residual level: 1/a[0] is the excitation's deviation.
  EXPECT_NEAR(1.0 / a[0], sigma, 0.003);
}

TEST(Levinson, SilentFrameGivesTheLargestGain) {
  std::vector<double> x(2000, 0.0);
  std::unique_ptr<namem, NamemDeleter> mem(nameminitializelpc(401, 4));
  double a[5] = {1, 1, 1, 1, 1};
  getnoiselpc(x.data(), x.size(), 1000, 4, a, mem.get());
  EXPECT_EQ(a[0], DBL_MAX);
  for (int i = 1; i <= 4; i++) EXPECT_EQ(a[i], 0.0);
  // Order 0 sets the gain from the frame level instead of leaving it unset.
  double g = 0;
  getnoiselpc(x.data(), x.size(), 1000, 0, &g, mem.get());
  EXPECT_EQ(g, DBL_MAX);
  std::vector<double> one(2000, 0.5);
  getnoiselpc(one.data(), one.size(), 1000, 0, &g, mem.get());
  EXPECT_NEAR(1.0 / g, 0.5, 0.01);
}

TEST(LpcFilter, IsTheInverseOfThePredictionErrorFilter) {
  const double a[] = {2.0, -0.9, 0.4, 0.1};
  std::vector<double> e = noise(300, 12), y = e;
  lpcfilter(y.data(), y.size(), a, 3);
  // Prediction-error (FIR) filter: a0 y[t] + sum a_k y[t-k] recovers the excitation.
  for (int t = 0; t < 300; t++) {
    double v = a[0] * y[t];
    for (int k = 1; k <= 3 && k <= t; k++) v += a[k] * y[t - k];
    ASSERT_NEAR(v, e[t], 1e-12) << t;
  }
  std::vector<double> z = e;
  lpcfilter(z.data(), z.size(), a, 0);
  for (size_t t = 0; t < z.size(); t++) ASSERT_DOUBLE_EQ(z[t], e[t] / 2.0);
}
