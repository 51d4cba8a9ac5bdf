// Streaming synthesis against the whole-stream synthesis: the same samples, bit for bit, for any
// split of the frames into pushes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "ccanalysis.h"
#include "streamdecode.h"
#include "testsignals.h"
#include "velkcodec.h"

using namespace velk;

namespace {

struct streams {
  std::vector<double> lf0, cc, fv;
  uint32_t frames = 0;
  uint32_t order = 0;
};

// Speech-like streams at fs (speechlike_signal: voices, noise, digital silence), encoded; then one
// frame made corrupt (a NaN cepstrum) and one with an F0 the synthesis takes as unvoiced, so that
// the silent and unvoiced paths run too.
streams encodedstreams(uint32_t fs) {
  std::vector<double> signal = speechlike_signal(fs);

  const encodesettings s = encodedefaults(fs);
  streams st;
  st.frames = encodeframes(static_cast<uint32_t>(signal.size()), s.lframe);
  st.order = s.ccord;
  st.lf0.resize(st.frames);
  st.fv.resize(st.frames);
  st.cc.resize(getccsize(st.frames, st.order));
  EXPECT_EQ(encodesignal(signal.data(), static_cast<uint32_t>(signal.size()), s, st.frames, st.lf0.data(),
                         false, st.fv.data(), st.cc.data(), nullptr),
            0);
  for (double& v : st.lf0) v = v > 0 ? std::log(v) : -1e10;
  st.cc[getccsize(st.frames / 3, st.order) + 2] = NAN;
  st.lf0[st.frames / 5] = std::log(2000.0);
  return st;
}

std::vector<double> batch(streams st, const decodesettings& s, bool withfv, silencedsamples* silenced) {
  std::vector<double> out(decodedlength(st.frames, s));
  EXPECT_EQ(decodestreams(st.lf0.data(), st.cc.data(), withfv ? st.fv.data() : nullptr, st.frames, st.order,
                          s, out.data(), static_cast<uint32_t>(out.size()), silenced),
            0);
  return out;
}

// Block sizes covering `frames` frames: all ones when `ones`, else random sizes from 1 to 40.
std::vector<uint32_t> split(uint32_t frames, bool ones, std::mt19937* gen) {
  std::vector<uint32_t> sizes;
  std::uniform_int_distribution<uint32_t> size(1, 40);
  for (uint32_t done = 0; done < frames;) {
    const uint32_t n = ones ? 1 : std::min(size(*gen), frames - done);
    sizes.push_back(n);
    done += n;
  }
  return sizes;
}

// The survey stages the settings need, each over the frames in the given blocks.
decodesurvey survey(const streams& st, const decodesettings& s, bool withfv,
                    const std::vector<uint32_t>& blocks) {
  decodesurvey sv;
  for (uint8_t stage : {SURVEY_FRAMES, SURVEY_C0}) {
    if (!(decodesurveyneeds(s, withfv) & stage)) continue;
    uint32_t k = 0;
    for (uint32_t n : blocks) {
      EXPECT_EQ(decodesurveyadd(&sv, stage, s, st.order, &st.lf0[k], &st.cc[getccsize(k, st.order)],
                                withfv ? &st.fv[k] : nullptr, n),
                0);
      k += n;
    }
    decodesurveyclose(&sv, stage);
  }
  return sv;
}

// Pushes the frames in the given blocks and flushes; the samples in order.
std::vector<double> streamed(const streams& st, const decodesettings& s, bool withfv,
                             const std::vector<uint32_t>& blocks, silencedsamples* silenced) {
  const decodesurvey sv = survey(st, s, withfv, blocks);
  int status = 1;
  streamdecoder* d = streamdecodercreate(s, st.order, withfv, &sv, &status);
  EXPECT_EQ(status, 0);
  if (!d) return {};
  EXPECT_EQ(streamdecoderlatency(d), s.shift);
  std::vector<double> out;
  uint32_t k = 0;
  for (uint32_t n : blocks) {
    std::vector<double> part(static_cast<size_t>(n) * s.shift, NAN);
    EXPECT_EQ(streamdecoderpush(d, &st.lf0[k], &st.cc[getccsize(k, st.order)], withfv ? &st.fv[k] : nullptr,
                                n, part.data()),
              0);
    out.insert(out.end(), part.begin(), part.end());
    k += n;
  }
  std::vector<double> tail(s.shift + 1, NAN);
  EXPECT_EQ(streamdecoderflush(d, tail.data()), 0);
  EXPECT_EQ(streamdecoderflush(d, tail.data()), -1);
  EXPECT_EQ(streamdecoderpush(d, st.lf0.data(), st.cc.data(), st.fv.data(), 1, tail.data()), -1);
  out.insert(out.end(), tail.begin(), tail.end());
  EXPECT_EQ(streamdecoderframes(d), st.frames);
  *silenced = streamdecodersilenced(d);
  streamdecoderdestroy(d);
  return out;
}

// Compares the streamed samples with the batch ones bit for bit (memcmp also tells -0 from 0).
void expectsameoutput(const streams& st, decodesettings s, bool withfv, unsigned seed) {
  ASSERT_EQ(preparedecode(&s), 0);
  silencedsamples whole;
  const std::vector<double> expected = batch(st, s, withfv, &whole);
  std::mt19937 gen(seed);
  for (int trial = 0; trial < 4; ++trial) {
    const std::vector<uint32_t> blocks = split(st.frames, trial == 0, &gen);
    silencedsamples silenced;
    const std::vector<double> got = streamed(st, s, withfv, blocks, &silenced);
    ASSERT_EQ(got.size(), expected.size()) << "trial " << trial;
    EXPECT_EQ(std::memcmp(got.data(), expected.data(), got.size() * sizeof(double)), 0) << "trial " << trial;
    EXPECT_EQ(silenced.samples, whole.samples);
    EXPECT_EQ(silenced.firstframe, whole.firstframe);
    EXPECT_EQ(silenced.lastframe, whole.lastframe);
  }
}

decodesettings modified(uint32_t fs) {
  decodesettings s = decodedefaults(fs);
  s.fpitch = 1.3;
  s.fvpitch = 0.5;
  s.fdur = 1.7;
  s.fwarp = 0.1;
  return s;
}

}  // namespace

