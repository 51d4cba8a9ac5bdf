// Log spectra, noise generation and Gaussian deviates.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "dft.h"
#include "spectralanalysis.h"
#include "windowing.h"

using namespace velk;

namespace {

const double kFs = 16000.0;
const double kEulerGamma = 0.5772156649015329;

std::vector<double> whitenoise(uint32_t n, double sigma, unsigned seed) {
  noisegen g(seed);
  std::vector<double> x(n);
  genwhitenoise(x.data(), n, &g);
  for (double& v : x) v *= sigma;
  return x;
}

// Sum of sinusoids at multiples of f0 with amplitudes amps[h-1].
std::vector<double> harmonicsignal(uint32_t n, double f0, const std::vector<double>& amps) {
  std::vector<double> x(n, 0.0);
  for (uint32_t t = 0; t < n; t++)
    for (size_t h = 1; h <= amps.size(); h++)
      x[t] += amps[h - 1] * cos(2.0 * M_PI * h * f0 * t / kFs + 0.3 * h);
  return x;
}

void expectsymmetric(const std::vector<double>& s, uint32_t N) {
  for (uint32_t k = 1; k < N / 2; k++) ASSERT_EQ(s[N - k], s[k]) << k;
}

struct NamemDeleter {
  void operator()(namem* m) const { namemdestroy(m); }
};
using NamemPtr = std::unique_ptr<namem, NamemDeleter>;

}  // namespace

TEST(GaussRand, ConsecutiveCallsReturnBothDeviatesOfOneAcceptedPair) {
  noisegen g(7);
  std::vector<double> first(2);
  first[0] = gaussrand(&g);
  first[1] = gaussrand(&g);
  srand(7);
  double u1, u2, s;
  do {
    u1 = 2.0 * rand() / 2147483647.0 - 1.0;
    u2 = 2.0 * rand() / 2147483647.0 - 1.0;
    s = u1 * u1 + u2 * u2;
  } while (s >= 1.0 || s == 0.0);
  const double m = sqrt(-2.0 * log(s) / s);
  EXPECT_DOUBLE_EQ(first[0], u1 * m);
  EXPECT_DOUBLE_EQ(first[1], u2 * m);
}

TEST(GaussRand, WhiteNoiseHasStandardNormalMoments) {
  const uint32_t n = 200000;
  std::vector<double> x = whitenoise(n, 1.0, 11);
  double m1 = 0, m2 = 0, m4 = 0;
  uint32_t within1 = 0;
  for (double v : x) {
    m1 += v;
    m2 += v * v;
    m4 += v * v * v * v;
    within1 += fabs(v) < 1.0;
  }
  m1 /= n, m2 /= n, m4 /= n;
  EXPECT_NEAR(m1, 0.0, 0.01);
  EXPECT_NEAR(m2, 1.0, 0.015);
  EXPECT_NEAR(m4, 3.0, 0.1);
  EXPECT_NEAR(within1 / double(n), 0.6827, 0.005);
}

TEST(NoiseLogSpectrum, WhiteNoiseIsFlatAtItsExpectedLevel) {
  const uint32_t L = naframesize(kFs), N = 512;
  ASSERT_EQ(L, 401u);
  const double sigma = 0.1;
  std::vector<double> x = whitenoise(200 * 400 + L, sigma, 3);
  NamemPtr mem(nameminitializefft(L, N));
  const uint32_t frames = 200;
  std::vector<double> mean(N, 0.0), meansq(N, 0.0), s(N);
  for (uint32_t f = 0; f < frames; f++) {
    getnoiselogspectrum(x.data(), x.size(), kFs, L + f * 400, N, s.data(), mem.get());
    expectsymmetric(s, N);
    ASSERT_EQ(s[0], s[1]);
    ASSERT_EQ(s[N / 2], s[N / 2 - 1]);
    for (uint32_t k = 0; k < N; k++) {
      mean[k] += s[k] / frames;
      meansq[k] += s[k] * s[k] / frames;
    }
  }
  // |X|^2 of windowed white noise is exponential with mean L sigma^2 (unit-power window):
  // E[ln sqrt(P/(L fs))] = 0.5 (ln(sigma^2/fs) - gamma), spread 0.5 pi/sqrt(6).
  const double expected = 0.5 * (log(sigma * sigma / kFs) - kEulerGamma);
  double grand = 0, spread = 0;
  for (uint32_t k = 8; k < N / 2 - 8; k++) {
    EXPECT_NEAR(mean[k], expected, 0.2) << "bin " << k;
    grand += mean[k];
    spread += meansq[k] - mean[k] * mean[k];
  }
  const uint32_t bins = N / 2 - 16;
  EXPECT_NEAR(grand / bins, expected, 0.03);
  EXPECT_NEAR(sqrt(spread / bins), 0.5 * M_PI / sqrt(6.0), 0.05);
}

