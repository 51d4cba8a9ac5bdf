#pragma once
// Inputs of the vocoder programs' bad-input tests: the run limits of a child and log-F0
// streams, beside the WAV files of testfiles.h.

#include <cstdint>
#include <string>
#include <vector>

#include "childprocess.h"
#include "testfiles.h"

// An address-space limit for a child that might allocate without bound, or none under the
// address sanitizer, whose shadow memory needs more address space than any such limit leaves.
#if defined(__SANITIZE_ADDRESS__)
const uint64_t kChildMemoryLimit = 0;
#else
const uint64_t kChildMemoryLimit = 4ull << 30;
#endif

// How a child is run: a hang guard of `seconds`, and address-space and file-size limits (0: none).
inline RunSettings limits(int seconds, uint64_t memory = 0, uint64_t filesize = 0) {
  RunSettings how;
  how.seconds = seconds;
  how.memorylimit = memory;
  how.filesizelimit = filesize;
  return how;
}

// A log-F0 stream of `frames` frames, all voiced at `logf0`.
inline std::string logf0_bytes(size_t frames, float logf0) {
  return float_bytes(std::vector<float>(frames, logf0));
}
