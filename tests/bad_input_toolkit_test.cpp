// Bad input to the toolkit commands (pitch and the stream commands): option values that do not
// parse whole or do not fit, enumerations out of their set, sizes the commands cannot hold,
// degenerate inputs. Every case runs the program as a child process and checks its exact
// message, status and output.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "childprocess.h"
#include "riffbytes.h"
#include "testfiles.h"

namespace {

// An address-space limit stops a program built with the address sanitizer before it starts (its
// shadow memory is reserved up front): the tests of memory bounds need the plain build.
#ifdef VELK_SANITIZED_BUILD
const bool kAddressLimitsWork = false;
#else
const bool kAddressLimitsWork = true;
#endif

// Runs the program on `input` (standard input) and expects status 1, the message and no output.
void expect_refused(const std::string& program, const std::vector<std::string>& args, const std::string& err,
                    const std::string& input = std::string(400, '\0')) {
  RunSettings how;
  how.input = input;
  how.seconds = 60;
  const RunResult r = run_program(program, args, how);
  std::string shown;
  for (const std::string& a : args) shown += a + " ";
  ASSERT_TRUE(r.exited) << shown << "signal " << r.signal << (r.timedout ? " (timed out)" : "");
  EXPECT_EQ(r.status, 1) << shown;
  EXPECT_EQ(r.err.substr(0, err.size()), err) << shown;
  EXPECT_EQ(r.out, "") << shown;
}

RunResult run_with_input(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input) {
  RunSettings how;
  how.input = input;
  how.seconds = 60;
  return run_program(program, args, how);
}

std::vector<float> ramp(size_t n, float scale) {
  std::vector<float> v(n);
  for (size_t i = 0; i < n; i++) v[i] = scale * static_cast<float>(std::sin(0.05 * i) + 0.01 * (i % 7));
  return v;
}

#ifdef LAGCORR_PATH
TEST(LagcorrOptions, SizesBeyondWhatTheCommandHoldsAreTooLarge) {
  expect_refused(LAGCORR_PATH, {"-m", "2147483647"},
                 "lagcorr : Value 2147483647 for option '-m' is too large (at most 16777216)!\n");
  expect_refused(LAGCORR_PATH, {"-m", "2147483648"},
                 "lagcorr : Value 2147483648 for option '-m' is too large (at most 16777216)!\n");
  expect_refused(LAGCORR_PATH, {"-l99999999999999999999"},
                 "lagcorr : Value 99999999999999999999 for option '-l' is too large (at most 16777216)!\n");
  expect_refused(LAGCORR_PATH, {"-m", "-2147483649"}, "lagcorr : Order must not be negative!\n");
}

TEST(LagcorrOptions, ValuesThatAreNotWholeNumbersAreRefused) {
  TempDir dir;
  const std::string file = dir.write("ok.f32", float_bytes(ramp(512, 1.0f)));
  expect_refused(LAGCORR_PATH, {"-m", "abc"}, "lagcorr : Invalid value 'abc' for option '-m'!\n");
  // A file name where the order belongs is not read as order 0.
  expect_refused(LAGCORR_PATH, {"-m", file}, "lagcorr : Invalid value '" + file + "' for option '-m'!\n");
  expect_refused(LAGCORR_PATH, {"-l", "1e3"}, "lagcorr : Invalid value '1e3' for option '-l'!\n");
  expect_refused(LAGCORR_PATH, {"-l25x"}, "lagcorr : Invalid value '25x' for option '-l'!\n");
  expect_refused(LAGCORR_PATH, {"-m", " 4"}, "lagcorr : Invalid value ' 4' for option '-m'!\n");
}

// The stream routines report failures to the command, which ends with the statuses they always had.
TEST(LagcorrOptions, UnopenableFileEndsWith1AndShortMemoryWith3) {
  RunResult r = run_program(LAGCORR_PATH, {"/nonexistent/in.f32"});
  EXPECT_TRUE(r.exited && r.status == 1) << r.status;
  EXPECT_EQ(r.err, "Cannot open file /nonexistent/in.f32!\n");
  if (!kAddressLimitsWork) return;
  RunSettings how;
  how.memorylimit = 128ull << 20;  // the frame and its lags need 256 MB
  r = run_program(LAGCORR_PATH, {"-l", "16777216", "-m", "16777216"}, how);
  EXPECT_TRUE(r.exited && r.status == 3) << r.status;
  EXPECT_EQ(r.err, "Cannot allocate memory!\n");
  EXPECT_EQ(r.out, "");
}

TEST(LagcorrOptions, LargestSizesStillWork) {
  const RunResult r = run_with_input(LAGCORR_PATH, {"-m", "16777216", "-l", "4"}, float_bytes({1, 2, 3, 4}));
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.status, 0) << r.err;
  const std::vector<float> lags = floats_of(r.out);
  ASSERT_EQ(lags.size(), 16777217u);
  EXPECT_EQ(lags[0], 30.0f);
  EXPECT_EQ(lags[3], 4.0f);
  EXPECT_EQ(lags[4], 0.0f);
}
#endif

