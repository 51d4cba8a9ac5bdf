// Coordinate and output module of the graph command.
#include "plcoord.h"

#include <cmath>
#include <cstdio>

namespace velk {

int plnorm(double value) {
  const double units = std::floor(value * 10.0 + 0.5);
  if (!(units > -1e9)) return -1000000000;  // also NaN
  if (units > 1e9) return 1000000000;
  return static_cast<int>(units);
}

int cordx(const plotcontext* pc, double x) {
  return plnorm(x + pc->org.xo);
}

int cordy(const plotcontext* pc, double y) {
  return plnorm(y + pc->org.yo);
}

void plot(plotcontext* pc, int mode, double x, double y) {
  if (mode == 3)
    std::fprintf(pc->out, "M%d %d\n", cordx(pc, x), cordy(pc, y));
  else if (mode == 2)
    std::fprintf(pc->out, "D%d %d\n%c", cordx(pc, x), cordy(pc, y), '\0');
}

void mode(plotcontext* pc, int kind, double pitch) {
  pc->linekind = kind;
  pc->linepitch = pitch;
}

void chlnmod(plotcontext* pc, int on) {
  // The viewer reads the type; the pitch beside it is for plotters that scale dashes.
  if (on)
    std::fprintf(pc->out, "L%d %d\n", pc->linekind, plnorm(pc->linepitch));
  else
    std::fprintf(pc->out, "L0\n");
}

void plstart(plotcontext* pc) {
  std::fprintf(pc->out, "=\n");
}

}  // namespace velk
