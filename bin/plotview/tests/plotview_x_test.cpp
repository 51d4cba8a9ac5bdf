// The viewer program end to end: usage texts and exit statuses, the input check, and
// pictures of plotter streams captured from its window under a private Xvfb server.
#include <gtest/gtest.h>

#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "pngpage.h"
#include "xvfb_session.h"

namespace {

const std::string kViewer = PLOTVIEW_PATH;
const uint32_t kBlack = 0x000000, kWhite = 0xffffff, kRed = 0xff0000;

std::string usage_text(const std::string& cmd) {
  return "\n"
         " " +
         cmd +
         " - XY-plotter simulator for X-window system\n\n"
         "  usage:\n"
         "       " +
         cmd +
         " [ options ] [ infile ] > stdout\n"
         "  options:\n"
         "       -s  s  : shrink                  [3.38667]\n"
         "       -l     : landscape               [FALSE]\n"
         "       -rv    : reverse mode            [FALSE]\n"
         "       -m     : monochrome display mode [FALSE]\n"
         "       -bg bg : background color        [white]\n"
         "       -hl hl : highlight color         [blue]\n"
         "       -bd bd : border color            [blue]\n"
         "       -ms ms : mouse color             [red]\n"
         "       -g  g  : geometry                [NULL]\n"
         "       -d  d  : display                 [NULL]\n"
         "       -t  t  : window title            [" +
         cmd +
         "]\n"
         "       -h     : print this message \n"
         "  infile:\n"
         "       plotter commands                 [stdin]\n"
         "\n"
         " ZEVK: version 3.11\n"
         " CVS Info: $Id$\n";
}

RunResult viewer(const std::vector<std::string>& args, const std::string& input = "=\n") {
  std::vector<std::string> argv = {kViewer};
  argv.insert(argv.end(), args.begin(), args.end());
  return run_program(argv, input, ":987");
}

TEST(ViewerCommandLine, HelpPrintsTheUsageTextAndExitsZero) {
  for (const char* opt : {"-h", "--", "-?"}) {
    const RunResult r = viewer({opt});
    EXPECT_EQ(r.status, 0) << opt;
    EXPECT_EQ(r.err, usage_text("plotview")) << opt;
    EXPECT_EQ(r.out, "");
  }
}

TEST(ViewerCommandLine, BadOptionsPrintTheUsageTextAndExitOne) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"-x"}, {"-s"}, {"-fg"}, {"-l", "-g"}, {"a", "b"}}) {
    const RunResult r = viewer(args);
    EXPECT_EQ(r.status, 1) << args[0];
    EXPECT_EQ(r.err, usage_text("plotview")) << args[0];
  }
}

TEST(ViewerCommandLine, NonPositiveShrinkPrintsUsageAndExitsZero) {
  EXPECT_EQ(viewer({"-s", "0"}).status, 0);
  const RunResult r = viewer({"-s", "-2"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, usage_text("plotview"));
}

TEST(ViewerInput, EmptyInputAndByteFFEndSilentlyWith255) {
  for (const std::string& input : {std::string(), std::string("\xff=M", 3)}) {
    const RunResult r = viewer({}, input);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "");
  }
}

TEST(ViewerInput, OtherFirstBytesAreRefused) {
  const RunResult r = viewer({}, "M100 100\n");
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.err, "plotview : Unexpected data format!\n");
}

