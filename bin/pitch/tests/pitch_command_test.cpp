// The pitch command end to end: accuracy on signals of known F0, output
// length and types, messages and exit statuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "childprocess.h"
#include "synthsignals.h"

namespace {

const double kFs = 16000.0;
const int kShift = 80;

struct outcome {
  int status = -1;
  std::vector<float> values;
  std::string err;
  size_t out_bytes = 0;
};

class PitchCommand : public ::testing::Test {
 protected:
  std::string path(const char* name) const { return dir_.dir() + name; }

  void write_input(const std::vector<float>& x) const {
    std::ofstream f(path("/in.f32"), std::ios::binary);
    f.write(reinterpret_cast<const char*>(x.data()), (std::streamsize)(x.size() * sizeof(float)));
  }

  // Runs the command with the words of `args` as arguments and standard input from the
  // input file, or from `input` when given.
  outcome run(const std::string& args, const std::string& input = "") const {
    RunSettings how;
    how.inputfile = input.empty() ? path("/in.f32") : input;
    const RunResult child = run_program(PITCH_PATH, words(args), how);
    outcome r;
    r.status = child.status;
    r.out_bytes = child.out.size();
    r.values.resize(child.out.size() / sizeof(float));
    if (!r.values.empty()) memcpy(r.values.data(), child.out.data(), r.values.size() * sizeof(float));
    r.err = child.err;
    return r;
  }

  outcome track(const std::vector<float>& x, const std::string& args = "") {
    write_input(x);
    return run(args);
  }

  TempDir dir_;
};

// Share of frames, among those whose analysis span lies inside the signal,
// that are unvoiced or more than 20 % off the F0 at the frame.
double gross_error_rate(const std::vector<float>& f0, double f0_start, double f0_end, int n) {
  int counted = 0, gross = 0;
  for (size_t k = 0; k < f0.size(); k++) {
    const int centre = (int)k * kShift + 200;
    if ((int)k * kShift + 400 > n) break;
    const double truth = f0_start + (f0_end - f0_start) * centre / n;
    counted++;
    if (std::fabs(f0[k] - truth) > 0.2 * truth) gross++;
  }
  return counted ? (double)gross / counted : 1.0;
}

// The last lines of the usage text: it names no other program's version.
const char* const kUsageEnd = "  stdout:\n       one 32-bit float per frame\n\n";

bool ends_with_usage(const std::string& s) {
  return s.size() >= strlen(kUsageEnd) &&
         s.compare(s.size() - strlen(kUsageEnd), std::string::npos, kUsageEnd) == 0;
}

using Case = glidecase;

class Accuracy : public PitchCommand, public ::testing::WithParamInterface<Case> {};

TEST_P(Accuracy, GrossErrorsUnderOnePercentOfVoicedFrames) {
  const Case c = GetParam();
  const int n = 3 * 16000;
  std::vector<float> x = voiced_signal(c.f0_start, c.f0_end, n, kFs);
  if (c.snr_db > 0.0) add_noise(x, c.snr_db, 7);
  const outcome r = track(x);
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(r.values.size(), (size_t)(n / kShift));
  const double rate = gross_error_rate(r.values, c.f0_start, c.f0_end, n);
  printf("F0 %g->%g Hz, SNR %s: gross error rate %.2f %%\n", c.f0_start, c.f0_end,
         c.snr_db > 0 ? std::to_string((int)c.snr_db).c_str() : "clean", 100.0 * rate);
  EXPECT_LT(rate, 0.01);
}

INSTANTIATE_TEST_SUITE_P(KnownF0, Accuracy, ::testing::ValuesIn(glidecases()),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           return glidecasename(info.param);
                         });

TEST_F(PitchCommand, SilenceAndLowNoiseAreUnvoiced) {
  const outcome silence = track(std::vector<float>(16000, 0.0f));
  ASSERT_EQ(silence.status, 0) << silence.err;
  ASSERT_EQ(silence.values.size(), 200u);
  EXPECT_EQ(voiced_count(silence.values), 0);

  const outcome noise = track(noise_signal(16000, 30.0, 3));
  ASSERT_EQ(noise.status, 0) << noise.err;
  ASSERT_EQ(noise.values.size(), 200u);
  EXPECT_EQ(voiced_count(noise.values), 0);
}