TEST(NoiseLogSpectrum, SilentFrameGivesTheFloorLevel) {
  const uint32_t L = 401, N = 512;
  std::vector<double> x(4000, 0.0), s(N);
  NamemPtr mem(nameminitializefft(L, N));
  getnoiselogspectrum(x.data(), x.size(), kFs, 2000, N, s.data(), mem.get());
  const double floorlevel = 0.5 * log(L * 1.0000000000000002e-10 / (L * kFs));
  for (uint32_t k = 0; k < N; k++) ASSERT_NEAR(s[k], floorlevel, 1e-12);
}

TEST(NoiseLogSpectrum, FrameAtSignalStartMatchesDirectTransformOfZeroFilledFrame) {
  // A frame centred on sample 3 has its first L/2 - 3 elements beyond the start; the mean
  // still divides by the full frame length.
  const uint32_t L = 101, N = 128;
  const int z = 3;
  std::vector<double> x = whitenoise(300, 1.0, 5);
  for (double& v : x) v += 0.7;
  NamemPtr mem(nameminitializefft(L, N));
  std::vector<double> s(N);
  getnoiselogspectrum(x.data(), x.size(), kFs, z, N, s.data(), mem.get());

  std::vector<double> w(L);
  winhamming(w.data(), L, 1);
  const int half = L / 2;
  double mean = 0;
  for (int j = 0; j < (int)L; j++)
    if (z + j - half >= 0) mean += x[z + j - half];
  mean /= L;
  for (uint32_t k = 1; k < N / 2; k++) {
    double re = 0, im = 0;
    for (int j = 0; j < (int)L; j++) {
      if (z + j - half < 0) continue;
      const double v = (x[z + j - half] - mean) * w[j];
      re += v * cos(2 * M_PI * k * j / N);
      im -= v * sin(2 * M_PI * k * j / N);
    }
    EXPECT_NEAR(s[k], 0.5 * log((re * re + im * im) / (L * kFs)), 1e-9) << k;
  }
}

TEST(PitchSpectra, ZeroF0GivesTheUnvoicedSpectrumExactly) {
  const uint32_t L = 401, N = 1024;
  std::vector<double> x = whitenoise(8000, 0.3, 9);
  NamemPtr mem(nameminitializefft(L, N));
  std::vector<double> ref(N), sig(2 * N), seevoc(N);
  getnoiselogspectrum(x.data(), x.size(), kFs, 4000, N, ref.data(), mem.get());
  getsignallogspectrum(x.data(), x.size(), kFs, 4000, 0.0, N, sig.data(), mem.get());
  getseevoclogspectrum(x.data(), x.size(), kFs, 4000, 0.0, N, seevoc.data(), mem.get());
  for (uint32_t k = 0; k < N; k++) {
    ASSERT_EQ(sig[k], ref[k]);
    ASSERT_EQ(seevoc[k], ref[k]);
  }
}

