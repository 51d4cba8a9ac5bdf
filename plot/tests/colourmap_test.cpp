// The colour maps of levels.
#include <gtest/gtest.h>

#include <cmath>

#include "colourmap.h"

using namespace velk;

namespace {

TEST(ColourMap, LightnessRisesWithTheLevelAndTheEndsAreHeld) {
  double last = -1;
  for (int i = 0; i <= 100; ++i) {
    double rgb[3];
    levelrgb(i / 100.0, false, rgb);
    const double luma = 0.2126 * rgb[0] + 0.7152 * rgb[1] + 0.0722 * rgb[2];
    EXPECT_GT(luma, last) << i;
    last = luma;
  }
  double lo[3], below[3], hi[3], grey[3];
  levelrgb(0, false, lo);
  levelrgb(-3, false, below);
  levelrgb(1, false, hi);
  EXPECT_EQ(std::vector<double>(lo, lo + 3), std::vector<double>(below, below + 3));
  EXPECT_GT(hi[0], 0.95);  // yellow at the top
  EXPECT_LT(hi[2], 0.2);
  EXPECT_LT(lo[1], 0.05);  // dark violet at the bottom
  levelrgb(0.25, true, grey);
  EXPECT_DOUBLE_EQ(grey[0], 0.75);
  EXPECT_DOUBLE_EQ(grey[2], 0.75);
}

}  // namespace
