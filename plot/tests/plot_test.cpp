// Decisions of the plotter interpreter that need no display: coordinate conversion,
// polygon styles, pens, font choice, symbol characters and arcs.
#include <gtest/gtest.h>

#include <cmath>

#include "plot.h"

using namespace velk;

namespace {

class Orientation : public ::testing::Test {
 protected:
  pagesettings page;  // the viewer's defaults: portrait, shrink 3.3866667
};

// Portrait pages are 1995 x 2870 plotter units, landscape ones 2870 x 1995: the corners map to
// the window's, the origin at the bottom left.
TEST_F(Orientation, PageCornersMapToWindowCornersInBothOrientations) {
  for (int landscape : {0, 1}) {
    page.landscape = landscape;
    const int wide = landscape ? 2870 : 1995, high = landscape ? 1995 : 2870;
    const int columns = landscape ? 847 : 589, rows = landscape ? 589 : 847;
    EXPECT_EQ(normx(page, wide), columns) << landscape;
    EXPECT_EQ(normy(page, high), 0) << landscape;
    EXPECT_EQ(normx(page, 0), 0) << landscape;
    EXPECT_EQ(normy(page, 0), rows) << landscape;
    EXPECT_EQ(pagewidthpixels(page), columns) << landscape;
    EXPECT_EQ(pageheightpixels(page), rows) << landscape;
  }
}

TEST_F(Orientation, ConversionRoundsHalfUpAtOtherScales) {
  page.shrink = 2.0f;
  EXPECT_EQ(normx(page, 3), 2);  // 1.5 rounds up
  EXPECT_EQ(normx(page, 1), 1);  // 0.5 rounds up
  EXPECT_EQ(normy(page, 2869), 1);
  EXPECT_EQ(normx(page, -1), 0);  // -0.5 + 0.5 truncates to 0
}

TEST(PolygonStyle, TypesSelectPatternAndOutline) {
  EXPECT_EQ(polygonstyle(20).pattern, 6);
  EXPECT_TRUE(polygonstyle(20).outline);
  EXPECT_EQ(polygonstyle(19).pattern, 7);
  EXPECT_FALSE(polygonstyle(19).outline);
  EXPECT_EQ(polygonstyle(29).pattern, -1);
  EXPECT_TRUE(polygonstyle(29).outline);
  EXPECT_EQ(polygonstyle(22).pattern, -1);
  EXPECT_FALSE(polygonstyle(22).outline);
  EXPECT_EQ(polygonstyle(21).pattern, -1);
  EXPECT_TRUE(polygonstyle(23).outline);
  EXPECT_EQ(polygonstyle(28).pattern, 14);
  EXPECT_EQ(polygonstyle(11).pattern, -1);  // (20 - 11) mod 10 = 9
  EXPECT_EQ(polygonstyle(12).pattern, 14);
  EXPECT_EQ(polygonstyle(-2147483647 - 1).pattern, (int)((20LL + 2147483648LL) % 10) + 6);
}

TEST(PatternTables, PatternKHasKPixelsAndMarksFitNineColumns) {
  for (int k = 0; k < 17; ++k) {
    int bits = 0;
    for (int r = 0; r < 4; ++r) bits += __builtin_popcount(till_bits[k][r]);
    EXPECT_EQ(bits, k) << "pattern " << k;
  }
  for (int m = 0; m < 16; ++m)
    for (int r = 0; r < 9; ++r) EXPECT_LT(mark_bits[m][2 * r + 1], 2) << "mark " << m;
  EXPECT_EQ(mark_bits[8][8], 0xff);  // middle row of the plus: all nine pixels
  EXPECT_EQ(mark_bits[8][9], 0x01);
}

TEST(Pens, OutOfRangeSelectsPenOneAndTablesBoundTheRest) {
  EXPECT_EQ(pennumber(12), 1);
  EXPECT_EQ(pennumber(-1), 1);
  EXPECT_EQ(pennumber(10), 10);
  EXPECT_FALSE(penintable(10, false));
  EXPECT_TRUE(penintable(9, false));
  EXPECT_FALSE(penintable(8, true));
  EXPECT_TRUE(penintable(7, true));
  EXPECT_EQ(penwidth(5), 4);
  EXPECT_EQ(penwidth(6), 1);
  EXPECT_STREQ(pencolour(3), "red");
  EXPECT_STREQ(pencolour(4), "medium sea green");
}

TEST(FontChoice, FollowsSizeChangesAndStaysInTheTable) {
  EXPECT_EQ(choosefont(1, 22, 25, -1, -1, -1), 1);   // first use: the font itself
  EXPECT_EQ(choosefont(1, 22, 50, -1, -1, -1), 2);   // height 50: one size larger
  EXPECT_EQ(choosefont(1, 22, 25, 1, 22, 25), -1);   // nothing changed: keep
  EXPECT_EQ(choosefont(1, 20, 25, 1, 22, 25), 0);    // smaller
  EXPECT_EQ(choosefont(1, 30, 25, 1, 22, 25), 2);    // larger
  EXPECT_EQ(choosefont(0, 10, 10, 0, 22, 25), 0);    // would be -1
  EXPECT_EQ(choosefont(12, 22, 50, 5, 22, 25), 12);  // would be 13
}

TEST(SymbolText, GreekBytesMapToSymbolLetters) {
  EXPECT_EQ(symbolchar(0xE1), 'a');
  EXPECT_EQ(symbolchar(0xC1), 'A');
  EXPECT_EQ(symbolchar(0xD8), 'W');
  EXPECT_EQ(symbolchar(0xF8), 'w');
  EXPECT_EQ(symbolchar(0xFE), static_cast<char>(0xA5));
  EXPECT_EQ(symbolchar(0xD9), ' ');
}

TEST(Arcs, AnglesAreTenthsAndBoxUsesRadianCosSin) {
  const arcbounds b = arcbox(pagesettings(), 100, 100, 0, 3600);
  EXPECT_EQ(b.a1, 0);
  EXPECT_EQ(b.a2, 360);
  EXPECT_EQ(b.w, static_cast<int>(100 / 3.3866667f + 0.5));
  EXPECT_EQ(b.h, static_cast<int>(std::fabs(100 * std::sin(360.0)) / 3.3866667f + 0.5));
  EXPECT_EQ(arcbox(pagesettings(), 50, 50, 905, 17).a1, 90);
}

}  // namespace
