// The epoch tracker on signals of known F0: pulse positions, frame accuracy on
// steady and gliding F0 with and without noise, silence and noise unvoiced,
// real speech, and its refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "brindel/wave/audioload.h"
#include "epoch_tracker.h"
#include "synth_signals.h"

namespace {

const float kFs = 16000.0f;
const float kInterval = 0.005f;  // 80 samples

std::vector<int16_t> to_int16(const std::vector<float>& x) {
  std::vector<int16_t> s(x.size());
  for (size_t i = 0; i < x.size(); i++) s[i] = (int16_t)std::lround(x[i]);
  return s;
}

struct Result {
  std::vector<float> f0, corr;
};

Result track(const std::vector<int16_t>& s, float fs = kFs, float min_f0 = 60.0f,
             float max_f0 = 400.0f, EpochTracker* out = nullptr) {
  EpochTracker local;
  EpochTracker& et = out ? *out : local;
  Result r;
  EXPECT_TRUE(et.Init(s.data(), (int)s.size(), fs, min_f0, max_f0, true, false));
  EXPECT_TRUE(et.ComputeFeatures());
  EXPECT_TRUE(et.TrackEpochs());
  EXPECT_TRUE(et.ResampleAndReturnResults(kInterval, &r.f0, &r.corr));
  return r;
}

// Share of frames, away from the ends, unvoiced or more than 20 % off the truth.
double gross_error_rate(const std::vector<float>& f0, double f0_start, double f0_end, int n) {
  int counted = 0, gross = 0;
  for (size_t k = 0; k < f0.size(); k++) {
    const int centre = (int)k * 80;
    if (centre < 400 || centre > n - 400) continue;
    const double truth = f0_start + (f0_end - f0_start) * centre / n;
    counted++;
    if (std::fabs(f0[k] - truth) > 0.2 * truth) gross++;
  }
  return counted ? (double)gross / counted : 1.0;
}

int voiced_count(const std::vector<float>& f0) {
  return (int)std::count_if(f0.begin(), f0.end(), [](float v) { return v > 0.0f; });
}

struct Case {
  double f0_start, f0_end, snr_db;  // snr 0: clean
};

class Accuracy : public ::testing::TestWithParam<Case> {};

TEST_P(Accuracy, GrossErrorsUnderTwoPercentOfVoicedFrames) {
  const Case c = GetParam();
  const int n = 3 * 16000;
  std::vector<float> x = voiced_signal(c.f0_start, c.f0_end, n, kFs);
  if (c.snr_db > 0.0) add_noise(x, c.snr_db, 7);
  const Result r = track(to_int16(x));
  ASSERT_EQ(r.f0.size(), (size_t)(n / 80));
  const double rate = gross_error_rate(r.f0, c.f0_start, c.f0_end, n);
  printf("F0 %g->%g Hz, SNR %g: gross error rate %.2f %%\n", c.f0_start, c.f0_end, c.snr_db,
         100.0 * rate);
  EXPECT_LT(rate, 0.02);
}

INSTANTIATE_TEST_SUITE_P(KnownF0, Accuracy,
                         ::testing::Values(Case{80, 80, 0}, Case{120, 120, 0}, Case{200, 200, 0},
                                           Case{350, 350, 0}, Case{100, 250, 0},
                                           Case{80, 80, 20}, Case{120, 120, 20},
                                           Case{200, 200, 20}, Case{350, 350, 20},
                                           Case{100, 250, 20}),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           const Case& c = info.param;
                           return "F0_" + std::to_string((int)c.f0_start) + "_" +
                                  std::to_string((int)c.f0_end) +
                                  (c.snr_db > 0 ? "_snr20" : "_clean");
                         });

// A 125 Hz pulse train has its pulses at 0 and then at 127 + 128 m: every
// epoch after the second sits exactly one period after the one before, at a
// fixed delay from the excitation.
TEST(EpochTracker, PulsesOfASteadyTrainAreOnePeriodApart) {
  const int n = 16000;
  EpochTracker et;
  const Result r = track(to_int16(voiced_signal(125, 125, n, kFs)), kFs, 60.0f, 400.0f, &et);
  const std::vector<EpochTracker::Epoch>& e = et.epochs();
  ASSERT_GT(e.size(), 110u);
  EXPECT_EQ(e[0].period, 0);
  const int delay = (e[1].position - 127) % 128;
  EXPECT_LE(delay, 4);  // the residual peak lags the excitation by a few samples at most
  for (size_t k = 2; k < e.size(); k++) {
    EXPECT_EQ(e[k].position - e[k - 1].position, 128) << k;
    EXPECT_EQ(e[k].period, 128);
    EXPECT_GT(e[k].ncc, 0.9f);
  }
  for (size_t i = 10; i < r.f0.size() - 10; i++) EXPECT_EQ(r.f0[i], 125.0f) << i;
}

