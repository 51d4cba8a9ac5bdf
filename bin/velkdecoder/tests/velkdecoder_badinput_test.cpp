// The decoder on hostile command lines and streams: values that do not parse whole or lie
// outside their sets, an output that is one of the streams, writes that fail part-way, streams
// whose sizes promise an impossible output, an order that --ccord does not confirm, trailing
// bytes, and index lists too large for their names.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

#include "argumenterror.h"
#include "childprocess.h"
#include "vocoderfiles.h"

namespace {

RunResult velkdecoder(const std::vector<std::string>& args, const RunSettings& how = RunSettings()) {
  return run_program(VELKDECODER_PATH, args, how);
}

// Cepstra of `frames` frames of order `order` (range-adapted: c0 = 5 gives a level of 0; -7 keeps
// the synthesised voice inside the 16-bit range).
std::string cepstra_bytes(size_t frames, size_t order) {
  std::vector<float> cc(frames * (order + 1), 0.0f);
  for (size_t k = 0; k < frames; ++k) cc[k * (order + 1)] = 5.0f - 7.0f;
  return float_bytes(cc);
}

class VelkdecoderRefusals : public testing::Test {
 protected:
  void SetUp() override {
    f0 = dir.write("x.lf0", logf0_bytes(100, std::log(120.0f)));
    cc = dir.write("x.cc", cepstra_bytes(100, 39));
    out = dir.path("x.wav");
  }
  TempDir dir;
  std::string f0, cc, out;
};

TEST_F(VelkdecoderRefusals, ValuesThatDoNotParseWholeOrLieOutsideTheirSetsAreArgumentErrors) {
  for (const char* option : {"--lframe=1e308", "--lframe=8x0", "--fdur=1.5x", "--fpitch=1e400", "--wavnorm=2",
                             "--wavnorm=-1", "--morvscale=2", "--ccord=-1", "--ccord=3.5", "--lframe=0"}) {
    const RunResult r = velkdecoder({f0, cc, out, option});
    EXPECT_EQ(r.status, 255) << option;
    EXPECT_TRUE(refusesargument(r.out, "velkdecoder", option + std::string(":"))) << option << r.out;
    EXPECT_FALSE(file_exists(out)) << option;
  }
}

// The output that is a stream of the set (by name, symlink or hard link) is refused before
// anything is read or written: the log-F0 stream used to be replaced by a WAV file.
TEST_F(VelkdecoderRefusals, AnOutputThatIsAnInputIsRefused) {
  const std::string fv = dir.write("x.fv", float_bytes(std::vector<float>(100, 4000.0f)));
  const std::string f0bytes = file_contents(f0), fvbytes = file_contents(fv);
  ASSERT_EQ(symlink(f0.c_str(), dir.path("link").c_str()), 0);
  ASSERT_EQ(link(fv.c_str(), dir.path("hard").c_str()), 0);
  const std::vector<std::pair<std::string, std::string>> cases = {
      {f0, f0}, {dir.path("link"), f0}, {dir.path("hard"), fv}, {cc, cc}};
  for (const auto& c : cases) {
    const RunResult r = velkdecoder({f0, cc, fv, c.first});
    EXPECT_TRUE(r.exited) << c.first;
    EXPECT_EQ(r.out, "Error: " + c.first + " would overwrite the input " + c.second + ".\n") << c.first;
    EXPECT_EQ(file_contents(f0), f0bytes);
    EXPECT_EQ(file_contents(fv), fvbytes);
  }
  EXPECT_EQ(file_size(cc), 100 * 40 * 4);
}

// A WAV file that cannot be written whole (file-size limit, full device) leaves no partial
// file and keeps the earlier one; the message names the file.
TEST_F(VelkdecoderRefusals, AFailedWriteKeepsTheOldFile) {
  const std::string old = dir.write("x.wav", "an older take");
  const RunResult r = velkdecoder({f0, cc, out}, limits(120, 0, 8192));
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.out, "Error: could not create " + out + ".\n");
  EXPECT_EQ(file_contents(out), "an older take");
  const RunResult full = velkdecoder({f0, cc, "/dev/full"});
  EXPECT_EQ(full.out, "Error: could not create /dev/full.\n");
  const RunResult ok = velkdecoder({f0, cc, out});
  EXPECT_EQ(ok.out, "");
  EXPECT_EQ(file_size(out), 44 + 2 * (101 * 80 + 1));
}

