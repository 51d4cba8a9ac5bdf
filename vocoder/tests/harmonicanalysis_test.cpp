// Harmonic, quasi-harmonic and adapted-frequency analysis: record sizes, bases, solvers
// and recovery of known harmonic signals.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "harmonicanalysis.h"

using namespace velk;

namespace {

const double kFs = 16000.0;
const double kTwoPi = 2.0 * M_PI;

struct Partial {
  double freq;
  double amp;
  double phase;  // at the analysis centre
};

// x[i] = dc + sum amp*cos(2*pi*freq*(i - centre)/fs + phase).
std::vector<double> makesignal(uint32_t n, uint32_t centre, double dc, const std::vector<Partial>& parts) {
  std::vector<double> x(n, dc);
  for (uint32_t i = 0; i < n; ++i) {
    const double t = (static_cast<double>(i) - centre) / kFs;
    for (const Partial& p : parts) x[i] += p.amp * std::cos(kTwoPi * p.freq * t + p.phase);
  }
  return x;
}

// Every harmonic of f0 below fs/2 with amplitude 1/k and a phase that varies with k.
std::vector<Partial> fullharmonicset(double f0, uint32_t K) {
  std::vector<Partial> parts;
  for (uint32_t k = 1; k <= K; ++k)
    parts.push_back({k * f0, 1.0 / k, std::remainder(0.7 * k * k + 0.3, kTwoPi)});
  return parts;
}

double wrapangle(double a) {
  return std::remainder(a, kTwoPi);
}

class HamemDeleter {
 public:
  explicit HamemDeleter(hamem* m) : m_(m) {}
  ~HamemDeleter() { hamemdestroy(m_); }
  hamem* get() const { return m_; }

