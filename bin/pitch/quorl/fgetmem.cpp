#include "fgetmem.h"

#include <cstdio>
#include <cstdlib>

float* fgetmem(long n) {
  float* p = (float*)malloc(sizeof(float) * (size_t)(n > 0 ? n : 1));
  if (!p) fprintf(stderr, "Cannot allocate memory for %ld floats!\n", n);
  return p;
}
