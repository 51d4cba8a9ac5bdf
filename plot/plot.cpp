// Interpreter of the plotter command language.
#include "plot.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace velk {

const char* const f_name[13] = {
    "-adobe-courier-medium-r-normal-*-*-100-*-*-m-*-iso8859-1",
    "-adobe-courier-medium-r-normal-*-*-120-*-*-m-*-iso8859-1",
    "-adobe-courier-medium-r-normal-*-*-140-*-*-m-*-iso8859-1",
    "-adobe-courier-medium-r-normal-*-*-160-*-*-m-*-iso8859-1",
    "-adobe-courier-bold-r-normal-*-*-100-*-*-m-*-iso8859-1",
    "-adobe-courier-bold-r-normal-*-*-120-*-*-m-*-iso8859-1",
    "-adobe-courier-bold-r-normal-*-*-140-*-*-m-*-iso8859-1",
    "-adobe-courier-bold-r-normal-*-*-160-*-*-m-*-iso8859-1",
    "-adobe-symbol-medium-r-normal-*-*-80-*-*-p-*-adobe-fontspecific",
    "-adobe-symbol-medium-r-normal-*-*-100-*-*-p-*-adobe-fontspecific",
    "-adobe-symbol-medium-r-normal-*-*-120-*-*-p-*-adobe-fontspecific",
    "-adobe-symbol-medium-r-normal-*-*-140-*-*-p-*-adobe-fontspecific",
    "-adobe-symbol-medium-r-normal-*-*-160-*-*-p-*-adobe-fontspecific",
};

const unsigned char till_bits[17][4] = {
    {0x00, 0x00, 0x00, 0x00}, {0x01, 0x00, 0x00, 0x00}, {0x01, 0x00, 0x00, 0x08}, {0x09, 0x00, 0x00, 0x08},
    {0x09, 0x00, 0x00, 0x09}, {0x09, 0x02, 0x00, 0x09}, {0x09, 0x02, 0x04, 0x09}, {0x09, 0x06, 0x04, 0x09},
    {0x09, 0x06, 0x06, 0x09}, {0x0b, 0x06, 0x06, 0x09}, {0x0b, 0x06, 0x06, 0x0d}, {0x0b, 0x0e, 0x06, 0x0d},
    {0x0b, 0x0e, 0x07, 0x0d}, {0x0f, 0x0e, 0x07, 0x0d}, {0x0f, 0x0e, 0x07, 0x0f}, {0x0f, 0x0e, 0x0f, 0x0f},
    {0x0f, 0x0f, 0x0f, 0x0f},
};

// Nine rows of nine bits, two bytes per row, low byte first.
#define ROWS(a, b, c, d, e, f, g, h, i)                                                                   \
  {                                                                                                       \
    (a) & 0xff, (a) >> 8, (b)&0xff, (b) >> 8, (c)&0xff, (c) >> 8, (d)&0xff, (d) >> 8, (e)&0xff, (e) >> 8, \
        (f)&0xff, (f) >> 8, (g)&0xff, (g) >> 8, (h)&0xff, (h) >> 8, (i)&0xff, (i) >> 8                    \
  }
