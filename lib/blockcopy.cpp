#include <cstdint>

#include "numeric.h"

namespace velk {

// Byte by byte in the direction that never overwrites a source byte before it is read:
// upwards when the source lies above the destination, downwards otherwise.
void blockcopy(const void* a, void* b, size_t size, int nitem) {
  if (nitem <= 0) return;
  const size_t bytes = size * static_cast<size_t>(nitem);
  const unsigned char* src = static_cast<const unsigned char*>(a);
  unsigned char* dst = static_cast<unsigned char*>(b);
  if (reinterpret_cast<uintptr_t>(src) > reinterpret_cast<uintptr_t>(dst)) {
    for (size_t i = 0; i < bytes; i++) dst[i] = src[i];
  } else {
    for (size_t i = bytes; i-- > 0;) dst[i] = src[i];
  }
}

}  // namespace velk
