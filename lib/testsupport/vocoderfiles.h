#pragma once
// Inputs of the vocoder programs' bad-input tests: the run limits of a child and log-F0
// streams, beside the WAV files of testfiles.h.

#include <gtest/gtest.h>

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

// A suite whose tests share the streams of the bundled sample (s.f0, s.cc and s.fv in dir),
// encoded once before the first test.
class EncodedSampleSuite : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir = new TempDir;
    const std::string wav = std::string(VELK_SAMPLES_DIR) + "/en_vm-deleted.wav";
    ASSERT_EQ(
        run_program(VELKCODER_PATH, {wav, dir->path("s.f0"), dir->path("s.cc"), dir->path("s.fv")}).status,
        0);
  }
  static void TearDownTestSuite() {
    delete dir;
    dir = nullptr;
  }
  static inline TempDir* dir = nullptr;
};
