// Speed of the in-place transforms at the sizes the analyses use (256 to 4096 points).
// Each iteration restores the input (a plain copy) before transforming, so the data stay
// bounded; the copy is a small part of the time.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "dft.h"

using namespace velk;

namespace {

std::vector<double> randomdoubles(size_t count) {
  std::srand(1);
  std::vector<double> v(count);
  for (double& x : v) x = std::rand() / (RAND_MAX + 1.0) - 0.5;
  return v;
}

// Times one interleaved complex transform (fftc or ifftc) of state.range(0) points.
template <typename Transform>
void complextransform(benchmark::State& state, Transform transform) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  const std::vector<double> input = randomdoubles(2 * n);
  std::vector<complex> x(n);
  for (auto _ : state) {
    std::memcpy(x.data(), input.data(), sizeof(complex) * n);
    if (transform(n, x.data()) != 0) state.SkipWithError("size is not a power of two");
    benchmark::DoNotOptimize(x.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * n);
}

void BM_fftc(benchmark::State& state) {
  complextransform(state, fftc);
}

void BM_ifftc(benchmark::State& state) {
  complextransform(state, ifftc);
}

void BM_fftr(benchmark::State& state) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  const std::vector<double> input = randomdoubles(n);
  std::vector<double> re(n), im(n);
  for (auto _ : state) {
    std::memcpy(re.data(), input.data(), sizeof(double) * n);
    std::memset(im.data(), 0, sizeof(double) * n);
    if (fftr(n, re.data(), im.data()) != 0) state.SkipWithError("size is not a power of two");
    benchmark::DoNotOptimize(re.data());
    benchmark::DoNotOptimize(im.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * n);
}

}  // namespace

BENCHMARK(BM_fftc)->Arg(256)->Arg(1024)->Arg(4096);
BENCHMARK(BM_ifftc)->Arg(256)->Arg(1024)->Arg(4096);
BENCHMARK(BM_fftr)->Arg(256)->Arg(1024)->Arg(4096);
