// Whole-signal pipelines and the call-owned noise generator.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <thread>
#include <vector>

#include "ccanalysis.h"
#include "pitchanalysis.h"
#include "spectralanalysis.h"
#include "velkcodec.h"

using namespace velk;

namespace {

// A vowel-like harmonic signal at 16 kHz with a stretch of digital silence in the middle.
std::vector<double> vowelwithsilence(uint32_t n, double f0) {
  std::vector<double> x(n, 0.0);
  for (uint32_t t = 0; t < n; ++t) {
    if (t > n / 3 && t < n / 2) continue;
    for (int h = 1; h <= 20; ++h)
      x[t] += 0.3 / h * std::cos(2 * M_PI * h * f0 * t / velksamplingrate + 0.2 * h);
  }
  return x;
}

struct encoded {
  std::vector<double> f0, fv, cc;
};

encoded encode(std::vector<double> x, const encodesettings& s) {
  const uint32_t frames = encodeframes(static_cast<uint32_t>(x.size()), s.lframe);
  encoded e{std::vector<double>(frames), std::vector<double>(frames),
            std::vector<double>(getccsize(frames, s.ccord))};
  int dithered = 0;
  EXPECT_EQ(encodesignal(x.data(), static_cast<uint32_t>(x.size()), s, frames, e.f0.data(), false,
                         e.fv.data(), e.cc.data(), &dithered),
            0);
  EXPECT_EQ(dithered, 1);
  return e;
}

}  // namespace

TEST(NoiseGen, DrawsTheSequenceOfTheCLibraryGeneratorForTheSameSeed) {
  for (unsigned seed : {0u, 1u, 7u, 12345u}) {
    noisegen g(seed);
    srand(seed);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(noisegenrand(&g), rand()) << "seed " << seed << " draw " << i;
  }
}

TEST(NoiseGen, GaussianDeviatesComeInPairsFromOneGenerator) {
  noisegen a(3), b(3);
  std::vector<double> first(6), second(6);
  for (double& v : first) v = gaussrand(&a);
  for (double& v : second) v = gaussrand(&b);
  EXPECT_EQ(first, second);
  // The polar method's accepted pair from the first draws of the generator.
  noisegen raw(3);
  double u1, u2, s;
  do {
    u1 = 2.0 * noisegenrand(&raw) / 2147483647.0 - 1.0;
    u2 = 2.0 * noisegenrand(&raw) / 2147483647.0 - 1.0;
    s = u1 * u1 + u2 * u2;
  } while (s >= 1.0 || s == 0.0);
  const double m = std::sqrt(-2.0 * std::log(s) / s);
  EXPECT_EQ(first[0], u1 * m);
  EXPECT_EQ(first[1], u2 * m);
}

TEST(PadZeros, DithersOnlyRunsLongerThanTheThresholdAndAlwaysTheSameWay) {
  std::vector<double> x(1000, 0.25);
  for (uint32_t t = 0; t < 500; ++t) x[t] = 0.001 * (t % 7);
  std::vector<double> y = x;
  EXPECT_EQ(padzeros(x.data(), 1000, 499), 1);
  EXPECT_EQ(padzeros(y.data(), 1000, 499), 1);
  EXPECT_EQ(x, y);
  for (uint32_t t = 0; t < 500; ++t) EXPECT_EQ(x[t], 0.001 * (t % 7));
  uint32_t moved = 0;
  for (uint32_t t = 500; t < 1000; ++t) moved += x[t] != 0.25;
  EXPECT_EQ(moved, 500u);
  std::vector<double> z(1000, 0.0);
  EXPECT_EQ(padzeros(z.data(), 1000, 1000), 0);
  EXPECT_EQ(padzeros(z.data(), 1000, 0), 0);
  EXPECT_EQ(z, std::vector<double>(1000, 0.0));
}

