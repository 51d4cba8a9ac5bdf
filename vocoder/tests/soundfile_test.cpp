// Resampling to 16 kHz.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "soundfile.h"

using namespace velk;

namespace {

std::vector<double> sine(uint64_t n, double hz, double fs) {
  std::vector<double> x(n);
  for (uint64_t t = 0; t < n; ++t) x[t] = 0.5 * std::sin(2 * M_PI * hz * t / fs);
  return x;
}

}  // namespace

TEST(Resample16k, KeepsASineInsideTheBandAtItsLevelAndPhase) {
  for (double fs : {8000.0, 22050.0, 44100.0, 48000.0}) {
    const uint64_t n = static_cast<uint64_t>(fs);  // one second
    const std::vector<double> x = sine(n, 440.0, fs);
    double* y = nullptr;
    ASSERT_EQ(resample16k(x.data(), n, fs, &y), 16000u) << fs;
    // Away from the edges the output is the same sine sampled at 16 kHz.
    double worst = 0;
    for (uint32_t t = 2000; t < 14000; ++t)
      worst = std::fmax(worst, std::fabs(y[t] - 0.5 * std::sin(2 * M_PI * 440.0 * t / 16000.0)));
    EXPECT_LT(worst, 1e-3) << fs;
    free(y);
  }
}

TEST(Resample16k, RemovesWhatLiesAboveTheNewNyquistFrequency) {
  const std::vector<double> x = sine(44100, 12000.0, 44100.0);
  double* y = nullptr;
  ASSERT_EQ(resample16k(x.data(), x.size(), 44100.0, &y), 16000u);
  double peak = 0;
  for (uint32_t t = 2000; t < 14000; ++t) peak = std::fmax(peak, std::fabs(y[t]));
  EXPECT_LT(peak, 1e-3);
  free(y);
}

TEST(Resample16k, SixteenKilohertzIsCopiedAndBadRatesAreRefused) {
  const std::vector<double> x = {0.1, -0.2, 0.3};
  double* y = nullptr;
  ASSERT_EQ(resample16k(x.data(), 3, 16000.0, &y), 3u);
  EXPECT_EQ(std::vector<double>(y, y + 3), x);
  free(y);
  for (double fs : {0.0, -8000.0, double(NAN), double(INFINITY)}) {
    EXPECT_EQ(resample16k(x.data(), 3, fs, &y), 0u) << fs;
    EXPECT_EQ(y, nullptr);
  }
  EXPECT_EQ(resample16k(x.data(), 0, 8000.0, &y), 0u);
}
