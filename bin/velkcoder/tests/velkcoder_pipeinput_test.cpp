// Inputs that cannot seek: a WAV or FLAC file through a pipe, /dev/stdin or a process
// substitution is read once, as the file itself would be; the decoder's three streams likewise,
// with its limits applied as the data arrive (an endless stream stops at the largest valid
// output). FLAC and AIFF files that hold no sample say so.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <string>
#include <vector>

#include "childprocess.h"

namespace {

const std::string kSample = std::string(VELK_SAMPLES_DIR) + "/en_vm-deleted.wav";
const std::string coder = VELKCODER_PATH, decoder = VELKDECODER_PATH;

RunResult bash(const std::string& line, uint64_t memorylimit = 0) {
  RunSettings how;
  how.memorylimit = memorylimit;
  return run_program("/bin/bash", {"-c", line}, how);
}

// A 16 kHz mono 16-bit file of the given libsndfile major format holding `frames` frames of a
// 200 Hz tone.
std::string soundfile(const TempDir& dir, const std::string& name, int major, int frames) {
  const std::string path = dir.path(name);
  SF_INFO info = {};
  info.samplerate = 16000;
  info.channels = 1;
  info.format = major | SF_FORMAT_PCM_16;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  EXPECT_NE(f, nullptr) << name;
  if (f) {
    std::vector<double> x(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) x[i] = 0.3 * std::sin(2 * M_PI * 200 * i / 16000.0);
    sf_writef_double(f, x.data(), frames);
    sf_close(f);
  }
  return path;
}

TEST(PipeInput, SoundThroughAPipeGivesTheStreamsOfTheFile) {
  TempDir dir;
  const std::string flac = soundfile(dir, "tone.flac", SF_FORMAT_FLAC, 16000);
  for (const std::string& in : {kSample, flac}) {
    const std::string f = dir.path("f"), p = dir.path("p"), s = dir.path("s");
    ASSERT_EQ(run_program(coder, {in, f + ".lf0", f + ".cc", f + ".fv"}).status, 0) << in;
    const RunResult piped =
        bash("cat " + in + " | " + coder + " /dev/stdin " + p + ".lf0 " + p + ".cc " + p + ".fv");
    EXPECT_EQ(piped.status, 0) << piped.out;
    const RunResult substituted = bash(coder + " <(cat " + in + ") " + s + ".lf0 " + s + ".cc " + s + ".fv");
    EXPECT_EQ(substituted.status, 0) << substituted.out;
    for (const char* ext : {".lf0", ".cc", ".fv"}) {
      EXPECT_EQ(file_contents(p + ext), file_contents(f + ext)) << in << ext;
      EXPECT_EQ(file_contents(s + ext), file_contents(f + ext)) << in << ext;
    }
  }
  const RunResult empty = bash(coder + " <(true) " + dir.path("e.lf0") + " " + dir.path("e.cc"));
  EXPECT_EQ(empty.status, 1);
  EXPECT_EQ(empty.out.find("not enough memory"), std::string::npos) << empty.out;
}

// Empty and truncated FLAC and AIFF files say what is wrong with them instead of "not enough
// memory".
TEST(PipeInput, FlacAndAiffFilesWithoutSamplesSaySo) {
  TempDir dir;
  const std::string flac = file_contents(soundfile(dir, "whole.flac", SF_FORMAT_FLAC, 16000));
  const std::string cutflac = dir.write("cut.flac", flac.substr(0, 300));
  const std::string emptyaiff = soundfile(dir, "empty.aiff", SF_FORMAT_AIFF, 0);
  for (const std::string& in : {cutflac, emptyaiff}) {
    const RunResult r = run_program(coder, {in, dir.path("x.lf0"), dir.path("x.cc")});
    EXPECT_EQ(r.status, 1) << in;
    EXPECT_EQ(r.out, "Error: could not open " + in + ".\nError: " + in +
                         ": no sample can be read: the file is empty or cut short.\n");
  }
}

TEST(PipeInput, TheDecodersStreamsThroughPipesGiveTheWaveOfTheFiles) {
  TempDir dir;
  const std::string lf0 = dir.path("r.lf0"), cc = dir.path("r.cc"), fv = dir.path("r.fv");
  ASSERT_EQ(run_program(coder, {kSample, lf0, cc, fv}).status, 0);
  ASSERT_EQ(run_program(decoder, {lf0, cc, fv, dir.path("o.wav")}).status, 0);
  const RunResult r =
      bash(decoder + " <(cat " + lf0 + ") <(cat " + cc + ") <(cat " + fv + ") " + dir.path("p.wav"));
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(file_contents(dir.path("p.wav")), file_contents(dir.path("o.wav")));
  const RunResult stdin_f0 =
      bash("cat " + lf0 + " | " + decoder + " /dev/stdin " + cc + " " + fv + " " + dir.path("q.wav"));
  EXPECT_EQ(stdin_f0.status, 0);
  EXPECT_EQ(file_contents(dir.path("q.wav")), file_contents(dir.path("o.wav")));
}

// Endless streams stop at what a valid output can use: log-F0 at the longest WAV file, cepstra at
// the widest order, voicing at the frame count; memory stays far below the limit.
TEST(PipeInput, EndlessStreamsStopAtTheDecodersLimits) {
  TempDir dir;
  const std::string lf0 = dir.path("r.lf0"), cc = dir.path("r.cc"), fv = dir.path("r.fv"),
                    out = dir.path("o.wav");
  ASSERT_EQ(run_program(coder, {kSample, lf0, cc, fv}).status, 0);
#ifdef __SANITIZE_ADDRESS__
  const uint64_t limit = 0;  // the address sanitizer reserves more address space than any limit allows
#else
  const uint64_t limit = 2000ull << 20;
#endif
  const RunResult f0 = bash(decoder + " /dev/zero " + cc + " " + fv + " " + out, limit);
  EXPECT_EQ(f0.status, 1);
  EXPECT_EQ(f0.out, "Error: " + out + " would be too long for a wav file.\n");
  const RunResult cepstra = bash(decoder + " " + lf0 + " /dev/zero " + fv + " " + out, limit);
  EXPECT_EQ(cepstra.status, 1);
  EXPECT_EQ(cepstra.out, "Error: " + lf0 + " and /dev/zero have incompatible dimensions.\n");
  EXPECT_FALSE(file_exists(out));
  const RunResult voicing = bash(decoder + " " + lf0 + " " + cc + " /dev/zero " + out, limit);
  EXPECT_EQ(voicing.status, 0) << voicing.out;
  EXPECT_TRUE(file_exists(out));
}

}  // namespace

// A stream that outgrows the memory limit before reaching the decoder's limits (one sample a
// frame makes room for four billion frames) is refused with a message, not read through a null
// buffer. Under the address sanitizer, which allows no address-space limit, its allocator
// refuses the large blocks instead.
TEST(PipeInput, AStreamThatExhaustsMemoryIsRefused) {
  TempDir dir;
  const std::string lf0 = dir.path("r.lf0"), cc = dir.path("r.cc"), out = dir.path("o.wav");
  ASSERT_EQ(run_program(coder, {kSample, lf0, cc}).status, 0);
#ifdef __SANITIZE_ADDRESS__
  const uint64_t limit = 0;
  const std::string memory =
      "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}allocator_may_return_null=1:max_allocation_size_mb=256 ";
#else
  const uint64_t limit = 300ull << 20;
  const std::string memory;
#endif
  const RunResult r =
      bash(memory + "exec " + decoder + " <(cat /dev/zero) " + cc + " " + out + " --lframe=1", limit);
  ASSERT_TRUE(r.exited) << "signal " << r.signal;
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out.rfind("Error: not enough memory to read /dev/fd/", 0), 0u) << r.out;
  EXPECT_FALSE(file_exists(out));
}
