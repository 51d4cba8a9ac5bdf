// Interpreter of the graph description language.
#include "graphdraw.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "graphutil.h"
#include "penprims.h"
#include "plcoord.h"

namespace velk {

void resetgraphsettings(plotcontext* pc) {
  pc->label[0] = '\0';
  pc->xfct = pc->yfct = 1.0;
  pc->is_xlog = pc->is_ylog = 0;
  pc->ptyp = 1;
  pc->dhat = 1.0;
  pc->that = 45.0;
  pc->x00 = pc->y00 = 0.0;
  pc->mh = pc->mw = 1.6;
  pc->fct = 1.0;
  pc->ltype = 0;
  pc->is_t = 0;
}

namespace {

const int kMaxPoints = 512;
const int lmod[5] = {0, 2, 6, 3, 4};
const double lpit[5] = {10.0, 1.6, 10.0, 3.0, 5.0};

// One axis of the description: the horizontal one uses the x settings, the vertical one
// the y settings.
struct plotaxis {
  char type[16];
  double min, max, a, ap;
  double* fct;
  int* islog;
  double* origin;
  double* length;
};

struct graphstate {
  plotcontext* pc;                            // the context drawn with
  double xbuf[kMaxPoints], ybuf[kMaxPoints];  // points of the pending polyline
  char buf[512];
  char arg[256];
  plotaxis hor, ver;
  double xs, ys;
  int32_t n;
  long code;  // mark code of the last point inside the frame
};

bool startswith(const char* s, const char* prefix) {
  return std::strncmp(s, prefix, std::strlen(prefix)) == 0;
}

bool isnumberstart(char c) {
  return (c >= '0' && c <= '9') || c == '-';
}

plotaxis& axisof(graphstate& st, bool horizontal) {
  return horizontal ? st.hor : st.ver;
}

// Whether a keyword's axis letter names the horizontal axis.
bool nameshorizontal(plotcontext* pc, char letter) {
  return (letter == 'x') != (pc->is_t != 0);
}

void drawpending(graphstate& st) {
  plotcontext* pc = st.pc;
  if (st.n > 0 && pc->ltype >= 0) draw_graphdraw(pc, st.xbuf, st.ybuf, st.n, pc->wf, pc->hf, pc->fct);
}

// A value of a description in axis units, made a frame position; data-like values take
// the logarithm only for axes marked with a star.
double dataposition(const plotaxis& ax, double v) {
  if (*ax.islog == -1) v = std::log10(v);
  return v * *ax.fct + *ax.origin;
}

// A scale or grid value made a frame position: logarithmic and mel-warped axes convert it.
double scaleposition(const plotaxis& ax, double v) {
  if (*ax.islog != 0) {
    v = std::log10(v);
  } else if (startswith(ax.type, "mel") && ax.type[3] != '\0') {
    const double alpha = std::atof(ax.type + 3);
    const double m = ax.max > ax.min ? ax.max : ax.min;
    v = argapf(v / m, alpha) * m;
  }
  return (v - ax.min) * *ax.fct;
}

double itemvalue(const char* word) {
  return std::atof(isnumberstart(word[0]) ? word : word + 1);
}

void defineaxis(graphstate& st, bool horizontal, char* s) {
  plotaxis& ax = axisof(st, horizontal);
  s = gettyp(s, ax.type);
  if (std::sscanf(s, "%lf %lf %lf", &ax.min, &ax.max, &ax.a) < 3) ax.a = ax.min;
  if (startswith(ax.type, "log")) {
    ax.min = std::log10(ax.min);
    ax.max = std::log10(ax.max);
    ax.a = std::log10(ax.a);
    *ax.islog = ax.type[3] == '*' ? -1 : 1;
  }
  if (!horizontal && *ax.length == 0.0)
    *ax.fct = 0.0;
  else
    *ax.fct = *ax.length / (ax.max - ax.min);
  ax.ap = (ax.a - ax.min) * *ax.fct;
  *ax.origin = -ax.min * *ax.fct;
}

// Frame point of a position p along an axis and a distance d across it from the axis.
void framepoint(bool horizontal, double p, double d, double* x, double* y) {
  *x = horizontal ? p : d;
  *y = horizontal ? d : p;
}

void drawtick(plotcontext* pc, bool horizontal, double p, double at, double length) {
  double x, y;
  framepoint(horizontal, p, at, &x, &y);
  plot(pc, 3, x, y);
  framepoint(horizontal, p, at + length, &x, &y);
  plot(pc, 2, x, y);
}

void scalelabel(graphstate& st, bool horizontal, const char* text, double p) {
  plotcontext* pc = st.pc;
  const double len = sleng(text, pc->h, pc->w);
  if (horizontal) {
    symboltext(pc, text, p - 0.5 * len, st.ys - ysadj(pc), pc->h, pc->w, 0);
  } else {
    const double lx = st.hor.ap - len - 1.5;
    if (lx < st.xs) st.xs = lx;
    symboltext(pc, text, lx, p - 0.5 * pc->h, pc->h, pc->w, 0);
  }
}

void drawscale(graphstate& st, bool horizontal, bool nosuffix, char* s) {
  plotcontext* pc = st.pc;
  const plotaxis& ax = axisof(st, horizontal);
  const plotaxis& cross = axisof(st, !horizontal);  // places the axis line and the ticks
  const double at = cross.ap;
  const double far = horizontal ? pc->yl : pc->xl;
  if (!(pc->type >= 0 && (cross.a == cross.min || cross.a == cross.max))) {
    double x, y;
    framepoint(horizontal, 0.0, at, &x, &y);
    plot(pc, 3, x, y);
    framepoint(horizontal, horizontal ? pc->xl : pc->yl, at, &x, &y);
    plot(pc, 2, x, y);
  }
  if (horizontal) st.ys = at - pc->h - 1.5;
  double p = 0.0;
  while ((s = getarg(s, st.arg)) != nullptr) {
    const char c = st.arg[0];
    if (c != '"') p = scaleposition(ax, itemvalue(st.arg));
    double tick = 0.0;
    const char* text = nullptr;
    if (isnumberstart(c)) {
      tick = 1.5;
      text = st.arg;
    } else if (c == 's') {
      tick = 0.75;
    } else if (c == '\\' || c == '"') {
      text = st.arg + 1;
    } else if (c != '@') {
      tick = 1.5;
    }
    if (tick > 0.0) {
      drawtick(pc, horizontal, p, at, tick);
      if (pc->type > 0 && nosuffix && at == 0.0) drawtick(pc, horizontal, p, far, -tick);
    }
    if (text) scalelabel(st, horizontal, text, p);
  }
}

void drawgrid(graphstate& st, bool horizontal, char* s) {
  plotcontext* pc = st.pc;
  drawpending(st);
  const plotaxis& ax = axisof(st, horizontal);
  while ((s = getarg(s, st.arg)) != nullptr) {
    const double p = scaleposition(ax, itemvalue(st.arg));
    framepoint(horizontal, p, 0.0, &st.xbuf[0], &st.ybuf[0]);
    framepoint(horizontal, p, horizontal ? pc->yl : pc->xl, &st.xbuf[1], &st.ybuf[1]);
    draw_graphdraw(pc, st.xbuf, st.ybuf, 2, pc->wf, pc->hf, pc->fct);
  }
  st.n = 0;
}

// Reads "x y" from the next two words; false when the line has no further word.
bool readpair(graphstate& st, char** s, double* x, double* y) {
  if ((*s = getarg(*s, st.arg)) == nullptr) return false;
  *x = std::strtod(st.arg, nullptr);
  *y = 0.0;
  char* after = getarg(*s, st.arg);
  if (after) {
    *y = std::strtod(st.arg, nullptr);
    *s = after;
  }
  return true;
}

// A point given in axis values made a frame point.
void frameofdata(graphstate& st, double x, double y, double* fx, double* fy) {
  plotcontext* pc = st.pc;
  swap(pc, &x, &y);
  *fx = dataposition(st.hor, x);
  *fy = dataposition(st.ver, y);
}

// circle x y r...: radii in frame lengths, or in units of the named axis.
void drawcircles(graphstate& st, char letter, char* s) {
  plotcontext* pc = st.pc;
  double x, y;
  if (!readpair(st, &s, &x, &y)) return;
  double cx, cy;
  frameofdata(st, x, y, &cx, &cy);
  while ((s = getarg(s, st.arg)) != nullptr) {
    double r = std::strtod(st.arg, nullptr);
    if (letter != '\0') {
      const plotaxis& ax = axisof(st, nameshorizontal(pc, letter));
      if (*ax.islog == -1) r = std::log10(r);
      r *= *ax.fct;
    }
    pntstyl(pc, pc->ptyp);
    circle(pc, cx, cy, r, r, 0, 360);
  }
}

void drawname(graphstate& st, bool horizontal, char* s) {
  plotcontext* pc = st.pc;
  char numberword[256];
  const char* text = getname(s, numberword);
  const double len = sleng(text, pc->h, pc->w);
  const bool given = numberword[0] != '\0';
  const double d = std::atof(numberword);
  if (horizontal)
    symboltext(pc, text, 0.5 * (pc->xl - len), given ? -d - pc->h : st.ys - pc->h - 3.0, pc->h, pc->w, 0);
  else
    symboltext(pc, text, given ? -d : st.xs - 1.5, 0.5 * (pc->yl - len), pc->h, pc->w, 90);
}

// title x y text [angle] (frame position) or print x y text [angle] (axis values); a
// keyword with a sixth character (titlec, printc) centres the text on the point.
void drawtext(graphstate& st, char* s) {
  plotcontext* pc = st.pc;
  const bool isprint = startswith(st.arg, "print");
  const bool centred = st.arg[5] != '\0';
  double x = 0.0, y = 0.0;
  int used = 0;
  std::sscanf(s, "%lf %lf%n", &x, &y, &used);
  char* rest;
  const char* text = gettxt_fig(s + used, &rest);
  if (isprint) {
    frameofdata(st, x, y, &x, &y);
  } else {
    swap(pc, &x, &y);
  }
  const double angle = getarg(rest, st.arg) ? std::atof(st.arg) : 0.0;
  if (centred) {
    x -= rx(0.8 * pc->h * 0.5, pc->h * 0.5, angle);
    y -= ry(0.8 * pc->h * 0.5, pc->h * 0.5, angle);
  }
  symboltext(pc, text, x, y, pc->h, pc->w, angle);
}

// line t [pitch]: t = 0 stops drawing, 1..5 select the table rows; other types are refused.
void selectline(plotcontext* pc, char* s) {
  int t = pc->ltype;
  double pitch = 0.0;
  const int count = std::sscanf(s, "%d %lf", &t, &pitch);
  if (count >= 1 && t > 5) return;
  if (t < 0) t = 0;
  if (count == 2) {
    pc->ltype = t - 1;
    if (pc->ltype >= 0) mode(pc, lmod[pc->ltype], pitch);
    return;
  }
  if (t <= 0) {
    pc->ltype = t - 1;
    return;
  }
  pc->ltype = t - 1;
  mode(pc, lmod[pc->ltype], lpit[pc->ltype]);
}

void setlabel(plotcontext* pc, char* s) {
  while (*s == ' ' || *s == '\t') ++s;
  if (s[0] == '\\' && s[1] == '0') {
    pc->label[0] = '\0';
    return;
  }
  size_t n = 0;
  while (s[n] != '\0' && s[n] != '\n' && n < sizeof pc->label - 1) {
    pc->label[n] = s[n];
    ++n;
  }
  pc->label[n] = '\0';
}

// Reads corner pairs into the buffers from position 0; returns their number.
int readcorners(graphstate& st, char* s) {
  int count = 0;
  double x, y;
  while (readpair(st, &s, &x, &y)) {
    if (count < kMaxPoints) frameofdata(st, x, y, &st.xbuf[count], &st.ybuf[count]);
    ++count;
  }
  return count;
}

void setclip(graphstate& st, char* s) {
  plotcontext* pc = st.pc;
  drawpending(st);
  st.n = 0;
  const int count = readcorners(st, s);
  if (count == 0) {
    pc->xclip0 = pc->yclip0 = 0.0;
    pc->xclip1 = pc->is_t ? pc->yl : pc->xl;
    pc->yclip1 = pc->is_t ? pc->xl : pc->yl;
  } else if (count == 2) {
    pc->xclip0 = st.xbuf[0];
    pc->yclip0 = st.ybuf[0];
    pc->xclip1 = st.xbuf[1];
    pc->yclip1 = st.ybuf[1];
  }
}

void drawbox(graphstate& st, char* s) {
  plotcontext* pc = st.pc;
  drawpending(st);
  st.n = 0;
  if (readcorners(st, s) != 2) return;
  const double x0 = st.xbuf[0], y0 = st.ybuf[0], x1 = st.xbuf[1], y1 = st.ybuf[1];
  const double bx[4] = {x0, x1, x1, x0}, by[4] = {y0, y0, y1, y1};
  for (int i = 0; i < 4; ++i) {
    st.xbuf[i] = bx[i];
    st.ybuf[i] = by[i];
  }
  polyg(pc, st.xbuf, st.ybuf, 4, pc->wf, pc->hf, pc->fct);
}

// Appends the point at position n, drawing a full buffer and going on from its last point.
void appendpoint(graphstate& st) {
  plotcontext* pc = st.pc;
  st.n += 1;
  if (st.n > kMaxPoints - 1) st.n = flush(pc, st.xbuf, st.ybuf, st.n, pc->wf, pc->hf, pc->fct);
}

// Draws the segment from position 0 to the point at position n, cut short by mh at the
// start (when the previous point bears a mark) and at the end (when this one does).
void drawcutsegment(graphstate& st, bool cutstart, bool cutend) {
  plotcontext* pc = st.pc;
  const double x0 = st.xbuf[0], y0 = st.ybuf[0], x1 = st.xbuf[st.n], y1 = st.ybuf[st.n];
  const double dir = std::atan2(y1 - y0, x1 - x0);
  const double dx = pc->mh * std::cos(dir), dy = pc->mh * std::sin(dir);
  double sx[2] = {x0, x1}, sy[2] = {y0, y1};
  if (cutstart) {
    sx[0] += dx;
    sy[0] += dy;
  }
  if (cutend) {
    sx[1] -= dx;
    sy[1] -= dy;
  }
  draw_graphdraw(pc, sx, sy, 2, pc->wf, pc->hf, pc->fct);
  st.xbuf[0] = x1;
  st.ybuf[0] = y1;
  st.n = 1;
}

// Draws the mark or text item of a point and returns the point's mark code.
long drawitem(plotcontext* pc, const char* item, const char* angletext, double x, double y) {
  if (item[0] == '\\') {
    const long k = std::strtol(item + 1, nullptr, 10);
    if (k >= -15 && k <= 15) {
      mark(pc, static_cast<int32_t>(k < 0 ? -k : k), &x, &y, 1, pc->mh, 1);
      return k;
    }
    if (k == 16 || k == -16) {
      pntstyl(pc, pc->ptyp);
      circle(pc, x, y, 0.5 * pc->mh, 0.5 * pc->mh, 0, 360);
      return k;
    }
    const char one[2] = {static_cast<char>(k & 0xff), '\0'};
    symboltext(pc, one, x - 0.8 * pc->h * 0.5, y - pc->w * 0.5, pc->h, pc->w, std::atof(angletext));
    return k;
  }
  symboltext(pc, item, x - 0.8 * pc->h * 0.5, y - pc->w * 0.5, pc->h, pc->w, std::atof(angletext));
  return 0;
}

void datapoint(graphstate& st, char* s) {
  plotcontext* pc = st.pc;
  double x = std::strtod(st.arg, nullptr), y = 0.0;
  char* after = getarg(s, st.arg);
  if (after) {
    y = std::strtod(st.arg, nullptr);
    s = after;
  }
  double fx, fy;
  frameofdata(st, x, y, &fx, &fy);
  if (!std::isfinite(fx) || !std::isfinite(fy)) {
    // A point that is not a finite number (or off a logarithmic axis) is a gap: the line so far
    // is drawn and the next point starts a new one.
    drawpending(st);
    st.n = 0;
    st.code = 0;
    return;
  }
  st.xbuf[st.n] = fx;
  st.ybuf[st.n] = fy;
  if (!is_in(pc, fx, fy)) {
    appendpoint(st);
    return;
  }
  char item[256] = "", angletext[256] = "";
  char labelcopy[256];
  if ((after = getarg(s, item)) != nullptr) {
    if (!getarg(after, angletext)) angletext[0] = '\0';
  } else if (pc->label[0] != '\0') {
    std::strcpy(labelcopy, pc->label);
    char* rest = getarg(labelcopy, item);
    if (rest && !getarg(rest, angletext)) angletext[0] = '\0';
  }
  const bool prev = st.code > 0;
  if (item[0] == '\0' && !prev) {
    appendpoint(st);
    return;
  }
  const long code = item[0] != '\0' ? drawitem(pc, item, angletext, fx, fy) : 0;
  st.code = code;
  if (code > 0) {
    const int32_t pending = st.n;
    st.n = flush(pc, st.xbuf, st.ybuf, st.n, pc->wf, pc->hf, pc->fct);
    if (pending == 0) {
      st.n = 1;
      return;
    }
    // The current point stays at its old position while the flushed line restarts at 0.
    st.xbuf[st.n] = st.xbuf[pending];
    st.ybuf[st.n] = st.ybuf[pending];
    drawcutsegment(st, prev, true);
  } else if (prev && st.n > 0) {
    drawcutsegment(st, true, false);
  } else {
    appendpoint(st);
  }
}

void initstate(graphstate& st, plotcontext* pc) {
  st.pc = pc;
  st.hor = plotaxis{"", 0.0, 1.0, 0.0, 0.0, &pc->xfct, &pc->is_xlog, &pc->x00, &pc->xl};
  st.ver = plotaxis{"", 0.0, 1.0, 0.0, 0.0, &pc->yfct, &pc->is_ylog, &pc->y00, &pc->yl};
  st.xs = st.ys = -3.0;
  st.n = 0;
  st.code = 0;
}

bool isword(const char* a, const char* b) {
  return std::strcmp(a, b) == 0;
}

// Flushes the pending points, then applies pen or join with the integer that follows.
void penorjoin(graphstate& st, char* s, int (*apply)(plotcontext*, int32_t)) {
  plotcontext* pc = st.pc;
  st.n = flush(pc, st.xbuf, st.ybuf, st.n, pc->wf, pc->hf, pc->fct);
  const long k = getarg(s, st.arg) ? std::strtol(st.arg, nullptr, 10) : 0;
  apply(st.pc, static_cast<int32_t>(k));
}

void command(graphstate& st, char* s) {
  plotcontext* pc = st.pc;
  char* a = st.arg;
  if (a[0] == '#') return;
  if (isword(a, "x") || isword(a, "y")) return defineaxis(st, nameshorizontal(pc, a[0]), s);
  if (startswith(a, "xscale")) return drawscale(st, !pc->is_t, a[6] == '\0', s);
  if (startswith(a, "yscale")) return drawscale(st, pc->is_t != 0, a[6] == '\0', s);
  if (isword(a + 1, "grid")) return drawgrid(st, nameshorizontal(pc, a[0]), s);
  if (isword(a + 1, "circle")) return drawcircles(st, a[0], s);
  if (isword(a, "circle")) return drawcircles(st, '\0', s);
  if (isword(a + 1, "name")) return drawname(st, nameshorizontal(pc, a[0]), s);
  if (startswith(a, "title") || startswith(a, "print")) return drawtext(st, s);
  if (isword(a, "eod") || isword(a, "EOD")) {
    drawpending(st);
    st.n = 0;
    return;
  }
  if (isword(a, "pen")) return penorjoin(st, s, pen);
  if (isword(a, "join")) return penorjoin(st, s, join);
  if (isword(a, "csize")) {
    if (std::sscanf(s, "%lf %lf", &pc->h, &pc->w) < 2) pc->w = pc->h;
    return;
  }
  if (isword(a, "hight")) {
    if (std::sscanf(s, "%lf %lf", &pc->mh, &pc->mw) < 2) pc->mw = pc->mh;
    return;
  }
  if (isword(a, "line")) {
    st.n = flush(pc, st.xbuf, st.ybuf, st.n, pc->wf, pc->hf, pc->fct);
    return selectline(pc, s);
  }
  if (isword(a, "italic")) {
    if (getarg(s, st.arg)) italic(pc, std::atof(st.arg));
    return;
  }
  if (isword(a, "mark")) return setlabel(pc, s);
  if (isword(a, "paint")) {
    std::sscanf(s, "%d %lf %lf", &pc->ptyp, &pc->dhat, &pc->that);
    return;
  }
  if (isword(a, "clip")) return setclip(st, s);
  if (isword(a, "box")) return drawbox(st, s);
  datapoint(st, s);
}

}  // namespace

void draw_graphdraw(plotcontext* pc, double* x, double* y, int32_t n, double w_, double h_, double fct_) {
  if (n == 0 || pc->ltype < 0) return;
  bound(pc, pc->xclip0, pc->yclip0, pc->xclip1, pc->yclip1);
  line(pc, 1, x, y, n);
  rstbnd(pc, w_, h_, fct_);
}

int32_t flush(plotcontext* pc, double* x, double* y, int32_t n, double w_, double h_, double fct_) {
  if (n <= 1) return n;
  draw_graphdraw(pc, x, y, n, w_, h_, fct_);
  x[0] = x[n - 1];
  y[0] = y[n - 1];
  return 1;
}

void polyg(plotcontext* pc, double* x, double* y, int32_t n, double w_, double h_, double fct_) {
  bound(pc, pc->xclip0, pc->yclip0, pc->xclip1, pc->yclip1);
  hatch(pc, pc->ptyp, x, y, n, pc->dhat, pc->that);
  rstbnd(pc, w_, h_, fct_);
}

int is_in(const plotcontext* pc, double x, double y) {
  return x >= 0 && x <= pc->xl && y >= 0 && y <= pc->yl;
}

void swap(const plotcontext* pc, double* x, double* y) {
  if (!pc->is_t) return;
  const double t = *x;
  *x = *y;
  *y = t;
}

void graph(plotcontext* pc, FILE* fp) {
  graphstate st;
  initstate(st, pc);
  pc->h *= pc->fct;
  pc->w *= pc->fct;
  while (std::fgets(st.buf, sizeof st.buf, fp)) {
    char* s = getarg(st.buf, st.arg);
    if (s == nullptr) continue;
    command(st, s);
  }
  drawpending(st);
}

}  // namespace velk