#ifdef RECSLICE_PATH
TEST(RecsliceOptions, NumbersMustParseWholeAndFit) {
  expect_refused(RECSLICE_PATH, {"-n", "2147483647"},
                 "recslice : Value 2147483647 for option '-n' is too large (at most 2147483646)!\n");
  expect_refused(RECSLICE_PATH, {"-l", "4294967306"},
                 "recslice : Value 4294967306 for option '-l' is too large (at most 2147483647)!\n");
  expect_refused(RECSLICE_PATH, {"-s", "abc"}, "recslice : Invalid value 'abc' for option '-s'!\n");
  expect_refused(RECSLICE_PATH, {"-e", "3.5"}, "recslice : Invalid value '3.5' for option '-e'!\n");
  expect_refused(RECSLICE_PATH, {"-s", "9223372036854775808"},
                 "recslice : Value 9223372036854775808 for option '-s' is too large (at most "
                 "9223372036854775807)!\n");
}

TEST(RecsliceOptions, LargestBlockOrderStillCopies) {
  const std::string data = float_bytes({1, 2, 3, 4});
  const RunResult r = run_with_input(RECSLICE_PATH, {"-n", "2147483646"}, data);
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, data);
}
#endif

#ifdef SNR_PATH
class SnrInputs : public ::testing::Test {
 protected:
  TempDir dir;
  std::string reference(const std::vector<float>& x) { return dir.write("ref.f32", float_bytes(x)); }
};

TEST_F(SnrInputs, OptionValuesMustParseWholeAndLieInTheirSet) {
  const std::string ref = reference(ramp(300, 1.0f));
  expect_refused(SNR_PATH, {"-l", "1e3", ref}, "snr : Invalid value '1e3' for option '-l'!\n");
  expect_refused(SNR_PATH, {"-l", "16777217", ref},
                 "snr : Value 16777217 for option '-l' is too large (at most 16777216)!\n");
  expect_refused(SNR_PATH, {"-o", "4", ref}, "snr : Value 4 for option '-o' is too large (at most 3)!\n");
  expect_refused(SNR_PATH, {"-o", "-1", ref}, "snr : Value -1 for option '-o' is too small (at least 0)!\n");
  expect_refused(SNR_PATH, {"-o", "two", ref}, "snr : Invalid value 'two' for option '-o'!\n");
}

TEST_F(SnrInputs, EmptyInputIsAnError) {
  const std::string ref = reference(ramp(300, 1.0f));
  for (const char* type : {"0", "1", "2", "3"}) {
    expect_refused(SNR_PATH, {"-o", type, ref}, "snr : No samples to compare: an input is empty!\n", "");
    expect_refused(SNR_PATH, {"-o", type, dir.write("empty.f32", ""), ref},
                   "snr : No samples to compare: an input is empty!\n", "");
  }
}

