#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "childprocess.h"
#include "testsignals.h"
#include "expectrun.h"

namespace {

const char kUsage[] =
    "\n"
    " lagcorr - obtain autocorrelation sequence\n"
    "\n"
    "  usage:\n"
    "       lagcorr [ options ] [ infile ] > stdout\n"
    "  options:\n"
    "       -m m  : order of sequence  [25]\n"
    "       -l l  : frame length       [256]\n"
    "       -h    : print this message\n"
    "  infile:\n"
    "       data sequence (float)      [stdin]\n"
    "  stdout:\n"
    "       autocorrelation sequence (float)\n"
    "\n"
    " ZEVK: version 3.11\n"
    " CVS Info: $Id$\n";

// Lags 0..m of every whole frame of l samples, each a direct sum.
std::vector<double> direct_sums(const std::vector<float>& x, int l, int m) {
  std::vector<double> out;
  for (size_t start = 0; start + l <= x.size(); start += l)
    for (int k = 0; k <= m; k++) {
      double sum = 0.0;
      for (int i = 0; i + k < l; i++) sum += double(x[start + i]) * x[start + i + k];
      out.push_back(sum);
    }
  return out;
}

void expect_lags(const RunResult& r, const std::vector<double>& want) {
  EXPECT_EQ(r.status, 0);
  const std::vector<float> got = floats_of(r.out);
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); i++) ASSERT_NEAR(got[i], want[i], 1e-5 * (1.0 + std::abs(want[i]))) << i;
}

TEST(LagcorrCommand, DefaultsGiveThreeFramesOf26From1000Samples) {
  const std::vector<float> x = noise_signal(1000, 0.5, 1);
  const RunResult r = run_program(LAGCORR_PATH, {}, stdin_bytes(float_bytes(x)));
  EXPECT_EQ(r.out.size(), 3u * 26 * 4);  // the last 232 samples are ignored
  expect_lags(r, direct_sums(x, 256, 25));
}

TEST(LagcorrCommand, AttachedAndSeparateValuesAgree) {
  const std::vector<float> x = noise_signal(1600, 0.5, 2);
  const RunResult attached = run_program(LAGCORR_PATH, {"-l512", "-m4"}, stdin_bytes(float_bytes(x)));
  const RunResult separate = run_program(LAGCORR_PATH, {"-l", "512", "-m", "4"}, stdin_bytes(float_bytes(x)));
  EXPECT_EQ(attached.out, separate.out);
  expect_lags(attached, direct_sums(x, 512, 4));
}

TEST(LagcorrCommand, OrderBeyondTheFrameGivesZeroLags) {
  const std::vector<float> x = noise_signal(20, 0.5, 3);
  const RunResult r = run_program(LAGCORR_PATH, {"-l", "5", "-m", "7"}, stdin_bytes(float_bytes(x)));
  const std::vector<double> want = direct_sums(x, 5, 7);
  expect_lags(r, want);
  EXPECT_EQ(want[5], 0.0);
}

TEST(LagcorrCommand, ShortInputGivesNothing) {
  const RunResult r = run_program(LAGCORR_PATH, {}, stdin_bytes(float_bytes(noise_signal(255, 0.5, 4))));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
}

TEST(LagcorrCommand, ReadsANamedFile) {
  TempDir dir;
  const std::vector<float> x = noise_signal(64, 0.5, 5);
  const std::string in = dir.write("in.raw", float_bytes(x));
  expect_lags(run_program(LAGCORR_PATH, words("-l 16 -m 3 " + in)), direct_sums(x, 16, 3));
}

TEST(LagcorrCommand, HelpPrintsUsageAndSucceeds) {
  const RunResult r = run_program(LAGCORR_PATH, {"-h"});
  expect_message_only(r, 0, kUsage);
}

TEST(LagcorrCommand, InvalidOptionIsRefused) {
  const RunResult r =
      run_program(LAGCORR_PATH, {"-m", "3", "-o", "2"}, stdin_bytes(float_bytes(noise_signal(300, 0.5, 6))));
  expect_message_only(r, 1, std::string("lagcorr : Invalid option 'o'!\n") + kUsage);
}

TEST(LagcorrCommand, MissingValueIsRefused) {
  for (const char* args : {"-l", "-m 3 -m"}) {
    const RunResult r =
        run_program(LAGCORR_PATH, words(args), stdin_bytes(float_bytes(noise_signal(300, 0.5, 7))));
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_EQ(r.err, kUsage) << args;
    EXPECT_EQ(r.out, "") << args;
  }
}

TEST(LagcorrCommand, ImpossibleSizesAreRefused) {
  const std::string in = float_bytes(noise_signal(300, 0.5, 8));
  RunResult r = run_program(LAGCORR_PATH, {"-l", "0"}, stdin_bytes(in));
  expect_message_only(r, 1, "lagcorr : Frame length must be at least 1!\n");
  r = run_program(LAGCORR_PATH, {"-m", "-2"}, stdin_bytes(in));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "lagcorr : Order must not be negative!\n");
}

}  // namespace
