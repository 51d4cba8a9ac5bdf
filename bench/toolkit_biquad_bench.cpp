// One second-order section over one second of 16 kHz samples.
#include <benchmark/benchmark.h>

#include <vector>

#include "biquadfilter.h"

static void BM_BiquadSection(benchmark::State& state) {
  const bool pole = state.range(0) & 1, zero = state.range(0) & 2;
  std::vector<double> x(16000);
  for (size_t n = 0; n < x.size(); n++) x[n] = (n % 160 == 0) ? 1.0 : 0.0;
  for (auto _ : state) {
    double d[3] = {0, 0, 0};
    int pos = 0;
    double acc = 0.0;
    for (double v : x) acc += velk::biquad(pole, zero, d, &pos, v, 16000.0, 500.0, 60.0, 3000.0, 200.0);
    benchmark::DoNotOptimize(acc);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(x.size()));
}
// 1: pole pair only, 2: zero pair only, 3: both.
BENCHMARK(BM_BiquadSection)->Arg(1)->Arg(2)->Arg(3);
