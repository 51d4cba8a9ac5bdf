// CPU of the streaming synthesis per 10 ms block of frames (two frames of 5 ms) at 16 and 48 kHz,
// with the pitch raised by a fifth, against the whole-stream synthesis of the same frames: the
// cost a real-time caller pays per block, and what streaming costs over the batch path.
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

#include "soundfile.h"
#include "streamdecode.h"
#include "velkcodec.h"

using namespace velk;

namespace {

struct streams {
  std::vector<double> lf0, cc, fv;
  uint32_t frames = 0, order = 0;
};

// The streams of a bundled sample at the rate fs, log-F0 with -1e10 unvoiced.
streams sampledstreams(uint32_t fs) {
  const std::string path =
      std::string(VELK_SAMPLES_DIR) + (fs == 16000 ? "/en_vm-deleted.wav" : "/wide/alsa48k_Front_Center.wav");
  double* x = nullptr;
  soundinfo info;
  const uint32_t n = readsound(path.c_str(), fs, &x, &info);
  const encodesettings s = encodedefaults(fs);
  streams st;
  st.frames = encodeframes(n, s.lframe);
  st.order = s.ccord;
  st.lf0.resize(st.frames);
  st.fv.resize(st.frames);
  st.cc.resize(getccsize(st.frames, st.order));
  encodesignal(x, n, s, st.frames, st.lf0.data(), false, st.fv.data(), st.cc.data(), nullptr);
  free(x);
  for (double& v : st.lf0) v = v > 0 ? std::log(v) : -1e10;
  return st;
}

decodesettings raised(uint32_t fs) {
  decodesettings s = decodedefaults(fs);
  s.fpitch = 1.5;
  preparedecode(&s);
  return s;
}

// One push of the two frames of a 10 ms block per iteration, over the sample's frames in a loop.
void pushblock(benchmark::State& state) {
  const uint32_t fs = static_cast<uint32_t>(state.range(0));
  const streams st = sampledstreams(fs);
  const decodesettings s = raised(fs);
  const uint32_t block = 2;
  std::vector<double> out(block * s.shift + s.shift + 1);
  streamdecoder* d = streamdecodercreate(s, st.order, true, nullptr, nullptr);
  uint32_t k = 0;
  for (auto _ : state) {
    if (k + block > st.frames) {
      state.PauseTiming();
      streamdecoderdestroy(d);
      d = streamdecodercreate(s, st.order, true, nullptr, nullptr);
      k = 0;
      state.ResumeTiming();
    }
    streamdecoderpush(d, &st.lf0[k], &st.cc[getccsize(k, st.order)], &st.fv[k], block, out.data());
    benchmark::ClobberMemory();
    k += block;
  }
  streamdecoderdestroy(d);
  state.counters["latency_samples"] = s.shift;
  state.counters["block_ms"] = 1000.0 * block * s.lframe / fs;
}

// The whole sample's streams through decodestreams per iteration; the time per 10 ms of audio.
void wholestreams(benchmark::State& state) {
  const uint32_t fs = static_cast<uint32_t>(state.range(0));
  const streams st = sampledstreams(fs);
  const decodesettings s = raised(fs);
  std::vector<double> out(decodedlength(st.frames, s));
  for (auto _ : state) {
    std::vector<double> lf0 = st.lf0, cc = st.cc;
    decodestreams(lf0.data(), cc.data(), st.fv.data(), st.frames, st.order, s, out.data(),
                  static_cast<uint32_t>(out.size()));
    benchmark::ClobberMemory();
  }
  state.counters["blocks"] = st.frames / 2.0;
  state.counters["per_block_s"] = benchmark::Counter(
      st.frames / 2.0, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(pushblock)->Arg(16000)->Arg(48000)->Unit(benchmark::kMicrosecond);
BENCHMARK(wholestreams)->Arg(16000)->Arg(48000)->Unit(benchmark::kMillisecond);
