// Runs the decoder program on synthetic and real parameter streams and checks its messages,
// exit statuses, output lengths and the effect of every modification.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "argumenterror.h"
#include "childprocess.h"
#include "testfiles.h"

namespace {

RunResult decode(const std::vector<std::string>& args) {
  return run_program(VELKDECODER_PATH, args);
}

// Samples of a WAV file written by the decoder (44-byte header).
std::vector<int16_t> wavsamples(const std::string& path) {
  const std::string bytes = file_contents(path);
  std::vector<int16_t> s(bytes.size() < 44 ? 0 : (bytes.size() - 44) / 2);
  std::copy(bytes.begin() + 44, bytes.begin() + 44 + 2 * s.size(), reinterpret_cast<char*>(s.data()));
  return s;
}

const float unvoiced = -1e10f;

// 100 frames: 20 unvoiced, 60 voiced cycling through log-F0 4.5, 5, 5.5 (mean 5), 20 unvoiced.
std::vector<float> pitchtrack() {
  std::vector<float> lf0(100, unvoiced);
  for (int k = 20; k < 80; ++k) lf0[k] = 4.5f + 0.5f * static_cast<float>(k % 3);
  return lf0;
}

// Order-39 cepstra of a smooth vowel-like envelope, as the decoder reads them with morvscale 0;
// a level whose synthesis stays inside the 16-bit range (no clipping warning).
std::vector<float> rawcepstra(int frames) {
  std::vector<float> cc(static_cast<size_t>(frames) * 40, 0.0f);
  for (int k = 0; k < frames; ++k) {
    cc[40 * k] = -7.0f;
    cc[40 * k + 1] = 0.5f;
    cc[40 * k + 2] = -0.25f;
  }
  return cc;
}

// The same cepstra in the encoder's range-adapted form (c0 + 5, the rest doubled; exact here).
std::vector<float> adaptedcepstra(int frames) {
  std::vector<float> cc = rawcepstra(frames);
  for (size_t i = 0; i < cc.size(); ++i) cc[i] = i % 40 == 0 ? cc[i] + 5.0f : 2.0f * cc[i];
  return cc;
}

class Decoder : public testing::Test {
 protected:
  const std::string dir = testdir();
  const std::string f0 = dir + "track.lf0", cc = dir + "track.cc", out = dir + "out.wav";
  void SetUp() override {
    write_file(f0, float_bytes(pitchtrack()));
    write_file(cc, float_bytes(adaptedcepstra(100)));
  }
  // Output of a decoding of the standard streams with extra options; empty when it failed.
  std::string decoded(const std::vector<std::string>& options, const std::string& lf0path = "") {
    std::vector<std::string> args{lf0path.empty() ? f0 : lf0path, cc, out};
    args.insert(args.end(), options.begin(), options.end());
    std::remove(out.c_str());
    const RunResult r = decode(args);
    EXPECT_EQ(r.status, 0);
    return file_contents(out);
  }
};

TEST(DecoderCommandLine, HelpTextWithoutArguments) {
  const RunResult r = decode({});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.find("\n"), 0u);
  EXPECT_NE(r.out.find("\n  === VELKDECODER16 v0.99 ===\n\n"), std::string::npos);
  EXPECT_NE(r.out.find("\n  Usage:\n   velkdecoder filef0 filecc filefv fileout [params]\n\n  Arguments:\n"),
            std::string::npos);
  EXPECT_NE(r.out.find("   --fdur=1.0      Duration modification factor [0.25...4]\n"), std::string::npos);
  // Every option the program takes is listed.
  for (const char* option :
       {"--lframe=", "--fs=", "--fpitch=", "--fvpitch=", "--fdur=", "--fwarp=", "--floud=", "--fpfilt=",
        "--fdrc=", "--wavnorm=", "--alpha=", "--ccord=", "--morvscale=", "--indlist="})
    EXPECT_NE(r.out.find(std::string("\n   ") + option), std::string::npos) << option;
  const std::string tail = "   --wavnorm=0     Adapt wav amplitude to available range\n\n\n";
  EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
}

