// pitch: extracts the F0 track of a stream of float samples or of a sound file (read by the
// vocoder's sound reader at the file's own rate) and writes one 32-bit float per frame to
// standard output.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "epochdrive.h"
#include "cmdline.h"
#include "floatlist.h"
#include "pitchdp.h"
#include "soundfile.h"
#include "usage.h"

using namespace velk;

namespace {

// The usage text, then the end of the process with status.
[[noreturn]] void usage(int status) {
  printusage();
  exit(status);
}

struct pitchoptions {
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

// A tracker with its parameter checks (0, or -1 with the messages in the report) and the
// option that tunes its voicing decisions.
struct trackerchoice {
  int id;
  int (*checkparams)(double sample_freq, int frame_shift, double min_f0, double max_f0, trackreport* report);
  double pitchoptions::*tuning;
};

int checkraptparams(double sample_freq, int frame_shift, double min_f0, double max_f0, trackreport* report) {
  float frame_step = framestepof(frame_shift, sample_freq);
  return checktrackerparams(sample_freq, (float)min_f0, (float)max_f0, &frame_step, report);
}

const trackerchoice kAlgorithms[] = {
    {0, checkraptparams, &pitchoptions::voice_bias},
    {1, checkbrindelparams, &pitchoptions::unvoiced_cost},
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

// strtod's number of the whole text, finite and not out of its range; false when it is not.
bool readnumber(const char* text, double* value) {
  char* end;
  errno = 0;
  const double v = strtod(text, &end);
  if (end == text || *end != '\0' || errno == ERANGE || !std::isfinite(v)) return false;
  *value = v;
  return true;
}

// strtol's integer of the whole text in [lo, hi]; false when it is not.
bool readinteger(const char* text, long lo, long hi, int* value) {
  char* end;
  errno = 0;
  const long v = strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno == ERANGE || v < lo || v > hi) return false;
  *value = (int)v;
  return true;
}

// An option of pitch whose value `read` takes; a value it refuses is named in one message, then
// the usage text ends the command.
template <class Read>
commandoption pitchoption(const char* letter, Read read) {
  return customoption(letter, [read](optionvalues* v) {
    const char* text = v->text();
    if (v->ended() || read(text)) return;
    fprintf(stderr, "%s : Invalid value '%s' for option '-%c'!\n", command_name(), text, v->letter());
    v->endwithusage(1);
  });
}

commandoption numberof(const char* letter, double* to) {
  return pitchoption(letter, [to](const char* text) { return readnumber(text, to); });
}

commandoption integerof(const char* letter, int* to, long lo = INT_MIN, long hi = INT_MAX) {
  return pitchoption(letter, [to, lo, hi](const char* text) { return readinteger(text, lo, hi, to); });
}

// The syntax of the command: its options into *o, its operand the input ("-" standard input).
commandsyntax syntax(pitchoptions* o) {
  commandsyntax x{"pitch", {command_name(), [](const char*) { printusage(); }}};
  x.options = {
      helpoption("h"),
      flagoption("n", &o->unit_scale),
      integerof("a", &o->algorithm),
      numberof("s", &o->sample_freq_khz),
      integerof("p", &o->frame_shift),
      numberof("L", &o->min_f0),
      numberof("H", &o->max_f0),
      numberof("b", &o->voice_bias),
      numberof("t", &o->unvoiced_cost),
      integerof("o", &o->otype, 0, 2),
  };
  x.dashisoperand = true;
  x.operand = [o](const char* arg) {
    o->infile = arg;
    return true;
  };
  return x;
}

const trackerchoice& findtracker(int id) {
  for (const trackerchoice& a : kAlgorithms)
    if (a.id == id) return a;
  fprintf(stderr, "%s : Unknown algorithm %d!\n", command_name(), id);
  usage(1);
}

// Headerless little-endian 32-bit float samples read from a stream, the first bytes of which
// (already read) are in `prefix`; the largest magnitude read is kept. A bad sample, a read error or
// a partial last sample ends the input where it stands: the samples before it are tracked as a
// whole input, and `problem` says what ended it, for the message after the track.
struct floatinput {
  FILE* fp;
  const char* name;
  std::string prefix;
  float scale = 1.0f;
  float peak = 0.0f;
  const char* problem = nullptr;
};

// samplesource reader of a floatinput.
long readfloats(void* context, float* dst, long n) {
  floatinput* in = static_cast<floatinput*>(context);
  unsigned char buf[4096 * sizeof(float)];
  long done = 0;
  while (done < n && !in->problem) {
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
        in->problem = "Input sample is not a finite number in ";
        return done;
      }
      in->peak = std::max(in->peak, std::fabs(v));
      dst[done++] = in->scale * v;
    }
    in->prefix.assign((const char*)buf + whole * sizeof(float), have - whole * sizeof(float));
    if (whole == 0) break;
  }
  if (done < n && !in->problem) {
    if (ferror(in->fp))
      in->problem = "Cannot read ";
    else if (!in->prefix.empty())
      in->problem = "Input ends inside a sample in ";
  }
  return done;
}

