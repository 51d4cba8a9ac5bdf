#pragma once
// Files of the program tests that outlive one call: a directory of the running test's own
// (removed with the process's other test files when the tests are done), whole-file writes,
// and WAV files of the usual layouts.

#include <gtest/gtest.h>

#include <dirent.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "riffbytes.h"

// The test files of this process, under the test temporary directory; its path ends in '/'.
inline std::string testfilesdir() {
  return testing::TempDir() + "velk_programs_" + std::to_string(getpid()) + "/";
}

// Removes this process's test files when the tests are done.
class TestFilesRemoval : public testing::Environment {
  void TearDown() override {
    nftw(
        testfilesdir().c_str(), [](const char* path, const struct stat*, int, FTW*) { return remove(path); },
        8, FTW_DEPTH | FTW_PHYS);
  }
};
inline testing::Environment* const testfilesremoval = testing::AddGlobalTestEnvironment(new TestFilesRemoval);

// The directory of the running test, made when missing, so that tests run in parallel never
// share files; its path ends in '/'.
inline std::string testdirpath() {
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  const std::string base = testfilesdir();
  const std::string dir = base + test->test_suite_name() + "." + test->name() + "/";
  mkdir(base.c_str(), 0755);
  mkdir(dir.c_str(), 0755);
  return dir;
}

// A path for `name` in the running test's directory; what the directory holds is kept.
inline std::string testfile(const std::string& name) {
  return testdirpath() + name;
}

// The running test's directory, emptied; its path ends in '/'.
inline std::string testdir() {
  const std::string dir = testdirpath();
  if (DIR* d = opendir(dir.c_str())) {
    while (const dirent* entry = readdir(d)) unlink((dir + entry->d_name).c_str());
    closedir(d);
  }
  return dir;
}

// Descriptors open in this process on files whose path (as /proc/self/fd shows it, " (deleted)"
// after an unlinked one) contains `part`; -1 when /proc cannot be read.
inline int openfilesnamed(const std::string& part) {
  DIR* d = opendir("/proc/self/fd");
  if (d == nullptr) return -1;
  int count = 0;
  while (const dirent* e = readdir(d)) {
    char target[4096];
    const ssize_t n = readlink((std::string("/proc/self/fd/") + e->d_name).c_str(), target, sizeof target);
    if (n > 0 && std::string(target, (size_t)n).find(part) != std::string::npos) count++;
  }
  closedir(d);
  return count;
}

// The values a library reader (fdoubleread, wavreadm1616: a count, and an array for the caller
// to free) gets from the file, which is then removed; empty when the reader fails.
template <typename Reader>
std::vector<double> read_and_remove(const std::string& path, Reader reader) {
  double* values = nullptr;
  const uint32_t n = reader(path.c_str(), &values);
  remove(path.c_str());
  std::vector<double> out(values, values + n);
  free(values);
  return out;
}

inline void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// The low `width` bytes of v, least significant first.
inline std::string le_bytes(uint32_t v, int width) {
  return wavtest::le(v, width);
}

// A 44-byte WAV header with the given fields; `datasize` is the data chunk's size in bytes and
// `format` the format tag (1 PCM, 7 mu-law).
inline std::string wav_header(unsigned channels, unsigned rate, unsigned bits, unsigned datasize,
                              unsigned format = 1) {
  return wavtest::wavhead(format, channels, rate, bits, datasize);
}

// A WAV file of the 16-bit samples under a header of the given fields (16 kHz mono by default).
inline std::string wav_bytes(const std::vector<int16_t>& samples, unsigned channels = 1,
                             unsigned rate = 16000, unsigned bits = 16) {
  return wav_header(channels, rate, bits, static_cast<unsigned>(2 * samples.size())) + wavtest::pcm(samples);
}

// A mono IEEE-float WAV file (format 3) of the samples, stored as 32- or 64-bit floats.
inline std::string float_wav(const std::vector<double>& samples, unsigned bits, unsigned rate = 16000) {
  return wavtest::riff(wavtest::fmtchunk(3, 1, rate, bits) +
                       wavtest::chunk("data", wavtest::ieeefloats(samples, bits)));
}

// `seconds` of a steady voice at `hz` sampled at 16 kHz: ten harmonics with falling amplitudes.
inline std::vector<int16_t> steady_voice(double seconds, double hz) {
  std::vector<int16_t> x(static_cast<size_t>(16000 * seconds));
  for (size_t i = 0; i < x.size(); ++i) {
    double v = 0;
    for (int k = 1; k <= 10; ++k)
      v += 0.15 / k * std::sin(2 * M_PI * hz * k * static_cast<double>(i) / 16000 + k);
    x[i] = static_cast<int16_t>(std::lround(v * 32768));
  }
  return x;
}

// A 16 kHz mono 16-bit WAV file of `samples` samples of a sinusoid of amplitude 0.5.
inline std::string sine_wav(unsigned samples, double hz) {
  std::string s = wav_header(1, 16000, 16, 2 * samples);
  for (unsigned i = 0; i < samples; ++i) {
    const double v = 0.5 * std::sin(2 * M_PI * hz * i / 16000.0);
    s += le_bytes(static_cast<uint16_t>(static_cast<int16_t>(std::lround(v * 32767))), 2);
  }
  return s;
}