TEST_F(SnrInputs, DifferentLengthsAreComparedOverTheShorterWithAWarning) {
  const std::vector<float> x = ramp(1000, 1.0f);
  std::vector<float> y = x;
  y.resize(600);
  y[5] += 0.5f;
  const std::string ref = reference(x);
  RunResult r = run_with_input(SNR_PATH, {ref}, float_bytes(y));
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err,
            "snr : Warning: the inputs differ in length by 400 samples; only the first 600 are compared.\n");
  EXPECT_EQ(r.out.substr(0, 13), "\n600 samples\n") << r.out;
  // The other way round, and 16000 against 1000 (which used to read "inf dB" without a word).
  r = run_with_input(SNR_PATH, {dir.write("short.f32", float_bytes(y))}, float_bytes(x));
  EXPECT_EQ(r.err,
            "snr : Warning: the inputs differ in length by 400 samples; only the first 600 are compared.\n");
  const std::vector<float> long_signal(16000, 1.0f);
  r = run_with_input(SNR_PATH, {reference(std::vector<float>(1000, 1.0f))}, float_bytes(long_signal));
  EXPECT_EQ(
      r.err,
      "snr : Warning: the inputs differ in length by 15000 samples; only the first 1000 are compared.\n");
  // Equal lengths, a whole number of frames: no warning.
  r = run_with_input(SNR_PATH, {reference(std::vector<float>(512, 1.0f))},
                     float_bytes(std::vector<float>(512, 0.5f)));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
}

TEST_F(SnrInputs, InputShorterThanAFrameIsSaidToHaveNoSegmentalSnr) {
  const std::vector<float> x = ramp(100, 1.0f);
  std::vector<float> y = x;
  y[3] = 0.0f;
  const RunResult r = run_with_input(SNR_PATH, {reference(x)}, float_bytes(y));
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "snr : Warning: 100 samples are shorter than one frame of 256; SNRseg is not a number.\n");
  EXPECT_NE(r.out.find("100 samples"), std::string::npos);
}
#endif

#ifdef BIQUAD_PATH
TEST(BiquadOptions, AFileNameOrWordWhereANumberBelongsIsRefused) {
  TempDir dir;
  const std::string file = dir.write("ok.f32", float_bytes(ramp(100, 1.0f)));
  expect_refused(BIQUAD_PATH, {"-p", "500", file},
                 "biquad : Invalid value '" + file + "' for option '-p'!\n");
  expect_refused(BIQUAD_PATH, {"-z", "wide", "100"}, "biquad : Invalid value 'wide' for option '-z'!\n");
  expect_refused(BIQUAD_PATH, {"-s", "16k"}, "biquad : Invalid value '16k' for option '-s'!\n");
}

TEST(BiquadOptions, SettingsThatWouldWriteNonFiniteSamplesAreRefused) {
  for (const char* f : {"nan", "inf", "-inf", "1e309"}) {
    expect_refused(BIQUAD_PATH, {"-p", f, "100"}, std::string("biquad : "));
    expect_refused(BIQUAD_PATH, {"-z", "100", f}, std::string("biquad : "));
  }
  expect_refused(BIQUAD_PATH, {"-p", "500", "-60"}, "biquad : Bandwidth must not be negative!\n");
  expect_refused(BIQUAD_PATH, {"-z", "500", "-1e-9"}, "biquad : Bandwidth must not be negative!\n");
  expect_refused(BIQUAD_PATH, {"-s", "1e-310", "-p", "500", "60"},
                 "biquad : Value 1e-310 for option '-s' is too small (at least 0.001)!\n");
  expect_refused(BIQUAD_PATH, {"-f", "inf", "-p", "500", "60"},
                 "biquad : Value inf for option '-f' is too large");
  expect_refused(BIQUAD_PATH, {"-s", "nan"}, "biquad : Invalid value 'nan' for option '-s'!\n");
}

TEST(BiquadOptions, ExtremeAcceptedSettingsGiveFiniteSamples) {
  const std::string input = float_bytes(ramp(2000, 1.0f));
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"-s", "0.001", "-p", "1e300", "1e300", "-z", "-1e300", "0"},
        {"-s", "1e6", "-p", "0", "0", "-z", "1e6", "1e308"}}) {
    const RunResult r = run_with_input(BIQUAD_PATH, args, input);
    ASSERT_TRUE(r.exited);
    EXPECT_EQ(r.status, 0) << r.err;
    const std::vector<float> y = floats_of(r.out);
    ASSERT_EQ(y.size(), 2000u);
    for (float v : y) ASSERT_TRUE(std::isfinite(v)) << args[1];
  }
}
#endif

