// Cost of one harmonic-analysis frame as the encoder runs it: a record made for the frame's
// f0 with every harmonic below fs/2, the Toeplitz least-squares fit of all of them.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "harmonicanalysis.h"

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

void BM_getharmonics(benchmark::State& state) {
  const double f0 = static_cast<double>(state.range(0));
  const std::vector<double> x = voicedsignal(f0);
  const uint32_t K = hanoharms(kFs, kFs, f0);
  hamem* rec = hameminitialize(kFs, kFs, f0);
  std::vector<double> amps(K), phases(K);
  overframes(state, [&](uint32_t centre) {
    return getharmonics(x.data(), 16000, kFs, centre, f0, K, amps.data(), phases.data(), rec);
  });
  state.counters["harmonics"] = K;
  state.counters["frame"] = haframesize(kFs, f0);
  hamemdestroy(rec);
}
BENCHMARK(BM_getharmonics)->Arg(60)->Arg(100)->Arg(200)->Unit(benchmark::kMillisecond);

void BM_getsqharmonics(benchmark::State& state) {
  const double f0 = static_cast<double>(state.range(0));
  const std::vector<double> x = voicedsignal(f0);
  const uint32_t K = hanoharms(kFs, kFs, f0);
  hamem* rec = qhameminitialize(kFs, kFs, f0);
  std::vector<double> amps(K), freqs(K);
  overframes(state, [&](uint32_t centre) {
    return getsqharmonics(x.data(), 16000, kFs, centre, f0, K, amps.data(), nullptr, freqs.data(), rec);
  });
  hamemdestroy(rec);
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
