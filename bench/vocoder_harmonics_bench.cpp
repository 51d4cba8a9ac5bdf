// Cost of one harmonic-analysis frame as the encoder runs it: a record made for the frame's
// f0 with every harmonic below fs/2, the Toeplitz least-squares fit of all of them.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "harmonicanalysis.h"

using namespace velk;

namespace {

const double kFs = 16000.0;

// One second of a harmonic signal with a falling spectrum and a little noise-like jitter.
std::vector<double> voicedsignal(double f0) {
  std::vector<double> x(16000, 0.0);
  const uint32_t K = hanoharms(kFs, kFs, f0);
  for (uint32_t i = 0; i < x.size(); ++i) {
    for (uint32_t k = 1; k <= K; ++k)
      x[i] += std::cos(6.283185307179586 * k * f0 * i / kFs + 0.7 * k * k) / k;
    x[i] += 1e-3 * std::sin(1.7 * i * i);
  }
  return x;
}

// Times analyse(centre) over frame centres 80 samples apart through the middle of the signal.
template <typename Analysis>
void overframes(benchmark::State& state, Analysis analyse) {
  uint32_t centre = 4000;
  for (auto _ : state) {
    benchmark::DoNotOptimize(analyse(centre));
    benchmark::ClobberMemory();
    centre = centre >= 12000 ? 4000 : centre + 80;
  }
}

// Times an analysis of every harmonic below fs/2 at the F0 state.range(0) in Hz, with a record
// made by `record` for that F0; `analyse` gets the signal, the frame centre, F0, the number of
// harmonics, two output arrays of that length and the record.
template <typename Analysis>
void harmonicframes(benchmark::State& state, hamem* (*record)(double, double, double), Analysis analyse) {
  const double f0 = static_cast<double>(state.range(0));
  const std::vector<double> x = voicedsignal(f0);
  const uint32_t K = hanoharms(kFs, kFs, f0);
  hamem* rec = record(kFs, kFs, f0);
  std::vector<double> first(K), second(K);
  overframes(state, [&](uint32_t centre) {
    return analyse(x.data(), centre, f0, K, first.data(), second.data(), rec);
  });
  state.counters["harmonics"] = K;
  hamemdestroy(rec);
}

void BM_getharmonics(benchmark::State& state) {
  harmonicframes(state, hameminitialize,
                 [](const double* x, uint32_t centre, double f0, uint32_t K, double* amps, double* phases,
                    hamem* rec) { return getharmonics(x, 16000, kFs, centre, f0, K, amps, phases, rec); });
  state.counters["frame"] = haframesize(kFs, static_cast<double>(state.range(0)));
}
BENCHMARK(BM_getharmonics)->Arg(60)->Arg(100)->Arg(200)->Unit(benchmark::kMillisecond);

void BM_getsqharmonics(benchmark::State& state) {
  harmonicframes(
      state, qhameminitialize,
      [](const double* x, uint32_t centre, double f0, uint32_t K, double* amps, double* freqs, hamem* rec) {
        return getsqharmonics(x, 16000, kFs, centre, f0, K, amps, nullptr, freqs, rec);
      });
}
BENCHMARK(BM_getsqharmonics)->Arg(100)->Arg(200)->Unit(benchmark::kMillisecond);

void BM_qharefinepitch(benchmark::State& state) {
  const double f0 = static_cast<double>(state.range(0));
  const std::vector<double> x = voicedsignal(f0);
  hamem* rec = qhameminitialize(kFs, 4500, f0);
  uint32_t centre = 4000;
  for (auto _ : state) {
    benchmark::DoNotOptimize(qharefinepitch(x.data(), 16000, kFs, centre, f0 * 1.01, 4500, rec));
    centre = centre >= 12000 ? 4000 : centre + 80;
  }
  hamemdestroy(rec);
}
BENCHMARK(BM_qharefinepitch)->Arg(100)->Arg(200)->Unit(benchmark::kMillisecond);

}  // namespace
