#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "childprocess.h"
#include "expectrun.h"

namespace {

const char kUsage[] =
    "\n"
    " snr - evaluate SNR and segmental SNR\n"
    "\n"
    "  usage:\n"
    "       snr [ options ] file1 [ infile ] > stdout\n"
    "  options:\n"
    "      -l l  : frame length                         [256]\n"
    "      -o o  : output type                          [0]\n"
    "                0 SNR and SNRseg           (ascii)\n"
    "                1 SNR and SNRseg in detail (ascii)\n"
    "                2 SNR                      (float)\n"
    "                3 SNRseg                   (float)\n"
    "      -h    : print this message\n"
    "  infile:\n"
    "      data sequence (float)                        [stdin]\n"
    "  file1:\n"
    "      data sequence\n"
    "  stdout:\n"
    "      SNR, SNRseg\n"
    "\n"
    " ZEVK: version 3.11\n"
    " CVS Info: $Id$\n";

std::vector<float> random_signal(size_t n, unsigned seed, double scale) {
  std::mt19937 gen(seed);
  std::normal_distribution<double> g(0.0, scale);
  std::vector<float> v(n);
  for (float& f : v) f = static_cast<float>(g(gen));
  return v;
}

// The reference plus independent noise of a tenth of its deviation.
std::vector<float> noisy(const std::vector<float>& x, unsigned seed) {
  std::vector<float> y = random_signal(x.size(), seed, 0.1);
  for (size_t i = 0; i < x.size(); i++) y[i] += x[i];
  return y;
}

// A random reference of n samples at deviation `scale` (seed) and the signal, the reference
// with noise (seed + 1).
struct NoisyPair {
  std::vector<float> x, y;
  NoisyPair(size_t n, unsigned seed, double scale)
      : x(random_signal(n, seed, scale)), y(noisy(x, seed + 1)) {}
};

struct Expected {
  double snr = 0.0;
  double snrseg = 0.0;
  std::vector<double> frames;  // SNR of every frame, partial last frame included
};

// Straight from the definitions: power ratios in dB over everything and per frame of l.
Expected expected_snr(const std::vector<float>& x, const std::vector<float>& y, size_t l) {
  const size_t n = std::min(x.size(), y.size());
  Expected e;
  double sx = 0, se = 0, seg = 0;
  int full = 0;
  for (size_t start = 0; start < n; start += l) {
    double fx = 0, fe = 0;
    const size_t end = std::min(n, start + l);
    for (size_t i = start; i < end; i++) {
      fx += double(x[i]) * x[i];
      fe += (double(x[i]) - y[i]) * (double(x[i]) - y[i]);
    }
    const double db = 10.0 * std::log10(fx / fe);
    e.frames.push_back(db);
    if (end - start == l) {
      seg += db;
      full++;
    }
    sx += fx;
    se += fe;
  }
  e.snr = 10.0 * std::log10(sx / se);
  e.snrseg = seg / full;
  return e;
}

RunResult snr(const std::string& args, const std::vector<float>& reference,
              const std::vector<float>& signal) {
  TempDir dir;
  const std::string ref = dir.write("ref.raw", float_bytes(reference));
  return run_program(SNR_PATH, words(args + " " + ref), stdin_bytes(float_bytes(signal)));
}

// Parses the summary of output types 0 and 1.
void parse_summary(const std::string& text, long* samples, double* snr_db, double* seg_db) {
  const size_t count_end = text.rfind(" samples\n");
  ASSERT_NE(count_end, std::string::npos) << text;
  const size_t line_start = text.rfind('\n', count_end) + 1;
  char snr_text[64], seg_text[64];
  ASSERT_EQ(std::sscanf(text.c_str() + line_start,
                        "%ld samples\n  SNR      :  %63s [dB]\n  SNRseg   :  %63s [dB]\n", samples, snr_text,
                        seg_text),
            3)
      << text;
  EXPECT_EQ(text.substr(text.size() - 7), " [dB]\n\n");
  *snr_db = std::strtod(snr_text, nullptr);
  *seg_db = std::strtod(seg_text, nullptr);
}

// Checks a summary of output types 0 and 1 against the sample count and the expected values.
void expect_summary(const std::string& text, long samples, const Expected& e) {
  long counted = 0;
  double s = 0, seg = 0;
  parse_summary(text, &counted, &s, &seg);
  EXPECT_EQ(counted, samples);
  EXPECT_NEAR(s, e.snr, 1e-6);
  EXPECT_NEAR(seg, e.snrseg, 1e-6);
}

TEST(Snr, SummaryMatchesTheDefinitions) {
  const NoisyPair p(1000, 1, 1.0);
  const Expected e = expected_snr(p.x, p.y, 256);
  const RunResult r = snr("", p.x, p.y);
  EXPECT_EQ(r.status, 0);
  expect_summary(r.out, 1000, e);  // three full frames; the last 232 samples only in SNR
  long samples = 0;
  double s = 0, seg = 0;
  parse_summary(r.out, &samples, &s, &seg);
  EXPECT_NEAR(s, 20.0, 1.0);  // noise at a tenth of the signal's deviation
  char exact[200];
  std::snprintf(exact, sizeof exact,
                "\n1000 samples\n  SNR      :  %f [dB]\n"
                "  SNRseg   :  %f [dB]\n\n",
                s, seg);
  EXPECT_EQ(r.out, exact);
}

TEST(Snr, DetailLinesNumberTheSamplesOfEveryFrame) {
  const NoisyPair p(1000, 3, 0.5);
  const Expected e = expected_snr(p.x, p.y, 256);
  const RunResult r = snr("-o 1", p.x, p.y);
  EXPECT_EQ(r.status, 0);
  ASSERT_EQ(r.out.substr(0, 1), "\n");
  std::istringstream lines(r.out.substr(1));
  const int bounds[5] = {0, 256, 512, 768, 1000};
  for (int k = 0; k < 4; k++) {
    std::string line;
    std::getline(lines, line);
    int from = -1, to = -1;
    double db = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "\t %8d   ~ %8d    : %lf [dB]", &from, &to, &db), 3) << line;
    EXPECT_EQ(from, bounds[k]);
    EXPECT_EQ(to, bounds[k + 1]);
    EXPECT_NEAR(db, e.frames[k], 1e-6);
    char exact[96];
    std::snprintf(exact, sizeof exact, "\t %8d   ~ %8d    : %f [dB]", bounds[k], bounds[k + 1], db);
    EXPECT_EQ(line, exact);
  }
  expect_summary(r.out, 1000, e);
}

