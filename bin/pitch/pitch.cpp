// pitch: extracts the F0 track of a stream of float samples or of a RIFF/WAVE
// file and writes one 32-bit float per frame to standard output.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "brindel/epochdrive.h"
#include "brindel/wave/audioload.h"
#include "cmdline.h"
#include "float_list.h"
#include "quorl/pitchdp.h"
#include "usage.h"

namespace {

struct Options {
  int algorithm = kDefaultAlgorithm;
  double sample_freq_khz = kDefaultSampleFreqKHz;
  int frame_shift = kDefaultFrameShift;
  double min_f0 = kDefaultMinF0;
  double max_f0 = kDefaultMaxF0;
  double voice_bias = kDefaultVoiceBias;
  double unvoiced_cost = kDefaultUnvoicedCost;
  int otype = kDefaultOutputType;
  bool unit_scale = false;  // -n: float input on the ±1 scale
  const char* infile = nullptr;
};

// A tracker with its parameter checks and the option that tunes its voicing decisions.
struct Algorithm {
  int id;
  bool (*params_ok)(double sample_freq, int frame_shift, double min_f0, double max_f0);
  double Options::*tuning;
};

bool rapt_params_ok(double sample_freq, int frame_shift, double min_f0, double max_f0) {
  float frame_step = frame_step_of(frame_shift, sample_freq);
  return tracker_params_ok(sample_freq, (float)min_f0, (float)max_f0, &frame_step);
}

const Algorithm kAlgorithms[] = {
    {0, rapt_params_ok, &Options::voice_bias},
    {1, brindel_params_ok, &Options::unvoiced_cost},
};

// Float input on the ±1 scale is multiplied by this to reach the trackers' 16-bit scale.
const float kUnitScale = 32768.0f;

void report(const char* what, const char* detail) {
  fprintf(stderr, "%s : %s%s!\n", command_name(), what, detail);
}

[[noreturn]] void fail(const char* what, const char* detail) {
  report(what, detail);
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

int parse_int(char option, const char* value, long lo = INT_MIN, long hi = INT_MAX) {
  char* end;
  errno = 0;
  const long v = strtol(value, &end, 10);
  if (end == value || *end != '\0' || errno == ERANGE || v < lo || v > hi) bad_value(option, value);
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
    if (c == 'n') {
      o.unit_scale = true;
      continue;
    }
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
        o.otype = parse_int(c, v, 0, 2);
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

// Headerless little-endian 32-bit float samples read from a stream, the first bytes of which
// (already read) are in `prefix`; the largest magnitude read is kept.
struct FloatInput {
  FILE* fp;
  const char* name;
  std::string prefix;
  float scale = 1.0f;
  float peak = 0.0f;
};

// SampleSource reader of a FloatInput.
long read_floats(void* context, float* dst, long n) {
  FloatInput* in = static_cast<FloatInput*>(context);
  unsigned char buf[4096 * sizeof(float)];
  long done = 0;
  while (done < n) {
    size_t have = in->prefix.size();
    memcpy(buf, in->prefix.data(), have);
    const size_t room = std::min(sizeof(buf), have + (size_t)(n - done) * sizeof(float));
    have += fread(buf + have, 1, room - std::min(room, have), in->fp);
    const size_t whole = std::min(have / sizeof(float), (size_t)(n - done));
    for (size_t k = 0; k < whole; k++) {
      const unsigned char* b = buf + k * sizeof(float);
      const uint32_t bits =
          (uint32_t)b[0] | (uint32_t)b[1] << 8 | (uint32_t)b[2] << 16 | (uint32_t)b[3] << 24;
      float v;
      memcpy(&v, &bits, sizeof v);
      if (!std::isfinite(v)) {
        report("Input sample is not a finite number in ", in->name);
        return -1;
      }
      in->peak = std::max(in->peak, std::fabs(v));
      dst[done++] = in->scale * v;
    }
    in->prefix.assign((const char*)buf + whole * sizeof(float), have - whole * sizeof(float));
    if (whole == 0) break;
  }
  if (done < n) {
    if (ferror(in->fp)) {
      report("Cannot read ", in->name);
      return -1;
    }
    if (!in->prefix.empty()) {
      report("Input ends inside a sample in ", in->name);
      return -1;
    }
  }
  return done;
}

// Says when float samples look like the ±1 scale the trackers do not expect.
void warn_about_scale(const FloatInput& in, bool unit_scale) {
  if (!unit_scale && in.peak > 0.0f && in.peak <= 1.0f)
    fprintf(stderr,
            "Warning: input peak %g looks like samples on the \xC2\xB1"
            "1 scale; the trackers expect the 16-bit scale (multiply by 32768).\n",
            in.peak);
}

// The samples of a RIFF/WAVE file's data chunk, read block by block.
struct WavInput {
  FileResource* fr;
  WaveIO* wave;
  const char* name;
  int32_t count;     // samples of the data chunk
  int32_t next = 0;  // the next sample to read
  float scale;
  std::vector<int16_t> block;
};

void report_wav_failure(const char* name) {
  fprintf(stderr, "\n");
  report("Cannot load the WAV file ", name);
}

// SampleSource reader of a WavInput.
long read_wav(void* context, float* dst, long n) {
  WavInput* in = static_cast<WavInput*>(context);
  const int32_t m = (int32_t)std::min<long>(n, in->count - in->next);
  if (m <= 0) return 0;
  if (!in->wave->ReadAudioData(in->next, m, &in->block, in->fr)) {
    report_wav_failure(in->name);
    return -1;
  }
  for (int32_t k = 0; k < m; k++) dst[k] = in->scale * in->block[k];
  in->next += m;
  return m;
}

// Coding of a RIFF/WAVE file from the format tag and sample width of its
// "fmt " chunk: mu-law, 16-bit or 8-bit linear PCM. Any other coding ends the
// command.
WaveCodingType wav_coding(FILE* fp, const char* name) {
  unsigned char b[26];
  if (fseek(fp, 12, SEEK_SET) != 0) fail("Cannot read ", name);
  while (fread(b, 1, 8, fp) == 8) {
    const uint32_t size = (uint32_t)b[4] | (uint32_t)b[5] << 8 | (uint32_t)b[6] << 16 | (uint32_t)b[7] << 24;
    if (memcmp(b, "fmt ", 4) != 0) {
      if (fseek(fp, (long)size + size % 2, SEEK_CUR) != 0) break;
      continue;
    }
    if (size < 16) return PCM16;  // the reader reports the short chunk
    if (fread(b, 1, 16, fp) != 16) break;
    int tag = b[0] | b[1] << 8;
    const int bits = b[14] | b[15] << 8;
    // WAVE_FORMAT_EXTENSIBLE: the coding is the first two bytes of the subformat GUID.
    if (tag == 0xFFFE && size >= 26 && fread(b + 16, 1, 10, fp) == 10) tag = b[24] | b[25] << 8;
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

// Runs the chosen tracker over a source of samples at sample_freq Hz; the epoch tracker, which
// needs the whole signal, gets it in one array of at most kEpochLongestInput samples. Returns
// the tracker's status.
int run_tracker(const Options& o, const Algorithm& algorithm, SampleSource source, double sample_freq,
                const char* name) {
  const double tuning = o.*algorithm.tuning;
  if (algorithm.id == 0)
    return rapt_source(source, sample_freq, o.frame_shift, o.min_f0, o.max_f0, tuning, o.otype);
  std::vector<float> x;
  const long block = 65536;
  for (;;) {
    const size_t at = x.size();
    x.resize(at + block);
    const long got = source.read(source.context, x.data() + at, block);
    if (got < 0) return kTrackFailed;
    x.resize(at + got);
    if (got < block) break;
    if ((long)x.size() > kEpochLongestInput) {
      fprintf(stderr, "%s : Input %s is longer than %ld samples, the most the epoch tracker (-a 1) takes!\n",
              command_name(), name, kEpochLongestInput);
      return kTrackFailed;
    }
  }
  return brindel_samples(x.data(), (long)x.size(), sample_freq, o.frame_shift, o.min_f0, o.max_f0, tuning,
                         o.otype);
}

// Checks the settings for the tracker at the input's sampling frequency, before any sample is read.
void check_settings(const Options& o, const Algorithm& algorithm, double sample_freq) {
  if (!algorithm.params_ok(sample_freq, o.frame_shift, o.min_f0, o.max_f0)) usage(1);
}

// False, after the reader's message, when the data chunk holds fewer than count samples of
// width bytes from the file position on, so that a file cut short is refused before any work.
bool data_complete(WaveIO* wave, FileResource* fr, int32_t count, int width) {
  struct stat st;
  const long at = ftell(fr->fp());
  if (at < 0 || fstat(fileno(fr->fp()), &st) != 0 || (st.st_size - at) / width >= count) return true;
  std::vector<int16_t> present;  // as much as the file holds, no more
  return wave->ReadAudioData(0, count, &present, fr);
}

// Tracks a RIFF/WAVE file (at its own rate); mu-law samples are brought from the 14-bit scale
// of the decoder to the 16-bit scale. A spooled copy is removed as soon as it is open, so that
// no way out of the program leaves it behind. Returns the tracker's status.
int track_wav(const Options& o, const Algorithm& algorithm, const char* path, const char* name,
              bool spooled) {
  FileResource fr(path, "rb");
  const bool opened = fr.Get();
  if (spooled) remove(path);
  if (!opened) fail("Cannot open ", name);
  const WaveCodingType coding = wav_coding(fr.fp(), name);
  if (fseek(fr.fp(), 0, SEEK_SET) != 0) fail("Cannot read ", name);
  WaveIO wave(coding);
  int32_t count = 0, rate = 0;
  if (!wave.ReadHeader(&fr, &count, &rate) || !data_complete(&wave, &fr, count, coding == PCM16 ? 2 : 1)) {
    report_wav_failure(name);
    exit(1);
  }
  check_settings(o, algorithm, rate);
  WavInput in{&fr, &wave, name, count, 0, coding == ULAW8 ? 4.0f : 1.0f, {}};
  return run_tracker(o, algorithm, SampleSource{read_wav, &in}, rate, name);
}

// Reads the input, a RIFF/WAVE file or float samples, and runs the tracker
// on it; returns the exit status.
int extract(const Options& o, const Algorithm& algorithm) {
  const bool named = o.infile && strcmp(o.infile, "-") != 0;
  FILE* fp = stdin;
  const char* name = named ? o.infile : "standard input";
  if (named && !(fp = fopen(o.infile, "rb"))) fail("Cannot open ", o.infile);
  char head[4];
  const std::string prefix(head, fread(head, 1, sizeof head, fp));
  int status;
  if (prefix == "RIFF") {
    // A named file is read in place; standard input goes through a copy.
    const std::string path = named ? o.infile : spool(fp, prefix);
    if (fp != stdin) fclose(fp);
    status = track_wav(o, algorithm, path.c_str(), name, !named);
  } else {
    const double sample_freq = o.sample_freq_khz * 1000.0;
    check_settings(o, algorithm, sample_freq);
    FloatInput in{fp, name, prefix};
    if (o.unit_scale) in.scale = kUnitScale;
    status = run_tracker(o, algorithm, SampleSource{read_floats, &in}, sample_freq, name);
    if (fp != stdin) fclose(fp);
    warn_about_scale(in, o.unit_scale);
  }
  if (status == kTrackBadParameters) usage(1);
  if (fflush(stdout) != 0 || ferror(stdout)) fail("Cannot write the output", "");
  return status == kTrackDone ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  set_command_name(argv[0]);
  standard_options(argc, argv, "pitch", [] { usage(0); });
  try {
    const Options o = parse_options(argc, argv);
    return extract(o, find_tracker(o.algorithm));
  } catch (const std::bad_alloc&) {
    fail("Not enough memory for this input and these options", "");
  } catch (const std::exception& e) {
    fail("Cannot complete the track: ", e.what());
  }
}
