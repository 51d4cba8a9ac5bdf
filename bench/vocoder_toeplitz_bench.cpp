// Per-frame matrix inversions of the harmonic analysis: the symmetric Toeplitz Gram matrix of
// harmonics -K..K (2K + 1 = 79, 159, 267 at 200, 100 and 60 Hz) and, for comparison, the
// Cholesky inversion used on the same sizes when the Gram matrix is not Toeplitz.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "matvect.h"

using namespace velk;

namespace {

// Gram matrix of the complex exponentials of the harmonics of f0 below 8 kHz under a squared
// Hann window three periods long, at 16 kHz.
std::vector<double> harmonicgram(double f0, uint32_t n) {
  const double fs = 16000.0, pi = 3.14159265358979323846;
  int half = (int)std::lround(1.5 * fs / f0);
  std::vector<double> r(n, 0.0), g((size_t)n * n);
  for (int t = -half; t <= half; t++) {
    double w = 0.5 + 0.5 * std::cos(pi * t / (half + 1));
    for (uint32_t d = 0; d < n; d++) r[d] += w * w * std::cos(2 * pi * f0 / fs * d * t);
  }
  for (uint32_t i = 0; i < n; i++)
    for (uint32_t j = 0; j < n; j++) g[(size_t)i * n + j] = r[i > j ? i - j : j - i];
  return g;
}

double f0forsize(uint32_t n) {
  return n == 79 ? 200.0 : n == 159 ? 100.0 : 60.0;
}

void BM_toeplitzsiminv(benchmark::State& state) {
  uint32_t n = (uint32_t)state.range(0);
  std::vector<double> t = harmonicgram(f0forsize(n), n), inv((size_t)n * n);
  for (auto _ : state) {
    benchmark::DoNotOptimize(toeplitzsiminv(n, t.data(), inv.data()));
    benchmark::ClobberMemory();
  }
}

void BM_choleskyinvdet(benchmark::State& state) {
  uint32_t n = (uint32_t)state.range(0);
  std::vector<double> g = harmonicgram(f0forsize(n), n), work((size_t)n * n), inv((size_t)n * n);
  for (auto _ : state) {
    work = g;
    benchmark::DoNotOptimize(choleskyinvdet(n, work.data(), inv.data(), 0));
    benchmark::ClobberMemory();
  }
}

}  // namespace

BENCHMARK(BM_toeplitzsiminv)->Arg(79)->Arg(159)->Arg(267)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_choleskyinvdet)->Arg(79)->Arg(159)->Arg(267)->Unit(benchmark::kMicrosecond);
