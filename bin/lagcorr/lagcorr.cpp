// lagcorr: autocorrelation sequence of every frame of a sample stream.

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "autocorr.h"
#include "cmdline.h"
#include "streamio.h"

using namespace velk;

namespace {

constexpr int kOrder = 25;
constexpr int kFrameLength = 256;
// Largest frame length and order: the frame and its lags are held in one array of doubles.
constexpr int64_t kMaxSize = 1 << 24;

void usage(const char* cmnd) {
  printusagehead(stderr, cmnd, "obtain autocorrelation sequence", "[ options ] [ infile ] > stdout");
  std::fprintf(stderr, "  options:\n");
  std::fprintf(stderr, "       -m m  : order of sequence  [%d]\n", kOrder);
  std::fprintf(stderr, "       -l l  : frame length       [%d]\n", kFrameLength);
  std::fprintf(stderr, "       -h    : print this message\n");
  std::fprintf(stderr, "  infile:\n");
  std::fprintf(stderr, "       data sequence (%s)      [stdin]\n", "float");
  std::fprintf(stderr, "  stdout:\n");
  std::fprintf(stderr, "       autocorrelation sequence (%s)\n", "float");
  printversionfooter(stderr);
}

struct Options {
  int order = kOrder;
  int frame_length = kFrameLength;
  const char* infile = nullptr;
};

// The syntax of the command: its options into *o, its operand the input file. The sizes are
// whole numbers up to kMaxSize, their values joined to the option (-l512) or the next argument.
commandsyntax syntax(const char* cmnd, Options* o) {
  commandsyntax x{"lagcorr", {cmnd, usage}};
  x.options = {
      helpoption("h"),
      joined(integeroption("m", &o->order, 0, kMaxSize, "Order must not be negative!")),
      joined(integeroption("l", &o->frame_length, 1, kMaxSize, "Frame length must be at least 1!")),
  };
  x.operand = [o](const char* arg) {
    o->infile = arg;
    return true;
  };
  return x;
}

}  // namespace

int main(int argc, char** argv) {
  const char* cmnd = commandname(argv[0]);
  Options o;
  if (const commandend end = parsecommandline(argc, argv, syntax(cmnd, &o))) return *end;
  FILE* in = openfloatinput(cmnd, o.infile);
  if (in == nullptr) return 1;
  const int l = o.frame_length, m = o.order;
  double* frame = doublearray(static_cast<long>(l) + m + 1);
  if (frame == nullptr) return 3;
  double* r = frame + l;
  while (freadf(frame, sizeof(double), l, in) == l) {
    velk::lagcorr(frame, l, r, m);
    if (fwritef(r, sizeof(double), m + 1, stdout) != m + 1) break;
  }
  std::free(frame);
  return finishstream(cmnd, in);
}