TEST(ViewerInput, UnreachableDisplayExitsTwo) {
  const RunResult r = viewer({"-d", ":987"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(
      r.err,
      "plotview: Can't open display ':987'\nplotview: without a display, write the picture into a file: -o "
      "FILE.png (or .svg, .pdf)\n");
}

// One shared server for the picture tests.
class ViewerWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (xvfb_available()) server_ = std::make_unique<XvfbSession>();
  }
  static void TearDownTestSuite() { server_.reset(); }

  void SetUp() override {
    if (!server_) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_TRUE(server_->ok()) << "Xvfb did not start";
    title_ = std::string("plotview-test-") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
  }
  // A viewer the test leaves running is quit with 'q', which is to end it with status 0 (a
  // viewer that does not end is killed after a wait).
  void TearDown() override {
    if (pid_ > 0) {
      EXPECT_EQ(quit(), 0);
    }
  }

  // Starts the viewer on the stream and captures its window once the page is shown
  // (for a blank page, once the picture is stable).
  Capture show(const std::string& stream, std::vector<std::string> args = {}, bool blank = false) {
    args.insert(args.begin(), {kViewer, "-t", title_});
    pid_ = start_program(args, stream, server_->display());
    id_ = find_window(server_->display(), title_);
    EXPECT_NE(id_, 0u) << "no window titled " << title_;
    return recapture(blank ? CaptureWhen::Stable : CaptureWhen::Drawn);
  }
  // Captures again; `previous` is needed when waiting for a change.
  Capture recapture(CaptureWhen when = CaptureWhen::Stable, const Capture& previous = {}) {
    Capture c = previous;
    EXPECT_TRUE(capture_window(server_->display(), id_, &c, when));
    return c;
  }
  void key(const std::string& k) { send_key(server_->display(), id_, k); }
  // Sends a quit key and returns the exit status.
  int quit(const std::string& k = "q") {
    key(k);
    const int status = wait_program(pid_);
    pid_ = -1;
    return status;
  }

  static std::unique_ptr<XvfbSession> server_;
  std::string title_;
  pid_t pid_ = -1;
  unsigned long id_ = 0;
};

std::unique_ptr<XvfbSession> ViewerWindow::server_;

// Pixels of the colour in the rectangle, or -1 when it leaves the capture.
int count_colour(const Capture& c, int x0, int y0, int x1, int y1, uint32_t colour) {
  if (c.at(x0, y0) == 0xffffffffu || c.at(x1, y1) == 0xffffffffu) return -1;
  int n = 0;
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) n += c.at(x, y) == colour;
  return n;
}

const std::string kLine = std::string("=\nM100 100\nD1000 100\n") + '\0';

TEST_F(ViewerWindow, DefaultWindowIsThePortraitPageAtItsPlace) {
  const Capture c = show("=\n", {}, true);
  EXPECT_EQ(c.width, 589);
  EXPECT_EQ(c.height, 847);
  EXPECT_EQ(c.x, 558 + 2);  // inside a border of 2 pixels
  EXPECT_EQ(c.y, 1 + 2);
  EXPECT_EQ(count_colour(c, 0, 0, 588, 846, kWhite), 589 * 847);
}

TEST_F(ViewerWindow, LandscapeSwapsTheWindowSize) {
  const Capture c = show("=\n", {"-l"}, true);
  EXPECT_EQ(c.width, 847);
  EXPECT_EQ(c.height, 589);
  EXPECT_EQ(c.x, 300 + 2);
}

TEST_F(ViewerWindow, LandscapeTwiceStaysPortrait) {
  const Capture c = show("=\n", {"-l", "-land"}, true);
  EXPECT_EQ(c.width, 589);
  EXPECT_EQ(c.height, 847);
}

TEST_F(ViewerWindow, LineLightsThePixelsBetweenItsConvertedEnds) {
  // (100, 100) -> (30, 818) and (1000, 100) -> (295, 818) at 3.3866667 units per pixel;
  // the one-pixel line covers columns 30 to 294.
  const Capture c = show(kLine);
  EXPECT_EQ(count_colour(c, 30, 818, 294, 818, kBlack), 265);
  EXPECT_EQ(count_colour(c, 0, 817, 588, 817, kBlack), 0);
  EXPECT_EQ(count_colour(c, 0, 819, 588, 819, kBlack), 0);
  EXPECT_EQ(c.at(29, 818), kWhite);
  EXPECT_EQ(c.at(295, 818), kWhite);  // a butt-capped line ends before its last point
}