TEST(DecoderCommandLine, ArgumentErrorsExitWith255) {
  const std::vector<std::vector<std::string>> bad = {{"a"},
                                                     {"a", "b"},
                                                     {"a", "b", "c", "--fpitch=2", "--fpitch=3"},
                                                     {"a", "b", "c", "--bogus=1"},
                                                     {"a", "b", "c", "d", "e"},
                                                     {"a", "b", "--fdur=2"},
                                                     {"a", "b", "c", "--lframe=0"},
                                                     {"a", "b", "c", "--lframe=1", "--fdur=0.25"},
                                                     {"a", "b", "c", "--lframe=3", "--fdur=0.1"},
                                                     {"a", "b", "c", "--alpha=1"},
                                                     {"a", "b", "c", "--alpha=nan"}};
  for (const auto& args : bad) {
    const RunResult r = decode(args);
    EXPECT_EQ(r.status, 255) << args.back();
    EXPECT_TRUE(refusesargument(r.out, "velkdecoder")) << args.back() << r.out;
  }
  const RunResult r = decode({"a", "b", "c", "--indlist=3-1"});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out, "Error: bad formatted indlist.\n");
}

TEST_F(Decoder, OutputLengthFollowsFrameCountAndDurationFactor) {
  const std::vector<std::pair<std::vector<std::string>, size_t>> cases = {
      {{}, 8081},
      {{"--fdur=2"}, 16161},
      {{"--fdur=0.1"}, 2021},
      {{"--fdur=nan"}, 32321},
      {{"--lframe=40"}, 4041},
      {{"--lframe=1", "--fdur=1.5"}, 102}};
  for (const auto& c : cases) {
    const std::string wav = decoded(c.first);
    ASSERT_GE(wav.size(), 44u);
    EXPECT_EQ(wav.size(), 44 + 2 * c.second);
    uint32_t databytes;
    std::copy(wav.begin() + 40, wav.begin() + 44, reinterpret_cast<char*>(&databytes));
    EXPECT_EQ(databytes, 2 * c.second);
  }
}

// The list is checked against the names before the first set: one message for the whole list.
TEST(DecoderCommandLine, IndexTooWideForAPlaceholderRefusesTheList) {
  const std::string dir = testdir();
  write_file(dir + "v2_09.lf0",
             float_bytes(pitchtrack()));  // the digit before the '?' run is not the placeholder
  write_file(dir + "v2_09.cc", float_bytes(adaptedcepstra(100)));
  const RunResult r = decode({dir + "v2_??.lf0", dir + "v2_??.cc", dir + "o?.wav", "--indlist=9-10"});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out, "Error: index 10 does not fit the name " + dir + "o?.wav.\n");
  EXPECT_FALSE(file_exists(dir + "o9.wav") || file_exists(dir + "o1.wav") || file_exists(dir + "o0.wav"));
}

TEST_F(Decoder, FactorsOutsideTheirRangeTakeTheBound) {
  const std::string plain = decoded({});
  EXPECT_NE(decoded({"--fpitch=0.25"}), plain);
  EXPECT_EQ(decoded({"--fpitch=0.1"}), decoded({"--fpitch=0.25"}));
  EXPECT_EQ(decoded({"--fpitch=nan"}), decoded({"--fpitch=4"}));
  EXPECT_EQ(decoded({"--fwarp=1"}), decoded({"--fwarp=0.99"}));
  EXPECT_EQ(decoded({"--fpfilt=-0.5"}), plain);
}

TEST_F(Decoder, VocalTractFactorChainsTwoAllPassWarpings) {
  const double chained = (0.42 - 0.1) / (1 - 0.1 * 0.42);
  EXPECT_NEAR(chained, 0.334029227557411, 1e-14);
  char alpha[64];
  snprintf(alpha, sizeof alpha, "--alpha=%.17g", chained);
  const std::string warped = decoded({"--fwarp=0.1"});
  EXPECT_EQ(warped, decoded({alpha}));
  EXPECT_NE(warped, decoded({}));
}

