#include "autocorr.h"

namespace velk {

void lagcorr(const double* x, int l, double* r, int m) {
  for (int k = 0; k <= m; k++) {
    double sum = 0.0;
    for (int i = 0; i + k < l; i++) sum += x[i] * x[i + k];
    r[k] = sum;
  }
}

}  // namespace velk
