// Features on the frame grid: the vocoder's own analyses at the grid's frame centres, the
// continuous log-F0, the energies of known signals and the voicing probability's threshold.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "framefeatures.h"
#include "framegrid.h"
#include "testsignals.h"
#include "velkcodec.h"

using namespace velk;

namespace {

// A pulse train of known (gliding) F0 through two resonances with noise 30 dB below, on the
// +-1 scale, between half a second of silence-level noise on either side.
std::vector<double> voicedsignal(double f0start, double f0end, double seconds, double fs) {
  const int n = static_cast<int>(seconds * fs), pad = static_cast<int>(0.5 * fs);
  std::vector<float> v = voiced_signal(f0start, f0end, n, fs);
  add_noise(v, 30.0, 7);
  std::vector<float> quiet = noise_signal(n + 2 * pad, 2.0, 11);
  std::vector<double> x(n + 2 * pad);
  for (size_t i = 0; i < x.size(); ++i) {
    const int j = static_cast<int>(i) - pad;
    x[i] = (quiet[i] + (j >= 0 && j < n ? v[j] : 0.0f)) / 32768.0;
  }
  return x;
}

// A second of every harmonic of f0 below fs / 2 at amplitude 0.5 / k (a band-limited sawtooth),
// with noise 30 dB below.
std::vector<double> harmonicsignal(double f0, double fs) {
  std::vector<double> x(static_cast<size_t>(fs));
  for (int k = 1; k * f0 < fs / 2; ++k)
    for (size_t i = 0; i < x.size(); ++i) x[i] += 0.5 / k * std::sin(2 * M_PI * k * f0 * i / fs);
  const std::vector<float> noise = noise_signal(static_cast<int>(x.size()), 0.01, 5);
  for (size_t i = 0; i < x.size(); ++i) x[i] += noise[i];
  return x;
}

struct computed {
  std::vector<double> f0, vuv, voicing, lf0, energy, cc, fv, margin;
  uint32_t frames = 0;
};

computed features(const std::vector<double>& x, const featuresettings& s) {
  computed c;
  c.frames = static_cast<uint32_t>(gridframes(s.grid, x.size()));
  for (auto* v : {&c.f0, &c.vuv, &c.voicing, &c.lf0, &c.energy, &c.fv, &c.margin}) v->assign(c.frames, -7.0);
  c.cc.assign(static_cast<size_t>(c.frames) * (featureccord(s.grid.fs) + 1), -7.0);
  featureoutputs out;
  out.f0 = c.f0.data();
  out.vuv = c.vuv.data();
  out.voicing = c.voicing.data();
  out.lf0 = c.lf0.data();
  out.energy = c.energy.data();
  out.cc = c.cc.data();
  out.fv = c.fv.data();
  out.margin = c.margin.data();
  EXPECT_EQ(computefeatures(x.data(), static_cast<uint32_t>(x.size()), s, c.frames, out), 0);
  return c;
}

TEST(FrameFeatures, OnTheEncodersGridTheyAreTheEncodersStreams) {
  // A centred grid whose hop is the encoder's frame shift has the encoder's frames and one more
  // when the length is a multiple of the hop: F0, cepstra and voiced frequencies are the same.
  for (uint32_t fs : {16000u, 22050u}) {
    featuresettings s;
    s.grid = {fs, defaultlframe(fs), 4 * defaultlframe(fs), true};
    std::vector<double> x = voicedsignal(110.0, 180.0, 1.0, fs);
    const computed c = features(x, s);
    encodesettings e = encodedefaults(fs);
    const uint32_t frames = encodeframes(static_cast<uint32_t>(x.size()), e.lframe);
    ASSERT_GE(c.frames, frames);
    std::vector<double> f0(frames), fv(frames), cc(static_cast<size_t>(frames) * (e.ccord + 1));
    ASSERT_EQ(encodesignal(x.data(), static_cast<uint32_t>(x.size()), e, frames, f0.data(), false, fv.data(),
                           cc.data(), nullptr),
              0);
    int voiced = 0;
    for (uint32_t t = 0; t < frames; ++t) {
      EXPECT_EQ(c.f0[t], f0[t]) << fs << " frame " << t;
      voiced += f0[t] > 0;
    }
    EXPECT_GT(voiced, static_cast<int>(0.4 * frames));
    EXPECT_EQ(std::vector<double>(c.cc.begin(), c.cc.begin() + cc.size()), cc) << fs;
    // The voiced frequencies' median filter reaches two frames back from the end.
    EXPECT_EQ(std::vector<double>(c.fv.begin(), c.fv.begin() + frames - 2),
              std::vector<double>(fv.begin(), fv.begin() + frames - 2));
  }
}

TEST(FrameFeatures, FlagsProbabilitiesAndLogF0FollowTheF0) {
  featuresettings s;
  s.grid = {22050, 256, 1024, true};
  const computed c = features(voicedsignal(120.0, 200.0, 1.2, 22050), s);
  int voiced = 0;
  for (uint32_t t = 0; t < c.frames; ++t) {
    EXPECT_EQ(c.vuv[t], c.f0[t] > 0 ? 1.0 : 0.0);
    EXPECT_EQ(c.voicing[t] > 0.5, c.f0[t] > 0) << t;
    EXPECT_GE(c.voicing[t], 0.0);
    EXPECT_LE(c.voicing[t], 1.0);
    if (c.f0[t] > 0) {
      EXPECT_EQ(c.lf0[t], std::log(c.f0[t]));
      EXPECT_NEAR(c.f0[t], 160.0, 45.0) << t;  // the glide's range, with a margin
      ++voiced;
    }
  }
  // Half a second of quiet on either side of 1.2 s of voice.
  EXPECT_NEAR(voiced, 1.2 * 22050 / 256, 8);
  EXPECT_LT(c.voicing[2], 0.1);
  EXPECT_GT(c.voicing[c.frames / 2], 0.9);
}

TEST(FrameFeatures, SingingFrequenciesUpTo2000HzAreTracked) {
  featuresettings s;
  s.grid = {44100, 512, 2048, true};
  s.f0min = 30.0;
  s.f0max = 2000.0;
  for (double f0 : {880.0, 1500.0, 1900.0}) {
    const computed c = features(harmonicsignal(f0, 44100), s);
    const uint32_t middle = c.frames / 2;
    for (uint32_t t = middle - 10; t <= middle + 10; ++t)
      EXPECT_NEAR(c.f0[t], f0, 0.02 * f0) << f0 << " " << t;
  }
}

TEST(FrameFeatures, AnUncentredGridIsTheCentredOneShiftedByHalfAWindow) {
  // Window 1024 = 2 * 2 hops of 256: uncentred frame t is centred where centred frame t + 2 is.
  const std::vector<double> x = voicedsignal(130.0, 170.0, 1.0, 22050);
  featuresettings centred, uncentred;
  centred.grid = {22050, 256, 1024, true};
  uncentred.grid = {22050, 256, 1024, false};
  const computed a = features(x, centred), b = features(x, uncentred);
  ASSERT_EQ(b.frames + 4, a.frames);  // 1 + N/256 against 1 + (N - 1024)/256
  int equal = 0;
  for (uint32_t t = 0; t < b.frames; ++t) {
    EXPECT_EQ(b.energy[t], a.energy[t + 2]) << t;
    equal += b.f0[t] == a.f0[t + 2];
  }
  // The dynamic programme sees two frames fewer at either end; inside, the tracks are the same.
  EXPECT_GE(equal, static_cast<int>(b.frames) - 4);
}

TEST(FrameFeatures, EnergyIsDecibelsOfTheMeanSquareOverTheWindow) {
  const double fs = 16000;
  std::vector<double> sine(16000), square(16000, 1.0);
  for (size_t i = 0; i < sine.size(); ++i) sine[i] = std::sin(2 * M_PI * 1000.0 * i / fs);
  for (size_t i = 1; i < square.size(); i += 2) square[i] = -1.0;
  framegrid g{16000, 160, 400, true};
  const uint32_t frames = static_cast<uint32_t>(gridframes(g, 16000));
  std::vector<double> e(frames);
  frameenergies(sine.data(), 16000, g, frames, e.data());
  EXPECT_NEAR(e[10], 10 * std::log10(0.5), 1e-9);  // a full-scale sine: -3.01 dB
  EXPECT_NEAR(e[0], 10 * std::log10(0.25), 1e-2);  // half its window before the signal
  frameenergies(square.data(), 16000, g, frames, e.data());
  EXPECT_NEAR(e[50], 0.0, 1e-12);
  std::vector<double> silence(16000, 0.0);
  frameenergies(silence.data(), 16000, g, frames, e.data());
  for (double v : e) EXPECT_EQ(v, featureenergyfloor);
}

TEST(FrameFeatures, ContinuousLogF0InterpolatesAndHoldsTheEnds) {
  const double f0[] = {0, 100, 0, 0, 800, 0, 0};
  double lf0[7];
  continuouslogf0(f0, 7, lf0);
  const double a = std::log(100.0), b = std::log(800.0);
  const double expected[] = {a, a, a + (b - a) / 3, a + 2 * (b - a) / 3, b, b, b};
  for (int t = 0; t < 7; ++t) EXPECT_NEAR(lf0[t], expected[t], 1e-12) << t;
  // 100 -> 800 Hz is three octaves: the frames between lie an octave apart.
  EXPECT_NEAR(std::exp(lf0[2]), 200.0, 1e-9);
  const double none[] = {0, 0, 0};
  double out[3] = {5, 5, 5};
  continuouslogf0(none, 3, out);
  for (double v : out) EXPECT_EQ(v, 0.0);
}

TEST(FrameFeatures, ProbabilityIsAboveOneHalfExactlyWhereVoicedAndGrowsWithTheMargin) {
  const double inf = std::numeric_limits<double>::infinity();
  double previous = 0.0;
  for (double m = -3.0; m <= 3.0; m += 0.01) {
    const bool voiced = m > 0;
    const double p = voicingprobability(m, voiced);
    EXPECT_EQ(p > 0.5, voiced) << m;
    EXPECT_GE(p, previous) << m;
    previous = p;
    // Islands the tracker removes after its path keep their decision.
    EXPECT_EQ(voicingprobability(m, !voiced) > 0.5, !voiced) << m;
  }
  EXPECT_EQ(voicingprobability(3.0, true), 1.0);
  EXPECT_LT(voicingprobability(-inf, false), 0.01);
  EXPECT_GT(voicingprobability(-inf, false), 0.0);
}

TEST(FrameFeatures, ShortSignalsAndRefusedSettings) {
  featuresettings s;
  s.grid = {22050, 256, 1024, true};
  const computed empty = features(std::vector<double>(), s);
  ASSERT_EQ(empty.frames, 1u);
  EXPECT_EQ(empty.f0[0], 0.0);
  EXPECT_EQ(empty.lf0[0], 0.0);
  EXPECT_EQ(empty.energy[0], featureenergyfloor);
  EXPECT_LE(empty.voicing[0], 0.5);
  featuresettings bad = s;
  bad.f0max = 11025.0;  // not below half the rate
  EXPECT_EQ(checkfeaturesettings(bad), -1);
  bad = s;
  bad.grid.hop = 0;
  EXPECT_EQ(checkfeaturesettings(bad), -1);
  bad = s;
  bad.grid.fs = 4000;
  EXPECT_EQ(checkfeaturesettings(bad), -1);
  std::vector<double> x(1000, 0.0), f0(5);
  featureoutputs out;
  out.f0 = f0.data();
  EXPECT_EQ(computefeatures(x.data(), 1000, bad, 5, out), -1);
  s.f0min = 30.0;
  s.f0max = 2000.0;
  EXPECT_EQ(checkfeaturesettings(s), 0);
}

}  // namespace
