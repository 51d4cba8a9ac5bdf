// Toeplitz-plus-Hankel solver at growing orders (the recursion is quadratic in n).
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "numeric.h"

using namespace velk;

static void BM_Tphsolve(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::mt19937 gen(1);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<double> t(n), h(2 * n - 1), a(n), b(n);
  for (double& v : t) v = u(gen);
  for (double& v : h) v = u(gen);
  for (double& v : b) v = u(gen);
  t[0] = 2.0 * n + 1.0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(tphsolve(t.data(), h.data(), a.data(), b.data(), n, 1e-12));
    benchmark::ClobberMemory();
  }
  state.SetComplexityN(n);
}
BENCHMARK(BM_Tphsolve)->RangeMultiplier(4)->Range(16, 1024)->Complexity(benchmark::oNSquared);
