// velkdecoder: synthesis half of the vocoder. Reads the log-F0, warped-cepstrum and optional
// maximum-voiced-frequency streams of one file set (or of a numbered series of sets), optionally
// changes pitch, pitch range, duration, vocal-tract length, loudness, dynamic range and spectral
// sharpness, and writes the synthesised speech as a mono 16-bit WAV file. A set with a settings
// record (filef0.json) is synthesised at the rate, frame shift, order and warping the record
// gives, and written at that rate, or resampled to the rate --fs names; options that contradict
// the record are refused. Without a record the streams carry no rate: they are synthesised at
// --fs (16 kHz by default; frame shift and warping factor default by the rate), streams that
// cannot belong to it are refused and an unexpected order is warned about. The exit status is 1
// when any file set failed.

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "blockio.h"
#include "fdoubleio.h"
#include "filesetrun.h"
#include "outputfile.h"
#include "paramread.h"
#include "paramset.h"
#include "soundfile.h"
#include "streamdecode.h"
#include "velkcodec.h"
#include "wavm1616io.h"

using namespace velk;

namespace {

const char* const versiontext = "0.99";

struct options {
  int fs = kSamplingRate;  // rate of the output, and of the synthesis of streams without a record
  int lframe = 80;
  bool fsgiven = false, lframegiven = false, alphagiven = false, morvscalegiven = false;
  int wavnorm = 0;
  int morvscale = 1;
  int ccord = 0;
  bool ccordgiven = false;  // --ccord: the order every set must have
  char* indlist = nullptr;
  decodesettings synthesis;  // the factors as read, then checked and completed
  FILE* messages = stdout;   // the stream of the run's messages
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
  printf("            at the rate of --fs or of the streams' record\n");
  printf("\n");
  printf("  Optional parameters and default values:\n");
  printf("   --lframe=%d     Frame shift (samples)\n", 80);
  printf("   --fs=%u      Rate of the streams and the output (Hz, %u...%u)\n", kSamplingRate, velkratelowest,
         velkratehighest);
  printf("                   (lframe and alpha default by the rate)\n");
  printf("                   Streams with a settings record filef0.json are\n");
  printf("                   read as it says; --fs then resamples the output\n");
  printf("   --fdrc=0.0      Dynamic range compression factor [0...1]\n");
  printf("   --alpha=0.42    All-pass warping factor of the cepstra (-1...1)\n");
  printf("   --ccord=P       Cepstral order every set must have\n");
  printf("   --morvscale=1   Undo the encoder's range adaptation (1) or not (0)\n");
  printf("   --indlist=LIST  Numbered series of file sets, e.g. 1-3,7\n");
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
  o->lframegiven = searchintparam(count, args, "lframe", &o->lframe) == 0;
  o->alphagiven = searchdoubleparam(count, args, "alpha", &o->synthesis.alpha) == 0;
  o->fsgiven = searchintparam(count, args, "fs", &o->fs) == 0;
  searchdoubleparam(count, args, "fpitch", &o->synthesis.fpitch);
  searchdoubleparam(count, args, "fvpitch", &o->synthesis.fvpitch);
  searchdoubleparam(count, args, "fdur", &o->synthesis.fdur);
  searchdoubleparam(count, args, "fwarp", &o->synthesis.fwarp);
  searchdoubleparam(count, args, "floud", &o->synthesis.floud);
  searchdoubleparam(count, args, "fpfilt", &o->synthesis.fpfilt);
  searchdoubleparam(count, args, "fdrc", &o->synthesis.fdrc);
  searchintparam(count, args, "wavnorm", &o->wavnorm);
  o->morvscalegiven = searchintparam(count, args, "morvscale", &o->morvscale) == 0;
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
  FILE* messages = o->messages;
  if (!ratesupported(o->fs)) {
    fprintf(messages, "Error: --fs=%d lies outside the supported rates, %u to %u Hz.\n", o->fs,
            velkratelowest, velkratehighest);
    return false;
  }
  if (!optionsinset(*o)) return false;
  decodesettings* d = &o->synthesis;
  d->fs = static_cast<uint32_t>(o->fs);
  d->lframe = o->lframegiven ? static_cast<uint32_t>(o->lframe) : defaultlframe(d->fs);
  if (!o->alphagiven) d->alpha = defaultalpha(d->fs);
  d->morvscale = o->morvscale == 1;
  if (preparedecode(d) != 0) return false;
  if (d->filtersdisabled && d->fs != kSamplingRate)
    fprintf(messages, "Warning: floud, fpfilt and fdrc not applicable at %u Hz.\n", d->fs);
  else if (d->filtersdisabled)
    fprintf(messages, "Warning: floud, fpfilt and fdrc not applicable for this alpha.\n");
  return true;
}

// Reports a stream that gave no value, just after its read (errno tells memory apart).
static bool reportunreadable(FILE* messages, const char* path) {
  if (errno == ENOMEM)
    fprintf(messages, "Error: not enough memory to read %s.\n", path);
  else
    fprintf(messages, "Error: could not open %s.\n", path);
  return false;
}

static bool outofmemory(FILE* messages, const char* out) {
  fprintf(messages, "Error: not enough memory to synthesise %s.\n", out);
  return false;
}

// Reads the voiced-frequency stream when it has a value for every frame; else goes on without.
static void readvoicing(FILE* messages, const fileset& files, setstreams* s) {
  uint32_t rest = 0;
  bool longer = false;  // values beyond the frames are not used, and a pipe is not read for them
  const uint32_t values = fdoublereadlimited(files.name[fvfile], &s->fv, &rest, s->frames, &longer);
  if (values != 0) reporttrailingbytes(messages, files.name[fvfile], rest);
  if (values == 0) {
    fprintf(messages,
            errno == ENOMEM ? "Warning: not enough memory to read %s.\n" : "Warning: could not open %s.\n",
            files.name[fvfile]);
  } else if (values < s->frames) {
    fprintf(messages, "Warning: %s and %s have incompatible dimensions.\n", files.name[f0file],
            files.name[fvfile]);
    free(s->fv);
    s->fv = nullptr;
  }
}

// The cepstral order of `values` cepstra over `frames` frames: they must make whole frames of
// at least one value, of exactly --ccord + 1 values when that is given. false (reported) else.
static bool cepstralorder(FILE* messages, const fileset& files, const options& o, uint64_t frames,
                          uint64_t values, uint32_t* order) {
  if (cepstralorderof(frames, values, order) != 0 ||
      (o.ccordgiven && *order != static_cast<uint32_t>(o.ccord))) {
    fprintf(messages, "Error: %s and %s have incompatible dimensions.\n", files.name[f0file],
            files.name[ccfile]);
    return false;
  }
  return true;
}

// false (reported) when `frames` frames would synthesise more samples than a WAV file holds.
static bool lengthfits(FILE* messages, const fileset& files, const decodesettings& d, uint64_t frames) {
  if (frames <= UINT32_MAX && decodedlength(static_cast<uint32_t>(frames), d) <= wavmaxsamples) return true;
  fprintf(messages, "Error: %s would be too long for a wav file.\n", files.name[outfile]);
  return false;
}

// The checks that the sizes of the stream files allow before anything is read or allocated:
// the output's length and the cepstral order. Files whose size does not show their length
// (pipes) are checked once read.
static bool sizesfit(FILE* messages, const fileset& files, const options& o) {
  uint64_t frames = 0, values = 0;
  uint32_t rest = 0, order = 0;
  if (fdoublecount(files.name[f0file], &frames, &rest) != 0 || frames == 0) return true;
  if (!lengthfits(messages, files, o.synthesis, frames)) return false;
  if (fdoublecount(files.name[ccfile], &values, &rest) != 0 || values == 0) return true;
  return cepstralorder(messages, files, o, frames, values, &order);
}

// false (reported) when the highest maximum voiced frequency lies above half the synthesis rate:
// the streams were made at a higher rate, and decoding them at this one would move every formant.
static bool highestfitsrate(FILE* messages, const fileset& files, const options& o, double highest) {
  if (voicingwithinrate(highest, o.synthesis.fs)) return true;
  fprintf(messages,
          "Error: %s holds a maximum voiced frequency of %g Hz, above %g Hz, half the rate %u Hz; "
          "give the streams' rate with --fs.\n",
          files.name[fvfile], highest, o.synthesis.fs / 2.0, o.synthesis.fs);
  return false;
}

// highestfitsrate of the set's voicing stream, when it has one.
static bool voicingfitsrate(FILE* messages, const fileset& files, const options& o, const setstreams& s) {
  return highestfitsrate(messages, files, o, s.fv ? highestvoicing(s.fv, s.frames) : 0);
}

// Warns when the cepstral order is not the default of the synthesis rate and --ccord was not
// given: the streams may have been made at another rate.
static void reportunexpectedorder(FILE* messages, const fileset& files, const options& o, uint32_t order) {
  const uint32_t expected = defaultccord(o.synthesis.fs);
  if (!o.ccordgiven && order != expected)
    fprintf(messages,
            "Warning: %s holds cepstra of order %u, not %u as at %u Hz; --fs gives the streams' rate, "
            "--ccord their order.\n",
            files.name[ccfile], order, expected, o.synthesis.fs);
}

// The most cepstra to read for `frames` frames: from a stream, frames of --ccord + 1 values or
// of the widest order any supported rate gives; a file whose size shows its length is checked
// whole (sizesfit) and read whole.
static uint64_t mostcepstra(const char* path, const options& o, uint32_t frames) {
  uint64_t values = 0;
  uint32_t rest = 0;
  if (fdoublecount(path, &values, &rest) == 0 && values > 0) return UINT32_MAX;
  const uint64_t width =
      o.ccordgiven ? static_cast<uint64_t>(o.ccord) + 1 : ccordhighest(velkratehighest) + 1;
  return frames * width;
}

// Reads the streams of one set and derives the cepstral order; false (reported) when skipped.
// Streams that cannot seek are read as they come, no further than the largest valid output.
static bool readstreams(FILE* messages, const fileset& files, const options& o, setstreams* s) {
  if (!sizesfit(messages, files, o)) return false;
  uint32_t rest = 0;
  bool exceeded = false;
  const uint64_t mostframes = (wavmaxsamples - 1) / o.synthesis.shift - 1;
  s->frames = fdoublereadlimited(files.name[f0file], &s->f0, &rest, mostframes, &exceeded);
  if (exceeded) return lengthfits(messages, files, o.synthesis, mostframes + 1);
  if (s->frames == 0) return reportunreadable(messages, files.name[f0file]);
  reporttrailingbytes(messages, files.name[f0file], rest);
  const uint32_t values = fdoublereadlimited(files.name[ccfile], &s->cc, &rest,
                                             mostcepstra(files.name[ccfile], o, s->frames), &exceeded);
  if (values == 0) return reportunreadable(messages, files.name[ccfile]);
  reporttrailingbytes(messages, files.name[ccfile], rest);
  if (!cepstralorder(messages, files, o, s->frames, exceeded ? values + uint64_t{1} : values, &s->order))
    return false;
  if (files.name[fvfile]) readvoicing(messages, files, s);
  if (!voicingfitsrate(messages, files, o, *s)) return false;
  reportunexpectedorder(messages, files, o, s->order);
  return true;
}

// Allocates the output; false (reported) when it would not fit a WAV file or memory runs out.
static bool allocateoutput(FILE* messages, const fileset& files, const decodesettings& d, setstreams* s) {
  if (!lengthfits(messages, files, d, s->frames)) return false;
  s->samples = static_cast<uint32_t>(decodedlength(s->frames, d));
  s->out = static_cast<double*>(calloc(s->samples, sizeof(double)));
  return s->out ? true : outofmemory(messages, files.name[outfile]);
}

// Warns when `clipped` samples of the written output lay beyond the 16-bit range.
static void reportclipping(FILE* messages, uint32_t clipped, const char* out) {
  if (clipped != 0)
    fprintf(messages, "Warning: %u samples clipped in %s; --wavnorm=1 scales the output to fit.\n", clipped,
            out);
}

// Warns when samples whose synthesis was not finite have been made silent.
static void reportsilenced(FILE* messages, const silencedsamples& silenced, const char* out) {
  if (silenced.samples != 0)
    fprintf(messages, "Warning: synthesis of frames %u to %u of %s is not finite; they are silent.\n",
            silenced.firstframe, silenced.lastframe, out);
}

// false (reported) when the output is one of the set's streams: writing it would destroy them.
static bool overwritesnothing(FILE* messages, const fileset& files) {
  uint32_t output = 0, input = 0;
  if (findoverwrite(3, files.name, 1, &files.name[outfile], &output, &input) == 0) return true;
  fprintf(messages, "Error: %s would overwrite the input %s.\n", files.name[outfile], files.name[input]);
  return false;
}

// false (reported) when an option given on the command line holds another value than the record.
template <class T>
static bool agrees(FILE* messages, bool given, T option, T recorded, const char* name,
                   const std::string& record) {
  if (!given || option == recorded) return true;
  fprintf(messages, "Error: --%s=%g contradicts %s, which gives %s %g.\n", name, static_cast<double>(option),
          record.c_str(), name, static_cast<double>(recorded));
  return false;
}

// The settings of a set with a record: the record's rate, frame shift, order, warping and range
// adaptation, the command line's factors, and the output at --fs when given, else at the
// record's rate. false (reported) when an option contradicts the record or synthesis cannot work
// with it.
static bool settingsfromrecord(FILE* messages, const options& o, const paramrecord& r,
                               const std::string& record, options* set) {
  if (!agrees(messages, o.lframegiven, o.lframe, static_cast<int>(r.lframe), "lframe", record) ||
      !agrees(messages, o.ccordgiven, o.ccord, static_cast<int>(r.ccord), "ccord", record) ||
      !agrees(messages, o.alphagiven, o.synthesis.alpha, r.alpha, "alpha", record) ||
      !agrees(messages, o.morvscalegiven, o.morvscale, r.morvscale ? 1 : 0, "morvscale", record))
    return false;
  *set = o;
  if (!o.fsgiven) set->fs = static_cast<int>(r.fs);
  set->ccord = static_cast<int>(r.ccord);
  set->ccordgiven = true;
  decodesettings* d = &set->synthesis;
  d->fs = r.fs;
  d->lframe = r.lframe;
  d->alpha = r.alpha;
  d->morvscale = r.morvscale;
  if (preparedecode(d) != 0) {
    fprintf(messages, "Error: %s gives lframe %u: lframe x fdur must be at least one sample.\n",
            record.c_str(), r.lframe);
    return false;
  }
  if (d->filtersdisabled && !o.synthesis.filtersdisabled)
    fprintf(messages, "Warning: floud, fpfilt and fdrc not applicable to %s (%u Hz, alpha %g).\n",
            record.c_str(), r.fs, r.alpha);
  return true;
}

// false (reported) when the sizes of the set's stream files disagree with its record. Streams
// whose size does not show their length (pipes) give `unknown` and are checked once read.
static bool sizesagree(FILE* messages, const fileset& files, const paramrecord& r, const std::string& record,
                       uint64_t lf0values, uint64_t ccvalues, const uint64_t* fvvalues) {
  std::string problem;
  if (paramsizesproblem(r, files.name[f0file], lf0values, files.name[ccfile], ccvalues, files.name[fvfile],
                        fvvalues, &problem) == 0)
    return true;
  fprintf(messages, "Error: %s does not fit %s: %s.\n", files.name[f0file], record.c_str(), problem.c_str());
  return false;
}

// The sizes of the set's stream files, when they show them.
static bool countedsizesagree(FILE* messages, const fileset& files, const paramrecord& r,
                              const std::string& record) {
  uint64_t lf0 = 0, cc = 0, fv = 0;
  uint32_t rest = 0;
  if (fdoublecount(files.name[f0file], &lf0, &rest) != 0 ||
      fdoublecount(files.name[ccfile], &cc, &rest) != 0 || lf0 == 0 || cc == 0)
    return true;
  const bool fvcounted = files.name[fvfile] && fdoublecount(files.name[fvfile], &fv, &rest) == 0 && fv != 0;
  return sizesagree(messages, files, r, record, lf0, cc, fvcounted ? &fv : nullptr);
}

// The settings one set is synthesised with (*set): the command line's, or its record's when it
// has one (*r). false (reported) when the record cannot be read or the set does not fit it.
static bool setsettings(FILE* messages, const fileset& files, const options& o, options* set, paramrecord* r,
                        bool* recorded) {
  const std::string record = paramrecordpath(files.name[f0file]);
  std::string problem;
  const int found = readparamrecord(record.c_str(), r, &problem);
  *recorded = found == 1;
  if (found == 0) *set = o;
  if (found == -1) fprintf(messages, "Error: %s: %s.\n", record.c_str(), problem.c_str());
  return found == 0 || (found == 1 && settingsfromrecord(messages, o, *r, record, set) &&
                        countedsizesagree(messages, files, *r, record));
}

// Brings the synthesised samples to the output's rate when the set was synthesised at another
// (its record's); false (reported) when the result would not fit a WAV file or memory runs out.
static bool resampleoutput(FILE* messages, const fileset& files, const options& set, setstreams* s) {
  const uint32_t rate = static_cast<uint32_t>(set.fs);
  if (rate == set.synthesis.fs) return true;
  double* resampled = nullptr;
  const uint32_t n = resamplesound(s->out, s->samples, set.synthesis.fs, rate, &resampled);
  if (n == 0) return outofmemory(messages, files.name[outfile]);
  free(s->out);
  s->out = resampled;
  s->samples = n;
  if (n <= wavmaxsamples) return true;
  fprintf(messages, "Error: %s would be too long for a wav file.\n", files.name[outfile]);
  return false;
}

// Whether the set can be synthesised block by block: streams in regular files whose sizes show
// their frame count and order (a voicing file too, when named), and output at the synthesis rate.
// Pipes and resampled output take the whole-set path.
static bool streamable(const fileset& files, const options& set) {
  uint64_t lf0 = 0, cc = 0, fv = 0;
  uint32_t rest = 0;
  const bool counted = fdoublecount(files.name[f0file], &lf0, &rest) == 0 && lf0 > 0 &&
                       fdoublecount(files.name[ccfile], &cc, &rest) == 0 && cc > 0 && cc <= UINT32_MAX;
  const bool voicing = !files.name[fvfile] || (fdoublecount(files.name[fvfile], &fv, &rest) == 0 && fv > 0);
  return counted && voicing && static_cast<uint32_t>(set.fs) == set.synthesis.fs;
}

// One pass over the set's frames in blocks (see setblockspass); false (reported) when a read fails
// or a step does (a step reports its own failure).
template <class Step>
static bool eachblock(FILE* messages, const fileset& files, setblocks* f, Step step) {
  int unread = -1;
  if (setblockspass(f, step, &unread) == 0) return true;
  if (unread >= 0) fprintf(messages, "Error: could not read %s.\n", files.name[unread]);
  return false;
}

// A failure of a pass over the set's blocks, reported: a read (the file), else memory.
static bool reportblockfailure(FILE* messages, const fileset& files, int unread) {
  if (unread >= 0) {
    fprintf(messages, "Error: could not read %s.\n", files.name[unread]);
    return false;
  }
  return outofmemory(messages, files.name[outfile]);
}

// Opens the streams of a set whose sizes are known and makes the checks and warnings of
// readstreams, in its order, from the sizes and a pass over the voicing; false (reported) when
// the set is skipped.
static bool openstreams(FILE* messages, const fileset& files, const options& o, setblocks* f) {
  if (!sizesfit(messages, files, o)) return false;
  uint64_t frames = 0, values = 0, voicing = 0;
  uint32_t rest = 0;
  fdoublecount(files.name[f0file], &frames, &rest);
  f->file[f0file] = fopen(files.name[f0file], "rb");
  if (!f->file[f0file]) return reportunreadable(messages, files.name[f0file]);
  reporttrailingbytes(messages, files.name[f0file], rest);
  f->frames = static_cast<uint32_t>(frames);
  fdoublecount(files.name[ccfile], &values, &rest);
  f->file[ccfile] = fopen(files.name[ccfile], "rb");
  if (!f->file[ccfile]) return reportunreadable(messages, files.name[ccfile]);
  reporttrailingbytes(messages, files.name[ccfile], rest);
  if (!cepstralorder(messages, files, o, frames, values, &f->order)) return false;
  if (files.name[fvfile]) {
    fdoublecount(files.name[fvfile], &voicing, &rest);
    f->file[fvfile] = fopen(files.name[fvfile], "rb");
    if (f->file[fvfile]) reporttrailingbytes(messages, files.name[fvfile], rest);
    if (!f->file[fvfile]) {
      fprintf(messages, "Warning: could not open %s.\n", files.name[fvfile]);
    } else if (voicing < frames) {
      fprintf(messages, "Warning: %s and %s have incompatible dimensions.\n", files.name[f0file],
              files.name[fvfile]);
      fclose(f->file[fvfile]);
      f->file[fvfile] = nullptr;
    }
  }
  setblocksprepare(f);
  return true;
}

// voicingfitsrate over the voicing file, read in blocks.
static bool streamvoicingfitsrate(FILE* messages, const fileset& files, const options& o, setblocks* f) {
  if (!f->file[fvfile]) return true;
  double highest = 0;
  const bool read =
      eachblock(messages, files, f, [&](const double*, const double*, const double* fv, uint32_t n) {
        highest = std::fmax(highest, highestvoicing(fv, n));
        return true;
      });
  return read && highestfitsrate(messages, files, o, highest);
}

// The statistics over all frames that the settings need, one pass per survey stage; false
// (reported) on failure.
static bool surveystreams(FILE* messages, const fileset& files, const decodesettings& d, setblocks* f,
                          decodesurvey* sv) {
  int unread = -1;
  return surveysetblocks(f, d, sv, &unread) == 0 || reportblockfailure(messages, files, unread);
}

// One synthesis of the set, block by block: out(samples, n) receives the samples in order.
// *silenced receives the samples made silent. false (reported) on failure.
template <class Output>
static bool synthesisestreams(FILE* messages, const fileset& files, const decodesettings& d,
                              const decodesurvey& sv, setblocks* f, Output out, silencedsamples* silenced) {
  const samplesink sink{&out, [](void* state, const double* x, uint32_t n) {
                          return (*static_cast<Output*>(state))(x, n) ? 0 : -1;
                        }};
  int unread = -1;
  return synthesisesetblocks(f, d, sv, sink, silenced, &unread) == 0 ||
         reportblockfailure(messages, files, unread);
}

// Synthesises a set whose streams are regular files block by block and writes its WAV file as
// the samples come, with the bytes and messages of the whole-set path: a survey pass per
// statistic the settings need, one more synthesis for the peak when normalising.
static bool decodestreamed(FILE* messages, const fileset& files, const options& o, const options& set,
                           const paramrecord& r, bool recorded) {
  setblocks f;
  if (!openstreams(messages, files, set, &f) || !streamvoicingfitsrate(messages, files, set, &f))
    return false;
  reportunexpectedorder(messages, files, set, f.order);
  const uint64_t fvframes = f.frames;
  if (recorded && !sizesagree(messages, files, r, paramrecordpath(files.name[f0file]), f.frames,
                              uint64_t{f.frames} * (f.order + 1), f.file[fvfile] ? &fvframes : nullptr))
    return false;
  const decodesettings& d = set.synthesis;
  decodesurvey sv;
  if (!surveystreams(messages, files, d, &f, &sv)) return false;
  silencedsamples silenced;
  const bool normalise = o.wavnorm == 1;
  double peak = 0;
  if (normalise && !synthesisestreams(
                       messages, files, d, sv, &f,
                       [&](const double* x, uint32_t n) {
                         peak = wavpeak(peak, x, n);
                         return true;
                       },
                       &silenced))
    return false;
  wavblockwriter w;
  const uint32_t samples = static_cast<uint32_t>(decodedlength(f.frames, d));
  errno = 0;
  bool written = wavblockopen(&w, files.name[outfile], samples, static_cast<uint32_t>(set.fs),
                              normalise ? wavnormalisinggain(peak) : 1.0) == 0;
  const int openerror = written ? 0 : errno;  // why the file could not be created
  uint32_t clipped = 0;
  const bool made = synthesisestreams(
      messages, files, d, sv, &f,
      [&](const double* x, uint32_t n) {
        if (!normalise) clipped += wavclippedsamples(x, n);
        written = written && wavblockwrite(&w, x, n) == 0;
        return true;
      },
      &silenced);
  written = wavblockclose(&w) == 0 && written && made;
  if (!made) return false;
  reportsilenced(messages, silenced, files.name[outfile]);
  if (!written) {
    reportuncreated(messages, files.name[outfile], openerror);
    return false;
  }
  reportclipping(messages, clipped, files.name[outfile]);
  return true;
}

// Synthesises one file set and writes its WAV file; a failing set is reported and skipped (false).
static bool decodefileset(const fileset& files, const options& o) {
  FILE* messages = o.messages;
  setstreams s;
  options set;
  paramrecord r;
  bool recorded = false;
  if (!overwritesnothing(messages, files) || !setsettings(messages, files, o, &set, &r, &recorded))
    return false;
  if (streamable(files, set)) return decodestreamed(messages, files, o, set, r, recorded);
  if (!readstreams(messages, files, set, &s)) return false;
  const uint64_t fvframes = s.frames;
  if (recorded && !sizesagree(messages, files, r, paramrecordpath(files.name[f0file]), s.frames,
                              uint64_t{s.frames} * (s.order + 1), s.fv ? &fvframes : nullptr))
    return false;
  if (!allocateoutput(messages, files, set.synthesis, &s)) return false;
  silencedsamples silenced;
  if (decodestreams(s.f0, s.cc, s.fv, s.frames, s.order, set.synthesis, s.out, s.samples, &silenced) != 0)
    return outofmemory(messages, files.name[outfile]);
  reportsilenced(messages, silenced, files.name[outfile]);
  free(s.f0);
  free(s.cc);
  free(s.fv);
  s.f0 = s.cc = s.fv = nullptr;
  if (!resampleoutput(messages, files, set, &s)) return false;
  const uint8_t normalise = o.wavnorm == 1 ? 1 : 0;
  const uint32_t clipped = normalise ? 0 : wavclippedsamples(s.out, s.samples);  // before the in-place write
  errno = 0;
  if (wavwritem16(files.name[outfile], s.out, s.samples, static_cast<uint32_t>(set.fs), normalise, 0) == 0) {
    reportuncreated(messages, files.name[outfile], errno);
    return false;
  }
  reportclipping(messages, clipped, files.name[outfile]);
  return true;
}

namespace {

// velkdecoder's parts of the run over file sets.
struct decoder {
  static constexpr const char* name = "velkdecoder";
  static constexpr double none = HUGE_VAL;
  static constexpr optionrule rules[] = {{"lframe", 'i', 1, none, false},
                                         {"alpha", 'r', -1, 1, true},
                                         {"fpitch", 'r', -none, none, false},
                                         {"fvpitch", 'r', -none, none, false},
                                         {"fdur", 'r', -none, none, false},
                                         {"fwarp", 'r', -none, none, false},
                                         {"floud", 'r', -none, none, false},
                                         {"fpfilt", 'r', -none, none, false},
                                         {"fdrc", 'r', -none, none, false},
                                         {"wavnorm", 'i', 0, 1, false},
                                         {"morvscale", 'i', 0, 1, false},
                                         {"ccord", 'i', 0, none, false},
                                         {"fs", 'i', velkratelowest, velkratehighest, false},
                                         {"indlist", 's', -none, none, false}};
  static constexpr const char* files = "filef0 filecc [filefv] fileout";
  static constexpr const char* conflict = "--lframe, --fdur: lframe x fdur must be at least one sample";
  using optionset = options;
  using nameset = fileset;
  static constexpr uint32_t shownname = outfile;
  static constexpr uint32_t firstoutput = outfile;
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
