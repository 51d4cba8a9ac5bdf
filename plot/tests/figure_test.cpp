// The page layout of figures.
#include <gtest/gtest.h>

#include "figure.h"

using namespace velk;

namespace {

TEST(Layout, PanelsShareTheirEdgesAndATooSmallPageIsRefused) {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
  cairo_t* cr = cairo_create(s);
  figurepage f;
  figurepanel a, b;
  a.x = b.x = niceaxis(0, 1, false);
  a.y = niceaxis(0, 100, true);
  b.y = niceaxis(-1000, 1000, true);  // wider labels: both plots move right together
  a.yname = b.yname = "y";
  a.title = "A";
  b.xname = "Time (s)";
  f.panels = {a, b};
  figurelayout l;
  ASSERT_TRUE(layoutfigure(cr, f, 504, 576, &l));
  EXPECT_GT(l.left, 30);
  EXPECT_LT(l.right, 504);
  ASSERT_EQ(l.top.size(), 2u);
  EXPECT_NEAR(l.bottom[0] - l.top[0], l.bottom[1] - l.top[1], 1e-9);
  EXPECT_LT(l.bottom[0], l.top[1]);
  EXPECT_LT(l.bottom[1], 576);
  // A larger font takes more room; a page of an inch cannot hold two panels.
  figurepage big = f;
  big.fontpt = 20;
  figurelayout lb;
  ASSERT_TRUE(layoutfigure(cr, big, 504, 576, &lb));
  EXPECT_GT(lb.left, l.left);
  EXPECT_FALSE(layoutfigure(cr, f, 72, 72, &l));
  cairo_destroy(cr);
  cairo_surface_destroy(s);
}

}  // namespace
