// A cairo picture as a drawing surface.
#include "cairosurface.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "constants.h"

// For the leak checker of the sanitizer builds: fontconfig, which cairo matches its fonts
// with, keeps allocations for the life of the process that nothing can release.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
extern "C" const char* __lsan_default_options() {
  return "print_suppressions=0";
}

namespace velk {

namespace {

struct namedcolour {
  const char* name;  // lower case without blanks, as X compares names
  unsigned char r, g, b;
};

// The X colour database's values for the pen colours and other common names.
const namedcolour kColours[] = {
    {"black", 0, 0, 0},           {"white", 255, 255, 255},
    {"red", 255, 0, 0},           {"green", 0, 255, 0},
    {"blue", 0, 0, 255},          {"yellow", 255, 255, 0},
    {"cyan", 0, 255, 255},        {"magenta", 255, 0, 255},
    {"gray", 190, 190, 190},      {"grey", 190, 190, 190},
    {"orange", 255, 165, 0},      {"violet", 238, 130, 238},
    {"turquoise", 64, 224, 208},  {"mediumseagreen", 60, 179, 113},
    {"seagreen", 46, 139, 87},    {"forestgreen", 34, 139, 34},
    {"darkgreen", 0, 100, 0},     {"navy", 0, 0, 128},
    {"darkblue", 0, 0, 139},      {"skyblue", 135, 206, 235},
    {"lightblue", 173, 216, 230}, {"steelblue", 70, 130, 180},
    {"darkred", 139, 0, 0},       {"brown", 165, 42, 42},
    {"maroon", 176, 48, 96},      {"purple", 160, 32, 240},
    {"pink", 255, 192, 203},      {"gold", 255, 215, 0},
    {"darkgray", 169, 169, 169},  {"darkgrey", 169, 169, 169},
    {"lightgray", 211, 211, 211}, {"lightgrey", 211, 211, 211},
};

int hexdigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "#rgb", "#rrggbb", ... with 1 to 4 digits a component.
bool hexcolour(const char* s, double rgb[3]) {
  const size_t n = std::strlen(s + 1);
  if (n == 0 || n % 3 != 0 || n > 12) return false;
  const size_t d = n / 3;
  for (int c = 0; c < 3; ++c) {
    unsigned v = 0;
    for (size_t k = 0; k < d; ++k) {
      const int h = hexdigit(s[1 + c * d + k]);
      if (h < 0) return false;
      v = v * 16 + static_cast<unsigned>(h);
    }
    rgb[c] = v / (std::pow(16.0, static_cast<double>(d)) - 1.0);
  }
  return true;
}

// Unicode letter of a byte in the symbol font's encoding (Greek for the Latin letters, the
// infinity sign for 0xA5); other bytes are read as Latin-1.
unsigned symbolcodepoint(unsigned char c) {
  static const unsigned lower[26] = {0x3B1, 0x3B2, 0x3C7, 0x3B4, 0x3B5, 0x3C6, 0x3B3, 0x3B7, 0x3B9,
                                     0x3D5, 0x3BA, 0x3BB, 0x3BC, 0x3BD, 0x3BF, 0x3C0, 0x3B8, 0x3C1,
                                     0x3C3, 0x3C4, 0x3C5, 0x3D6, 0x3C9, 0x3BE, 0x3C8, 0x3B6};
  static const unsigned upper[26] = {0x391, 0x392, 0x3A7, 0x394, 0x395, 0x3A6, 0x393, 0x397, 0x399,
                                     0x3D1, 0x39A, 0x39B, 0x39C, 0x39D, 0x39F, 0x3A0, 0x398, 0x3A1,
                                     0x3A3, 0x3A4, 0x3A5, 0x3C2, 0x3A9, 0x39E, 0x3A8, 0x396};
  if (c >= 'a' && c <= 'z') return lower[c - 'a'];
  if (c >= 'A' && c <= 'Z') return upper[c - 'A'];
  if (c == 0xA5) return 0x221E;
  return c;
}

void appendutf8(unsigned cp, std::string* out) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// The bytes of a text as valid UTF-8 for cairo, read in the encoding of the font index.
std::string utf8text(const char* s, int n, bool symbol) {
  std::string out;
  for (int i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    // Control bytes have no glyph in the viewer's fonts either.
    if (c < 0x20 || c == 0x7F) continue;
    appendutf8(symbol ? symbolcodepoint(c) : c, &out);
  }
  return out;
}

// Pixel size of the font index: the table's fonts are 10, 12, 14 and 16 point (symbol 8 to
// 16 point) at the 75 dots per inch of the page scale.
double fontpixels(int index) {
  static const double points[13] = {10, 12, 14, 16, 10, 12, 14, 16, 8, 10, 12, 14, 16};
  return points[index] * 75.0 / 72.0;
}

}  // namespace

bool colourrgb(const char* name, double rgb[3]) {
  if (name[0] == '#') return hexcolour(name, rgb);
  std::string key;
  for (const char* p = name; *p; ++p)
    if (*p != ' ') key.push_back(static_cast<char>(*p >= 'A' && *p <= 'Z' ? *p - 'A' + 'a' : *p));
  for (const namedcolour& c : kColours)
    if (key == c.name) {
      rgb[0] = c.r / 255.0;
      rgb[1] = c.g / 255.0;
      rgb[2] = c.b / 255.0;
      return true;
    }
  return false;
}

cairosurface::cairosurface(cairo_surface_t* target, int w, int h, const char* foreground,
                           const char* background)
    : cr_(cairo_create(target)) {
  if (!colourrgb(foreground, fore_)) fore_[0] = fore_[1] = fore_[2] = 0.0;
  if (!colourrgb(background, back_)) back_[0] = back_[1] = back_[2] = 0.0;
  std::memcpy(pen_, fore_, sizeof pen_);
  setrgb(back_);
  cairo_rectangle(cr_, 0, 0, w, h);
  cairo_fill(cr_);
  cairo_set_antialias(cr_, CAIRO_ANTIALIAS_NONE);
  setlineattributes(lineattributes{1, false, nullptr, 0, 0});
  font(fontindex_);
}

cairosurface::~cairosurface() {
  cairo_destroy(cr_);
}

const char* cairosurface::error() const {
  const cairo_status_t s = cairo_status(cr_);
  return s == CAIRO_STATUS_SUCCESS ? "" : cairo_status_to_string(s);
}

void cairosurface::setrgb(const double* rgb) {
  cairo_set_source_rgb(cr_, rgb[0], rgb[1], rgb[2]);
}

// Strokes the current path in the pen colour.
void cairosurface::strokepath() {
  setrgb(pen_);
  cairo_stroke(cr_);
}

namespace {

// The point half a pixel beyond p[end] away from the nearest other point of the polyline
// (searching from end in steps of step); false when all points coincide.
bool halfpixelbeyond(const pagepoint* p, int n, int end, int step, double* x, double* y) {
  for (int i = end + step; i >= 0 && i < n; i += step) {
    const double dx = p[end].x - p[i].x, dy = p[end].y - p[i].y;
    const double d = std::hypot(dx, dy);
    if (d > 0) {
      *x = p[end].x + 0.5 * dx / d;
      *y = p[end].y + 0.5 * dy / d;
      return true;
    }
  }
  return false;
}

}  // namespace

void cairosurface::lines(const pagepoint* p, int n) {
  if (n < 2) return;
  cairo_save(cr_);
  // X centres a pixel on its integer coordinates, cairo on the half-integers.
  cairo_translate(cr_, 0.5, 0.5);
  double x0 = p[0].x, y0 = p[0].y, x1 = p[n - 1].x, y1 = p[n - 1].y;
  if (thin_) {
    // A thin line lights both of its end pixels, and its dashes count pixels from the first:
    // the path runs half a pixel further at either end.
    if (!halfpixelbeyond(p, n, 0, 1, &x0, &y0)) {
      cairo_rectangle(cr_, p[0].x - 0.5, p[0].y - 0.5, 1, 1);
      setrgb(pen_);
      cairo_fill(cr_);
      cairo_restore(cr_);
      return;
    }
    halfpixelbeyond(p, n, n - 1, -1, &x1, &y1);
  }
  if (ndash_ > 0) {
    dashedsegments(p, n, x0, y0, x1, y1);
    cairo_restore(cr_);
    return;
  }
  cairo_move_to(cr_, x0, y0);
  for (int i = 1; i < n - 1; ++i) cairo_line_to(cr_, p[i].x, p[i].y);
  cairo_line_to(cr_, x1, y1);
  strokepath();
  cairo_restore(cr_);
}

// X joins no dashes at the corners of a dashed polyline, and measures the dashes of a thin
// line in pixels along the major axis of each segment: every segment is stroked alone (a thin
// one with its dashes stretched to its slope), the pattern going on where the previous
// segment left it.
void cairosurface::dashedsegments(const pagepoint* p, int n, double x0, double y0, double x1, double y1) {
  double phase = 0.0;
  for (int i = 0; i + 1 < n; ++i) {
    const double ax = i == 0 ? x0 : p[i].x, ay = i == 0 ? y0 : p[i].y;
    const double bx = i + 2 == n ? x1 : p[i + 1].x, by = i + 2 == n ? y1 : p[i + 1].y;
    const double length = std::hypot(bx - ax, by - ay);
    const double major = thin_ ? std::max(std::fabs(bx - ax), std::fabs(by - ay)) : length;
    if (major == 0) continue;
    const double stretch = length / major;
    double d[8];
    for (int k = 0; k < ndash_; ++k) d[k] = dash_[k] * stretch;
    cairo_set_dash(cr_, d, ndash_, phase * stretch);
    cairo_move_to(cr_, ax, ay);
    cairo_line_to(cr_, bx, by);
    strokepath();
    phase += major;
  }
  cairo_set_dash(cr_, dash_, ndash_, 0.0);
}

void cairosurface::fill(const pagepoint* p, int n, const unsigned char* tile) {
  if (n < 3) return;
  cairo_surface_t* t = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 4, 4);
  unsigned char* data = cairo_image_surface_get_data(t);
  const int stride = cairo_image_surface_get_stride(t);
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) {
      const double* rgb = (tile[r] >> c) & 1 ? fore_ : back_;
      const uint32_t v = (static_cast<uint32_t>(std::lround(rgb[0] * 255)) << 16) |
                         (static_cast<uint32_t>(std::lround(rgb[1] * 255)) << 8) |
                         static_cast<uint32_t>(std::lround(rgb[2] * 255));
      std::memcpy(data + r * stride + 4 * c, &v, 4);
    }
  cairo_surface_mark_dirty(t);
  cairo_save(cr_);
  // The tile is anchored at the page origin, in pixels.
  cairo_pattern_t* pattern = cairo_pattern_create_for_surface(t);
  cairo_pattern_set_extend(pattern, CAIRO_EXTEND_REPEAT);
  cairo_pattern_set_filter(pattern, CAIRO_FILTER_NEAREST);
  cairo_set_source(cr_, pattern);
  cairo_translate(cr_, 0.5, 0.5);
  cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_EVEN_ODD);
  cairo_move_to(cr_, p[0].x, p[0].y);
  for (int i = 1; i < n; ++i) cairo_line_to(cr_, p[i].x, p[i].y);
  cairo_close_path(cr_);
  cairo_fill(cr_);
  cairo_restore(cr_);
  cairo_pattern_destroy(pattern);
  cairo_surface_destroy(t);
}

