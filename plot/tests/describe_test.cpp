// The automatic scales and the graph description of a panel.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "describe.h"

using namespace velk;

namespace {

TEST(Scales, StepsOfOneTwoOrFiveTimesAPowerOfTen) {
  const plotaxis t = niceaxis(0.0, 1.3875, false);
  EXPECT_DOUBLE_EQ(t.step, 0.2);
  EXPECT_EQ(t.decimals, 1);
  EXPECT_DOUBLE_EQ(t.max, 1.3875);  // exact ends for the time axis
  const plotaxis f = niceaxis(132.0, 289.0, true);
  EXPECT_DOUBLE_EQ(f.step, 50.0);
  EXPECT_DOUBLE_EQ(f.min, 100.0);
  EXPECT_DOUBLE_EQ(f.max, 300.0);
  EXPECT_EQ(f.decimals, 0);
  const plotaxis w = niceaxis(-0.69, 0.69, true);
  EXPECT_DOUBLE_EQ(w.step, 0.2);
  EXPECT_NEAR(w.min, -0.8, 1e-12);
  EXPECT_EQ(axislabel(w.min + 4 * w.step, w), "0.0");  // never "-0.0"
  EXPECT_EQ(axislabel(0.6000000000000001, w), "0.6");
}

TEST(Scales, EmptyOrNonFiniteRangesAreWidened) {
  const plotaxis one = niceaxis(200.0, 200.0, true);
  EXPECT_LT(one.min, 200.0);
  EXPECT_GT(one.max, 200.0);
  const plotaxis zero = niceaxis(0.0, 0.0, true);
  EXPECT_LT(zero.min, 0.0);
  EXPECT_GT(zero.max, 0.0);
  const plotaxis bad = niceaxis(NAN, INFINITY, false);
  EXPECT_DOUBLE_EQ(bad.min, 0.0);
  EXPECT_DOUBLE_EQ(bad.max, 1.0);
}

TEST(Description, NonFiniteValuesBreakTheLineAndTextsAreQuoted) {
  const plotaxis x = niceaxis(0, 4, false), y = niceaxis(0, 10, true);
  graphframe f;
  paneltext t = {"A \"quoted\" title", "Time (s)", ""};
  const std::vector<plotcurve> curves = {{{0, 1, 2, 3, 4}, {1, NAN, 2, 3, INFINITY}, "a"},
                                         {{0.5, 1.5}, {7, 8}, ""}};
  const std::string d = describepanel(x, y, curves, t, true, f);
  EXPECT_NE(d.find("x 0 4\ny 0 10\n"), std::string::npos) << d;
  EXPECT_NE(d.find("xscale 0 1 2 3 4\n"), std::string::npos) << d;
  EXPECT_NE(d.find("yscale 0 2 4 6 8 10\n"), std::string::npos) << d;
  EXPECT_NE(d.find("line 2\nxgrid 0 1 2 3 4\nygrid 0 2 4 6 8 10\nline 1\n"), std::string::npos) << d;
  EXPECT_NE(d.find("xname \"Time (s)\"\n"), std::string::npos);
  EXPECT_EQ(d.find("yname"), std::string::npos);
  // 16 characters of 3.4 mm centred over 120 mm, 6 mm above the 80 mm frame.
  EXPECT_NE(d.find("title 32.8 86 \"A 'quoted' title\"\n"), std::string::npos) << d;
  // Each curve in turn, broken at the non-finite values.
  EXPECT_NE(d.find("0 1\neod\n2 2\n3 3\neod\n0.5 7\n1.5 8\neod\n"), std::string::npos) << d;
  EXPECT_EQ(d.find("inf"), std::string::npos);
  EXPECT_EQ(d.find("nan"), std::string::npos);
}

}  // namespace
