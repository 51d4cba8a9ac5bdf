// The two drawing surfaces on the same streams: the X pixmap of the viewer (on a private
// Xvfb server) and the cairo picture. Horizontal and vertical lines of every width and dash,
// rectangle fills, marks and clipping light the same pixels in the same colours; slanted
// lines, slanted fill edges and arcs may step one pixel apart where the two rasterisers
// round a sloped edge differently, so there every inked pixel of either page must have a
// pixel of its colour within one pixel on the other. Texts are left out of the comparison
// (the two draw different fonts); they are drawn by other tests.
#include <gtest/gtest.h>

#include <X11/Xutil.h>
#include <cairo.h>
#include <dirent.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "cairosurface.h"
#include "plot.h"
#include "pngpage.h"
#include "window.h"
#include "xsurface.h"
#include "xvfb_session.h"

using namespace velk;

namespace {

// Passes everything but text to another surface.
class Textless : public drawsurface {
 public:
  explicit Textless(drawsurface* s) : s_(s) {}
  void lines(const pagepoint* p, int n) override { s_->lines(p, n); }
  void fill(const pagepoint* p, int n, const unsigned char* t) override { s_->fill(p, n, t); }
  void mark(int x, int y, const unsigned char* b) override { s_->mark(x, y, b); }
  void arc(int x, int y, int w, int h, int a1, int a2) override { s_->arc(x, y, w, h, a1, a2); }
  void font(int index) override { s_->font(index); }
  void text(int, int, const char*, int) override {}
  int textwidth(const char* s, int n) override { return s_->textwidth(s, n); }
  void setlineattributes(const lineattributes& a) override { s_->setlineattributes(a); }
  void colour(const char* name) override { s_->colour(name); }
  void clip(int x, int y, int w, int h) override { s_->clip(x, y, w, h); }

 private:
  drawsurface* s_;
};

using Pixels = std::vector<uint32_t>;

std::string file_bytes_of(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void draw(const pagesettings& page, const std::string& stream, drawsurface* s) {
  std::FILE* in = fmemopen(const_cast<char*>(stream.data()), stream.size(), "rb");
  ASSERT_NE(in, nullptr);
  Textless t(s);
  plot(page, in, &t);
  std::fclose(in);
}

class Surfaces : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!xvfb_available()) return;
    server_ = std::make_unique<XvfbSession>();
    if (!server_->ok()) return;
    setenv("DISPLAY", server_->display().c_str(), 1);
    static char name[] = "plotview";
    static char* argv[] = {name, nullptr};
    if (open_display(&win_, nullptr) != 0) return;
    init_window(&win_, &page_, windowlook(), 1, argv);
    init_pixmap(&win_, page_);
  }
  static void TearDownTestSuite() {
    if (win_.display) close_window(&win_);
    win_ = viewwindow();
    server_.reset();
  }
  void SetUp() override {
    if (!server_) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_TRUE(server_->ok()) << "Xvfb did not start";
    ASSERT_NE(win_.display, nullptr) << "cannot open the display of Xvfb";
  }
  void TearDown() override { page_.mono_flg = 0; }

  static Pixels x_page(const std::string& stream) {
    XSetForeground(win_.display, win_.pixmapGC, win_.backpix);
    XFillRectangle(win_.display, win_.pixmap, win_.pixmapGC, 0, 0, win_.pixmap_w, win_.pixmap_h);
    XSetForeground(win_.display, win_.pixmapGC, win_.forepix);
    xpixmapsurface s(&win_);
    draw(page_, stream, &s);
    XImage* img =
        XGetImage(win_.display, win_.pixmap, 0, 0, win_.pixmap_w, win_.pixmap_h, AllPlanes, ZPixmap);
    Pixels p(static_cast<size_t>(win_.pixmap_w) * win_.pixmap_h);
    for (int y = 0; y < win_.pixmap_h; ++y)
      for (int x = 0; x < win_.pixmap_w; ++x)
        p[static_cast<size_t>(y) * win_.pixmap_w + x] = XGetPixel(img, x, y) & 0xffffff;
    XDestroyImage(img);
    return p;
  }

  static Pixels cairo_page(const std::string& stream) {
    cairo_surface_t* target = cairo_image_surface_create(CAIRO_FORMAT_RGB24, win_.pixmap_w, win_.pixmap_h);
    {
      cairosurface s(target, win_.pixmap_w, win_.pixmap_h, "black", "white");
      draw(page_, stream, &s);
      EXPECT_STREQ(s.error(), "");
    }
    const Pixels p = image_pixels(target);
    cairo_surface_destroy(target);
    return p;
  }

  // Pixels that differ, with the first few named.
  static int differences(const Pixels& a, const Pixels& b, std::string* where) {
    int n = 0;
    for (size_t i = 0; i < a.size(); ++i)
      if (a[i] != b[i]) {
        if (++n <= 8) {
          char t[96];
          std::snprintf(t, sizeof t, " (%d,%d) x %06x cairo %06x", static_cast<int>(i % win_.pixmap_w),
                        static_cast<int>(i / win_.pixmap_w), a[i], b[i]);
          *where += t;
        }
      }
    return n;
  }

  // Pixels of a that differ from the background and have no pixel of their colour in the
  // 3 x 3 neighbourhood of the same place in b, with the first few named.
  static int unmatched(const Pixels& a, const Pixels& b, std::string* where) {
    int n = 0;
    for (int y = 0; y < win_.pixmap_h; ++y)
      for (int x = 0; x < win_.pixmap_w; ++x) {
        const uint32_t v = a[static_cast<size_t>(y) * win_.pixmap_w + x];
        if (v == 0xffffff) continue;
        bool found = false;
        for (int dy = -1; dy <= 1 && !found; ++dy)
          for (int dx = -1; dx <= 1 && !found; ++dx) {
            const int u = x + dx, w = y + dy;
            found = u >= 0 && w >= 0 && u < win_.pixmap_w && w < win_.pixmap_h &&
                    b[static_cast<size_t>(w) * win_.pixmap_w + u] == v;
          }
        if (!found && ++n <= 8) *where += " (" + std::to_string(x) + "," + std::to_string(y) + ")";
      }
    return n;
  }

  static int inked(const Pixels& a) {
    int n = 0;
    for (uint32_t v : a) n += v != 0xffffff;
    return n;
  }

  static void expect_same(const std::string& stream) {
    const Pixels x = x_page(stream), c = cairo_page(stream);
    std::string where;
    EXPECT_EQ(differences(x, c, &where), 0) << where << "\n of " << inked(x) << " inked pixels";
    EXPECT_GT(inked(x), 0);
  }

  static void expect_within_a_pixel(const std::string& stream) {
    const Pixels x = x_page(stream), c = cairo_page(stream);
    std::string where;
    const int ink = inked(x);
    EXPECT_GT(ink, 0);
    // A pixel of a sparse fill pattern at a slanted edge can lack a same-coloured neighbour
    // on the other page: one in ten thousand inked pixels may.
    EXPECT_LE(unmatched(x, c, &where), ink / 10000) << "X pixels without a cairo pixel near:" << where;
    where.clear();
    EXPECT_LE(unmatched(c, x, &where), ink / 10000) << "cairo pixels without an X pixel near:" << where;
    where.clear();
    const int n = differences(x, c, &where);
    std::printf("%d of %d inked pixels differ\n", n, ink);
  }

  static std::unique_ptr<XvfbSession> server_;
  static pagesettings page_;  // the viewer's defaults; init_window selects colour pens
  static viewwindow win_;
};

