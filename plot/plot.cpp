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
struct plotstate {
  const pagesettings* page = nullptr;
  std::FILE* in = stdin;
  drawsurface* surface = nullptr;
  pagepoint points[kMaxPoints] = {};
  int sp = 1;
  Cord pb = {0, 0};
  int cw = 22, ch = 25;
  int th = 0;
  int line_width = 1;
  int line_style = 0;
  const line_style_info* dashes = &l_style[0];  // the dashes of the last L; unused while solid
  int join_style = 0;
  Cord clipcorner = {0, 0};
  int cfn = -1, ccw = -1, cch = -1;
};
// Draws the buffered polyline and keeps its last point as the current point.
void flushlines(plotstate& st);
// Draws n characters of s at the current point with font index fn.
void text(plotstate& st, const char* s, int n, int fn);

int pageheightunits(const pagesettings& page) {
  return page.landscape ? kPageW : kPageH;
}
int pagewidthunits(const pagesettings& page) {
  return page.landscape ? kPageH : kPageW;
}

pagepoint windowpoint(const pagesettings& page, const Cord& c) {
  return pagepoint{normx(page, c.x), normy(page, c.y)};
}

// Reads a decimal integer; a missing or malformed number leaves *v unchanged.
void readint(plotstate& st, int* v) {
  int t;
  if (std::fscanf(st.in, "%d", &t) == 1) *v = t;
}

void readpair(plotstate& st, int* a, int* b) {
  readint(st, a);
  readint(st, b);
}

// Skips blanks and newlines; true when a digit or sign follows, so that a coordinate
// pair can be read.
bool atnumber(plotstate& st) {
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
bool nextcord(plotstate& st) {
  if (!atnumber(st)) return false;
  return std::fscanf(st.in, "%d %d", &st.pb.x, &st.pb.y) == 2;
}

void cmdmove(plotstate& st) {
  readpair(st, &st.pb.x, &st.pb.y);
  st.points[0] = windowpoint(*st.page, st.pb);
}

void cmddraw(plotstate& st) {
  while (nextcord(st)) {
    if (st.sp == kMaxPoints) flushlines(st);
    st.points[st.sp++] = windowpoint(*st.page, st.pb);
  }
  flushlines(st);
}

void cmdpolygon(plotstate& st) {
  int type = 0, d = 0, angle = 0;
  readint(st, &type);
  readpair(st, &d, &angle);
  int n = 0;
  while (nextcord(st))
    if (n < kMaxPoints - 1) st.points[n++] = windowpoint(*st.page, st.pb);
  if (n == 0) return;
  st.points[n] = st.points[0];
  const polygonpaint style = polygonstyle(type);
  if (style.pattern >= 0) st.surface->fill(st.points, n + 1, till_bits[style.pattern]);
  if (style.outline) st.surface->lines(st.points, n + 1);
}

void cmdmark(plotstate& st) {
  int m = -1;
  readint(st, &m);
  if (m < 0 || m > 15) return;
  st.surface->mark(st.points[0].x - 4, st.points[0].y - 4, mark_bits[m]);
}

void applylineattributes(plotstate& st) {
  st.surface->setlineattributes(
      lineattributes{st.line_width, st.line_style != 0, st.dashes->list, st.dashes->no, st.join_style});
}

void cmdpen(plotstate& st) {
  int n = 1;
  readint(st, &n);
  int p = pennumber(n);
  const bool colourmode = st.page->c_flg && !st.page->mono_flg;
  if (!penintable(p, colourmode)) p = 1;
  if (colourmode) {
    st.surface->colour(pencolour(p));
  } else {
    st.line_width = penwidth(p);
    applylineattributes(st);
  }
}

void cmdjoin(plotstate& st) {
  int n = 0;
  readint(st, &n);
  st.join_style = (n == 1 || n == 2) ? n : 0;
}

void cmdlinetype(plotstate& st) {
  int n = -1;
  readint(st, &n);
  if (n == 0) {
    st.line_style = 0;
    applylineattributes(st);
  } else if (n >= 1 && n <= 9) {
    st.line_style = 1;
    st.dashes = &l_style[n];
    applylineattributes(st);
  }
}

void cmdarc(plotstate& st) {
  Cord c = {0, 0};
  int r1 = 0, r2 = 0, a1 = 0, a2 = 0;
  readpair(st, &c.x, &c.y);
  readpair(st, &r1, &r2);
  readpair(st, &a1, &a2);
  const arcbounds b = arcbox(*st.page, r1, r2, a1, a2);
  st.surface->arc(normx(*st.page, c.x) - b.w, normy(*st.page, c.y) - b.h, 2 * b.w, 2 * b.h,
                  clampedint(b.a1 * 64.0), clampedint(b.a2 * 64.0));
}

void cmdclipcorner(plotstate& st) {
  readpair(st, &st.clipcorner.x, &st.clipcorner.y);
}

void cmdclip(plotstate& st) {
  Cord c = {0, 0};
  readpair(st, &c.x, &c.y);
  const pagesettings& page = *st.page;
  if (c.x > pagewidthunits(page)) c.x = pagewidthunits(page);
  if (c.y > pageheightunits(page)) c.y = pageheightunits(page);
  const int w = normx(page, c.x) - normx(page, st.clipcorner.x);
  const int h = normy(page, st.clipcorner.y) - normy(page, c.y);
  // The rectangle travels as 16-bit values; an inverted corner pair clips everything rather
  // than wrapping to a huge size.
  st.surface->clip(normx(page, st.clipcorner.x), normy(page, c.y), static_cast<unsigned short>(w > 0 ? w : 0),
                   static_cast<unsigned short>(h > 0 ? h : 0));
}

// Draws one chunk of a string, moving the current point past the previous chunk first.
void drawchunk(plotstate& st, const char* s, int n, int fn, int* previouswidth) {
  if (n == 0) return;
  st.points[0].x = static_cast<short>(static_cast<long long>(st.points[0].x) + *previouswidth);
  text(st, s, n, fn);
  // A chunk is at most 511 characters: its width stays a 16-bit step.
  const int width = st.surface->textwidth(s, n);
  *previouswidth = width < 0 ? 0 : width > 32767 ? 32767 : width;
}

}  // namespace