TEST(EpochTracker, SilenceAndNoiseAreUnvoiced) {
  const Result silence = track(std::vector<int16_t>(16000, 0));
  ASSERT_EQ(silence.f0.size(), 200u);
  EXPECT_EQ(voiced_count(silence.f0), 0);
  const Result noise = track(to_int16(noise_signal(16000, 1000.0, 3)));
  EXPECT_EQ(voiced_count(noise.f0), 0);
}

// Voiced half, then silence: the boundary is found within a few frames.
TEST(EpochTracker, VoicedThenSilent) {
  std::vector<float> x = voiced_signal(200, 200, 8000, kFs);
  x.resize(16000, 0.0f);
  const Result r = track(to_int16(x));
  for (int k = 5; k < 95; k++) EXPECT_NEAR(r.f0[k], 200.0f, 1.0f) << k;
  for (int k = 110; k < 200; k++) EXPECT_EQ(r.f0[k], 0.0f) << k;
}

TEST(EpochTracker, OtherSamplingRate) {
  const Result r = track(to_int16(voiced_signal(125, 125, 8000, 8000.0f)), 8000.0f);
  ASSERT_EQ(r.f0.size(), 200u);
  EXPECT_LT(gross_error_rate(r.f0, 125, 125, 16000), 0.02);
}

// Inputs shorter than a period still give one unvoiced value per frame.
TEST(EpochTracker, TinyInputs) {
  for (int n : {1, 2, 50, 81}) {
    const Result r = track(std::vector<int16_t>(n, 100));
    EXPECT_EQ(r.f0.size(), (size_t)(n + 79) / 80) << n;
    EXPECT_EQ(voiced_count(r.f0), 0) << n;
  }
}

std::vector<int16_t> load_sample(const std::string& name, int32_t* rate) {
  FileResource fr(std::string(VELK_SAMPLES_DIR) + "/" + name, "rb");
  std::vector<int16_t> s;
  EXPECT_TRUE(fr.Get());
  WaveIO io;
  EXPECT_TRUE(io.Load(&fr, &s, rate));
  return s;
}

// Real speech: a female prompt of 1.4 s with pauses at both ends, and a male one.
TEST(EpochTracker, TracksRealSpeech) {
  struct Voice {
    const char* file;
    float low, high;
  };
  for (const Voice& v : {Voice{"en_vm-deleted.wav", 165.0f, 260.0f},
                         Voice{"it_vm-goodbye.wav", 0.0f, 1000.0f}}) {
    int32_t rate = 0;
    const std::vector<int16_t> s = load_sample(v.file, &rate);
    const Result r = track(s, (float)rate);
    std::vector<float> voiced;
    for (float f : r.f0)
      if (f > 0.0f) voiced.push_back(f);
    const double share = (double)voiced.size() / r.f0.size();
    ASSERT_FALSE(voiced.empty()) << v.file;
    std::sort(voiced.begin(), voiced.end());
    const float median = voiced[voiced.size() / 2];
    printf("%s: %.0f %% voiced, median F0 %.1f Hz\n", v.file, 100.0 * share, median);
    EXPECT_GT(share, 0.3) << v.file;
    EXPECT_LT(share, 0.9) << v.file;
    EXPECT_GT(median, v.low) << v.file;
    EXPECT_LT(median, v.high) << v.file;
  }
}

TEST(EpochTracker, RefusesWhatItCannotTrack) {
  const std::vector<int16_t> s(1000, 0);
  EpochTracker et;
  EXPECT_FALSE(et.Init(s.data(), 0, kFs, 60, 400, true, false));
  EXPECT_FALSE(et.Init(nullptr, 1000, kFs, 60, 400, true, false));
  EXPECT_FALSE(et.Init(s.data(), 1000, 0.0f, 60, 400, true, false));
  EXPECT_FALSE(et.Init(s.data(), 1000, kFs, 400, 60, true, false));
  EXPECT_FALSE(et.Init(s.data(), 1000, kFs, 0, 400, true, false));
  EXPECT_FALSE(et.Init(s.data(), 1000, kFs, 60, 8000, true, false));
  EXPECT_FALSE(et.Init(s.data(), 1000, kFs, 60, 400, true, true));
  EXPECT_FALSE(et.ComputeFeatures());
  ASSERT_TRUE(et.Init(s.data(), 1000, kFs, 60, 400, true, false));
  std::vector<float> f0, corr;
  ASSERT_TRUE(et.ComputeFeatures());
  ASSERT_TRUE(et.TrackEpochs());
  EXPECT_FALSE(et.ResampleAndReturnResults(0.0f, &f0, &corr));
  EXPECT_TRUE(et.ResampleAndReturnResults(kInterval, &f0, &corr));
  EXPECT_EQ(f0.size(), 13u);  // ceil(1000 / 80)
}

}  // namespace