const unsigned char mark_bits[16][18] = {
    ROWS(0x000, 0x000, 0x000, 0x000, 0x000, 0x000, 0x000, 0x000, 0x000),
    ROWS(0x000, 0x000, 0x038, 0x07c, 0x07c, 0x07c, 0x038, 0x000, 0x000),
    ROWS(0x000, 0x000, 0x044, 0x028, 0x010, 0x028, 0x044, 0x000, 0x000),
    ROWS(0x1ff, 0x101, 0x101, 0x101, 0x101, 0x101, 0x101, 0x101, 0x1ff),
    ROWS(0x000, 0x010, 0x028, 0x044, 0x082, 0x101, 0x1ff, 0x000, 0x000),
    ROWS(0x038, 0x044, 0x082, 0x101, 0x101, 0x101, 0x082, 0x044, 0x038),
    ROWS(0x010, 0x028, 0x044, 0x082, 0x101, 0x082, 0x044, 0x028, 0x010),
    ROWS(0x101, 0x082, 0x044, 0x028, 0x010, 0x028, 0x044, 0x082, 0x101),
    ROWS(0x010, 0x010, 0x010, 0x010, 0x1ff, 0x010, 0x010, 0x010, 0x010),
    ROWS(0x038, 0x044, 0x0c6, 0x129, 0x111, 0x129, 0x0c6, 0x044, 0x038),
    ROWS(0x038, 0x054, 0x092, 0x111, 0x1ff, 0x111, 0x092, 0x054, 0x038),
    ROWS(0x1ff, 0x1ff, 0x1ff, 0x1ff, 0x1ff, 0x1ff, 0x1ff, 0x1ff, 0x1ff),
    ROWS(0x000, 0x010, 0x038, 0x07c, 0x0fe, 0x1ff, 0x1ff, 0x000, 0x000),
    ROWS(0x038, 0x07c, 0x0fe, 0x1ff, 0x1ff, 0x1ff, 0x0fe, 0x07c, 0x038),
    ROWS(0x010, 0x1bb, 0x1bb, 0x0d6, 0x038, 0x0d6, 0x1bb, 0x1bb, 0x010),
    ROWS(0x010, 0x038, 0x07c, 0x0fe, 0x1ff, 0x0fe, 0x07c, 0x038, 0x010),
};
#undef ROWS

