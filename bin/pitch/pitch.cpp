// pitch: extracts the F0 track of a stream of float samples and writes one
// 32-bit float per frame to standard output.
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include <sys/stat.h>

#include "float_list.h"
#include "quorl/pitchdp.h"
#include "usage.h"

namespace {

// A tracker entry: sample list, its length, sampling frequency (Hz), frame
// shift (samples), F0 range (Hz), the tracker's bias or threshold and the
// output type; returns 0, or non-zero when the track could not be completed.
typedef int (*Tracker)(float_list*, int, double, int, double, double, double, int);

struct Algorithm {
  int id;
  Tracker run;
};

const Algorithm kAlgorithms[] = {
    {0, rapt},
};

struct Options {
  int algorithm = kDefaultAlgorithm;
  double sample_freq_khz = kDefaultSampleFreqKHz;
  int frame_shift = kDefaultFrameShift;
  double min_f0 = kDefaultMinF0;
  double max_f0 = kDefaultMaxF0;
  double voice_bias = kDefaultVoiceBias;
  int otype = kDefaultOutputType;
  const char* infile = nullptr;
};

[[noreturn]] void fail(const char* what, const char* detail) {
  fprintf(stderr, "%s : %s%s!\n", command_name(), what, detail);
  exit(1);
}

[[noreturn]] void bad_value(char option, const char* value) {
  fprintf(stderr, "%s : Invalid value '%s' for option '-%c'!\n", command_name(), value, option);
  usage(1);
}

double parse_double(char option, const char* value) {
  char* end;
  errno = 0;
  const double v = strtod(value, &end);
  if (end == value || *end != '\0' || errno == ERANGE || !std::isfinite(v)) bad_value(option, value);
  return v;
}

int parse_int(char option, const char* value) {
  char* end;
  errno = 0;
  const long v = strtol(value, &end, 10);
  if (end == value || *end != '\0' || errno == ERANGE || v < INT_MIN || v > INT_MAX)
    bad_value(option, value);
  return (int)v;
}

Options parse_options(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; i++) {
    const char* arg = argv[i];
    if (arg[0] != '-' || arg[1] == '\0') {
      o.infile = arg;
      continue;
    }
    const char c = arg[1];
    if (c == 'h') usage(0);
    if (!strchr("aspLHbo", c)) {
      fprintf(stderr, "%s : Invalid option '%c'!\n", command_name(), c);
      usage(1);
    }
    if (i + 1 >= argc) usage(1);
    const char* v = argv[++i];
    switch (c) {
      case 'a': o.algorithm = parse_int(c, v); break;
      case 's': o.sample_freq_khz = parse_double(c, v); break;
      case 'p': o.frame_shift = parse_int(c, v); break;
      case 'L': o.min_f0 = parse_double(c, v); break;
      case 'H': o.max_f0 = parse_double(c, v); break;
      case 'b': o.voice_bias = parse_double(c, v); break;
      case 'o': o.otype = parse_int(c, v); break;
    }
  }
  return o;
}

Tracker find_tracker(int id) {
  for (const Algorithm& a : kAlgorithms)
    if (a.id == id) return a.run;
  fprintf(stderr, "%s : Unknown algorithm %d!\n", command_name(), id);
  usage(1);
}

// Reads headerless little-endian 32-bit float samples to the end of the
// stream straight into list nodes, then links them; nodes[0] is the head.
std::vector<float_list> read_sample_list(FILE* fp, const char* name) {
  std::vector<float_list> nodes;
  struct stat st;
  if (fstat(fileno(fp), &st) == 0 && S_ISREG(st.st_mode)) nodes.reserve(st.st_size / sizeof(float));
  unsigned char buf[4096 * sizeof(float)];
  size_t have = 0;
  for (;;) {
    const size_t got = fread(buf + have, 1, sizeof(buf) - have, fp);
    have += got;
    const size_t whole = have / sizeof(float);
    for (size_t k = 0; k < whole; k++) {
      const unsigned char* b = buf + k * sizeof(float);
      const uint32_t bits = (uint32_t)b[0] | (uint32_t)b[1] << 8 | (uint32_t)b[2] << 16 |
                            (uint32_t)b[3] << 24;
      float v;
      memcpy(&v, &bits, sizeof v);
      if (!std::isfinite(v)) fail("Input sample is not a finite number in ", name);
      nodes.push_back(float_list{v, nullptr});
    }
    memmove(buf, buf + whole * sizeof(float), have - whole * sizeof(float));
    have -= whole * sizeof(float);
    if (got == 0) break;
  }
  if (ferror(fp)) fail("Cannot read ", name);
  if (have != 0) fail("Input ends inside a sample in ", name);
  for (size_t k = 0; k + 1 < nodes.size(); k++) nodes[k].next = &nodes[k + 1];
  return nodes;
}

// Reads the input and runs the tracker on it; returns the exit status.
int extract(const Options& o, Tracker track) {
  FILE* fp = stdin;
  const char* name = o.infile ? o.infile : "standard input";
  if (o.infile && !(fp = fopen(o.infile, "rb"))) fail("Cannot open ", o.infile);
  std::vector<float_list> nodes = read_sample_list(fp, name);
  if (fp != stdin) fclose(fp);
  if (nodes.size() > (size_t)INT_MAX) fail("Input too long: ", name);
  const int length = (int)nodes.size();

  const int status = track(nodes.empty() ? nullptr : nodes.data(), length,
                           o.sample_freq_khz * 1000.0, o.frame_shift, o.min_f0, o.max_f0,
                           o.voice_bias, o.otype);
  if (fflush(stdout) != 0 || ferror(stdout)) fail("Cannot write the output", "");
  return status ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  set_command_name(argv[0]);
  const Options o = parse_options(argc, argv);
  const Tracker track = find_tracker(o.algorithm);
  try {
    return extract(o, track);
  } catch (const std::bad_alloc&) {
    fail("Not enough memory for this input and these options", "");
  }
}
