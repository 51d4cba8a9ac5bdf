// Analysis in pieces against the whole-signal analysis: the same streams, bit for bit, for pieces
// of any length, at every rate and with every option that changes the passes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "ccanalysis.h"
#include "samebits.h"
#include "spectralanalysis.h"
#include "streamencode.h"
#include "testsignals.h"
#include "velkcodec.h"

using namespace velk;

namespace {

struct analysis {
  std::vector<double> f0, fv, cc;
  int dithered = -1;
};

analysis wholesignal(std::vector<double> x, const encodesettings& s, const std::vector<double>* given) {
  analysis a;
  const uint32_t frames = given ? static_cast<uint32_t>(given->size()) : encodeframes(x.size(), s.lframe);
  a.f0 = given ? *given : std::vector<double>(frames);
  a.fv.resize(frames);
  a.cc.resize(getccsize(frames, s.ccord));
  EXPECT_EQ(encodesignal(x.data(), static_cast<uint32_t>(x.size()), s, frames, a.f0.data(), given != nullptr,
                         a.fv.data(), a.cc.data(), &a.dithered),
            0);
  return a;
}

int appendcc(void* state, const double* cc, uint32_t frames) {
  auto* out = static_cast<std::pair<std::vector<double>*, uint32_t>*>(state);
  out->first->insert(out->first->end(), cc, cc + static_cast<size_t>(frames) * (out->second + 1));
  return 0;
}

analysis inpieces(const std::vector<double>& x, const encodesettings& s, const std::vector<double>* given,
                  uint32_t piece) {
  analysis a;
  const uint32_t frames = given ? static_cast<uint32_t>(given->size()) : encodeframes(x.size(), s.lframe);
  a.f0 = given ? *given : std::vector<double>(frames);
  a.fv.resize(frames);
  memorysignal m{x.data(), static_cast<uint32_t>(x.size())};
  std::pair<std::vector<double>*, uint32_t> out{&a.cc, s.ccord};
  ccsink sink{&out, appendcc};
  EXPECT_EQ(encodepieces(memorysource(&m), static_cast<uint32_t>(x.size()), s, frames, a.f0.data(),
                         given != nullptr, a.fv.data(), sink, piece, &a.dithered),
            0);
  return a;
}

void expectsameanalysis(const analysis& whole, const analysis& pieces) {
  expect_same_bits(whole.f0, pieces.f0, "f0");
  expect_same_bits(whole.fv, pieces.fv, "fv");
  expect_same_bits(whole.cc, pieces.cc, "cc");
  EXPECT_EQ(whole.dithered, pieces.dithered);
}

}  // namespace

// Pieces shorter than a frame, shorter than the tracker's filter block, and longer than the
// signal, at rates below, at and above 16 kHz (the tracker then works upsampled, as is, or on a
// longer filter).
TEST(StreamEncode, PiecesGiveTheWholeSignalsStreams) {
  for (const uint32_t fs : {8000u, 11025u, 16000u, 22050u, 44100u}) {
    const std::vector<double> x = speechlike_signal(fs);
    const encodesettings s = encodedefaults(fs);
    const analysis whole = wholesignal(x, s, nullptr);
    EXPECT_EQ(whole.dithered, 1) << fs;
    for (const uint32_t piece : {50u, 1000u, 4099u, 1u << 20}) {
      SCOPED_TRACE(testing::Message() << fs << " Hz, pieces of " << piece);
      expectsameanalysis(whole, inpieces(x, s, nullptr, piece));
    }
  }
}

// Refinement (its own pass before the envelopes), every envelope method, another frame shift,
// no range adaptation, no dither, and a given track shorter than the signal's frames.
TEST(StreamEncode, OptionsThatChangeThePasses) {
  const uint32_t fs = 16000;
  const std::vector<double> x = speechlike_signal(fs);
  for (uint8_t method = 0; method < velkccmethods; ++method) {
    encodesettings s = encodedefaults(fs);
    s.ccmeth = method;
    s.f0acc = method % 2 == 0 ? 2 : 0;
    s.lframe = method == 3 ? 111 : 80;
    s.morvscale = method != 1;
    s.zfill = method == 4 ? 0 : 160;
    SCOPED_TRACE(testing::Message() << "method " << int(method));
    expectsameanalysis(wholesignal(x, s, nullptr), inpieces(x, s, nullptr, 2500));
  }
  encodesettings s = encodedefaults(fs);
  s.f0acc = 3;
  std::vector<double> given(encodeframes(x.size(), s.lframe) / 2);
  for (size_t k = 0; k < given.size(); ++k) given[k] = k % 7 == 0 ? 0.0 : 100.0 + k % 50;
  expectsameanalysis(wholesignal(x, s, &given), inpieces(x, s, &given, 3000));
}

