#include "fgetmem.h"

#include <cstdlib>

namespace velk {

float* fgetmem(long n) {
  return (float*)malloc(sizeof(float) * (size_t)(n > 0 ? n : 1));
}

}  // namespace velk