namespace {

// Largest half width or height of an arc: twice it must fit the server's 16-bit sizes.
const int kMaxArcHalfSize = 32767 / 2;

// v truncated to an int; values beyond the int range (huge coordinates or sizes in a stream)
// are held at its ends instead of overflowing, and NaN gives 0.
int clampedint(double v) {
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return 2147483647;
  if (v <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int>(v);
}

const int kMaxPoints = 512;
const int kPageW = 1995, kPageH = 2870;
const int l_width[10] = {0, 1, 1, 2, 3, 4, 1, 2, 3, 4};
const char* const c_name[8] = {"black",  "black",  "blue",     "red", "medium sea green",
                               "violet", "orange", "turquoise"};
struct line_style_info {
  char list[8];
  int no;
};
const line_style_info l_style[10] = {
    {{1, 1}, 2},
    {{1, 5}, 2},
    {{1, 3}, 2},
    {{4, 2}, 2},
    {{7, 3}, 2},
    {{1, 1}, 2},
    {{8, 2, 2, 2}, 4},
    {{10, 2, 2, 2}, 4},
    {{8, 2, 1, 2, 1, 2}, 6},
    {{6, 2, 2, 2, 2, 2}, 6},
};
const char symbol_upper[] = "ABGDEZHQIKLMNXOPRSTUFCYW";
const char symbol_lower[] = "abgdezhqiklmnxoprstufcyw";
const int kSymbolFont = 9;

struct Cord {
  int x, y;
};

// The interpreter's modal state, set to its initial values at the start of every stream.
struct State {
  const pagesettings* page = nullptr;
  std::FILE* in = stdin;
  Surface* surface = nullptr;
  PagePoint points[kMaxPoints] = {};
  int sp = 1;
  Cord pb = {0, 0};
  int cw = 22, ch = 25;
  int th = 0;
  int line_width = 1;
  int line_style = 0;
  const line_style_info* dashes = &l_style[0];  // the dashes of the last L; unused while solid
  int join_style = 0;
  Cord clip_corner = {0, 0};
  int cfn = -1, ccw = -1, cch = -1;
};
// Draws the buffered polyline and keeps its last point as the current point.
void flush_lines(State& st);
// Draws n characters of s at the current point with font index fn.
void text(State& st, const char* s, int n, int fn);

int page_height_units(const pagesettings& page) {
  return page.landscape ? kPageW : kPageH;
}
int page_width_units(const pagesettings& page) {
  return page.landscape ? kPageH : kPageW;
}

PagePoint window_point(const pagesettings& page, const Cord& c) {
  return PagePoint{normx(page, c.x), normy(page, c.y)};
}

// Reads a decimal integer; a missing or malformed number leaves *v unchanged.
void read_int(State& st, int* v) {
  int t;
  if (std::fscanf(st.in, "%d", &t) == 1) *v = t;
}

void read_pair(State& st, int* a, int* b) {
  read_int(st, a);
  read_int(st, b);
}

// Skips blanks and newlines; true when a digit or sign follows, so that a coordinate
// pair can be read.
bool at_number(State& st) {
  int c;
  do c = std::getc(st.in);
  while (c == ' ' || c == '\n' || c == '\t' || c == '\r');
  if (c == EOF || c == '\0') return false;
  std::ungetc(c, st.in);
  return (c >= '0' && c <= '9') || c == '-' || c == '+';
}

// Reads the next pair of a coordinate list into pb; false at the end of the list. A list
// cut short by a byte that cannot start a number also ends there, that byte being left
// for the command loop.
bool next_cord(State& st) {
  if (!at_number(st)) return false;
  return std::fscanf(st.in, "%d %d", &st.pb.x, &st.pb.y) == 2;
}

void cmd_move(State& st) {
  read_pair(st, &st.pb.x, &st.pb.y);
  st.points[0] = window_point(*st.page, st.pb);
}

void cmd_draw(State& st) {
  while (next_cord(st)) {
    if (st.sp == kMaxPoints) flush_lines(st);
    st.points[st.sp++] = window_point(*st.page, st.pb);
  }
  flush_lines(st);
}

void cmd_polygon(State& st) {
  int type = 0, d = 0, angle = 0;
  read_int(st, &type);
  read_pair(st, &d, &angle);
  int n = 0;
  while (next_cord(st))
    if (n < kMaxPoints - 1) st.points[n++] = window_point(*st.page, st.pb);
  if (n == 0) return;
  st.points[n] = st.points[0];
  const PolygonStyle style = polygon_style(type);
  if (style.pattern >= 0) st.surface->fill(st.points, n + 1, till_bits[style.pattern]);
  if (style.outline) st.surface->lines(st.points, n + 1);
}

void cmd_mark(State& st) {
  int m = -1;
  read_int(st, &m);
  if (m < 0 || m > 15) return;
  st.surface->mark(st.points[0].x - 4, st.points[0].y - 4, mark_bits[m]);
}

void apply_line_attributes(State& st) {
  st.surface->line_attributes(
      LineAttributes{st.line_width, st.line_style != 0, st.dashes->list, st.dashes->no, st.join_style});
}

void cmd_pen(State& st) {
  int n = 1;
  read_int(st, &n);
  int p = pen_number(n);
  const bool colour_mode = st.page->c_flg && !st.page->mono_flg;
  if (!pen_in_table(p, colour_mode)) p = 1;
  if (colour_mode) {
    st.surface->colour(pen_colour(p));
  } else {
    st.line_width = pen_width(p);
    apply_line_attributes(st);
  }
}

void cmd_join(State& st) {
  int n = 0;
  read_int(st, &n);
  st.join_style = (n == 1 || n == 2) ? n : 0;
}

void cmd_line_type(State& st) {
  int n = -1;
  read_int(st, &n);
  if (n == 0) {
    st.line_style = 0;
    apply_line_attributes(st);
  } else if (n >= 1 && n <= 9) {
    st.line_style = 1;
    st.dashes = &l_style[n];
    apply_line_attributes(st);
  }
}

void cmd_arc(State& st) {
  Cord c = {0, 0};
  int r1 = 0, r2 = 0, a1 = 0, a2 = 0;
  read_pair(st, &c.x, &c.y);
  read_pair(st, &r1, &r2);
  read_pair(st, &a1, &a2);
  const ArcBox b = arc_box(*st.page, r1, r2, a1, a2);
  st.surface->arc(normx(*st.page, c.x) - b.w, normy(*st.page, c.y) - b.h, 2 * b.w, 2 * b.h,
                  clampedint(b.a1 * 64.0), clampedint(b.a2 * 64.0));
}

void cmd_clip_corner(State& st) {
  read_pair(st, &st.clip_corner.x, &st.clip_corner.y);
}

void cmd_clip(State& st) {
  Cord c = {0, 0};
  read_pair(st, &c.x, &c.y);
  const pagesettings& page = *st.page;
  if (c.x > page_width_units(page)) c.x = page_width_units(page);
  if (c.y > page_height_units(page)) c.y = page_height_units(page);
  const int w = normx(page, c.x) - normx(page, st.clip_corner.x);
  const int h = normy(page, st.clip_corner.y) - normy(page, c.y);
  // The rectangle travels as 16-bit values; an inverted corner pair clips everything rather
  // than wrapping to a huge size.
  st.surface->clip(normx(page, st.clip_corner.x), normy(page, c.y),
                   static_cast<unsigned short>(w > 0 ? w : 0), static_cast<unsigned short>(h > 0 ? h : 0));
}

// Draws one chunk of a string, moving the current point past the previous chunk first.
void draw_chunk(State& st, const char* s, int n, int fn, int* previous_width) {
  if (n == 0) return;
  st.points[0].x = static_cast<short>(static_cast<long long>(st.points[0].x) + *previous_width);
  text(st, s, n, fn);
  // A chunk is at most 511 characters: its width stays a 16-bit step.
  const int width = st.surface->text_width(s, n);
  *previous_width = width < 0 ? 0 : width > 32767 ? 32767 : width;
}

}  // namespace

short normx(const pagesettings& page, int x) {
  return static_cast<short>(clampedint(static_cast<double>(x / page.shrink) + 0.5));
}

short normy(const pagesettings& page, int y) {
  // The difference is formed in 64 bits so that no coordinate overflows it; within the int
  // range it is the same float quotient as before.
  const float flipped = static_cast<float>(static_cast<long long>(page_height_units(page)) - y);
  return static_cast<short>(clampedint(static_cast<double>(flipped / page.shrink) + 0.5));
}

int page_width_pixels(const pagesettings& page) {
  return static_cast<int>((page.landscape ? 2870 : 1995) / page.shrink);
}

int page_height_pixels(const pagesettings& page) {
  return static_cast<int>((page.landscape ? 1995 : 2870) / page.shrink);
}

PolygonStyle polygon_style(int type) {
  if (type == 22) return {-1, false};
  if (type == 21 || type == 23) return {-1, true};
  const bool outline = type >= 20;
  const long long f = (outline ? (long long)type - 20 : 20 - (long long)type) % 10;
  return {f == 9 ? -1 : static_cast<int>(f) + 6, outline};
}

int pen_number(int n) {
  return (n < 0 || n > 10) ? 1 : n;
}

bool pen_in_table(int pen, bool colour_mode) {
  return pen >= 0 && pen < (colour_mode ? 8 : 10);
}

int pen_width(int pen) {
  return l_width[pen];
}

const char* pen_colour(int pen) {
  return c_name[pen];
}

int choose_font(int fn, int cw_, int ch_, int cfn_, int ccw_, int cch_) {
  int idx;
  if (fn != cfn_) {
    idx = (ch_ == 50) ? fn + 1 : fn;
  } else if (cw_ == ccw_ && ch_ == cch_) {
    return -1;
  } else if (cw_ < ccw_ || ch_ < cch_) {
    idx = fn - 1;
  } else if (cw_ > ccw_ || ch_ > cch_) {
    idx = fn + 1;
  } else {
    idx = fn;
  }
  return idx < 0 ? 0 : idx > 12 ? 12 : idx;
}

char symbol_char(unsigned char c) {
  if (c >= 0xC1 && c <= 0xD8) return symbol_upper[c - 0xC1];
  if (c >= 0xE1 && c <= 0xF8) return symbol_lower[c - 0xE1];
  if (c == 0xFE) return static_cast<char>(0xA5);
  return ' ';
}

ArcBox arc_box(const pagesettings& page, int r1, int r2, int a1, int a2) {
  ArcBox b;
  b.a1 = a1 / 10;
  b.a2 = a2 / 10;
  b.w = clampedint(std::fabs(r1 * std::cos(static_cast<double>(b.a1))) / page.shrink + 0.5);
  b.h = clampedint(std::fabs(r2 * std::sin(static_cast<double>(b.a2))) / page.shrink + 0.5);
  // Arc sizes travel to the server as 16-bit values: larger ones are held there.
  if (b.w > kMaxArcHalfSize) b.w = kMaxArcHalfSize;
  if (b.h > kMaxArcHalfSize) b.h = kMaxArcHalfSize;
  return b;
}

namespace {

void flush_lines(State& st) {
  if (st.sp > 1) {
    st.surface->lines(st.points, st.sp);
    st.points[0] = st.points[st.sp - 1];
    st.sp = 1;
  }
}

void text(State& st, const char* s, int n, int fn) {
  const int chosen = choose_font(fn, st.cw, st.ch, st.cfn, st.ccw, st.cch);
  if (chosen >= 0) {
    st.surface->font(chosen);
    st.cfn = chosen;
    st.ccw = st.cw;
    st.cch = st.ch;
  }
  if (st.th == 0) {
    st.surface->text(st.points[0].x, st.points[0].y, s, n);
    return;
  }
  const double g = st.cch > 25 ? 0.75 : 1.25;
  const double step = st.cch * g / st.page->shrink;
  const int x = clampedint(st.points[0].x - st.ccw / st.page->shrink);
  for (int i = 0; i < n; ++i) {
    const int y = clampedint(st.points[0].y - (n - 1 - i) * step);
    st.surface->text(x, y, s + i, 1);
  }
}

// Reads one zero-terminated string of a P command and draws it.
void get_str(State& st) {
  char chunk[kMaxPoints];
  int n = 0, previous_width = 0;
  bool symbol = false;
  for (;;) {
    const int c = std::getc(st.in);
    const bool end = (c == EOF || c == '\0');
    const bool is_symbol = !end && c > 0xC0;
    if (end || is_symbol != symbol || n == kMaxPoints - 1) {
      draw_chunk(st, chunk, n, symbol ? kSymbolFont : st.page->fno, &previous_width);
      n = 0;
      symbol = is_symbol;
    }
    if (end) return;
    chunk[n++] = is_symbol ? symbol_char(static_cast<unsigned char>(c)) : static_cast<char>(c);
  }
}

}  // namespace

void plot(const pagesettings& page, std::FILE* in, Surface* surface) {
  State st;
  st.page = &page;
  st.in = in;
  st.surface = surface;
  int c;
  while ((c = std::getc(in)) != EOF) {
    switch (c) {
      case 'M':
        cmd_move(st);
        break;
      case 'D':
        cmd_draw(st);
        break;
      case '%':
        cmd_polygon(st);
        break;
      case 'N':
        cmd_mark(st);
        break;
      case 'P':
        get_str(st);
        break;
      case 'Q':
        read_int(st, &st.cw);
        break;
      case 'S':
        read_int(st, &st.ch);
        break;
      case 'R': {
        int n = st.th;
        read_int(st, &n);
        st.th = n != 0;
        break;
      }
      case 'J':
        cmd_pen(st);
        break;
      case 'K':
        cmd_join(st);
        break;
      case 'L':
        cmd_line_type(st);
        break;
      case 'W':
        cmd_arc(st);
        break;
      case '\\':
        cmd_clip_corner(st);
        break;
      case 'Z':
        cmd_clip(st);
        break;
      default:
        break;
    }
  }
}

}  // namespace velk
