#include <cstring>

#include "numeric.h"

namespace velk {

void padz(void* ptr, size_t size, int nitem) {
  if (nitem <= 0) return;
  std::memset(ptr, 0, size * static_cast<size_t>(nitem));
}

}  // namespace velk
