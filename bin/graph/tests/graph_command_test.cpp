// The graph command as users run it: options, usage text, exit statuses and its exact
// plotter output.
#include <gtest/gtest.h>

#include <string>

#include "childprocess.h"
#include "expectrun.h"

namespace {

using namespace std::string_literals;

const std::string kGraph = GRAPH_PATH;
const std::string kData = GRAPH_TEST_DATA;

// Runs graph with the words of `args` as its arguments and the given standard input.
RunResult run(const std::string& args, const std::string& input) {
  return run_program(kGraph, words(args), stdin_bytes(input));
}

const std::string kUsage =
    "\n"
    " graph - draw a graph description with plotter commands\n\n"
    "  usage:\n"
    "       graph [ options ] [ infile ] > stdout\n"
    "  options:\n"
    "       -W W   : frame width (mm)        [120]\n"
    "       -H H   : frame height (mm)       [80]\n"
    "       -x x   : frame origin x (mm)     [40]\n"
    "       -y y   : frame origin y (mm)     [180]\n"
    "       -c c   : character height (mm)   [2.5]\n"
    "       -w w   : character width (mm)    [3.4]\n"
    "       -t t   : page type               [0]\n"
    "                (<0: axis lines always, 0: open frame, >0: boxed)\n"
    "       -h     : print this message \n"
    "  infile:\n"
    "       graph description                [stdin]\n"
    "\n"
    " ZEVK: version 3.11\n"
    " CVS Info: $Id$\n";

TEST(GraphCommand, HelpPrintsTheUsageText) {
  const RunResult r = run("-h", "");
  expect_message_only(r, 0, kUsage);
}

TEST(GraphCommand, UnknownOptionIsNamedAndExitsOne) {
  const RunResult r = run("-q", "");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "graph : Invalid option 'q'!\n" + kUsage);
}

TEST(GraphCommand, MissingOrMalformedValuesAreErrors) {
  EXPECT_EQ(run("-W", "").status, 1);
  const RunResult r = run("-H tall", "");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "graph : Invalid value for option 'H'!\n" + kUsage);
}

TEST(GraphCommand, UnreadableInputFileIsReported) {
  const RunResult r = run("/nonexistent/figure.txt", "");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "graph : Cannot open file '/nonexistent/figure.txt'!\n");
}

TEST(GraphCommand, BoxedFrameAndPolylineAtTheGivenOrigin) {
  // Frame 50 x 30 mm at (10, 20) mm: plotter units (100, 200) to (600, 500).
  const RunResult r = run("-x 10 -y 20 -W 50 -H 30 -t 1", "x 0 5\ny 0 3\n1 1\n2 2\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "=\nM100 200\nD600 200\n\0D600 500\n\0D100 500\n\0D100 200\n\0"
            "\\100 200\nZ600 500\nL0 0\nM200 300\nD300 400\n\0L0\n"
            "\\0 0\nZ4100 3050\n"s);
}

TEST(GraphCommand, OpenFrameReadsANamedFileAndSizesCharacters) {
  const RunResult r = run("-x 0 -y 0 -c 3 -w 2 " + kData + "/damped.txt", "");
  EXPECT_EQ(r.status, 0);
  // The title is written at (12.4, 86) mm with S30 and Q20; no frame box is drawn.
  EXPECT_NE(r.out.find("M124 860\nS30\nQ20\nR0\nPDamped oscillation, \xf3 = 4 ms\0"s), std::string::npos);
  EXPECT_EQ(r.out.rfind("=\nM0 0\n", 0), 0u);
}

TEST(GraphCommand, ExampleFigureMatchesItsCheckedOutput) {
  // damped.plt was viewed once with plotview: a boxed frame with ticks on all sides,
  // dotted grid lines, the scale labels, the axis names, the title with a Greek tau and
  // the curve with circle marks, the line stopping short of each mark.
  const RunResult r = run("-t 1", file_contents(kData + "/damped.txt"));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, file_contents(kData + "/damped.plt"));
}

// A data point that is not a finite number is a gap in its line: the line before it ends, the
// points after it start a new one, and no coordinate off the page is written.
TEST(GraphCommand, NonFiniteDataPointsAreGaps) {
  const std::string head = "x 0 10\ny -1 1\n0 1\n";
  const RunResult gap = run("-t 1", head + "1 nan\n2 inf\n3 0.5\n4 0.2\n");
  ASSERT_EQ(gap.status, 0) << gap.err;
  EXPECT_NE(gap.out.find("M760 2400\nD880 2280\n"), std::string::npos) << gap.out;
  EXPECT_EQ(gap.out.find('-'), std::string::npos) << "a coordinate off the page: " << gap.out;
  // Off a logarithmic axis (log of a negative number) likewise.
  const RunResult log = run("-t 1", "x 0 10\ny* 1 100\n1 10\n2 -5\n3 20\n4 50\n");
  ASSERT_EQ(log.status, 0) << log.err;
  EXPECT_EQ(log.out.find('-'), std::string::npos) << log.out;
}

// Plotter commands that cannot be written (a full device here) are reported with status 1.
TEST(GraphCommand, AFailedWriteIsReported) {
  const RunResult r =
      run_program("/bin/sh", {"-c", "exec \"$0\" -t 1 \"$1\" > /dev/full", kGraph, kData + "/damped.txt"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "graph : Cannot write the plotter commands!\n");
}

}  // namespace
