// pitch: extracts the F0 track of a stream of float samples or of a RIFF/WAVE
// file and writes one 32-bit float per frame to standard output.
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "brindel/epochdrive.h"
#include "brindel/wave/audioload.h"
#include "float_list.h"
#include "quorl/pitchdp.h"
#include "usage.h"

namespace {

// A tracker entry: sample list, its length, sampling frequency (Hz), frame
// shift (samples), F0 range (Hz), the tracker's bias or threshold, the output
// type and the output stream; returns 0, or non-zero when the track could not
// be completed.
typedef int (*Tracker)(float_list*, int, double, int, double, double, double, int, FILE*);

struct Options {
  int algorithm = kDefaultAlgorithm;
  double sample_freq_khz = kDefaultSampleFreqKHz;
  int frame_shift = kDefaultFrameShift;
  double min_f0 = kDefaultMinF0;
  double max_f0 = kDefaultMaxF0;
  double voice_bias = kDefaultVoiceBias;
  double unvoiced_cost = kDefaultUnvoicedCost;
  int otype = kDefaultOutputType;
  const char* infile = nullptr;
};

// A tracker with the option that tunes its voicing decisions.
struct Algorithm {
  int id;
  Tracker run;
  double Options::*tuning;
};

const Algorithm kAlgorithms[] = {
    {0, rapt, &Options::voice_bias},
    {1, brindel, &Options::unvoiced_cost},
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
  if (end == value || *end != '\0' || errno == ERANGE || v < INT_MIN || v > INT_MAX) bad_value(option, value);
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
    if (!strchr("aspLHbto", c)) {
      fprintf(stderr, "%s : Invalid option '%c'!\n", command_name(), c);
      usage(1);
    }
    if (i + 1 >= argc) usage(1);
    const char* v = argv[++i];
    switch (c) {
      case 'a':
        o.algorithm = parse_int(c, v);
        break;
      case 's':
        o.sample_freq_khz = parse_double(c, v);
        break;
      case 'p':
        o.frame_shift = parse_int(c, v);
        break;
      case 'L':
        o.min_f0 = parse_double(c, v);
        break;
      case 'H':
        o.max_f0 = parse_double(c, v);
        break;
      case 'b':
        o.voice_bias = parse_double(c, v);
        break;
      case 't':
        o.unvoiced_cost = parse_double(c, v);
        break;
      case 'o':
        o.otype = parse_int(c, v);
        break;
    }
  }
  return o;
}

const Algorithm& find_tracker(int id) {
  for (const Algorithm& a : kAlgorithms)
    if (a.id == id) return a;
  fprintf(stderr, "%s : Unknown algorithm %d!\n", command_name(), id);
  usage(1);
}

void link_nodes(std::vector<float_list>& nodes) {
  for (size_t k = 0; k + 1 < nodes.size(); k++) nodes[k].next = &nodes[k + 1];
}

