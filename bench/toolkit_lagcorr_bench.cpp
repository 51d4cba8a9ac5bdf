// Autocorrelation of one frame at the command's default and a larger size.
#include <benchmark/benchmark.h>

#include <vector>

#include "autocorr.h"

static void BM_Lagcorr(benchmark::State& state) {
  const int l = static_cast<int>(state.range(0)), m = static_cast<int>(state.range(1));
  std::vector<double> x(l), r(m + 1);
  for (int i = 0; i < l; i++) x[i] = (i * 7919 % 101) / 50.0 - 1.0;
  for (auto _ : state) {
    velk::lagcorr(x.data(), l, r.data(), m);
    benchmark::DoNotOptimize(r.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * l);
}
BENCHMARK(BM_Lagcorr)->Args({256, 25})->Args({1024, 60});