#ifdef PITCH_PATH
// A 16-bit mono PCM RIFF/WAVE file of the samples at the rate: the format chunk of the body given
// (or a plain one), then the chunks before "data", the data chunk and the chunks after it.
std::string wav_bytes(const std::vector<int16_t>& samples, uint32_t rate, const std::string& fmt_body,
                      const std::string& before_data = "", const std::string& after_data = "") {
  const std::string fmt = fmt_body.empty() ? wavtest::fmtbody(1, 1, rate, 16) : fmt_body;
  return wavtest::riff(wavtest::chunk("fmt ", fmt) + before_data +
                       wavtest::chunk("data", wavtest::pcm(samples)) + after_data);
}

using wavtest::chunk;

// Voiced speech-like pulses at 125 Hz on the 16-bit scale, n samples at 16 kHz.
std::vector<float> voiced(size_t n, float scale = 8000.0f) {
  std::vector<float> v(n);
  for (size_t i = 0; i < n; i++) {
    const size_t t = i % 128;
    v[i] = scale * static_cast<float>(std::exp(-0.02 * t) * std::sin(0.3 * t));
  }
  return v;
}

std::string usage_start() {
  return "\n pitch - F0 extraction\n";
}

TEST(PitchSettings, BothTrackersRefuseImpossibleSamplingFrequenciesAndRanges) {
  const std::string input = float_bytes(voiced(8000));
  const std::string rate_error =
      "ERROR: sampling frequency must be between 4 and 1000 kHz.\ninvalid/inconsistent parameters -- "
      "exiting.\n" +
      usage_start();
  for (const char* algorithm : {"0", "1"}) {
    expect_refused(PITCH_PATH, {"-a", algorithm, "-s", "1e9"}, rate_error, input);
    expect_refused(PITCH_PATH, {"-a", algorithm, "-s", "1e10"}, rate_error, input);
    const std::string range_error =
        "ERROR: min(max)_f0 parameter inconsistent with sampling frequency.\n"
        "invalid/inconsistent parameters -- exiting.\n" +
        usage_start();
    expect_refused(PITCH_PATH, {"-a", algorithm, "-L", "1e-4", "-H", "1e-3", "-s", "1000"}, range_error,
                   input);
    expect_refused(PITCH_PATH, {"-a", algorithm, "-L", "1"}, range_error, input);
    // 100 samples are too few for either tracker.
    expect_refused(PITCH_PATH, {"-a", algorithm},
                   "input range too small for analysis by zolvar.\n" + usage_start(),
                   float_bytes(voiced(100)));
  }
}

TEST(PitchSettings, TheEpochTrackerRefusesLowestF0sThatMakeItsWorkExplode) {
  const std::string input = float_bytes(voiced(8000));
  expect_refused(PITCH_PATH, {"-a", "1", "-L", "5"},
                 "ERROR: min_f0 of the epoch tracker must be at least 10 Hz.\n"
                 "invalid/inconsistent parameters -- exiting.\n" +
                     usage_start(),
                 input);
  const RunResult ok = run_with_input(PITCH_PATH, {"-a", "1", "-L", "10"}, input);
  ASSERT_TRUE(ok.exited);
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_EQ(ok.out.size(), 100u * 4);
}

TEST(PitchSettings, WavRatesOutsideTheTrackersRangeAreRefusedByBoth) {
  TempDir dir;
  const std::vector<int16_t> samples(40000, 0);
  for (uint32_t rate : {3999u, 1000001u}) {
    const std::string file = dir.write("r.wav", wav_bytes(samples, rate, ""));
    for (const char* algorithm : {"0", "1"})
      expect_refused(PITCH_PATH, {"-a", algorithm, file},
                     "ERROR: sampling frequency must be between 4 and 1000 kHz.\n", "");
  }
}

TEST(PitchSettings, OutputTypeOutsideItsSetIsRefused) {
  for (const char* type : {"3", "-1", "1.5"})
    expect_refused(PITCH_PATH, {"-o", type},
                   std::string("pitch : Invalid value '") + type + "' for option '-o'!\n" + usage_start(),
                   float_bytes(voiced(8000)));
}