// A source that gives fewer or more samples than promised, or fails, and a sink that fails, end
// the analysis with -1.
TEST(StreamEncode, FailuresEndTheAnalysis) {
  const std::vector<double> x = speechlike_signal(16000);
  const encodesettings s = encodedefaults(16000);
  const uint32_t n = static_cast<uint32_t>(x.size());
  std::vector<double> f0(encodeframes(n, s.lframe)), fv(f0.size()), cc;
  std::pair<std::vector<double>*, uint32_t> out{&cc, s.ccord};
  const ccsink sink{&out, appendcc};
  for (const uint32_t promised : {n - 1, n + 1}) {
    memorysignal m{x.data(), n};
    EXPECT_EQ(encodepieces(memorysource(&m), promised, s, encodeframes(promised, s.lframe), f0.data(), false,
                           fv.data(), sink, 5000, nullptr),
              -1)
        << promised;
  }
  memorysignal m{x.data(), n};
  signalsource failing = memorysource(&m);
  failing.read = [](void*, double*, uint32_t) -> int64_t { return -1; };
  EXPECT_EQ(encodepieces(failing, n, s, f0.size(), f0.data(), false, fv.data(), sink, 5000, nullptr), -1);
  const ccsink refusing{nullptr, [](void*, const double*, uint32_t) { return -1; }};
  memorysignal again{x.data(), n};
  EXPECT_EQ(encodepieces(memorysource(&again), n, s, f0.size(), f0.data(), false, fv.data(), refusing, 5000,
                         nullptr),
            -1);
}

// The dither's rule written out plainly: every run of more than `threshold` equal samples gets
// Gaussian noise of 1.3 16-bit steps, drawn in sample order from the generator seeded with 1.
int referencedither(std::vector<double>* x, uint32_t threshold) {
  noisegen noise(1);
  int dithered = 0;
  for (size_t i = 0; i < x->size();) {
    size_t e = i + 1;
    while (e < x->size() && (*x)[e] == (*x)[i]) ++e;
    if (e - i > threshold) {
      for (size_t j = i; j < e; ++j) (*x)[j] += 1.3 / 32768 * gaussrand(&noise);
      dithered = 1;
    }
    i = e;
  }
  return dithered;
}

// The dither given block by block equals the rule over the whole signal, for any block length:
// runs at the start and the end, runs across blocks, just at and just over the threshold, and
// zeros of both signs, which count as equal and keep their own bits when left as they are.
TEST(StreamEncode, DitherInBlocksEqualsTheWholeSignals) {
  std::vector<double> x = speechlike_signal(16000);
  x.insert(x.begin(), 161, 0.25);        // a dithered run at the very start
  x.insert(x.begin() + 5000, 160, 0.5);  // a run just at the threshold: left as it is
  for (int k = 0; k < 120; ++k) x.insert(x.begin() + 9000, k % 2 ? 0.0 : -0.0);
  x.insert(x.end(), 400, 0.125);  // a long run at the end
  std::vector<double> whole = x;
  ASSERT_EQ(referencedither(&whole, 160), 1);
  std::vector<double> padded = x;
  ASSERT_EQ(padzeros(padded.data(), static_cast<uint32_t>(padded.size()), 160), 1);
  expect_same_bits(whole, padded, "padzeros");
  for (const uint32_t block : {1u, 7u, 160u, 161u, 5000u}) {
    ditherer* d = dithercreate(160);
    ASSERT_NE(d, nullptr);
    std::vector<double> out, buf(block + 160);
    for (size_t i = 0; i < x.size(); i += block) {
      const uint32_t count = static_cast<uint32_t>(std::min<size_t>(block, x.size() - i));
      const uint32_t got = ditherpush(d, x.data() + i, count, buf.data());
      out.insert(out.end(), buf.begin(), buf.begin() + got);
    }
    const uint32_t rest = ditherflush(d, buf.data());
    out.insert(out.end(), buf.begin(), buf.begin() + rest);
    EXPECT_EQ(ditherapplied(d), 1);
    ditherdestroy(d);
    expect_same_bits(whole, out, "dithered signal");
  }
}

