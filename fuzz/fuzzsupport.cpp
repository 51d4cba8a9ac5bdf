#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "fuzzcheck.h"

namespace {

void abort_on_failure(const char* target, const char* what) {
  std::fprintf(stderr, "%s: invariant violated: %s\n", target, what);
  std::abort();
}

FuzzFailureHandler failure_handler = abort_on_failure;

}  // namespace

void set_fuzz_failure_handler(FuzzFailureHandler handler) {
  failure_handler = handler != nullptr ? handler : abort_on_failure;
}

void fuzz_check(bool holds, const char* target, const char* what) {
  if (!holds) failure_handler(target, what);
}

ScratchFile::ScratchFile(const uint8_t* data, size_t size) : fd_(memfd_create("fuzzinput", 0)) {
  if (fd_ < 0) {
    std::perror("memfd_create");
    std::abort();
  }
  for (size_t done = 0; done < size;) {
    const ssize_t n = write(fd_, data + done, size - done);
    if (n <= 0) {
      std::perror("write");
      std::abort();
    }
    done += static_cast<size_t>(n);
  }
  path_ = "/proc/self/fd/" + std::to_string(fd_);
}

ScratchFile::~ScratchFile() {
  close(fd_);
}

std::string words_of(const uint8_t* data, size_t size, size_t* count) {
  std::string text(reinterpret_cast<const char*>(data), size);
  *count = size > 0 ? 1 : 0;
  for (char& c : text) {
    if (c == '\n') c = '\0';
    if (c == '\0') ++*count;
  }
  // A trailing separator closes the last word instead of opening an empty one.
  if (!text.empty() && text.back() == '\0') --*count;
  text.push_back('\0');
  return text;
}