TEST_F(Decoder, FiltersNeedTheirAlphaAndWarnOnce) {
  std::vector<std::string> args{dir + "t??.lf0", dir + "t??.cc", dir + "o??.wav",
                                "--alpha=0.35",  "--floud=1",    "--indlist=1-2"};
  for (const char* set : {"01", "02"}) {
    write_file(dir + "t" + set + ".lf0", float_bytes(pitchtrack()));
    write_file(dir + "t" + set + ".cc", float_bytes(adaptedcepstra(100)));
  }
  RunResult r = decode(args);
  EXPECT_EQ(r.out, "Warning: floud, fpfilt and fdrc not applicable for this alpha.\n" + dir + "o01.wav\n" +
                       dir + "o02.wav\n");
  EXPECT_EQ(file_contents(dir + "o01.wav"), decoded({"--alpha=0.35"}));
  r = decode({f0, cc, out, "--alpha=0.35", "--floud=0", "--fpfilt=0", "--fdrc=0"});
  EXPECT_EQ(r.out, "");
  const std::string plain = decoded({});
  for (const char* filter : {"--floud=1", "--fpfilt=0.5", "--fdrc=0.5"}) EXPECT_NE(decoded({filter}), plain);
}

TEST_F(Decoder, ZeroPitchRangeGivesTheGeometricMean) {
  std::vector<float> flat = pitchtrack();
  for (float& v : flat)
    if (v > unvoiced) v = 5.0f;  // the mean of 4.5, 5 and 5.5
  write_file(dir + "flat.lf0", float_bytes(flat));
  const std::string flattened = decoded({"--fvpitch=0"});
  EXPECT_EQ(flattened, decoded({}, dir + "flat.lf0"));
  EXPECT_NE(flattened, decoded({}));
}

TEST_F(Decoder, UnadaptedCepstraReadAsTheyAre) {
  write_file(dir + "raw.cc", float_bytes(rawcepstra(100)));
  const std::string adapted = decoded({});
  std::remove(out.c_str());
  EXPECT_EQ(decode({f0, dir + "raw.cc", out, "--morvscale=0"}).out, "");
  EXPECT_EQ(file_contents(out), adapted);
}

TEST_F(Decoder, CepstralOrderFromValueCounts) {
  std::vector<float> lf0 = pitchtrack();
  std::remove(out.c_str());
  EXPECT_EQ(decode({f0, cc, out}).out, "");  // 4000 values over 100 frames: order 39
  EXPECT_EQ(wavsamples(out).size(), 8081u);
  lf0.push_back(unvoiced);
  write_file(dir + "101.lf0", float_bytes(lf0));
  const std::string none = dir + "none.wav";
  RunResult r = decode({dir + "101.lf0", cc, none});
  EXPECT_EQ(r.out, "Error: " + dir + "101.lf0 and " + cc + " have incompatible dimensions.\n");
  EXPECT_EQ(r.status, 1);
  write_file(dir + "short.cc", float_bytes(std::vector<float>(99, 0.0f)));
  EXPECT_EQ(decode({f0, dir + "short.cc", none}).out,
            "Error: " + f0 + " and " + dir + "short.cc have incompatible dimensions.\n");
  EXPECT_EQ(decode({dir + "missing.lf0", cc, none}).out, "Error: could not open " + dir + "missing.lf0.\n");
  EXPECT_EQ(decode({f0, dir + "missing.cc", none}).out, "Error: could not open " + dir + "missing.cc.\n");
  struct stat st;
  EXPECT_NE(stat(none.c_str(), &st), 0);
}

TEST_F(Decoder, VoicedFrequencyTrackNeedsAValuePerFrame) {
  std::vector<float> fv(120, 3000.0f);
  fv[50] = 6000.0f;
  fv[110] = 100.0f;  // beyond the frames: ignored
  write_file(dir + "long.fv", float_bytes(fv));
  fv.resize(100);
  write_file(dir + "exact.fv", float_bytes(fv));
  fv.resize(90);
  write_file(dir + "short.fv", float_bytes(fv));
  const std::string exact = dir + "exact.wav", other = dir + "other.wav";
  EXPECT_EQ(decode({f0, cc, dir + "exact.fv", exact}).out, "");
  EXPECT_EQ(decode({f0, cc, dir + "long.fv", other}).out, "");
  EXPECT_EQ(file_contents(other), file_contents(exact));
  EXPECT_NE(file_contents(exact), decoded({}));
  EXPECT_EQ(decode({f0, cc, dir + "short.fv", other}).out,
            "Warning: " + f0 + " and " + dir + "short.fv have incompatible dimensions.\n");
  EXPECT_EQ(file_contents(other), decoded({}));
  EXPECT_EQ(decode({f0, cc, dir + "nofv", other}).out, "Warning: could not open " + dir + "nofv.\n");
  EXPECT_EQ(file_contents(other), decoded({}));
}

