// lagcorr: autocorrelation sequence of every frame of a sample stream.

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "autocorr.h"
#include "cmdline.h"
#include "streamio.h"

namespace {

constexpr int kOrder = 25;
constexpr int kFrameLength = 256;
// Largest frame length and order: the frame and its lags are held in one array of doubles.
constexpr int64_t kMaxSize = 1 << 24;

void usage(const char* cmnd) {
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
}

struct Options {
  int order = kOrder;
  int frame_length = kFrameLength;
  const char* infile = nullptr;
};

// The value of a size option, a whole number in [lo, kMaxSize]: the rest of its argument
// (-l512), else the next argument (-l 512); `below` names a value under lo.
int size_value(OptionValues* v, int64_t lo, const char* below) {
  const char* text = *v->attached() != '\0' ? v->attached() : v->text();
  return static_cast<int>(v->integer(text, lo, kMaxSize, below));
}

CommandEnd parse_options(const Command& command, int argc, char** argv, Options* options) {
  Options& o = *options;
  const auto option = [&o](OptionValues* v) {
    switch (v->letter()) {
      case 'm':
        o.order = size_value(v, 0, "Order must not be negative!");
        return true;
      case 'l':
        o.frame_length = size_value(v, 1, "Frame length must be at least 1!");
        return true;
      default:
        return false;
    }
  };
  return read_arguments(command, argc, argv, option, [&o](const char* arg) {
    o.infile = arg;
    return true;
  });
}

}  // namespace

int main(int argc, char** argv) {
  Command command;
  if (const CommandEnd end = start_command(argc, argv, "lagcorr", usage, &command)) return *end;
  Options o;
  if (const CommandEnd end = parse_options(command, argc, argv, &o)) return *end;
  FILE* in = open_float_input(command.name, o.infile);
  if (in == nullptr) return 1;
  const int l = o.frame_length, m = o.order;
  double* frame = double_array(static_cast<long>(l) + m + 1);
  if (frame == nullptr) return 3;
  double* r = frame + l;
  while (freadf(frame, sizeof(double), l, in) == l) {
    velk::lagcorr(frame, l, r, m);
    if (fwritef(r, sizeof(double), m + 1, stdout) != m + 1) break;
  }
  std::free(frame);
  return finish_stream(command.name, in);
}
