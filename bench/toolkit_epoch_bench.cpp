// The epoch tracker on 10 s of real speech (the sample prompts, repeated),
// one LPC frame of the tracker's size, and loading a WAV file.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "lpcframes.h"
#include "audioload.h"
#include "epochtracker.h"

using namespace velk;

namespace {

const char* const kPrompts[] = {"en_vm-deleted.wav", "it_vm-goodbye.wav", "Front_Center.wav",
                                "Front_Left.wav", "Rear_Right.wav"};

std::vector<int16_t> load(const std::string& name) {
  fileresource fr(std::string(VELK_SAMPLES_DIR) + "/" + name, "rb");
  std::vector<int16_t> s;
  int32_t rate = 0;
  waveio io;
  if (fr.get() != 0 || io.load(&fr, &s, &rate) != 0) s.clear();
  return s;
}

std::vector<int16_t> speech(int seconds) {
  std::vector<int16_t> all;
  while ((int)all.size() < seconds * 16000) {
    for (const char* p : kPrompts) {
      const std::vector<int16_t> s = load(p);
      all.insert(all.end(), s.begin(), s.end());
    }
  }
  all.resize(seconds * 16000);
  return all;
}

void BM_EpochTracker(benchmark::State& state) {
  const std::vector<int16_t> s = speech(10);
  std::vector<float> f0, corr;
  for (auto _ : state) {
    epochtracker et;
    et.init(s.data(), (int)s.size(), 16000.0f, 60.0f, 400.0f, true, false);
    et.computefeatures();
    et.trackepochs();
    et.resampleandreturnresults(0.005f, &f0, &corr);
    benchmark::DoNotOptimize(f0.data());
  }
  state.SetItemsProcessed(state.iterations() * (int64_t)s.size());
  // Seconds of computation per second of speech.
  state.counters["s_per_s_speech"] = benchmark::Counter(
      10.0 * state.iterations(), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_EpochTracker)->Unit(benchmark::kMillisecond);

void BM_ComputeLpc(benchmark::State& state) {
  const std::vector<int16_t> s = speech(1);
  const std::vector<float> frame(s.begin() + 4000, s.begin() + 4320);
  lpcanalyzer lpc;
  float a[19];
  for (auto _ : state) {
    lpc.computelpc(18, 70.0f, 320, frame.data(), a, nullptr, nullptr, nullptr, nullptr, 0.0f);
    benchmark::DoNotOptimize(a);
  }
}
BENCHMARK(BM_ComputeLpc);

void BM_WaveLoad(benchmark::State& state) {
  for (auto _ : state) {
    const std::vector<int16_t> s = load(kPrompts[0]);
    benchmark::DoNotOptimize(s.data());
  }
}
BENCHMARK(BM_WaveLoad);

}  // namespace
