// The decoder's warning for output beyond the 16-bit range, and its exit statuses.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "childprocess.h"
#include "vocoderfiles.h"

namespace {

// The streams of the bundled sample, encoded once for every test of the suite.
class DecoderOutput : public EncodedSampleSuite {
 protected:
  RunResult decode(const std::string& out, const std::vector<std::string>& options) {
    std::vector<std::string> args = {dir->path("s.f0"), dir->path("s.cc"), dir->path("s.fv"), out};
    args.insert(args.end(), options.begin(), options.end());
    return run_program(VELKDECODER_PATH, args);
  }
  // Samples of a written WAV file at the ends of the 16-bit range.
  static size_t saturated(const std::string& path) {
    const std::string bytes = file_contents(path);
    size_t count = 0;
    for (size_t i = 44; i + 1 < bytes.size(); i += 2) {
      int16_t s;
      std::memcpy(&s, bytes.data() + i, 2);
      count += s == 32767 || s == -32768;
    }
    return count;
  }
};

TEST_F(DecoderOutput, ClippedSamplesAreCountedAndNamed) {
  const std::string plain = dir->path("plain.wav"), sharp = dir->path("sharp.wav"),
                    fit = dir->path("fit.wav");
  const RunResult quiet = decode(plain, {});
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.out, "");
  EXPECT_EQ(saturated(plain), 0u);

  const RunResult loud = decode(sharp, {"--fpfilt=1"});
  EXPECT_EQ(loud.status, 0);
  const std::string head = "Warning: ",
                    tail = " samples clipped in " + sharp + "; --wavnorm=1 scales the output to fit.\n";
  ASSERT_EQ(loud.out.rfind(head, 0), 0u) << loud.out;
  ASSERT_GT(loud.out.size(), head.size() + tail.size());
  EXPECT_EQ(loud.out.substr(loud.out.size() - tail.size()), tail);
  const unsigned long clipped = std::stoul(loud.out.substr(head.size()));
  EXPECT_GT(clipped, 0u);
  // Each clipped sample is written at an end of the range (a few may sit there unclipped).
  EXPECT_GE(saturated(sharp), clipped);
  EXPECT_LE(saturated(sharp), clipped + 10);

  const RunResult scaled = decode(fit, {"--fpfilt=1", "--wavnorm=1"});
  EXPECT_EQ(scaled.status, 0);
  EXPECT_EQ(scaled.out, "");
  EXPECT_EQ(saturated(fit), 0u);
}

TEST_F(DecoderOutput, ExitStatusTellsWhetherEverySetSucceeded) {
  for (const char* stem : {"t1", "t3"})
    for (const char* ext : {".f0", ".cc"})
      dir->write(std::string(stem) + ext, file_contents(dir->path(std::string("s") + ext)));
  RunResult r = run_program(VELKDECODER_PATH,
                            {dir->path("t?.f0"), dir->path("t?.cc"), dir->path("o?.wav"), "--indlist=1,3"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, dir->path("o1.wav") + "\n" + dir->path("o3.wav") + "\n");
  r = run_program(VELKDECODER_PATH,
                  {dir->path("t?.f0"), dir->path("t?.cc"), dir->path("o?.wav"), "--indlist=1-3"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, dir->path("o1.wav") + "\n" + dir->path("o2.wav") + "\nError: could not open " +
                       dir->path("t2.f0") + ".\n" + dir->path("o3.wav") +
                       "\nError: 1 of 3 file sets failed.\n");
  r = run_program(VELKDECODER_PATH, {dir->path("t2.f0"), dir->path("t2.cc"), dir->path("o2.wav")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Error: could not open " + dir->path("t2.f0") + ".\n");
}

}  // namespace
