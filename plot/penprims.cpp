// Plotter primitives.
#include "penprims.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "plcoord.h"

namespace velk {

namespace {

// Range test on a code or count taken as unsigned, so that negative values fail too.
bool inrange(int32_t v, uint32_t hi) {
  return static_cast<uint32_t>(v) <= hi;
}

void endcommand(plotcontext* pc) {
  std::fputc('\0', pc->out);
}

int truncint(double v) {
  return static_cast<int>(v);
}

// Text of a number request, or false when it does not fit (more than 9 decimals, more
// than 31 characters, or an integer part beyond the int range).
bool numbertext(double fval, int32_t m, int32_t n, char* text, size_t size) {
  char format[16];
  if (n > 9) return false;
  if (n > 0) {
    std::snprintf(format, sizeof format, "%%%d.%df\r", m, n);
    return std::snprintf(text, size, format, fval) < static_cast<int>(size);
  }
  // Dividing more than 700 times leaves 0 for any double, so the loop stops there.
  for (long long k = 0; k < -static_cast<long long>(n) - 1 && k < 700; ++k) fval /= 10.0;
  if (!(std::fabs(fval) < 2147483648.0)) return false;
  std::snprintf(format, sizeof format, "%%%dd%s", m, n == 0 ? ".\r" : "\r");
  return std::snprintf(text, size, format, static_cast<int>(fval)) < static_cast<int>(size);
}

bool samesign(int a, int b) {
  return (a > 0 && b > 0) || (a < 0 && b < 0);
}

struct penstep {
  short x, y;
};

}  // namespace

void rotate(plotcontext* pc, double th) {
  std::fprintf(pc->out, "/%d %d %d\n", plnorm(pc->org.xo), plnorm(pc->org.yo), plnorm(th));
}

void factor(plotcontext* pc, double fx, double fy) {
  std::fprintf(pc->out, "&%d %d %d\n", truncint(fx * 4096 + 0.5), truncint(fy * 4096 + 0.5), 4096);
}

int offset(plotcontext* pc, double x, double y) {
  std::fprintf(pc->out, "^%d %d\n", plnorm(x), plnorm(y));
  return 0;
}

void bound(plotcontext* pc, double xl, double yl, double xh, double yh) {
  std::fprintf(pc->out, "\\%d %d\n", cordx(pc, xl), cordy(pc, yl));
  std::fprintf(pc->out, "Z%d %d\n", cordx(pc, xh), cordy(pc, yh));
}

void rstbnd(plotcontext* pc, double w, double h, double F) {
  std::fprintf(pc->out, "\\%d %d\n", 0, 0);
  std::fprintf(pc->out, "Z%d %d\n", truncint(F * (10 * pc->org.xo + 4000 * w)),
               truncint(F * (2850 * h + 10 * pc->org.yo)));
}

int hatch(plotcontext* pc, int32_t ip, const double* ax, const double* ay, int32_t n, double d, double t) {
  if (n <= 2) return -1;
  std::fprintf(pc->out, "%%%lld %d %d\n", ip + 20LL, plnorm(d), plnorm(t));
  for (int32_t i = 0; i < n; ++i) std::fprintf(pc->out, "%d %d\n", cordx(pc, ax[i]), cordy(pc, ay[i]));
  endcommand(pc);
  return 0;
}

int pen(plotcontext* pc, int32_t pen) {
  if (pen < 1 || !inrange(pen, 10)) return -1;
  std::fprintf(pc->out, "J%d\n", pen);
  return 0;
}

int join(plotcontext* pc, int32_t join) {
  if (!inrange(join, 2)) return -1;
  std::fprintf(pc->out, "K%d\n", join);
  return 0;
}

int font(plotcontext* pc, int32_t n) {
  if (!inrange(n, 19)) return -1;
  std::fprintf(pc->out, "$%d", n);
  endcommand(pc);
  return 0;
}

int speed(plotcontext* pc, int32_t isp, int32_t ip) {
  if (!inrange(isp, 10) || !inrange(ip, 10)) return -1;
  if (ip != 0)
    std::fprintf(pc->out, "!%d", isp);
  else
    std::fprintf(pc->out, "!%d %d", isp, 0);
  endcommand(pc);
  return 0;
}

int mark(plotcontext* pc, int32_t mrk, const double* ax, const double* ay, int32_t n, double f, int32_t m) {
  // A negative count walks the arrays with step m; a step of 0 would never advance.
  if (!inrange(mrk, 15) || n == 0 || (n < 0 && m <= 0)) return -1;
  const long long step = n > 0 ? 1 : m;
  const long long count = n > 0 ? n : -static_cast<long long>(n);
  std::fprintf(pc->out, "S%d\n", plnorm(f * 1.75));
  std::fprintf(pc->out, "R%d\n", 0);
  for (long long i = 0; i < count; i += step) {
    plot(pc, 3, ax[i], ay[i]);
    std::fprintf(pc->out, "N%d\n", mrk);
  }
  return 0;
}

int symbol(plotcontext* pc, double x, double y, const char* text, double h, double s, double th) {
  plot(pc, 3, x, y);
  std::fprintf(pc->out, "S%d\n", plnorm(h));
  std::fprintf(pc->out, "Q%d\n", plnorm(s));
  std::fprintf(pc->out, "R%d\n", plnorm(th));
  std::fprintf(pc->out, "P%s", text);
  endcommand(pc);
  return 0;
}

int number(plotcontext* pc, double x, double y, double fval, double h, double s, double th, int32_t m,
           int32_t n) {
  if (std::abs(static_cast<long long>(m)) > 10) return -1;
  char text[32];
  if (!numbertext(fval, m, n, text, sizeof text)) return -1;
  return symbol(pc, x, y, text, h, s, th);
}

int italic(plotcontext* pc, double th) {
  const double a = std::tan(th * 0.017453292519943295) * 256;
  // Beyond 4000 (and for tangents outside the int range) the slant is refused.
  if (!(a <= 4000.0 && a > static_cast<double>(INT_MIN))) return -1;
  std::fprintf(pc->out, "I%d\n", truncint(a));
  return 0;
}

int line(plotcontext* pc, int32_t ip, const double* ax, const double* ay, int32_t n) {
  if (n <= 1) return -1;
  if (ip != 0) chlnmod(pc, 1);
  plot(pc, 3, ax[0], ay[0]);
  std::fprintf(pc->out, "D");
  penstep p = {static_cast<short>(cordx(pc, ax[1])), static_cast<short>(cordy(pc, ay[1]))};
  // The previous step is the one from the first point, so that a corner at the second
  // point survives.
  penstep s = {static_cast<short>(p.x - static_cast<short>(cordx(pc, ax[0]))),
               static_cast<short>(p.y - static_cast<short>(cordy(pc, ay[0])))};
  for (int32_t k = 2; k < n; ++k) {
    const penstep q = {static_cast<short>(cordx(pc, ax[k])), static_cast<short>(cordy(pc, ay[k]))};
    const int dx = q.x - p.x, dy = q.y - p.y;
    if (dx == 0 && dy == 0) continue;
    const bool straighton =
        (dx == 0 && s.x == 0 && samesign(dy, s.y)) || (dy == 0 && s.y == 0 && samesign(dx, s.x));
    if (!straighton) std::fprintf(pc->out, "%d %d\n", p.x, p.y);
    p = q;
    s = {static_cast<short>(dx), static_cast<short>(dy)};
  }
  std::fprintf(pc->out, "%d %d\n", p.x, p.y);
  endcommand(pc);
  if (ip != 0) chlnmod(pc, 0);
  return 0;
}

int circle(plotcontext* pc, double x, double y, double rs, double re, double ths, double the) {
  if (plnorm(rs) == 0 && plnorm(re) == 0) return -1;
  std::fprintf(pc->out, "W%d %d %d %d %d %d", cordx(pc, x), cordy(pc, y), plnorm(rs), plnorm(re), plnorm(ths),
               plnorm(the));
  endcommand(pc);
  return 0;
}

int pntstyl(plotcontext* pc, int32_t ip) {
  std::fprintf(pc->out, "Q%lld\n", ip + 20LL);
  return 0;
}

}  // namespace velk