 private:
  hamem* m_;
};

TEST(HarmonicSizes, NumberOfHarmonicsAndFrameLengths) {
  EXPECT_EQ(hanoharms(16000, 16000, 100), 79u);
  EXPECT_EQ(hanoharms(16000, 4000, 100), 39u);
  EXPECT_EQ(hanoharms(16000, 8000, 150), 53u);
  EXPECT_EQ(hanoharms(16000, 16000, 8000), 0u);
  EXPECT_EQ(hanoharms(16000, 300, 300), 0u);
  EXPECT_EQ(hanoharms(16000, 301, 300), 1u);
  EXPECT_EQ(hanoharms(16000, 16000, 0), 0u);
  EXPECT_EQ(haframesize(16000, 100), 401u);
  EXPECT_EQ(qhaframesize(16000, 100), 481u);
  EXPECT_EQ(sqhaframesize(16000, 100), 401u);
}

TEST(HarmonicRecord, BuffersFollowOneAnotherInOneBlock) {
  HamemDeleter plain(hameminitialize(kFs, 4000, 100));
  hamem* m = plain.get();
  ASSERT_NE(m, nullptr);
  const uint32_t N = 401, M = 2 * 39 + 1;
  EXPECT_EQ(m->framesize, N);
  EXPECT_EQ(m->noharms, 39u);
  EXPECT_EQ(m->rows, M);
  EXPECT_EQ(m->window, m->block);
  EXPECT_EQ(m->frame, m->window + N);
  EXPECT_EQ(reinterpret_cast<double*>(m->basis), m->frame + N);
  EXPECT_EQ(m->gram, reinterpret_cast<double*>(m->basis) + 2 * M * N);
  EXPECT_EQ(m->inverse, m->gram + M * M);
  EXPECT_EQ(reinterpret_cast<double*>(m->rhs), m->gram);
  EXPECT_EQ(reinterpret_cast<double*>(m->solution), m->gram + 2 * M);

  HamemDeleter quasi(qhameminitialize(kFs, 4000, 100));
  EXPECT_EQ(quasi.get()->framesize, 481u);
  EXPECT_EQ(quasi.get()->rows, 2u * M);
  EXPECT_EQ(hameminitialize(kFs, 4000, 0), nullptr);
}

TEST(HarmonicBasis, PlainRowsAreWindowedHarmonicPhasors) {
  const uint32_t N = 41, h = 20, K = 4;
  const double f0 = 310.0;
  std::vector<double> w(N);
  for (uint32_t i = 0; i < N; ++i) w[i] = 0.5 + 0.01 * i;
  std::vector<complex> basis((2 * K + 1) * N);
  ASSERT_EQ(hamatrixcreate(basis.data(), N, K, f0, kFs, w.data()), 0);
  for (uint32_t r = 0; r <= 2 * K; ++r) {
    const double k = static_cast<double>(K) - r;
    for (uint32_t i = 0; i < N; ++i) {
      const double arg = kTwoPi * k * f0 / kFs * (static_cast<double>(i) - h);
      EXPECT_NEAR(basis[r * N + i].re, w[i] * std::cos(arg), 1e-12) << r << " " << i;
      EXPECT_NEAR(basis[r * N + i].im, w[i] * std::sin(arg), 1e-12) << r << " " << i;
    }
  }
  for (uint32_t i = 0; i < N; ++i) EXPECT_EQ(basis[K * N + i].im, 0.0);
}

TEST(HarmonicBasis, RampRowsAreOddAndCarryAboutTheEnergyOfPlainRows) {
  const uint32_t N = 481, h = 240, K = 3, P = 2 * K + 1;
  std::vector<double> w(N);
  for (uint32_t i = 0; i < N; ++i) w[i] = 0.8566 - 0.7297 * std::cos(kTwoPi * i / (N - 1));
  std::vector<complex> basis(2 * P * N);
  const double sigma = qhamatrixcreate(basis.data(), N, K, 100.0, kFs, w.data());
  ASSERT_GT(sigma, 0.0);
  for (uint32_t r = 0; r < P; ++r) {
    const complex* plain = &basis[r * N];
    const complex* ramp = &basis[(P + r) * N];
    EXPECT_EQ(ramp[h].re, 0.0);
    EXPECT_EQ(ramp[h].im, 0.0);
    double eplain = 0.0, eramp = 0.0;
    for (uint32_t i = 0; i < N; ++i) {
      const double u = (static_cast<double>(i) - h) * sigma / kFs;
      EXPECT_NEAR(ramp[i].re, u * plain[i].re, 1e-12);
      EXPECT_NEAR(ramp[i].im, u * plain[i].im, 1e-12);
      eplain += plain[i].re * plain[i].re + plain[i].im * plain[i].im;
      eramp += ramp[i].re * ramp[i].re + ramp[i].im * ramp[i].im;
    }
    EXPECT_NEAR(eramp / eplain, 1.0, 0.05);
  }
}

// getharmonics recovers every harmonic of a fully harmonic signal with a DC offset.
class HarmonicRecovery : public ::testing::TestWithParam<double> {};

TEST_P(HarmonicRecovery, PlainAndAdaptedAnalysesRecoverKnownHarmonics) {
  const double f0 = GetParam();
  const uint32_t K = hanoharms(kFs, kFs, f0);
  const std::vector<Partial> parts = fullharmonicset(f0, K);
  HamemDeleter rec(qhameminitialize(kFs, kFs, f0));
  // One frame well inside the signal, and the first frame that lies wholly inside it (the
  // quasi-harmonic frame of the adapted analysis starts at the signal's first sample).
  const uint32_t n = 4000;
  const uint32_t starts[] = {2000, qhaframesize(kFs, f0) / 2};
  for (uint32_t centre : starts) {
    const std::vector<double> x = makesignal(n, centre, 0.25, parts);
    std::vector<double> amps(K), phases(K), sqamps(K), sqphases(K), freqs(K);
    ASSERT_EQ(getharmonics(x.data(), n, kFs, centre, f0, K, amps.data(), phases.data(), rec.get()), 0);
    const complex dc = rec.get()->solution[K];
    EXPECT_NEAR(dc.re, 0.25, 1e-7);
    for (uint32_t k = 1; k <= K; ++k) {
      EXPECT_NEAR(amps[k - 1], parts[k - 1].amp, 1e-6 * parts[k - 1].amp) << "f0 " << f0 << " k " << k;
      EXPECT_NEAR(wrapangle(phases[k - 1] - parts[k - 1].phase), 0.0, 1e-6) << "f0 " << f0 << " k " << k;
    }
    ASSERT_EQ(getsqharmonics(x.data(), n, kFs, centre, f0, K, sqamps.data(), sqphases.data(), freqs.data(),
                             rec.get()),
              0);
    for (uint32_t k = 1; k <= K; ++k) {
      EXPECT_NEAR(freqs[k - 1], k * f0, 1e-6 * k * f0);
      EXPECT_NEAR(sqamps[k - 1], parts[k - 1].amp, 1e-6 * parts[k - 1].amp) << "f0 " << f0 << " k " << k;
      EXPECT_NEAR(wrapangle(sqphases[k - 1] - parts[k - 1].phase), 0.0, 1e-6) << "f0 " << f0 << " k " << k;
    }
    // Without a frequency array the estimates live in the record and give the same fit.
    std::vector<double> again(K);
    ASSERT_EQ(getsqharmonics(x.data(), n, kFs, centre, f0, K, again.data(), nullptr, nullptr, rec.get()), 0);
    for (uint32_t k = 0; k < K; ++k) EXPECT_EQ(again[k], sqamps[k]);
  }
}

INSTANTIATE_TEST_SUITE_P(F0s, HarmonicRecovery, ::testing::Values(100.0, 137.5, 230.0),
                         [](const ::testing::TestParamInfo<double>& info) {
                           const long tenths = std::lround(info.param * 10);
                           return "f0_" + std::to_string(tenths / 10) +
                                  (tenths % 10 ? "p" + std::to_string(tenths % 10) : "") + "Hz";
                         });

TEST(HarmonicAnalysis, ToeplitzAndGeneralPathsAgree) {
  const double f0 = 170.0;
  const uint32_t K = 12, N = haframesize(kFs, f0), M = 2 * K + 1, centre = 900;
  std::vector<double> x(2000);
  for (size_t i = 0; i < x.size(); ++i) x[i] = std::sin(0.037 * i * i) + 0.3 * std::cos(0.11 * i);
  HamemDeleter rec(hameminitialize(kFs, kFs, f0));
  hamem* m = rec.get();
  ASSERT_EQ(getharmonics(x.data(), 2000, kFs, centre, f0, K, nullptr, nullptr, m), 0);
  const std::vector<complex> toeplitz(m->solution, m->solution + M);
  ASSERT_EQ(hasqhalscsolve(m, N, M, 0), 0);
  for (uint32_t r = 0; r < M; ++r) {
    EXPECT_NEAR(m->solution[r].re, toeplitz[r].re, 1e-9);
    EXPECT_NEAR(m->solution[r].im, toeplitz[r].im, 1e-9);
  }
  // Conjugate symmetry of the coefficients of a real signal.
  for (uint32_t k = 1; k <= K; ++k) {
    EXPECT_EQ(toeplitz[K + k].re, toeplitz[K - k].re);
    EXPECT_EQ(toeplitz[K + k].im, -toeplitz[K - k].im);
  }
}

// A signal made exactly of the quasi-harmonic model: amplitudes a_k changing linearly by
// beta_k per second. The solve must return both.
TEST(QuasiHarmonicAnalysis, SolveRecoversAmplitudesAndSlopesOfTheModel) {
  const double f0 = 160.0;
  const uint32_t K = 8, centre = 1200, n = 2400;
  std::vector<complex> a(K + 1), beta(K + 1);
  for (uint32_t k = 1; k <= K; ++k) {
    a[k] = {0.5 / k * std::cos(0.4 * k), 0.5 / k * std::sin(0.4 * k)};
    beta[k] = {3.0 * std::cos(1.3 * k) / k, -2.0 * std::sin(0.9 * k) / k};
  }
  const double dc = -0.1, dcslope = 0.8;
  std::vector<double> x(n);
  for (uint32_t i = 0; i < n; ++i) {
    const double t = (static_cast<double>(i) - centre) / kFs;
    double v = dc + dcslope * t;
    for (uint32_t k = 1; k <= K; ++k) {
      const double c = std::cos(kTwoPi * k * f0 * t), s = std::sin(kTwoPi * k * f0 * t);
      const double re = a[k].re + beta[k].re * t, im = a[k].im + beta[k].im * t;
      v += 2.0 * (re * c - im * s);
    }
    x[i] = v;
  }
  HamemDeleter rec(qhameminitialize(kFs, kFs, 100.0));
  hamem* m = rec.get();
  std::vector<double> amps(K), phases(K);
  ASSERT_EQ(getqharmonics(x.data(), n, kFs, centre, f0, K, amps.data(), phases.data(), nullptr, m), 0);
  const uint32_t P = 2 * K + 1;
  EXPECT_NEAR(m->solution[K].re, dc, 1e-9);
  EXPECT_NEAR(m->solution[P + K].re, dcslope, 1e-6);
  for (uint32_t k = 1; k <= K; ++k) {
    EXPECT_NEAR(m->solution[K + k].re, a[k].re, 1e-9) << k;
    EXPECT_NEAR(m->solution[K + k].im, a[k].im, 1e-9) << k;
    EXPECT_NEAR(m->solution[P + K + k].re, beta[k].re, 1e-6) << k;
    EXPECT_NEAR(m->solution[P + K + k].im, beta[k].im, 1e-6) << k;
    EXPECT_NEAR(amps[k - 1], 2.0 * std::hypot(a[k].re, a[k].im), 1e-9);
  }
}

TEST(QuasiHarmonicAnalysis, FindsTheMismatchOfEveryHarmonic) {
  HamemDeleter rec(qhameminitialize(kFs, 1100, 150.0));
  // Only harmonic 3 is off its multiple of 200 Hz.
  const std::vector<double> x =
      makesignal(4000, 2000, 0.0,
                 {{200, 1.0, 0.3}, {400, 0.5, -1.0}, {605, 0.3, 2.0}, {800, 0.2, 0.5}, {1000, 0.1, -2.5}});
  std::vector<double> freqs(6);
  ASSERT_EQ(getqharmonics(x.data(), 4000, kFs, 2000, 200.0, 5, nullptr, nullptr, freqs.data(), rec.get()), 0);
  EXPECT_NEAR(freqs[2], 605.0, 0.01);
  for (uint32_t k : {1u, 2u, 4u, 5u}) EXPECT_NEAR(freqs[k - 1], k * 200.0, 0.05) << k;

  // Every harmonic of 150 Hz off by its own 0.5 to 4 Hz: each estimate within 0.1 Hz of it.
  const double offsets[6] = {1.5, -2.0, 3.0, -4.0, 0.5, 2.5};
  std::vector<Partial> parts;
  for (uint32_t k = 1; k <= 6; ++k) parts.push_back({k * 150.0 + offsets[k - 1], 1.0 / k, 0.2 * k});
  const std::vector<double> y = makesignal(4000, 2000, 0.0, parts);
  ASSERT_EQ(getqharmonics(y.data(), 4000, kFs, 2000, 150.0, 6, nullptr, nullptr, freqs.data(), rec.get()), 0);
  for (uint32_t k = 1; k <= 6; ++k) EXPECT_NEAR(freqs[k - 1], k * 150.0 + offsets[k - 1], 0.1) << k;
}

// Model signals with a quadrature slope beta = j*2*pi*d*a have a mismatch of exactly d Hz;
// one of half f0 or more is replaced by k*f0.
TEST(QuasiHarmonicAnalysis, LargeMismatchFallsBackToTheHarmonicFrequency) {
  const double f0 = 200.0;
  const uint32_t K = 3, centre = 1000, n = 2000;
  const double d[K] = {0.3 * f0, 0.6 * f0, -0.2 * f0};
  std::vector<double> x(n, 0.0);
  for (uint32_t i = 0; i < n; ++i) {
    const double t = (static_cast<double>(i) - centre) / kFs;
    for (uint32_t k = 1; k <= K; ++k) {
      // a = 0.5 (real), beta = j*2*pi*d*a
      const double re = 0.5, im = kTwoPi * d[k - 1] * 0.5 * t;
      x[i] += 2.0 * (re * std::cos(kTwoPi * k * f0 * t) - im * std::sin(kTwoPi * k * f0 * t));
    }
  }
  HamemDeleter rec(qhameminitialize(kFs, 700, f0));
  std::vector<double> freqs(K);
  ASSERT_EQ(getqharmonics(x.data(), n, kFs, centre, f0, K, nullptr, nullptr, freqs.data(), rec.get()), 0);
  EXPECT_NEAR(freqs[0], f0 + d[0], 1e-6);
  EXPECT_EQ(freqs[1], 2 * f0);
  EXPECT_NEAR(freqs[2], 3 * f0 + d[2], 1e-6);
}

TEST(PitchRefinement, CorrectsAOnePercentError) {
  const double truef0 = 121.0;
  const uint32_t centre = 3000, n = 6000;
  const std::vector<double> x = makesignal(n, centre, 0.0, fullharmonicset(truef0, 30));
  HamemDeleter rec(qhameminitialize(kFs, 4500, 100.0));
  for (double start : {truef0 * 1.01, truef0 * 0.99}) {
    double f = start;
    for (int it = 0; it < 3; ++it) f = qharefinepitch(x.data(), n, kFs, centre, f, 4500, rec.get());
    EXPECT_NEAR(f, truef0, 0.001 * truef0) << "start " << start;
  }
}

TEST(PitchRefinement, ZeroAndFailingAnalysesKeepTheirValue) {
  std::vector<double> silence(3000, 0.0);
  HamemDeleter rec(qhameminitialize(kFs, 4500, 100.0));
  EXPECT_EQ(qharefinepitch(silence.data(), 3000, kFs, 1500, 0.0, 4500, rec.get()), 0.0);
  EXPECT_EQ(qharefinepitch(silence.data(), 3000, kFs, 1500, 130.0, 4500, rec.get()), 130.0);
  // No harmonic below fmax.
  const std::vector<double> x = makesignal(3000, 1500, 0.0, {{200, 1, 0}});
  EXPECT_EQ(qharefinepitch(x.data(), 3000, kFs, 1500, 200.0, 150, rec.get()), 200.0);
}

TEST(HarmonicAnalysisFailures, RejectInvalidInputWithoutTouchingOutputs) {
  const double f0 = 150.0;
  const uint32_t K = 10;
  const std::vector<double> x = makesignal(3000, 1500, 0.0, fullharmonicset(f0, K));
  std::vector<double> zeros(3000, 0.0);
  HamemDeleter rec(qhameminitialize(kFs, 4000, f0));
  std::vector<double> amps(K, 7.0), phases(K, 7.0), freqs(K, 7.0);
  auto untouched = [&]() {
    for (uint32_t k = 0; k < K; ++k) {
      EXPECT_EQ(amps[k], 7.0);
      EXPECT_EQ(phases[k], 7.0);
    }
  };
  EXPECT_EQ(getharmonics(x.data(), 3000, kFs, 1500, 0.0, K, amps.data(), phases.data(), rec.get()), -1);
  EXPECT_EQ(getharmonics(x.data(), 3000, kFs, 1500, f0, 0, amps.data(), phases.data(), rec.get()), -1);
  EXPECT_EQ(getharmonics(zeros.data(), 3000, kFs, 1500, f0, K, amps.data(), phases.data(), rec.get()), -1);
  EXPECT_EQ(getharmonics(x.data(), 3000, kFs, 50000, f0, K, amps.data(), phases.data(), rec.get()), -1);
  EXPECT_EQ(getqharmonics(zeros.data(), 3000, kFs, 1500, f0, K, amps.data(), phases.data(), freqs.data(),
                          rec.get()),
            -1);
  EXPECT_EQ(getsqharmonics(zeros.data(), 3000, kFs, 1500, f0, K, amps.data(), phases.data(), freqs.data(),
                           rec.get()),
            -1);
  EXPECT_EQ(
      getsqharmonics(x.data(), 3000, kFs, 1500, 0.0, K, amps.data(), phases.data(), freqs.data(), rec.get()),
      -1);
  untouched();
}

TEST(HarmonicAnalysisFailures, RecordTooSmallForTheCallIsRejected) {
  const std::vector<double> x = makesignal(3000, 1500, 0.0, fullharmonicset(100.0, 30));
  std::vector<double> amps(80);
  // Made for f0 >= 150 Hz and harmonics below 2000 Hz.
  HamemDeleter plain(hameminitialize(kFs, 2000, 150.0));
  EXPECT_EQ(getharmonics(x.data(), 3000, kFs, 1500, 150.0, 13, amps.data(), nullptr, plain.get()), 0);
  EXPECT_EQ(getharmonics(x.data(), 3000, kFs, 1500, 100.0, 13, amps.data(), nullptr, plain.get()), -1);
  EXPECT_EQ(getharmonics(x.data(), 3000, kFs, 1500, 150.0, 14, amps.data(), nullptr, plain.get()), -1);
  // A plain record cannot hold a quasi-harmonic frame of the same f0.
  EXPECT_EQ(getqharmonics(x.data(), 3000, kFs, 1500, 150.0, 5, amps.data(), nullptr, nullptr, plain.get()),
            -1);
  EXPECT_EQ(getharmonics(x.data(), 3000, kFs, 1500, 150.0, 13, amps.data(), nullptr, nullptr), -1);
}

TEST(HarmonicAnalysis, FrameAtTheSignalStartIsZeroFilledAndAnalysed) {
  const double f0 = 110.0;
  const uint32_t K = 20;
  const std::vector<double> x = makesignal(2000, 0, 0.0, fullharmonicset(f0, K));
  HamemDeleter rec(qhameminitialize(kFs, 2400, f0));
  std::vector<double> amps(K), phases(K);
  ASSERT_EQ(getharmonics(x.data(), 2000, kFs, 0, f0, K, amps.data(), phases.data(), rec.get()), 0);
  const uint32_t h = haframesize(kFs, f0) / 2;
  for (uint32_t i = 0; i < h; ++i) EXPECT_EQ(rec.get()->frame[i], 0.0);
  for (uint32_t k = 0; k < K; ++k) EXPECT_TRUE(std::isfinite(amps[k]) && std::isfinite(phases[k]));
}

TEST(GreedySolve, DcIsExactAndResidualIsOrthogonalToTheLastHarmonic) {
  const double f0 = 200.0;
  const uint32_t K = 6, M = 2 * K + 1, N = haframesize(kFs, f0), centre = 1000;
  HamemDeleter rec(hameminitialize(kFs, 1300, f0));
  hamem* m = rec.get();

  std::vector<double> dc(2000, 0.75);
  ASSERT_EQ(getharmonics(dc.data(), 2000, kFs, centre, f0, K, nullptr, nullptr, m), 0);
  ASSERT_EQ(hasqhaabssolve(m, N, M), 0);
  EXPECT_NEAR(m->solution[K].re, 0.75, 1e-12);
  for (uint32_t i = 0; i < N; ++i) EXPECT_NEAR(m->frame[i], 0.0, 1e-12);
  for (uint32_t k = 1; k <= K; ++k)
    EXPECT_NEAR(std::hypot(m->solution[K + k].re, m->solution[K + k].im), 0.0, 1e-12);

  const std::vector<double> x = makesignal(2000, centre, 0.1, fullharmonicset(f0, K));
  ASSERT_EQ(getharmonics(x.data(), 2000, kFs, centre, f0, K, nullptr, nullptr, m), 0);
  std::vector<double> frame(m->frame, m->frame + N);
  ASSERT_EQ(hasqhaabssolve(m, N, M), 0);
  double rre = 0.0, rim = 0.0, energy = 0.0, residual = 0.0;
  for (uint32_t i = 0; i < N; ++i) {
    rre += m->frame[i] * m->basis[i].re;  // row 0 is harmonic K
    rim += m->frame[i] * m->basis[i].im;
    energy += frame[i] * frame[i];
    residual += m->frame[i] * m->frame[i];
  }
  EXPECT_NEAR(rre, 0.0, 1e-9);
  EXPECT_NEAR(rim, 0.0, 1e-9);
  EXPECT_LT(residual, energy);
  for (uint32_t k = 1; k <= K; ++k) {
    EXPECT_EQ(m->solution[K + k].re, m->solution[K - k].re);
    EXPECT_EQ(m->solution[K + k].im, -m->solution[K - k].im);
  }
}

}  // namespace
