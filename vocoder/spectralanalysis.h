#pragma once
// Frame log spectra, noise generation, filters and linear prediction.
#include <cstdint>

// One standard normal deviate (polar method; the second deviate of each pair is held back).
double gaussrand();
// Fills out[0..count) with deviates from gaussrand; returns 0.
int genwhitenoise(double *out, uint32_t count);
