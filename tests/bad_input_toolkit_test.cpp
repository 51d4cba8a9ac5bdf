// Bad input to the toolkit commands (pitch and the stream commands): option values that do not
// parse whole or do not fit, enumerations out of their set, sizes the commands cannot hold,
// degenerate inputs. Every case runs the program as a child process and checks its exact
// message, status and output.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "childprocess.h"

namespace {

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

}  // namespace
