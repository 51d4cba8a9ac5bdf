// The graph description interpreter: exact plotter output for axes, scales, grids, texts,
// marks, circles, boxes, clipping, line settings and data polylines. Frame 100 x 50 mm at
// the page origin, characters 2 mm, marks 1 mm; one plotter unit is 0.1 mm.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "graphdraw.h"
#include "graphutil.h"
#include "plcoord.h"

using namespace velk;

namespace {

using namespace std::string_literals;

const std::string kBound = "\\0 0\nZ1000 500\n";
const std::string kReset = "\\0 0\nZ4000 2850\n";

// A polyline drawn through the clipping window with the current line mode.
std::string polyline(const std::string& mode_line, const std::string& points) {
  return kBound + mode_line + points + '\0' + "L0\n" + kReset;
}

std::string text_at(const std::string& move, const std::string& text, int size = 20, int angle = 0) {
  return move + "S" + std::to_string(size) + "\nQ" + std::to_string(size) + "\nR" + std::to_string(angle) +
         "\nP" + text + '\0';
}

class GraphDraw : public ::testing::Test {
 protected:
  plotcontext pc;  // page origin 0 0, solid lines, standard output, initial settings
  void SetUp() override {
    pc.xl = 100.0;
    pc.yl = 50.0;
    pc.h = pc.w = 2.0;
    pc.mh = pc.mw = 1.0;
    pc.wf = pc.hf = 1.0;
    pc.xclip0 = pc.yclip0 = 0.0;
    pc.xclip1 = 100.0;
    pc.yclip1 = 50.0;
    pc.type = 0;
  }

