// Runs the encoder program and checks its exact output, exit status and written streams.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "argumenterror.h"
#include "childprocess.h"
#include "testfiles.h"

namespace {

RunResult velkcoder(const std::vector<std::string>& args) {
  return run_program(VELKCODER_PATH, args);
}

void writewav(const std::string& path, const std::vector<int16_t>& samples, uint32_t channels = 1,
              uint32_t rate = 16000, uint32_t bits = 16) {
  write_file(path, wav_bytes(samples, channels, rate, bits));
}

const char* const helptext =
    "\n"
    "  +----------------------------------------------------+\n"
    "  |  velk vocoder - speech analysis into parameters    |\n"
    "  +----------------------------------------------------+\n"
    "\n"
    "  === VELKCODER16 v0.99 ===\n"
    "\n"
    "  Harmonic-model analysis: log-F0, warped cepstra and\n"
    "  maximum voiced frequency, written by the velk developers.\n"
    "\n"
    "  Usage:\n"
    "   velkcoder filein filef0 filecc filefv [params]\n"
    "\n"
    "  Arguments:\n"
    "   filein: input wav file (mono 16kHz 16bits)\n"
    "           or any sound file libsndfile reads, mixed to mono,\n"
    "           analysed at its own rate from 8000 to 48000 Hz\n"
    "   filef0: output file for logf0\n"
    "   filecc: output file for cepstral coeffs.\n"
    "   filefv: output file for max. voiced freq.\n"
    "\n"
    "  Optional parameters and default values:\n"
    "   --lframe=80     Frame shift (samples)\n"
    "   --ccord=39      Order of the cepstral representation\n"
    "   --ccmeth=1      0: harmonics + interpolation + mcep\n"
    "                   1: harmonics + mel-rdc\n"
    "                   2: quasi-harmonics + mel-rdc\n"
    "                   3: complementary windows + liftering + mcep\n"
    "                   4: seevoc + mcep\n"
    "   --f0min=60      Lowest detectable pitch (Hz)\n"
    "   --f0max=500     Highest detectable pitch (Hz)\n"
    "   --f0acc=0       f0 refinement iterations using qhm [0...5]\n"
    "   --f0load=0      Load+overwrite external logf0 file\n"
    "   --fs=0          Analysis rate (Hz, 8000...48000); 0: the file's own rate\n"
    "                   (lframe, ccord and alpha default by the rate)\n"
    "   --record=1      Write the settings record filef0.json beside the streams\n"
    "   --alpha=0.42    All-pass warping factor (-1...1, default by the rate)\n"
    "   --morvscale=1   Range-adapt the cepstra (1) or not (0)\n"
    "   --zfill=160     Dither runs of more equal samples than this\n"
    "   --cctimeit=0    Time this many runs of the cepstral analysis\n"
    "   --indlist=LIST  Numbered series of file sets, e.g. 1-3,7\n"
    "\n"
    "\n";

TEST(VelkcoderCli, NoArgumentsPrintsTheHelpText) {
  const RunResult r = velkcoder({});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, helptext);
}

