// The encoder on hostile command lines and files: values that do not parse whole or lie outside
// what the analysis handles, outputs that are an input, writes that fail part-way, loaded log-F0
// streams that are empty or out of range, and index lists too large for their names.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

#include "argumenterror.h"
#include "childprocess.h"
#include "vocoderfiles.h"

namespace {

RunResult velkcoder(const std::vector<std::string>& args, const RunSettings& how = RunSettings()) {
  return run_program(VELKCODER_PATH, args, how);
}

class VelkcoderRefusals : public testing::Test {
 protected:
  void SetUp() override { wav = dir.write("in.wav", wav_bytes(steady_voice(1.0, 150.0))); }
  // The names of the directory's entries, sorted.
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    const std::string listing = dir.path(".listing");
    std::system(("ls -A '" + dir.dir() + "' > '" + listing + "'").c_str());
    std::string all = file_contents(listing), line;
    for (char c : all) {
      if (c != '\n') {
        line += c;
      } else if (line != ".listing") {
        names.push_back(line);
        line.clear();
      } else {
        line.clear();
      }
    }
    return names;
  }
  TempDir dir;
  std::string wav;
};

// A value must make up its whole text and fit its type: 1e308 is not the frame shift 1, 8x0 not
// 8, 3.5 not the order 3. Each is an argument error and nothing is written.
TEST_F(VelkcoderRefusals, ValuesThatDoNotParseWholeAreArgumentErrors) {
  for (const char* option : {"--lframe=1e308", "--lframe=8x0", "--ccord=3.5", "--ccord=39 ", "--zfill=1e3",
                             "--f0min=60Hz", "--alpha=0.42.1", "--f0max=1e400", "--lframe=4294967376"}) {
    const RunResult r = velkcoder({wav, dir.path("f0"), dir.path("cc"), option});
    EXPECT_EQ(r.status, 255) << option;
    EXPECT_TRUE(refusesargument(r.out, "velkcoder", option + std::string(":"))) << option << r.out;
    EXPECT_FALSE(file_exists(dir.path("cc"))) << option;
  }
}

// Enumerated options accept only their values; the program used to run method 0 for 5 and
// method 4 for 260 (its low byte), and to leave the cepstra unadapted for a range scale of 2.
TEST_F(VelkcoderRefusals, EnumeratedOptionsOutsideTheirSetAreArgumentErrors) {
  for (const char* option :
       {"--ccmeth=5", "--ccmeth=-1", "--ccmeth=260", "--morvscale=2", "--morvscale=-1"}) {
    const RunResult r = velkcoder({wav, dir.path("f0"), dir.path("cc"), option});
    EXPECT_EQ(r.status, 255) << option;
    EXPECT_TRUE(refusesargument(r.out, "velkcoder", option + std::string(":"))) << option << r.out;
  }
}

// Pitch limits of 0 used to become the defaults, crossed limits gave all-unvoiced streams, and
// a floor of 0.001 Hz asked for a 2.4 GB transform; an order of 3000 takes hours.
TEST_F(VelkcoderRefusals, PitchLimitsAndOrderOutsideTheirBoundsAreArgumentErrors) {
  const std::vector<std::vector<std::string>> cases = {{"--f0min=0"},
                                                       {"--f0max=0"},
                                                       {"--f0min=300", "--f0max=200"},
                                                       {"--f0min=100", "--f0max=100"},
                                                       {"--f0min=0.001"},
                                                       {"--f0min=19.9"},
                                                       {"--f0min=nan"},
                                                       {"--f0max=inf"},
                                                       {"--ccord=3000"},
                                                       {"--ccord=-1"},
                                                       {"--lframe=0"},
                                                       {"--alpha=1"},
                                                       {"--f0max=24000"},  // at or above every rate's half
                                                       {"--ccord=2048"},  // beyond every rate's highest order
                                                       {"--cctimeit=-1"}};
  for (const auto& options : cases) {
    std::vector<std::string> args = {wav, dir.path("f0"), dir.path("cc")};
    args.insert(args.end(), options.begin(), options.end());
    const RunResult r = velkcoder(args, limits(60, kChildMemoryLimit, 0));
    EXPECT_EQ(r.status, 255) << options[0];
    EXPECT_TRUE(refusesargument(r.out, "velkcoder")) << options[0] << r.out;
  }
}

