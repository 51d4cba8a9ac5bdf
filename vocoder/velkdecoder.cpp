// velkdecoder: synthesis half of the vocoder. Reads the log-F0, warped-cepstrum and optional
// maximum-voiced-frequency streams of one file set (or of a numbered series of sets), optionally
// changes pitch, pitch range, duration, vocal-tract length, loudness, dynamic range and spectral
// sharpness, and writes the synthesised speech as a mono 16 kHz 16-bit WAV file. The exit status
// is 1 when any file set failed.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fdoubleio.h"
#include "filesetrun.h"
#include "outputfile.h"
#include "paramread.h"
#include "velkcodec.h"
#include "wavm1616io.h"

namespace {

const char* const versiontext = "0.99";

struct options {
  int lframe = 80;
  int wavnorm = 0;
  int morvscale = 1;
  int ccord = 0;
  bool ccordgiven = false;  // --ccord: the order every set must have
  char* indlist = nullptr;
  decodesettings synthesis;  // the factors as read, then checked and completed
};

// The names of one file set in command-line order; the voiced-frequency name is null when no
// such stream is read.
enum { f0file, ccfile, fvfile, outfile, setfiles };
struct fileset {
  char* name[setfiles];
};

// The streams of one file set, owned from reading until the WAV file is written.
struct setstreams {
  double* f0 = nullptr;   // log-F0, then F0 in Hz
  double* cc = nullptr;   // cepstra, frames x (order + 1)
  double* fv = nullptr;   // maximum voiced frequency, or null
  double* out = nullptr;  // synthesised samples
  uint32_t frames = 0;
  uint32_t order = 0;
  uint32_t samples = 0;
  ~setstreams() {
    free(f0);
    free(cc);
    free(fv);
    free(out);
  }
};

}  // namespace

static int plothelp(const char* path) {
  printf("\n");
  printf("  +----------------------------------------------------+\n");
  printf("  |  velk vocoder - speech synthesis from parameters   |\n");
  printf("  +----------------------------------------------------+\n");
  printf("\n");
  printf("  === VELKDECODER16 v%s ===\n", versiontext);
  printf("\n");
  printf("  Harmonics below the maximum voiced frequency plus shaped\n");
  printf("  noise above it, written by the velk developers.\n");
  printf("\n");
  printf("  Usage:\n");
  printf("   %s filef0 filecc filefv fileout [params]\n", getfilename(path));
  printf("\n");
  printf("  Arguments:\n");
  printf("   filef0:  input file for logf0\n");
  printf("   filecc:  input file for cepstral coeffs.\n");
  printf("   filefv:  input file for max. voiced freq.\n");
  printf("   fileout: output wav file (mono 16kHz 16bits)\n");
  printf("\n");
  printf("  Optional parameters and default values:\n");
  printf("   --lframe=%d     Frame shift (samples)\n", 80);
  printf("   --fpitch=1.0    Pitch modification factor [0.25...4]\n");
  printf("   --fvpitch=1.0   Log-pitch variance modification factor [0...4]\n");
  printf("   --fdur=1.0      Duration modification factor [0.25...4]\n");
  printf("   --fwarp=0.0     All-pass factor for vocal tract modification [-1...1]\n");
  printf("   --floud=0.0     Factor for perceptual loudness [-4...4]\n");
  printf("   --fpfilt=0.0    Postfiltering factor [0...1]\n");
  printf("   --wavnorm=0     Adapt wav amplitude to available range\n");
  printf("\n");
  printf("\n");
  return 0;
}

// Looks the options up in the fixed order; absent ones keep their defaults.
static void readoptions(int count, char** args, options* o) {
  searchintparam(count, args, "lframe", &o->lframe);
  searchdoubleparam(count, args, "alpha", &o->synthesis.alpha);
  searchdoubleparam(count, args, "fpitch", &o->synthesis.fpitch);
  searchdoubleparam(count, args, "fvpitch", &o->synthesis.fvpitch);
  searchdoubleparam(count, args, "fdur", &o->synthesis.fdur);
  searchdoubleparam(count, args, "fwarp", &o->synthesis.fwarp);
  searchdoubleparam(count, args, "floud", &o->synthesis.floud);
  searchdoubleparam(count, args, "fpfilt", &o->synthesis.fpfilt);
  searchdoubleparam(count, args, "fdrc", &o->synthesis.fdrc);
  searchintparam(count, args, "wavnorm", &o->wavnorm);
  searchintparam(count, args, "morvscale", &o->morvscale);
  o->ccordgiven = searchintparam(count, args, "ccord", &o->ccord) == 0;
  o->indlist = searchstringparam(count, args, "indlist");
}