void cairosurface::mark(int x, int y, const unsigned char* bits) {
  for (int pass = 0; pass < 2; ++pass) {
    for (int r = 0; r < 9; ++r)
      for (int c = 0; c < 9; ++c) {
        const bool set = (bits[2 * r + c / 8] >> (c % 8)) & 1;
        if (set == (pass == 1)) cairo_rectangle(cr_, x + c, y + r, 1, 1);
      }
    setrgb(pass == 1 ? fore_ : back_);
    cairo_fill(cr_);
  }
}

void cairosurface::arc(int x, int y, int w, int h, int a1, int a2) {
  if (w <= 0 || h <= 0) {
    // A flat box: X draws the straight line it degenerates to.
    const pagepoint ends[2] = {
        {static_cast<short>(x), static_cast<short>(y)},
        {static_cast<short>(x + (w > 0 ? w : 0)), static_cast<short>(y + (h > 0 ? h : 0))}};
    lines(ends, 2);
    return;
  }
  const double start = a1 / 64.0 * kPi / 180.0;
  double extent = a2 / 64.0 * kPi / 180.0;
  if (extent > 2 * kPi) extent = 2 * kPi;
  if (extent < -2 * kPi) extent = -2 * kPi;
  // X gives the angles in the ellipse's own skewed system, which is the parameter of the
  // circle cairo scales to the box. They run counter-clockwise on the screen, which is
  // clockwise in cairo's y-down space.
  const double t1 = start, t2 = start + extent;
  cairo_save(cr_);
  cairo_translate(cr_, x + 0.5 + w / 2.0, y + 0.5 + h / 2.0);
  cairo_scale(cr_, w / 2.0, h / 2.0);
  cairo_new_path(cr_);
  if (extent >= 0)
    cairo_arc_negative(cr_, 0, 0, 1, -t1, -t2);
  else
    cairo_arc(cr_, 0, 0, 1, -t1, -t2);
  cairo_restore(cr_);
  strokepath();
}