// An unvoiced cost so large that every path costs infinity makes the epoch tracking fail; each
// message has its own line.
TEST(PitchSettings, EpochTrackingFailureMessagesEndTheirLines) {
  expect_refused(PITCH_PATH, {"-a", "1", "-t", "1e308"},
                 "Problems in TrackEpochs\nFailed to compute epochs\n", float_bytes(voiced(16000)));
}

TEST(PitchInput, DashReadsStandardInput) {
  const std::string input = float_bytes(voiced(16000));
  for (const char* algorithm : {"0", "1"}) {
    const RunResult plain = run_with_input(PITCH_PATH, {"-a", algorithm}, input);
    const RunResult dash = run_with_input(PITCH_PATH, {"-a", algorithm, "-"}, input);
    ASSERT_TRUE(dash.exited);
    EXPECT_EQ(dash.status, 0) << dash.err;
    EXPECT_EQ(dash.err, "");
    EXPECT_EQ(dash.out, plain.out);
    EXPECT_EQ(dash.out.size(), 200u * 4);
  }
}

TEST(PitchInput, UnitScaleFloatsAreTrackedAsGivenWithAWarningOrScaledWithMinusN) {
  const std::vector<float> speech = voiced(16000);
  std::vector<float> unit(speech.size());
  for (size_t i = 0; i < speech.size(); i++) unit[i] = speech[i] / 32768.0f;
  float peak = 0.0f;
  for (float v : unit) peak = std::max(peak, std::fabs(v));
  char expected[200];
  std::snprintf(expected, sizeof expected,
                "Warning: input peak %g looks like samples on the \xC2\xB1"
                "1 scale; the trackers expect the 16-bit scale (multiply by 32768).\n",
                peak);
  for (const char* algorithm : {"0", "1"}) {
    const RunResult given = run_with_input(PITCH_PATH, {"-a", algorithm}, float_bytes(unit));
    ASSERT_TRUE(given.exited);
    EXPECT_EQ(given.status, 0);
    EXPECT_EQ(given.err, expected);
    EXPECT_EQ(given.out.size(), 200u * 4);
    for (float f : floats_of(given.out)) EXPECT_EQ(f, 0.0f) << "tracked as given: unvoiced";

    // -n multiplies by 32768: the same track as the 16-bit-scale input, without a warning.
    std::vector<float> rescaled(unit.size());
    for (size_t i = 0; i < unit.size(); i++) rescaled[i] = unit[i] * 32768.0f;
    const RunResult scaled = run_with_input(PITCH_PATH, {"-a", algorithm, "-n"}, float_bytes(unit));
    const RunResult reference = run_with_input(PITCH_PATH, {"-a", algorithm}, float_bytes(rescaled));
    EXPECT_EQ(scaled.status, 0);
    EXPECT_EQ(scaled.err, "");
    EXPECT_EQ(scaled.out, reference.out);
    int voiced_frames = 0;
    for (float f : floats_of(scaled.out)) voiced_frames += f > 0.0f;
    EXPECT_GT(voiced_frames, 150);
  }
  // All zeros, or samples on the 16-bit scale: no warning.
  EXPECT_EQ(run_with_input(PITCH_PATH, {}, float_bytes(std::vector<float>(16000, 0.0f))).err, "");
  EXPECT_EQ(run_with_input(PITCH_PATH, {}, float_bytes(speech)).err, "");
}

