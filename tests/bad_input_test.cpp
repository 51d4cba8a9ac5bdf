// Every program on bad input: empty and truncated files, oversized header fields, non-finite
// values, wrong dimensions, missing and unwritable paths and directories given as files. Each
// case must end by itself with the program's own message and a defined exit status, and must
// not leave output that looks complete when it is not.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "argumenterror.h"
#include "childprocess.h"
#include "testfiles.h"

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

::testing::AssertionResult Exited(const RunResult& o, int status) {
  if (o.timedout) return ::testing::AssertionFailure() << "did not end within the time limit";
  if (!o.exited) return ::testing::AssertionFailure() << "killed by signal " << o.signal << "\n" << o.err;
  if (o.status != status)
    return ::testing::AssertionFailure() << "exit status " << o.status << ", expected " << status
                                         << "\nstdout: " << o.out << "\nstderr: " << o.err;
  return ::testing::AssertionSuccess();
}

// Little-endian 16-bit samples read back from a WAV file written by the decoder.
std::vector<int16_t> wav_samples(const std::string& bytes) {
  std::vector<int16_t> s;
  for (size_t i = 44; i + 1 < bytes.size(); i += 2)
    s.push_back(
        static_cast<int16_t>(static_cast<uint8_t>(bytes[i]) | static_cast<uint8_t>(bytes[i + 1]) << 8));
  return s;
}

#ifdef VELKCODER_PATH

class VelkcoderBadInput : public ::testing::Test {
 protected:
  TempDir dir;
  std::string f0 = dir.path("f0"), cc = dir.path("cc"), fv = dir.path("fv");

  RunResult encode(const std::string& wav, std::vector<std::string> options = {}) {
    std::vector<std::string> args{wav, f0, cc, fv};
    args.insert(args.end(), options.begin(), options.end());
    return run_program(VELKCODER_PATH, args);
  }
  bool nothing_written() const { return !file_exists(f0) && !file_exists(cc) && !file_exists(fv); }
};

// Stereo files and other rates or sample sizes are read converted; these cannot be read at all.
TEST_F(VelkcoderBadInput, UnreadableWavFilesAreReportedAndSkipped) {
  const std::string inputs[] = {
      dir.path("missing.wav"),
      dir.write("empty.wav", ""),
      dir.write("truncated.wav", sine_wav(1600, 200).substr(0, 20)),
      dir.write("nodata.wav", wav_header(1, 16000, 16, 0)),
      dir.write("text.wav", "this is not a wav file at all, just some text\n"),
      dir.path(""),  // the directory itself
  };
  for (const std::string& in : inputs) {
    const RunResult o = encode(in);
    EXPECT_TRUE(Exited(o, 1)) << in;
    EXPECT_EQ(o.out.rfind("Error: could not open " + in + ".\nError: " + in + ": ", 0), 0u) << o.out;
    EXPECT_EQ(std::count(o.out.begin(), o.out.end(), '\n'), 2) << o.out;
    EXPECT_TRUE(nothing_written()) << in;
  }
}

// A set is written whole or not at all: the stream that could be written is not left beside
// the old files of its set, and the message says so.
TEST_F(VelkcoderBadInput, UncreatableOutputsAreReportedAndTheOthersNotWritten) {
  const std::string wav = dir.write("in.wav", sine_wav(1600, 200));
  const std::string nodir = dir.path("no/such/dir/f0");
  const RunResult o = run_program(VELKCODER_PATH, {wav, nodir, dir.path(""), fv});
  EXPECT_TRUE(Exited(o, 1));
  EXPECT_EQ(o.out, "Error: could not create " + nodir + ".\nError: could not create " + dir.path("") +
                       ".\nError: could not create " + nodir + ".json.\nWarning: " + fv +
                       " not written: its set failed.\n");
  EXPECT_FALSE(file_exists(fv));
  EXPECT_EQ(std::system(("test $(ls -A '" + dir.dir() + "' | wc -l) -eq 1").c_str()), 0);  // in.wav only
}