// Says when float samples look like the ±1 scale the trackers do not expect.
void warnaboutscale(const floatinput& in, bool unit_scale) {
  if (!unit_scale && in.peak > 0.0f && in.peak <= 1.0f)
    fprintf(stderr,
            "Warning: input peak %g looks like samples on the \xC2\xB1"
            "1 scale; the trackers expect the 16-bit scale (multiply by 32768).\n",
            in.peak);
}

// A sound file's samples (doubles on the +-1 scale) pulled a block at a time from the vocoder's
// sound reader, either the file read in blocks or the whole file read into memory, as floats on
// the trackers' 16-bit scale. A sample that is not finite on that scale, or a read that fails,
// ends the input where it stands, as in a float stream.
struct soundinput {
  soundblocks* blocks = nullptr;    // the file in blocks, or
  const double* samples = nullptr;  // the whole file
  uint32_t count = 0;
  uint32_t next = 0;
  std::vector<double> buffer = std::vector<double>(4096);
  const char* problem = nullptr;
};

// Up to n samples of the input into x: the count, 0 at its end, -1 when a read fails.
int64_t soundblock(soundinput* in, double* x, uint32_t n) {
  if (in->blocks) return soundblocksread(in->blocks, x, n);
  const uint32_t got = std::min(n, in->count - in->next);
  std::copy(in->samples + in->next, in->samples + in->next + got, x);
  in->next += got;
  return got;
}

// samplesource reader of a soundinput.
long readsoundsamples(void* context, float* dst, long n) {
  soundinput* in = static_cast<soundinput*>(context);
  long done = 0;
  while (done < n && !in->problem) {
    const int64_t got =
        soundblock(in, in->buffer.data(), (uint32_t)std::min<long>(n - done, in->buffer.size()));
    if (got < 0) in->problem = "Cannot read ";
    if (got <= 0) break;
    for (int64_t k = 0; k < got; k++) {
      const float v = (float)(in->buffer[k] * kUnitScale);
      if (!std::isfinite(v)) {
        in->problem = "Input sample is not a finite number in ";
        return done;
      }
      dst[done++] = v;
    }
  }
  return done;
}

// Counts the samples of a sound file opened in blocks, so that info tells what it holds as a whole
// read would, and goes back to its first sample. False when the file is to be read whole instead
// (a read failed, it holds no sample, or the count differs from what the whole read would take).
bool countsoundblocks(soundblocks* blocks, soundinfo* info) {
  std::vector<double> block(1 << 16);
  uint64_t count = 0;
  int64_t got;
  while ((got = soundblocksread(blocks, block.data(), (uint32_t)block.size())) > 0) count += (uint64_t)got;
  return got == 0 && count > 0 && soundblockscounted(blocks, count, info) == 0 &&
         soundblocksrestart(blocks) == 0;
}

// Says what of a sound file was read otherwise than as it is stored.
void warnaboutsound(const soundinfo& info, const char* name) {
  if (info.present < info.promised)
    fprintf(stderr, "Warning: %s: header promises %u samples, %u present.\n", name, info.promised,
            info.present);
  if (info.channels > 1) fprintf(stderr, "Warning: %s: %u channels averaged to one.\n", name, info.channels);
}

// Runs the chosen tracker over a source of samples at sample_freq Hz. Returns the tracker's
// status; its messages go into report.
int tracksamples(const pitchoptions& o, const trackerchoice& algorithm, samplesource source,
                 double sample_freq, trackreport* report) {
  const double tuning = o.*algorithm.tuning;
  if (algorithm.id == 0)
    return raptsource(source, sample_freq, o.frame_shift, o.min_f0, o.max_f0, tuning, o.otype, report);
  return brindelsource(source, sample_freq, o.frame_shift, o.min_f0, o.max_f0, tuning, o.otype, report);
}

// Runs the tracker as tracksamples does and shows its messages on standard error, also when
// memory runs out on the way. Returns the tracker's status.
int runtracker(const pitchoptions& o, const trackerchoice& algorithm, samplesource source,
               double sample_freq) {
  trackreport report;
  int status;
  try {
    status = tracksamples(o, algorithm, source, sample_freq, &report);
  } catch (...) {
    report.write(stderr);
    throw;
  }
  report.write(stderr);
  return status;
}

