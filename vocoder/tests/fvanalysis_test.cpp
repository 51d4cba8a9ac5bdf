#include "fvanalysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "windowing.h"

using namespace velk;

namespace {

constexpr double kFs = 16000.0;

// Sum of the harmonics of f0 up to maxfreq with equal amplitudes and fixed random phases.
std::vector<double> harmonics(uint32_t n, double f0, double maxfreq, double amplitude, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> phase(0, 2 * M_PI);
  std::vector<double> x(n, 0.0);
  for (int k = 1; k * f0 <= maxfreq; ++k) {
    const double ph = phase(rng);
    for (uint32_t t = 0; t < n; ++t) x[t] += amplitude * std::cos(2 * M_PI * k * f0 * t / kFs + ph);
  }
  return x;
}

// White Gaussian noise with everything below lowfreq removed by zeroing FFT bins
// (n must be a power of two).
std::vector<double> highpassnoise(uint32_t n, double lowfreq, double deviation, unsigned seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<double> gauss(0.0, deviation);
  std::vector<complex> buf(n);
  for (auto& c : buf) c = {gauss(rng), 0.0};
  fftc(static_cast<int32_t>(n), buf.data());
  const uint32_t cut = static_cast<uint32_t>(std::ceil(lowfreq * n / kFs));
  for (uint32_t k = 0; k < cut; ++k) {
    buf[k] = {0, 0};
    if (k > 0) buf[n - k] = {0, 0};
  }
  ifftc(static_cast<int32_t>(n), buf.data());
  std::vector<double> x(n);
  for (uint32_t t = 0; t < n; ++t) x[t] = buf[t].re / n;
  return x;
}

// Spectrum prepared as the voicing analysis does: zero-phase Hann frame of 3 periods
// around m, padded to four times its length.
std::vector<complex> analysisspectrum(const std::vector<double>& x, uint32_t m, double f0, uint32_t* Lw,
                                      uint32_t* N) {
  *Lw = getwinlengthnperiodsodd(3, f0, kFs);
  *N = getwinlengthceilpot2(4 * *Lw);
  const uint32_t h = *Lw / 2;
  std::vector<complex> X(*N, complex{0, 0});
  X[0].re = 2 * x[m];
  for (uint32_t r = 1; r <= h; ++r) {
    const double g = 1 + std::cos(M_PI * r / h);
    X[r].re = g * x[m + r];
    X[*N - r].re = g * x[m - r];
  }
  fftc(static_cast<int32_t>(*N), X.data());
  return X;
}

TEST(SinusoidalLikeness, StationarySinusoidScoresNearOne) {
  const double f0 = 100, freq = 1234.5;
  std::vector<double> x(4000);
  for (uint32_t t = 0; t < x.size(); ++t) x[t] = 0.3 * std::cos(2 * M_PI * freq * t / kFs + 0.7);
  uint32_t Lw, N;
  const std::vector<complex> X = analysisspectrum(x, 2000, f0, &Lw, &N);
  const double df = kFs / N;
  const uint32_t k0 = static_cast<uint32_t>(std::lround(freq / df));
  const uint32_t hw = static_cast<uint32_t>(std::floor(0.5 * f0 / df));
  EXPECT_GT(slm(X.data(), N, kFs, freq, Lw, k0, hw), 0.999);
  // A mistuned model matches worse.
  EXPECT_LT(slm(X.data(), N, kFs, freq + 30, Lw, k0, hw), 0.95);
}

TEST(SinusoidalLikeness, IndependentOfPhase) {
  const double f0 = 150, freq = 2000;
  uint32_t Lw, N;
  std::vector<double> likeness;
  for (double ph : {0.0, 1.0, 2.5, 4.0}) {
    std::vector<double> x(3000);
    for (uint32_t t = 0; t < x.size(); ++t) x[t] = std::cos(2 * M_PI * freq * t / kFs + ph);
    const std::vector<complex> X = analysisspectrum(x, 1500, f0, &Lw, &N);
    const uint32_t k0 = static_cast<uint32_t>(std::lround(freq * N / kFs));
    likeness.push_back(slm(X.data(), N, kFs, freq, Lw, k0, 4));
  }
  for (double s : likeness) EXPECT_NEAR(s, likeness[0], 1e-6);
}

TEST(SinusoidalLikeness, NoiseScoresLow) {
  const double f0 = 100;
  const std::vector<double> x = highpassnoise(8192, 0, 0.1, 5);
  uint32_t Lw, N;
  const std::vector<complex> X = analysisspectrum(x, 4000, f0, &Lw, &N);
  const uint32_t hw = static_cast<uint32_t>(std::floor(0.5 * f0 * N / kFs));
  double total = 0;
  int count = 0;
  for (double freq = 1000; freq < 7000; freq += 250) {
    const uint32_t k0 = static_cast<uint32_t>(std::lround(freq * N / kFs));
    total += slm(X.data(), N, kFs, k0 * kFs / N, Lw, k0, hw);
    ++count;
  }
  EXPECT_LT(total / count, 0.8);
}

// The likeness as written out: a sine per kernel value.
double directlikeness(const std::vector<complex>& X, uint32_t N, double phi, uint32_t Lw, uint32_t k0,
                      uint32_t hw) {
  const double pi = 3.141592653589793;
  auto W = [pi](double u) {
    if (u == 0.0) return 1.0;
    if (u == pi || u == -pi) return 0.5;
    return std::sin(u) * (1.0 / u - 0.5 * (1.0 / (pi + u) + 1.0 / (u - pi)));
  };
  const double a = double(Lw) / N, o1 = -(Lw * phi / kFs);
  const double o2 = phi < 0.25 * kFs ? Lw * phi / kFs : -double(Lw) + Lw * phi / kFs;
  double kk = 0, xx = 0, rk = 0, ik = 0;
  for (uint32_t i = k0 - hw; i <= k0 + hw; ++i) {
    const double K = W(pi * (i * a + o1)) + W(pi * (i * a + o2));
    kk += K * K;
    xx += X[i].re * X[i].re + X[i].im * X[i].im;
    rk += X[i].re * K;
    ik += X[i].im * K;
  }
  return std::sqrt((rk * rk + ik * ik) / (kk * xx));
}

TEST(SinusoidalLikeness, EqualsTheDirectFormulaAcrossTheBand) {
  // Speech-like spectra of several frame geometries; peaks anywhere from 50 Hz to 7.95 kHz
  // (both image branches), including peaks that put a kernel argument on or next to the
  // poles at +-pi.
  std::mt19937 rng(17);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  for (double f0 : {62.0, 100.0, 173.0, 390.0}) {
    const uint32_t Lw = getwinlengthnperiodsodd(3, f0, kFs), N = getwinlengthceilpot2(4 * Lw);
    const uint32_t hw = static_cast<uint32_t>(std::floor(0.5 * f0 * N / kFs));
    const double a = double(Lw) / N;
    std::vector<complex> X(N);
    for (complex& v : X) v = {unit(rng), unit(rng)};
    std::vector<double> peaks;
    for (double phi = 50; phi < 7950; phi += 37.3) peaks.push_back(phi);
    for (uint32_t k = 300; k < N / 2 - 20; k += N / 9) {
      const double pole = ((k - 2) * a - 1) * kFs / Lw;  // u1 = pi exactly at bin k - 2
      for (double nudge : {0.0, 1e-13, -1e-9, 1e-6, 2e-4}) peaks.push_back(pole * (1 + nudge));
    }
    for (double phi : peaks) {
      const uint32_t k0 = static_cast<uint32_t>(std::lround(phi * N / kFs));
      if (k0 < hw || k0 + hw >= N) continue;
      const double ref = directlikeness(X, N, phi, Lw, k0, hw);
      EXPECT_NEAR(slm(X.data(), N, kFs, phi, Lw, k0, hw), ref, 1e-11 * ref)
          << "f0 " << f0 << ", peak " << phi;
    }
  }
}

TEST(MedianFilter, FiltersInteriorAndKeepsEdges) {
  std::vector<double> v{5, 1, 9, 2, 8, 3, 7, 100, 4, 6};
  std::vector<double> expected{5, 1, 5, 3, 7, 7, 7, 6, 4, 6};
  // Interior: medians of {5,1,9,2,8}=5, {1,9,2,8,3}=3, {9,2,8,3,7}=7, {2,8,3,7,100}=7,
  // {8,3,7,100,4}=7, {3,7,100,4,6}=6.
  EXPECT_EQ(medianfilt(v.data(), 10, 5), 0);
  EXPECT_EQ(v, expected);
}

TEST(MedianFilter, EvenLengthActsAsNextOdd) {
  std::vector<double> a{3, 0, 4, 4, 0, 0, 5, 1};
  std::vector<double> b = a;
  medianfilt(a.data(), 8, 4);
  medianfilt(b.data(), 8, 5);
  EXPECT_EQ(a, b);
}

TEST(MedianFilter, RemovesIsolatedOutliers) {
  std::vector<double> v{4000, 4000, 4000, 0, 4000, 4000, 4000};
  medianfilt(v.data(), 7, 5);
  EXPECT_EQ(v, std::vector<double>(7, 4000));
  std::vector<double> u{0, 0, 0, 3000, 0, 0, 0};
  medianfilt(u.data(), 7, 5);
  EXPECT_EQ(u, std::vector<double>(7, 0));
}

TEST(MedianFilter, ArraysShorterThanTheFilterStayUnchanged) {
  for (uint32_t n = 0; n < 5; ++n) {
    std::vector<double> v{7, 1, 3, 2};
    v.resize(n);
    const std::vector<double> before = v;
    EXPECT_EQ(medianfilt(v.data(), n, 5), 0);
    EXPECT_EQ(v, before);
  }
  std::vector<double> five{9, 1, 8, 2, 7};
  medianfilt(five.data(), 5, 5);
  EXPECT_EQ(five, (std::vector<double>{9, 1, 7, 2, 7}));
}

TEST(WeightedSmoothing, HandComputedWindow) {
  // Gains: 1000 -> 0.5, 3000 -> 1, 6000 -> 0.5, 0 -> 0, 9000 -> 0.
  std::vector<double> v{1000, 3000, 6000, 0, 9000};
  wsmooth(v.data(), 5, 3);
  EXPECT_NEAR(v[0], (0.5 * 1000 + 3000) / 1.5, 1e-9);
  EXPECT_NEAR(v[1], (0.5 * 1000 + 3000 + 0.5 * 6000) / 2.0, 1e-9);
  EXPECT_NEAR(v[2], (3000 + 0.5 * 6000) / 1.5, 1e-9);
  EXPECT_EQ(v[3], 0.0);     // zeros stay zero
  EXPECT_EQ(v[4], 9000.0);  // gain sum 0 in its window: unchanged
}

TEST(WeightedSmoothing, ConstantTrackIsUnchanged) {
  std::vector<double> v(20, 3500.0);
  wsmooth(v.data(), 20, 7);
  for (double x : v) EXPECT_NEAR(x, 3500.0, 1e-9);
}

TEST(WeightedSmoothing, UsesInputValuesNotSmoothedOnes) {
  std::vector<double> v{2000, 4000, 2000, 4000};
  wsmooth(v.data(), 4, 2);  // window of output i: v[i-1], v[i]
  EXPECT_NEAR(v[0], 2000.0, 1e-9);
  EXPECT_NEAR(v[1], 3000.0, 1e-9);
  EXPECT_NEAR(v[2], 3000.0, 1e-9);
  EXPECT_NEAR(v[3], 3000.0, 1e-9);
}

// Harmonics of f0 up to 3 kHz (amplitude 0.05 each) plus Gaussian noise of the given
// deviation from half a harmonic above 3 kHz.
std::vector<double> harmonicsbelownoiseabove(double f0, double deviation, unsigned seed) {
  const uint32_t n = 16384;
  std::vector<double> x = harmonics(n, f0, 3000, 0.05, seed);
  const std::vector<double> noise = highpassnoise(n, 3000 + f0 / 2, deviation, seed + 100);
  for (uint32_t t = 0; t < n; ++t) x[t] += noise[t];
  return x;
}

constexpr uint32_t kShift = 80;

// Voicing track of x with frames every 80 samples from sample 0.
std::vector<double> analyse(const std::vector<double>& x, const std::vector<double>& f0) {
  std::vector<double> out(f0.size(), -1.0);
  EXPECT_EQ(getfvoicing(x.data(), static_cast<uint32_t>(x.size()), kFs, kShift, 0,
                        static_cast<uint32_t>(f0.size()), f0.data(), out.data()),
            0);
  return out;
}

// Voicing track of x with the same f0 in every frame.
std::vector<double> analyseconstant(const std::vector<double>& x, double f0) {
  return analyse(x,
                 std::vector<double>(getnumanalysisframes(static_cast<uint32_t>(x.size()), kShift, 0), f0));
}

// Values of the interior frames (away from the unfiltered edges), sorted.
std::vector<double> sortedinterior(const std::vector<double>& out) {
  std::vector<double> mid(out.begin() + 5, out.end() - 5);
  std::sort(mid.begin(), mid.end());
  return mid;
}

TEST(VoicedFrequency, HarmonicsUpToThreeKilohertzWithStrongNoiseAbove) {
  // Noise about 7 dB above the harmonic peaks: the track sits within one harmonic of 3 kHz.
  const double f0 = 250;
  for (unsigned seed : {1u, 2u, 3u}) {
    const std::vector<double> mid =
        sortedinterior(analyseconstant(harmonicsbelownoiseabove(f0, 1.0, seed), f0));
    const size_t within =
        std::count_if(mid.begin(), mid.end(), [&](double v) { return std::fabs(v - 3000) <= f0; });
    EXPECT_NEAR(mid[mid.size() / 2], 3000.0, f0) << "seed " << seed;
    EXPECT_GE(within, mid.size() * 6 / 10) << "seed " << seed;
  }
}

TEST(VoicedFrequency, HarmonicsUpToThreeKilohertzWithNoiseAtTheirLevel) {
  // Noise peaks seen through a three-period window often look sinusoidal, so the estimate
  // lands a few harmonics above the true edge, but stays well below fully voiced.
  const double f0 = 150;
  for (unsigned seed : {1u, 2u, 3u}) {
    const std::vector<double> mid =
        sortedinterior(analyseconstant(harmonicsbelownoiseabove(f0, 0.2, seed), f0));
    EXPECT_GT(mid[mid.size() / 2], 3000.0) << "seed " << seed;
    EXPECT_LT(mid[mid.size() / 2], 4000.0) << "seed " << seed;
    EXPECT_GE(mid.front(), 2850.0) << "seed " << seed;
  }
}

TEST(VoicedFrequency, FullyHarmonicSignalGivesItsHighestPeak) {
  // Every split has a higher probability than the one before it, and no candidate lies
  // above the last peak: the result is the highest harmonic below fs/2 (39 x 200 Hz).
  const std::vector<double> x = harmonics(8000, 200, 7900, 0.05, 3);
  const std::vector<double> out = analyseconstant(x, 200.0);
  for (uint32_t p = 5; p + 5 < out.size(); ++p) EXPECT_NEAR(out[p], 7800.0, 5.0) << p;
}

TEST(VoicedFrequency, PeakFarBelowThePreviousBandIsIgnored) {
  // The highest harmonic 20 dB below its neighbour is dropped: the next highest is last.
  std::vector<double> x = harmonics(8000, 200, 7700, 0.05, 3);
  for (uint32_t t = 0; t < x.size(); ++t) x[t] += 0.005 * std::cos(2 * M_PI * 7800 * t / kFs);
  const std::vector<double> out = analyseconstant(x, 200.0);
  for (uint32_t p = 5; p + 5 < out.size(); ++p) EXPECT_NEAR(out[p], 7600.0, 5.0) << p;
  // 10 dB below is kept.
  for (uint32_t t = 0; t < x.size(); ++t)
    x[t] += (0.05 / std::sqrt(10.0) - 0.005) * std::cos(2 * M_PI * 7800 * t / kFs);
  const std::vector<double> kept = analyseconstant(x, 200.0);
  for (uint32_t p = 5; p + 5 < kept.size(); ++p) EXPECT_NEAR(kept[p], 7800.0, 5.0) << p;
}

TEST(VoicedFrequency, NoiseIsVoicedLow) {
  const uint32_t n = 8192;
  const std::vector<double> x = highpassnoise(n, 0, 0.1, 8);
  const std::vector<double> mid = sortedinterior(analyseconstant(x, 120.0));
  EXPECT_LT(mid[mid.size() / 2], 2500.0);
  for (double v : mid) EXPECT_GE(v, 1000.0);
}

TEST(VoicedFrequency, UnvoicedFramesAndMedianFiltering) {
  const uint32_t n = 4000;
  const std::vector<double> x = harmonics(n, 200, 7900, 0.05, 4);
  std::vector<double> f0(getnumanalysisframes(n, kShift, 0), 200.0);
  f0[0] = f0[1] = 0;  // edges: not filtered
  f0[20] = 0;         // isolated unvoiced frame: takes the median of voiced neighbours
  f0[30] = f0[31] = f0[32] = 0;
  f0[33] = 200;  // isolated voiced frame between unvoiced: filtered to 0
  f0[34] = f0[35] = f0[36] = 0;
  const std::vector<double> out = analyse(x, f0);
  EXPECT_EQ(out[0], 0.0);
  EXPECT_EQ(out[1], 0.0);
  EXPECT_GT(out[20], 7000.0);
  EXPECT_EQ(out[33], 0.0);
  EXPECT_GT(out[10], 7000.0);
  EXPECT_GE(out.back(), 1000.0);  // last frames unfiltered but voiced
}

TEST(VoicedFrequency, ShortUtterancesGiveUnfilteredValidOutput) {
  const std::vector<double> x = harmonics(240, 200, 7900, 0.05, 6);
  const std::vector<double> out = analyse(x, {200.0, 0.0, 200.0});
  ASSERT_EQ(out.size(), 3u);
  EXPECT_GE(out[0], 1000.0);
  EXPECT_EQ(out[1], 0.0);
  EXPECT_GE(out[2], 1000.0);
  EXPECT_LE(out[2], kFs / 2);
}

TEST(VoicedFrequency, InvalidPitchValuesAreTreatedAsUnvoiced) {
  const std::vector<double> x = harmonics(800, 200, 7900, 0.05, 7);
  const std::vector<double> out = analyse(x, {-50.0, std::nan(""), HUGE_VAL, 200.0});
  EXPECT_EQ(out[0], 0.0);
  EXPECT_EQ(out[1], 0.0);
  EXPECT_EQ(out[2], 0.0);
  EXPECT_GE(out[3], 1000.0);
}

TEST(VoicedFrequency, LowPitchAndCentresNearTheEdgesStayInBounds) {
  // f0 below the 60 Hz floor enlarges the buffers; windows reach past both ends and the
  // last centre lies one sample beyond the signal.
  const std::vector<double> x = harmonics(1199, 45, 4000, 0.05, 9);
  const std::vector<double> out = analyse(x, std::vector<double>(16, 45.0));
  for (double v : out) {
    EXPECT_GE(v, 1000.0);
    EXPECT_LE(v, kFs / 2);
  }
}

TEST(VoicedFrequency, SilentVoicedFramesDoNotFail) {
  const std::vector<double> x(2000, 0.0);
  const std::vector<double> out = analyse(x, std::vector<double>(10, 100.0));
  for (double v : out) EXPECT_EQ(v, 1000.0);
}

}  // namespace