TEST_F(ViewerWindow, LandscapeMovesTheLineToTheShortPage) {
  // In landscape the page is 1995 units high: y = 100 -> row (1895 / 3.3866667 + 0.5) = 560.
  const Capture c = show(kLine, {"-l"});
  EXPECT_EQ(count_colour(c, 30, 560, 294, 560, kBlack), 265);
  EXPECT_EQ(count_colour(c, 0, 0, 846, 588, kBlack), 265);
}

TEST_F(ViewerWindow, ReverseDrawsLightOnDark) {
  const Capture c = show(kLine, {"-rv"});
  EXPECT_EQ(c.at(10, 10), kBlack);
  EXPECT_EQ(count_colour(c, 30, 818, 294, 818, kWhite), 265);
  EXPECT_EQ(count_colour(c, 0, 0, 588, 846, kWhite), 265);
}

TEST_F(ViewerWindow, PolygonTypesChooseFillAndOutline) {
  // Four squares of 400 units side by side, 450 units apart: types 20, 19, 22 and 29.
  std::string s = "=\n";
  const char* types[] = {"20", "19", "22", "29"};
  for (int i = 0; i < 4; ++i) {
    const int x0 = 100 + 450 * i, x1 = x0 + 400;
    s += std::string("%") + types[i] + " 0 0\n" + std::to_string(x0) + " 2000 " + std::to_string(x1) +
         " 2000 " + std::to_string(x1) + " 2400 " + std::to_string(x0) + " 2400" + '\0';
  }
  const Capture c = show(s);
  const int top = 138, bottom = 256;  // rows of y = 2400 and y = 2000
  for (int i = 0; i < 4; ++i) {
    const int left = static_cast<int>((100 + 450 * i) / 3.3866667f + 0.5f);
    // A 40 x 40 block well inside holds whole 4 x 4 tiles: k of 16 pixels are set.
    const int inside = count_colour(c, left + 40, top + 40, left + 79, top + 79, kBlack);
    const int edge = count_colour(c, left, top + 10, left, bottom - 10, kBlack);
    const int rows = bottom - 10 - (top + 10) + 1;
    switch (i) {
      case 0:
        EXPECT_EQ(inside, 1600 * 6 / 16);
        EXPECT_EQ(edge, rows);
        break;
      case 1:
        EXPECT_EQ(inside, 1600 * 7 / 16);
        EXPECT_LT(edge, rows);
        break;
      case 2:
        EXPECT_EQ(inside, 0);
        EXPECT_EQ(edge, 0);
        break;
      case 3:
        EXPECT_EQ(inside, 0);
        EXPECT_EQ(edge, rows);
        break;
    }
  }
}

TEST_F(ViewerWindow, MarksAreCentredOnTheCurrentPoint) {
  // (1000, 1000) -> (295, 552); mark 3 is a 9 x 9 square outline; 99 is refused.
  const Capture c = show("=\nM1000 1000\nN3\nM1500 1000\nN99\n");
  EXPECT_EQ(count_colour(c, 291, 548, 299, 556, kBlack), 32);
  EXPECT_EQ(count_colour(c, 292, 549, 298, 555, kBlack), 0);
  EXPECT_EQ(count_colour(c, 0, 0, 588, 846, kBlack), 32);
}

TEST_F(ViewerWindow, LongPolylineJoinsAcrossBufferPieces) {
  // 1000 points: the first 511 at A, the rest at B. After M the buffer holds 511 list
  // points before it is drawn, so the only long segment, A to B, crosses the seam.
  std::string s = "=\nM100 100\nD";
  for (int i = 0; i < 1000; ++i) s += i < 511 ? "100 100\n" : "1000 100\n";
  s += '\0';
  const Capture c = show(s);
  EXPECT_EQ(count_colour(c, 30, 818, 294, 818, kBlack), 265);
}