// Reads headerless little-endian 32-bit float samples to the end of the
// stream straight into list nodes, then links them; nodes[0] is the head.
// The stream's first bytes, already read, are in prefix.
std::vector<float_list> read_sample_list(FILE* fp, const char* name, const std::string& prefix) {
  std::vector<float_list> nodes;
  struct stat st;
  if (fstat(fileno(fp), &st) == 0 && S_ISREG(st.st_mode)) nodes.reserve(st.st_size / sizeof(float));
  unsigned char buf[4096 * sizeof(float)];
  memcpy(buf, prefix.data(), prefix.size());
  size_t have = prefix.size();
  for (;;) {
    const size_t got = fread(buf + have, 1, sizeof(buf) - have, fp);
    have += got;
    const size_t whole = have / sizeof(float);
    for (size_t k = 0; k < whole; k++) {
      const unsigned char* b = buf + k * sizeof(float);
      const uint32_t bits =
          (uint32_t)b[0] | (uint32_t)b[1] << 8 | (uint32_t)b[2] << 16 | (uint32_t)b[3] << 24;
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
  link_nodes(nodes);
  return nodes;
}

// Coding of a RIFF/WAVE file from the format tag and sample width of its
// "fmt " chunk: mu-law, 16-bit or 8-bit linear PCM. Any other coding ends the
// command.
WaveCodingType wav_coding(FILE* fp, const char* name) {
  unsigned char b[16];
  if (fseek(fp, 12, SEEK_SET) != 0) fail("Cannot read ", name);
  while (fread(b, 1, 8, fp) == 8) {
    const uint32_t size = (uint32_t)b[4] | (uint32_t)b[5] << 8 | (uint32_t)b[6] << 16 | (uint32_t)b[7] << 24;
    if (memcmp(b, "fmt ", 4) != 0) {
      if (fseek(fp, (long)size, SEEK_CUR) != 0) break;
      continue;
    }
    if (size < 16) return PCM16;  // the reader reports the short chunk
    if (fread(b, 1, 16, fp) != 16) break;
    const int tag = b[0] | b[1] << 8, bits = b[14] | b[15] << 8;
    if (tag == 7 && bits == 8) return ULAW8;
    if (tag == 1 && bits == 16) return PCM16;
    if (tag == 1 && bits == 8) return PCM8;
    fail("Only 16-bit linear or 8-bit mu-law WAV data can be read from ", name);
  }
  fail("No format chunk in the WAV file ", name);
}

// Copies the rest of a stream after its first bytes into a temporary file
// and returns the file's name, so that the WAV reader can seek in it.
std::string spool(FILE* in, const std::string& prefix) {
  const char* dir = getenv("TMPDIR");
  std::string path = std::string(dir && *dir ? dir : "/tmp") + "/pitch_input_XXXXXX";
  const int fd = mkstemp(&path[0]);
  if (fd < 0) fail("Cannot create a temporary file for ", "standard input");
  FILE* out = fdopen(fd, "wb");
  bool ok = out && fwrite(prefix.data(), 1, prefix.size(), out) == prefix.size();
  char buf[65536];
  size_t got;
  while (ok && (got = fread(buf, 1, sizeof buf, in)) > 0) ok = fwrite(buf, 1, got, out) == got;
  ok = ok && !ferror(in);
  if (out ? fclose(out) != 0 : close(fd) != 0) ok = false;
  if (!ok) {
    remove(path.c_str());
    fail("Cannot copy ", "standard input");
  }
  return path;
}

// Loads a RIFF/WAVE file into list nodes; mu-law samples are brought from the
// 14-bit scale of the decoder to the 16-bit scale. Returns the sampling rate.
double read_wav_list(const char* path, const char* name, std::vector<float_list>* nodes) {
  FileResource fr(path, "rb");
  if (!fr.Get()) fail("Cannot open ", name);
  const WaveCodingType coding = wav_coding(fr.fp(), name);
  if (fseek(fr.fp(), 0, SEEK_SET) != 0) fail("Cannot read ", name);
  WaveIO wave(coding);
  std::vector<int16_t> samples;
  int32_t rate = 0;
  if (!wave.Load(&fr, &samples, &rate)) {
    fprintf(stderr, "\n");
    fail("Cannot load the WAV file ", name);
  }
  const float scale = coding == ULAW8 ? 4.0f : 1.0f;
  nodes->resize(samples.size());
  for (size_t k = 0; k < samples.size(); k++) (*nodes)[k] = float_list{scale * samples[k], nullptr};
  link_nodes(*nodes);
  return rate;
}

// Reads the input, a RIFF/WAVE file or float samples, and runs the tracker
// on it; returns the exit status.
int extract(const Options& o, const Algorithm& algorithm) {
  FILE* fp = stdin;
  const char* name = o.infile ? o.infile : "standard input";
  if (o.infile && !(fp = fopen(o.infile, "rb"))) fail("Cannot open ", o.infile);
  char head[4];
  const std::string prefix(head, fread(head, 1, sizeof head, fp));
  std::vector<float_list> nodes;
  double sample_freq = o.sample_freq_khz * 1000.0;
  if (prefix == "RIFF") {
    // A named file is read in place; standard input goes through a copy.
    const std::string path = o.infile ? o.infile : spool(fp, prefix);
    if (fp != stdin) fclose(fp);
    sample_freq = read_wav_list(path.c_str(), name, &nodes);
    if (!o.infile) remove(path.c_str());
  } else {
    nodes = read_sample_list(fp, name, prefix);
    if (fp != stdin) fclose(fp);
  }
  if (nodes.size() > (size_t)INT_MAX) fail("Input too long: ", name);
  const int length = (int)nodes.size();

  const int status = algorithm.run(nodes.empty() ? nullptr : nodes.data(), length, sample_freq, o.frame_shift,
                                   o.min_f0, o.max_f0, o.*algorithm.tuning, o.otype, stdout);
  if (fflush(stdout) != 0 || ferror(stdout)) fail("Cannot write the output", "");
  return status ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  set_command_name(argv[0]);
  const Options o = parse_options(argc, argv);
  const Algorithm& algorithm = find_tracker(o.algorithm);
  // The epoch tracker needs at least one sample a frame to resample its track.
  if (algorithm.run == brindel && o.frame_shift < 1) bad_value('p', std::to_string(o.frame_shift).c_str());
  try {
    return extract(o, algorithm);
  } catch (const std::bad_alloc&) {
    fail("Not enough memory for this input and these options", "");
  }
}