  std::string run(const std::string& description) {
    FILE* fp = fmemopen(const_cast<char*>(description.data()), description.size(), "r");
    testing::internal::CaptureStdout();
    graph(&pc, fp);
    std::fflush(stdout);
    std::fclose(fp);
    return testing::internal::GetCapturedStdout();
  }
};

TEST_F(GraphDraw, CommentsAndEmptyLinesDrawNothing) {
  EXPECT_EQ(run("# a comment\n\n   \n"), "");
}

TEST_F(GraphDraw, CrossingAtTheMinimumPutsTicksOnTheFrameEdgeWithoutAxisLine) {
  const std::string out = run("x 0 10\ny 0 5\nxscale 0 10\n");
  // Labels sit at ys = 0 - h - 1.5, lowered by half a character.
  EXPECT_EQ(out, "M0 0\nD0 15\n\0"s + text_at("M-10 -45\n", "0") + "M1000 0\nD1000 15\n\0"s +
                     text_at("M980 -45\n", "10"));
}

TEST_F(GraphDraw, NegativeFrameTypeDrawsTheAxisLineAnyway) {
  pc.type = -1;
  const std::string out = run("x 0 10\ny 0 5\nxscale s5\n");
  EXPECT_EQ(out, "M0 0\nD1000 0\n\0M500 0\nD500 8\n\0"s);
}

TEST_F(GraphDraw, BoxedFrameRepeatsTicksFromTheOppositeEdge) {
  pc.type = 1;
  EXPECT_EQ(run("x 0 10\ny 0 5\nxscale s5\n"), "M500 0\nD500 8\n\0M500 500\nD500 493\n\0"s);
  EXPECT_EQ(run("xscale2 s5\n"), "M500 0\nD500 8\n\0"s);  // a suffix: no repeat
}

TEST_F(GraphDraw, ScaleItemsChooseTicksAndLabels) {
  const std::string out = run("x 0 10\ny 0 5\nxscale 5 s2 \\8 @3 \"abc x4\n");
  EXPECT_EQ(out, "M500 0\nD500 15\n\0"s + text_at("M490 -45\n", "5") + "M200 0\nD200 8\n\0"s +
                     text_at("M790 -45\n", "8") + text_at("M270 -45\n", "abc") + "M400 0\nD400 15\n\0"s);
}

TEST_F(GraphDraw, VerticalScaleLabelsSetTheNamePosition) {
  const std::string out = run("x 0 10\ny 0 5\nyscale 0 5\nyname Volts\n");
  EXPECT_EQ(out, "M0 0\nD15 0\n\0"s + text_at("M-35 -10\n", "0") + "M0 500\nD15 500\n\0"s +
                     text_at("M-35 490\n", "5") + text_at("M-50 200\n", "Volts", 20, 900));
}

TEST_F(GraphDraw, HorizontalNameSitsBelowTheLabelsOrAtAGivenDepth) {
  EXPECT_EQ(run("x 0 10\ny 0 5\nxscale\nxname \"Time s\"\nxname T 7\n"),
            text_at("M440 -85\n", "Time s") + text_at("M490 -90\n", "T"));
}

TEST_F(GraphDraw, MelScaleWarpsTickPositions) {
  const double p = 100.0 * (0.5 + 2.0 * std::atan(0.42) / M_PI);  // 4000 of 8000 Hz
  const int units = static_cast<int>(std::floor(p * 10 + 0.5));
  const int label_x = static_cast<int>(std::floor((p - 4.0) * 10 + 0.5));
  EXPECT_EQ(run("x mel0.42 0 8000\ny 0 5\nxscale 4000\n"),
            "M" + std::to_string(units) + " 0\nD" + std::to_string(units) + " 15\n" + '\0' +
                text_at("M" + std::to_string(label_x) + " -45\n", "4000"));
}

TEST_F(GraphDraw, LogAxisTakesDataAsLogarithmsUnlessStarred) {
  // 1 to 1000 is three decades over 100 mm: two decades are at 66.7 mm.
  EXPECT_EQ(run("x log 1 1000\ny 0 5\n2 1 \\3\n"), "S18\nR0\nM667 100\nN3\n" + kBound + kReset);
  pc.is_xlog = 0;
  EXPECT_EQ(run("x log* 1 1000\ny 0 5\n100 1 \\3\n"), "S18\nR0\nM667 100\nN3\n" + kBound + kReset);
}

TEST_F(GraphDraw, LogScaleTicksUseLogarithmsOfTheirValues) {
  EXPECT_EQ(run("x log 1 1000\ny 0 5\nxscale s10 s100\n"), "M333 0\nD333 8\n\0M667 0\nD667 8\n\0"s);
}

TEST_F(GraphDraw, GridLinesSpanTheFrame) {
  EXPECT_EQ(run("xgrid 2 4\nygrid 1\n"), polyline("L0 0\n", "M20 0\nD20 500\n") +
                                             polyline("L0 0\n", "M40 0\nD40 500\n") +
                                             polyline("L0 0\n", "M0 10\nD1000 10\n"));
}

TEST_F(GraphDraw, LineTypeZeroStopsPolylines) {
  EXPECT_EQ(run("line 0\n0 0\n1 1\n"), "");
}

TEST_F(GraphDraw, LineTypesSelectTableModesAndPitches) {
  EXPECT_EQ(run("line 3\n0 0\n1 1\n"), polyline("L6 100\n", "M0 0\nD10 10\n"));
  EXPECT_EQ(run("line 2 4.5\n0 0\n1 1\n"), polyline("L2 45\n", "M0 0\nD10 10\n"));
  EXPECT_EQ(run("line 7\n0 0\n1 1\n"), polyline("L2 45\n", "M0 0\nD10 10\n"));  // refused
  EXPECT_EQ(pc.ltype, 1);
}

TEST_F(GraphDraw, PenJoinItalicAndPaintSettings) {
  EXPECT_EQ(run("pen 3\njoin 1\nitalic 45\npaint 2 3 30\nbox 1 1 3 2\n"),
            "J3\nK1\nI255\n" + kBound + "%22 30 300\n10 10\n30 10\n30 20\n10 20\n" + '\0' + kReset);
}

TEST_F(GraphDraw, BoxWithTwoCornersHatchesTheRectangle) {
  EXPECT_EQ(run("box 1 1 3 2\nbox 1 1\n"),
            kBound + "%21 10 450\n10 10\n30 10\n30 20\n10 20\n" + '\0' + kReset);
}

TEST_F(GraphDraw, MarkSixteenDrawsACircleOfHalfTheMarkHeight) {
  EXPECT_EQ(run("1 1 \\16\n"), "Q21\nW10 10 5 5 0 3600\0"s + kBound + kReset);
}

TEST_F(GraphDraw, CircleCommandsTakeFrameOrAxisRadii) {
  EXPECT_EQ(run("x 0 10\ny 0 5\ncircle 5 2.5 1 2\nycircle 5 2.5 1\n"),
            "Q21\nW500 250 10 10 0 3600\0Q21\nW500 250 20 20 0 3600\0"
            "Q21\nW500 250 100 100 0 3600\0"s);
}

TEST_F(GraphDraw, MarkedPointsInterruptTheLineByTheMarkHeight) {
  EXPECT_EQ(run("0 0 \\3\n10 0 \\3\n"), "S18\nR0\nM0 0\nN3\nS18\nR0\nM100 0\nN3\n"s +
                                            polyline("L0 0\n", "M10 0\nD90 0\n") + kBound + kReset);
}

TEST_F(GraphDraw, PlainPointAfterAMarkStartsOneMarkHeightAway) {
  EXPECT_EQ(run("0 0 \\3\n10 0\n20 0\n"), "S18\nR0\nM0 0\nN3\n"s + polyline("L0 0\n", "M10 0\nD100 0\n") +
                                              polyline("L0 0\n", "M100 0\nD200 0\n"));
}

TEST_F(GraphDraw, TextItemsAndTheDefaultLabel) {
  EXPECT_EQ(run("1 1 A 90\n"), text_at("M2 0\n", "A", 20, 900) + kBound + kReset);
  EXPECT_EQ(run("mark \\5\n1 1\nmark \\0\n2 2\n"),
            "S18\nR0\nM10 10\nN5\n"s + polyline("L0 0\n", "M17 17\nD20 20\n") + kBound +
                kReset);  // the line leaves the mark one mark height along the diagonal
}

TEST_F(GraphDraw, LongMarkTextIsCutToTheLabelBuffer) {
  run("mark " + std::string(300, 'z') + "\n");
  EXPECT_EQ(std::strlen(pc.label), 255u);
}

TEST_F(GraphDraw, ClipCornersAndReset) {
  EXPECT_EQ(run("clip 1 1 5 5\n0 2\n2 2\nclip\n0 3\n2 3\n"),
            "\\10 10\nZ50 50\nL0 0\nM0 20\nD20 20\n\0L0\n"s + kReset + polyline("L0 0\n", "M0 30\nD20 30\n"));
}

TEST_F(GraphDraw, TitlesPrintsAndCentredTexts) {
  EXPECT_EQ(run("title 10 20 \"Hi there\" 90\n"), text_at("M100 200\n", "Hi there", 20, 900));
  EXPECT_EQ(run("titlec 10 20 Hi\n"), text_at("M92 190\n", "Hi"));
  EXPECT_EQ(run("x 0 10\ny 0 5\nprint 1 2 P\n"), text_at("M100 200\n", "P"));
  EXPECT_EQ(run("title 0 0 \"\xce\xb1=\xce\xa9\"\n"), text_at("M0 0\n", "\xe1=\xd8"));
}

TEST_F(GraphDraw, ExchangedAxesSwapDefinitionsAndData) {
  pc.is_t = 1;
  // "y" now defines the horizontal axis (10 mm per unit), "x" the vertical one.
  EXPECT_EQ(run("y 0 10\nx 0 5\n1 3 \\3\n"), "S18\nR0\nM300 100\nN3\n" + kBound + kReset);
}

TEST_F(GraphDraw, OutsidePointsNeverOverrunTheBuffer) {
  std::string d;
  for (int i = 0; i < 600; ++i) d += "-1 0\n";
  const std::string out = run(d);
  // 511 points are drawn when the buffer fills, then the rest from the last of them.
  EXPECT_EQ(out, polyline("L0 0\n", "M-10 0\nD-10 0\n") + polyline("L0 0\n", "M-10 0\nD-10 0\n"));
}

// Each context has its own stream, placement and settings: a graph drawn with one leaves another
// as it was, and both write what each alone writes.
TEST(GraphContext, ContextsAreIndependent) {
  const std::string description = "x 0 10\ny 0 5\ncsize 3\nline 2\n0 0\n10 5\n";
  auto draw = [&](plotcontext* pc) {
    char* bytes = nullptr;
    size_t size = 0;
    pc->out = open_memstream(&bytes, &size);
    FILE* fp = fmemopen(const_cast<char*>(description.data()), description.size(), "r");
    graph(pc, fp);
    std::fclose(fp);
    std::fclose(pc->out);
    std::string text(bytes, size);
    std::free(bytes);
    return text;
  };
  plotcontext a, b;
  b.org = {10.0, 20.0};
  const std::string first = draw(&a);
  EXPECT_EQ(a.h, 3.0);
  EXPECT_EQ(a.ltype, 1);
  EXPECT_EQ(b.h, 2.5);  // untouched by the graph drawn with a
  EXPECT_EQ(b.ltype, 0);
  const std::string moved = draw(&b);
  EXPECT_NE(first, moved);
  EXPECT_NE(first.find("D1200 800\n"), std::string::npos) << first;
  EXPECT_NE(moved.find("D1300 1000\n"), std::string::npos) << moved;
  plotcontext c;
  EXPECT_EQ(draw(&c), first);
}

TEST(GraphHelpers, WordsTypesAndTexts) {
  char line[] = "  abc\tdef\n", word[256];
  char* s = getarg(line, word);
  EXPECT_STREQ(word, "abc");
  s = getarg(s, word);
  EXPECT_STREQ(word, "def");
  EXPECT_EQ(getarg(s, word), nullptr);

  char axis[] = " log* 1 100", typeword[16];
  EXPECT_STREQ(gettyp(axis, typeword), " 1 100");
  EXPECT_STREQ(typeword, "log*");
  char plain[] = " 1 100";
  gettyp(plain, typeword);
  EXPECT_STREQ(typeword, "");

  char title[] = " \"a b\" 45\n", *rest;
  EXPECT_STREQ(gettxt_fig(title, &rest), "a b");
  EXPECT_STREQ(rest, " 45\n");
  char bare[] = " word", numberword[256];
  EXPECT_STREQ(getname(bare, numberword), "word");
  EXPECT_STREQ(numberword, "");
}

TEST(GraphHelpers, WarpingRotationAndGreekLetters) {
  EXPECT_DOUBLE_EQ(argapf(0.0, 0.42), 0.0);
  EXPECT_NEAR(argapf(1.0, 0.42), 1.0, 1e-12);
  EXPECT_DOUBLE_EQ(argapf(0.3, 0.0), 0.3);
  EXPECT_NEAR(rx(1.0, 0.0, 90.0), 0.0, 1e-12);
  EXPECT_NEAR(ry(1.0, 0.0, 90.0), 1.0, 1e-12);
  EXPECT_EQ(greeksymbolbyte(0x3B1), 0xE1);  // alpha
  EXPECT_EQ(greeksymbolbyte(0x3C3), 0xF2);  // sigma
  EXPECT_EQ(greeksymbolbyte(0x3C2), 0xF2);  // final sigma
  EXPECT_EQ(greeksymbolbyte(0x3A9), 0xD8);  // Omega
  EXPECT_EQ(greeksymbolbyte('a'), 0);
  EXPECT_DOUBLE_EQ(sleng("\xce\xb1"
                         "bc",
                         2.0, 3.0),
                   9.0);
}

}  // namespace
