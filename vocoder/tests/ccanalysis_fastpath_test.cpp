// The encoder's faster routes against straightforward versions of the same computations:
// the least-squares fit of the discrete cepstrum (Cholesky solve against the explicit inverse).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "ccanalysis.h"
#include "harmonicanalysis.h"
#include "matvect.h"

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
      for (uint32_t k = 0; k < K; k++) freqs[k] = (k + 1) * f0 * (1 + 0.01 * (std::rand() / double(RAND_MAX) - 0.5));
      std::vector<double> B(K * n), y = logamplitudes(K, f0), x(n), work(n * (2 * n + 1));
      ASSERT_EQ(ccmatrixcreate(kOrder, K, f0, adapted ? freqs.data() : nullptr, kFs, kAlpha, B.data(), nullptr), 0);
      ASSERT_EQ(solveleastsquares(B.data(), y.data(), x.data(), K, n, 1, work.data(), 1), 0);
      const std::vector<double> ref = explicitinversefit(B, y, K, n);
      const double scale = largestabsolute(ref);
      for (uint32_t j = 0; j < n; j++)
        EXPECT_NEAR(x[j], ref[j], 1e-12 * scale) << "f0 " << f0 << (adapted ? " adapted" : "") << ", c" << j;
    }
  }
}

}  // namespace
