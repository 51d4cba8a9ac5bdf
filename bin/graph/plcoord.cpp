// Coordinate and output module of the graph command.
#include "plcoord.h"

#include <cmath>
#include <cstdio>

co_ord _org = {0.0, 0.0};
std::FILE* plout = stdout;

static int line_kind = 0;
static double line_pitch = 0.0;

int _plnorm(double value) {
  const double units = std::floor(value * 10.0 + 0.5);
  if (!(units > -1e9)) return -1000000000;  // also NaN
  if (units > 1e9) return 1000000000;
  return static_cast<int>(units);
}

int _cordx(double x) {
  return _plnorm(x + _org.xo);
}

int _cordy(double y) {
  return _plnorm(y + _org.yo);
}

void plot(int mode, double x, double y) {
  if (mode == 3)
    std::fprintf(plout, "M%d %d\n", _cordx(x), _cordy(y));
  else if (mode == 2)
    std::fprintf(plout, "D%d %d\n%c", _cordx(x), _cordy(y), '\0');
}

void mode(int kind, double pitch) {
  line_kind = kind;
  line_pitch = pitch;
}

void _chlnmod(int on) {
  // The viewer reads the type; the pitch beside it is for plotters that scale dashes.
  if (on)
    std::fprintf(plout, "L%d %d\n", line_kind, _plnorm(line_pitch));
  else
    std::fprintf(plout, "L0\n");
}

void plstart() {
  std::fprintf(plout, "=\n");
}
