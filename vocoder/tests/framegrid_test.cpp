// Frame counts and centres of the feature grid, against frames enumerated one by one.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "framegrid.h"

using namespace velk;

namespace {

// Frames enumerated one by one: a centred frame exists while its centre lies in the signal
// (0 .. N inclusive, as a front end that pads half a window on both sides counts them); an
// uncentred one while its whole window does.
uint64_t enumeratedframes(const framegrid& g, uint64_t samples) {
  uint64_t t = 0;
  if (g.center)
    while (t * g.hop <= samples) ++t;
  else
    while (t * g.hop + g.window <= samples) ++t;
  return t;
}

TEST(FrameGrid, CountsFollowTheConventionForEveryLengthUpToThreeHopsAndOne) {
  const framegrid pairs[] = {{22050, 256, 1024, true}, {24000, 120, 480, true}, {16000, 160, 400, true}};
  for (framegrid g : pairs) {
    for (bool center : {true, false}) {
      g.center = center;
      for (uint64_t n = 0; n <= 3 * g.hop + 1; ++n) {
        const uint64_t frames = gridframes(g, n);
        EXPECT_EQ(frames, enumeratedframes(g, n)) << g.hop << "/" << g.window << " " << center << " N=" << n;
        // The padded front end's count: reflect-pad window/2 on each side, then uncentred frames.
        if (center)
          EXPECT_EQ(frames, 1 + (n + 2 * (g.window / 2) - g.window) / g.hop) << n;
        else
          EXPECT_EQ(frames, n < g.window ? 0 : 1 + (n - g.window) / g.hop) << n;
      }
    }
  }
}

TEST(FrameGrid, TheIssuesExampleAndShortSignals) {
  framegrid g{22050, 256, 1024, true};
  EXPECT_EQ(gridframes(g, 25600), 101u);  // 100 hops: a frame on either end
  EXPECT_EQ(gridframes(g, 25599), 100u);
  EXPECT_EQ(gridframes(g, 0), 1u);
  EXPECT_EQ(gridframes(g, 255), 1u);
  g.center = false;
  EXPECT_EQ(gridframes(g, 25600), 97u);
  EXPECT_EQ(gridframes(g, 1023), 0u);  // shorter than a window: no frame
  EXPECT_EQ(gridframes(g, 1024), 1u);
  EXPECT_EQ(gridframes(g, 0), 0u);
}

TEST(FrameGrid, CentresAndStarts) {
  framegrid g{22050, 256, 1024, true};
  EXPECT_EQ(gridcentre(g, 0), 0u);
  EXPECT_EQ(gridcentre(g, 3), 768u);
  EXPECT_EQ(gridstart(g, 0), -512);
  EXPECT_EQ(gridstart(g, 3), 256);
  g.center = false;  // the centred grid shifted by half a window
  EXPECT_EQ(gridcentre(g, 0), 512u);
  EXPECT_EQ(gridcentre(g, 3), 1280u);
  EXPECT_EQ(gridstart(g, 3), 768);
  g.window = 1025;  // odd: the middle sample
  EXPECT_EQ(gridcentre(g, 1), 256u + 512u);
  EXPECT_EQ(gridstart(g, 1), 256);
}

TEST(FrameGrid, HopsInMillisecondsRoundToTheNearestSample) {
  EXPECT_EQ(hopfromms(10.0, 16000), 160u);
  EXPECT_EQ(hopfromms(12.5, 22050), 276u);  // 275.625
  EXPECT_EQ(hopfromms(5.0, 22050), 110u);   // 110.25
  EXPECT_EQ(hopfromms(0.02, 100000), 2u);   // 2 exactly
  EXPECT_EQ(hopfromms(0.015, 100000), 2u);  // 1.5: halves up
  EXPECT_EQ(hopfromms(0.004, 100000), 0u);  // 0.4: no sample
  EXPECT_EQ(hopfromms(-5.0, 16000), 0u);
  EXPECT_EQ(hopfromms(NAN, 16000), 0u);
  EXPECT_EQ(hopfromms(INFINITY, 16000), 0u);
  EXPECT_EQ(hopfromms(1e12, 48000), 0u);  // beyond 32 bits
}

TEST(FrameGrid, CheckRefusesEmptyHopsWindowsAndRates) {
  EXPECT_EQ(checkframegrid({22050, 256, 1024, true}), 0);
  EXPECT_EQ(checkframegrid({22050, 0, 1024, true}), -1);
  EXPECT_EQ(checkframegrid({22050, 256, 0, true}), -1);
  EXPECT_EQ(checkframegrid({0, 256, 1024, true}), -1);
}

}  // namespace