TEST(PitchSpectra, SeevocEnvelopePassesThroughTheHarmonicPeaks) {
  // f0 = 250 Hz is exactly 16 bins at N = 1024: harmonic h sits on bin 16h.
  const uint32_t N = 1024;
  const double f0 = 250.0;
  std::vector<double> amps;
  for (int h = 1; h <= 30; h++) amps.push_back(0.5 / h * (1.0 + 0.5 * sin(0.7 * h)));
  std::vector<double> x = harmonicsignal(4000, f0, amps);
  NamemPtr mem(nameminitializefft(401, N));
  std::vector<double> env(N);
  getseevoclogspectrum(x.data(), x.size(), kFs, 2000, f0, N, env.data(), mem.get());
  expectsymmetric(env, N);
  // A Hanning window scaled to sum L3 gives |X| = A L3 / 2 at a resolved harmonic:
  // 0.5 ln(|X|^2 / (L3^2 f0)) = ln(A/2) - 0.5 ln f0.
  for (int h = 1; h <= 30; h++) {
    const uint32_t k = 16 * h;
    EXPECT_NEAR(env[k], log(amps[h - 1] / 2) - 0.5 * log(f0), 0.02) << "harmonic " << h;
  }
  // Between harmonics the envelope is the straight line joining the peaks.
  for (int h = 1; h < 30; h++) {
    const uint32_t k = 16 * h;
    EXPECT_NEAR(env[k + 8], 0.5 * (env[k] + env[k + 16]), 1e-9);
  }
  // The walk ends by holding its last pick up to N/2.
  EXPECT_EQ(env[N / 2 - 1], env[N / 2]);
}

TEST(PitchSpectra, SignalSpectrumOfHarmonicsIsSymmetricAndPeaksAtHarmonics) {
  const uint32_t N = 1024;
  const double f0 = 250.0;
  std::vector<double> amps(20, 0.1);
  std::vector<double> x = harmonicsignal(4000, f0, amps);
  NamemPtr mem(nameminitializefft(401, N));
  std::vector<double> s(2 * N);
  getsignallogspectrum(x.data(), x.size(), kFs, 2000, f0, N, s.data(), mem.get());
  std::vector<double> half(s.begin(), s.begin() + N);
  expectsymmetric(half, N);
  EXPECT_EQ(s[0], s[1]);
  EXPECT_EQ(s[N / 2], s[N / 2 - 1]);
  // Equal harmonics give an equal level at every harmonic bin away from the edges.
  for (int h = 2; h < 20; h++) EXPECT_NEAR(s[16 * h], s[32], 0.05) << h;
  // A silent frame is at the floor rather than minus infinity.
  std::vector<double> zeros(4000, 0.0);
  getsignallogspectrum(zeros.data(), zeros.size(), kFs, 2000, f0, N, s.data(), mem.get());
  for (uint32_t k = 0; k < N; k++) ASSERT_TRUE(std::isfinite(s[k]));
}

TEST(PitchSpectra, F0BelowTheFftResolutionStaysInsideTheBuffersAndTerminates) {
  // At 10 Hz the three-period window (4801 samples) exceeds N = 1024 and the harmonic
  // spacing is below one bin: the frame is cut at N and the walk still advances.
  const uint32_t N = 1024;
  std::vector<double> x = whitenoise(16000, 0.1, 13);
  NamemPtr mem(nameminitializefft(401, N));
  std::vector<double> env(N), sig(2 * N);
  getseevoclogspectrum(x.data(), x.size(), kFs, 8000, 10.0, N, env.data(), mem.get());
  getsignallogspectrum(x.data(), x.size(), kFs, 8000, 10.0, N, sig.data(), mem.get());
  for (uint32_t k = 0; k < N; k++) {
    ASSERT_TRUE(std::isfinite(env[k])) << k;
    ASSERT_TRUE(std::isfinite(sig[k])) << k;
  }
}