// Real speech: a female voice prompt of 1.4 s. Most of it is voiced, the
// leading and trailing pauses are not, and the voice sits in a female range.
TEST_F(PitchCommand, FemaleSpeechPrompt) {
  const std::string wav = file_contents(std::string(VELK_SAMPLES_DIR) + "/en_vm-deleted.wav");
  ASSERT_GT(wav.size(), 44u);
  std::vector<float> x((wav.size() - 44) / 2);
  for (size_t i = 0; i < x.size(); i++) {
    int16_t s;
    memcpy(&s, wav.data() + 44 + 2 * i, 2);
    x[i] = s;
  }
  const outcome r = track(x);
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(r.values.size(), (x.size() + kShift - 1) / kShift);
  std::vector<float> voiced;
  for (float f : r.values)
    if (f > 0.0f) voiced.push_back(f);
  const double share = (double)voiced.size() / r.values.size();
  EXPECT_GT(share, 0.5);
  EXPECT_LT(share, 0.9);
  for (int k = 0; k < 5; k++) EXPECT_EQ(r.values[k], 0.0f) << "frame " << k;
  for (size_t k = r.values.size() - 10; k < r.values.size(); k++)
    EXPECT_EQ(r.values[k], 0.0f) << "frame " << k;
  std::sort(voiced.begin(), voiced.end());
  const float median = voiced[voiced.size() / 2];
  EXPECT_GT(median, 165.0f);
  EXPECT_LT(median, 260.0f);
  printf("female prompt: %.0f %% voiced, median F0 %.1f Hz\n", 100.0 * share, median);
}

// A second of every harmonic of f0 below fs / 2 (amplitudes 9830 / k) on the 16-bit scale.
std::vector<float> harmonics(double f0, double fs) {
  std::vector<float> x(static_cast<size_t>(fs));
  for (size_t i = 0; i < x.size(); i++) {
    double v = 0.0;
    for (int k = 1; k * f0 < fs / 2; k++) v += 9830.0 / k * std::sin(2 * M_PI * k * f0 * i / fs);
    x[i] = static_cast<float>(v);
  }
  return x;
}

// The first search runs on a decimated copy; for a ceiling above 500 Hz the copy keeps four
// times the ceiling, so that singing F0s up to 2000 Hz are found (at 2 kHz a 1000 Hz voice
// came out as 52 Hz).
TEST_F(PitchCommand, SingingVoicesAreTrackedUpToTheCeiling) {
  const struct { double fs, f0; } cases[] = {{16000, 1000}, {22050, 1300}, {44100, 700}, {44100, 1300}};
  for (const auto& c : cases) {
    const outcome r = track(harmonics(c.f0, c.fs), "-L 30 -H 2000 -s " + std::to_string(c.fs / 1000));
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_GT(r.values.size(), 20u);
    int near = 0;
    for (size_t k = 5; k + 5 < r.values.size(); k++) near += std::fabs(r.values[k] / c.f0 - 1) < 0.02;
    EXPECT_EQ(near, static_cast<int>(r.values.size()) - 10) << c.fs << " Hz, F0 " << c.f0;
  }
}

TEST_F(PitchCommand, OneValuePerFrameForEveryLength) {
  for (int n : {281, 282, 359, 360, 1000, 3319, 3320, 6201, 16001}) {
    const outcome r = track(voiced_signal(150, 150, n, kFs));
    ASSERT_EQ(r.status, 0) << "length " << n << ": " << r.err;
    EXPECT_EQ(r.out_bytes, sizeof(float) * ((n + kShift - 1) / kShift)) << "length " << n;
  }
  const outcome r = track(voiced_signal(150, 150, 5000, kFs), "-p 64");
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.values.size(), (5000u + 63) / 64);
  // Long shifts: the last block may hold no whole frame.
  for (int shift : {1599, 1600}) {
    for (int n : {16000, 17000, 30001}) {
      const outcome w = track(voiced_signal(150, 150, n, kFs), "-p " + std::to_string(shift));
      EXPECT_EQ(w.status, 0) << shift << " " << n << ": " << w.err;
      EXPECT_EQ(w.values.size(), (size_t)((n + shift - 1) / shift)) << shift << " " << n;
    }
  }
}

TEST_F(PitchCommand, OutputTypes) {
  std::vector<float> x = voiced_signal(200, 200, 8000, kFs);
  x.resize(16000, 0.0f);  // voiced half, then silence
  const outcome hz = track(x, "-o 1");
  const outcome period = track(x, "-o 0");
  const outcome logf0 = track(x, "-o 2");
  ASSERT_EQ(hz.status, 0);
  ASSERT_EQ(period.values.size(), hz.values.size());
  ASSERT_EQ(logf0.values.size(), hz.values.size());
  EXPECT_NEAR(hz.values[40], 200.0f, 2.0f);
  EXPECT_NEAR(period.values[40], 80.0f, 1.0f);
  EXPECT_NEAR(logf0.values[40], std::log(200.0f), 0.01f);
  EXPECT_EQ(hz.values[180], 0.0f);
  EXPECT_EQ(period.values[180], 0.0f);
  EXPECT_EQ(logf0.values[180], -1.0E10f);
  for (size_t k = 0; k < hz.values.size(); k++) {
    if (hz.values[k] > 0.0f) {
      EXPECT_FLOAT_EQ(period.values[k], (float)(kFs / hz.values[k]));
      EXPECT_FLOAT_EQ(logf0.values[k], std::log(hz.values[k]));
    }
  }
}