TEST(EncodeSignal, GivesTheSameStreamsWhateverRanBeforeAndInOtherThreads) {
  const std::vector<double> x = vowelwithsilence(16000, 123.0);
  encodesettings s;
  const encoded alone = encode(x, s);
  encoded inthreads[2];
  std::thread a([&] { inthreads[0] = encode(x, s); });
  std::thread b([&] { inthreads[1] = encode(x, s); });
  a.join();
  b.join();
  for (const encoded& e : inthreads) {
    EXPECT_EQ(e.f0, alone.f0);
    EXPECT_EQ(e.fv, alone.fv);
    EXPECT_EQ(e.cc, alone.cc);
  }
  uint32_t voiced = 0;
  for (double f : alone.f0) voiced += std::fabs(f - 123.0) < 3.0;
  EXPECT_GT(voiced, alone.f0.size() / 2);
}

TEST(EncodeSignal, AGivenTrackIsUsedAsItIs) {
  std::vector<double> x = vowelwithsilence(8000, 150.0);
  encodesettings s;
  s.zfill = 0;
  const uint32_t frames = 40;  // a given track shorter than the signal's 101 frames
  std::vector<double> f0(frames, 150.0), cc(getccsize(frames, s.ccord));
  ASSERT_EQ(encodesignal(x.data(), 8000, s, frames, f0.data(), true, nullptr, cc.data(), nullptr), 0);
  EXPECT_EQ(f0, std::vector<double>(frames, 150.0));
  for (double c : cc) ASSERT_TRUE(std::isfinite(c));
}

TEST(PrepareDecode, HoldsFactorsInRangeAndDerivesShiftAndAlpha) {
  decodesettings d;
  d.fpitch = 0.1;
  d.fdur = std::nan("");
  d.fwarp = 1.0;
  ASSERT_EQ(preparedecode(&d), 0);
  EXPECT_EQ(d.fpitch, 0.25);
  EXPECT_EQ(d.fdur, 4.0);
  EXPECT_EQ(d.shift, 320u);
  EXPECT_DOUBLE_EQ(d.synthesisalpha, (0.42 - 0.99) / (1 - 0.99 * 0.42));
  EXPECT_EQ(decodedlength(10, d), 11u * 320 + 1);
  EXPECT_FALSE(d.filtersdisabled);

  decodesettings other;
  other.alpha = 0.3;
  other.fpfilt = 0.5;
  ASSERT_EQ(preparedecode(&other), 0);
  EXPECT_TRUE(other.filtersdisabled);
  EXPECT_EQ(other.fpfilt, 0.0);

  decodesettings unusable;
  unusable.lframe = 1;
  unusable.fdur = 0.5;  // 0.5 samples truncate to no shift
  EXPECT_EQ(preparedecode(&unusable), -1);
  decodesettings unstable;
  unstable.alpha = 1.0;
  EXPECT_EQ(preparedecode(&unstable), -1);
}

TEST(DecodeStreams, CopySynthesisOfAVowelKeepsItsPitchAndIsRepeatable) {
  const std::vector<double> x = vowelwithsilence(16000, 140.0);
  encodesettings s;
  encoded e = encode(x, s);
  const uint32_t frames = static_cast<uint32_t>(e.f0.size());
  f02logf0(frames, e.f0.data());
  decodesettings d;
  ASSERT_EQ(preparedecode(&d), 0);
  const uint64_t n = decodedlength(frames, d);
  std::vector<double> y1(n), y2(n);
  std::vector<double> lf0 = e.f0, cc = e.cc;
  ASSERT_EQ(decodestreams(lf0.data(), cc.data(), e.fv.data(), frames, s.ccord, d, y1.data(), n), 0);
  lf0 = e.f0;
  cc = e.cc;
  ASSERT_EQ(decodestreams(lf0.data(), cc.data(), e.fv.data(), frames, s.ccord, d, y2.data(), n), 0);
  EXPECT_EQ(y1, y2);
  // The pitch of the synthesised vowel is the analysed one.
  std::vector<double> f0(frames);
  ASSERT_EQ(
      getpitch(y1.data(), static_cast<uint32_t>(n), velksamplingrate, 80, 0, frames, 60, 500, f0.data()), 0);
  uint32_t near = 0;
  for (uint32_t k = 0; k < 60; ++k) near += std::fabs(f0[k] - 140.0) < 4.0;
  EXPECT_GT(near, 45u);
}

