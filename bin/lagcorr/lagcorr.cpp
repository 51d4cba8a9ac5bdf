// lagcorr: autocorrelation sequence of every frame of a sample stream.

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "autocorr.h"
#include "cmdline.h"
#include "streamio.h"

namespace {

const char* cmnd = "lagcorr";

constexpr int kOrder = 25;
constexpr int kFrameLength = 256;
// Largest frame length and order: the frame and its lags are held in one array of doubles.
constexpr int64_t kMaxSize = 1 << 24;

[[noreturn]] void usage(int status) {
  print_usage_head(stderr, cmnd, "obtain autocorrelation sequence", "[ options ] [ infile ] > stdout");
  std::fprintf(stderr, "  options:\n");
  std::fprintf(stderr, "       -m m  : order of sequence  [%d]\n", kOrder);
  std::fprintf(stderr, "       -l l  : frame length       [%d]\n", kFrameLength);
  std::fprintf(stderr, "       -h    : print this message\n");
  std::fprintf(stderr, "  infile:\n");
  std::fprintf(stderr, "       data sequence (%s)      [stdin]\n", "float");
  std::fprintf(stderr, "  stdout:\n");
  std::fprintf(stderr, "       autocorrelation sequence (%s)\n", "float");
  print_version_footer(stderr);
  std::exit(status);
}

struct Options {
  int order = kOrder;
  int frame_length = kFrameLength;
  const char* infile = nullptr;
};

// The value of an option, a whole number in [lo, kMaxSize]: the rest of its argument (-l512),
// else the next argument (-l 512). Anything else ends the command with status 1, `below`
// naming a value under lo.
int size_value(int argc, char** argv, int* i, int64_t lo, const char* below) {
  const char option = argv[*i][1];
  const char* attached = argv[*i] + 2;
  const char* text = *attached != '\0' ? attached : option_argument(argc, argv, i, usage);
  int64_t value;
  if (!integer_option(cmnd, option, text, lo, kMaxSize, below, &value)) std::exit(1);
  return static_cast<int>(value);
}

Options parse_options(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; i++) {
    const char* arg = argv[i];
    if (arg[0] != '-') {
      o.infile = arg;
      continue;
    }
    switch (arg[1]) {
      case 'm':
        o.order = size_value(argc, argv, &i, 0, "Order must not be negative!");
        break;
      case 'l':
        o.frame_length = size_value(argc, argv, &i, 1, "Frame length must be at least 1!");
        break;
      case 'h':
        usage(0);
      default:
        invalid_option(cmnd, arg[1], usage);
    }
  }
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  cmnd = command_name(argv[0]);
  const Options o = parse_options(argc, argv);
  FILE* in = o.infile != nullptr ? getfp(o.infile, "rb") : stdin;
  if (in == nullptr) return 1;
  const int l = o.frame_length, m = o.order;
  double* frame = dgetmem(static_cast<long>(l) + m + 1);
  if (frame == nullptr) return 3;
  double* r = frame + l;
  while (freadf(frame, sizeof(double), l, in) == l) {
    lagcorr(frame, l, r, m);
    fwritef(r, sizeof(double), m + 1, stdout);
  }
  std::free(frame);
  if (in != stdin) std::fclose(in);
  return 0;
}