// Options outside the values the program knows: a frame shift below 1, a negative order, and
// enumerated options (wavnorm, morvscale) outside their sets.
static bool optionsinset(const options& o) {
  const bool enumerated = (o.wavnorm == 0 || o.wavnorm == 1) && (o.morvscale == 0 || o.morvscale == 1);
  return enumerated && o.lframe >= 1 && (!o.ccordgiven || o.ccord >= 0);
}

// Completes the synthesis settings of the command line (their factors read into them) and
// checks them; false when synthesis cannot work with them. The filters' warning is printed when
// they are switched off.
static bool completesynthesis(options* o) {
  if (!optionsinset(*o)) return false;
  decodesettings* d = &o->synthesis;
  d->lframe = static_cast<uint32_t>(o->lframe);
  d->morvscale = o->morvscale == 1;
  if (preparedecode(d) != 0) return false;
  if (d->filtersdisabled) printf("Warning: floud, fpfilt and fdrc not applicable for this alpha.\n");
  return true;
}

static bool reportunreadable(const char* path) {
  printf("Error: could not open %s.\n", path);
  return false;
}

static bool outofmemory(const char* out) {
  printf("Error: not enough memory to synthesise %s.\n", out);
  return false;
}

// Reads the voiced-frequency stream when it has a value for every frame; else goes on without.
static void readvoicing(const fileset& files, setstreams* s) {
  uint32_t rest = 0;
  const uint32_t values = fdoublereadrest(files.name[fvfile], &s->fv, &rest);
  if (values != 0) reporttrailingbytes(files.name[fvfile], rest);
  if (values == 0) {
    printf("Warning: could not open %s.\n", files.name[fvfile]);
  } else if (values < s->frames) {
    printf("Warning: %s and %s have incompatible dimensions.\n", files.name[f0file], files.name[fvfile]);
    free(s->fv);
    s->fv = nullptr;
  }
}

// The cepstral order of `values` cepstra over `frames` frames: they must make whole frames of
// at least one value, of exactly --ccord + 1 values when that is given. false (reported) else.
static bool cepstralorder(const fileset& files, const options& o, uint64_t frames, uint64_t values,
                          uint32_t* order) {
  const uint64_t width = values / frames;
  const bool whole = width != 0 && width * frames == values && width - 1 <= UINT32_MAX;
  if (!whole || (o.ccordgiven && width != static_cast<uint64_t>(o.ccord) + 1)) {
    printf("Error: %s and %s have incompatible dimensions.\n", files.name[f0file], files.name[ccfile]);
    return false;
  }
  *order = static_cast<uint32_t>(width - 1);
  return true;
}

// false (reported) when `frames` frames would synthesise more samples than a WAV file holds.
static bool lengthfits(const fileset& files, const decodesettings& d, uint64_t frames) {
  if (frames <= UINT32_MAX && decodedlength(static_cast<uint32_t>(frames), d) <= wavmaxsamples) return true;
  printf("Error: %s would be too long for a wav file.\n", files.name[outfile]);
  return false;
}

// The checks that the sizes of the stream files allow before anything is read or allocated:
// the output's length and the cepstral order. Files whose size does not show their length
// (pipes) are checked once read.
static bool sizesfit(const fileset& files, const options& o) {
  uint64_t frames = 0, values = 0;
  uint32_t rest = 0, order = 0;
  if (fdoublecount(files.name[f0file], &frames, &rest) != 0 || frames == 0) return true;
  if (!lengthfits(files, o.synthesis, frames)) return false;
  if (fdoublecount(files.name[ccfile], &values, &rest) != 0 || values == 0) return true;
  return cepstralorder(files, o, frames, values, &order);
}