void cairosurface::font(int index) {
  fontindex_ = index < 0 ? 0 : index > 12 ? 12 : index;
  const bool symbol = fontindex_ >= 8;
  const bool bold = fontindex_ >= 4 && fontindex_ < 8;
  cairo_select_font_face(cr_, symbol ? "Serif" : "Courier", CAIRO_FONT_SLANT_NORMAL,
                         bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr_, fontpixels(fontindex_));
}

void cairosurface::text(int x, int y, const char* s, int n) {
  const std::string u = utf8text(s, n, fontindex_ >= 8);
  if (u.empty()) return;
  setrgb(pen_);
  cairo_move_to(cr_, x, y);
  cairo_show_text(cr_, u.c_str());
  cairo_new_path(cr_);
}

int cairosurface::textwidth(const char* s, int n) {
  const std::string u = utf8text(s, n, fontindex_ >= 8);
  cairo_text_extents_t e;
  cairo_text_extents(cr_, u.c_str(), &e);
  return static_cast<int>(std::lround(e.x_advance));
}

void cairosurface::setlineattributes(const lineattributes& a) {
  static const cairo_line_join_t joins[3] = {CAIRO_LINE_JOIN_MITER, CAIRO_LINE_JOIN_ROUND,
                                             CAIRO_LINE_JOIN_BEVEL};
  // Width 0 is X's thin line: one pixel wide (see lines() for its end points).
  thin_ = a.width <= 0;
  cairo_set_line_width(cr_, thin_ ? 1 : a.width);
  cairo_set_line_cap(cr_, CAIRO_LINE_CAP_BUTT);
  cairo_set_line_join(cr_, joins[a.join]);
  ndash_ = 0;
  if (a.dashed)
    for (; ndash_ < a.ndash && ndash_ < 8; ++ndash_) dash_[ndash_] = a.dash[ndash_];
  cairo_set_dash(cr_, dash_, ndash_, 0.0);
}

void cairosurface::colour(const char* name) {
  if (!colourrgb(name, pen_)) pen_[0] = pen_[1] = pen_[2] = 0.0;
}

void cairosurface::clip(int x, int y, int w, int h) {
  cairo_reset_clip(cr_);
  cairo_rectangle(cr_, x, y, w, h);
  cairo_clip(cr_);
}

}  // namespace velk
