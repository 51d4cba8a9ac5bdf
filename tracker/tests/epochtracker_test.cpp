// The epoch tracker: pulse positions on a pulse train, silence and noise
// unvoiced, real speech, tiny inputs and refusals. Accuracy on signals of
// known F0 is tested through the pitch command.
#include "epochtracker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "soundfile.h"
#include "synthsignals.h"

using namespace velk;

namespace {

std::vector<int16_t> toint16(const std::vector<float>& x) {
  std::vector<int16_t> s(x.size());
  for (size_t i = 0; i < x.size(); i++) s[i] = (int16_t)std::lround(x[i]);
  return s;
}

// F0 per 5 ms frame.
std::vector<float> track(const std::vector<int16_t>& s, float fs = 16000.0f, epochtracker* out = nullptr) {
  epochtracker local;
  epochtracker& et = out ? *out : local;
  std::vector<float> f0, corr;
  EXPECT_EQ(et.init(s.data(), (int)s.size(), fs, 60.0f, 400.0f, true, false), 0);
  EXPECT_EQ(et.computefeatures(), 0);
  EXPECT_EQ(et.trackepochs(), 0);
  EXPECT_EQ(et.resampleandreturnresults(0.005f, &f0, &corr), 0);
  return f0;
}

// A 125 Hz train has pulses at 0 and then at 127 + 128 m: every epoch after
// the second is one period after the one before, a fixed few samples late.
TEST(epochtracker, PulsesOfASteadyTrainAreOnePeriodApart) {
  epochtracker et;
  const std::vector<float> f0 = track(toint16(voiced_signal(125, 125, 16000, 16000.0)), 16000.0f, &et);
  const std::vector<epochtracker::epoch>& e = et.epochs();
  ASSERT_GT(e.size(), 110u);
  EXPECT_EQ(e[0].period, 0);
  EXPECT_LE((e[1].position - 127) % 128, 4);
  for (size_t k = 2; k < e.size(); k++) {
    EXPECT_EQ(e[k].position - e[k - 1].position, 128) << k;
    EXPECT_EQ(e[k].period, 128);
    EXPECT_GT(e[k].ncc, 0.9f);
  }
  for (size_t i = 10; i < f0.size() - 10; i++) EXPECT_EQ(f0[i], 125.0f) << i;
}

TEST(epochtracker, SilenceAndNoiseAreUnvoiced) {
  EXPECT_EQ(voiced_count(track(std::vector<int16_t>(16000, 0))), 0);
  EXPECT_EQ(voiced_count(track(toint16(noise_signal(16000, 1000.0, 3)))), 0);
}

// Real speech: a female prompt that starts with 25 ms of pause, and a second
// voice that starts at once.
TEST(epochtracker, TracksRealSpeech) {
  struct Voice {
    const char* file;
    float low, high;
    int pause;  // leading unvoiced frames
  };
  for (const Voice& v :
       {Voice{"en_vm-deleted.wav", 165.0f, 260.0f, 5}, Voice{"it_vm-goodbye.wav", 100.0f, 300.0f, 0}}) {
    double* x = nullptr;
    soundinfo info;
    const uint32_t n =
        readsound((std::string(VELK_SAMPLES_DIR) + "/" + v.file).c_str(), soundfileownrate, &x, &info);
    ASSERT_GT(n, 0u) << v.file;
    std::vector<int16_t> s(n);
    for (uint32_t i = 0; i < n; i++) s[i] = (int16_t)lrint(x[i] * 32768.0);
    free(x);
    const std::vector<float> f0 = track(s, (float)info.rate);
    std::vector<float> voiced;
    std::copy_if(f0.begin(), f0.end(), std::back_inserter(voiced), [](float x) { return x > 0.0f; });
    const double share = (double)voiced.size() / f0.size();
    ASSERT_FALSE(voiced.empty()) << v.file;
    std::sort(voiced.begin(), voiced.end());
    EXPECT_GT(share, 0.3) << v.file;
    EXPECT_LT(share, 0.9) << v.file;
    EXPECT_GT(voiced[voiced.size() / 2], v.low) << v.file;
    EXPECT_LT(voiced[voiced.size() / 2], v.high) << v.file;
    for (int k = 0; k < v.pause; k++) EXPECT_EQ(f0[k], 0.0f) << v.file << " frame " << k;
  }
}

TEST(epochtracker, TinyInputsAndRefusals) {
  for (int n : {1, 2, 50, 81}) {
    const std::vector<float> f0 = track(std::vector<int16_t>(n, 100));
    EXPECT_EQ(f0.size(), (size_t)(n + 79) / 80) << n;
    EXPECT_EQ(voiced_count(f0), 0) << n;
  }
  const std::vector<int16_t> s(1000, 0);
  epochtracker et;
  EXPECT_EQ(et.computefeatures(), -1);  // nothing to analyse yet
  EXPECT_EQ(et.init(s.data(), 0, 16000, 60, 400, true, false), -1);
  EXPECT_EQ(et.init(nullptr, 1000, 16000, 60, 400, true, false), -1);
  EXPECT_EQ(et.init(s.data(), 1000, 0, 60, 400, true, false), -1);
  EXPECT_EQ(et.init(s.data(), 1000, 16000, 400, 60, true, false), -1);
  EXPECT_EQ(et.init(s.data(), 1000, 16000, 0, 400, true, false), -1);
  EXPECT_EQ(et.init(s.data(), 1000, 16000, 60, 8000, true, false), -1);
  EXPECT_EQ(et.init(s.data(), 1000, 16000, 60, 400, true, true), -1);
  std::vector<float> f0, corr;
  track(s, 16000.0f, &et);
  EXPECT_EQ(et.resampleandreturnresults(0.0f, &f0, &corr), -1);
}

}  // namespace