TEST_F(Decoder, UnwritableOutputIsReported) {
  for (const std::string& target : {std::string("/dev/full"), dir}) {
    const RunResult r = decode({f0, cc, target});
    EXPECT_EQ(r.out, "Error: could not create " + target + ".\n");
    EXPECT_EQ(r.status, 1);
  }
}

TEST_F(Decoder, SameInputSameBytesAndNormalisedPeak) {
  const std::string first = decoded({"--fpitch=1.3", "--fdrc=0.5"});
  EXPECT_EQ(decoded({"--fpitch=1.3", "--fdrc=0.5"}), first);
  decoded({"--wavnorm=1"});
  int peak = 0;
  for (int16_t s : wavsamples(out)) peak = std::max(peak, std::abs(static_cast<int>(s)));
  EXPECT_EQ(peak, 32440);  // 0.99 of full scale
}

TEST_F(Decoder, CorruptFramesAreSilentAndIsolated) {
  std::vector<float> lf0 = pitchtrack(), cepstra = adaptedcepstra(100);
  lf0[50] = INFINITY;
  write_file(dir + "inf.lf0", float_bytes(lf0));
  cepstra[40 * 50] = INFINITY;
  write_file(dir + "inf.cc", float_bytes(cepstra));
  decode({dir + "inf.lf0", cc, out, "--fvpitch=0.5", "--fdrc=1"});
  const std::string infinite = file_contents(out);
  decode({f0, dir + "inf.cc", out, "--fvpitch=0.5", "--fdrc=1"});
  EXPECT_EQ(file_contents(out), infinite);
  // Frame 50 spans samples 4000..4159; only its neighbours reach in, with weights 0 at 4080.
  const std::vector<int16_t> s = wavsamples(out);
  ASSERT_EQ(s.size(), 8081u);
  EXPECT_EQ(s[4080], 0);
  EXPECT_NE(s[4000], 0);
}

TEST(DecoderSpeech, KeepsAndModifiesTheF0OfRealSpeech) {
  const std::string dir = testdir(), wav = std::string(VELK_SAMPLES_DIR) + "/en_vm-deleted.wav";
  const std::string lf0 = dir + "s.lf0", cc = dir + "s.cc", fv = dir + "s.fv", out = dir + "s.wav";
  ASSERT_EQ(run_program(VELKCODER_PATH, {wav, lf0, cc, fv}).status, 0);
  const std::vector<float> input = floats_of(file_contents(lf0));
  // Share of frames voiced in both whose F0 ratio (output over input times `factor`) is within 5 %.
  auto agreement = [&](const std::vector<std::string>& options, double factor) {
    std::vector<std::string> args{lf0, cc, fv, out};
    args.insert(args.end(), options.begin(), options.end());
    EXPECT_EQ(decode(args).out, "");
    EXPECT_EQ(run_program(VELKCODER_PATH, {out, dir + "r.lf0", dir + "r.cc"}).status, 0);
    const std::vector<float> output = floats_of(file_contents(dir + "r.lf0"));
    int both = 0, close = 0;
    for (size_t k = 0; k + 1 < output.size() && k < input.size(); ++k) {
      if (input[k] <= unvoiced || output[k + 1] <= unvoiced)
        continue;  // synthesis frame k is centred one shift later
      ++both;
      close += std::fabs(std::exp(output[k + 1] - input[k]) / factor - 1) < 0.05;
    }
    EXPECT_GT(both, static_cast<int>(input.size()) / 2);
    return static_cast<double>(close) / both;
  };
  EXPECT_GE(agreement({}, 1.0), 0.9);
  EXPECT_GE(agreement({"--fpitch=1.5"}, 1.5), 0.9);
}

}  // namespace