TEST_F(VelkcoderBadInput, NonFiniteAndOutOfRangeOptionsAreArgumentErrors) {
  const std::string wav = dir.write("in.wav", sine_wav(1600, 200));
  for (const char* option : {"--alpha=nan", "--alpha=inf", "--f0min=nan", "--f0max=inf", "--f0min=-inf",
                             "--lframe=0", "--lframe=-80", "--ccord=-1", "--lframe=99999999999"}) {
    const RunResult o = encode(wav, {option});
    EXPECT_TRUE(Exited(o, 255)) << option;
    EXPECT_TRUE(refusesargument(o.out, "velkcoder", option + std::string(":"))) << option << o.out;
    EXPECT_TRUE(nothing_written()) << option;
  }
}

TEST_F(VelkcoderBadInput, MalformedIndexListStopsBeforeAnyFile) {
  const std::string wav = dir.write("in.wav", sine_wav(1600, 200));
  for (const char* list : {"--indlist=3-1", "--indlist=1,-3", "--indlist=99999999999", "--indlist=1-3("}) {
    const RunResult o = encode(wav, {list});
    EXPECT_TRUE(Exited(o, 255)) << list;
    EXPECT_EQ(o.out, "Error: bad formatted indlist.\n") << list;
    EXPECT_TRUE(nothing_written());
  }
}

TEST_F(VelkcoderBadInput, LoadedLogF0WithNonFiniteValuesGivesCompleteStreams) {
  const std::string wav = dir.write("in.wav", sine_wav(1600, 200));
  std::vector<float> logf0(20, std::log(200.0f));
  logf0[3] = kNaN;
  logf0[4] = kInf;
  logf0[5] = -kInf;
  logf0[6] = 1e30f;
  const std::string f0 = dir.write("f0", float_bytes(logf0));
  const RunResult o = encode(wav, {"--f0load=1"});
  EXPECT_TRUE(Exited(o, 0));
  // The NaN and the two infinite F0 values count as unvoiced; -inf is unvoiced as written.
  EXPECT_EQ(o.out,
            "Warning: 3 log-F0 values of " + f0 + " lie outside 30 to 8000 Hz and count as unvoiced.\n");
  EXPECT_EQ(file_size(cc), 20 * 40 * 4);
  EXPECT_EQ(file_size(fv), 20 * 4);
}

// A 144-byte file whose data chunk claims 256 MiB or 4 GiB of samples: the encoder analyses
// the 50 samples the file holds (one frame) instead of minutes of silence that are not in it.
TEST_F(VelkcoderBadInput, DataSizeBeyondTheFileEndsPromptly) {
  const std::string pcm = sine_wav(50, 200).substr(44);
  RunSettings within_a_minute;
  within_a_minute.seconds = 60;
  for (uint32_t claim : {0x10000000u, 0xFFFFFFF0u}) {
    const std::string wav = dir.write("claim.wav", wav_header(1, 16000, 16, claim) + pcm);
    const RunResult o = run_program(VELKCODER_PATH, {wav, f0, cc, fv}, within_a_minute);
    EXPECT_TRUE(Exited(o, 0)) << claim;
    EXPECT_EQ(file_size(f0), 4) << claim;
    EXPECT_EQ(file_size(cc), 40 * 4) << claim;
  }
}

