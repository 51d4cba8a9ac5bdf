// The graph-description interpreter on any text, its plotter commands sent to /dev/null.
// Nothing is compared: the checks are the sanitizers' and that every input ends.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "fuzzcheck.h"
#include "graphdraw.h"
#include "plcoord.h"

using namespace velk;

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

}  // namespace

int fuzz_graph(const uint8_t* data, size_t size) {
  FILE* fp = fmemopen(const_cast<uint8_t*>(data), size, "r");
  if (fp == nullptr) return 0;  // fmemopen refuses an empty buffer
  plotcontext pc;  // the graph command's defaults, so that one input does not inherit another's frame
  pc.org = {40.0, 180.0};
  {
    QuietStdout quiet;
    plstart(&pc);
    graph(&pc, fp);
  }
  std::fclose(fp);
  return 0;
}
