// Interpreter of the graph description language.
#include "graphdraw.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "graphutil.h"
#include "penprims.h"
#include "plcoord.h"

char label[256] = "";
double xfct = 1.0, yfct = 1.0;
int is_xlog = 0, is_ylog = 0;
int ptyp = 1;
double dhat = 1.0;
double that = 45.0;

void reset_graph_settings() {
  label[0] = '\0';
  xfct = yfct = 1.0;
  is_xlog = is_ylog = 0;
  ptyp = 1;
  dhat = 1.0;
  that = 45.0;
  x00 = y00 = 0.0;
  mh = mw = 1.6;
  fct = 1.0;
  ltype = 0;
  is_t = 0;
}

namespace {

const int kMaxPoints = 512;
const int lmod[5] = {0, 2, 6, 3, 4};
const double lpit[5] = {10.0, 1.6, 10.0, 3.0, 5.0};

double xbuf[kMaxPoints], ybuf[kMaxPoints];

// One axis of the description: the horizontal one uses the x settings, the vertical one
// the y settings.
struct Axis {
  char type[16];
  double min, max, a, ap;
  double* fct;
  int* islog;
  double* origin;
  double* length;
};

struct State {
  char buf[512];
  char arg[256];
  Axis hor, ver;
  double xs, ys;
  int32_t n;
  long code;  // mark code of the last point inside the frame
};

bool starts_with(const char* s, const char* prefix) {
  return std::strncmp(s, prefix, std::strlen(prefix)) == 0;
}

bool is_number_start(char c) {
  return (c >= '0' && c <= '9') || c == '-';
}

Axis& axis_of(State& st, bool horizontal) {
  return horizontal ? st.hor : st.ver;
}

// Whether a keyword's axis letter names the horizontal axis.
bool names_horizontal(char letter) {
  return (letter == 'x') != (is_t != 0);
}

void draw_pending(State& st) {
  if (st.n > 0 && ltype >= 0) draw_graphdraw(xbuf, ybuf, st.n, wf, hf, fct);
}

// A value of a description in axis units, made a frame position; data-like values take
// the logarithm only for axes marked with a star.
double data_position(const Axis& ax, double v) {
  if (*ax.islog == -1) v = std::log10(v);
  return v * *ax.fct + *ax.origin;
}

// A scale or grid value made a frame position: logarithmic and mel-warped axes convert it.
double scale_position(const Axis& ax, double v) {
  if (*ax.islog != 0) {
    v = std::log10(v);
  } else if (starts_with(ax.type, "mel") && ax.type[3] != '\0') {
    const double alpha = std::atof(ax.type + 3);
    const double m = ax.max > ax.min ? ax.max : ax.min;
    v = argapf(v / m, alpha) * m;
  }
  return (v - ax.min) * *ax.fct;
}

double item_value(const char* word) {
  return std::atof(is_number_start(word[0]) ? word : word + 1);
}

void define_axis(State& st, bool horizontal, char* s) {
  Axis& ax = axis_of(st, horizontal);
  s = gettyp(s, ax.type);
  if (std::sscanf(s, "%lf %lf %lf", &ax.min, &ax.max, &ax.a) < 3) ax.a = ax.min;
  if (starts_with(ax.type, "log")) {
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
void frame_point(bool horizontal, double p, double d, double* x, double* y) {
  *x = horizontal ? p : d;
  *y = horizontal ? d : p;
}

void draw_tick(bool horizontal, double p, double at, double length) {
  double x, y;
  frame_point(horizontal, p, at, &x, &y);
  plot(3, x, y);
  frame_point(horizontal, p, at + length, &x, &y);
  plot(2, x, y);
}

void scale_label(State& st, bool horizontal, const char* text, double p) {
  const double len = sleng(text, h, w);
  if (horizontal) {
    _symbol(text, p - 0.5 * len, st.ys - ysadj(), h, w, 0);
  } else {
    const double lx = st.hor.ap - len - 1.5;
    if (lx < st.xs) st.xs = lx;
    _symbol(text, lx, p - 0.5 * h, h, w, 0);
  }
}

void draw_scale(State& st, bool horizontal, bool no_suffix, char* s) {
  const Axis& ax = axis_of(st, horizontal);
  const Axis& cross = axis_of(st, !horizontal);  // places the axis line and the ticks
  const double at = cross.ap;
  const double far = horizontal ? yl : xl;
  if (!(type >= 0 && (cross.a == cross.min || cross.a == cross.max))) {
    double x, y;
    frame_point(horizontal, 0.0, at, &x, &y);
    plot(3, x, y);
    frame_point(horizontal, horizontal ? xl : yl, at, &x, &y);
    plot(2, x, y);
  }
  if (horizontal) st.ys = at - h - 1.5;
  double p = 0.0;
  while ((s = getarg(s, st.arg)) != nullptr) {
    const char c = st.arg[0];
    if (c != '"') p = scale_position(ax, item_value(st.arg));
    double tick = 0.0;
    const char* text = nullptr;
    if (is_number_start(c)) {
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
      draw_tick(horizontal, p, at, tick);
      if (type > 0 && no_suffix && at == 0.0) draw_tick(horizontal, p, far, -tick);
    }
    if (text) scale_label(st, horizontal, text, p);
  }
}

void draw_grid(State& st, bool horizontal, char* s) {
  draw_pending(st);
  const Axis& ax = axis_of(st, horizontal);
  while ((s = getarg(s, st.arg)) != nullptr) {
    const double p = scale_position(ax, item_value(st.arg));
    frame_point(horizontal, p, 0.0, &xbuf[0], &ybuf[0]);
    frame_point(horizontal, p, horizontal ? yl : xl, &xbuf[1], &ybuf[1]);
    draw_graphdraw(xbuf, ybuf, 2, wf, hf, fct);
  }
  st.n = 0;
}

// Reads "x y" from the next two words; false when the line has no further word.
bool read_pair(State& st, char** s, double* x, double* y) {
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
void frame_of_data(State& st, double x, double y, double* fx, double* fy) {
  swap(&x, &y);
  *fx = data_position(st.hor, x);
  *fy = data_position(st.ver, y);
}

// circle x y r...: radii in frame lengths, or in units of the named axis.
void draw_circles(State& st, char letter, char* s) {
  double x, y;
  if (!read_pair(st, &s, &x, &y)) return;
  double cx, cy;
  frame_of_data(st, x, y, &cx, &cy);
  while ((s = getarg(s, st.arg)) != nullptr) {
    double r = std::strtod(st.arg, nullptr);
    if (letter != '\0') {
      const Axis& ax = axis_of(st, names_horizontal(letter));
      if (*ax.islog == -1) r = std::log10(r);
      r *= *ax.fct;
    }
    pntstyl(ptyp);
    circle(cx, cy, r, r, 0, 360);
  }
}

void draw_name(State& st, bool horizontal, char* s) {
  char number_word[256];
  const char* text = getname(s, number_word);
  const double len = sleng(text, h, w);
  const bool given = number_word[0] != '\0';
  const double d = std::atof(number_word);
  if (horizontal)
    _symbol(text, 0.5 * (xl - len), given ? -d - h : st.ys - h - 3.0, h, w, 0);
  else
    _symbol(text, given ? -d : st.xs - 1.5, 0.5 * (yl - len), h, w, 90);
}

// title x y text [angle] (frame position) or print x y text [angle] (axis values); a
// keyword with a sixth character (titlec, printc) centres the text on the point.
void draw_text(State& st, char* s) {
  const bool is_print = starts_with(st.arg, "print");
  const bool centred = st.arg[5] != '\0';
  double x = 0.0, y = 0.0;
  int used = 0;
  std::sscanf(s, "%lf %lf%n", &x, &y, &used);
  char* rest;
  const char* text = gettxt_fig(s + used, &rest);
  if (is_print) {
    frame_of_data(st, x, y, &x, &y);
  } else {
    swap(&x, &y);
  }
  const double angle = getarg(rest, st.arg) ? std::atof(st.arg) : 0.0;
  if (centred) {
    x -= rx(0.8 * h * 0.5, h * 0.5, angle);
    y -= ry(0.8 * h * 0.5, h * 0.5, angle);
  }
  _symbol(text, x, y, h, w, angle);
}

// line t [pitch]: t = 0 stops drawing, 1..5 select the table rows; other types are refused.
void select_line(char* s) {
  int t = ltype;
  double pitch = 0.0;
  const int count = std::sscanf(s, "%d %lf", &t, &pitch);
  if (count >= 1 && t > 5) return;
  if (t < 0) t = 0;
  if (count == 2) {
    ltype = t - 1;
    if (ltype >= 0) mode(lmod[ltype], pitch);
    return;
  }
  if (t <= 0) {
    ltype = t - 1;
    return;
  }
  ltype = t - 1;
  mode(lmod[ltype], lpit[ltype]);
}

void set_label(char* s) {
  while (*s == ' ' || *s == '\t') ++s;
  if (s[0] == '\\' && s[1] == '0') {
    label[0] = '\0';
    return;
  }
  size_t n = 0;
  while (s[n] != '\0' && s[n] != '\n' && n < sizeof label - 1) {
    label[n] = s[n];
    ++n;
  }
  label[n] = '\0';
}

// Reads corner pairs into the buffers from position 0; returns their number.
int read_corners(State& st, char* s) {
  int count = 0;
  double x, y;
  while (read_pair(st, &s, &x, &y)) {
    if (count < kMaxPoints) frame_of_data(st, x, y, &xbuf[count], &ybuf[count]);
    ++count;
  }
  return count;
}

void set_clip(State& st, char* s) {
  draw_pending(st);
  st.n = 0;
  const int count = read_corners(st, s);
  if (count == 0) {
    xclip0 = yclip0 = 0.0;
    xclip1 = is_t ? yl : xl;
    yclip1 = is_t ? xl : yl;
  } else if (count == 2) {
    xclip0 = xbuf[0];
    yclip0 = ybuf[0];
    xclip1 = xbuf[1];
    yclip1 = ybuf[1];
  }
}

void draw_box(State& st, char* s) {
  draw_pending(st);
  st.n = 0;
  if (read_corners(st, s) != 2) return;
  const double x0 = xbuf[0], y0 = ybuf[0], x1 = xbuf[1], y1 = ybuf[1];
  const double bx[4] = {x0, x1, x1, x0}, by[4] = {y0, y0, y1, y1};
  for (int i = 0; i < 4; ++i) {
    xbuf[i] = bx[i];
    ybuf[i] = by[i];
  }
  polyg(xbuf, ybuf, 4, wf, hf, fct);
}

// Appends the point at position n, drawing a full buffer and going on from its last point.
void append_point(State& st) {
  st.n += 1;
  if (st.n > kMaxPoints - 1) st.n = flush(xbuf, ybuf, st.n, wf, hf, fct);
}

// Draws the segment from position 0 to the point at position n, cut short by mh at the
// start (when the previous point bears a mark) and at the end (when this one does).
void draw_cut_segment(State& st, bool cut_start, bool cut_end) {
  const double x0 = xbuf[0], y0 = ybuf[0], x1 = xbuf[st.n], y1 = ybuf[st.n];
  const double dir = std::atan2(y1 - y0, x1 - x0);
  const double dx = mh * std::cos(dir), dy = mh * std::sin(dir);
  double sx[2] = {x0, x1}, sy[2] = {y0, y1};
  if (cut_start) {
    sx[0] += dx;
    sy[0] += dy;
  }
  if (cut_end) {
    sx[1] -= dx;
    sy[1] -= dy;
  }
  draw_graphdraw(sx, sy, 2, wf, hf, fct);
  xbuf[0] = x1;
  ybuf[0] = y1;
  st.n = 1;
}

// Draws the mark or text item of a point and returns the point's mark code.
long draw_item(const char* item, const char* angle_text, double x, double y) {
  if (item[0] == '\\') {
    const long k = std::strtol(item + 1, nullptr, 10);
    if (k >= -15 && k <= 15) {
      mark(static_cast<int32_t>(k < 0 ? -k : k), &x, &y, 1, mh, 1);
      return k;
    }
    if (k == 16 || k == -16) {
      pntstyl(ptyp);
      circle(x, y, 0.5 * mh, 0.5 * mh, 0, 360);
      return k;
    }
    const char one[2] = {static_cast<char>(k & 0xff), '\0'};
    _symbol(one, x - 0.8 * h * 0.5, y - w * 0.5, h, w, std::atof(angle_text));
    return k;
  }
  _symbol(item, x - 0.8 * h * 0.5, y - w * 0.5, h, w, std::atof(angle_text));
  return 0;
}

void data_point(State& st, char* s) {
  double x = std::strtod(st.arg, nullptr), y = 0.0;
  char* after = getarg(s, st.arg);
  if (after) {
    y = std::strtod(st.arg, nullptr);
    s = after;
  }
  double fx, fy;
  frame_of_data(st, x, y, &fx, &fy);
  if (!std::isfinite(fx) || !std::isfinite(fy)) {
    // A point that is not a finite number (or off a logarithmic axis) is a gap: the line so far
    // is drawn and the next point starts a new one.
    draw_pending(st);
    st.n = 0;
    st.code = 0;
    return;
  }
  xbuf[st.n] = fx;
  ybuf[st.n] = fy;
  if (!is_in(fx, fy)) {
    append_point(st);
    return;
  }
  char item[256] = "", angle_text[256] = "";
  char label_copy[256];
  if ((after = getarg(s, item)) != nullptr) {
    if (!getarg(after, angle_text)) angle_text[0] = '\0';
  } else if (label[0] != '\0') {
    std::strcpy(label_copy, label);
    char* rest = getarg(label_copy, item);
    if (rest && !getarg(rest, angle_text)) angle_text[0] = '\0';
  }
  const bool prev = st.code > 0;
  if (item[0] == '\0' && !prev) {
    append_point(st);
    return;
  }
  const long code = item[0] != '\0' ? draw_item(item, angle_text, fx, fy) : 0;
  st.code = code;
  if (code > 0) {
    const int32_t pending = st.n;
    st.n = flush(xbuf, ybuf, st.n, wf, hf, fct);
    if (pending == 0) {
      st.n = 1;
      return;
    }
    // The current point stays at its old position while the flushed line restarts at 0.
    xbuf[st.n] = xbuf[pending];
    ybuf[st.n] = ybuf[pending];
    draw_cut_segment(st, prev, true);
  } else if (prev && st.n > 0) {
    draw_cut_segment(st, true, false);
  } else {
    append_point(st);
  }
}

void init_state(State& st) {
  st.hor = Axis{"", 0.0, 1.0, 0.0, 0.0, &xfct, &is_xlog, &x00, &xl};
  st.ver = Axis{"", 0.0, 1.0, 0.0, 0.0, &yfct, &is_ylog, &y00, &yl};
  st.xs = st.ys = -3.0;
  st.n = 0;
  st.code = 0;
}

bool is_word(const char* a, const char* b) {
  return std::strcmp(a, b) == 0;
}

// Flushes the pending points, then applies pen or join with the integer that follows.
void pen_or_join(State& st, char* s, int (*apply)(int32_t)) {
  st.n = flush(xbuf, ybuf, st.n, wf, hf, fct);
  const long k = getarg(s, st.arg) ? std::strtol(st.arg, nullptr, 10) : 0;
  apply(static_cast<int32_t>(k));
}

void command(State& st, char* s) {
  char* a = st.arg;
  if (a[0] == '#') return;
  if (is_word(a, "x") || is_word(a, "y")) return define_axis(st, names_horizontal(a[0]), s);
  if (starts_with(a, "xscale")) return draw_scale(st, !is_t, a[6] == '\0', s);
  if (starts_with(a, "yscale")) return draw_scale(st, is_t != 0, a[6] == '\0', s);
  if (is_word(a + 1, "grid")) return draw_grid(st, names_horizontal(a[0]), s);
  if (is_word(a + 1, "circle")) return draw_circles(st, a[0], s);
  if (is_word(a, "circle")) return draw_circles(st, '\0', s);
  if (is_word(a + 1, "name")) return draw_name(st, names_horizontal(a[0]), s);
  if (starts_with(a, "title") || starts_with(a, "print")) return draw_text(st, s);
  if (is_word(a, "eod") || is_word(a, "EOD")) {
    draw_pending(st);
    st.n = 0;
    return;
  }
  if (is_word(a, "pen")) return pen_or_join(st, s, pen);
  if (is_word(a, "join")) return pen_or_join(st, s, join);
  if (is_word(a, "csize")) {
    if (std::sscanf(s, "%lf %lf", &h, &w) < 2) w = h;
    return;
  }
  if (is_word(a, "hight")) {
    if (std::sscanf(s, "%lf %lf", &mh, &mw) < 2) mw = mh;
    return;
  }
  if (is_word(a, "line")) {
    st.n = flush(xbuf, ybuf, st.n, wf, hf, fct);
    return select_line(s);
  }
  if (is_word(a, "italic")) {
    if (getarg(s, st.arg)) italic(std::atof(st.arg));
    return;
  }
  if (is_word(a, "mark")) return set_label(s);
  if (is_word(a, "paint")) {
    std::sscanf(s, "%d %lf %lf", &ptyp, &dhat, &that);
    return;
  }
  if (is_word(a, "clip")) return set_clip(st, s);
  if (is_word(a, "box")) return draw_box(st, s);
  data_point(st, s);
}

}  // namespace

void draw_graphdraw(double* x, double* y, int32_t n, double w_, double h_, double fct_) {
  if (n == 0 || ltype < 0) return;
  bound(xclip0, yclip0, xclip1, yclip1);
  line(1, x, y, n);
  rstbnd(w_, h_, fct_);
}

int32_t flush(double* x, double* y, int32_t n, double w_, double h_, double fct_) {
  if (n <= 1) return n;
  draw_graphdraw(x, y, n, w_, h_, fct_);
  x[0] = x[n - 1];
  y[0] = y[n - 1];
  return 1;
}

void polyg(double* x, double* y, int32_t n, double w_, double h_, double fct_) {
  bound(xclip0, yclip0, xclip1, yclip1);
  hatch(ptyp, x, y, n, dhat, that);
  rstbnd(w_, h_, fct_);
}

int is_in(double x, double y) {
  return x >= 0 && x <= xl && y >= 0 && y <= yl;
}

void swap(double* x, double* y) {
  if (!is_t) return;
  const double t = *x;
  *x = *y;
  *y = t;
}

void graph(FILE* fp) {
  State st;
  init_state(st);
  h *= fct;
  w *= fct;
  while (std::fgets(st.buf, sizeof st.buf, fp)) {
    char* s = getarg(st.buf, st.arg);
    if (s == nullptr) continue;
    command(st, s);
  }
  draw_pending(st);
}
