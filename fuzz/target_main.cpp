// libFuzzer entry point; FUZZ_ENTRY names the entry function of the target being built.
#include "fuzzcheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FUZZ_ENTRY(data, size);
}