// The pitch ceiling and the order that a file's rate cannot carry are refused for that file, with
// the value and the bound, before anything is written; at a higher rate they are accepted.
TEST_F(VelkcoderRefusals, PitchCeilingAndOrderBeyondTheFilesRateAreRefused) {
  struct Case {
    std::vector<std::string> options;
    std::string message;
  } cases[] = {
      {{"--f0max=8000"}, "f0max 8000 Hz is not below 8000 Hz, half the rate 16000 Hz."},
      {{"--f0max=8000.5"}, "f0max 8000.5 Hz is not below 8000 Hz, half the rate 16000 Hz."},
      {{"--ccord=512"}, "ccord 512 exceeds 511, the highest order at 16000 Hz."},
      {{"--fs=8000", "--f0max=4000"}, "f0max 4000 Hz is not below 4000 Hz, half the rate 8000 Hz."},
      {{"--fs=22050", "--ccord=1024"}, "ccord 1024 exceeds 1023, the highest order at 22050 Hz."},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {wav, dir.path("f0"), dir.path("cc")};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const RunResult r = velkcoder(args, limits(60, kChildMemoryLimit, 0));
    EXPECT_EQ(r.status, 1) << c.options[0];
    EXPECT_EQ(r.out, "Error: " + wav + ": " + c.message + "\n") << c.options[0];
    EXPECT_EQ(entries(), std::vector<std::string>{"in.wav"}) << c.options[0];
  }
  const RunResult r =
      velkcoder({wav, dir.path("f0"), dir.path("cc"), "--fs=48000", "--f0max=8000", "--ccord=512"},
                limits(60, kChildMemoryLimit, 0));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(file_size(dir.path("cc")), 200 * 513 * 4);
}

// A rate outside 8 to 48 kHz is refused with the range before any file is read.
TEST_F(VelkcoderRefusals, ARateOutsideTheRangeIsRefused) {
  for (const char* option : {"--fs=7999", "--fs=48001", "--fs=-16000"}) {
    const RunResult r = velkcoder({wav, dir.path("f0"), dir.path("cc"), option});
    EXPECT_EQ(r.status, 255) << option;
    const std::string range =
        "Error: " + std::string(option) + " lies outside the supported rates, 8000 to 48000 Hz.\n";
    EXPECT_EQ(r.out.substr(0, range.size()), range) << option;
    EXPECT_TRUE(refusesargument(r.out.substr(range.size()), "velkcoder", "--fs")) << r.out;
    EXPECT_EQ(entries(), std::vector<std::string>{"in.wav"}) << option;
  }
}

// A WAV file whose header says 1 Hz (32 kB of samples that would resample to gigabytes) is
// refused before its samples are read, with its rate and the lowest rate.
TEST_F(VelkcoderRefusals, AFileBelowTheLowestRateIsRefusedBeforeAnyWork) {
  const std::string onehertz = dir.write("1hz.wav", wav_bytes(steady_voice(1.0, 150.0), 1, 1));
  for (const char* rate : {"--fs=0", "--fs=16000"}) {
    const RunResult r =
        velkcoder({onehertz, dir.path("f0"), dir.path("cc"), rate}, limits(10, kChildMemoryLimit, 0));
    EXPECT_EQ(r.status, 1) << rate;
    EXPECT_EQ(r.out, "Error: could not open " + onehertz + ".\nError: " + onehertz +
                         ": sampling rate 1 Hz below the lowest supported, 8000 Hz.\n")
        << rate;
    EXPECT_EQ(entries(), (std::vector<std::string>{"1hz.wav", "in.wav"})) << rate;
  }
}

