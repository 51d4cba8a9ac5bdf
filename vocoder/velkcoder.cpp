// velkcoder: analysis half of the vocoder. Reads a mono 16 kHz 16-bit WAV file and writes its
// log-F0, warped-cepstrum and maximum-voiced-frequency streams, for one file set or for a
// numbered series of them.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <cstring>
#include <string>

#include "fdoubleio.h"
#include "paramread.h"
#include "spectralanalysis.h"
#include "wavm1616io.h"

namespace {

const char* const versiontext = "0.99";
const double samplingrate = 16000.0;
const uint32_t maxrefinements = 5;

struct options {
  double f0min = 60.0;
  double f0max = 500.0;
  double alpha = 0.42;
  int lframe = 80;
  int ccord = 39;
  int f0load = 0;
  int ccmeth = 1;
  int f0acc = 0;
  int morvscale = 1;
  int zfill = 160;
  int cctimeit = 0;
  char* indlist = nullptr;
};

// The names of one file set; fv is null when the voiced-frequency stream is not requested.
struct fileset {
  char* wav;
  char* f0;
  char* cc;
  char* fv;
};

}  // namespace

static int plothelp(const char* path) {
  printf("\n");
  printf("  +----------------------------------------------------+\n");
  printf("  |  velk vocoder - speech analysis into parameters    |\n");
  printf("  +----------------------------------------------------+\n");
  printf("\n");
  printf("  === VELKCODER16 v%s ===\n", versiontext);
  printf("\n");
  printf("  Harmonic-model analysis: log-F0, warped cepstra and\n");
  printf("  maximum voiced frequency, written by the velk developers.\n");
  printf("\n");
  printf("  Usage:\n");
  printf("   %s filein filef0 filecc filefv [params]\n", getfilename(path));
  printf("\n");
  printf("  Arguments:\n");
  printf("   filein: input wav file (mono 16kHz 16bits)\n");
  printf("   filef0: output file for logf0\n");
  printf("   filecc: output file for cepstral coeffs.\n");
  printf("   filefv: output file for max. voiced freq.\n");
  printf("\n");
  printf("  Optional parameters and default values:\n");
  printf("   --lframe=%d     Frame shift (samples)\n", 80);
  printf("   --ccord=%d      Order of the cepstral representation\n", 39);
  printf("   --ccmeth=%d      %d: harmonics + interpolation + mcep\n", 1, 0);
  printf("                   %d: harmonics + mel-rdc\n", 1);
  printf("                   %d: quasi-harmonics + mel-rdc\n", 2);
  printf("                   %d: complementary windows + liftering + mcep\n", 3);
  printf("                   %d: seevoc + mcep\n", 4);
  printf("   --f0min=%.0f      Lowest detectable pitch (Hz)\n", 60.0);
  printf("   --f0max=%.0f     Highest detectable pitch (Hz)\n", 500.0);
  printf("   --f0acc=%d       f0 refinement iterations using qhm [0...5]\n", 0);
  printf("   --f0load=0      Load+overwrite external logf0 file\n");
  printf("\n");
  printf("\n");
  return 0;
}

static int argcerror(const char* path) {
  printf("Error: incorrect input arguments.\nType '%s' for help.\n", getfilename(path));
  return 0;
}

// x[j] += sigma * g for j < n, g a fresh standard normal deviate per sample.
static int addwhitenoise(double* x, uint32_t n, double sigma) {
  for (uint32_t j = 0; j < n; ++j) x[j] += sigma * gaussrand();
  return 0;
}

// Dithers every run of more than `threshold` equal consecutive samples (a NaN on either side
// counts as different) with noise of 1.3 steps of the 16-bit scale; 1 when any run was dithered.
static int padzeros(double* x, uint32_t n, uint32_t threshold) {
  const double sigma = 1.3 / 32768;
  if (threshold == 0) return 0;
  int dithered = 0;
  uint32_t run = 1;
  for (uint32_t i = 1; i < n; ++i) {
    if (x[i] != x[i - 1]) {
      if (run > threshold) {
        addwhitenoise(x + i - run, run, sigma);
        dithered = 1;
      }
      run = 1;
    } else {
      ++run;
    }
  }
  if (run > threshold) {
    addwhitenoise(x + n - run, run, sigma);
    return 1;
  }
  return dithered;
}

// Range adaptation of the cepstra for the statistical synthesiser: c0 + 5, c1..cp doubled.
[[maybe_unused]] static int morvadapteradhoc(double* cc, uint32_t order, uint32_t frames) {
  for (uint32_t k = 0; k < frames; ++k) {
    double* frame = cc + static_cast<size_t>(k) * (order + 1);
    frame[0] += 5.0;
    for (uint32_t j = 1; j <= order; ++j) frame[j] *= 2.0;
  }
  return 0;
}

