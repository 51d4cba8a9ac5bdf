// The page layout of figures.
#include <gtest/gtest.h>

#include "figure.h"

using namespace velk;

namespace {

TEST(Layout, PanelsShareTheirEdgesAndATooSmallPageIsRefused) {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
  cairo_t* cr = cairo_create(s);
  Figure f;
  FigurePanel a, b;
  a.x = b.x = nice_axis(0, 1, false);
  a.y = nice_axis(0, 100, true);
  b.y = nice_axis(-1000, 1000, true);  // wider labels: both plots move right together
  a.yname = b.yname = "y";
  a.title = "A";
  b.xname = "Time (s)";
  f.panels = {a, b};
  FigureLayout l;
  ASSERT_TRUE(layout_figure(cr, f, 504, 576, &l));
  EXPECT_GT(l.left, 30);
  EXPECT_LT(l.right, 504);
  ASSERT_EQ(l.top.size(), 2u);
  EXPECT_NEAR(l.bottom[0] - l.top[0], l.bottom[1] - l.top[1], 1e-9);
  EXPECT_LT(l.bottom[0], l.top[1]);
  EXPECT_LT(l.bottom[1], 576);
  // A larger font takes more room; a page of an inch cannot hold two panels.
  Figure big = f;
  big.font_pt = 20;
  FigureLayout lb;
  ASSERT_TRUE(layout_figure(cr, big, 504, 576, &lb));
  EXPECT_GT(lb.left, l.left);
  EXPECT_FALSE(layout_figure(cr, f, 72, 72, &l));
  cairo_destroy(cr);
  cairo_surface_destroy(s);
}

}  // namespace