namespace {

// The silenced frames of a synthesis of flat cepstra with c0 = 1000 at frames 10 to 12, every
// frame voiced at 140 Hz or every frame unvoiced.
silencedsamples overflowsilenced(bool voiced, std::vector<double>* out) {
  const uint32_t frames = 30, order = 39;
  std::vector<double> lf0(frames, voiced ? std::log(140.0) : -1e10), fv(frames, voiced ? 4000.0 : 0.0);
  std::vector<double> cc(getccsize(frames, order), 0.0);
  for (uint32_t k = 0; k < frames; ++k) cc[getccsize(k, order)] = k >= 10 && k <= 12 ? 1000.0 : -3.0;
  decodesettings d;
  d.morvscale = false;
  EXPECT_EQ(preparedecode(&d), 0);
  out->assign(decodedlength(frames, d), 1.0);
  silencedsamples silenced;
  EXPECT_EQ(decodestreams(lf0.data(), cc.data(), fv.data(), frames, order, d, out->data(),
                          static_cast<uint32_t>(out->size()), &silenced),
            0);
  return silenced;
}

}  // namespace

// Cepstra that overflow are made silent and reported by frame, voiced frames as unvoiced ones.
TEST(DecodeStreams, OverflowingFramesAreSilentAndReportedVoicedOrNot) {
  for (bool voiced : {true, false}) {
    std::vector<double> y;
    const silencedsamples silenced = overflowsilenced(voiced, &y);
    EXPECT_NE(silenced.samples, 0u) << voiced;
    EXPECT_EQ(silenced.firstframe, 10u) << voiced;
    EXPECT_LE(silenced.lastframe, 13u) << voiced;
    EXPECT_GE(silenced.lastframe, 12u) << voiced;
    for (double v : y) ASSERT_TRUE(std::isfinite(v));
    double quiet = 0, sound = 0;  // the overflowing frames' centres are silent, the others not
    for (uint32_t j = 11 * 80 + 40; j < 12 * 80 + 40; ++j) quiet = std::max(quiet, std::fabs(y[j]));
    for (uint32_t j = 20 * 80; j < 21 * 80; ++j) sound = std::max(sound, std::fabs(y[j]));
    EXPECT_EQ(quiet, 0.0) << voiced;
    EXPECT_GT(sound, 0.0) << voiced;
  }
}

// Frames holding a NaN or an infinite value are silent and named as the overflowing ones are;
// a log-F0 of -inf is an unvoiced frame, not a corrupt one.
TEST(DecodeStreams, CorruptFramesAreSilentAndReported) {
  const uint32_t frames = 20, order = 39;
  std::vector<double> lf0(frames, std::log(140.0)), fv(frames, 4000.0);
  std::vector<double> cc(getccsize(frames, order), 0.0);
  for (uint32_t k = 0; k < frames; ++k) cc[getccsize(k, order)] = -3.0;
  cc[getccsize(5, order) + 2] = NAN;
  fv[8] = HUGE_VAL;
  lf0[12] = -HUGE_VAL;
  decodesettings d;
  d.morvscale = false;
  ASSERT_EQ(preparedecode(&d), 0);
  std::vector<double> y(decodedlength(frames, d));
  silencedsamples silenced;
  ASSERT_EQ(decodestreams(lf0.data(), cc.data(), fv.data(), frames, order, d, y.data(),
                          static_cast<uint32_t>(y.size()), &silenced),
            0);
  EXPECT_EQ(silenced.firstframe, 5u);
  EXPECT_EQ(silenced.lastframe, 8u);
  EXPECT_EQ(silenced.samples, 2 * d.shift);
}