// Streams whose sizes promise an output longer than a WAV file holds are refused from the
// sizes, before gigabytes are read and allocated (sparse files: nothing is stored on disk).
TEST_F(VelkdecoderRefusals, AnImpossibleOutputLengthIsFoundFromTheFileSizes) {
  const std::string bigf0 = dir.path("big.lf0"), bigcc = dir.path("big.cc");
  ASSERT_EQ(truncate(dir.write("big.lf0", "").c_str(), 2000000000), 0);
  ASSERT_EQ(truncate(dir.write("big.cc", "").c_str(), 2000000000), 0);
  const RunResult r = velkdecoder({bigf0, bigcc, out}, limits(60, kChildMemoryLimit, 0));
  ASSERT_TRUE(r.exited) << r.signal;
  EXPECT_EQ(r.out, "Error: " + out + " would be too long for a wav file.\n");
  EXPECT_FALSE(file_exists(out));
}

// The order is inferred from the counts unless --ccord says it: then a log-F0 stream a few
// frames short (93 frames give 119 + 1 values a frame for 279 frames of order 39) is refused.
TEST_F(VelkdecoderRefusals, AGivenOrderMustMatchTheCounts) {
  const std::string shortf0 = dir.write("short.lf0", logf0_bytes(93, std::log(120.0f)));
  const std::string longcc = dir.write("long.cc", cepstra_bytes(279, 39));
  const RunResult inferred = velkdecoder({shortf0, longcc, out});
  EXPECT_EQ(inferred.status, 0);  // order 119, as before: the wrong order shows only as clipping
  EXPECT_NE(inferred.out.find("samples clipped in " + out), std::string::npos) << inferred.out;
  const RunResult given = velkdecoder({shortf0, longcc, dir.path("given.wav"), "--ccord=39"});
  EXPECT_EQ(given.out, "Error: " + shortf0 + " and " + longcc + " have incompatible dimensions.\n");
  EXPECT_FALSE(file_exists(dir.path("given.wav")));
  const RunResult matching = velkdecoder({f0, cc, dir.path("match.wav"), "--ccord=39"});
  EXPECT_EQ(matching.out, "");
  EXPECT_EQ(velkdecoder({f0, cc, out}).out, "");
  EXPECT_EQ(file_contents(dir.path("match.wav")), file_contents(out));
}

// Bytes after the last whole value of a stream are reported; the values before them are used.
TEST_F(VelkdecoderRefusals, TrailingBytesOfTheStreamsAreReported) {
  const std::string f0odd = dir.write("odd.lf0", file_contents(f0) + "z");
  const std::string ccodd = dir.write("odd.cc", file_contents(cc) + "zzz");
  const std::string fvodd = dir.write("odd.fv", float_bytes(std::vector<float>(100, 4000.0f)) + "zz");
  const RunResult r = velkdecoder({f0odd, ccodd, fvodd, out});
  EXPECT_EQ(r.out,
            "Warning: " + f0odd + " ends in 1 bytes that make no whole value; they are ignored.\n" +
                "Warning: " + ccodd + " ends in 3 bytes that make no whole value; they are ignored.\n" +
                "Warning: " + fvodd + " ends in 2 bytes that make no whole value; they are ignored.\n");
  EXPECT_EQ(file_size(out), 44 + 2 * (101 * 80 + 1));
}

TEST_F(VelkdecoderRefusals, AnIndexListTooLargeForItsNamesIsRefusedOnce) {
  const RunResult r = velkdecoder(
      {dir.path("f0_???"), dir.path("cc_???"), dir.path("o???.wav"), "--indlist=1-2000000000"}, limits(30));
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out, "Error: index 2000000000 does not fit the name " + dir.path("f0_???") + ".\n");
  const RunResult plain = velkdecoder({dir.path("f0_?"), dir.path("cc_?"), out, "--indlist=1"});
  EXPECT_EQ(plain.status, 255);
  EXPECT_EQ(plain.out, "Error: " + out + " has no index placeholder.\n");
}

}  // namespace
