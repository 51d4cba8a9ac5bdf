// A regular sound file is analysed in pieces, read block by block; the same file through a pipe is
// read whole. Both give the same streams, byte for byte, and the same messages, at every rate, for
// converted files, files cut short and the options that change the analysis's passes.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <string>
#include <vector>

#include "childprocess.h"

namespace {

const std::string coder = VELKCODER_PATH;
const std::string samples = VELK_SAMPLES_DIR;

struct encoding {
  RunResult run;
  std::vector<std::string> files;  // the streams' and the record's bytes
};

// velkcoder of `in` (a file, or the file through a pipe when piped) with the options, into the
// set named `set` in dir. The pipe's name in the messages is replaced by the file's.
encoding encode(const TempDir& dir, const std::string& in, const std::string& set, bool piped,
                const std::vector<std::string>& options, bool withfv = true) {
  const std::string base = dir.path(set);
  std::string line = coder + " " + (piped ? "/dev/stdin" : in) + " " + base + ".lf0 " + base + ".cc";
  if (withfv) line += " " + base + ".fv";
  for (const std::string& o : options) line += " " + o;
  if (piped) line = "cat " + in + " | " + line;
  encoding e;
  e.run = run_program("/bin/bash", {"-c", line});
  for (size_t at; piped && (at = e.run.out.find("/dev/stdin")) != std::string::npos;)
    e.run.out.replace(at, 10, in);
  for (size_t at; (at = e.run.out.find(base + ".")) != std::string::npos;)
    e.run.out.replace(at, base.size(), "SET");
  for (const char* ext : {".lf0", ".cc", ".fv", ".lf0.json"}) e.files.push_back(file_contents(base + ext));
  return e;
}

void expectsameencoding(const TempDir& dir, const std::string& in, const std::vector<std::string>& options,
                        bool withfv = true) {
  SCOPED_TRACE(in);
  const encoding whole = encode(dir, in, "whole", true, options, withfv);
  const encoding pieces = encode(dir, in, "pieces", false, options, withfv);
  EXPECT_EQ(pieces.run.status, whole.run.status);
  EXPECT_EQ(pieces.run.out, whole.run.out);
  EXPECT_FALSE(pieces.files[1].empty());
  for (size_t k = 0; k < 3; ++k) EXPECT_TRUE(pieces.files[k] == whole.files[k]) << "stream " << k;
  // The records name their own streams; otherwise they agree.
  std::string record = pieces.files[3];
  for (size_t at; (at = record.find("pieces.")) != std::string::npos;) record.replace(at, 7, "whole.");
  EXPECT_EQ(record, whole.files[3]);
}

// A sound file of libsndfile's format `format` at fs Hz with the channels of a voice, its second
// channel half as loud.
std::string soundfile(const TempDir& dir, const std::string& name, int format, int fs, int channels) {
  const std::string path = dir.path(name);
  SF_INFO info = {};
  info.samplerate = fs;
  info.channels = channels;
  info.format = format;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  EXPECT_NE(f, nullptr) << name;
  std::vector<double> x;
  for (int i = 0; i < fs; ++i) {
    const double t = static_cast<double>(i) / fs, f0 = 120 + 40 * t;
    double v = 0;
    for (int h = 1; h < 20; ++h) v += 0.05 / h * std::sin(2 * M_PI * h * f0 * t);
    for (int c = 0; c < channels; ++c) x.push_back(c == 0 ? v : v / 2);
  }
  sf_writef_double(f, x.data(), fs);
  sf_close(f);
  return path;
}

}  // namespace

TEST(PiecesAnalysis, EveryRateGivesTheStreamsOfTheWholeSignal) {
  TempDir dir;
  for (const char* name : {"/en_vm-deleted.wav", "/wide/ktuberling22k_ca_words.wav",
                           "/wide/klettres44k_en_letters.wav", "/wide/alsa48k_Rear_Right.wav"})
    expectsameencoding(dir, samples + name, {});
  // Converted on the way: two channels of 24-bit samples, and FLAC at 11.025 kHz.
  expectsameencoding(dir, soundfile(dir, "stereo.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 22050, 2), {});
  expectsameencoding(dir, soundfile(dir, "low.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 11025, 1), {});
}

TEST(PiecesAnalysis, OptionsThatChangeThePassesGiveTheSameStreams) {
  TempDir dir;
  const std::string in = samples + "/it_vm-goodbye.wav";
  expectsameencoding(dir, in, {"--f0acc=2", "--ccmeth=2", "--lframe=111"});
  expectsameencoding(dir, in, {"--morvscale=0", "--zfill=0", "--ccmeth=4"}, false);
  // A log-F0 track read from the file: given by the whole analysis, then refined by both.
  ASSERT_EQ(run_program(coder, {in, dir.path("given.lf0"), dir.path("given.cc")}).status, 0);
  const std::string track = file_contents(dir.path("given.lf0"));
  dir.write("pieces.lf0", track.substr(0, track.size() / 8 * 4));
  dir.write("whole.lf0", track.substr(0, track.size() / 8 * 4));
  expectsameencoding(dir, in, {"--f0load=1", "--f0acc=1"});
}

// A WAV file whose header promises more samples than it holds is read as far as it goes, with the
// warning of the whole read.
TEST(PiecesAnalysis, AFileCutShortWarnsAsWhenReadWhole) {
  TempDir dir;
  const std::string whole = file_contents(samples + "/en_vm-deleted.wav");
  const std::string cut = dir.write("cut.wav", whole.substr(0, whole.size() - 3001));
  const encoding pieces = encode(dir, cut, "pieces", false, {});
  EXPECT_EQ(pieces.run.status, 0);
  EXPECT_NE(pieces.run.out.find("Warning: " + cut + ": header promises"), std::string::npos)
      << pieces.run.out;
  expectsameencoding(dir, cut, {});
}

// Outputs that fail: a cepstral file that cannot be created is reported as by the whole-signal
// path, and a log-F0 file that cannot be created leaves no cepstral file behind.
TEST(PiecesAnalysis, FailingOutputsLeaveNothingBehind) {
  TempDir dir;
  const std::string in = samples + "/it_vm-goodbye.wav";
  const RunResult nocc =
      run_program(coder, {in, dir.path("a.lf0"), dir.path("missing/a.cc"), dir.path("a.fv")});
  EXPECT_EQ(nocc.status, 1);
  EXPECT_NE(nocc.out.find("Error: could not create " + dir.path("missing/a.cc")), std::string::npos)
      << nocc.out;
  const RunResult nolf0 =
      run_program(coder, {in, dir.path("missing/b.lf0"), dir.path("b.cc"), dir.path("b.fv")});
  EXPECT_EQ(nolf0.status, 1);
  EXPECT_NE(nolf0.out.find("Warning: " + dir.path("b.cc") + " not written: its set failed."),
            std::string::npos)
      << nolf0.out;
  EXPECT_FALSE(file_exists(dir.path("b.cc")));
  EXPECT_FALSE(file_exists(dir.path("a.lf0")));
}