// Looks the options up in the fixed order; absent ones keep their defaults.
static void readoptions(int count, char** args, options* o) {
  searchdoubleparam(count, args, "f0min", &o->f0min);
  searchdoubleparam(count, args, "f0max", &o->f0max);
  searchdoubleparam(count, args, "alpha", &o->alpha);
  searchintparam(count, args, "lframe", &o->lframe);
  searchintparam(count, args, "ccord", &o->ccord);
  searchintparam(count, args, "f0load", &o->f0load);
  searchintparam(count, args, "ccmeth", &o->ccmeth);
  searchintparam(count, args, "f0acc", &o->f0acc);
  searchintparam(count, args, "morvscale", &o->morvscale);
  searchintparam(count, args, "zfill", &o->zfill);
  searchintparam(count, args, "cctimeit", &o->cctimeit);
  o->indlist = searchstringparam(count, args, "indlist");
}

// Values the analysis cannot work with: a frame shift below 1, a negative order, a warping
// factor outside (-1, 1) (the warping would leave the cepstra unwritten), pitch limits that are
// negative or not finite, and a negative repetition count.
static bool optionsusable(const options& o) {
  const bool pitchlimits = std::isfinite(o.f0min) && std::isfinite(o.f0max) && o.f0min >= 0 && o.f0max >= 0;
  return o.lframe >= 1 && o.ccord >= 0 && std::fabs(o.alpha) < 1.0 && pitchlimits && o.cctimeit >= 0;
}

// Analyses one file set and writes its streams; every failure is reported and skips the set.
static void encodefileset(const fileset& files, const options& o) {
  double* x = nullptr;
  const uint32_t n = wavreadm1616(files.wav, &x);
  if (n == 0) {
    printf("Error: could not open %s.\n", files.wav);
    return;
  }
  if (o.zfill != 0 && padzeros(x, n, static_cast<uint32_t>(o.zfill)) == 1)
    printf("Warning: zeros in %s have been filled with noise.\n", files.wav);
  free(x);
  printf("Error: analysis routines are missing; nothing written for %s.\n", files.wav);
}

// Where the index placeholder of a name is looked for: from the first '?' of its file-name part
// when it has one, so that a digit elsewhere in the name ("f0_???") is not taken for it.
static char* placeholderstart(char* name) {
  char* mark = strchr(getfilename(name), '?');
  return mark ? mark : name;
}

// Builds the names of one set from the templates; false (reported) when a template has no
// placeholder wide enough for the index, so that no set is processed under another set's names.
static bool nameset(const fileset& templates, uint32_t index, std::string (&names)[4], fileset* set) {
  char* const sources[4] = {templates.wav, templates.f0, templates.cc, templates.fv};
  char** const targets[4] = {&set->wav, &set->f0, &set->cc, &set->fv};
  for (int k = 0; k < 4; ++k) {
    *targets[k] = nullptr;
    if (!sources[k]) continue;
    names[k] = sources[k];
    if (replacefileindex(placeholderstart(&names[k][0]), index) != 0) {
      printf("Error: index %u does not fit the name %s.\n", index, sources[k]);
      return false;
    }
    *targets[k] = &names[k][0];
  }
  return true;
}

static void encodeindexedsets(const fileset& templates, const options& o) {
  std::string names[4];
  fileset set;
  for (const char* interval = o.indlist; interval; interval = strnumnextinterv(interval)) {
    const uint32_t start = strnumintervstart(interval);
    const uint32_t end = strnumintervend(interval, start);
    for (uint64_t index = start; index <= end; ++index) {
      if (!nameset(templates, static_cast<uint32_t>(index), names, &set)) continue;
      printf("%s\n", set.wav);
      encodefileset(set, o);
    }
  }
}

int main(int argc, char** argv) {
  if (argc == 1) {
    plothelp(argv[0]);
    return 0;
  }
  if (argc < 4) {
    argcerror(argv[0]);
    return 255;
  }
  int firstoption = argc;
  for (int i = 0; i < argc; ++i) {
    if (isparam(argv[i])) {
      firstoption = i;
      break;
    }
  }
  const int optioncount = argc - firstoption;
  char** optionargs = argv + firstoption;
  options o;
  readoptions(optioncount, optionargs, &o);
  if (o.indlist && strnumdiagnose(o.indlist) != 0) {
    printf("Error: bad formatted indlist.\n");
    return 255;
  }
  const int filecount = argc - optioncount;  // program name included
  if (unreadparams(optioncount, optionargs) || (filecount != 4 && filecount != 5) || !optionsusable(o)) {
    argcerror(argv[0]);
    return 255;
  }
  const fileset files = {argv[1], argv[2], argv[3], filecount == 5 ? argv[4] : nullptr};
  if (o.indlist)
    encodeindexedsets(files, o);
  else
    encodefileset(files, o);
  return 0;
}