// Float files on a scale the analysis cannot take are refused before any stream is written;
// one above full scale is analysed with a warning, and no stream holds a NaN or an infinity.
TEST_F(VelkcoderBadInput, NonFiniteAndExtremeFloatSamplesAreRefusedOrWarned) {
  std::vector<double> voice;
  for (int16_t v : steady_voice(0.5, 150.0)) voice.push_back(v / 32768.0);
  double peak = 0;
  for (double v : voice) peak = std::max(peak, std::fabs(v));
  for (double bad : {static_cast<double>(kNaN), static_cast<double>(kInf), -static_cast<double>(kInf)}) {
    std::vector<double> x = voice;
    x[4000] = bad;
    const std::string wav = dir.write("bad.wav", float_wav(x, 32));
    const RunResult o = encode(wav);
    EXPECT_TRUE(Exited(o, 1)) << bad;
    EXPECT_NE(o.out.find("Error: " + wav + " holds non-finite samples.\n"), std::string::npos) << o.out;
    EXPECT_TRUE(nothing_written());
  }
  std::vector<double> huge = voice, loud = voice;
  for (double& v : huge) v *= 1e300 / peak;
  for (double& v : loud) v *= 2 / peak;
  const std::string hugewav = dir.write("huge.wav", float_wav(huge, 64));
  const RunResult refused = encode(hugewav);
  EXPECT_TRUE(Exited(refused, 1));
  EXPECT_NE(
      refused.out.find("Error: " + hugewav + " holds samples beyond 1000 times full scale (peak 1e+300).\n"),
      std::string::npos)
      << refused.out;
  EXPECT_TRUE(nothing_written());
  const std::string loudwav = dir.write("loud.wav", float_wav(loud, 64));
  const RunResult warned = encode(loudwav);
  EXPECT_TRUE(Exited(warned, 0));
  EXPECT_NE(warned.out.find("Warning: " + loudwav +
                            " holds samples beyond full scale (peak 2); they are analysed as they are.\n"),
            std::string::npos)
      << warned.out;
  for (const std::string& stream : {f0, cc, fv}) {
    const std::vector<float> values = floats_of(file_contents(stream));
    EXPECT_FALSE(values.empty());
    for (float v : values) ASSERT_TRUE(std::isfinite(v)) << stream;
  }
}

#endif  // VELKCODER_PATH

#ifdef VELKDECODER_PATH

class VelkdecoderBadInput : public ::testing::Test {
 protected:
  TempDir dir;
  std::string out = dir.path("out.wav");
  static constexpr int kFrames = 20, kOrder = 39;

  std::string f0(std::vector<float> v = {}) {
    if (v.empty()) v.assign(kFrames, std::log(150.0f));
    return dir.write("f0", float_bytes(v));
  }
  std::string cc(std::vector<float> v = {}) {
    if (v.empty()) {
      v.assign(kFrames * (kOrder + 1), 0.0f);
      for (int k = 0; k < kFrames; ++k)
        v[k * (kOrder + 1)] = 5.0f - 7.0f;  // c0 after adaptation, no clipping
    }
    return dir.write("cc", float_bytes(v));
  }
  std::string fv(std::vector<float> v = {}) {
    if (v.empty()) v.assign(kFrames, 4000.0f);
    return dir.write("fv", float_bytes(v));
  }
  RunResult decode(std::vector<std::string> args) { return run_program(VELKDECODER_PATH, args); }
  // The one line that reports output samples beyond the 16-bit range.
  bool clipping_warning(const std::string& text) const {
    const std::string tail = " samples clipped in " + out + "; --wavnorm=1 scales the output to fit.\n";
    return text.rfind("Warning: ", 0) == 0 && text.size() > tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0 &&
           text.find('\n') == text.size() - 1;
  }
  // (N + 1) x 80 + 1 samples after a 44-byte header.
  static long complete_size(int frames, int shift = 80) { return 44 + 2L * ((frames + 1) * shift + 1); }
};

TEST_F(VelkdecoderBadInput, UnreadableStreamsAreReportedAndNothingIsWritten) {
  const std::string missing = dir.path("missing"), empty = dir.write("empty", ""),
                    short3 = dir.write("three", "abc");
  const std::string good_f0 = f0(), good_cc = cc();
  for (const std::string& bad : {missing, empty, short3, dir.path("")}) {
    RunResult o = decode({bad, good_cc, out});
    EXPECT_TRUE(Exited(o, 1));
    EXPECT_EQ(o.out, "Error: could not open " + bad + ".\n");
    o = decode({good_f0, bad, out});
    EXPECT_TRUE(Exited(o, 1));
    EXPECT_EQ(o.out, "Error: could not open " + bad + ".\n");
    EXPECT_FALSE(file_exists(out)) << bad;
  }
}

