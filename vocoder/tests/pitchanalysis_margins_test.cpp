// The tracker's voicing margins with its hypotheses spilled to the temporary file: the same
// margins and track as getpitchmargins keeps in memory, with frames settled as they go.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "pitchanalysis.h"
#include "testsignals.h"

using namespace velk;

namespace {

const double kFs = 16000.0;
const uint32_t kHop = 80;

// Voiced, noisy and silent stretches, on the +-1 scale.
std::vector<double> mixedsignal() {
  std::vector<float> x = voiced_signal(100, 170, 8000, kFs);
  const std::vector<float> hiss = noise_signal(4000, 600, 3);
  x.insert(x.end(), hiss.begin(), hiss.end());
  x.insert(x.end(), 2000, 0.0f);
  const std::vector<float> high = voiced_signal(240, 200, 6000, kFs);
  x.insert(x.end(), high.begin(), high.end());
  std::vector<double> signal(x.begin(), x.end());
  for (double& v : signal) v /= 32768;
  return signal;
}

bool samebits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

}  // namespace

TEST(PitchTrackerMargins, SpilledHypothesesGiveTheMarginsKeptInMemory) {
  const std::vector<double> x = mixedsignal();
  const uint32_t n = static_cast<uint32_t>(x.size()), frames = n / kHop + 1;
  std::vector<double> f0(frames), margin(frames);
  ASSERT_EQ(getpitchmargins(x.data(), n, kFs, kHop, 40, frames, 60, 500, f0.data(), margin.data()), 0);
  ASSERT_LT(frames, pitchtrackermarginframes);  // the reference spilled nothing
  double* xf = applyfftfilter(x.data(), n, kFs);
  ASSERT_NE(xf, nullptr);
  const double level = pitchtrackerlevel(0.0, xf, n);
  for (const uint32_t spill : {1u, 4u, 33u, frames - 1}) {
    pitchtracker* tr = pitchtrackercreate(kFs, kHop, frames, 60, 500, true);
    ASSERT_NE(tr, nullptr);
    ASSERT_EQ(pitchtrackerspill(tr, spill), 0);
    std::vector<double> f0s(frames, -1.0), margins(frames, -1.0);
    // Frames fed ten at a time, settling what is settled: the margins do not need the paths kept.
    uint32_t settled = 0;
    for (uint32_t e = 10; e < frames + 10; e += 10) {
      ASSERT_EQ(pitchtrackerframes(tr, xf, 0, n, level, 40, std::min(e, frames)), 0);
      settled = pitchtrackersettle(tr, f0s.data());
    }
    EXPECT_GT(settled, frames / 2) << spill;
    ASSERT_EQ(pitchtrackerfinish(tr, f0s.data(), margins.data()), 0);
    EXPECT_TRUE(samebits(f0, f0s)) << spill;
    EXPECT_TRUE(samebits(margin, margins)) << spill;
    pitchtrackerdestroy(tr);
  }
  free(xf);
}

TEST(PitchTrackerMargins, TheSpillIsSetBeforeTheFirstFrameAndMarginsNeedATrackerMadeForThem) {
  const std::vector<double> x(4000, 0.0);
  pitchtracker* tr = pitchtrackercreate(kFs, kHop, 50, 60, 500, false);
  ASSERT_NE(tr, nullptr);
  EXPECT_EQ(pitchtrackerspill(tr, 0), -1);
  EXPECT_EQ(pitchtrackerspill(tr, 5), 0);
  ASSERT_EQ(pitchtrackerframes(tr, x.data(), 0, 4000, 0.0, 0, 50), 0);
  EXPECT_EQ(pitchtrackerspill(tr, 5), -1);
  std::vector<double> f0(50), margin(50);
  EXPECT_EQ(pitchtrackerfinish(tr, f0.data(), margin.data()), -1);
  EXPECT_EQ(pitchtrackerfinish(tr, f0.data(), nullptr), 0);
  pitchtrackerdestroy(tr);
}