// Checks the settings for the tracker at the input's sampling frequency, before any sample is
// read; refused settings end the command with their messages and the usage text.
void checksettings(const pitchoptions& o, const trackerchoice& algorithm, double sample_freq) {
  trackreport report;
  if (algorithm.checkparams(sample_freq, o.frame_shift, o.min_f0, o.max_f0, &report)) {
    report.write(stderr);
    usage(1);
  }
}

// Tracks a sound file at its own rate, read by the vocoder's sound reader: a regular file in
// blocks from `path` (standard input's through /dev/stdin), so that its length costs no memory,
// unless the reader takes it only whole; anything else (a pipe, a device, a file read from
// elsewhere) whole, as the stream fp, of which the bytes `prefix` have been read. Returns the
// tracker's status; a file that cannot be read ends the command.
int tracksound(const pitchoptions& o, const trackerchoice& algorithm, FILE* fp, const std::string& prefix,
               const char* path, const char* name) {
  soundinfo info;
  soundinput in;
  std::unique_ptr<soundblocks, decltype(&soundblocksclose)> blocks(
      path ? soundblocksopen(path, &info) : nullptr, soundblocksclose);
  if (blocks && !countsoundblocks(blocks.get(), &info)) {
    blocks.reset();
    info = soundinfo();
  }
  double* samples = nullptr;
  if (!blocks) {
    in.count = path ? readsound(path, soundfileownrate, &samples, &info)
                    : readsoundstream(fp, prefix.data(), prefix.size(), soundfileownrate, &samples, &info);
  }
  std::unique_ptr<double, decltype(&free)> owned(samples, free);
  if (!blocks && in.count == 0) {
    char why[160];
    fprintf(stderr, "%s : Cannot read the sound file %s: %s!\n", command_name(), name,
            soundproblem(info, why, sizeof why));
    exit(1);
  }
  checksettings(o, algorithm, info.rate);
  warnaboutsound(info, name);
  in.blocks = blocks.get();
  in.samples = samples;
  const int status = runtracker(o, algorithm, samplesource{readsoundsamples, &in}, info.rate);
  if (in.problem) {
    if (fflush(stdout) != 0 || ferror(stdout)) fail("Cannot write the output", "");
    fail(in.problem, name);
  }
  return status;
}

// Reads the input, a sound file or float samples, and runs the tracker on it; returns the exit
// status.
int extract(const pitchoptions& o, const trackerchoice& algorithm) {
  const bool named = o.infile && strcmp(o.infile, "-") != 0;
  FILE* fp = stdin;
  const char* name = named ? o.infile : "standard input";
  if (named && !(fp = fopen(o.infile, "rb"))) fail("Cannot open ", o.infile);
  char head[8];
  const std::string prefix(head, fread(head, 1, sizeof head, fp));
  int status;
  if (startssoundfile(prefix.data(), prefix.size())) {
    struct stat st;
    const bool regular =
        fstat(fileno(fp), &st) == 0 && S_ISREG(st.st_mode) && ftell(fp) == (long)prefix.size();
    const char* path = regular ? (named ? o.infile : "/dev/stdin") : nullptr;
    status = tracksound(o, algorithm, fp, prefix, path, name);
    if (fp != stdin) fclose(fp);
  } else {
    const double sample_freq = o.sample_freq_khz * 1000.0;
    checksettings(o, algorithm, sample_freq);
    floatinput in{fp, name, prefix};
    if (o.unit_scale) in.scale = kUnitScale;
    status = runtracker(o, algorithm, samplesource{readfloats, &in}, sample_freq);
    if (fp != stdin) fclose(fp);
    warnaboutscale(in, o.unit_scale);
    if (in.problem) {
      // The frames of the samples before the problem are written; the input is still refused.
      if (fflush(stdout) != 0 || ferror(stdout)) fail("Cannot write the output", "");
      fail(in.problem, name);
    }
  }
  if (status == kTrackBadParameters) usage(1);
  if (fflush(stdout) != 0 || ferror(stdout)) fail("Cannot write the output", "");
  return status == kTrackDone ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    pitchoptions o;
    if (const commandend end = parsecommandline(argc, argv, syntax(&o))) return *end;
    return extract(o, findtracker(o.algorithm));
  } catch (const std::bad_alloc&) {
    fail("Not enough memory for this input and these options", "");
  } catch (const std::exception& e) {
    fail("Cannot complete the track: ", e.what());
  }
}