TEST(LowFrequencyAttenuation, ChangesBinsBelow500HzOnly) {
  const uint32_t N = 1024;
  std::vector<double> s(N, 1.0);
  elimlowfrecfromlogspec(s.data(), N, kFs);
  const double kappa = -log(10.0);
  EXPECT_NEAR(s[0], 1.0 + kappa, 1e-12);
  EXPECT_NEAR(s[16], 1.0 + 0.5 * kappa, 1e-12);  // 250 Hz: 10 dB
  for (uint32_t k = 1; k < 32; k++) {
    EXPECT_NEAR(s[k], 1.0 + (1.0 - k * 15.625 / 500.0) * kappa, 1e-12) << k;
    EXPECT_EQ(s[N - k], s[k]);
  }
  for (uint32_t k = 32; k <= N - 32; k++) ASSERT_EQ(s[k], 1.0) << k;
}

TEST(RandomPhaseNoise, FrameHasTheRequestedAmplitudeSpectrum) {
  const uint32_t N = 512;
  std::vector<double> logspec(N);
  for (uint32_t k = 1; k < N / 2; k++) logspec[k] = -3.0 - 4.0 * k / N + 0.5 * sin(0.05 * k);
  std::vector<double> buf(2 * N, 0.0);
  std::copy(logspec.begin(), logspec.end(), buf.begin());
  noisegen noise(0);
  gennoisefromlogspectrum(buf.data(), N, kFs, &noise);
  for (uint32_t t = 0; t < N; t++) ASSERT_NEAR(buf[N + t], 0.0, 1e-12);

  // Transform the real frame back: |X[k]| = N exp(logspec[k]) sqrt(fs/N), no DC, no Nyquist.
  std::vector<double> re(buf.begin(), buf.begin() + N), im(N, 0.0);
  fftr(N, re.data(), im.data());
  const double g = sqrt(kFs / N);
  EXPECT_NEAR(re[0], 0.0, 1e-9);
  EXPECT_NEAR(re[N / 2], 0.0, 1e-9);
  double sumcos = 0, sumsin = 0;
  for (uint32_t k = 1; k < N / 2; k++) {
    const double mag = hypot(re[k], im[k]) / N;
    EXPECT_NEAR(mag / (exp(logspec[k]) * g), 1.0, 1e-9) << k;
    sumcos += re[k] / hypot(re[k], im[k]);
    sumsin += im[k] / hypot(re[k], im[k]);
  }
  // The phases are spread uniformly: their mean phasor is small.
  EXPECT_LT(hypot(sumcos, sumsin) / (N / 2 - 1), 0.15);
}

TEST(RandomPhaseNoise, AnalysedNoiseReproducesTheLogSpectrumOnAverage) {
  // Overlap frames from a flat log spectrum and measure them with the unvoiced analysis.
  const uint32_t N = 512, L = 401;
  const double level = -4.0;
  std::vector<double> x(100 * N);
  std::vector<double> buf(2 * N);
  noisegen g(0);
  for (uint32_t f = 0; f < 100; f++) {
    std::fill(buf.begin(), buf.end(), level);
    gennoisefromlogspectrum(buf.data(), N, kFs, &g);
    std::copy(buf.begin(), buf.begin() + N, x.begin() + f * N);
  }
  NamemPtr mem(nameminitializefft(L, N));
  std::vector<double> s(N), mean(N, 0.0);
  const uint32_t frames = 90;
  for (uint32_t f = 0; f < frames; f++) {
    getnoiselogspectrum(x.data(), x.size(), kFs, N + f * N + 50, N, s.data(), mem.get());
    for (uint32_t k = 0; k < N; k++) mean[k] += s[k] / frames;
  }
  double avg = 0;
  for (uint32_t k = 20; k < N / 2 - 20; k++) avg += mean[k];
  avg /= N / 2 - 40;
  // Each frame has N - 2 bins of amplitude a = exp(level) sqrt(fs/N) and no 1/N scaling, so
  // its sample variance is (N - 2) a^2; the analysed expectation is 0.5 (ln(var/fs) - gamma).
  const double var = (N - 2) * exp(2 * level) * kFs / N;
  EXPECT_NEAR(avg, 0.5 * (log(var / kFs) - kEulerGamma), 0.05);
}