TEST_F(VelkdecoderBadInput, WrongDimensionsAreReported) {
  const std::string good_f0 = f0();
  // 7 values per frame plus one, and fewer values than frames.
  for (int values : {kFrames * 7 + 1, kFrames - 1}) {
    const std::string bad_cc = cc(std::vector<float>(values, 0.0f));
    const RunResult o = decode({good_f0, bad_cc, out});
    EXPECT_TRUE(Exited(o, 1));
    EXPECT_EQ(o.out, "Error: " + good_f0 + " and " + bad_cc + " have incompatible dimensions.\n");
    EXPECT_FALSE(file_exists(out));
  }
}

TEST_F(VelkdecoderBadInput, ShortOrUnreadableVoicingIsAWarningAndTheWaveIsComplete) {
  const std::string good_f0 = f0(), good_cc = cc(), short_fv = fv(std::vector<float>(kFrames - 1, 4000.0f));
  RunResult o = decode({good_f0, good_cc, short_fv, out});
  EXPECT_TRUE(Exited(o, 0));
  EXPECT_EQ(o.out, "Warning: " + good_f0 + " and " + short_fv + " have incompatible dimensions.\n");
  EXPECT_EQ(file_size(out), complete_size(kFrames));

  o = decode({good_f0, good_cc, dir.path(""), out});
  EXPECT_TRUE(Exited(o, 0));
  EXPECT_EQ(o.out, "Warning: could not open " + dir.path("") + ".\n");
  EXPECT_EQ(file_size(out), complete_size(kFrames));
}

TEST_F(VelkdecoderBadInput, NonFiniteStreamValuesGiveACompleteWave) {
  std::vector<float> logf0(kFrames, std::log(150.0f));
  logf0[2] = kNaN;
  logf0[3] = kInf;
  logf0[4] = -kInf;
  logf0[5] = 80.0f;  // F0 of about 5e34 Hz
  logf0[6] = -80.0f;
  std::vector<float> c(kFrames * (kOrder + 1), 0.0f);
  c[8 * (kOrder + 1)] = kNaN;
  c[9 * (kOrder + 1) + 3] = kInf;
  c[10 * (kOrder + 1)] = 1e30f;
  std::vector<float> v(kFrames, 4000.0f);
  v[12] = kNaN;
  v[13] = -kInf;
  v[14] = 1e30f;
  const RunResult o = decode({f0(logf0), cc(c), fv(v), out});
  EXPECT_TRUE(Exited(o, 0));
  // The corrupt frames (2, 3, 8, 9, 12, 13) and the level of e^1e30 that overflows (frame 10) are
  // silent and named; other frames may clip.
  const std::string silenced =
      "Warning: synthesis of frames 2 to 13 of " + out + " is not finite; they are silent.\n";
  ASSERT_EQ(o.out.rfind(silenced, 0), 0u) << o.out;
  const std::string rest = o.out.substr(silenced.size());
  EXPECT_TRUE(rest.empty() || clipping_warning(rest)) << rest;
  EXPECT_EQ(file_size(out), complete_size(kFrames));
}