TEST(VelkcoderCli, ArgumentErrorsExitWith255) {
  const std::vector<std::vector<std::string>> cases = {
      {"a.wav"},
      {"a.wav", "f0"},
      {"a.wav", "f0", "--lframe=80"},                       // two file names
      {"a.wav", "--lframe=80", "f0", "cc"},                 // option before a file name
      {"a.wav", "f0", "cc", "fv", "extra"},                 // five file names
      {"a.wav", "f0", "cc", "--lframe=80", "--lframe=40"},  // repeated option
      {"a.wav", "f0", "cc", "--frame=80"},                  // unknown option
      {"a.wav", "f0", "cc", "--lframe=fast"},               // value that does not parse
      {"a.wav", "f0", "cc", "--lframe"},                    // no value
      {"a.wav", "f0", "cc", "--ccord=20", "word"},          // plain word in the option region
      {"a.wav", "f0", "cc", "--alpha=1"},                   // warping factor out of range
      {"a.wav", "f0", "cc", "--alpha=-1.5"},
      {"a.wav", "f0", "cc", "--alpha=nan"},
      {"a.wav", "f0", "cc", "--lframe=0"},
      {"a.wav", "f0", "cc", "--lframe=-80"},
      {"a.wav", "f0", "cc", "--lframe=3000000000"},
      {"a.wav", "f0", "cc", "--ccord=-1"},
      {"a.wav", "f0", "cc", "--cctimeit=-1"},
      {"a.wav", "f0", "cc", "--f0min=inf"},
      {"a.wav", "f0", "cc", "--f0max=-5"},
  };
  for (const auto& args : cases) {
    const RunResult r = velkcoder(args);
    EXPECT_EQ(r.status, 255) << args.back();
    EXPECT_TRUE(refusesargument(r.out, "velkcoder")) << args.back() << r.out;
  }
  for (const char* list :
       {"--indlist=3-1", "--indlist=1,1", "--indlist=a", "--indlist=1-3(", "--indlist=12(1)"}) {
    const RunResult r = velkcoder({"a???.wav", "f0", "cc", list, "--unknown=1"});
    EXPECT_EQ(r.status, 255) << list;
    EXPECT_EQ(r.out, "Error: bad formatted indlist.\n") << list;
  }
}

