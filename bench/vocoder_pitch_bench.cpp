// Pitch tracking cost per second of speech, on the bundled recordings and a synthetic signal.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "pitchanalysis.h"
#include "wavm1616io.h"

using namespace velk;

namespace {

const double kFs = 16000.0;
const uint32_t kHop = 80;

// The samples of a bundled recording, read by the library's WAV reader (empty when it fails).
std::vector<double> readwav(const std::string& path) {
  double* samples = nullptr;
  const uint32_t n = wavreadm1616(path.c_str(), &samples);
  std::vector<double> x(samples, samples + n);
  free(samples);
  return x;
}

// Reports the time per second of signal as the "s_per_s" counter (wall time / signal duration).
void runtracker(benchmark::State& state, const std::vector<double>& x, uint32_t iterations) {
  const uint32_t frames = (uint32_t)((x.size() - 1) / kHop + 1);
  std::vector<double> f0(frames);
  for (auto _ : state) {
    getpitch(x.data(), x.size(), kFs, kHop, 0, frames, 60.0, 500.0, f0.data());
    if (iterations > 0)
      refinepitch(x.data(), x.size(), kFs, kHop, 0, frames, 60.0, 500.0, iterations, f0.data(), nullptr);
    benchmark::DoNotOptimize(f0.data());
  }
  const double seconds = x.size() / kFs;
  state.counters["s_per_s"] = benchmark::Counter(seconds * state.iterations(),
                                                 benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["frames"] = frames;
}

void BM_GetPitchSpeech(benchmark::State& state) {
  std::vector<double> x;
  for (const char* name :
       {"Front_Center.wav", "Front_Left.wav", "Rear_Right.wav", "en_vm-deleted.wav", "it_vm-goodbye.wav"}) {
    const std::vector<double> s = readwav(std::string(VELK_SAMPLES_DIR) + "/" + name);
    x.insert(x.end(), s.begin(), s.end());
  }
  runtracker(state, x, 0);
}
BENCHMARK(BM_GetPitchSpeech)->Unit(benchmark::kMillisecond);

void BM_GetPitchRefinedSpeech(benchmark::State& state) {
  const std::vector<double> x = readwav(std::string(VELK_SAMPLES_DIR) + "/en_vm-deleted.wav");
  runtracker(state, x, (uint32_t)state.range(0));
}
BENCHMARK(BM_GetPitchRefinedSpeech)->Arg(1)->Arg(5)->Unit(benchmark::kMillisecond);

// A 10 s glide 90..180 Hz with a lower floor: longer frames and lag ranges.
void BM_GetPitchGlideFloor(benchmark::State& state) {
  const uint32_t n = 160000;
  std::vector<double> x(n, 0.0);
  double phase = 0.0;
  for (uint32_t t = 0; t < n; t++) {
    for (int h = 1; h <= 20; h++) x[t] += 0.3 / h * sin(h * phase);
    phase += 2 * M_PI * (90.0 + 90.0 * t / n) / kFs;
  }
  const double floor = (double)state.range(0);
  const uint32_t frames = (n - 1) / kHop + 1;
  std::vector<double> f0(frames);
  for (auto _ : state) {
    getpitch(x.data(), n, kFs, kHop, 0, frames, floor, 500.0, f0.data());
    benchmark::DoNotOptimize(f0.data());
  }
  state.counters["s_per_s"] = benchmark::Counter(10.0 * state.iterations(),
                                                 benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_GetPitchGlideFloor)->Arg(60)->Arg(40)->Unit(benchmark::kMillisecond);

}  // namespace