TEST_F(ViewerWindow, ClipRectangleLimitsLaterDrawing) {
  const Capture c = show(std::string("=\n\\0 0\nZ1000 2870\nM100 100\nD1900 100\n") + '\0');
  EXPECT_EQ(count_colour(c, 30, 818, 294, 818, kBlack), 265);
  EXPECT_EQ(count_colour(c, 296, 818, 588, 818, kBlack), 0);
}

TEST_F(ViewerWindow, PensSelectColoursOnAColourDisplay) {
  const Capture c =
      show(std::string("=\nJ3\nM100 100\nD1000 100\n") + '\0' + "J12\nM100 200\nD1000 200\n" + '\0');
  EXPECT_EQ(count_colour(c, 30, 818, 294, 818, kRed), 265);
  EXPECT_EQ(count_colour(c, 30, 788, 294, 788, kBlack), 265);  // pen 12 is pen 1
}

TEST_F(ViewerWindow, PensSetWidthsInMonoMode) {
  // Pen 5 draws 4 pixels wide; a colour change never happens.
  const Capture c = show(std::string("=\nJ5\nM100 1000\nD1000 1000\n") + '\0', {"-m"});
  EXPECT_EQ(count_colour(c, 150, 540, 150, 565, kBlack), 4);
  EXPECT_EQ(count_colour(c, 0, 0, 588, 846, kRed), 0);
}

TEST_F(ViewerWindow, DashedLineTypesLeaveGapsAndSolidRestores) {
  const Capture c = show(std::string("=\nL1\nM100 100\nD1000 100\n") + '\0' + "L0\nM100 200\nD1000 200\n" +
                         '\0' + "L12\nM100 300\nD1000 300\n" + '\0');
  // Type 1 dashes are 1 on, 5 off: one pixel in six.
  EXPECT_EQ(count_colour(c, 30, 818, 89, 818, kBlack), 10);
  EXPECT_EQ(count_colour(c, 30, 788, 294, 788, kBlack), 265);
  EXPECT_EQ(count_colour(c, 30, 759, 294, 759, kBlack), 265);  // L12 changed nothing
}

TEST_F(ViewerWindow, TextAndGreekChunksDraw) {
  // "a", the Greek alpha byte and "b" near (1000, 1000) -> (295, 552).
  const Capture c = show(std::string("=\nM1000 1000\nPa\xe1") + "b" + '\0' + "M1000 1500\nPxyz" + '\0');
  EXPECT_GT(count_colour(c, 290, 530, 340, 556, kBlack), 10);
  EXPECT_GT(count_colour(c, 290, 382, 340, 408, kBlack), 10);
  EXPECT_EQ(count_colour(c, 0, 0, 588, 300, kBlack), 0);
}

TEST_F(ViewerWindow, ArcsUseTenthsOfDegreesAndTheRadianSine) {
  // Centre (1000, 1000) -> (295, 552); half width 100 units -> 30 pixels, half height
  // |100 sin(360)| = 95.9 units -> 28 pixels: a closed ellipse 60 x 56.
  const Capture c = show(std::string("=\nW1000 1000 100 100 0 3600") + '\0');
  EXPECT_GT(count_colour(c, 323, 548, 326, 556, kBlack), 0);  // right end near 325
  EXPECT_GT(count_colour(c, 263, 548, 267, 556, kBlack), 0);  // left end near 265
  EXPECT_GT(count_colour(c, 291, 522, 299, 526, kBlack), 0);  // top near 524
  EXPECT_EQ(count_colour(c, 291, 512, 299, 520, kBlack), 0);  // not a 30-pixel circle
  EXPECT_EQ(count_colour(c, 280, 540, 310, 564, kBlack), 0);  // hollow
}

