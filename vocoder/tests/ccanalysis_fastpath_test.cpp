// The encoder's faster routes against straightforward versions of the same computations:
// the least-squares fit of the discrete cepstrum (Cholesky solve against the explicit inverse)
// and the tabulated cepstral warping (one matrix product against the all-pass recursion).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "ccanalysis.h"
#include "harmonicanalysis.h"
#include "matvect.h"
#include "spectralanalysis.h"

using namespace velk;

namespace {

const double kFs = 16000.0;
const double kAlpha = 0.42;
const uint32_t kOrder = 39;

double largestabsolute(const std::vector<double>& v) {
  double m = 0;
  for (double x : v) m = std::fmax(m, std::fabs(x));
  return m;
}

// x = (B^T B + P)^-1 B^T y with P the index-squared ridge penalty, through the explicit inverse
// and plain loops.
std::vector<double> explicitinversefit(const std::vector<double>& B, const std::vector<double>& y, uint32_t K,
                                       uint32_t n) {
  std::vector<double> G(n * n, 0.0), inv(n * n), h(n, 0.0), x(n, 0.0);
  for (uint32_t i = 0; i < n; i++)
    for (uint32_t j = 0; j < n; j++)
      for (uint32_t k = 0; k < K; k++) G[i * n + j] += B[k * n + i] * B[k * n + j];
  for (uint32_t i = 0; i < n; i++) G[i * n + i] += double(i) * i * 0.015791367;
  EXPECT_NE(choleskyinvdet(n, G.data(), inv.data(), 0), 0.0);
  for (uint32_t i = 0; i < n; i++)
    for (uint32_t k = 0; k < K; k++) h[i] += B[k * n + i] * y[k];
  for (uint32_t i = 0; i < n; i++)
    for (uint32_t j = 0; j < n; j++) x[i] += inv[i * n + j] * h[j];
  return x;
}

// Log amplitudes of K harmonics: a smooth envelope with formant-like bumps plus a little noise.
std::vector<double> logamplitudes(uint32_t K, double f0) {
  std::vector<double> y(K);
  for (uint32_t k = 0; k < K; k++) {
    double f = (k + 1) * f0;
    y[k] = -2.0 - f / 3000.0 + 1.5 * std::exp(-std::pow((f - 700) / 200, 2)) +
           std::exp(-std::pow((f - 2300) / 300, 2)) + 0.1 * (std::rand() / double(RAND_MAX) - 0.5);
  }
  return y;
}

TEST(DiscreteCepstrumFit, CholeskySolveEqualsTheExplicitInverseOnEncoderMatrices) {
  // The warped cosine matrices of the encoder at F0 from the floor to the ceiling of the
  // tracker, at exact harmonics and at measured (jittered) harmonic frequencies.
  std::srand(3);
  const uint32_t n = kOrder + 1;
  for (double f0 : {60.0, 71.3, 95.5, 130.0, 180.2, 250.0, 330.7, 480.0}) {
    for (bool adapted : {false, true}) {
      const uint32_t K = hanoharms(kFs, kFs, f0);
      std::vector<double> freqs(K);
      for (uint32_t k = 0; k < K; k++)
        freqs[k] = (k + 1) * f0 * (1 + 0.01 * (std::rand() / double(RAND_MAX) - 0.5));
      std::vector<double> B(K * n), y = logamplitudes(K, f0), x(n), work(n * (2 * n + 1));
      ASSERT_EQ(
          ccmatrixcreate(kOrder, K, f0, adapted ? freqs.data() : nullptr, kFs, kAlpha, B.data(), nullptr), 0);
      ASSERT_EQ(solveleastsquares(B.data(), y.data(), x.data(), K, n, 1, work.data(), 1), 0);
      const std::vector<double> ref = explicitinversefit(B, y, K, n);
      const double scale = largestabsolute(ref);
      for (uint32_t j = 0; j < n; j++)
        EXPECT_NEAR(x[j], ref[j], 1e-12 * scale) << "f0 " << f0 << (adapted ? " adapted" : "") << ", c" << j;
    }
  }
}

// Impulse train of F0 120 Hz through a two-pole resonance at 600 Hz, plus a little noise.
std::vector<double> resonatedpulses(uint32_t n) {
  std::vector<double> x(n, 0.0);
  for (uint32_t t = 0; t < n; t += 133) x[t] = 1.0;
  const double r = 0.97, c = 2 * r * std::cos(2 * 3.141592653589793 * 600 / kFs);
  double y1 = 0, y2 = 0;
  for (double& v : x) {
    double y = v + c * y1 - r * r * y2 + 1e-3 * (std::rand() / double(RAND_MAX) - 0.5);
    y2 = y1;
    y1 = y;
    v = 0.1 * y;
  }
  return x;
}

struct framesetup {
  uint32_t Lnoise = naframesize(kFs);
  uint32_t Nfft = 1024;
  std::vector<double> x = resonatedpulses(8000);
  std::vector<double> work = std::vector<double>(2 * Nfft);
};

typedef int (*framemethod)(const double*, uint32_t, double, uint32_t, double, uint32_t, double*, uint32_t,
                           double*, ccmem*, double);

// Cepstrum of the frame at centre with the given method, through the recursion (no table) or
// through a table made for tablealpha.
std::vector<double> framecepstrum(framesetup& s, framemethod method, uint8_t kind, uint32_t centre, double f0,
                                  uint32_t p, double alpha, bool table, double tablealpha) {
  ccmem* mem = ccmeminitialize(kFs, 60, s.Lnoise, s.Nfft, kind);
  EXPECT_NE(mem, nullptr);
  if (table) {
    EXPECT_EQ(ccmemsetwarp(mem, s.Nfft / 2, p, tablealpha), 0);
  }
  std::vector<double> cc(p + 1);
  method(s.x.data(), static_cast<uint32_t>(s.x.size()), kFs, centre, f0, s.Nfft, s.work.data(), p, cc.data(),
         mem, alpha);
  ccmemdestroy(mem);
  return cc;
}

TEST(CepstrumWarpingTable, FramesWarpedByTheTableEqualTheRecursion) {
  // Spectrum-based methods (full cepstrum of 513 values, and the liftered one of voiced frames
  // in the complementary-window method) and the noise estimate of unvoiced frames.
  std::srand(7);
  framesetup s;
  struct methodcase {
    framemethod method;
    uint8_t kind;
    double f0;
  } cases[] = {{getharmmcep, CC_HARM_MCEP, 0.0},    {getharmmcep, CC_HARM_MCEP, 120.3},
               {getwwcmcep, CC_WWC_MCEP, 120.3},    {getwwcmcep, CC_WWC_MCEP, 0.0},
               {getseemcep, CC_SEEVOC_MCEP, 120.3}, {getharmrdc, CC_HARM_RDC, 0.0}};
  for (const methodcase& m : cases) {
    for (uint32_t p : {0u, 1u, 24u, 39u}) {
      for (double alpha : {0.42, -0.3, 0.0}) {
        for (uint32_t centre : {1000u, 4321u}) {
          std::vector<double> ref = framecepstrum(s, m.method, m.kind, centre, m.f0, p, alpha, false, alpha);
          std::vector<double> fast = framecepstrum(s, m.method, m.kind, centre, m.f0, p, alpha, true, alpha);
          const double scale = largestabsolute(ref);
          ASSERT_GT(scale, 0.0);
          for (uint32_t j = 0; j <= p; j++)
            EXPECT_NEAR(fast[j], ref[j], 1e-12 * scale)
                << "kind " << int(m.kind) << " f0 " << m.f0 << " p " << p << " alpha " << alpha << " c" << j;
        }
      }
    }
  }
}

TEST(CepstrumWarpingTable, TableOfAnotherFactorIsNotUsed) {
  std::srand(7);
  framesetup s;
  std::vector<double> ref = framecepstrum(s, getseemcep, CC_SEEVOC_MCEP, 3000, 0.0, 39, 0.42, false, 0.42);
  // A table for another factor leaves the frame to the recursion: exactly its result.
  EXPECT_EQ(framecepstrum(s, getseemcep, CC_SEEVOC_MCEP, 3000, 0.0, 39, 0.42, true, 0.3), ref);
  // The table of the right factor gives a different rounding of the same values.
  std::vector<double> fast = framecepstrum(s, getseemcep, CC_SEEVOC_MCEP, 3000, 0.0, 39, 0.42, true, 0.42);
  for (uint32_t j = 0; j <= 39; j++) EXPECT_NEAR(fast[j], ref[j], 1e-12 * largestabsolute(ref));
}

TEST(CepstrumWarpingTable, RowsAreTheWarpedUnitCepstraAndBadFactorsAreRefused) {
  ccmem* mem = ccmeminitialize(kFs, 60, naframesize(kFs), 1024, CC_SEEVOC_MCEP);
  ASSERT_NE(mem, nullptr);
  EXPECT_EQ(ccmemsetwarp(mem, 8, 5, 1.0), -1);
  EXPECT_EQ(ccmemsetwarp(mem, 8, 5, -1.0), -1);
  ASSERT_EQ(ccmemsetwarp(mem, 8, 5, 0.42), 0);
  for (uint32_t i = 0; i <= 8; i++) {
    std::vector<double> unit(9, 0.0), d(6), scratch(6);
    unit[i] = 1.0;
    ASSERT_EQ(ccwarp(unit.data(), 8, d.data(), 5, 0.42, scratch.data()), 0);
    for (uint32_t j = 0; j <= 5; j++)
      EXPECT_NEAR(mem->warp[i * 6 + j], d[j], 1e-15) << "row " << i << " col " << j;
  }
  // Unwarped, the table is the identity.
  ASSERT_EQ(ccmemsetwarp(mem, 3, 3, 0.0), 0);
  for (uint32_t i = 0; i <= 3; i++)
    for (uint32_t j = 0; j <= 3; j++) EXPECT_EQ(mem->warp[i * 4 + j], i == j ? 1.0 : 0.0);
  ccmemdestroy(mem);
}

}  // namespace
