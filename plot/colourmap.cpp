// Colour maps of levels.
#include "colourmap.h"

#include <algorithm>
#include <cmath>

namespace velk {

namespace {

// Eleven colours at equal steps of the map, interpolated linearly between: the lightness rises
// steadily from the first to the last, so that louder always reads lighter, in colour or grey.
const unsigned char kViridisLike[11][3] = {{68, 1, 84},    {72, 36, 117},  {65, 68, 135},  {53, 95, 141},
                                           {42, 120, 142}, {33, 145, 140}, {34, 168, 132}, {68, 191, 112},
                                           {122, 209, 81}, {189, 223, 38}, {253, 231, 37}};

}  // namespace

void levelrgb(double t, bool grey, double rgb[3]) {
  t = std::isnan(t) ? 0.0 : std::min(1.0, std::max(0.0, t));
  if (grey) {
    rgb[0] = rgb[1] = rgb[2] = 1.0 - t;
    return;
  }
  const double at = t * 10.0;
  const int i = std::min(9, static_cast<int>(at));
  const double f = at - i;
  for (int c = 0; c < 3; ++c) rgb[c] = ((1 - f) * kViridisLike[i][c] + f * kViridisLike[i + 1][c]) / 255.0;
}

}  // namespace velk
