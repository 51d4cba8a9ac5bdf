// Pitch tracking and refinement on recorded speech and on steady harmonic signals.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "pitchanalysis.h"

using namespace velk;

namespace {

const double kFs = 16000.0;
const uint32_t kHop = 80;
const double kF0Min = 60.0, kF0Max = 500.0;

// Samples of a mono 16-bit WAV file with a plain 44-byte header, scaled by 1/32768.
std::vector<double> readwav44(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<double> x;
  for (size_t i = 44; i + 1 < bytes.size(); i += 2)
    x.push_back((int16_t)(bytes[i] | (bytes[i + 1] << 8)) / 32768.0);
  return x;
}

uint32_t framecount(size_t n) {
  return (uint32_t)((n - 1) / kHop + 1);
}

std::vector<double> pitchtrack(const std::vector<double>& x) {
  std::vector<double> f0(framecount(x.size()));
  getpitch(x.data(), x.size(), kFs, kHop, 0, f0.size(), kF0Min, kF0Max, f0.data());
  return f0;
}

std::vector<double> steadyharmonics(uint32_t n, double f0) {
  std::vector<double> x(n, 0.0);
  for (uint32_t t = 0; t < n; t++)
    for (int h = 1; h * f0 < 4000; h++) x[t] += 0.2 / h * cos(2 * M_PI * h * f0 * t / kFs + h);
  return x;
}

class SpeechSample : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    x = readwav44(std::string(VELK_SAMPLES_DIR) + "/" + GetParam());
    ASSERT_GT(x.size(), 8000u);
  }
  std::vector<double> x;
};

}  // namespace

TEST_P(SpeechSample, TrackStaysInsideTheF0Range) {
  const std::vector<double> f0 = pitchtrack(x);
  uint32_t voiced = 0;
  double lo = 1e9, hi = 0;
  for (double f : f0) {
    if (f == 0.0) continue;
    voiced++;
    lo = std::min(lo, f);
    hi = std::max(hi, f);
    EXPECT_GE(f, kF0Min);
    EXPECT_LE(f, kF0Max);
  }
  printf("%s: %zu frames, %u voiced, F0 %.1f .. %.1f Hz\n", GetParam(), f0.size(), voiced, lo, hi);
  EXPECT_GT(voiced, f0.size() / 5);
}

TEST_P(SpeechSample, RefinementNeverMovesAFrameByMoreThan20Percent) {
  const std::vector<double> f0 = pitchtrack(x);
  double largest = 0;
  for (uint32_t iterations = 1; iterations <= 5; iterations++) {
    std::vector<double> refined = f0;
    refinepitch(x.data(), x.size(), kFs, kHop, 0, refined.size(), kF0Min, kF0Max, iterations, refined.data(),
                nullptr);
    for (size_t i = 0; i < f0.size(); i++) {
      if (f0[i] == 0.0) {
        ASSERT_EQ(refined[i], 0.0);
        continue;
      }
      const double move = fabs(refined[i] - f0[i]) / f0[i];
      largest = std::max(largest, move);
      ASSERT_LE(move, 0.2) << "frame " << i << " with " << iterations << " iterations";
      ASSERT_GE(refined[i], kF0Min);
      ASSERT_LE(refined[i], kF0Max);
    }
  }
  printf("%s: largest refinement move %.2f %%\n", GetParam(), 100 * largest);
}

TEST_P(SpeechSample, LoadedTrackBelowTheFloorIsServedAndKept) {
  // A track from elsewhere may hold F0 values below the floor: the refinement must size its
  // buffers for them and, as no refined value may leave the range, keep them.
  std::vector<double> f0 = pitchtrack(x);
  for (double& f : f0) f *= 0.5;
  const std::vector<double> loaded = f0;
  const double floor = 100.0;
  refinepitch(x.data(), x.size(), kFs, kHop, 0, f0.size(), floor, kF0Max, 3, f0.data(), nullptr);
  for (size_t i = 0; i < f0.size(); i++) {
    if (loaded[i] < floor / 1.2) {
      ASSERT_EQ(f0[i], loaded[i]) << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Samples, SpeechSample,
                         ::testing::Values("Front_Center.wav", "Front_Left.wav", "Rear_Right.wav",
                                           "en_vm-deleted.wav", "it_vm-goodbye.wav"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           name = name.substr(0, name.rfind('.'));
                           for (char& c : name)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

TEST(RefinePitch, MovesAnOffsetTrackOntoTheTrueF0) {
  const uint32_t n = 8000, frames = 100;
  std::vector<double> x = steadyharmonics(n, 150.0);
  std::vector<double> f0(frames, 145.0);
  f0[50] = 0.0;
  refinepitch(x.data(), n, kFs, kHop, 0, frames, kF0Min, kF0Max, 5, f0.data(), nullptr);
  EXPECT_EQ(f0[50], 0.0);
  for (uint32_t i = 10; i < 90; i++) {
    if (i != 50) {
      EXPECT_NEAR(f0[i], 150.0, 0.5) << i;
    }
  }
}

TEST(RefinePitch, KeepsValuesWhenTheRefinedF0LeavesTheRangeOrNoIterationIsAsked) {
  const uint32_t n = 8000, frames = 100;
  std::vector<double> x = steadyharmonics(n, 150.0);
  std::vector<double> f0(frames, 145.0);
  // Away from the signal ends the refined value (about 150 Hz) lies above a ceiling of
  // 147 Hz and is rejected.
  refinepitch(x.data(), n, kFs, kHop, 0, frames, kF0Min, 147.0, 5, f0.data(), nullptr);
  for (uint32_t i = 10; i < 90; i++) EXPECT_EQ(f0[i], 145.0) << i;
  const std::vector<double> before = f0;
  refinepitch(x.data(), n, kFs, kHop, 0, frames, kF0Min, kF0Max, 0, f0.data(), nullptr);
  EXPECT_EQ(f0, before);
}
