// Float stream reading and writing through the toolkit stream routines, on an in-memory file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include "streamio.h"

using namespace velk;

namespace {
constexpr int kSamples = 1 << 20;
}

static void BM_Fwritef(benchmark::State& state) {
  const int chunk = static_cast<int>(state.range(0));
  std::vector<char> mem(4 * static_cast<size_t>(kSamples));
  std::vector<double> x(chunk, 0.25);
  for (auto _ : state) {
    FILE* fp = fmemopen(mem.data(), mem.size(), "wb");
    for (int done = 0; done < kSamples; done += chunk) fwritef(x.data(), sizeof(double), chunk, fp);
    std::fclose(fp);
  }
  state.SetItemsProcessed(state.iterations() * kSamples);
}
BENCHMARK(BM_Fwritef)->Arg(1)->Arg(256);

static void BM_Freadf(benchmark::State& state) {
  const int chunk = static_cast<int>(state.range(0));
  std::vector<char> mem(4 * static_cast<size_t>(kSamples), 0);
  std::vector<double> x(chunk);
  for (auto _ : state) {
    FILE* fp = fmemopen(mem.data(), mem.size(), "rb");
    while (freadf(x.data(), sizeof(double), chunk, fp) == chunk) benchmark::DoNotOptimize(x[0]);
    std::fclose(fp);
  }
  state.SetItemsProcessed(state.iterations() * kSamples);
}
BENCHMARK(BM_Freadf)->Arg(1)->Arg(256);