TEST(VelkcoderCli, AcceptedOptionsReachTheFileSet) {
  const std::string p = testdir(), wav = p + "missing.wav";
  const std::vector<std::vector<std::string>> cases = {
      {wav, p + "f0", p + "cc", "--LFRAME=40", "--Alpha=0.3", "--ccmeth=4", "--f0acc=-2", "--zfill=-1"},
      {wav, p + "f0", p + "cc", p + "fv", "--morvscale=0", "--f0min=70", "--f0max=400", "--cctimeit=0",
       "--f0load=1", "--ccord=24", "--alpha=-0.99"},
  };
  for (const auto& args : cases) {
    const RunResult r = velkcoder(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Error: could not open " + wav + ".\nError: " + wav + ": no such file.\n");
  }
  EXPECT_FALSE(file_exists(p + "f0"));
}

// Files in other formats are converted (see velkcoder_input_test); these hold no sound at all.
TEST(VelkcoderCli, RejectedWavFilesWriteNothing) {
  const std::string p = testdir();
  writewav(p + "empty.wav", {});
  std::ofstream(p + "text.wav") << "this is not a wav file";
  for (const char* name : {"empty.wav", "text.wav"}) {
    const RunResult r = velkcoder({p + name, p + "f0", p + "cc", p + "fv"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.rfind("Error: could not open " + p + name + ".\nError: " + p + name + ": ", 0), 0u)
        << r.out;
  }
  EXPECT_FALSE(file_exists(p + "f0") || file_exists(p + "cc") || file_exists(p + "fv"));
}

TEST(VelkcoderCli, IndexListWritesOneSetPerIndex) {
  const std::string p = testdir();
  for (const char* index : {"001", "003"}) writewav(p + "a" + index + ".wav", steady_voice(1.0, 200.0));
  const RunResult r = velkcoder({p + "a???.wav", p + "f0_???", p + "cc_???", "--indlist=1-3(3)"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, p + "a001.wav\n" + p + "a002.wav\nError: could not open " + p + "a002.wav.\nError: " + p +
                       "a002.wav: no such file.\n" + p + "a003.wav\nError: 1 of 3 file sets failed.\n");
  EXPECT_EQ(file_contents(p + "cc_001").size(), 200u * 40 * 4);
  EXPECT_EQ(file_contents(p + "cc_001"), file_contents(p + "cc_003"));
  EXPECT_FALSE(file_exists(p + "cc_002"));
}

// The list is checked against the names before the first set: an index too wide for a
// placeholder, or a name without one, refuses the whole list with one message.
TEST(VelkcoderCli, IndexTooWideForAPlaceholderRefusesTheList) {
  const std::string p = testdir();
  const RunResult r = velkcoder({p + "s?.wav", p + "f0_??", p + "cc_?", "--indlist=9-10"});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out, "Error: index 10 does not fit the name " + p + "s?.wav.\n");
  const RunResult none = velkcoder({p + "plain.wav", p + "f0_?", p + "cc_?", "--indlist=1"});
  EXPECT_EQ(none.status, 255);
  EXPECT_EQ(none.out, "Error: " + p + "plain.wav has no index placeholder.\n");
}

class VelkcoderStreams : public testing::Test {
 protected:
  void SetUp() override {
    p = testdir();
    wav = p + "voice.wav";
    writewav(wav, steady_voice(1.0, 200.0));
    for (const char* ext : {"f0", "cc", "fv"}) remove((p + ext).c_str());
  }
  // Encodes the voice into p + "f0", "cc" and "fv" with the extra options.
  RunResult encode(const std::vector<std::string>& extra, bool withfv = true) {
    std::vector<std::string> args = {wav, p + "f0", p + "cc"};
    if (withfv) args.push_back(p + "fv");
    args.insert(args.end(), extra.begin(), extra.end());
    return velkcoder(args);
  }
  std::string p, wav;
};

TEST_F(VelkcoderStreams, OneSecondGives200FramesAndLogF0OfLn200) {
  EXPECT_EQ(encode({}, false).out, "");
  EXPECT_FALSE(file_exists(p + "fv"));
  EXPECT_EQ(file_contents(p + "cc").size(), 200u * 40 * 4);
  const RunResult r = encode({});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  const std::vector<float> fv = floats_of(file_contents(p + "fv"));
  ASSERT_EQ(fv.size(), 200u);
  for (float v : fv) EXPECT_TRUE(v >= 0 && v <= 8000) << v;
  std::vector<double> voiced;
  for (float v : floats_of(file_contents(p + "f0"))) {
    if (v > -1e10f)
      voiced.push_back(std::exp(static_cast<double>(v)));
    else
      EXPECT_EQ(v, -1e10f);
  }
  ASSERT_GT(voiced.size(), 160u);
  std::nth_element(voiced.begin(), voiced.begin() + voiced.size() / 2, voiced.end());
  EXPECT_NEAR(voiced[voiced.size() / 2], 200.0, 6.0);
}

TEST_F(VelkcoderStreams, FrameShiftAndOrderSetTheSizes) {
  encode({"--lframe=160", "--ccord=24"});
  EXPECT_EQ(file_contents(p + "f0").size(), 100u * 4);
  EXPECT_EQ(file_contents(p + "fv").size(), 100u * 4);
  EXPECT_EQ(file_contents(p + "cc").size(), 100u * 25 * 4);
}

TEST_F(VelkcoderStreams, RangeAdaptationMethodBitsAndRefinementCap) {
  encode({"--morvscale=0"});
  const std::vector<float> plain = floats_of(file_contents(p + "cc"));
  const std::string plainbytes = file_contents(p + "cc");
  EXPECT_EQ(encode({"--morvscale=2"}).status, 255);  // not a range-scale value
  EXPECT_EQ(file_contents(p + "cc"), plainbytes);
  encode({});
  const std::vector<float> adapted = floats_of(file_contents(p + "cc"));
  ASSERT_EQ(adapted.size(), 8000u);
  for (size_t i = 0; i < plain.size(); ++i) {
    const double expected = i % 40 == 0 ? plain[i] + 5.0 : 2.0 * plain[i];
    ASSERT_NEAR(adapted[i], expected, 1e-5 * (1 + std::fabs(expected))) << i;
  }
  EXPECT_EQ(encode({"--ccmeth=259"}).status, 255);  // no method, not its low byte 3
  encode({"--f0acc=5"});
  const std::string five = file_contents(p + "f0");
  encode({"--f0acc=9"});
  EXPECT_EQ(file_contents(p + "f0"), five);
  encode({"--f0acc=-1"});
  EXPECT_EQ(file_contents(p + "f0"), five);
}

TEST_F(VelkcoderStreams, LoadedLogF0SetsTheFramesAndIsRewrittenOnlyWhenNeeded) {
  std::vector<float> shorter(150, -1e10f);
  std::fill(shorter.begin() + 20, shorter.begin() + 120, std::log(180.0f));
  write_file(p + "f0", float_bytes(shorter));
  EXPECT_EQ(encode({"--f0load=1"}).out, "");
  EXPECT_EQ(floats_of(file_contents(p + "f0")), shorter);  // kept as it was
  EXPECT_EQ(file_contents(p + "cc").size(), 150u * 40 * 4);
  EXPECT_EQ(floats_of(file_contents(p + "fv")).size(), 150u);
  EXPECT_EQ(floats_of(file_contents(p + "fv"))[5], 0.0f);  // unvoiced in the loaded track

  std::vector<float> longer(250, -1e10f);  // mostly unvoiced, unlike what the analysis would find
  for (size_t i = 0; i < 250; i += 50) longer[i] = std::log(120.0f);
  write_file(p + "f0", float_bytes(longer));
  encode({"--f0load=1"});
  const std::vector<float> rewritten = floats_of(file_contents(p + "f0"));
  ASSERT_EQ(rewritten.size(), 200u);
  for (size_t i = 0; i < 200; ++i) ASSERT_NEAR(rewritten[i], longer[i], 1e-6 * std::fabs(longer[i])) << i;

  write_file(p + "f0", float_bytes(std::vector<float>(150, std::log(195.0f))));  // 2.5 % off the true 200 Hz
  encode({"--f0load=1", "--f0acc=3"});
  const std::vector<float> refined = floats_of(file_contents(p + "f0"));
  ASSERT_EQ(refined.size(), 150u);
  for (size_t i = 10; i < 140; ++i) EXPECT_NEAR(std::exp(refined[i]), 200.0, 1.0) << i;  // clear of the edges

  write_file(p + "f0", float_bytes({}));
  EXPECT_EQ(encode({"--f0load=1"}).out, "Warning: " + p + "f0 holds no log-F0 values; the F0 is analysed.\n");
  EXPECT_EQ(floats_of(file_contents(p + "f0")).size(), 200u);
}

// A set is written whole or not at all: when one stream fails, the others and the settings
// record are not written and each is named.
TEST_F(VelkcoderStreams, FailedWritesAreReportedAndTheSetLeftAsItWas) {
  write_file(p + "f0", "old f0");
  const RunResult full = velkcoder({wav, p + "f0", "/dev/full", p + "fv"});
  EXPECT_EQ(full.status, 1);
  EXPECT_EQ(full.out, "Error: could not create /dev/full.\nWarning: " + p +
                          "f0 not written: its set failed.\n" + "Warning: " + p +
                          "fv not written: its set failed.\n" + "Warning: " + p +
                          "f0.json not written: its set failed.\n");
  EXPECT_EQ(file_contents(p + "f0"), "old f0");
  EXPECT_FALSE(file_exists(p + "fv"));
  const std::string nodir = p + "missing-dir/f0";
  const RunResult missing = velkcoder({wav, nodir, p + "cc"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, "Error: could not create " + nodir + ".\nError: could not create " + nodir +
                             ".json.\nWarning: " + p + "cc not written: its set failed.\n");
  EXPECT_FALSE(file_exists(p + "cc"));
}

TEST_F(VelkcoderStreams, TimedRunsPrintTheTimeAndGiveTheSameCepstra) {
  encode({});
  const std::string once = file_contents(p + "cc");
  const RunResult r = encode({"--cctimeit=2"});
  ASSERT_EQ(r.out.rfind("Time: ", 0), 0u) << r.out;
  EXPECT_EQ(r.out.find('\n'), r.out.size() - 1);
  EXPECT_GE(std::stoi(r.out.substr(6)), 0);
  EXPECT_EQ(file_contents(p + "cc"), once);
}

TEST_F(VelkcoderStreams, ConstantRunsAreDitheredAndReported) {
  std::vector<int16_t> x = steady_voice(1.0, 200.0);
  std::fill(x.begin() + 6000, x.begin() + 6161, 0);  // 161 equal samples
  writewav(wav, x);
  EXPECT_EQ(encode({}).out, "Warning: zeros in " + wav + " have been filled with noise.\n");
  EXPECT_EQ(file_contents(p + "cc").size(), 200u * 40 * 4);
  for (const char* option : {"--zfill=0", "--zfill=161", "--zfill=-1"})
    EXPECT_EQ(encode({option}).out, "") << option;
}

}  // namespace