TEST(Snr, FloatOutputsAreOneSampleEach) {
  const NoisyPair p(700, 5, 2.0);
  for (int l : {64, 100, 256}) {
    const Expected e = expected_snr(p.x, p.y, l);
    const std::string frame = " -l " + std::to_string(l);
    const std::vector<float> s = floats_of(snr("-o 2" + frame, p.x, p.y).out);
    const std::vector<float> seg = floats_of(snr("-o 3" + frame, p.x, p.y).out);
    ASSERT_EQ(s.size(), 1u);
    ASSERT_EQ(seg.size(), 1u);
    EXPECT_NEAR(s[0], e.snr, 1e-4) << l;
    EXPECT_NEAR(seg[0], e.snrseg, 1e-4) << l;
  }
}

TEST(Snr, UnknownOutputTypeIsRefused) {
  const std::vector<float> x = random_signal(300, 7, 1.0);
  const RunResult r = snr("-o 4", x, noisy(x, 8));
  expect_message_only(r, 1, "snr : Value 4 for option '-o' is too large (at most 3)!\n");
}

TEST(Snr, UnequalLengthsCompareTheShorter) {
  const std::vector<float> x = random_signal(1000, 9, 1.0);
  std::vector<float> y = noisy(x, 10);
  y.resize(600);
  for (const auto& pair : {std::make_pair(x, y), std::make_pair(y, x)}) {
    const Expected e = expected_snr(pair.first, pair.second, 256);
    const RunResult r = snr("", pair.first, pair.second);
    expect_summary(r.out, 600, e);
  }
}

TEST(Snr, IdenticalSignalsHaveInfiniteSnr) {
  const std::vector<float> x = random_signal(512, 11, 1.0);
  const RunResult r = snr("", x, x);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "\n512 samples\n  SNR      :  inf [dB]\n  SNRseg   :  inf [dB]\n\n");
}

TEST(Snr, ShorterThanAFrameHasNoSegmentalSnr) {
  const NoisyPair p(100, 12, 1.0);
  const RunResult r = snr("", p.x, p.y);
  EXPECT_EQ(r.status, 0);
  long samples = 0;
  double s = 0, seg = 0;
  parse_summary(r.out, &samples, &s, &seg);
  EXPECT_EQ(samples, 100);
  EXPECT_NEAR(s, expected_snr(p.x, p.y, 256).snr, 1e-6);
  EXPECT_TRUE(std::isnan(seg)) << r.out;
  const std::vector<float> f = floats_of(snr("-o 3", p.x, p.y).out);
  ASSERT_EQ(f.size(), 1u);
  EXPECT_TRUE(std::isnan(f[0]));
}

TEST(Snr, EvaluatedSignalFromANamedFile) {
  TempDir dir;
  const NoisyPair p(400, 14, 1.0);
  const std::string ref = dir.write("ref.raw", float_bytes(p.x));
  const std::string sig = dir.write("sig.raw", float_bytes(p.y));
  const RunResult r = run_program(SNR_PATH, words("-o 2 " + ref + " " + sig));
  const std::vector<float> s = floats_of(r.out);
  ASSERT_EQ(s.size(), 1u);
  EXPECT_NEAR(s[0], expected_snr(p.x, p.y, 256).snr, 1e-4);
}

TEST(Snr, HelpPrintsUsageAndSucceeds) {
  const RunResult r = run_program(SNR_PATH, {"-h"});
  expect_message_only(r, 0, kUsage);
}

TEST(Snr, InvalidOptionIsRefused) {
  const RunResult r = run_program(SNR_PATH, {"-q", "1", "/dev/null"});
  expect_message_only(r, 1, std::string("snr : Invalid option 'q'!\n") + kUsage);
}

TEST(Snr, MissingReferenceOrValueIsRefused) {
  for (const char* args : {"", "-l 128", "/dev/null -l", "/dev/null -o"}) {
    const RunResult r = run_program(SNR_PATH, words(args));
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_EQ(r.err, kUsage) << args;
    EXPECT_EQ(r.out, "") << args;
  }
}

TEST(Snr, FrameLengthBelowOneIsRefused) {
  const RunResult r = run_program(SNR_PATH, {"-l", "0", "/dev/null"});
  expect_message_only(r, 1, "snr : Frame length must be at least 1!\n");
}

}  // namespace
