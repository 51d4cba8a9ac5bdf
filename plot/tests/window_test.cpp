// The viewer window's pure decisions: the scroll steps and the window sizes a geometry may ask for.
#include <gtest/gtest.h>

#include "window.h"

using namespace velk;

namespace {

TEST(Scrolling, StepsAQuarterWindowAndStopsAtThePageEdges) {
  EXPECT_EQ(scrollorigin(0, 589, 300, true), 75);
  EXPECT_EQ(scrollorigin(250, 589, 300, true), 289);  // limited to page - window
  EXPECT_EQ(scrollorigin(289, 589, 300, true), -1);
  EXPECT_EQ(scrollorigin(0, 589, 300, false), -1);
  EXPECT_EQ(scrollorigin(50, 589, 300, false), 0);
  EXPECT_EQ(scrollorigin(0, 589, 589, true), -1);  // window as large as the page
  EXPECT_EQ(scrollorigin(0, 589, 301, true), 75);  // 301 / 4 truncates
}

TEST(Geometry, SizesOfOneTo32767PixelsAreAcceptedAndOthersRefused) {
  EXPECT_EQ(checkgeometry(nullptr), 0);
  EXPECT_EQ(checkgeometry("600x400+10-20"), 0);
  EXPECT_EQ(checkgeometry("+10+10"), 0);  // a place and no size keeps the page's size
  EXPECT_EQ(checkgeometry("32767x1"), 0);
  EXPECT_EQ(checkgeometry("1x32767"), 0);
  EXPECT_EQ(checkgeometry("0x0"), -1);
  EXPECT_EQ(checkgeometry("0x100"), -1);
  EXPECT_EQ(checkgeometry("100x0"), -1);
  EXPECT_EQ(checkgeometry("32768x1"), -1);
  EXPECT_EQ(checkgeometry("40000x10"), -1);
  EXPECT_EQ(checkgeometry("1x99999"), -1);
}

}  // namespace