// A bad sample or a partial last sample ends the input where it stands: every frame of the good
// samples before it is written (the track of those samples alone), then the message, status 1.
TEST(PitchInput, FramesBeforeABadSampleOrAPartialLastSampleAreWrittenFirst) {
  const std::vector<float> speech = voiced(22320);  // 279 frames
  const std::vector<float> before(speech.begin(), speech.begin() + 16000);
  std::vector<float> bad = speech;
  bad[16000] = NAN;
  for (const char* algorithm : {"0", "1"}) {
    const RunResult whole = run_with_input(PITCH_PATH, {"-a", algorithm}, float_bytes(speech));
    const RunResult prefix = run_with_input(PITCH_PATH, {"-a", algorithm}, float_bytes(before));
    ASSERT_EQ(whole.status, 0) << whole.err;
    ASSERT_EQ(whole.out.size(), 279u * 4);
    ASSERT_EQ(prefix.out.size(), 200u * 4);

    const RunResult nan = run_with_input(PITCH_PATH, {"-a", algorithm}, float_bytes(bad));
    ASSERT_TRUE(nan.exited);
    EXPECT_EQ(nan.status, 1);
    EXPECT_EQ(nan.err, "pitch : Input sample is not a finite number in standard input!\n");
    EXPECT_EQ(nan.out, prefix.out) << "algorithm " << algorithm;

    const RunResult ragged = run_with_input(PITCH_PATH, {"-a", algorithm}, float_bytes(speech) + "ab");
    ASSERT_TRUE(ragged.exited);
    EXPECT_EQ(ragged.status, 1);
    EXPECT_EQ(ragged.err, "pitch : Input ends inside a sample in standard input!\n");
    EXPECT_EQ(ragged.out, whole.out) << "algorithm " << algorithm;
  }
}

TEST(PitchInput, UsageShowsMinusNBelowTheExistingLines) {
  const RunResult r = run_with_input(PITCH_PATH, {"-h"}, "");
  EXPECT_EQ(r.status, 0);
  const size_t help = r.err.find("       -h    : print this message\n");
  const size_t n = r.err.find(
      "       -n    : float input on the \xC2\xB1"
      "1 scale (multiplied by 32768)\n");
  ASSERT_NE(help, std::string::npos);
  ASSERT_NE(n, std::string::npos);
  EXPECT_GT(n, help);
}

TEST(PitchMemory, TheDynamicProgrammingTrackerStreamsItsInput) {
  // 300 s of zeros in a sparse file: holding the input (20 bytes a sample) would need 96 MB.
  TempDir dir;
  const std::string path = dir.path("zeros.f32");
  const long samples = 300L * 16000;
  ASSERT_EQ(truncate(dir.write("zeros.f32", "").c_str(), samples * 4), 0);
  if (!kAddressLimitsWork) GTEST_SKIP() << "address-space limits need the build without sanitizers";
  RunSettings how;
  how.inputfile = path;
  how.memorylimit = 48ull << 20;
  const RunResult r = run_program(PITCH_PATH, {}, how);
  ASSERT_TRUE(r.exited) << r.signal;
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const std::vector<float> f0 = floats_of(r.out);
  ASSERT_EQ(f0.size(), static_cast<size_t>(samples / 80));
  for (float f : f0) ASSERT_EQ(f, 0.0f);
}

// The epoch tracker keeps the signal and its working records in temporary files beyond a few MB:
// 2^26 + 1 samples of zeros in a sparse file (more than it once refused; holding them would need
// about 1 GB) are tracked within 64 MB of address space, and no temporary is left in TMPDIR.
TEST(PitchMemory, TheEpochTrackerTakesLongInputInBoundedMemory) {
  TempDir dir, spool;
  const std::string path = dir.path("zeros.f32");
  const long samples = (1L << 26) + 1;
  ASSERT_EQ(truncate(dir.write("zeros.f32", "").c_str(), samples * 4), 0);
  RunSettings how;
  how.inputfile = path;
  how.environment = {"TMPDIR=" + spool.dir()};
  if (kAddressLimitsWork) how.memorylimit = 64ull << 20;
  const RunResult r = run_program(PITCH_PATH, {"-a", "1"}, how);
  ASSERT_TRUE(r.exited) << r.signal;
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const std::vector<float> f0 = floats_of(r.out);
  ASSERT_EQ(f0.size(), static_cast<size_t>((samples + 79) / 80));
  for (float f : f0) ASSERT_EQ(f, 0.0f);
  EXPECT_TRUE(std::filesystem::is_empty(spool.dir())) << "a temporary file was left behind";
}

