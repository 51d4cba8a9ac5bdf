// snr: signal-to-noise ratio and segmental SNR of a signal against a reference signal, the
// difference between the two being the noise.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "cmdline.h"
#include "streamio.h"

using namespace velk;

namespace {

constexpr int kFrameLength = 256;
constexpr int kOutputType = 0;
constexpr int kLastOutputType = 3;
// Largest frame length: the two frames are held in one array of doubles.
constexpr int64_t kMaxFrameLength = 1 << 24;

void usage(const char* cmnd) {
  printusagehead(stderr, cmnd, "evaluate SNR and segmental SNR", "[ options ] file1 [ infile ] > stdout");
  std::fprintf(stderr, "  options:\n");
  std::fprintf(stderr, "      -l l  : frame length                         [%d]\n", kFrameLength);
  std::fprintf(stderr, "      -o o  : output type                          [%d]\n", kOutputType);
  std::fprintf(stderr, "                0 SNR and SNRseg           (ascii)\n");
  std::fprintf(stderr, "                1 SNR and SNRseg in detail (ascii)\n");
  std::fprintf(stderr, "                2 SNR                      (float)\n");
  std::fprintf(stderr, "                3 SNRseg                   (float)\n");
  std::fprintf(stderr, "      -h    : print this message\n");
  std::fprintf(stderr, "  infile:\n");
  std::fprintf(stderr, "      data sequence (%s)                        [stdin]\n", "float");
  std::fprintf(stderr, "  file1:\n");
  std::fprintf(stderr, "      data sequence\n");
  std::fprintf(stderr, "  stdout:\n");
  std::fprintf(stderr, "      SNR, SNRseg\n");
  printversionfooter(stderr);
}

struct Options {
  int frame_length = kFrameLength;
  int output_type = kOutputType;
  const char* reference = nullptr;
  const char* infile = nullptr;
};

// The syntax of the command: its options into *o, its operands the reference, then the input.
commandsyntax syntax(const char* cmnd, Options* o) {
  commandsyntax x{"snr", {cmnd, usage}};
  x.options = {
      helpoption("h"),
      integeroption("l", &o->frame_length, 1, kMaxFrameLength, "Frame length must be at least 1!"),
      integeroption("o", &o->output_type, 0, kLastOutputType),
  };
  x.operand = [o](const char* arg) {
    (o->reference == nullptr ? o->reference : o->infile) = arg;
    return true;
  };
  return x;
}

struct Totals {
  int64_t samples = 0;    // compared samples
  int64_t unmatched = 0;  // samples of the longer stream beyond the shorter one
  double signal_power = 0.0;
  double error_power = 0.0;
  double segmental_sum = 0.0;
  int64_t full_frames = 0;
};

double decibels(double signal_power, double error_power) {
  return 10.0 * std::log10(signal_power / error_power);
}

// Accumulates the first n samples of a frame of the reference x and the signal y.
void add_frame(const double* x, const double* y, int n, int frame_length, bool detail, Totals* t) {
  double px = 0.0, pe = 0.0;
  for (int i = 0; i < n; i++) {
    px += x[i] * x[i];
    pe += (x[i] - y[i]) * (x[i] - y[i]);
  }
  if (n > 0) {
    const double frame_snr = decibels(px, pe);
    if (detail && t->samples == 0) std::printf("\n");
    if (detail)
      std::printf("\t %8lld   ~ %8lld    : %f [dB]\n", static_cast<long long>(t->samples),
                  static_cast<long long>(t->samples + n), frame_snr);
    t->samples += n;
    if (n == frame_length) {
      t->segmental_sum += frame_snr;
      t->full_frames++;
    }
  }
  t->signal_power += px;
  t->error_power += pe;
}

// Samples left in a stream, read into buf of l doubles.
int64_t count_rest(FILE* fp, double* buf, int l) {
  int64_t n = 0;
  for (int got; (got = freadf(buf, sizeof(double), l, fp)) > 0;) n += got;
  return n;
}

// False, after the message, when one of the n samples is not a finite number: the figures would
// be NaN or infinite without saying why.
bool all_finite(const char* cmnd, const double* x, int n, const char* name) {
  for (int i = 0; i < n; i++)
    if (!std::isfinite(x[i])) {
      std::fprintf(stderr, "%s : Input sample is not a finite number in %s!\n", cmnd, name);
      return false;
    }
  return true;
}

// The totals of the two streams frame by frame; the exit status when the command ends here (a
// sample that is not a number, memory that cannot be had).
commandend compare(const char* cmnd, FILE* reference, FILE* signal, int l, bool detail,
                   const char* reference_name, const char* signal_name, Totals* t) {
  double* x = doublearray(2L * l);
  if (x == nullptr) return 3;
  double* y = x + l;
  int a = 0, b = 0;
  bool finite = true;
  while (finite && !std::feof(reference) && !std::feof(signal)) {
    a = freadf(x, sizeof(double), l, reference);
    b = freadf(y, sizeof(double), l, signal);
    finite =
        all_finite(cmnd, x, a < b ? a : b, reference_name) && all_finite(cmnd, y, a < b ? a : b, signal_name);
    if (finite) add_frame(x, y, a < b ? a : b, l, detail, t);
  }
  // The samples one stream holds beyond the other: those of the last frame, then the rest.
  if (finite) t->unmatched = (a > b ? a - b : b - a) + count_rest(reference, x, l) + count_rest(signal, y, l);
  std::free(x);
  if (!finite) return 1;
  return std::nullopt;
}

// Says on standard error what makes the figures questionable; false when there is nothing to
// compare at all.
bool check_comparison(const char* cmnd, const Totals& t, int frame_length) {
  if (t.samples == 0) {
    std::fprintf(stderr, "%s : No samples to compare: an input is empty!\n", cmnd);
    return false;
  }
  if (t.unmatched > 0)
    std::fprintf(stderr,
                 "%s : Warning: the inputs differ in length by %lld samples; only the first %lld are "
                 "compared.\n",
                 cmnd, static_cast<long long>(t.unmatched), static_cast<long long>(t.samples));
  if (t.full_frames == 0)
    std::fprintf(stderr,
                 "%s : Warning: %lld samples are shorter than one frame of %d; SNRseg is not a "
                 "number.\n",
                 cmnd, static_cast<long long>(t.samples), frame_length);
  return true;
}

void report(const Totals& t, int output_type) {
  const double snr = decibels(t.signal_power, t.error_power);
  // Without a full frame the segmental mean is 0/0: not a number.
  const double snrseg = t.full_frames > 0 ? t.segmental_sum / static_cast<double>(t.full_frames)
                                          : std::numeric_limits<double>::quiet_NaN();
  switch (output_type) {
    case 0:
    case 1:
      std::printf("\n");
      std::printf("%lld samples\n", static_cast<long long>(t.samples));
      std::printf("  SNR      :  %f [dB]\n", snr);
      std::printf("  SNRseg   :  %f [dB]\n", snrseg);
      std::printf("\n");
      break;
    case 2:
      fwritef(&snr, sizeof(double), 1, stdout);
      break;
    default:
      fwritef(&snrseg, sizeof(double), 1, stdout);
      break;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const char* cmnd = commandname(argv[0]);
  Options o;
  if (const commandend end = parsecommandline(argc, argv, syntax(cmnd, &o))) return *end;
  if (o.reference == nullptr) {
    usage(cmnd);
    return 1;
  }
  FILE* reference = openstream(o.reference, "rb");
  if (reference == nullptr) return 1;
  FILE* signal = openinput(o.infile);
  if (signal == nullptr) return 1;
  if (refusewaveinput(cmnd, reference, o.reference) || refusewaveinput(cmnd, signal, inputname(o.infile)))
    return 1;
  const bool detail = o.output_type == 1;
  Totals t;
  const commandend end =
      compare(cmnd, reference, signal, o.frame_length, detail, o.reference, inputname(o.infile), &t);
  std::fclose(reference);
  if (signal != stdin) std::fclose(signal);
  if (end) return *end;
  if (!check_comparison(cmnd, t, o.frame_length)) return 1;
  report(t, o.output_type);
  return outputcomplete(cmnd, stdout) ? 0 : 1;
}