std::unique_ptr<XvfbSession> Surfaces::server_;
pagesettings Surfaces::page_;
viewwindow Surfaces::win_;

// The line widths and dashes, drawn in monochrome mode, where each pen selects a width.
class MonoSurfaces : public Surfaces {
 protected:
  void SetUp() override {
    Surfaces::SetUp();
    page_.mono_flg = 1;
  }
};

std::string polyline(const std::vector<int>& xy) {
  std::string s = "M" + std::to_string(xy[0]) + " " + std::to_string(xy[1]) + "\nD";
  for (size_t i = 2; i + 1 < xy.size(); i += 2)
    s += std::to_string(xy[i]) + " " + std::to_string(xy[i + 1]) + "\n";
  return s + '\0';
}

// A rectilinear staircase of lines, and the same with slanted steps.
std::string staircase(int y, bool slanted) {
  const int d = slanted ? 37 : 0;
  return polyline(
      {100, y, 600, y + d, 600 + d, y - 150, 900, y - 150 + d, 900 + d, y + 20, 1900, y + 20 - d});
}

// A staircase for each pen of the width table.
std::string staircases_of_every_pen(bool slanted) {
  std::string s = "=\n";
  for (int pen = 0; pen < 10; ++pen)
    s += "J" + std::to_string(pen) + "\n" + staircase(2700 - 200 * pen, slanted);
  return s;
}

TEST_F(MonoSurfaces, RectilinearLinesOfEveryPenWidth) {
  expect_same(staircases_of_every_pen(false));
}

TEST_F(MonoSurfaces, RoundAndBevelJoins) {
  std::string s = "=\n";
  for (int pen = 0; pen < 10; ++pen)
    s += "K" + std::to_string(1 + pen % 2) + "\nJ" + std::to_string(pen) + "\n" +
         staircase(2700 - 200 * pen, pen % 3);
  expect_within_a_pixel(s);
}

TEST_F(MonoSurfaces, StraightDashesOfEveryTypeAndWidthInBothDirections) {
  std::string s = "=\n";
  for (int type = 1; type <= 9; ++type)
    for (int pen : {0, 1, 4}) {
      const int y = 2800 - 100 * (3 * (type - 1) + pen % 3), x = 60 * (3 * (type - 1) + pen % 3) + 100;
      s += "J" + std::to_string(pen) + "\nL" + std::to_string(type) + "\n";
      s += polyline({100, y, 1900, y}) + polyline({1900, y - 40, 100, y - 40}) + polyline({x, 100, x, 1200}) +
           polyline({x + 20, 1200, x + 20, 100});
    }
  expect_same(s);
}