// Cepstra whose synthesis overflows (c0 = 1000 in every frame of the speech sample's streams)
// give silence, with a warning that names the frames, instead of non-finite samples written as
// zeros without a word.
TEST_F(VelkdecoderBadInput, SynthesisThatIsNotFiniteIsSilentWithAWarning) {
  const std::string lf0 = dir.path("s.lf0"), ccpath = dir.path("s.cc"), fvpath = dir.path("s.fv");
  ASSERT_TRUE(Exited(run_program(VELKCODER_PATH,
                                 {std::string(VELK_SAMPLES_DIR) + "/en_vm-deleted.wav", lf0, ccpath, fvpath}),
                     0));
  std::vector<float> c = floats_of(file_contents(ccpath));
  const size_t frames = c.size() / (kOrder + 1);
  for (size_t k = 0; k < frames; ++k) c[k * (kOrder + 1)] = 1000.0f;
  write_file(ccpath, float_bytes(c));
  const RunResult o = decode({lf0, ccpath, fvpath, out});
  EXPECT_TRUE(Exited(o, 0));
  EXPECT_EQ(o.out, "Warning: synthesis of frames 0 to " + std::to_string(frames - 1) + " of " + out +
                       " is not finite; they are silent.\n");
  for (int16_t v : wav_samples(file_contents(out))) ASSERT_EQ(v, 0);
  EXPECT_EQ(file_size(out), complete_size(static_cast<int>(frames)));
}

TEST_F(VelkdecoderBadInput, NonFiniteOptionsAreClampedOrRefused) {
  const std::string good_f0 = f0(), good_cc = cc();
  for (const char* option :
       {"--fdur=nan", "--fdur=inf", "--fpitch=inf", "--fpitch=nan", "--fvpitch=nan", "--fwarp=nan",
        "--fwarp=-inf", "--floud=inf", "--fpfilt=nan", "--fdrc=nan", "--alpha=nan", "--alpha=inf"}) {
    std::remove(out.c_str());
    const RunResult o = decode({good_f0, good_cc, out, option});
    ASSERT_FALSE(o.timedout) << option;
    ASSERT_TRUE(o.exited) << option << " signal " << o.signal;
    if (o.status == 255) {
      EXPECT_TRUE(refusesargument(o.out, "velkdecoder", option + std::string(":"))) << option << o.out;
      EXPECT_FALSE(file_exists(out)) << option;
      continue;
    }
    EXPECT_EQ(o.status, 0) << option;
    EXPECT_TRUE(o.out.empty() || clipping_warning(o.out)) << option << ": " << o.out;  // floud=inf: 4
    // A complete wave for a synthesis shift between 20 (fdur 0.25) and 320 (fdur 4) samples.
    const long size = file_size(out);
    const long shift = (size - 44) / 2 / (kFrames + 1);
    EXPECT_EQ(size, complete_size(kFrames, static_cast<int>(shift))) << option;
    EXPECT_TRUE(shift >= 20 && shift <= 320) << option << " shift " << shift;
  }
}

TEST_F(VelkdecoderBadInput, OutputThatWouldOverflowAWavFileIsRefused) {
  const RunResult o = decode({f0(), cc(), out, "--lframe=2000000000"});
  EXPECT_TRUE(Exited(o, 1));
  EXPECT_NE(o.out.find("Error: "), std::string::npos) << o.out;
  EXPECT_FALSE(file_exists(out));
}

TEST_F(VelkdecoderBadInput, UncreatableOutputIsReported) {
  const std::string nodir = dir.path("no/such/dir/out.wav");
  for (const std::string& target : {nodir, dir.path("")}) {
    const RunResult o = decode({f0(), cc(), target});
    EXPECT_TRUE(Exited(o, 1));
    EXPECT_EQ(o.out, "Error: could not create " + target + ".\n");
  }
}

TEST_F(VelkdecoderBadInput, SilentFramesOfNonFiniteParametersStaySilent) {
  std::vector<float> logf0(kFrames, std::log(150.0f));
  std::vector<float> c(kFrames * (kOrder + 1), 0.0f);
  for (int k = 0; k < kFrames; ++k) c[k * (kOrder + 1)] = 2.0f;
  for (int j = 0; j <= kOrder; ++j) c[10 * (kOrder + 1) + j] = kNaN;
  const RunResult o = decode({f0(logf0), cc(c), out});
  ASSERT_TRUE(Exited(o, 0));
  EXPECT_EQ(o.out.rfind(
                "Warning: synthesis of frames 10 to 10 of " + out + " is not finite; they are silent.\n", 0),
            0u)
      << o.out;
  const std::vector<int16_t> s = wav_samples(file_contents(out));
  ASSERT_EQ(s.size(), static_cast<size_t>((kFrames + 1) * 80 + 1));
  int loud = 0;
  for (int16_t v : s) loud += v != 0;
  EXPECT_GT(loud, 0) << "the finite frames are synthesised";
}