TEST(StreamDecode, EqualsWholeSynthesisAt16kHzForAnySplit) {
  const streams st = encodedstreams(16000);
  ASSERT_GT(st.frames, 100u);
  expectsameoutput(st, decodedefaults(16000), true, 1);
  expectsameoutput(st, decodedefaults(16000), false, 2);
  decodesettings s = modified(16000);
  s.floud = 1.0;
  s.fpfilt = 0.4;
  s.fdrc = 0.6;
  expectsameoutput(st, s, true, 3);
  expectsameoutput(st, s, false, 4);
}

TEST(StreamDecode, EqualsWholeSynthesisAt22kHzForAnySplit) {
  const streams st = encodedstreams(22050);
  expectsameoutput(st, decodedefaults(22050), true, 5);
  expectsameoutput(st, modified(22050), true, 6);
  expectsameoutput(st, modified(22050), false, 7);
}

TEST(StreamDecode, SilencedSamplesAreReportedAsTheWholeSynthesisReportsThem) {
  streams st = encodedstreams(16000);
  // c0 = 1000 overflows the envelope: the synthesis of that frame is not finite.
  st.cc[getccsize(st.frames / 2, st.order)] = 1000;
  decodesettings s = decodedefaults(16000);
  ASSERT_EQ(preparedecode(&s), 0);
  silencedsamples whole;
  batch(st, s, true, &whole);
  ASSERT_GT(whole.samples, 0u);
  expectsameoutput(st, s, true, 8);
}