TEST_F(ViewerWindow, VerticalTextStacksCharactersUpToTheCurrentPoint) {
  // Direction 1: each character alone, the last at the current point, moved left by
  // cw / shrink = 22 / 3.387 -> 6 pixels; nothing runs to the right as in a line of text.
  const Capture c = show(std::string("=\nR1\nM1000 1000\nPabcd") + '\0');
  EXPECT_GT(count_colour(c, 286, 500, 300, 553, kBlack), 20);
  EXPECT_EQ(count_colour(c, 305, 450, 400, 560, kBlack), 0);
}

TEST_F(ViewerWindow, KeysScrollASmallWindowOverThePage) {
  // A vertical line at x = 1000 (column 295), window 300 x 300 at the top left.
  const std::string s = std::string("=\nM1000 0\nD1000 2870\n") + '\0';
  Capture c = show(s, {"-g", "300x300+0+0"});
  ASSERT_EQ(c.width, 300);
  EXPECT_EQ(count_colour(c, 295, 0, 295, 299, kBlack), 300);
  key("l");  // a quarter window to the right: the line moves 75 pixels left
  c = recapture(CaptureWhen::Changed, c);
  EXPECT_EQ(count_colour(c, 220, 0, 220, 299, kBlack), 300);
  EXPECT_EQ(count_colour(c, 295, 0, 295, 299, kBlack), 0);
  key("h");
  c = recapture(CaptureWhen::Changed, c);
  EXPECT_EQ(count_colour(c, 295, 0, 295, 299, kBlack), 300);
}

TEST_F(ViewerWindow, PageSizedWindowOnlyRingsTheBell) {
  const Capture before = show(kLine);
  for (const char* k : {"h", "j", "k", "l", "x"}) key(k);
  const Capture after = recapture();
  EXPECT_TRUE(before == after);
  EXPECT_EQ(quit("ctrl+d"), 0);
}

TEST_F(ViewerWindow, GeometryWithoutSizeKeepsThePageSize) {
  const Capture c = show("=\n", {"-g", "+10+20"}, true);
  EXPECT_EQ(c.width, 589);
  EXPECT_EQ(c.height, 847);
  EXPECT_EQ(quit("ctrl+c"), 0);
}

TEST_F(ViewerWindow, GraphFigureShowsItsFrameAndMarkedCurve) {
  const RunResult figure =
      run_program({GRAPH_PATH, "-t", "1", std::string(GRAPH_TEST_DATA) + "/damped.txt"}, "", "");
  ASSERT_EQ(figure.status, 0);
  const Capture c = show(figure.out);
  // The frame spans plotter units (400, 1800) to (1600, 2600): columns 118 and 472,
  // rows 80 to 316.
  EXPECT_EQ(count_colour(c, 118, 90, 118, 300, kBlack), 211);
  // (the last mark, copied opaquely at rows 220 to 228, covers part of the right edge)
  EXPECT_EQ(count_colour(c, 472, 90, 472, 215, kBlack), 126);
  EXPECT_EQ(count_colour(c, 130, 316, 460, 316, kBlack), 331);
  // The point (5, 0.08) lies at (1000, 2232) -> (295, 188): a ring mark with a clear
  // centre, the curve stopping short of it.
  EXPECT_EQ(c.at(295, 188), kWhite);
  EXPECT_EQ(c.at(291, 188), kBlack);
  EXPECT_EQ(c.at(299, 188), kBlack);
  EXPECT_EQ(count_colour(c, 294, 184, 296, 184, kBlack), 3);
  // Below the frame and its labels the page stays empty.
  EXPECT_EQ(count_colour(c, 0, 400, 588, 846, kBlack), 0);
}

