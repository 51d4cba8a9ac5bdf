// The unvoiced log spectrum through the half-size real transform against the straightforward
// computation: the windowed, mean-removed frame through a full split-array FFT.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "dft.h"
#include "spectralanalysis.h"
#include "windowing.h"

using namespace velk;

namespace {

const double kFs = 16000.0;

std::vector<double> straightforward(const std::vector<double>& x, uint32_t z, uint32_t L, uint32_t N) {
  std::vector<double> w(L), re(N, 0.0), im(N, 0.0), out(N);
  winhamming(w.data(), L, 1);
  const int64_t start = static_cast<int64_t>(z) - L / 2;
  double sum = 0.0;
  for (uint32_t j = 0; j < L; ++j)
    if (start + j >= 0 && start + j < static_cast<int64_t>(x.size())) sum += x[start + j];
  const double mean = sum / L;
  for (uint32_t j = 0; j < L && j < N; ++j)
    if (start + j >= 0 && start + j < static_cast<int64_t>(x.size())) re[j] = (x[start + j] - mean) * w[j];
  EXPECT_EQ(fftr(static_cast<int32_t>(N), re.data(), im.data()), 0);
  for (uint32_t k = 1; k < N / 2; ++k) {
    const double P = std::fmax(re[k] * re[k] + im[k] * im[k], L * 1.0000000000000002e-10);
    out[k] = std::log(std::sqrt(P / (L * kFs)));
  }
  for (uint32_t k = 1; k < N / 2; ++k) out[N - k] = out[k];
  out[0] = out[1];
  out[N / 2] = out[N / 2 - 1];
  return out;
}

TEST(NoiseSpectrumRealTransform, MatchesTheFullTransform) {
  std::vector<double> x(6000);
  uint32_t state = 7;
  for (size_t i = 0; i < x.size(); ++i) {
    state = state * 1664525u + 1013904223u;
    x[i] = 0.1 * ((state >> 8) / 16777216.0 - 0.5) + 0.3 * std::sin(0.05 * i) + (i > 5000 ? 0.0 : 0.01);
  }
  const uint32_t L = naframesize(kFs);
  for (uint32_t N : {512u, 1024u, 4096u}) {
    namem* mem = nameminitializefft(L, N);
    std::vector<double> out(N);
    for (uint32_t z : {0u, 150u, 3000u, 5990u}) {
      ASSERT_EQ(getnoiselogspectrum(x.data(), x.size(), kFs, z, N, out.data(), mem), 0);
      const std::vector<double> want = straightforward(x, z, L, N);
      // Rounding is relative to the strongest bin, so the amplitudes are compared against it.
      double peak = 0.0;
      for (double v : want) peak = std::fmax(peak, std::exp(v));
      for (uint32_t k = 0; k < N; ++k)
        EXPECT_NEAR(std::exp(out[k]), std::exp(want[k]), 1e-13 * peak)
            << "N " << N << " z " << z << " bin " << k;
    }
    namemdestroy(mem);
  }
}

}  // namespace