TEST_F(MonoSurfaces, SlantedLinesOfEveryPenWidth) {
  expect_within_a_pixel(staircases_of_every_pen(true));
}

// Dashes of two pixels and more along corners, and on slopes for thin lines. The one-pixel
// dashes of types 1, 2, 5 and 8 on a slope, and the dashes of wide lines on a slope, are
// placed differently by the two rasterisers (up to a few pixels along the line) and are left
// out.
TEST_F(MonoSurfaces, DashedPolylinesWithCornersAndSlopes) {
  std::string s = "=\n";
  int row = 0;
  for (int type : {3, 4, 6, 7, 9})
    for (int pen : {0, 1, 4}) {
      s += "J" + std::to_string(pen) + "\nL" + std::to_string(type) + "\n" +
           staircase(2700 - 170 * row, pen == 0);
      ++row;
    }
  expect_within_a_pixel(s);
}

TEST_F(Surfaces, ColourPens) {
  std::string s = "=\n";
  for (int pen = 0; pen < 12; ++pen)
    s += "J" + std::to_string(pen) + "\n" + staircase(2700 - 220 * pen, false);
  expect_same(s);
  for (int pen = 0; pen < 12; ++pen)
    s += "J" + std::to_string(pen) + "\n" + staircase(2650 - 220 * pen, true);
  expect_within_a_pixel(s);
}

// Polygons of the given types in a grid: rectangles, or slanted quadrilaterals.
std::string polygons(const std::vector<int>& types, bool slanted) {
  std::string s = "=\n";
  int i = 0;
  for (int type : types) {
    const int x = 100 + 370 * (i % 5), y = 2400 - 600 * (i / 5);
    ++i;
    const std::vector<int> q =
        slanted ? std::vector<int>{x, y, x + 300, y + 50, x + 250, y + 400, x + 20, y + 330}
                : std::vector<int>{x, y, x + 300, y, x + 300, y + 400, x, y + 400};
    s += "%" + std::to_string(type) + " 10 45\n";
    for (size_t k = 0; k < q.size(); k += 2)
      s += std::to_string(q[k]) + " " + std::to_string(q[k + 1]) + "\n";
    s += '\0';
  }
  return s;
}

const std::vector<int> kPolygonTypes = {20, 21, 22, 23, 24, 25, 26, 27, 28, 19, 18, 17, 16, 15, 14, 13, 12};

TEST_F(Surfaces, RectangleFillPatternsAndOutlines) {
  expect_same(polygons(kPolygonTypes, false));
}

TEST_F(Surfaces, SlantedFillPatternsAndOutlines) {
  expect_within_a_pixel(polygons(kPolygonTypes, true));
}

TEST_F(Surfaces, MarksAndClipping) {
  std::string s = "=\n";
  for (int m = 0; m < 16; ++m)
    s += "M" + std::to_string(150 + 110 * m) + " 2700\nN" + std::to_string(m) + "\n";
  // A clip window cuts a line, a polygon and a mark; a second one replaces it.
  s += "\\400 300\nZ1200 700\n" + polyline({100, 500, 1900, 500}) +
       "%20 0 0\n300 350 900 350 900 650 300 650" + '\0' + "M400 400\nN11\n\\0 0\nZ1995 2870\n" +
       polyline({100, 200, 1900, 200});
  expect_same(s);
}

TEST_F(Surfaces, Arcs) {
  expect_within_a_pixel(std::string("=\nW1000 1500 300 300 0 3600") + '\0' + "W500 800 200 100 60 1800" +
                        '\0' + "W1500 800 250 250 905 -1500" + '\0' + "J4\nW1000 2400 400 300 0 3600" + '\0');
}

TEST_F(Surfaces, KeptFuzzStreams) {
  const std::string dir = PLOT_CORPUS;
  int streams = 0;
  if (DIR* d = opendir(dir.c_str())) {
    while (const dirent* e = readdir(d)) {
      if (e->d_name[0] == '.') continue;
      SCOPED_TRACE(e->d_name);
      const std::string stream = file_bytes_of(dir + "/" + e->d_name);
      const Pixels x = x_page(stream), c = cairo_page(stream);
      std::string where;
      const int ink = inked(x);
      EXPECT_LE(unmatched(x, c, &where), ink / 10000) << where;
      where.clear();
      EXPECT_LE(unmatched(c, x, &where), ink / 10000) << where;
      ++streams;
    }
    closedir(d);
  }
  EXPECT_GE(streams, 6);
}

TEST_F(Surfaces, GraphFigureWithoutItsTexts) {
  expect_within_a_pixel(file_bytes_of(std::string(GRAPH_TEST_DATA) + "/damped.plt"));
}

}  // namespace
