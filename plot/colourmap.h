// Colour maps of levels: a perceptually ordered one from dark violet through blue and green to
// yellow (close to the viridis map), and grey from white to black.
#pragma once

namespace velk {

// Red, green and blue (0..1) of the level t in 0..1 (0 the quietest; outside, the nearest end).
void levelrgb(double t, bool grey, double rgb[3]);

}  // namespace velk
