// Plotter primitives.
#include "penprims.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "plcoord.h"

namespace {

// Range test on a code or count taken as unsigned, so that negative values fail too.
bool in_range(int32_t v, uint32_t hi) {
  return static_cast<uint32_t>(v) <= hi;
}

void end_command() {
  std::fputc('\0', plout);
}

int trunc_int(double v) {
  return static_cast<int>(v);
}

// Text of a number request, or false when it does not fit (more than 9 decimals, more
// than 31 characters, or an integer part beyond the int range).
bool number_text(double fval, int32_t m, int32_t n, char* text, size_t size) {
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

bool same_sign(int a, int b) {
  return (a > 0 && b > 0) || (a < 0 && b < 0);
}

struct Step {
  short x, y;
};

}  // namespace

void rotate(double th) {
  std::fprintf(plout, "/%d %d %d\n", _plnorm(_org.xo), _plnorm(_org.yo), _plnorm(th));
}

void factor(double fx, double fy) {
  std::fprintf(plout, "&%d %d %d\n", trunc_int(fx * 4096 + 0.5), trunc_int(fy * 4096 + 0.5), 4096);
}

int offset(double x, double y) {
  std::fprintf(plout, "^%d %d\n", _plnorm(x), _plnorm(y));
  return 0;
}

void bound(double xl, double yl, double xh, double yh) {
  std::fprintf(plout, "\\%d %d\n", _cordx(xl), _cordy(yl));
  std::fprintf(plout, "Z%d %d\n", _cordx(xh), _cordy(yh));
}

void rstbnd(double w, double h, double F) {
  std::fprintf(plout, "\\%d %d\n", 0, 0);
  std::fprintf(plout, "Z%d %d\n", trunc_int(F * (10 * _org.xo + 4000 * w)),
               trunc_int(F * (2850 * h + 10 * _org.yo)));
}

int hatch(int32_t ip, const double* ax, const double* ay, int32_t n, double d, double t) {
  if (n <= 2) return 1;
  std::fprintf(plout, "%%%lld %d %d\n", ip + 20LL, _plnorm(d), _plnorm(t));
  for (int32_t i = 0; i < n; ++i) std::fprintf(plout, "%d %d\n", _cordx(ax[i]), _cordy(ay[i]));
  end_command();
  return 0;
}

int pen(int32_t pen) {
  if (pen < 1 || !in_range(pen, 10)) return 1;
  std::fprintf(plout, "J%d\n", pen);
  return 0;
}

int join(int32_t join) {
  if (!in_range(join, 2)) return 1;
  std::fprintf(plout, "K%d\n", join);
  return 0;
}

int font(int32_t n) {
  if (!in_range(n, 19)) return 1;
  std::fprintf(plout, "$%d", n);
  end_command();
  return 0;
}

int speed(int32_t isp, int32_t ip) {
  if (!in_range(isp, 10) || !in_range(ip, 10)) return 1;
  if (ip != 0)
    std::fprintf(plout, "!%d", isp);
  else
    std::fprintf(plout, "!%d %d", isp, 0);
  end_command();
  return 0;
}

int mark(int32_t mrk, const double* ax, const double* ay, int32_t n, double f, int32_t m) {
  // A negative count walks the arrays with step m; a step of 0 would never advance.
  if (!in_range(mrk, 15) || n == 0 || (n < 0 && m <= 0)) return 1;
  const long long step = n > 0 ? 1 : m;
  const long long count = n > 0 ? n : -static_cast<long long>(n);
  std::fprintf(plout, "S%d\n", _plnorm(f * 1.75));
  std::fprintf(plout, "R%d\n", 0);
  for (long long i = 0; i < count; i += step) {
    plot(3, ax[i], ay[i]);
    std::fprintf(plout, "N%d\n", mrk);
  }
  return 0;
}

int symbol(double x, double y, const char* text, double h, double s, double th) {
  plot(3, x, y);
  std::fprintf(plout, "S%d\n", _plnorm(h));
  std::fprintf(plout, "Q%d\n", _plnorm(s));
  std::fprintf(plout, "R%d\n", _plnorm(th));
  std::fprintf(plout, "P%s", text);
  end_command();
  return 0;
}

int number(double x, double y, double fval, double h, double s, double th, int32_t m, int32_t n) {
  if (std::abs(static_cast<long long>(m)) > 10) return 1;
  char text[32];
  if (!number_text(fval, m, n, text, sizeof text)) return 1;
  return symbol(x, y, text, h, s, th);
}

int italic(double th) {
  const double a = std::tan(th * 0.017453292519943295) * 256;
  // Beyond 4000 (and for tangents outside the int range) the slant is refused.
  if (!(a <= 4000.0 && a > static_cast<double>(INT_MIN))) return 1;
  std::fprintf(plout, "I%d\n", trunc_int(a));
  return 0;
}

int line(int32_t ip, const double* ax, const double* ay, int32_t n) {
  if (n <= 1) return 1;
  if (ip != 0) _chlnmod(1);
  plot(3, ax[0], ay[0]);
  std::fprintf(plout, "D");
  Step p = {static_cast<short>(_cordx(ax[1])), static_cast<short>(_cordy(ay[1]))};
  // The previous step is the one from the first point, so that a corner at the second
  // point survives.
  Step s = {static_cast<short>(p.x - static_cast<short>(_cordx(ax[0]))),
            static_cast<short>(p.y - static_cast<short>(_cordy(ay[0])))};
  for (int32_t k = 2; k < n; ++k) {
    const Step q = {static_cast<short>(_cordx(ax[k])), static_cast<short>(_cordy(ay[k]))};
    const int dx = q.x - p.x, dy = q.y - p.y;
    if (dx == 0 && dy == 0) continue;
    const bool straight_on =
        (dx == 0 && s.x == 0 && same_sign(dy, s.y)) || (dy == 0 && s.y == 0 && same_sign(dx, s.x));
    if (!straight_on) std::fprintf(plout, "%d %d\n", p.x, p.y);
    p = q;
    s = {static_cast<short>(dx), static_cast<short>(dy)};
  }
  std::fprintf(plout, "%d %d\n", p.x, p.y);
  end_command();
  if (ip != 0) _chlnmod(0);
  return 0;
}

int circle(double x, double y, double rs, double re, double ths, double the) {
  if (_plnorm(rs) == 0 && _plnorm(re) == 0) return 1;
  std::fprintf(plout, "W%d %d %d %d %d %d", _cordx(x), _cordy(y), _plnorm(rs), _plnorm(re), _plnorm(ths),
               _plnorm(the));
  end_command();
  return 0;
}

int pntstyl(int32_t ip) {
  std::fprintf(plout, "Q%lld\n", ip + 20LL);
  return 0;
}