#endif  // VELKDECODER_PATH

// The stream commands share their option handling and input opening.
struct StreamCommand {
  const char* name;
  const char* path;
  std::vector<std::string> before_input;            // arguments every run needs before the input file
  const char* usage_end = " ZEVK: version 3.11\n";  // a line that ends the usage text
};

void PrintTo(const StreamCommand& c, std::ostream* os) {
  *os << c.name;
}

std::vector<StreamCommand> stream_commands() {
  std::vector<StreamCommand> c;
#ifdef RECSLICE_PATH
  c.push_back({"recslice", RECSLICE_PATH, {}});
#endif
#ifdef SNR_PATH
  c.push_back({"snr", SNR_PATH, {}});
#endif
#ifdef BIQUAD_PATH
  c.push_back({"biquad", BIQUAD_PATH, {"-p", "1000", "100"}});
#endif
#ifdef LAGCORR_PATH
  c.push_back({"lagcorr", LAGCORR_PATH, {}});
#endif
#ifdef PITCH_PATH
  c.push_back({"pitch", PITCH_PATH, {}, "       one 32-bit float per frame\n\n"});
#endif
  return c;
}

class StreamCommandBadInput : public ::testing::TestWithParam<StreamCommand> {
 protected:
  TempDir dir;
  // snr compares a reference file with its input; the others read the input alone.
  std::vector<std::string> with_input(const std::string& input) {
    std::vector<std::string> args = GetParam().before_input;
    if (std::strcmp(GetParam().name, "snr") == 0)
      args.push_back(dir.write("reference", float_bytes({1, 2, 3})));
    args.push_back(input);
    return args;
  }
};

TEST_P(StreamCommandBadInput, MissingFileOrDirectoryIsRefusedWithStatus1) {
  for (const std::string& input : {dir.path("missing"), dir.path("")}) {
    const RunResult o = run_program(GetParam().path, with_input(input));
    EXPECT_TRUE(Exited(o, 1)) << input;
    EXPECT_NE(o.err.find(input), std::string::npos) << "message names the file: " << o.err;
    EXPECT_EQ(o.out, "") << input;
  }
}

TEST_P(StreamCommandBadInput, UnknownOptionIsRefusedWithTheUsageText) {
  const RunResult o = run_program(GetParam().path, {"-Z"});
  EXPECT_TRUE(Exited(o, 1));
  EXPECT_EQ(o.err.rfind(std::string(GetParam().name) + " : Invalid option 'Z'!\n", 0), 0u) << o.err;
  EXPECT_NE(o.err.find(GetParam().usage_end), std::string::npos) << o.err;
  EXPECT_EQ(o.out, "");
}

TEST_P(StreamCommandBadInput, OptionWithoutItsValueIsRefused) {
  // The last argument is an option letter every command takes a value for.
  const char* option = std::strcmp(GetParam().name, "lagcorr") == 0 ? "-m" : "-s";
  if (std::strcmp(GetParam().name, "snr") == 0) option = "-l";
  const RunResult o = run_program(GetParam().path, {option});
  EXPECT_TRUE(Exited(o, 1)) << option;
  EXPECT_NE(o.err.find("usage:"), std::string::npos) << o.err;
  EXPECT_EQ(o.out, "");
}