// A sound file is read in blocks, not whole: a 16-bit WAV file of 2^25 zeros (a sparse file; read
// whole, its samples alone would take 256 MB) is tracked by both trackers within 64 MB of address
// space, each frame unvoiced.
TEST(PitchMemory, ASoundFileIsReadInBlocks) {
  TempDir dir, spool;
  const uint32_t samples = 1u << 25;
  const std::string path = dir.write("zeros.wav", wavtest::riffhead(36 + 2 * samples) + wavtest::fmtchunk() +
                                                      wavtest::chunkhead("data", 2 * samples));
  ASSERT_EQ(truncate(path.c_str(), 44 + 2L * samples), 0);
  RunSettings how;
  how.inputfile = "/dev/null";
  how.environment = {"TMPDIR=" + spool.dir()};
  if (kAddressLimitsWork) how.memorylimit = 64ull << 20;
  for (const char* algorithm : {"0", "1"}) {
    const RunResult r = run_program(PITCH_PATH, {"-a", algorithm, path}, how);
    ASSERT_TRUE(r.exited) << r.signal;
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::vector<float> f0 = floats_of(r.out);
    ASSERT_EQ(f0.size(), static_cast<size_t>((samples + 79) / 80)) << algorithm;
    for (float f : f0) ASSERT_EQ(f, 0.0f);
  }
}

// Scratch files that cannot be made (TMPDIR names no directory) end the epoch tracker with the
// reason and status 1, nothing written; an input small enough for memory needs none.
TEST(PitchMemory, TheEpochTrackerReportsScratchFilesItCannotMake) {
  TempDir dir;
  const std::string path = dir.path("zeros.f32");
  ASSERT_EQ(truncate(dir.write("zeros.f32", "").c_str(), 2000000L * 4), 0);
  RunSettings how;
  how.inputfile = path;
  how.environment = {"TMPDIR=" + dir.path("missing")};
  const RunResult r = run_program(PITCH_PATH, {"-a", "1"}, how);
  ASSERT_TRUE(r.exited) << r.signal;
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "cannot keep the input of the epoch tracker in a temporary file: No such file or directory.\n");
  EXPECT_EQ(r.out, "");
  how.inputfile = dir.write("short.f32", std::string(16000 * 4, '\0'));
  const RunResult small = run_program(PITCH_PATH, {"-a", "1"}, how);
  EXPECT_EQ(small.status, 0) << small.err;
  EXPECT_EQ(small.out.size(), 200u * 4);
}

TEST(PitchWav, ChunksOtherThanFmtAndDataAreSkippedWhereverTheyStand) {
  TempDir dir;
  std::vector<int16_t> samples(16000);
  const std::vector<float> speech = voiced(16000);
  for (size_t i = 0; i < samples.size(); i++) samples[i] = static_cast<int16_t>(speech[i]);
  const RunResult plain = run_program(PITCH_PATH, {dir.write("plain.wav", wav_bytes(samples, 16000, ""))});
  ASSERT_EQ(plain.status, 0) << plain.err;
  ASSERT_EQ(plain.out.size(), 200u * 4);

  const std::string list =
      chunk("LIST", std::string("INFOISFT") + std::string("\x0e\0\0\0", 4) + "Lavf59.27.100");
  const std::string extensible = wavtest::extensiblebody();
  const std::string variants[] = {
      wav_bytes(samples, 16000, "", list),  // ffmpeg's LIST/INFO
      wav_bytes(samples, 16000, "", chunk("fact", le_bytes(16000, 4)) + chunk("JUNK", std::string(7, '\0'))),
      wav_bytes(samples, 16000, "", chunk("cue ", std::string(28, 'c')), chunk("id3 ", "ID3xyz")),
      wav_bytes(samples, 16000, extensible),
      // A chunk before "fmt " and one holding the word "data".
      [&] {
        std::string w =
            wav_bytes(samples, 16000, "", chunk("PAD ", "ddata") + chunk("bext", std::string(9, 'b')));
        const std::string pad = chunk("JUNK", std::string(12, 'j'));
        return w.substr(0, 12) + pad + w.substr(12);
      }(),
  };
  int k = 0;
  for (const std::string& bytes : variants) {
    const std::string file = dir.write("v" + std::to_string(k) + ".wav", bytes);
    for (const char* algorithm : {"0", "1"}) {
      const RunResult plain_a = run_program(PITCH_PATH, {"-a", algorithm, dir.path("plain.wav")});
      const RunResult r = run_program(PITCH_PATH, {"-a", algorithm, file});
      EXPECT_EQ(r.status, 0) << k << " " << r.err;
      EXPECT_EQ(r.out, plain_a.out) << "variant " << k << " algorithm " << algorithm;
    }
    k++;
  }
}

