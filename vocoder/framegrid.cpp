#include "framegrid.h"

#include <cmath>

namespace velk {

uint32_t hopfromms(double ms, uint32_t fs) {
  if (!(ms > 0.0) || !std::isfinite(ms)) return 0;
  const double samples = std::floor(ms * fs / 1000.0 + 0.5);
  return samples >= 1.0 && samples <= UINT32_MAX ? (uint32_t)samples : 0;
}

int checkframegrid(const framegrid& g) {
  return g.fs > 0 && g.hop >= 1 && g.window >= 1 ? 0 : -1;
}

uint64_t gridframes(const framegrid& g, uint64_t samples) {
  if (g.center) return 1 + samples / g.hop;
  return samples < g.window ? 0 : 1 + (samples - g.window) / g.hop;
}

uint64_t gridcentre(const framegrid& g, uint64_t t) {
  return t * g.hop + (g.center ? 0 : g.window / 2);
}

int64_t gridstart(const framegrid& g, uint64_t t) {
  return (int64_t)gridcentre(g, t) - (int64_t)(g.window / 2);
}

}  // namespace velk
