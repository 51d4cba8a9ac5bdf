// Autocorrelation routine of the lagcorr command.
#pragma once

namespace velk {

// r[k] = Σ x[i]·x[i + k] over i = 0 … l − 1 − k, for the lags k = 0 … m of the frame x of l
// samples; lags of l or more are 0.
void lagcorr(const double* x, int l, double* r, int m);

}  // namespace velk
