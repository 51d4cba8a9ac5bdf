#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "childprocess.h"
#include "testsignals.h"
#include "expectrun.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

const char kUsage[] =
    "\n"
    " biquad - 2nd order standard form digital filter\n"
    "\n"
    "  usage:\n"
    "       biquad [ options ] [ infile ] > stdout \n"
    "  options:\n"
    "       -s s   : sampling frequency (kHz)       [10.0]\n"
    "       -p f b : center frequency f(Hz)\n"
    "                 and band width b(Hz) of pole  [N/A]\n"
    "       -z f b : center frequency f(Hz)\n"
    "                 and band width b(Hz) of zero  [N/A]\n"
    "       -h     : print this message\n"
    "  infile:\n"
    "       filter input (float)                    [stdin]\n"
    "  stdout:\n"
    "       filter output (float)\n"
    "  note:\n"
    "       -p and -z option can be specified repeatedly.\n"
    "\n"
    " ZEVK: version 3.11\n"
    " CVS Info: $Id$\n";

RunResult biquad_command(const std::string& args, const std::vector<float>& input) {
  return run_program(BIQUAD_PATH, words(args), stdin_bytes(float_bytes(input)));
}

// One zero pair as its three taps.
std::vector<double> notch(const std::vector<double>& x, double f, double b, double fs) {
  const double r = std::exp(-kPi * b / fs), c = std::cos(2 * kPi * f / fs);
  std::vector<double> y(x.size());
  for (size_t n = 0; n < x.size(); n++)
    y[n] = x[n] - (n >= 1 ? 2 * r * c * x[n - 1] : 0.0) + (n >= 2 ? r * r * x[n - 2] : 0.0);
  return y;
}

void expect_close(const std::vector<float>& got, const std::vector<double>& want, double tol) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t n = 0; n < got.size(); n++) ASSERT_NEAR(got[n], want[n], tol) << n;
}

TEST(Biquad, WithoutPairsTheOutputIsTheInput) {
  const std::vector<float> x = noise_signal(777, 0.3, 1);
  const RunResult r = biquad_command("-s 16", x);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, float_bytes(x));
}

TEST(Biquad, SinglePolePairAtTheDefaultRate) {
  const std::vector<float> x = noise_signal(600, 0.3, 2);
  const RunResult r = biquad_command("-p 1000 100", x);
  EXPECT_EQ(r.status, 0);
  expect_close(floats_of(r.out), resonate(std::vector<double>(x.begin(), x.end()), 1000, 100, 10000.0), 1e-4);
}

TEST(Biquad, TwoPolesAndOneZeroCascade) {
  const std::vector<float> x = noise_signal(800, 0.3, 3);
  const RunResult r = biquad_command("-s 16 -p 500 60 -z 3000 200 -p 2500 150", x);
  EXPECT_EQ(r.status, 0);
  // A cascade of linear sections gives the same result in any order.
  std::vector<double> y(x.begin(), x.end());
  y = notch(y, 3000, 200, 16000.0);
  y = resonate(y, 2500, 150, 16000.0);
  y = resonate(y, 500, 60, 16000.0);
  expect_close(floats_of(r.out), y, 1e-3);
}

TEST(Biquad, SAndFBothSetTheSamplingFrequency) {
  const std::vector<float> x = noise_signal(300, 0.3, 4);
  const RunResult s = biquad_command("-s 16 -p 1200 90", x);
  const RunResult f = biquad_command("-f 16 -p 1200 90", x);
  const RunResult d = biquad_command("-p 1200 90", x);
  EXPECT_EQ(s.out, f.out);
  EXPECT_NE(s.out, d.out);
  expect_close(floats_of(f.out), resonate(std::vector<double>(x.begin(), x.end()), 1200, 90, 16000.0), 1e-4);
}

TEST(Biquad, ReadsANamedFile) {
  TempDir dir;
  const std::vector<float> x = noise_signal(100, 0.3, 5);
  const std::string in = dir.write("in.raw", float_bytes(x));
  const RunResult r = run_program(BIQUAD_PATH, words("-z 440 0 " + in));
  EXPECT_EQ(r.status, 0);
  expect_close(floats_of(r.out), notch(std::vector<double>(x.begin(), x.end()), 440, 0, 10000), 1e-5);
}

TEST(Biquad, AtMost2048PairsOfEachKind) {
  std::string args;
  for (int i = 0; i < 2048; i++) args += " -p 1000 2000 -z 1000 2000";
  const std::vector<float> x = noise_signal(4, 0.3, 6);
  const RunResult ok = biquad_command(args, x);
  EXPECT_EQ(ok.status, 0);
  EXPECT_EQ(floats_of(ok.out).size(), 4u);
  for (const char* extra : {" -p 1 1", " -z 1 1"}) {
    const RunResult r = biquad_command(args + extra, x);
    EXPECT_EQ(r.status, 1) << extra;
    EXPECT_EQ(r.out, "") << extra;
  }
  EXPECT_EQ(biquad_command(args + " -z 1 1", x).err,
            "biquad : Too many zero pairs, at most 2048 can be given!\n");
}

TEST(Biquad, HelpPrintsUsageAndSucceeds) {
  const RunResult r = biquad_command("-h", {});
  expect_message_only(r, 0, kUsage);
}

TEST(Biquad, InvalidOptionIsRefused) {
  const RunResult r = biquad_command("-p 100 10 -k", {1.0f});
  expect_message_only(r, 1, std::string("biquad : Invalid option 'k'!\n") + kUsage);
}

TEST(Biquad, MissingValuesAreRefused) {
  for (const char* args : {"-s", "-f", "-p", "-p 1000", "-z 1000", "-p 100 10 -z"}) {
    const RunResult r = biquad_command(args, {1.0f});
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_EQ(r.err, kUsage) << args;
    EXPECT_EQ(r.out, "") << args;
  }
}

TEST(Biquad, NonPositiveSamplingFrequencyIsRefused) {
  const RunResult r = biquad_command("-s 0 -p 100 10", {1.0f});
  expect_message_only(r, 1, "biquad : Sampling frequency must be positive!\n");
}

}  // namespace
