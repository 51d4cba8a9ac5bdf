// Exact plotter commands written by the primitives and the coordinate module, and the
// requests they refuse.
#include <gtest/gtest.h>

#include <string>

#include "penprims.h"
#include "plcoord.h"

using namespace velk;

namespace {

using namespace std::string_literals;

class Primitives : public ::testing::Test {
 protected:
  plotcontext pc;  // page origin 0 0, solid lines, standard output
  void SetUp() override { testing::internal::CaptureStdout(); }
  void TearDown() override {
    if (!taken_) testing::internal::GetCapturedStdout();
  }
  std::string out() {
    taken_ = true;
    return testing::internal::GetCapturedStdout();
  }
  bool taken_ = false;
};

TEST_F(Primitives, LengthsBecomeTenthsOfMillimetresRoundedToNearest) {
  EXPECT_EQ(plnorm(0.25), 3);
  EXPECT_EQ(plnorm(-0.05), 0);
  EXPECT_EQ(plnorm(-0.06), -1);
  EXPECT_EQ(plnorm(1e300), 1000000000);
  pc.org = {35.0, 160.0};
  EXPECT_EQ(cordx(&pc, 10.0), 450);
  EXPECT_EQ(cordy(&pc, -10.0), 1500);
  plot(&pc, 3, 1.0, 2.0);
  plot(&pc, 2, 3.0, 4.0);
  EXPECT_EQ(out(), "M360 1620\nD380 1640\n\0"s);
}

TEST_F(Primitives, PensJoinsFontsAndSpeedsRejectOutOfRangeCodes) {
  EXPECT_EQ(pen(&pc, 0), -1);
  EXPECT_EQ(pen(&pc, 11), -1);
  EXPECT_EQ(pen(&pc, -1), -1);
  EXPECT_EQ(join(&pc, 3), -1);
  EXPECT_EQ(join(&pc, -1), -1);
  EXPECT_EQ(font(&pc, 20), -1);
  EXPECT_EQ(speed(&pc, 11, 0), -1);
  EXPECT_EQ(speed(&pc, 5, -1), -1);
  EXPECT_EQ(out(), "");
}

TEST_F(Primitives, PensJoinsFontsAndSpeedsWriteTheirCommands) {
  EXPECT_EQ(pen(&pc, 10), 0);
  EXPECT_EQ(join(&pc, 2), 0);
  EXPECT_EQ(font(&pc, 19), 0);
  EXPECT_EQ(speed(&pc, 5, 0), 0);
  EXPECT_EQ(speed(&pc, 5, 1), 0);
  EXPECT_EQ(pntstyl(&pc, 1), 0);
  EXPECT_EQ(out(), "J10\nK2\n$19\0!5 0\0!5\0Q21\n"s);
}

TEST_F(Primitives, FrameSettingsUseTheOrigin) {
  pc.org = {35.0, 160.0};
  rotate(&pc, 90.0);
  factor(&pc, 0.5, 1.0);
  EXPECT_EQ(offset(&pc, 1.5, 2.0), 0);
  bound(&pc, 0.0, 0.0, 100.0, 50.0);
  rstbnd(&pc, 1.0, 1.0, 1.0);
  EXPECT_EQ(out(),
            "/350 1600 900\n&2048 4096 4096\n^15 20\n\\350 1600\nZ1350 2100\n"
            "\\0 0\nZ4350 4450\n");
}

TEST_F(Primitives, SymbolMovesThenSetsSizesDirectionAndText) {
  EXPECT_EQ(symbol(&pc, 1.0, 2.0, "abc", 2.5, 2.2, 0.0), 0);
  EXPECT_EQ(out(), "M10 20\nS25\nQ22\nR0\nPabc\0"s);
}

TEST_F(Primitives, NumbersAreFormattedByTheirDecimalCount) {
  const std::string head = "M0 0\nS25\nQ22\nR0\nP";
  EXPECT_EQ(number(&pc, 0, 0, 12.7, 2.5, 2.2, 0, 6, 0), 0);     // integer part and full stop
  EXPECT_EQ(number(&pc, 0, 0, 3.14159, 2.5, 2.2, 0, 8, 2), 0);  // fixed point
  EXPECT_EQ(number(&pc, 0, 0, -7.9, 2.5, 2.2, 0, 4, -1), 0);    // integer, truncated
  EXPECT_EQ(number(&pc, 0, 0, 12345, 2.5, 2.2, 0, 3, -3), 0);   // divided by 100 first
  EXPECT_EQ(out(), head + "    12.\r\0"s + head + "    3.14\r\0"s + head + "  -7\r\0"s + head + "123\r\0"s);
}

TEST_F(Primitives, NumbersThatDoNotFitAreRefused) {
  EXPECT_EQ(number(&pc, 0, 0, 1.0, 2.5, 2.2, 0, 11, 2), -1);
  EXPECT_EQ(number(&pc, 0, 0, 1.0, 2.5, 2.2, 0, -11, 2), -1);
  EXPECT_EQ(number(&pc, 0, 0, 1.0, 2.5, 2.2, 0, 8, 10), -1);
  EXPECT_EQ(number(&pc, 0, 0, 1e300, 2.5, 2.2, 0, 8, 2), -1);
  EXPECT_EQ(number(&pc, 0, 0, 1e12, 2.5, 2.2, 0, 8, 0), -1);
  EXPECT_EQ(out(), "");
}

TEST_F(Primitives, ManyDivisionsEndAtZero) {
  EXPECT_EQ(number(&pc, 0, 0, 1e300, 2.5, 2.2, 0, 2, -2147483647 - 1), 0);
  EXPECT_EQ(out(), "M0 0\nS25\nQ22\nR0\nP 0\r\0"s);
}

TEST_F(Primitives, ItalicSlantIsTheTangentTimes256) {
  EXPECT_EQ(italic(&pc, 45.0), 0);  // the tangent is just below 1
  EXPECT_EQ(italic(&pc, -45.0), 0);
  EXPECT_EQ(italic(&pc, 89.0), -1);  // 14666
  EXPECT_EQ(italic(&pc, 90.0), -1);
  EXPECT_EQ(italic(&pc, -90.0), -1);
  EXPECT_EQ(out(), "I255\nI-255\n");
}

TEST_F(Primitives, LineCollapsesStraightRunsToTheirEnds) {
  const double x[] = {0.0, 0.1, 0.2, 0.3, 0.3}, y[] = {0.0, 0.0, 0.0, 0.0, 0.1};
  EXPECT_EQ(line(&pc, 0, x, y, 5), 0);
  const double vx[] = {0, 0, 0, 0}, vy[] = {0, 1, 2, 3};
  EXPECT_EQ(line(&pc, 0, vx, vy, 4), 0);
  EXPECT_EQ(out(), "M0 0\nD3 0\n3 1\n\0M0 0\nD0 30\n\0"s);
}

TEST_F(Primitives, LineDropsRepeatsAndKeepsReversals) {
  const double x[] = {0, 1, 1, 2}, y[] = {0, 1, 1, 1};
  EXPECT_EQ(line(&pc, 0, x, y, 4), 0);
  const double rx[] = {0, 1, 0}, ry[] = {0, 0, 0};
  EXPECT_EQ(line(&pc, 0, rx, ry, 3), 0);
  EXPECT_EQ(out(), "M0 0\nD10 10\n20 10\n\0M0 0\nD10 0\n0 0\n\0"s);
}

TEST_F(Primitives, LineKeepsACornerAtItsSecondPoint) {
  // (100, 50) -> (5, 0) -> (10, 0): the second point turns the line and must stay.
  const double x[] = {10.0, 0.5, 1.0}, y[] = {5.0, 0.0, 0.0};
  EXPECT_EQ(line(&pc, 0, x, y, 3), 0);
  EXPECT_EQ(out(), "M100 50\nD5 0\n10 0\n\0"s);
}

TEST_F(Primitives, LineWithAModeSwitchesItAroundThePolyline) {
  mode(&pc, 2, 1.6);
  const double x[] = {0, 1}, y[] = {0, 0};
  EXPECT_EQ(line(&pc, 1, x, y, 2), 0);
  EXPECT_EQ(line(&pc, 1, x, y, 1), -1);
  EXPECT_EQ(out(), "L2 16\nM0 0\nD10 0\n\0L0\n"s);
}

TEST_F(Primitives, HatchWritesTheClosedPointList) {
  const double x[] = {0, 1, 1}, y[] = {0, 0, 1};
  EXPECT_EQ(hatch(&pc, 1, x, y, 3, 2.0, 45.0), 0);
  EXPECT_EQ(hatch(&pc, 1, x, y, 2, 2.0, 45.0), -1);
  EXPECT_EQ(out(), "%21 20 450\n0 0\n10 0\n10 10\n\0"s);
}

TEST_F(Primitives, CircleWritesAnArcInPlotterUnits) {
  EXPECT_EQ(circle(&pc, 1.0, 2.0, 3.0, 3.0, 0.0, 360.0), 0);
  EXPECT_EQ(circle(&pc, 1.0, 2.0, 0.01, 0.04, 0.0, 360.0), -1);
  EXPECT_EQ(out(), "W10 20 30 30 0 3600\0"s);
}

TEST_F(Primitives, MarksStepThroughThePoints) {
  const double x[] = {0, 1, 2, 3}, y[] = {0, 0, 0, 0};
  EXPECT_EQ(mark(&pc, 3, x, y, 2, 2.0, 1), 0);
  EXPECT_EQ(mark(&pc, 5, x, y, -4, 2.0, 2), 0);  // every second of four points
  EXPECT_EQ(out(), "S35\nR0\nM0 0\nN3\nM10 0\nN3\nS35\nR0\nM0 0\nN5\nM20 0\nN5\n");
}

TEST_F(Primitives, MarksRefuseBadCodesAndCounts) {
  const double x[] = {0}, y[] = {0};
  EXPECT_EQ(mark(&pc, 16, x, y, 1, 2.0, 1), -1);
  EXPECT_EQ(mark(&pc, -1, x, y, 1, 2.0, 1), -1);
  EXPECT_EQ(mark(&pc, 3, x, y, 0, 2.0, 1), -1);
  EXPECT_EQ(mark(&pc, 3, x, y, -1, 2.0, -1), -1);
  EXPECT_EQ(mark(&pc, 3, x, y, -1, 2.0, 0), -1);  // a step of 0 never advances
  EXPECT_EQ(out(), "");
}

}  // namespace
