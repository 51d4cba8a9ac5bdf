// Harmonic generation, cubic phase tracks, envelope resampling, log spectra from harmonics
// and the reshaping of amplitude sets.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "harmonicanalysis.h"

using namespace velk;

namespace {

const double kFs = 16000.0;
const double kTwoPi = 2.0 * M_PI;

// Energies below are measured with getharmonicenergy, checked here once.
double energy(const std::vector<double>& v) {
  return getharmonicenergy(static_cast<uint32_t>(v.size()), v.data());
}

TEST(HarmonicEnergy, IsTheSumOfSquares) {
  EXPECT_DOUBLE_EQ(energy({1.0, 2.0, -3.0}), 14.0);
  EXPECT_EQ(energy({}), 0.0);
}

bool allfinite(const std::vector<double>& v) {
  for (double x : v)
    if (!std::isfinite(x)) return false;
  return true;
}

TEST(GenHarmonics, SingleHarmonicIsACosineCentredAtTheFrameCentre) {
  std::vector<double> buf(160, 0.0);
  const double amp = 1.0, phase = 0.0;
  ASSERT_EQ(genharmonics(buf.data(), 80, 80, kFs, 100.0, 1, &amp, &phase, 0.0, 0), 0);
  for (uint32_t j = 0; j < 160; ++j) EXPECT_NEAR(buf[j], std::cos(kTwoPi * 100.0 * (j - 80.0) / kFs), 1e-12);
}

TEST(GenHarmonics, AddsAKnownSumOfCosinesSampleBySample) {
  const uint32_t B = 57, A = 103, K = 6;
  const double f0 = 173.0, psi = 0.7;
  const double amps[K] = {1.0, 0.0, 0.4, 0.3, 0.25, 0.1};  // harmonic 2 silent
  const double phases[K] = {0.1, 2.0, -1.2, 3.0, 0.5, -2.7};
  std::vector<double> buf(B + A);
  for (uint32_t j = 0; j < B + A; ++j) buf[j] = 0.01 * j;
  ASSERT_EQ(genharmonics(buf.data(), B, A, kFs, f0, K, amps, phases, psi, 0), 0);
  for (uint32_t j = 0; j < B + A; ++j) {
    const double t = (static_cast<double>(j) - B) / kFs;
    double expect = 0.01 * j;
    for (uint32_t k = 1; k <= K; ++k)
      expect += amps[k - 1] * std::cos(k * (psi + kTwoPi * f0 * t) + phases[k - 1]);
    EXPECT_NEAR(buf[j], expect, 1e-11) << j;
  }
}

// Harmonics are added four at a time; every sample must equal the frame made by adding each
// non-silent harmonic alone, in harmonic order, with its phasor turned once per sample.
TEST(GenHarmonics, EqualsAddingEachHarmonicAloneBitForBit) {
  const uint32_t B = 80, A = 80;
  const double f0 = 131.0, psi = -0.4;
  for (uint32_t K : {1u, 3u, 4u, 5u, 9u, 17u}) {
    std::vector<double> amps(K), phases(K);
    for (uint32_t k = 0; k < K; ++k) {
      amps[k] = k % 3 == 1 ? 0.0 : 1.0 / (k + 1);
      phases[k] = 0.37 * k - 1.0;
    }
    std::vector<double> got(B + A), alone(B + A);
    for (uint32_t j = 0; j < B + A; ++j) got[j] = alone[j] = std::sin(0.1 * j);
    ASSERT_EQ(genharmonics(got.data(), B, A, kFs, f0, K, amps.data(), phases.data(), psi, 0), 0);
    const double theta = kTwoPi * f0 / kFs, psi0 = psi - B * theta;
    const double c1 = std::cos(theta), s1 = std::sin(theta);
    double ck = 1.0, sk = 0.0;
    for (uint32_t k = 1; k <= K; ++k) {
      const double nc = ck * c1 - sk * s1;
      sk = ck * s1 + sk * c1;
      ck = nc;
      if (amps[k - 1] == 0.0) continue;
      double c = std::cos(k * psi0 + phases[k - 1]), s = std::sin(k * psi0 + phases[k - 1]);
      for (uint32_t j = 0; j < B + A; ++j) {
        alone[j] += amps[k - 1] * c;
        const double n = c * ck - s * sk;
        s = c * sk + s * ck;
        c = n;
      }
    }
    for (uint32_t j = 0; j < B + A; ++j) ASSERT_EQ(got[j], alone[j]) << "K " << K << " sample " << j;
  }
}

TEST(GenHarmonics, NoiseModulationFollowsTheFundamentalPhase) {
  const uint32_t L = 160;  // one period of 100 Hz
  const double zeros[3] = {0.0, 0.0, 0.0};
  std::vector<double> buf(L, 1.0);
  ASSERT_EQ(genharmonics(buf.data(), 80, 80, kFs, 100.0, 3, zeros, zeros, 0.0, 1), 0);
  EXPECT_NEAR(buf[80], 0.4714045207910317, 1e-12);  // fundamental phase 0
  EXPECT_NEAR(buf[0], 1.4142135623730951, 1e-12);   // phase -pi
  for (uint32_t j = 0; j < L; ++j)
    EXPECT_NEAR(buf[j], (2.0 - std::cos(kTwoPi * (j - 80.0) / L)) * std::sqrt(2.0) / 3.0, 1e-12);
  EXPECT_NEAR(energy(buf) / L, 1.0, 1e-12);  // unit mean square over a period

  std::vector<double> untouched(L, 1.0);
  ASSERT_EQ(genharmonics(untouched.data(), 80, 80, kFs, 100.0, 0, zeros, zeros, 0.0, 1), 0);
  for (double v : untouched) EXPECT_EQ(v, 1.0);
}

// Analysis followed by synthesis: the phases of getharmonics are those genharmonics expects
// at the frame centre, so a harmonic signal comes back sample for sample.
TEST(GenHarmonics, ResynthesisOfAnalysedHarmonicsReproducesTheFrame) {
  const double f0 = 143.0;
  const uint32_t K = 20, n = 3000, centre = 1500, B = 80;
  std::vector<double> x(n, 0.0);
  for (uint32_t i = 0; i < n; ++i)
    for (uint32_t k = 1; k <= K; ++k)
      x[i] += std::cos(kTwoPi * k * f0 * (static_cast<double>(i) - centre) / kFs + 0.4 * k * k) / (1.0 + k);
  hamem* rec = hameminitialize(kFs, 3000, f0);
  std::vector<double> amps(K), phases(K);
  ASSERT_EQ(getharmonics(x.data(), n, kFs, centre, f0, K, amps.data(), phases.data(), rec), 0);
  hamemdestroy(rec);
  std::vector<double> y(2 * B, 0.0);
  ASSERT_EQ(genharmonics(y.data(), B, B, kFs, f0, K, amps.data(), phases.data(), 0.0, 0), 0);
  for (uint32_t j = 0; j < 2 * B; ++j) EXPECT_NEAR(y[j], x[centre - B + j], 1e-8) << j;
}

TEST(CubicPhase, ConstantFrequencyGivesALinearTrack) {
  const double w = 0.13, phis = 0.4;
  const uint32_t M = 200;
  double p[4];
  ASSERT_EQ(polymcaq(phis, phis + M * w, w, w, M, p), 0);
  EXPECT_NEAR(p[0], 0.0, 1e-15);
  EXPECT_NEAR(p[1], 0.0, 1e-13);
  EXPECT_DOUBLE_EQ(p[2], w);
  EXPECT_DOUBLE_EQ(p[3], phis);
  ASSERT_EQ(polymcaq(phis, 1.0, w, 0.2, 0, p), 0);  // empty segment: the start line, no NaN
  EXPECT_EQ(p[0], 0.0);
  EXPECT_EQ(p[1], 0.0);
  EXPECT_EQ(p[2], w);
}

TEST(CubicPhase, MeetsBothEndPhasesAndSlopes) {
  const double phis = 2.5, phie = -1.0, ws = 0.05, we = 0.09;
  const uint32_t M = 160;
  double p[4];
  ASSERT_EQ(polymcaq(phis, phie, ws, we, M, p), 0);
  const double m = M;
  const double endphase = ((p[0] * m + p[1]) * m + p[2]) * m + p[3];
  const double endslope = (3.0 * p[0] * m + 2.0 * p[1]) * m + p[2];
  EXPECT_NEAR(std::remainder(endphase - phie, kTwoPi), 0.0, 1e-9);
  EXPECT_NEAR(endslope, we, 1e-12);
  // The added turns keep the track close to the mean of the two frequencies.
  EXPECT_NEAR(endphase - phis, m * (ws + we) / 2.0, M_PI);
}

TEST(SubtractHarmonics, RemovesAStationaryHarmonicSetExactly) {
  const double f0 = 150.0;
  const uint32_t start = 100, end = 260, K = 4, n = 400;
  const double amps[K] = {1.0, 0.5, 0.25, 0.2};
  double ph0[K], ph1[K];
  std::vector<double> x(n, 0.0);
  for (uint32_t k = 1; k <= K; ++k) {
    const double w = kTwoPi * k * f0 / kFs;
    ph0[k - 1] = 0.3 * k;
    ph1[k - 1] = std::remainder(ph0[k - 1] + w * (end - start), kTwoPi);
    for (uint32_t i = start; i < end; ++i) x[i] += amps[k - 1] * std::cos(ph0[k - 1] + w * (i - start));
  }
  x[start - 1] = 5.0;
  x[end] = 7.0;
  ASSERT_EQ(subtharmonicsmcaq(x.data(), kFs, start, end, f0, f0, K, K, amps, amps, ph0, ph1), 0);
  for (uint32_t i = start; i < end; ++i) EXPECT_NEAR(x[i], 0.0, 1e-9) << i;
  EXPECT_EQ(x[start - 1], 5.0);
  EXPECT_EQ(x[end], 7.0);
}

TEST(SubtractHarmonics, HarmonicsBornAndDyingFadeLinearly) {
  const double f0 = 200.0;
  const uint32_t start = 40, end = 120, M = end - start;
  const double w3 = kTwoPi * 3 * f0 / kFs;
  // Harmonics 1 and 2 are silent in both frames; harmonic 3 exists in one frame only.
  const double quiet[3] = {0.0, 0.0, 0.6}, phases[3] = {0.0, 0.0, -0.9};

  std::vector<double> born(200, 0.0);
  ASSERT_EQ(subtharmonicsmcaq(born.data(), kFs, start, end, f0, f0, 2, 3, quiet, quiet, phases, phases), 0);
  std::vector<double> dying(200, 0.0);
  ASSERT_EQ(subtharmonicsmcaq(dying.data(), kFs, start, end, f0, f0, 3, 2, quiet, quiet, phases, phases), 0);
  for (uint32_t i = start; i < end; ++i) {
    const double t = i - start;
    // Rising from 0 with the end frame's phase run backwards.
    EXPECT_NEAR(born[i], -0.6 * (t / M) * std::cos(-0.9 + (t - M) * w3), 1e-12) << i;
    // Falling to 0 from the start frame's phase run forwards.
    EXPECT_NEAR(dying[i], -0.6 * ((M - t) / M) * std::cos(-0.9 + t * w3), 1e-12) << i;
  }
  EXPECT_EQ(born[start], 0.0);
  EXPECT_NEAR(dying[start], -0.6 * std::cos(-0.9), 1e-12);
  for (uint32_t i : {0u, start - 1, end, 199u}) {
    EXPECT_EQ(born[i], 0.0);
    EXPECT_EQ(dying[i], 0.0);
  }
}

TEST(ResampleLogAmpEnv, FollowsThePiecewiseLinearEnvelope) {
  const double src[2] = {1.0, 2.0};
  double dst[6];
  ASSERT_EQ(resamplelogampenv(100.0, src, 2, 50.0, dst, 6), 0);
  const double expect[6] = {1.0, 1.0, 1.5, 2.0, 2.0, 2.0};
  for (int j = 0; j < 6; ++j) EXPECT_DOUBLE_EQ(dst[j], expect[j]) << j;
}

TEST(ResampleLogAmpEnv, SourceFrequenciesKeepTheirValuesAndEmptyInputsFail) {
  const double src[4] = {0.3, -1.0, 2.5, 0.7};
  double dst[5] = {9, 9, 9, 9, 9};
  ASSERT_EQ(resamplelogampenv(30.0, src, 4, 30.0, dst, 5), 0);
  EXPECT_EQ(dst[0], 0.3);
  EXPECT_EQ(dst[1], -1.0);
  EXPECT_EQ(dst[2], 2.5);
  EXPECT_EQ(dst[3], 0.7);
  EXPECT_EQ(dst[4], 0.7);
  double untouched[2] = {9, 9};
  EXPECT_EQ(resamplelogampenv(30.0, src, 0, 30.0, untouched, 2), -1);
  EXPECT_EQ(resamplelogampenv(30.0, src, 4, 30.0, untouched, 0), -1);
  EXPECT_EQ(resamplelogampenv(0.0, src, 4, 30.0, untouched, 2), -1);
  EXPECT_EQ(untouched[0], 9.0);
}

TEST(ResampleHarmonicEnv, AmplitudesAreGeometricAndPhasesFollowTheComplexLine) {
  const double amps[2] = {1.0, 4.0}, phases[2] = {0.5, 1.0};
  double da[4], dp[4];
  ASSERT_EQ(resampleharmonicenv(100.0, amps, phases, 2, 50.0, nullptr, da, dp, 4), 0);
  EXPECT_DOUBLE_EQ(da[0], 1.0);
  EXPECT_DOUBLE_EQ(da[1], 1.0);
  EXPECT_NEAR(da[2], 2.0, 1e-12);  // halfway between 1 and 4 geometrically
  EXPECT_DOUBLE_EQ(da[3], 4.0);
  EXPECT_NEAR(dp[0], 0.25, 1e-12);  // halfway between the real point at 0 Hz and e^(0.5j)
  EXPECT_NEAR(dp[1], 0.5, 1e-12);
  EXPECT_NEAR(
      dp[2], std::atan2(0.5 * (std::sin(0.5) + 4 * std::sin(1.0)), 0.5 * (std::cos(0.5) + 4 * std::cos(1.0))),
      1e-12);
  EXPECT_NEAR(dp[3], 1.0, 1e-12);

  const double freqs[3] = {150.0, 50.0, 1000.0};  // any order
  ASSERT_EQ(resampleharmonicenv(100.0, amps, nullptr, 2, 0.0, freqs, da, nullptr, 3), 0);
  EXPECT_NEAR(da[0], 2.0, 1e-12);
  EXPECT_DOUBLE_EQ(da[1], 1.0);
  EXPECT_DOUBLE_EQ(da[2], 4.0);
}

TEST(ResampleHarmonicEnv, ZeroAmplitudesGiveZerosNotNaN) {
  const double amps[3] = {0.0, 2.0, 0.0};
  double da[7];
  ASSERT_EQ(resampleharmonicenv(100.0, amps, nullptr, 3, 50.0, nullptr, da, nullptr, 7), 0);
  const double expect[7] = {0.0, 0.0, 0.0, 2.0, 0.0, 0.0, 0.0};
  for (int j = 0; j < 7; ++j) EXPECT_EQ(da[j], expect[j]) << j;
}

// Amplitudes A_k of harmonics lying exactly on FFT bins: at those bins every other kernel
// is at a zero of its sinc, so the log spectrum equals ln(A_k/2/sqrt(f0)).
TEST(LogSpectrumFromHarmonics, HarmonicBinsCarryTheLogAmplitudes) {
  const double f0 = 125.0;  // 8 bins of a 1024-point FFT at 16 kHz
  const uint32_t N = 1024, centre = 2000, n = 4000;
  const uint32_t K = hanoharms(kFs, kFs, f0);
  ASSERT_EQ(K, 63u);
  std::vector<double> x(n, 0.0), A(K);
  for (uint32_t k = 1; k <= K; ++k) {
    A[k - 1] = std::exp(-0.05 * k) * (1.0 + 0.5 * std::cos(0.3 * k));
    for (uint32_t i = 0; i < n; ++i)
      x[i] += A[k - 1] * std::cos(kTwoPi * k * f0 * (static_cast<double>(i) - centre) / kFs + 0.1 * k);
  }
  hamem* rec = qhameminitialize(kFs, kFs, f0);
  for (uint8_t adapted : {0, 1}) {
    std::vector<double> out(N, 99.0);
    ASSERT_EQ(getlogspectrumfromharms(x.data(), n, kFs, centre, f0, N, out.data(), rec, adapted), 0);
    double lowest = 1e300;
    for (uint32_t k = 1; k <= K; ++k) {
      const double L = std::log(A[k - 1] / 2.0 / std::sqrt(f0));
      lowest = std::fmin(lowest, L);
      EXPECT_NEAR(out[8 * k], L, 1e-6) << "k " << k << " adapted " << int(adapted);
    }
    EXPECT_NEAR(out[0], std::log(A[0] / 2.0 / std::sqrt(f0)), 1e-6);
    EXPECT_NEAR(out[512], lowest, 1e-6);  // beyond the last harmonic: the smallest value
    for (uint32_t b = 1; b < N / 2; ++b) EXPECT_EQ(out[N - b], out[b]);
    EXPECT_TRUE(allfinite(out));
  }
  std::vector<double> silence(n, 0.0), out(N);
  EXPECT_EQ(getlogspectrumfromharms(silence.data(), n, kFs, centre, f0, N, out.data(), rec, 0), -1);
  EXPECT_EQ(getlogspectrumfromharms(x.data(), n, kFs, centre, 0.0, N, out.data(), rec, 0), -1);
  hamemdestroy(rec);
}

TEST(VocalEffort, TiltsByAFixedRatioPerOctaveAndKeepsEnergyWhenAsked) {
  const double f0 = 110.0, v = 6.0;
  std::vector<double> a = {1.0, 0.8, 0.6, 0.5, 0.3, 0.2, 0.1, 0.05};
  std::vector<double> tilted = a;
  ASSERT_EQ(modvocaleffort(8, tilted.data(), v, f0, 0, 0), 0);
  for (uint32_t k = 1; k <= 8; ++k) EXPECT_NEAR(tilted[k - 1], a[k - 1] * std::pow(k * f0, 0.3), 1e-12);
  // Doubling the frequency raises the level by 20*log10(2^(0.05 v)) = 0.301 v dB.
  EXPECT_NEAR(20.0 * std::log10((tilted[3] / a[3]) / (tilted[1] / a[1])), 0.30103 * v, 1e-4);

  std::vector<double> kept = a;
  ASSERT_EQ(modvocaleffort(8, kept.data(), v, f0, 1, 0), 0);
  EXPECT_NEAR(energy(kept), energy(a), 1e-12);
  for (uint32_t k = 1; k < 8; ++k) EXPECT_NEAR(kept[k] / kept[0], tilted[k] / tilted[0], 1e-12);

  std::vector<double> logs(8);
  for (uint32_t k = 0; k < 8; ++k) logs[k] = std::log(a[k]);
  ASSERT_EQ(modvocaleffort(8, logs.data(), v, f0, 1, 1), 0);
  for (uint32_t k = 0; k < 8; ++k) EXPECT_NEAR(logs[k], std::log(kept[k]), 1e-12);
}

TEST(VocalEffort, SilentSetsStayFinite) {
  std::vector<double> zeros(5, 0.0);
  ASSERT_EQ(modvocaleffort(5, zeros.data(), 4.0, 120.0, 1, 0), 0);
  for (double v : zeros) EXPECT_EQ(v, 0.0);
  std::vector<double> tinylogs(5, -1000.0);  // exp(2L) underflows to 0
  ASSERT_EQ(modvocaleffort(5, tinylogs.data(), 4.0, 120.0, 1, 1), 0);
  EXPECT_TRUE(allfinite(tinylogs));
}

TEST(FuseEnvelopes, MixesShapesAndEnergies) {
  const double f0 = 100.0, de = 50.0;
  const uint32_t K = 4, D = 8;
  const double h[K] = {1.0, 2.0, 1.0, 0.5};
  const std::vector<double> env0 = {0.5, 0.5, 0.6, 0.7, 0.8, 0.7, 0.6, 0.5};
  double Eh = 0.0;
  for (double v : h) Eh += v * v;

  std::vector<double> env = env0;
  ASSERT_EQ(fuseenvelopes(de, env.data(), nullptr, D, f0, h, nullptr, K, 1.0), 0);
  for (uint32_t i = 0; i < D; ++i) EXPECT_NEAR(env[i], env0[i], 1e-12);

  env = env0;
  ASSERT_EQ(fuseenvelopes(de, env.data(), nullptr, D, f0, h, nullptr, K, 0.0), 0);
  std::vector<double> r(D);
  ASSERT_EQ(resampleharmonicenv(f0, h, nullptr, K, de, nullptr, r.data(), nullptr, D), 0);
  EXPECT_NEAR(energy(env), Eh, 1e-12);
  for (uint32_t i = 1; i < D; ++i) EXPECT_NEAR(env[i] / env[0], r[i] / r[0], 1e-12);

  env = env0;
  ASSERT_EQ(fuseenvelopes(de, env.data(), nullptr, D, f0, h, nullptr, K, 0.3), 0);
  EXPECT_NEAR(energy(env), 0.7 * Eh + 0.3 * energy(env0), 1e-12);
}

TEST(FuseEnvelopes, ZeroEnergiesGiveNoNaN) {
  const double h[3] = {0.0, 0.0, 0.0};
  std::vector<double> env(6, 0.0);
  ASSERT_EQ(fuseenvelopes(40.0, env.data(), nullptr, 6, 100.0, h, nullptr, 3, 0.5), 0);
  for (double v : env) EXPECT_EQ(v, 0.0);
  std::vector<double> env2 = {1.0, 2.0, 3.0};
  ASSERT_EQ(fuseenvelopes(40.0, env2.data(), nullptr, 3, 100.0, h, nullptr, 3, 0.5), 0);
  EXPECT_TRUE(allfinite(env2));
  EXPECT_NEAR(energy(env2), 0.5 * 14.0, 1e-12);
  EXPECT_EQ(fuseenvelopes(40.0, env2.data(), nullptr, 0, 100.0, h, nullptr, 3, 0.5), -1);
}

TEST(HarmonicPostFilter, KeepsEnergyAndBoundsEachGain) {
  std::vector<double> a = {1.0, 0.9, 0.5, 0.2, 0.4, 0.6, 0.3, 0.1, 0.05, 0.02};
  std::vector<double> same = a;
  ASSERT_EQ(harmonicpostfilter(10, same.data(), 0.3, 0.0), 0);
  EXPECT_EQ(same, a);

  std::vector<double> f = a;
  ASSERT_EQ(harmonicpostfilter(10, f.data(), 0.3, 0.7), 0);
  EXPECT_NEAR(energy(f), energy(a), 1e-12);
  // Before the final rescaling every gain lay in 0.5..1.5, so the gains differ by at most 3x.
  double gmin = 1e9, gmax = 0.0;
  for (uint32_t k = 0; k < 10; ++k) {
    gmin = std::fmin(gmin, f[k] / a[k]);
    gmax = std::fmax(gmax, f[k] / a[k]);
  }
  EXPECT_LE(gmax / gmin, 3.0 + 1e-12);
  EXPECT_GT(gmax / gmin, 1.0);

  std::vector<double> zeros(4, 0.0);
  ASSERT_EQ(harmonicpostfilter(4, zeros.data(), 0.3, 0.7), 0);
  for (double v : zeros) EXPECT_EQ(v, 0.0);
  std::vector<double> one = {2.0};  // a single harmonic with theta = 0 is degenerate
  ASSERT_EQ(harmonicpostfilter(1, one.data(), 0.0, 0.7), 0);
  EXPECT_TRUE(allfinite(one));
}

}  // namespace
