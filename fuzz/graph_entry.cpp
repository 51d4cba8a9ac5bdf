// The graph-description interpreter on any text, its plotter commands sent to /dev/null.
// Nothing is compared: the checks are the sanitizers' and that every input ends.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "fuzzcheck.h"
#include "graphdraw.h"
#include "graphutil.h"
#include "plcoord.h"

namespace {

// Standard output pointed at /dev/null for the lifetime of the object.
class QuietStdout {
 public:
  QuietStdout() : saved_(dup(1)) {
    std::fflush(stdout);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    close(null);
  }
  ~QuietStdout() {
    std::fflush(stdout);
    dup2(saved_, 1);
    close(saved_);
  }
  QuietStdout(const QuietStdout&) = delete;
  QuietStdout& operator=(const QuietStdout&) = delete;

 private:
  int saved_;
};

// The graph command's defaults, so that one input does not inherit the frame of another.
void reset_settings() {
  _org = {40.0, 180.0};
  xl = 120.0, yl = 80.0, x00 = 0.0, y00 = 0.0, h = 2.5, w = 3.4, mh = 1.6, mw = 1.6, fct = 1.0;
  wf = 1.0, hf = 1.0, xclip0 = 0.0, yclip0 = 0.0, xclip1 = xl, yclip1 = yl;
  ltype = 0, type = 0, is_t = 0;
}

}  // namespace

int fuzz_graph(const uint8_t* data, size_t size) {
  FILE* fp = fmemopen(const_cast<uint8_t*>(data), size, "r");
  if (fp == nullptr) return 0;  // fmemopen refuses an empty buffer
  reset_settings();
  {
    QuietStdout quiet;
    plstart();
    graph(fp);
  }
  std::fclose(fp);
  return 0;
}