TEST(ViewerFonts, GreekChunkFollowsItsTextWithoutAGap) {
  if (!xvfb_available()) GTEST_SKIP() << "Xvfb is not installed";
  // With the 75 dpi fonts a character is about 7 pixels wide, 3 less than its nominal width
  // of 34 plotter units: a chunk placed by the nominal width left a gap of about 50 pixels
  // after the 20 characters before the Greek letter.
  XvfbSession server({"-fp", "/usr/share/fonts/X11/75dpi,/usr/share/fonts/X11/misc"});
  ASSERT_TRUE(server.ok());
  const RunResult figure =
      run_program({GRAPH_PATH, "-t", "1", std::string(GRAPH_TEST_DATA) + "/damped.txt"}, "", "");
  ASSERT_EQ(figure.status, 0);
  const pid_t pid = start_program({kViewer, "-t", "plotview-greek"}, figure.out, server.display());
  const unsigned long id = find_window(server.display(), "plotview-greek");
  ASSERT_NE(id, 0u);
  Capture c;
  ASSERT_TRUE(capture_window(server.display(), id, &c, CaptureWhen::Drawn));
  // The title "Damped oscillation, τ = 4 ms" from column 155 on: no blank run between its
  // first and last inked columns is wider than a space and two side bearings.
  int first = -1, last = -1, run = 0, widest = 0;
  for (int x = 140; x < 589; ++x) {
    if (count_colour(c, x, 45, x, 64, kBlack) > 0) {
      if (first >= 0 && run > widest) widest = run;
      if (first < 0) first = x;
      last = x;
      run = 0;
    } else {
      ++run;
    }
  }
  EXPECT_NEAR(first, 155, 3);
  EXPECT_NEAR(last, 155 + 28 * 7, 10);
  EXPECT_LE(widest, 12);
  send_key(server.display(), id, "q");
  EXPECT_EQ(wait_program(pid), 0);
}

TEST_F(ViewerWindow, PictureFileHasTheWindowsPixels) {
  // Lines of three pens, a filled polygon, marks, an arc and a clip window, without text.
  const std::string s = std::string("=\nJ3\nM100 100\nD1000 100 1000 900 1500 900\n") + '\0' +
                        "J1\n%20 0 0\n200 1200 900 1200 900 1800 200 1800" + '\0' +
                        "M1200 1500\nN9\nM1300 1500\nN13\n" + "W1400 2200 200 200 0 3600" + '\0' +
                        "\\0 0\nZ1200 2870\nJ2\nM100 2600\nD1900 2600\n" + '\0';
  const Capture c = show(s);
  char png[] = "/tmp/plotview_picture_XXXXXX.png";
  const int fd = mkstemps(png, 4);
  ASSERT_GE(fd, 0);
  close(fd);
  EXPECT_EQ(run_program({kViewer, "-o", png}, s, "").status, 0);
  const Page page = read_png(png);
  unlink(png);
  ASSERT_EQ(page.width, c.width);
  ASSERT_EQ(page.height, c.height);
  int differ = 0, inked = 0;
  for (int y = 0; y < c.height; ++y)
    for (int x = 0; x < c.width; ++x) {
      differ += page.at(x, y) != c.at(x, y);
      inked += c.at(x, y) != kWhite;
    }
  EXPECT_GT(inked, 1000);
  // The arc's slanted edges may round one pixel apart; everything else is the same.
  EXPECT_LE(differ, 30) << "of " << inked;
}

TEST(ViewerFonts, MissingCoreFontsFallBackToFixed) {
  if (!xvfb_available()) GTEST_SKIP() << "Xvfb is not installed";
  // A server whose font path holds only the misc fonts lacks every courier and symbol font.
  XvfbSession server({"-fp", "/usr/share/fonts/X11/misc"});
  ASSERT_TRUE(server.ok());
  const pid_t pid = start_program({kViewer, "-t", "plotview-fonts"},
                                  std::string("=\nM1000 1000\nPHello \xe1") + '\0', server.display());
  const unsigned long id = find_window(server.display(), "plotview-fonts");
  ASSERT_NE(id, 0u);
  Capture c;
  ASSERT_TRUE(capture_window(server.display(), id, &c, CaptureWhen::Drawn));
  EXPECT_GT(count_colour(c, 290, 530, 380, 556, kBlack), 10);
  send_key(server.display(), id, "q");
  EXPECT_EQ(wait_program(pid), 0);
}

}  // namespace
