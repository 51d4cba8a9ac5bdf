// Entry functions shared by the libFuzzer targets and the corpus replay test, and the
// invariant check they report violations through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Receives the name of the target and the invariant that did not hold.
using FuzzFailureHandler = void (*)(const char* target, const char* what);

// The default handler prints the violation and aborts, which libFuzzer records as a crash.
void set_fuzz_failure_handler(FuzzFailureHandler handler);
void fuzz_check(bool holds, const char* target, const char* what);

// Each entry takes one input of any bytes, exercises one reader and checks what it returns
// against an independent reading of the same bytes. They always return 0.
int fuzz_wavread(const uint8_t* data, size_t size);
int fuzz_soundread(const uint8_t* data, size_t size);
int fuzz_paramfiles(const uint8_t* data, size_t size);
int fuzz_paramread(const uint8_t* data, size_t size);
int fuzz_paramrecord(const uint8_t* data, size_t size);
int fuzz_cmdline(const uint8_t* data, size_t size);
int fuzz_graph(const uint8_t* data, size_t size);
int fuzz_plot(const uint8_t* data, size_t size);
int fuzz_riff(const uint8_t* data, size_t size);

// A file holding given bytes, in memory (memfd) and reachable by path; closed on destruction.
class ScratchFile {
 public:
  ScratchFile(const uint8_t* data, size_t size);
  ~ScratchFile();
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;
  const char* path() const { return path_.c_str(); }

 private:
  int fd_;
  std::string path_;
};

// Splits an input into a count of NUL- or newline-separated, NUL-terminated words.
std::string words_of(const uint8_t* data, size_t size, size_t* count);