TEST_F(VelkcoderRefusals, TheBoundsThemselvesAreAccepted) {
  const RunResult r = velkcoder({wav, dir.path("f0"), dir.path("cc"), "--f0min=20", "--f0max=7999.9",
                                 "--ccord=511", "--ccmeth=4", "--morvscale=0"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(file_size(dir.path("cc")), 200 * 512 * 4);
}

// An output that is the input (by name, through a symlink or a hard link) or another output is
// refused before anything is written; the input keeps its bytes.
TEST_F(VelkcoderRefusals, AnOutputThatIsTheInputOrAnotherOutputIsRefused) {
  const std::string original = file_contents(wav);
  ASSERT_EQ(symlink(wav.c_str(), dir.path("link.wav").c_str()), 0);
  ASSERT_EQ(link(wav.c_str(), dir.path("hard.wav").c_str()), 0);
  for (const std::string& alias :
       {wav, dir.path("link.wav"), dir.path("hard.wav"), dir.dir() + "/./in.wav"}) {
    const RunResult r = velkcoder({wav, dir.path("f0"), alias, dir.path("fv")});
    EXPECT_TRUE(r.exited) << alias;
    EXPECT_EQ(r.out, "Error: " + alias + " would overwrite the input " + wav + ".\n") << alias;
    EXPECT_EQ(file_contents(wav), original) << alias;
    EXPECT_FALSE(file_exists(dir.path("f0")) || file_exists(dir.path("fv"))) << alias;
  }
  const RunResult twice = velkcoder({wav, dir.path("f0"), dir.path("cc"), dir.path("cc")});
  EXPECT_EQ(twice.out, "Error: " + dir.path("cc") + " would overwrite the output " + dir.path("cc") + ".\n");
  EXPECT_FALSE(file_exists(dir.path("f0")) || file_exists(dir.path("cc")));
  // The output devices are no files of the set: /dev/null may take several streams.
  const RunResult devnull = velkcoder({wav, "/dev/null", "/dev/null", dir.path("fv")});
  EXPECT_EQ(devnull.out, "");
  EXPECT_EQ(file_size(dir.path("fv")), 200 * 4);
}

// With --f0load the log-F0 file is read and rewritten by design; the other outputs still may
// not be it.
TEST_F(VelkcoderRefusals, TheLoadedLogF0FileMayBeRewrittenButNotTakenByAnotherStream) {
  const std::string f0 = dir.write("f0", logf0_bytes(300, std::log(150.0f)));
  const RunResult ok = velkcoder({wav, f0, dir.path("cc"), "--f0load=1"});
  EXPECT_EQ(ok.out, "");
  EXPECT_EQ(file_size(f0), 200 * 4);
  const std::string loaded = file_contents(f0);
  const RunResult r = velkcoder({wav, f0, f0, "--f0load=1"});
  EXPECT_EQ(r.out, "Error: " + f0 + " would overwrite the output " + f0 + ".\n");
  EXPECT_EQ(file_contents(f0), loaded);
}

// A write that fails part-way (here at a file-size limit) leaves the earlier files of the set
// as they were (the log-F0 file would fit under the limit) and no partial or temporary file; the
// messages name the files, the set's settings record among them.
TEST_F(VelkcoderRefusals, AFailedWriteKeepsTheOldFilesAndLeavesNoPartialOne) {
  const std::string cc = dir.write("cc", "old cepstra"), f0 = dir.write("f0", "old f0");
  const RunResult r = velkcoder({wav, f0, cc}, limits(120, 0, 4096));
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.out, "Error: could not create " + cc + ".\nWarning: " + f0 + " not written: its set failed.\n" +
                       "Warning: " + f0 + ".json not written: its set failed.\n");
  EXPECT_EQ(file_contents(cc), "old cepstra");
  EXPECT_EQ(file_contents(f0), "old f0");
  EXPECT_EQ(entries(), (std::vector<std::string>{"cc", "f0", "in.wav"}));
  const RunResult full = velkcoder({wav, dir.path("f0"), "/dev/full"});
  EXPECT_EQ(full.out, "Error: could not create /dev/full.\nWarning: " + f0 +
                          " not written: its set failed.\n" + "Warning: " + f0 +
                          ".json not written: its set failed.\n");
}

// The old file's permissions carry over to its replacement.
TEST_F(VelkcoderRefusals, AReplacedFileKeepsItsPermissions) {
  const std::string cc = dir.write("cc", "old");
  ASSERT_EQ(chmod(cc.c_str(), 0640), 0);
  EXPECT_EQ(velkcoder({wav, dir.path("f0"), cc}).out, "");
  struct stat st;
  ASSERT_EQ(stat(cc.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(file_size(cc), 200 * 40 * 4);
}

// Loaded log-F0 values outside what the analyses handle (a log-F0 of -40 crashed the voiced-
// frequency analysis, one of 0, 1 Hz, took 40 s a frame) count as unvoiced, one warning per file.
TEST_F(VelkcoderRefusals, LoadedLogF0ValuesOutOfRangeCountAsUnvoiced) {
  std::vector<float> lf0(200, std::log(150.0f));
  lf0[3] = -40;
  lf0[4] = 0;
  lf0[5] = std::log(29.0f);  // below half the default floor of 60 Hz
  lf0[6] = NAN;
  lf0[7] = INFINITY;
  lf0[8] = std::log(9000.0f);  // above half the sampling rate
  lf0[9] = -1e10f;             // unvoiced as written
  const std::string f0 = dir.write("f0", float_bytes(lf0));
  const RunResult r =
      velkcoder({wav, f0, dir.path("cc"), dir.path("fv"), "--f0load=1", "--f0acc=1"}, limits(60));
  ASSERT_TRUE(r.exited) << r.signal;
  EXPECT_EQ(r.out,
            "Warning: 6 log-F0 values of " + f0 + " lie outside 30 to 8000 Hz and count as unvoiced.\n");
  const std::vector<float> written = floats_of(file_contents(f0));  // rewritten after refinement
  ASSERT_EQ(written.size(), 200u);
  for (int k = 3; k <= 9; ++k) EXPECT_EQ(written[k], -1e10f) << k;
  EXPECT_GT(written[10], std::log(140.0f));
}

// A missing, empty or too short log-F0 file is said to hold nothing; the F0 is analysed.
TEST_F(VelkcoderRefusals, AnEmptyLoadedLogF0FileIsReported) {
  for (const std::string& bytes : {std::string(), std::string("abc"), std::string("-")}) {
    const std::string f0 = bytes == "-" ? dir.path("missing") : dir.write("f0", bytes);
    const RunResult r = velkcoder({wav, f0, dir.path("cc"), "--f0load=1"});
    EXPECT_EQ(r.out, "Warning: " + f0 + " holds no log-F0 values; the F0 is analysed.\n");
    EXPECT_EQ(file_size(f0), 200 * 4);
  }
}

// Bytes after the last whole value of a loaded stream are reported, not silently dropped.
TEST_F(VelkcoderRefusals, TrailingBytesOfTheLoadedStreamAreReported) {
  const std::string f0 = dir.write("f0", logf0_bytes(200, std::log(150.0f)) + "xy");
  const RunResult r = velkcoder({wav, f0, dir.path("cc"), "--f0load=1"});
  EXPECT_EQ(r.out, "Warning: " + f0 + " ends in 2 bytes that make no whole value; they are ignored.\n");
  EXPECT_EQ(file_size(dir.path("cc")), 200 * 40 * 4);
}

// An index list is checked against the names once, before the first set: two billion indices
// for a three-character placeholder are one message, not two billion.
TEST_F(VelkcoderRefusals, AnIndexListTooLargeForItsNamesIsRefusedOnce) {
  const RunResult r = velkcoder(
      {dir.path("a???.wav"), dir.path("f0_???"), dir.path("cc_???"), "--indlist=1-2000000000"}, limits(30));
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out, "Error: index 2000000000 does not fit the name " + dir.path("a???.wav") + ".\n");
  const RunResult plain = velkcoder({wav, dir.path("f0_?"), dir.path("cc_?"), "--indlist=1-3"});
  EXPECT_EQ(plain.status, 255);
  EXPECT_EQ(plain.out, "Error: " + wav + " has no index placeholder.\n");
  EXPECT_FALSE(file_exists(dir.path("f0_1")));
}

}  // namespace
