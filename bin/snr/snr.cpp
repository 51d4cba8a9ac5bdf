// snr: signal-to-noise ratio and segmental SNR of a signal against a reference signal, the
// difference between the two being the noise.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "cmdline.h"
#include "streamio.h"

namespace {

const char* cmnd = "snr";

constexpr int kFrameLength = 256;
constexpr int kOutputType = 0;

[[noreturn]] void usage(int status) {
  std::fprintf(stderr, "\n");
  std::fprintf(stderr, " %s - evaluate SNR and segmental SNR\n", cmnd);
  std::fprintf(stderr, "\n");
  std::fprintf(stderr, "  usage:\n");
  std::fprintf(stderr, "       %s [ options ] file1 [ infile ] > stdout\n", cmnd);
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
  print_version_footer(stderr);
  std::exit(status);
}

struct Options {
  int frame_length = kFrameLength;
  int output_type = kOutputType;
  const char* reference = nullptr;
  const char* infile = nullptr;
};

int integer_value(int argc, char** argv, int* i) {
  return std::atoi(option_argument(argc, argv, i, usage));
}

Options parse_options(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; i++) {
    const char* arg = argv[i];
    if (arg[0] == '-') {
      switch (arg[1]) {
        case 'l':
          o.frame_length = integer_value(argc, argv, &i);
          break;
        case 'o':
          o.output_type = integer_value(argc, argv, &i);
          break;
        case 'h':
          usage(0);
        default:
          invalid_option(cmnd, arg[1], usage);
      }
    } else if (o.reference == nullptr) {
      o.reference = arg;
    } else {
      o.infile = arg;
    }
  }
  if (o.reference == nullptr) usage(1);
  if (o.frame_length < 1) {
    std::fprintf(stderr, "%s : Frame length must be at least 1!\n", cmnd);
    std::exit(1);
  }
  return o;
}

struct Totals {
  int64_t samples = 0;
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

Totals compare(FILE* reference, FILE* signal, int l, bool detail) {
  Totals t;
  double* x = dgetmem(2L * l);
  double* y = x + l;
  while (!std::feof(reference) && !std::feof(signal)) {
    const int a = freadf(x, sizeof(double), l, reference);
    const int b = freadf(y, sizeof(double), l, signal);
    add_frame(x, y, a < b ? a : b, l, detail, &t);
  }
  std::free(x);
  return t;
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
    case 3:
      fwritef(&snrseg, sizeof(double), 1, stdout);
      break;
    default:
      break;
  }
}

}  // namespace

int main(int argc, char** argv) {
  cmnd = command_name(argv[0]);
  const Options o = parse_options(argc, argv);
  FILE* reference = getfp(o.reference, "rb");
  FILE* signal = o.infile != nullptr ? getfp(o.infile, "rb") : stdin;
  const bool detail = o.output_type == 1;
  if (detail) std::printf("\n");
  report(compare(reference, signal, o.frame_length, detail), o.output_type);
  std::fclose(reference);
  if (signal != stdin) std::fclose(signal);
  return 0;
}
