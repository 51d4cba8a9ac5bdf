// The encoder on the sound files users have: WAV files with extra chunks or the extensible
// format (read exactly as the plain file), other rates, channel counts and sample sizes
// (converted, with a warning), files it cannot read (with the reason), its exit statuses, and
// file sets that do not depend on the sets encoded before them.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <soxr.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "childprocess.h"
#include "riffbytes.h"

namespace {

using namespace wavtest;

const std::string kSample = std::string(VELK_SAMPLES_DIR) + "/en_vm-deleted.wav";
const std::string kOtherSample = std::string(VELK_SAMPLES_DIR) + "/it_vm-goodbye.wav";

// The 16-bit samples of a bundled sample (plain 44-byte header).
std::vector<int16_t> samplesof(const std::string& path) {
  const std::string bytes = file_contents(path);
  std::vector<int16_t> s((bytes.size() - 44) / 2);
  std::memcpy(s.data(), bytes.data() + 44, 2 * s.size());
  return s;
}

struct Streams {
  RunResult run;
  std::string f0, cc, fv;
};

// Encodes `wav` into streams named after `stem` in the directory, with the options given.
Streams encode(const TempDir& dir, const std::string& wav, const std::string& stem,
               const std::vector<std::string>& options = {}) {
  Streams s;
  const std::string f0 = dir.path(stem + ".f0"), cc = dir.path(stem + ".cc"), fv = dir.path(stem + ".fv");
  std::vector<std::string> args = {wav, f0, cc, fv};
  args.insert(args.end(), options.begin(), options.end());
  s.run = run_program(VELKCODER_PATH, args);
  s.f0 = file_contents(f0);
  s.cc = file_contents(cc);
  s.fv = file_contents(fv);
  return s;
}

TEST(VelkcoderInput, OtherWavLayoutsGiveTheStreamsOfThePlainFile) {
  TempDir dir;
  const std::string data = chunk("data", pcm(samplesof(kSample)));
  const std::string plain = dir.write("plain.wav", riff(fmtchunk() + data));
  ASSERT_EQ(file_contents(plain), file_contents(kSample));  // the bundled file, rebuilt byte by byte
  const Streams reference = encode(dir, plain, "plain");
  ASSERT_EQ(reference.run.status, 0);
  ASSERT_EQ(reference.cc.size(), 279u * 40 * 4);
  struct Layout {
    const char* name;
    std::string bytes;
  } layouts[] = {
      {"ffmpeg.wav", riff(fmtchunk() + ffmpeglist() + data)},
      {"extensible.wav", riff(extensiblechunk() + data)},
      {"list.wav", riff(chunk("JUNK", std::string(28, '\0')) + fmtchunk() + chunk("LIST", "INFO") + data +
                        chunk("id3 ", "ID3\x04\x00"))},
      {"datafirst.wav", riff(chunk("bext", std::string(601, 'b')) + data + fmtchunk())},
  };
  for (const Layout& l : layouts) {
    const Streams s = encode(dir, dir.write(l.name, l.bytes), l.name);
    EXPECT_EQ(s.run.status, 0) << l.name;
    EXPECT_EQ(s.run.out, "") << l.name;
    EXPECT_TRUE(s.f0 == reference.f0 && s.cc == reference.cc && s.fv == reference.fv) << l.name;
  }
}

// The bundled sample at 44.1 kHz in two channels of 24-bit samples (written with libsndfile).
std::string cdfile(const TempDir& dir, const std::vector<int16_t>& x) {
  std::vector<double> in(x.begin(), x.end());
  for (double& v : in) v /= 32768;
  std::vector<double> up(static_cast<size_t>(std::lround(x.size() * 44100.0 / 16000)));
  const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
  const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
  size_t done = 0;
  EXPECT_EQ(soxr_oneshot(16000, 44100, 1, in.data(), in.size(), nullptr, up.data(), up.size(), &done, &io,
                         &quality, nullptr),
            nullptr);
  std::vector<double> frames;
  for (double v : up) {
    frames.push_back(v);
    frames.push_back(0.9 * v);
  }
  const std::string path = dir.path("cd.wav");
  SF_INFO info = {};
  info.samplerate = 44100;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  EXPECT_NE(f, nullptr);
  if (f) {
    sf_writef_double(f, frames.data(), static_cast<sf_count_t>(up.size()));
    sf_close(f);
  }
  return path;
}

// Frames of two log-F0 streams whose voicing agrees, and the voiced frames of the first.
void voicingagreement(const std::string& first, const std::string& second, size_t* agree, size_t* voiced) {
  const std::vector<float> a = floats_of(first), b = floats_of(second);
  *agree = *voiced = 0;
  for (size_t k = 0; k < a.size() && k < b.size(); ++k) {
    *agree += (a[k] > -1e10f) == (b[k] > -1e10f);
    *voiced += a[k] > -1e10f;
  }
}

// At its own rate (mixed down, not resampled: 220-sample frames, order 49) and with --fs=16000
// (resampled to the 16 kHz analysis: 80-sample frames, order 39) the file keeps the voicing.
TEST(VelkcoderInput, A441kHzStereo24BitFileIsConvertedWithAWarningAndKeepsTheVoicing) {
  TempDir dir;
  const Streams reference = encode(dir, kSample, "plain");
  const std::string cd = cdfile(dir, samplesof(kSample));
  struct Case {
    std::vector<std::string> options;
    const char* rate;
    long width;
  } cases[] = {{{}, "44.1", 50}, {{"--fs=16000"}, "16", 40}};
  for (const Case& c : cases) {
    const Streams s = encode(dir, cd, "cd", c.options);
    EXPECT_EQ(s.run.status, 0) << c.rate;
    EXPECT_EQ(s.run.out,
              "Warning: " + cd + ": 44100 Hz, 2 channels, 24-bit read as " + c.rate + " kHz mono.\n");
    const size_t frames = floats_of(s.f0).size();
    ASSERT_EQ(floats_of(reference.f0).size(), 279u);
    ASSERT_NEAR(static_cast<double>(frames), 279.0, 1.0) << c.rate;
    size_t agree = 0, voiced = 0;
    voicingagreement(reference.f0, s.f0, &agree, &voiced);
    EXPECT_GT(voiced, 279u / 3);  // speech, not silence
    EXPECT_GE(static_cast<double>(agree), 0.98 * 279) << c.rate;
    EXPECT_EQ(file_size(dir.path("cd.cc")), static_cast<long>(frames) * c.width * 4) << c.rate;
  }
}

// libsndfile and libsoxr are loaded only for files the WAV reader does not take (seen in the
// dynamic loader's trace of the files it opens).
TEST(VelkcoderInput, TheSoundLibrariesAreLoadedOnlyForOtherFormats) {
  TempDir dir;
  const std::string cd = cdfile(dir, samplesof(kSample));
  RunSettings how;
  how.environment = {"LD_DEBUG=files"};
  const RunResult plain =
      run_program(VELKCODER_PATH, {kSample, dir.path("p.f0"), dir.path("p.cc"), dir.path("p.fv")}, how);
  const RunResult other =
      run_program(VELKCODER_PATH, {cd, dir.path("c.f0"), dir.path("c.cc"), dir.path("c.fv")}, how);
  ASSERT_EQ(plain.status, 0);
  ASSERT_EQ(other.status, 0);
  ASSERT_NE(plain.err.find("file=libc.so.6"), std::string::npos) << "no loader trace";
  for (const char* lib : {"file=libsndfile.so.1", "file=libsoxr.so.0"}) {
    EXPECT_EQ(plain.err.find(lib), std::string::npos) << lib;
    EXPECT_NE(other.err.find(lib), std::string::npos) << lib;
  }
}

TEST(VelkcoderInput, UnreadableFilesSayWhy) {
  TempDir dir;
  const std::string data = chunk("data", pcm(std::vector<int16_t>(1600, 100)));
  struct Case {
    std::string path, reason;
  } cases[] = {
      {dir.path("missing.wav"), "no such file."},
      {dir.write("text.wav", "this is not a sound file at all\n"),
       "not a sound file (RIFF/WAVE header missing)."},
      {dir.write("mp3.wav", riff(fmtchunk(0x55, 1, 16000, 0) + data)),
       "compressed format (code 0x55) not supported."},
      {dir.write("nodata.wav", riff(fmtchunk() + ffmpeglist())), "data chunk missing."},
      {dir.write("emptydata.wav", riff(fmtchunk() + chunk("data", ""))), "empty data chunk."},
  };
  for (const Case& c : cases) {
    const RunResult r = run_program(VELKCODER_PATH, {c.path, dir.path("f0"), dir.path("cc"), dir.path("fv")});
    EXPECT_EQ(r.status, 1) << c.path;
    EXPECT_EQ(r.out, "Error: could not open " + c.path + ".\nError: " + c.path + ": " + c.reason + "\n");
  }
  EXPECT_FALSE(file_exists(dir.path("f0")) || file_exists(dir.path("cc")) || file_exists(dir.path("fv")));
}

TEST(VelkcoderInput, AFileCutShortIsReadAsFarAsItGoes) {
  TempDir dir;
  const std::string full = riff(fmtchunk() + chunk("data", pcm(samplesof(kSample))));
  const std::string cut = dir.write("cut.wav", full.substr(0, 44 + 2 * 16000 + 1));
  const Streams s = encode(dir, cut, "cut");
  EXPECT_EQ(s.run.status, 0);
  EXPECT_EQ(s.run.out, "Warning: " + cut + ": header promises 22296 samples, 16000 present.\n");
  EXPECT_EQ(s.f0.size(), 200u * 4);  // (16000 - 1) / 80 + 1 frames
}

TEST(VelkcoderInput, ExitStatusTellsWhetherEverySetSucceeded) {
  TempDir dir;
  for (const char* name : {"s1.wav", "s2.wav", "s3.wav"}) dir.write(name, file_contents(kSample));
  const std::vector<std::string> names = {dir.path("s?.wav"), dir.path("f?"), dir.path("c?")};
  std::vector<std::string> args = names;
  args.push_back("--indlist=1-3");
  RunResult r = run_program(VELKCODER_PATH, args);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, dir.path("s1.wav") + "\n" + dir.path("s2.wav") + "\n" + dir.path("s3.wav") + "\n");
  args.back() = "--indlist=2-5";
  r = run_program(VELKCODER_PATH, args);
  EXPECT_EQ(r.status, 1);
  const std::string last = "Error: 2 of 4 file sets failed.\n";
  ASSERT_GE(r.out.size(), last.size());
  EXPECT_EQ(r.out.substr(r.out.size() - last.size()), last) << r.out;
  EXPECT_TRUE(file_exists(dir.path("c3")));  // the sets after a failed one are still encoded
  EXPECT_EQ(run_program(VELKCODER_PATH, {dir.path("s1.wav"), dir.path("f"), dir.path("c")}).status, 0);
  r = run_program(VELKCODER_PATH, {dir.path("s9.wav"), dir.path("f"), dir.path("c")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out.find("file sets failed"), std::string::npos) << "no count for a single set";
}

// A file with runs of digital silence, which are dithered with generated noise.
std::string withsilence(const TempDir& dir, const std::string& name, const std::string& sample) {
  std::vector<int16_t> x = samplesof(sample);
  x.insert(x.begin() + 8000, 3000, 0);
  x.insert(x.begin(), 2000, 0);
  return dir.write(name, riff(fmtchunk() + chunk("data", pcm(x))));
}

TEST(VelkcoderInput, ASetsStreamsDoNotDependOnTheSetsBeforeIt) {
  TempDir dir;
  const std::string first = withsilence(dir, "z1.wav", kOtherSample),
                    second = withsilence(dir, "z2.wav", kSample);
  const Streams alone1 = encode(dir, first, "alone1"), alone2 = encode(dir, second, "alone2");
  EXPECT_EQ(alone2.run.out, "Warning: zeros in " + second + " have been filled with noise.\n");
  const RunResult both = run_program(VELKCODER_PATH, {dir.path("z?.wav"), dir.path("l?.f0"),
                                                      dir.path("l?.cc"), dir.path("l?.fv"), "--indlist=1-2"});
  EXPECT_EQ(both.status, 0);
  EXPECT_EQ(file_contents(dir.path("l2.f0")), alone2.f0);
  EXPECT_EQ(file_contents(dir.path("l2.cc")), alone2.cc);
  EXPECT_EQ(file_contents(dir.path("l2.fv")), alone2.fv);
  EXPECT_EQ(file_contents(dir.path("l1.cc")), alone1.cc);
  EXPECT_EQ(file_contents(dir.path("l1.f0")), alone1.f0);
}

}  // namespace