// The frames left out of the synthesis are named on both paths: the corrupt one (a NaN cepstrum
// at frames / 3) and a voiced one whose harmonics overflow (c0 = 1000), which makes no sample
// that is not finite.
TEST(StreamDecode, SilentFramesAreNamedOnBothPaths) {
  streams st = encodedstreams(16000);
  uint32_t voiced = st.frames / 2;
  while (voiced < st.frames && !(st.lf0[voiced] > std::log(100.0) && st.fv[voiced] > 1000)) ++voiced;
  ASSERT_LT(voiced, st.frames);
  st.cc[getccsize(voiced, st.order)] = 1000;
  decodesettings s = decodedefaults(16000);
  ASSERT_EQ(preparedecode(&s), 0);
  silencedsamples whole;
  batch(st, s, true, &whole);
  EXPECT_EQ(whole.firstframe, st.frames / 3);
  EXPECT_EQ(whole.lastframe, voiced);
  EXPECT_EQ(whole.samples, 2 * s.shift);
  expectsameoutput(st, s, true, 9);
}

TEST(StreamDecode, RefusesSettingsThatNeedASurveyItHasNotHad) {
  const streams st = encodedstreams(16000);
  decodesettings s = decodedefaults(16000);
  s.fvpitch = 0.5;
  ASSERT_EQ(preparedecode(&s), 0);
  EXPECT_EQ(decodesurveyneeds(s, true), SURVEY_FRAMES);
  EXPECT_EQ(decodesurveyneeds(s, false), SURVEY_FRAMES | SURVEY_C0);
  int status = 0;
  EXPECT_EQ(streamdecodercreate(s, st.order, true, nullptr, &status), nullptr);
  EXPECT_EQ(status, STREAMDECODE_UNSURVEYED);

  // The c0 range needs the mean log-F0 first; with it, but without the range, no record either.
  decodesurvey sv;
  EXPECT_EQ(decodesurveyadd(&sv, SURVEY_C0, s, st.order, st.lf0.data(), st.cc.data(), nullptr, st.frames),
            -1);
  EXPECT_EQ(decodesurveyadd(&sv, SURVEY_FRAMES, s, st.order, st.lf0.data(), st.cc.data(), nullptr, st.frames),
            0);
  decodesurveyclose(&sv, SURVEY_FRAMES);
  EXPECT_EQ(streamdecodercreate(s, st.order, false, &sv, &status), nullptr);
  EXPECT_EQ(status, STREAMDECODE_UNSURVEYED);
  EXPECT_EQ(decodesurveyadd(&sv, SURVEY_FRAMES | SURVEY_C0, s, st.order, st.lf0.data(), st.cc.data(), nullptr,
                            st.frames),
            -1);
  streamdecoder* d = streamdecodercreate(s, st.order, true, &sv, &status);
  ASSERT_NE(d, nullptr);
  // A record made for a voicing stream takes no frames without one.
  std::vector<double> out(s.shift);
  EXPECT_EQ(streamdecoderpush(d, st.lf0.data(), st.cc.data(), nullptr, 1, out.data()), -1);
  EXPECT_EQ(streamdecoderpush(d, st.lf0.data(), st.cc.data(), st.fv.data(), 1, out.data()), 0);
  streamdecoderdestroy(d);

  decodesettings unprepared = decodedefaults(16000);
  EXPECT_EQ(streamdecodercreate(unprepared, st.order, true, nullptr, &status), nullptr);
  EXPECT_EQ(status, STREAMDECODE_BADSETTINGS);
}

TEST(StreamDecode, NoFramesGiveTheSilentTailOfTheWholeSynthesis) {
  decodesettings s = decodedefaults(16000);
  ASSERT_EQ(preparedecode(&s), 0);
  streamdecoder* d = streamdecodercreate(s, 39, true, nullptr, nullptr);
  ASSERT_NE(d, nullptr);
  std::vector<double> tail(s.shift + 1, 1.0);
  EXPECT_EQ(streamdecoderflush(d, tail.data()), 0);
  EXPECT_EQ(tail, std::vector<double>(decodedlength(0, s), 0.0));
  streamdecoderdestroy(d);
}