// A WAV file on standard input is read without any temporary file, whether the tracking
// succeeds or is refused.
TEST(PitchWav, StandardInputLeavesNoTemporaryFileBehind) {
  TempDir spool;
  std::vector<int16_t> samples(16000);
  const std::vector<float> speech = voiced(16000);
  for (size_t i = 0; i < samples.size(); i++) samples[i] = static_cast<int16_t>(speech[i]);
  const std::string good = wav_bytes(samples, 16000, "");
  const std::string slow = wav_bytes(samples, 3999, "");
  const std::string cut = good.substr(0, 40);
  for (const std::string* bytes : {&good, &slow, &cut}) {
    RunSettings how = stdin_bytes(*bytes);
    how.environment = {"TMPDIR=" + spool.dir()};
    const RunResult r = run_program(PITCH_PATH, {"-"}, how);
    ASSERT_TRUE(r.exited);
    EXPECT_EQ(r.status, bytes == &good ? 0 : 1) << r.err;
    EXPECT_TRUE(std::filesystem::is_empty(spool.dir())) << "a temporary file was left behind";
  }
}
#endif

#if defined(RECSLICE_PATH) && defined(SNR_PATH) && defined(BIQUAD_PATH) && defined(LAGCORR_PATH)
// An output that cannot be written (a full device here) is reported with status 1, never taken
// for success; the commands stop reading an endless input once their output fails.
TEST(StreamOutput, AFailedWriteIsReportedWithStatusOne) {
  TempDir dir;
  const std::string input = dir.write("in.f32", float_bytes(ramp(4000, 1000.0f)));
  struct Case {
    std::string program, name;
    std::vector<std::string> args;
  };
  const std::vector<Case> cases = {
      {RECSLICE_PATH, "recslice", {"-l", "10"}},
      {SNR_PATH, "snr", {"-o", "1", input}},
      {BIQUAD_PATH, "biquad", {"-p", "500", "60"}},
      {LAGCORR_PATH, "lagcorr", {"-m", "4", "-l", "100"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"-c", "exec \"$@\" < \"$0\" > /dev/full", input, c.program};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const RunResult r = run_program("/bin/sh", args);
    ASSERT_TRUE(r.exited) << c.name;
    EXPECT_EQ(r.status, 1) << c.name;
    EXPECT_EQ(r.err, c.name + " : Cannot write the output!\n");
  }
  // An endless input into a full device ends.
  for (const Case& c : {cases[0], cases[2], cases[3]}) {
    std::vector<std::string> args = {"-c", "exec \"$@\" < /dev/zero > /dev/full", input, c.program};
    args.insert(args.end(), c.args.begin(), c.args.end());
    RunSettings how;
    how.seconds = 30;
    const RunResult r = run_program("/bin/sh", args, how);
    ASSERT_FALSE(r.timedout) << c.name;
    EXPECT_EQ(r.status, 1) << c.name;
  }
}

// A sample that is not a finite number makes the SNR meaningless: refused, naming the input.
TEST(StreamOutput, SnrRefusesNonFiniteSamples) {
  TempDir dir;
  std::vector<float> x = ramp(4000, 1000.0f);
  const std::string reference = dir.write("ref.f32", float_bytes(x));
  x[100] = NAN;
  const std::string bad = dir.write("bad.f32", float_bytes(x));
  expect_refused(SNR_PATH, {reference}, "snr : Input sample is not a finite number in standard input!\n",
                 float_bytes(x));
  expect_refused(SNR_PATH, {bad}, "snr : Input sample is not a finite number in " + bad + "!\n",
                 float_bytes(ramp(4000, 1000.0f)));
}
#endif

}  // namespace