TEST_P(StreamCommandBadInput, EmptyTruncatedAndNonFiniteInputsEndCleanly) {
  std::vector<float> odd(400, 0.25f);
  odd[7] = kNaN;
  odd[9] = kInf;
  odd[11] = -kInf;
  const std::string inputs[] = {dir.write("empty", ""), dir.write("three", "abc"),
                                dir.write("nonfinite", float_bytes(odd))};
  for (const std::string& input : inputs) {
    const RunResult o = run_program(GetParam().path, with_input(input));
    ASSERT_FALSE(o.timedout) << input;
    ASSERT_TRUE(o.exited) << input << " signal " << o.signal;
    // The stream commands read to the end (0); pitch and snr may refuse a bad stream (1), then
    // with a message and no output.
    if (o.status != 0) {
      EXPECT_EQ(o.status, 1) << input;
      EXPECT_NE(o.err, "") << input;
      EXPECT_EQ(o.out, "") << input;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Commands, StreamCommandBadInput, ::testing::ValuesIn(stream_commands()),
                         [](const ::testing::TestParamInfo<StreamCommand>& i) {
                           return std::string(i.param.name);
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(StreamCommandBadInput);

#ifdef LAGCORR_PATH
TEST(LagcorrBadInput, HugeFrameOrOrderIsRefusedOrReadsNothing) {
  TempDir dir;
  const std::string input = dir.write("in", float_bytes(std::vector<float>(64, 0.5f)));
  for (const char* size : {"2147483647", "-2147483648", "99999999999"}) {
    for (const char* option : {"-l", "-m"}) {
      const RunResult o = run_program(LAGCORR_PATH, {option, size, input});
      ASSERT_FALSE(o.timedout) << option << size;
      ASSERT_TRUE(o.exited) << option << size << " signal " << o.signal;
      EXPECT_TRUE(o.status == 0 || o.status == 1 || o.status == 3) << option << size << ": " << o.status;
      if (o.status != 0) {
        EXPECT_NE(o.err, "") << option << size;
      }
    }
  }
}
#endif

#ifdef RECSLICE_PATH
TEST(RecsliceBadInput, ExtremeRangesCopyWithinTheInput) {
  TempDir dir;
  const std::string data = float_bytes({1, 2, 3, 4, 5, 6, 7, 8});
  const std::string input = dir.write("in", data);
  struct Case {
    std::vector<std::string> args;
    std::string expected;
  } cases[] = {
      {{"-s", "9223372036854775807", "-l", "2147483647", input}, ""},
      // A negative start skips nothing and the saturated count reaches past the end.
      {{"-s", "-9223372036854775807", "-e", "1", input}, data},
      {{"-s", "6", "-e", "-9223372036854775807", input}, data.substr(24)},
      {{"-l", "-5", "-e", "3", input}, data},
  };
  for (const Case& c : cases) {
    const RunResult o = run_program(RECSLICE_PATH, c.args);
    EXPECT_TRUE(Exited(o, 0)) << c.args[1];
    EXPECT_EQ(o.out, c.expected) << c.args[1] << " " << c.args[3];
  }
}
#endif

#ifdef GRAPH_PATH
TEST(GraphBadInput, MissingFileAndBadOptionsAreRefused) {
  TempDir dir;
  const std::string missing = dir.path("missing.txt");
  RunResult o = run_program(GRAPH_PATH, {missing});
  EXPECT_TRUE(Exited(o, 1));
  EXPECT_EQ(o.err, "graph : Cannot open file '" + missing + "'!\n");
  EXPECT_EQ(o.out, "");
  for (const std::vector<std::string>& args : {std::vector<std::string>{"-W"}, {"-W", "wide"}, {"-Z"}}) {
    o = run_program(GRAPH_PATH, args);
    EXPECT_TRUE(Exited(o, 1)) << args[0];
    EXPECT_NE(o.err.find(" ZEVK: version 3.11\n"), std::string::npos) << o.err;
    EXPECT_EQ(o.out, "");
  }
}

TEST(GraphBadInput, NonFiniteAndDegenerateDescriptionsEnd) {
  TempDir dir;
  const std::string descriptions[] = {
      "x 0 1e309\ny nan inf\nxscale 0 0.5 1\n0.5 nan\ninf 1\neod\n",
      "x 0 0\ny 5 5\nxscale 0 1e-300 1\nygrid 1e-308\ncircle 0 0 -1 0 1e300\n",
      "x log 0 -1\ny mel0.42 0 0\nxscale 0 1 2\nyscale 0 1\n1 1\neod\n",
      std::string("\0\0\xff\n", 4),
      std::string(600, 'x') + "\n" + "mark " + std::string(400, 'm') + "\n1 1\neod\n",
  };
  for (const std::string& text : descriptions) {
    const RunResult o = run_program(GRAPH_PATH, {dir.write("g.txt", text)});
    EXPECT_TRUE(Exited(o, 0)) << text.substr(0, 40);
    EXPECT_EQ(o.out.substr(0, 2), "=\n") << "a plotter stream is written";
  }
}

// A directory opens for reading and then reads as an empty description: it is refused rather
// than drawn as an empty page.
TEST(GraphBadInput, DirectoryIsRefused) {
  TempDir dir;
  const RunResult o = run_program(GRAPH_PATH, {dir.path("")});
  EXPECT_TRUE(Exited(o, 1));
  EXPECT_EQ(o.out, "");
}
#endif

#ifdef PITCH_PATH
TEST(PitchBadInput, NonFiniteOrImpossibleSettingsAreRefused) {
  TempDir dir;
  const std::string input = dir.write("in", float_bytes(std::vector<float>(1600, 100.0f)));
  const std::vector<std::vector<std::string>> cases = {
      {"-s", "nan"},         {"-s", "inf"}, {"-L", "nan"}, {"-H", "-inf"},
      {"-p", "0"},           {"-p", "-80"}, {"-s", "0"},   {"-L", "500", "-H", "60"},
      {"-p", "99999999999"}, {"-a", "7"}};
  for (const std::vector<std::string>& options : cases) {
    std::vector<std::string> args = options;
    args.push_back(input);
    const RunResult o = run_program(PITCH_PATH, args);
    EXPECT_TRUE(Exited(o, 1)) << options[0] << " " << options[1];
    // Option values are refused by the command ("pitch : ..."), ranges by the tracker ("ERROR: ...").
    EXPECT_TRUE(o.err.rfind("pitch : ", 0) == 0 || o.err.rfind("ERROR: ", 0) == 0) << o.err;
    EXPECT_EQ(o.out, "") << options[0] << " " << options[1];
  }
}
#endif

#ifdef PLOTVIEW_PATH
TEST(PlotviewBadInput, InputNotAPlotterStreamOrNoDisplayIsRefused) {
  RunResult o = run_program(PLOTVIEW_PATH, {}, stdin_bytes(""));
  EXPECT_TRUE(Exited(o, 255));
  EXPECT_EQ(o.err, "");
  o = run_program(PLOTVIEW_PATH, {}, stdin_bytes(std::string("\xff\x01\x02", 3)));
  EXPECT_TRUE(Exited(o, 255));
  o = run_program(PLOTVIEW_PATH, {}, stdin_bytes("M 100 100\n"));
  EXPECT_TRUE(Exited(o, 255));
  EXPECT_EQ(o.err, "plotview : Unexpected data format!\n");
  o = run_program(PLOTVIEW_PATH, {"-d", "no.such.host:77"}, stdin_bytes("=1\n"));
  EXPECT_TRUE(Exited(o, 2));
  EXPECT_EQ(
      o.err,
      "plotview: Can't open display 'no.such.host:77'\nplotview: without a display, write the picture into "
      "a file: -o FILE.png (or .svg, .pdf)\n");
  o = run_program(PLOTVIEW_PATH, {"-s", "nan"}, stdin_bytes("=1\n"));
  ASSERT_FALSE(o.timedout);
  EXPECT_TRUE(o.exited) << "signal " << o.signal;
}
#endif

}  // namespace
