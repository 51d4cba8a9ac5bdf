// Usage text of the pitch command.
#include "usage.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

const char* command_name(void) {
  const char* slash = strrchr(program_invocation_name, '/');
  return slash ? slash + 1 : program_invocation_name;
}

void printusage(void) {
  fprintf(stderr, "\n");
  fprintf(stderr, " %s - F0 extraction\n", command_name());
  fprintf(stderr, "\n");
  fprintf(stderr, "  usage:\n");
  fprintf(stderr, "       %s [ options ] [ infile ] > stdout\n", command_name());
  fprintf(stderr, "  options:\n");
  fprintf(stderr, "       -a a  : algorithm                         [%d]\n", kDefaultAlgorithm);
  fprintf(stderr, "                 0 (dynamic-programming tracker)\n");
  fprintf(stderr, "                 1 (epoch tracker)\n");
  fprintf(stderr, "       -s s  : sampling frequency in kHz         [%g]\n", kDefaultSampleFreqKHz);
  fprintf(stderr, "       -p p  : frame shift in samples            [%d]\n", kDefaultFrameShift);
  fprintf(stderr, "       -L L  : lowest F0 searched in Hz          [%g]\n", kDefaultMinF0);
  fprintf(stderr, "       -H H  : highest F0 searched in Hz         [%g]\n", kDefaultMaxF0);
  fprintf(stderr, "       -b b  : voicing bias of tracker 0         [%.1f]\n", kDefaultVoiceBias);
  fprintf(stderr, "       -t t  : unvoiced cost of tracker 1        [%.1f]\n", kDefaultUnvoicedCost);
  fprintf(stderr, "       -o o  : output type                       [%d]\n", kDefaultOutputType);
  fprintf(stderr, "                 0 (period in samples)\n");
  fprintf(stderr, "                 1 (F0 in Hz)\n");
  fprintf(stderr, "                 2 (natural log of F0)\n");
  fprintf(stderr, "       -h    : print this message\n");
  fprintf(stderr,
          "       -n    : float input on the \xC2\xB1"
          "1 scale (multiplied by 32768)\n");
  fprintf(stderr, "  infile:\n");
  fprintf(stderr, "       samples as headerless little-endian 32-bit floats\n");
  fprintf(stderr, "       on the 16-bit scale, or a sound file (WAV, AIFF,\n");
  fprintf(stderr, "       FLAC, Ogg, ...; its rate replaces -s)       [stdin]\n");
  fprintf(stderr, "  stdout:\n");
  fprintf(stderr, "       one 32-bit float per frame\n");
  fprintf(stderr, "\n");
}
