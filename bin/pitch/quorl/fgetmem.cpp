#include "fgetmem.h"

#include <cstdlib>

float* fgetmem(long n) {
  return (float*)malloc(sizeof(float) * (size_t)(n > 0 ? n : 1));
}
