#include "spectralanalysis.h"

#include <cmath>
#include <cstdlib>

double gaussrand()
{
  static unsigned char flag = 0;
  static double e2 = 0.0;
  if (flag == 1) {
    flag = 0;
    return e2;
  }
  double u1, u2, s;
  do {
    u1 = 2.0 * rand() / 2147483647.0 - 1.0;
    u2 = 2.0 * rand() / 2147483647.0 - 1.0;
    s = u1 * u1 + u2 * u2;
  } while (s >= 1.0 || s == 0.0);
  const double m = sqrt(-2.0 * log(s) / s);
  e2 = u2 * m;
  flag = 1;
  return u1 * m;
}

int genwhitenoise(double *out, uint32_t count)
{
  for (uint32_t i = 0; i < count; i++) out[i] = gaussrand();
  return 0;
}
