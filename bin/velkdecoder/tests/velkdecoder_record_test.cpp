// The settings record of a parameter set: what velkcoder writes beside the streams, how
// velkdecoder reads a set by it (rate, frame shift, order, warping), the refusal of options and
// stream sizes that contradict it, and round trips at every rate and frame shift given nothing
// but the file names.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "childprocess.h"
#include "paramset.h"
#include "testfiles.h"
#include "testsignals.h"
#include "velkcodec.h"

using namespace velk;

namespace {

uint32_t field32(const std::string& bytes, size_t at) {
  uint32_t v = 0;
  for (size_t i = 4; i-- > 0;) v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
  return v;
}

std::string shortest(double v) {
  char text[32];
  snprintf(text, sizeof text, "%g", v);
  return text;
}

paramrecord recordof(const std::string& lf0) {
  paramrecord r;
  std::string problem;
  EXPECT_EQ(readparamrecord(paramrecordpath(lf0).c_str(), &r, &problem), 1) << problem;
  return r;
}

// A set encoded from a 22.05 kHz voice with a frame shift of 256 samples: the first case of the
// wrong decodings the record prevents.
class RecordedSet : public testing::Test {
 protected:
  void SetUp() override {
    x = harmonic_voice(22050, 0.6, 140.0);
    wav = dir.write("in.wav", wav_bytes(x, 1, 22050));
    const RunResult e = run_program(VELKCODER_PATH, {wav, f0, cc, fv, "--lframe=256"});
    ASSERT_EQ(e.status, 0) << e.out;
    ASSERT_EQ(e.out, "");
    frames = file_size(f0) / 4;
  }
  RunResult decode(std::vector<std::string> options) const {
    std::vector<std::string> args = {f0, cc, fv, out};
    args.insert(args.end(), options.begin(), options.end());
    return run_program(VELKDECODER_PATH, args);
  }
  TempDir dir;
  std::vector<int16_t> x;
  std::string wav, f0 = dir.path("k.lf0"), cc = dir.path("k.cc"), fv = dir.path("k.fv"),
                   out = dir.path("k.wav");
  long frames = 0;
};

TEST_F(RecordedSet, TheEncoderWritesTheRecordBesideTheStreams) {
  const paramrecord r = recordof(f0);
  EXPECT_EQ(r.fs, 22050u);
  EXPECT_EQ(r.lframe, 256u);
  EXPECT_EQ(static_cast<long>(r.frames), frames);
  EXPECT_EQ(r.ccord, defaultccord(22050));
  EXPECT_EQ(r.alpha, defaultalpha(22050));
  EXPECT_EQ(r.ccmeth, 1u);
  EXPECT_TRUE(r.morvscale);
  EXPECT_EQ(r.f0min, 60.0);
  EXPECT_EQ(r.f0max, 500.0);
  EXPECT_EQ(r.lf0, "k.lf0");
  EXPECT_EQ(r.cc, "k.cc");
  EXPECT_EQ(r.fv, "k.fv");
  EXPECT_EQ(file_size(cc), frames * (r.ccord + 1) * 4);
  EXPECT_EQ(r.ccord, 49u);
  // --record=0 leaves it out; a log-F0 stream on standard output has none either.
  const std::string other = dir.path("o.lf0");
  ASSERT_EQ(run_program(VELKCODER_PATH, {wav, other, dir.path("o.cc"), "--record=0"}).status, 0);
  EXPECT_EQ(file_size(paramrecordpath(other)), -1);
  const RunResult piped = run_program(VELKCODER_PATH, {wav, "/dev/stdout", dir.path("p.cc"), "--lframe=256"});
  EXPECT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(piped.out.size(), static_cast<size_t>(frames) * 4);
  EXPECT_EQ(piped.err, "");
}

// Streams written again without a record leave no record of the streams they replace beside
// them: a reader would take the new streams by the old settings.
TEST_F(RecordedSet, StreamsWrittenWithoutARecordRemoveTheEarlierOne) {
  const std::string record = paramrecordpath(f0);
  const RunResult e = run_program(VELKCODER_PATH, {wav, f0, cc, fv, "--record=0", "--fs=16000"});
  EXPECT_EQ(e.status, 0);
  const std::string resampled = "Warning: " + wav + ": 22050 Hz, 1 channel, 16-bit read as 16 kHz mono.\n";
  EXPECT_EQ(e.out, resampled + "Warning: " + record + " of earlier streams removed.\n");
  EXPECT_EQ(file_size(record), -1);
  const RunResult again = run_program(VELKCODER_PATH, {wav, f0, cc, fv, "--record=0", "--fs=16000"});
  EXPECT_EQ(again.out, resampled);
  const RunResult d = decode({});
  EXPECT_EQ(d.status, 0) << d.out;
  EXPECT_EQ(field32(file_contents(out), 24), 16000u);
}

// Decoded with nothing but the names, or with --fs at the analysis rate: the record's frame shift,
// so the output lasts as long as the input (within a frame), at its rate.
TEST_F(RecordedSet, TheDecoderReadsTheSetAsTheRecordSays) {
  for (const std::vector<std::string>& options :
       {std::vector<std::string>{}, {"--fs=22050"}, {"--lframe=256"}}) {
    const RunResult d = decode(options);
    ASSERT_EQ(d.status, 0) << d.out;
    EXPECT_EQ(d.out, "");
    const std::string bytes = file_contents(out);
    EXPECT_EQ(field32(bytes, 24), 22050u);
    EXPECT_EQ(bytes.size(), 44 + 2 * static_cast<size_t>((frames + 1) * 256 + 1));
  }
}

// Another output rate: synthesised at the record's rate, then resampled.
TEST_F(RecordedSet, AnotherOutputRateIsResampled) {
  ASSERT_EQ(decode({}).status, 0);
  const size_t native = (file_size(out) - 44) / 2;
  const RunResult d = decode({"--fs=16000"});
  ASSERT_EQ(d.status, 0) << d.out;
  EXPECT_EQ(d.out, "");
  const std::string bytes = file_contents(out);
  EXPECT_EQ(field32(bytes, 24), 16000u);
  const double seconds = (bytes.size() - 44) / 2 / 16000.0;
  EXPECT_NEAR(seconds, native / 22050.0, 1.0 / 16000);
}

TEST_F(RecordedSet, OptionsThatContradictTheRecordAreRefused) {
  const std::string record = paramrecordpath(f0);
  const std::pair<std::string, std::string> cases[] = {
      {"--lframe=110", "Error: --lframe=110 contradicts " + record + ", which gives lframe 256.\n"},
      {"--ccord=24", "Error: --ccord=24 contradicts " + record + ", which gives ccord 49.\n"},
      {"--alpha=0.42", "Error: --alpha=0.42 contradicts " + record + ", which gives alpha " +
                           shortest(defaultalpha(22050)) + ".\n"},
      {"--morvscale=0", "Error: --morvscale=0 contradicts " + record + ", which gives morvscale 1.\n"},
  };
  for (const auto& c : cases) {
    const RunResult d = decode({c.first});
    EXPECT_EQ(d.status, 1) << c.first;
    EXPECT_EQ(d.out, c.second);
    EXPECT_EQ(file_size(out), -1) << c.first;
  }
}

TEST_F(RecordedSet, StreamsThatDisagreeWithTheRecordAreRefused) {
  const std::string record = paramrecordpath(f0);
  const std::string whole = file_contents(cc);
  dir.write("k.cc", whole.substr(0, whole.size() - 50 * 4));
  RunResult d = decode({});
  EXPECT_EQ(d.status, 1);
  EXPECT_EQ(d.out, "Error: " + f0 + " does not fit " + record + ": " + cc + " holds " +
                       std::to_string((frames - 1) * 50) + " values, not the " + std::to_string(frames * 50) +
                       " of " + std::to_string(frames) + " frames of order 49.\n");
  EXPECT_EQ(file_size(out), -1);
  // Read from a pipe, the log-F0 stream is counted once read.
  dir.write("k.cc", whole);
  const std::string lf0 = file_contents(f0);
  const std::string shorter = dir.write("short.lf0", lf0.substr(0, lf0.size() - 4));
  d = run_program("/bin/sh", {"-c", "cat '" + shorter + "' | '" + VELKDECODER_PATH + "' /dev/stdin '" + cc +
                                        "' '" + out + "'"});
  EXPECT_EQ(d.status, 1);
  dir.write("k.lf0.json", "[]");
  d = decode({});
  EXPECT_EQ(d.status, 1);
  EXPECT_EQ(d.out, "Error: " + record + ": not a JSON object.\n");
}

// Every set of an index list has its own record, and the decoder reads each set by it.
TEST(RecordedSets, EverySetOfAnIndexListHasItsRecord) {
  TempDir dir;
  dir.write("a1.wav", wav_bytes(harmonic_voice(22050, 0.3, 150.0), 1, 22050));
  dir.write("a2.wav", wav_bytes(harmonic_voice(8000, 0.3, 150.0), 1, 8000));
  ASSERT_EQ(run_program(VELKCODER_PATH, {dir.path("a?.wav"), dir.path("a?.lf0"), dir.path("a?.cc"),
                                         dir.path("a?.fv"), "--indlist=1-2"})
                .status,
            0);
  EXPECT_EQ(recordof(dir.path("a1.lf0")).fs, 22050u);
  EXPECT_EQ(recordof(dir.path("a2.lf0")).fs, 8000u);
  ASSERT_EQ(run_program(VELKDECODER_PATH, {dir.path("a?.lf0"), dir.path("a?.cc"), dir.path("a?.fv"),
                                           dir.path("o?.wav"), "--indlist=1-2"})
                .status,
            0);
  EXPECT_EQ(field32(file_contents(dir.path("o1.wav")), 24), 22050u);
  EXPECT_EQ(field32(file_contents(dir.path("o2.wav")), 24), 8000u);
}

// Every rate and frame shift: a set written by the encoder and read back by the decoder given
// nothing but the names restores the rate exactly and the duration within one frame (beside the
// synthesis grid's lead-in of one frame).
// (rate, frame shift), a shift of 0 standing for the rate's default.
class RoundTrips : public testing::TestWithParam<std::tuple<unsigned, unsigned>> {};

TEST_P(RoundTrips, RestoreRateAndDuration) {
  const struct { unsigned fs, lframe; } t = {std::get<0>(GetParam()), std::get<1>(GetParam())};
  TempDir dir;
  const std::vector<int16_t> x = harmonic_voice(t.fs, 0.3, 160.0);
  const std::string wav = dir.write("in.wav", wav_bytes(x, 1, t.fs));
  std::vector<std::string> args = {wav, dir.path("s.lf0"), dir.path("s.cc"), dir.path("s.fv")};
  if (t.lframe != 0) args.push_back("--lframe=" + std::to_string(t.lframe));
  ASSERT_EQ(run_program(VELKCODER_PATH, args).status, 0);
  const RunResult d = run_program(VELKDECODER_PATH,
                                  {dir.path("s.lf0"), dir.path("s.cc"), dir.path("s.fv"), dir.path("o.wav")});
  ASSERT_EQ(d.status, 0) << d.out;
  EXPECT_EQ(d.out, "");
  const std::string bytes = file_contents(dir.path("o.wav"));
  EXPECT_EQ(field32(bytes, 24), t.fs);
  const unsigned lframe = t.lframe != 0 ? t.lframe : defaultlframe(t.fs);
  // Synthesis frame k lies at (k + 1) x lframe: after that one frame of lead-in, the output
  // lasts as long as the input, within a frame.
  const double samples = (bytes.size() - 44) / 2.0 - lframe;
  EXPECT_LE(std::fabs(samples - x.size()), lframe) << samples << " of " << x.size();
}

INSTANTIATE_TEST_SUITE_P(EveryRateAndShift, RoundTrips,
                         testing::Combine(testing::Values(8000u, 11025u, 16000u, 22050u, 24000u, 32000u,
                                                          44100u, 48000u),
                                          testing::Values(0u, 256u, 100u)),
                         [](const testing::TestParamInfo<std::tuple<unsigned, unsigned>>& info) {
                           return std::to_string(std::get<0>(info.param)) + "Hz_shift" +
                                  std::to_string(std::get<1>(info.param));
                         });

}  // namespace
