// Sets whose streams are regular files are synthesised block by block: the same WAV bytes and
// messages as the whole-set path (taken when a stream comes through a pipe), in memory that does
// not grow with the set's length.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "childprocess.h"
#include "vocoderfiles.h"

namespace {

class StreamedSet : public EncodedSampleSuite {
 protected:
  // Decodes the set `stem` into out.wav with the log-F0 stream read from its file (streamed) or
  // through a pipe (whole set), under an address-space limit when given; the WAV bytes and the
  // messages with the exit status.
  static std::pair<std::string, std::string> decode(const std::string& stem, bool withfv, bool piped,
                                                    const std::vector<std::string>& options,
                                                    uint64_t memorylimit = 0) {
    const std::string f0 = dir->path(stem + ".f0"), out = dir->path("out.wav");
    std::string line =
        piped ? "cat " + f0 + " | " + VELKDECODER_PATH + " /dev/stdin" : VELKDECODER_PATH + (" " + f0);
    line += " " + dir->path(stem + ".cc");
    if (withfv) line += " " + dir->path(stem + ".fv");
    line += " " + out;
    for (const std::string& o : options) line += " " + o;
    RunSettings how;
    how.memorylimit = memorylimit;
    std::remove(out.c_str());
    const RunResult r = run_program("/bin/bash", {"-c", line}, how);
    EXPECT_TRUE(r.exited);
    const std::string bytes = r.status == 0 ? file_contents(out) : "";
    return {bytes, r.out + r.err + "status " + std::to_string(r.status)};
  }
};

TEST_F(StreamedSet, WritesTheBytesAndMessagesOfTheWholeSetPath) {
  const std::vector<std::vector<std::string>> settings = {{},
                                                          {"--fpitch=1.2", "--fvpitch=0.6", "--fdur=1.5"},
                                                          {"--fdrc=0.7", "--floud=1", "--fpfilt=0.5"},
                                                          {"--fpfilt=1"},  // clips, and says so
                                                          {"--wavnorm=1", "--fwarp=0.1", "--fvpitch=2"}};
  for (const bool withfv : {true, false}) {
    for (const auto& options : settings) {
      const auto streamed = decode("s", withfv, false, options);
      const auto whole = decode("s", withfv, true, options);
      ASSERT_GT(streamed.first.size(), 44u) << streamed.second;
      EXPECT_TRUE(streamed.first == whole.first) << "fv " << withfv << " " << testing::PrintToString(options);
      EXPECT_EQ(streamed.second, whole.second);
    }
  }
  // The clipping warning is among the messages compared.
  EXPECT_NE(decode("s", true, false, {"--fpfilt=1"}).second.find("samples clipped"), std::string::npos);
}

TEST_F(StreamedSet, ALongSetFitsInMemoryTheWholeSetPathCannotHave) {
  // Two and a half minutes of streams: the whole-set path holds about 30 MB of them and their
  // samples, more than the 32 MB address space allows beside the program itself.
  const std::string f0 = file_contents(dir->path("s.f0")), cc = file_contents(dir->path("s.cc")),
                    fv = file_contents(dir->path("s.fv"));
  std::string longf0, longcc, longfv;
  for (int i = 0; i < 110; ++i) {
    longf0 += f0;
    longcc += cc;
    longfv += fv;
  }
  dir->write("long.f0", longf0);
  dir->write("long.cc", longcc);
  dir->write("long.fv", longfv);
#ifdef __SANITIZE_ADDRESS__
  const uint64_t limit = 0;  // the address sanitizer reserves more address space than any limit allows
#else
  const uint64_t limit = 32u << 20;
#endif
  const auto reference = decode("long", true, true, {});
  ASSERT_EQ(reference.second, "status 0");
  if (limit != 0) {
    EXPECT_NE(decode("long", true, true, {}, limit).second, "status 0");
  }
  const auto streamed = decode("long", true, false, {}, limit);
  EXPECT_EQ(streamed.second, "status 0");
  EXPECT_TRUE(streamed.first == reference.first);
  EXPECT_EQ(streamed.first.size(), 44 + 2 * ((longf0.size() / 4 + 1) * 80 + 1));
}

TEST_F(StreamedSet, AShortVoicingStreamIsDroppedWithItsWarningOnEitherPath) {
  const std::string f0 = file_contents(dir->path("s.f0"));
  dir->write("short.f0", f0);
  dir->write("short.cc", file_contents(dir->path("s.cc")));
  dir->write("short.fv", f0.substr(0, f0.size() / 2));
  const auto streamed = decode("short", true, false, {});
  const auto whole = decode("short", true, true, {});
  EXPECT_NE(streamed.second.find("incompatible dimensions"), std::string::npos) << streamed.second;
  EXPECT_TRUE(streamed.first == whole.first);
}

}  // namespace
