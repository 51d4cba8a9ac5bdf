// biquad: filters a sample stream through a cascade of second-order sections given by pole
// and zero pairs.

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>

#include "biquadfilter.h"
#include "cmdline.h"
#include "numeric.h"
#include "streamio.h"

using namespace velk;

namespace {

constexpr double kSamplingKhz = 10.0;
constexpr int kMaxPairs = 2048;
// Sampling frequencies (kHz) outside this range make the section coefficients overflow.
constexpr double kMinSamplingKhz = 0.001;
constexpr double kMaxSamplingKhz = 1e6;
constexpr double kLargest = std::numeric_limits<double>::max();

void usage(const char* cmnd) {
  printusagehead(stderr, cmnd, "2nd order standard form digital filter", "[ options ] [ infile ] > stdout ");
  std::fprintf(stderr, "  options:\n");
  std::fprintf(stderr, "       -s s   : sampling frequency (kHz)       [%.1f]\n", kSamplingKhz);
  std::fprintf(stderr, "       -p f b : center frequency f(Hz)\n");
  std::fprintf(stderr, "                 and band width b(Hz) of pole  [N/A]\n");
  std::fprintf(stderr, "       -z f b : center frequency f(Hz)\n");
  std::fprintf(stderr, "                 and band width b(Hz) of zero  [N/A]\n");
  std::fprintf(stderr, "       -h     : print this message\n");
  std::fprintf(stderr, "  infile:\n");
  std::fprintf(stderr, "       filter input (%s)                    [stdin]\n", "float");
  std::fprintf(stderr, "  stdout:\n");
  std::fprintf(stderr, "       filter output (%s)\n", "float");
  std::fprintf(stderr, "  note:\n");
  std::fprintf(stderr, "       -p and -z option can be specified repeatedly.\n");
  printversionfooter(stderr);
}

// Centre frequencies and bandwidths (Hz) of the pole or the zero pairs, in command-line order.
struct Pairs {
  double freq[kMaxPairs];
  double band[kMaxPairs];
  int count = 0;
};

struct Options {
  double fs = kSamplingKhz;  // kHz while parsing
  const char* fs_text = nullptr;
  Pairs poles, zeros;
  const char* infile = nullptr;
};

// The centre frequency and the bandwidth of a pair: the option's next two values.
void add_pair(const char* cmnd, Pairs* pairs, const char* kind, optionvalues* v) {
  if (pairs->count == kMaxPairs) {
    std::fprintf(stderr, "%s : Too many %s pairs, at most %d can be given!\n", cmnd, kind, kMaxPairs);
    v->refuse();
    return;
  }
  pairs->freq[pairs->count] = v->nextnumber(-kLargest, kLargest);
  pairs->band[pairs->count] = v->nextnumber(0.0, kLargest, "Bandwidth must not be negative!");
  pairs->count++;
}

// The syntax of the command: its options into *o, its operand the input file.
commandsyntax syntax(const char* cmnd, Options* o) {
  commandsyntax x{"biquad", {cmnd, usage}};
  x.options = {
      helpoption("h"),
      // The rate's range is checked once all options are read, after its sign.
      customoption("s|f",
                   [o](optionvalues* v) {
                     o->fs_text = v->text();
                     o->fs = v->number(o->fs_text, -kLargest, kLargest);
                   }),
      customoption("p", [o, cmnd](optionvalues* v) { add_pair(cmnd, &o->poles, "pole", v); }),
      customoption("z", [o, cmnd](optionvalues* v) { add_pair(cmnd, &o->zeros, "zero", v); }),
  };
  x.operand = [o](const char* arg) {
    o->infile = arg;
    return true;
  };
  return x;
}

// The checks of the sampling frequency once every option is read.
bool check_rate(const char* cmnd, Options* o) {
  if (!(o->fs > 0.0)) {
    std::fprintf(stderr, "%s : Sampling frequency must be positive!\n", cmnd);
    return false;
  }
  return o->fs_text == nullptr ||
         numbervalue(cmnd, 's', o->fs_text, kMinSamplingKhz, kMaxSamplingKhz, nullptr, &o->fs);
}

// The state of every section: a ring of three doubles and the slot of its newest value.
struct Sections {
  double d[kMaxPairs][3];
  int pos[kMaxPairs];
};

void filter_stream(const Options& o, Sections* s, FILE* in) {
  const double fs = o.fs * 1000.0;
  const int sections = o.poles.count > o.zeros.count ? o.poles.count : o.zeros.count;
  padz(s->d, sizeof(s->d[0]), sections);
  padz(s->pos, sizeof(s->pos[0]), sections);
  double x;
  while (freadf(&x, sizeof(double), 1, in) == 1) {
    for (int i = 0; i < sections; i++) {
      const bool pole = i < o.poles.count;
      const bool zero = i < o.zeros.count;
      x = velk::biquad(pole, zero, s->d[i], &s->pos[i], x, fs, pole ? o.poles.freq[i] : 0.0,
                       pole ? o.poles.band[i] : 0.0, zero ? o.zeros.freq[i] : 0.0,
                       zero ? o.zeros.band[i] : 0.0);
    }
    if (fwritef(&x, sizeof(double), 1, stdout) != 1) return;  // reported by the caller
  }
}

}  // namespace

int main(int argc, char** argv) {
  const char* cmnd = commandname(argv[0]);
  // Tables of 2048 pairs and sections, kept off the stack.
  const auto o = std::make_unique<Options>();
  const auto s = std::make_unique<Sections>();
  if (const commandend end = parsecommandline(argc, argv, syntax(cmnd, o.get()))) return *end;
  if (!check_rate(cmnd, o.get())) return 1;
  FILE* in = openfloatinput(cmnd, o->infile);
  if (in == nullptr) return 1;
  filter_stream(*o, s.get(), in);
  return finishstream(cmnd, in);
}