short normx(const pagesettings& page, int x) {
  return static_cast<short>(clampedint(static_cast<double>(x / page.shrink) + 0.5));
}

short normy(const pagesettings& page, int y) {
  // The difference is formed in 64 bits so that no coordinate overflows it; within the int
  // range it is the same float quotient as before.
  const float flipped = static_cast<float>(static_cast<long long>(pageheightunits(page)) - y);
  return static_cast<short>(clampedint(static_cast<double>(flipped / page.shrink) + 0.5));
}

int pagewidthpixels(const pagesettings& page) {
  return static_cast<int>((page.landscape ? 2870 : 1995) / page.shrink);
}

int pageheightpixels(const pagesettings& page) {
  return static_cast<int>((page.landscape ? 1995 : 2870) / page.shrink);
}

polygonpaint polygonstyle(int type) {
  if (type == 22) return {-1, false};
  if (type == 21 || type == 23) return {-1, true};
  const bool outline = type >= 20;
  const long long f = (outline ? (long long)type - 20 : 20 - (long long)type) % 10;
  return {f == 9 ? -1 : static_cast<int>(f) + 6, outline};
}

int pennumber(int n) {
  return (n < 0 || n > 10) ? 1 : n;
}

bool penintable(int pen, bool colourmode) {
  return pen >= 0 && pen < (colourmode ? 8 : 10);
}

int penwidth(int pen) {
  return l_width[pen];
}

const char* pencolour(int pen) {
  return c_name[pen];
}

int choosefont(int fn, int cw_, int ch_, int cfn_, int ccw_, int cch_) {
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

char symbolchar(unsigned char c) {
  if (c >= 0xC1 && c <= 0xD8) return symbol_upper[c - 0xC1];
  if (c >= 0xE1 && c <= 0xF8) return symbol_lower[c - 0xE1];
  if (c == 0xFE) return static_cast<char>(0xA5);
  return ' ';
}

arcbounds arcbox(const pagesettings& page, int r1, int r2, int a1, int a2) {
  arcbounds b;
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

void flushlines(plotstate& st) {
  if (st.sp > 1) {
    st.surface->lines(st.points, st.sp);
    st.points[0] = st.points[st.sp - 1];
    st.sp = 1;
  }
}

void text(plotstate& st, const char* s, int n, int fn) {
  const int chosen = choosefont(fn, st.cw, st.ch, st.cfn, st.ccw, st.cch);
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
void get_str(plotstate& st) {
  char chunk[kMaxPoints];
  int n = 0, previouswidth = 0;
  bool symbol = false;
  for (;;) {
    const int c = std::getc(st.in);
    const bool end = (c == EOF || c == '\0');
    const bool issymbol = !end && c > 0xC0;
    if (end || issymbol != symbol || n == kMaxPoints - 1) {
      drawchunk(st, chunk, n, symbol ? kSymbolFont : st.page->fno, &previouswidth);
      n = 0;
      symbol = issymbol;
    }
    if (end) return;
    chunk[n++] = issymbol ? symbolchar(static_cast<unsigned char>(c)) : static_cast<char>(c);
  }
}

}  // namespace

void plot(const pagesettings& page, std::FILE* in, drawsurface* surface) {
  plotstate st;
  st.page = &page;
  st.in = in;
  st.surface = surface;
  int c;
  while ((c = std::getc(in)) != EOF) {
    switch (c) {
      case 'M':
        cmdmove(st);
        break;
      case 'D':
        cmddraw(st);
        break;
      case '%':
        cmdpolygon(st);
        break;
      case 'N':
        cmdmark(st);
        break;
      case 'P':
        get_str(st);
        break;
      case 'Q':
        readint(st, &st.cw);
        break;
      case 'S':
        readint(st, &st.ch);
        break;
      case 'R': {
        int n = st.th;
        readint(st, &n);
        st.th = n != 0;
        break;
      }
      case 'J':
        cmdpen(st);
        break;
      case 'K':
        cmdjoin(st);
        break;
      case 'L':
        cmdlinetype(st);
        break;
      case 'W':
        cmdarc(st);
        break;
      case '\\':
        cmdclipcorner(st);
        break;
      case 'Z':
        cmdclip(st);
        break;
      default:
        break;
    }
  }
}

}  // namespace velk