namespace {

struct given {
  std::vector<double> f0, fv, cc;
  std::vector<uint64_t> pushedat;  // samples pushed when each frame came
  uint64_t pushed = 0;
};

void collect(given* g, const double* f0, const double* fv, const double* cc, uint32_t frames,
             uint32_t width) {
  g->f0.insert(g->f0.end(), f0, f0 + frames);
  g->fv.insert(g->fv.end(), fv, fv + frames);
  g->cc.insert(g->cc.end(), cc, cc + static_cast<size_t>(frames) * width);
  g->pushedat.insert(g->pushedat.end(), frames, g->pushed);
}

// The signal pushed in random blocks of 1 to `largest` samples.
given streamed(const std::vector<double>& x, const encodesettings& s, uint32_t lookahead, uint32_t largest,
               unsigned seed, uint32_t* latency) {
  streamencoder* e = streamencodercreate(s, lookahead);
  EXPECT_NE(e, nullptr);
  *latency = streamencoderlatency(e);
  given g;
  struct withcc {
    given* g;
    uint32_t width;
  } state{&g, s.ccord + 1};
  const framesink sink{&state, [](void* p, const double* f0, const double* fv, const double* cc, uint32_t n) {
                         withcc* w = static_cast<withcc*>(p);
                         collect(w->g, f0, fv, cc, n, w->width);
                         return 0;
                       }};
  std::mt19937 random(seed);
  for (size_t i = 0; i < x.size();) {
    const uint32_t n = std::min<uint32_t>(1 + random() % largest, static_cast<uint32_t>(x.size() - i));
    g.pushed += n;
    EXPECT_EQ(streamencoderpush(e, x.data() + i, n, sink), 0);
    i += n;
  }
  g.pushed = UINT64_MAX;
  EXPECT_EQ(streamencoderflush(e, sink), 0);
  streamencoderdestroy(e);
  return g;
}

}  // namespace

// With the loudest part first (the level so far is then the whole signal's), no short voiced
// island and a lookahead beyond the last frame, nothing the analyser replaces decides: its frames
// are the whole analysis's, bit for bit, for any split of the samples.
TEST(StreamEncoder, WithNothingReplacedItGivesTheWholeAnalysis) {
  for (const uint32_t fs : {11025u, 16000u, 22050u}) {
    std::vector<float> loud = voiced_signal(130, 150, static_cast<int>(fs / 2), fs);
    for (float& v : loud) v *= 2.0f;
    std::vector<double> x(loud.begin(), loud.end());
    const std::vector<double> rest = speechlike_signal(fs);
    x.insert(x.end(), rest.begin(), rest.end());
    for (size_t i = 0; i < loud.size(); ++i) x[i] /= 32768;
    encodesettings s = encodedefaults(fs);
    s.f0acc = 2;
    const analysis whole = wholesignal(x, s, nullptr);
    for (const uint32_t largest : {1u, 300u, 20000u}) {
      SCOPED_TRACE(testing::Message() << fs << " Hz, blocks of up to " << largest);
      uint32_t latency = 0;
      const given g = streamed(x, s, 1u << 30, largest, fs + largest, &latency);
      expect_same_bits(whole.f0, g.f0, "f0");
      expect_same_bits(whole.fv, g.fv, "fv");
      expect_same_bits(whole.cc, g.cc, "cc");
    }
  }
}

// With a bounded lookahead every frame comes once the samples up to its centre plus the stated
// latency are pushed, and the frames number the whole analysis's.
TEST(StreamEncoder, FramesComeWithinTheLatency) {
  const uint32_t fs = 16000;
  const std::vector<double> x = speechlike_signal(fs);
  const encodesettings s = encodedefaults(fs);
  uint32_t latency = 0;
  const given g = streamed(x, s, 20, 160, 7, &latency);
  ASSERT_EQ(g.f0.size(), encodeframes(static_cast<uint32_t>(x.size()), s.lframe));
  EXPECT_EQ(g.cc.size(), g.f0.size() * (s.ccord + 1));
  EXPECT_GT(latency, 20u * s.lframe);
  EXPECT_LT(latency, fs * 3 / 10);  // 300 ms at most with 100 ms of lookahead
  for (size_t k = 0; k < g.f0.size(); ++k) {
    const uint64_t needed = k * s.lframe + latency;
    if (needed + 160 <= x.size()) {
      ASSERT_LE(g.pushedat[k], needed + 160) << "frame " << k;
    }
  }
}

// The same where the tracker works on a copy at a fraction of the rate (8/11 of 22.05 kHz, 1/3 of
// 48 kHz): the copy's filter reaches further, in signal samples, than a copy sample.
TEST(StreamEncoder, FramesComeWithinTheLatencyOnAResampledCopy) {
  for (const uint32_t fs : {22050u, 48000u}) {
    const std::vector<double> x = speechlike_signal(fs);
    const encodesettings s = encodedefaults(fs);
    ASSERT_GT(pitchresampling(s.fs, s.lframe, 0, s.f0max).down, 1u) << fs;
    uint32_t latency = 0;
    const given g = streamed(x, s, 20, 160, 7, &latency);
    ASSERT_EQ(g.f0.size(), encodeframes(static_cast<uint32_t>(x.size()), s.lframe)) << fs;
    EXPECT_GT(latency, 20u * s.lframe) << fs;
    EXPECT_LT(latency, fs * 4 / 10) << fs;  // the copy's band-pass takes a longer transform above 16 kHz
    for (size_t k = 0; k < g.f0.size(); ++k) {
      const uint64_t needed = k * s.lframe + latency;
      if (needed + 160 <= x.size()) {
        ASSERT_LE(g.pushedat[k], needed + 160) << fs << " frame " << k;
      }
    }
  }
}