// Reads the streams of one set and derives the cepstral order; false (reported) when skipped.
static bool readstreams(const fileset& files, const options& o, setstreams* s) {
  if (!sizesfit(files, o)) return false;
  uint32_t rest = 0;
  s->frames = fdoublereadrest(files.name[f0file], &s->f0, &rest);
  if (s->frames == 0) return reportunreadable(files.name[f0file]);
  reporttrailingbytes(files.name[f0file], rest);
  const uint32_t values = fdoublereadrest(files.name[ccfile], &s->cc, &rest);
  if (values == 0) return reportunreadable(files.name[ccfile]);
  reporttrailingbytes(files.name[ccfile], rest);
  if (!cepstralorder(files, o, s->frames, values, &s->order)) return false;
  if (files.name[fvfile]) readvoicing(files, s);
  return true;
}

// Allocates the output; false (reported) when it would not fit a WAV file or memory runs out.
static bool allocateoutput(const fileset& files, const decodesettings& d, setstreams* s) {
  if (!lengthfits(files, d, s->frames)) return false;
  s->samples = static_cast<uint32_t>(decodedlength(s->frames, d));
  s->out = static_cast<double*>(calloc(s->samples, sizeof(double)));
  return s->out ? true : outofmemory(files.name[outfile]);
}

// Warns when `clipped` samples of the written output lay beyond the 16-bit range.
static void reportclipping(uint32_t clipped, const char* out) {
  if (clipped != 0)
    printf("Warning: %u samples clipped in %s; --wavnorm=1 scales the output to fit.\n", clipped, out);
}

// false (reported) when the output is one of the set's streams: writing it would destroy them.
static bool overwritesnothing(const fileset& files) {
  uint32_t output = 0, input = 0;
  if (findoverwrite(3, files.name, 1, &files.name[outfile], &output, &input) == 0) return true;
  printf("Error: %s would overwrite the input %s.\n", files.name[outfile], files.name[input]);
  return false;
}

// Synthesises one file set and writes its WAV file; a failing set is reported and skipped (false).
static bool decodefileset(const fileset& files, const options& o) {
  setstreams s;
  if (!overwritesnothing(files) || !readstreams(files, o, &s) || !allocateoutput(files, o.synthesis, &s))
    return false;
  if (decodestreams(s.f0, s.cc, s.fv, s.frames, s.order, o.synthesis, s.out, s.samples) != 0)
    return outofmemory(files.name[outfile]);
  free(s.f0);
  free(s.cc);
  free(s.fv);
  s.f0 = s.cc = s.fv = nullptr;
  const uint8_t normalise = o.wavnorm == 1 ? 1 : 0;
  const uint32_t clipped = normalise ? 0 : wavclippedsamples(s.out, s.samples);  // before the in-place write
  if (wavwritem1616(files.name[outfile], s.out, s.samples, normalise, 0) == 0) {
    printf("Error: could not create %s.\n", files.name[outfile]);
    return false;
  }
  reportclipping(clipped, files.name[outfile]);
  return true;
}

namespace {

// velkdecoder's parts of the run over file sets.
struct decoder {
  static constexpr const char* name = "velkdecoder";
  static constexpr double none = HUGE_VAL;
  static constexpr optionrule rules[] = {
      {"lframe", 'i', 1, none, false},     {"alpha", 'r', -1, 1, true},
      {"fpitch", 'r', -none, none, false}, {"fvpitch", 'r', -none, none, false},
      {"fdur", 'r', -none, none, false},   {"fwarp", 'r', -none, none, false},
      {"floud", 'r', -none, none, false},  {"fpfilt", 'r', -none, none, false},
      {"fdrc", 'r', -none, none, false},   {"wavnorm", 'i', 0, 1, false},
      {"morvscale", 'i', 0, 1, false},     {"ccord", 'i', 0, none, false},
      {"indlist", 's', -none, none, false}};
  static constexpr const char* files = "filef0 filecc [filefv] fileout";
  static constexpr const char* conflict = "--lframe, --fdur: lframe x fdur must be at least one sample";
  using optionset = options;
  using nameset = fileset;
  static constexpr uint32_t shownname = outfile;
  static constexpr auto help = plothelp;
  static constexpr auto readoptions = ::readoptions;
  static constexpr auto usable = completesynthesis;
  static fileset commandlineset(char** argv, int filecount) {
    return filecount == 5 ? fileset{{argv[1], argv[2], argv[3], argv[4]}}
                          : fileset{{argv[1], argv[2], nullptr, argv[3]}};
  }
  static constexpr auto runset = decodefileset;
  static constexpr auto outofmemory = ::outofmemory;
};

}  // namespace

int main(int argc, char** argv) {
  return runfilesets<decoder>(argc, argv);
}