TEST_F(PitchCommand, ReadsNamedFileAndSamplingFrequency) {
  // 8 kHz signal at 125 Hz: 64 samples a period.
  write_input(voiced_signal(125, 125, 8000, 8000.0));
  const outcome r = run("-s 8 -p 40 -o 0 " + path("/in.f32"), "/dev/null");
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(r.values.size(), 200u);
  EXPECT_NEAR(r.values[100], 64.0f, 1.0f);
}

TEST_F(PitchCommand, HighSamplingFrequencyLimitsTheLpcOrder) {
  // 100 kHz asks for order 102 in the stationarity analysis; 100 is used.
  write_input(voiced_signal(150, 150, 50000, 100000.0));
  const outcome r = run("-s 100 -p 500");
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(r.values.size(), 100u);
  EXPECT_NEAR(r.values[50], 150.0f, 2.0f);
  EXPECT_EQ(r.err.rfind("Optimim order (102) exceeds that allowable (100); reduce Fs\n", 0), 0u) << r.err;
}

TEST_F(PitchCommand, TooShortInputIsRefused) {
  for (int n : {0, 100, 280}) {
    const outcome r = track(voiced_signal(150, 150, n, kFs));
    EXPECT_EQ(r.status, 1) << "length " << n;
    EXPECT_EQ(r.out_bytes, 0u);
    EXPECT_EQ(r.err.rfind("input range too small for analysis by zolvar.\n", 0), 0u) << r.err;
    EXPECT_TRUE(ends_with_usage(r.err));
  }
}

TEST_F(PitchCommand, ParameterErrors) {
  write_input(voiced_signal(150, 150, 4000, kFs));
  const std::string f0_msg =
      "ERROR: min(max)_f0 parameter inconsistent with sampling frequency.\n"
      "invalid/inconsistent parameters -- exiting.\n";
  const std::string step_msg =
      "ERROR: frame_step parameter must be between [1/sampling rate, 0.1].\n"
      "invalid/inconsistent parameters -- exiting.\n";
  for (const char* args : {"-L 400 -H 60", "-L 100 -H 100", "-H 8000", "-L 1"}) {
    const outcome r = run(args);
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_EQ(r.err.rfind(f0_msg, 0), 0u) << args << ": " << r.err;
    EXPECT_TRUE(ends_with_usage(r.err)) << args;
  }
  for (const char* args : {"-p 0", "-p -80", "-p 1601"}) {
    const outcome r = run(args);
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_EQ(r.err.rfind(step_msg, 0), 0u) << args << ": " << r.err;
  }
  const outcome low_rate = run("-s 3");
  EXPECT_EQ(low_rate.status, 1);
  EXPECT_NE(low_rate.err.find("sampling frequency must be between 4 and 1000 kHz"), std::string::npos);
  EXPECT_EQ(low_rate.out_bytes, 0u);
}

TEST_F(PitchCommand, HelpAndBadOptions) {
  write_input(std::vector<float>(4000, 0.0f));
  const outcome help = run("-h");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out_bytes, 0u);
  EXPECT_EQ(help.err.rfind(
                "\n pitch - F0 extraction\n\n  usage:\n       pitch [ options ] [ infile ] > stdout\n", 0),
            0u);
  EXPECT_TRUE(ends_with_usage(help.err)) << help.err;
  EXPECT_EQ(help.err.find("version"), std::string::npos) << help.err;

  const outcome bad = run("-x 1");
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.err, "pitch : Invalid option 'x'!\n" + help.err);

  const outcome missing = run("-p");
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, help.err);

  const outcome algorithm = run("-a 7");
  EXPECT_EQ(algorithm.status, 1);
  EXPECT_EQ(algorithm.err.rfind("pitch : Unknown algorithm 7!\n", 0), 0u);

  const outcome value = run("-p eighty");
  EXPECT_EQ(value.status, 1);
  EXPECT_EQ(value.err.rfind("pitch : Invalid value 'eighty' for option '-p'!\n", 0), 0u);
}

TEST_F(PitchCommand, BadInputIsRefused) {
  write_input(std::vector<float>(4000, 0.0f));
  const outcome missing = run(path("/absent.f32"));
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "pitch : Cannot open " + path("/absent.f32") + "!\n");

  std::vector<float> x = voiced_signal(150, 150, 4000, kFs);
  x[100] = NAN;
  const outcome nan = track(x);
  EXPECT_EQ(nan.status, 1);
  EXPECT_EQ(nan.out_bytes, 0u);
  EXPECT_NE(nan.err.find("not a finite number"), std::string::npos);

  write_input(voiced_signal(150, 150, 4000, kFs));
  {
    std::ofstream f(path("/in.f32"), std::ios::binary | std::ios::app);
    f.write("ab", 2);
  }
  const outcome ragged = run("");
  EXPECT_EQ(ragged.status, 1);
  EXPECT_NE(ragged.err.find("ends inside a sample"), std::string::npos);
}

}  // namespace
