// velkcoder: analysis half of the vocoder. Reads a sound file (any format libsndfile reads, mixed
// down to mono) and analyses it at its own rate, or at the rate --fs asks for, from 8 to 48 kHz;
// writes its log-F0, warped-cepstrum and maximum-voiced-frequency streams, for one file set or for
// a numbered series of them. Frame shift, warping factor and order default by the rate. The exit
// status is 1 when any file set failed.

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "ccanalysis.h"
#include "fdoubleio.h"
#include "filesetrun.h"
#include "outputfile.h"
#include "paramread.h"
#include "paramset.h"
#include "pitchanalysis.h"
#include "soundfile.h"
#include "streamencode.h"
#include "velkcodec.h"

using namespace velk;

namespace {

const char* const versiontext = "0.99";

// The options as given; lframe, ccord and alpha, when not given, take the defaults of the rate
// each file is analysed at.
struct options {
  double f0min = 60.0;
  double f0max = 500.0;
  double alpha = 0.42;
  int lframe = 80;
  int ccord = 39;
  int fs = 0;  // 0: each file's own rate
  bool alphagiven = false, lframegiven = false, ccordgiven = false;
  int f0load = 0;
  int ccmeth = 1;
  int f0acc = 0;
  int morvscale = 1;
  int zfill = 160;
  int cctimeit = 0;
  int record = 1;  // 1: the settings record is written beside the streams
  char* indlist = nullptr;
  FILE* messages = stdout;  // the stream of the run's messages
};

// The names of one file set in command-line order; the voiced-frequency name is null when that
// stream is not requested.
enum { wavfile, f0file, ccfile, fvfile, setfiles };
struct fileset {
  char* name[setfiles];
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
  printf("           or any sound file libsndfile reads, mixed to mono,\n");
  printf("           analysed at its own rate from %u to %u Hz\n", velkratelowest, velkratehighest);
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
  printf("   --fs=0          Analysis rate (Hz, %u...%u); 0: the file's own rate\n", velkratelowest,
         velkratehighest);
  printf("                   (lframe, ccord and alpha default by the rate)\n");
  printf("   --record=1      Write the settings record filef0.json beside the streams\n");
  printf("   --alpha=0.42    All-pass warping factor (-1...1, default by the rate)\n");
  printf("   --morvscale=1   Range-adapt the cepstra (1) or not (0)\n");
  printf("   --zfill=160     Dither runs of more equal samples than this\n");
  printf("   --cctimeit=0    Time this many runs of the cepstral analysis\n");
  printf("   --indlist=LIST  Numbered series of file sets, e.g. 1-3,7\n");
  printf("\n");
  printf("\n");
  return 0;
}

// Looks the options up in the fixed order; absent ones keep their defaults.
static void readoptions(int count, char** args, options* o) {
  searchdoubleparam(count, args, "f0min", &o->f0min);
  searchdoubleparam(count, args, "f0max", &o->f0max);
  o->alphagiven = searchdoubleparam(count, args, "alpha", &o->alpha) == 0;
  o->lframegiven = searchintparam(count, args, "lframe", &o->lframe) == 0;
  o->ccordgiven = searchintparam(count, args, "ccord", &o->ccord) == 0;
  searchintparam(count, args, "fs", &o->fs);
  searchintparam(count, args, "f0load", &o->f0load);
  searchintparam(count, args, "ccmeth", &o->ccmeth);
  searchintparam(count, args, "f0acc", &o->f0acc);
  searchintparam(count, args, "morvscale", &o->morvscale);
  searchintparam(count, args, "zfill", &o->zfill);
  searchintparam(count, args, "cctimeit", &o->cctimeit);
  searchintparam(count, args, "record", &o->record);
  o->indlist = searchstringparam(count, args, "indlist");
}

// Options outside the values the program knows: a frame shift below 1, a negative order or
// repetition count, and enumerated options (ccmeth, morvscale) outside their sets.
static bool optionsinset(const options& o) {
  const bool enumerated = o.ccmeth >= 0 && o.ccmeth < velkccmethods &&
                          (o.morvscale == 0 || o.morvscale == 1) && (o.record == 0 || o.record == 1);
  return enumerated && o.lframe >= 1 && o.ccord >= 0 && o.cctimeit >= 0;
}

// The analysis settings of the command line at the rate fs (in the ranges of optionsinset):
// the rate's defaults, overridden by every option given.
static encodesettings analysissettings(const options& o, uint32_t fs) {
  encodesettings s = encodedefaults(fs);
  if (o.lframegiven) s.lframe = static_cast<uint32_t>(o.lframe);
  if (o.ccordgiven) s.ccord = static_cast<uint32_t>(o.ccord);
  if (o.alphagiven) s.alpha = o.alpha;
  s.ccmeth = static_cast<uint8_t>(o.ccmeth);
  s.f0min = o.f0min;
  s.f0max = o.f0max;
  s.f0acc = o.f0acc != 0 ? std::min(static_cast<uint32_t>(o.f0acc), velkmaxrefinements) : 0;
  s.zfill = o.zfill > 0 ? static_cast<uint32_t>(o.zfill) : 0;
  s.morvscale = o.morvscale == 1;
  return s;
}

// Values the analysis can work with: those of optionsinset whose settings pass the library's
// bounds at some rate (pitch limits, order, warping factor); the bounds that depend on the rate
// are checked for each file (ratefits). A rate outside the range is reported.
static bool optionsusable(const options& o) {
  if (o.fs != 0 && !ratesupported(o.fs)) {
    fprintf(o.messages, "Error: --fs=%d lies outside the supported rates, %u to %u Hz.\n", o.fs,
            velkratelowest, velkratehighest);
    return false;
  }
  return optionsinset(o) && checkencodesettings(analysissettings(o, velkratehighest)) == 0;
}

// false (reported) when the settings do not fit the rate they analyse at: f0max at or above half
// the rate, or an order beyond what the rate's spectra hold.
static bool ratefits(FILE* messages, const encodesettings& e, const char* wav) {
  if (!(e.f0max < e.fs / 2.0)) {
    fprintf(messages, "Error: %s: f0max %g Hz is not below %g Hz, half the rate %u Hz.\n", wav, e.f0max,
            e.fs / 2.0, e.fs);
    return false;
  }
  if (e.ccord > ccordhighest(e.fs)) {
    fprintf(messages, "Error: %s: ccord %u exceeds %u, the highest order at %u Hz.\n", wav, e.ccord,
            ccordhighest(e.fs), e.fs);
    return false;
  }
  return checkencodesettings(e) == 0;
}

// The streams of one file set, owned from the WAV read until they are written.
struct setstreams {
  encodesettings settings;    // what the streams were analysed with
  double* x = nullptr;        // signal
  double* f0 = nullptr;       // F0 track in Hz, 0 unvoiced
  double* fv = nullptr;       // maximum voiced frequency, when requested
  double* cc = nullptr;       // cepstra, frames x (ccord + 1)
  const char* wav = nullptr;  // name of the WAV file, for the messages
  uint32_t samples = 0;
  uint32_t frames = 0;
  uint64_t ccsize = 0;
  bool f0fromfile = false;  // loaded log-F0 kept: the file is not rewritten unless refined
  outputfile ccout;         // the cepstra's temporary, when written during the analysis
  bool ccwritten = false;   // ccout holds every cepstrum
  bool ccfailed = false;    // a write to ccout failed: the set fails at its cepstral file
  ~setstreams() {
    free(x);
    free(f0);
    free(fv);
    free(cc);
  }
};

static double* allocatevalues(uint64_t count) {
  return count <= SIZE_MAX / sizeof(double) ? static_cast<double*>(calloc(count, sizeof(double))) : nullptr;
}

static void reportdithered(FILE* messages, const char* wav) {
  fprintf(messages, "Warning: zeros in %s have been filled with noise.\n", wav);
}

static bool outofmemory(FILE* messages, const char* wav) {
  fprintf(messages, "Error: not enough memory to analyse %s.\n", wav);
  return false;
}

// Takes the F0 track from the log-F0 file. A file holding fewer values than the signal has
// frames shortens all streams to its length; a longer one gives its first values and is
// rewritten with the frame count. Values the analyses cannot work with count as unvoiced.
// false (reported) when the file holds no value: the F0 is then analysed.
static bool loadf0track(FILE* messages, const char* path, const encodesettings& e, setstreams* s) {
  uint32_t rest = 0;
  const uint32_t loaded = fdoublereadrest(path, &s->f0, &rest);
  if (loaded == 0) {
    fprintf(messages,
            errno == ENOMEM ? "Warning: not enough memory to read %s; the F0 is analysed.\n"
                            : "Warning: %s holds no log-F0 values; the F0 is analysed.\n",
            path);
    return false;
  }
  reporttrailingbytes(messages, path, rest);
  if (loaded < s->frames) s->frames = loaded;
  s->f0fromfile = loaded == s->frames;
  const uint32_t screened = screenloadedlogf0(s->f0, s->frames, e);
  if (screened != 0)
    fprintf(messages, "Warning: %u log-F0 values of %s lie outside %g to %g Hz and count as unvoiced.\n",
            screened, path, loadedf0lowest(e), loadedf0highest(e));
  logf02f0(s->frames, s->f0);
  return true;
}

static bool allocatestreams(const fileset& files, const encodesettings& e, setstreams* s) {
  if (!s->f0) s->f0 = allocatevalues(s->frames);
  if (files.name[fvfile]) s->fv = allocatevalues(s->frames);
  s->ccsize = getccsize(s->frames, e.ccord);
  s->cc = allocatevalues(s->ccsize);
  return s->f0 && s->cc && (s->fv || !files.name[fvfile]);
}

// The analysis with cctimeit, step by step: the cepstral analysis is repeated that many times
// (each run rewrites every value) and timed.
static int analysetimed(const options& o, const encodesettings& e, bool f0given, setstreams* s) {
  if (padzeros(s->x, s->samples, e.zfill) == 1) reportdithered(o.messages, s->wav);
  if (!f0given && encodepitch(s->x, s->samples, e, s->frames, s->f0) != 0) return -1;
  if (encodevoicing(s->x, s->samples, e, s->frames, s->f0, s->fv) != 0) return -1;
  const time_t started = time(nullptr);
  for (int run = o.cctimeit; run > 0; --run)
    if (encodecepstra(s->x, s->samples, e, s->frames, s->f0, s->cc) != 0) return -1;
  fprintf(o.messages, "Time: %d\n", static_cast<int>(time(nullptr) - started));
  return 0;
}

static int analyse(FILE* messages, const encodesettings& e, bool f0given, setstreams* s) {
  int dithered = 0;
  const int done = encodesignal(s->x, s->samples, e, s->frames, s->f0, f0given, s->fv, s->cc, &dithered);
  if (dithered == 1) reportdithered(messages, s->wav);
  return done;
}

// false (reported) when the signal holds samples the analysis cannot take: non-finite ones, or a
// peak beyond velkpeakhighest times full scale (a float file on the wrong scale); a peak above
// full scale is analysed with a warning.
static bool scaleanalysable(FILE* messages, double peak, const char* wav) {
  if (std::isnan(peak)) {
    fprintf(messages, "Error: %s holds non-finite samples.\n", wav);
    return false;
  }
  if (peak > velkpeakhighest) {
    fprintf(messages, "Error: %s holds samples beyond %g times full scale (peak %g).\n", wav, velkpeakhighest,
            peak);
    return false;
  }
  if (peak > 1.0)
    fprintf(messages,
            "Warning: %s holds samples beyond full scale (peak %g); they are analysed as they are.\n", wav,
            peak);
  return true;
}

// The warnings of a read that gave samples: a file cut short, or converted.
static void reportread(FILE* messages, const soundinfo& info, const char* wav) {
  if (info.present < info.promised)
    fprintf(messages, "Warning: %s: header promises %u samples, %u present.\n", wav, info.promised,
            info.present);
  if (info.status == SOUND_CONVERTED)
    fprintf(messages, "Warning: %s: %u Hz, %u channel%s, %s read as %g kHz mono.\n", wav, info.rate,
            info.channels, info.channels == 1 ? "" : "s", info.encoding, info.readrate / 1000.0);
}

// Reads the sound file of the set as a mono signal at `rate` Hz (0: its own rate); *fs receives
// the rate read at. A file cut short or converted from another format or rate is read with a
// warning; false (reported with the reason) when nothing is read.
static bool readsignal(FILE* messages, setstreams* s, uint32_t rate, uint32_t* fs) {
  soundinfo info;
  s->samples = readsound(s->wav, rate, &s->x, &info);
  *fs = info.readrate;
  if (s->samples == 0) {
    char reason[160];
    fprintf(messages, "Error: could not open %s.\n", s->wav);
    fprintf(messages, "Error: %s: %s.\n", s->wav, soundproblem(info, reason, sizeof reason));
    return false;
  }
  reportread(messages, info, s->wav);
  return true;
}

// The set's sound file read in blocks, pass after pass, as the analysis's source.
struct blockedsound {
  soundsignal signal;
  soundinfo info;
  ~blockedsound() { soundblocksclose(signal.blocks); }
};

// Opens the set's sound file for reading in blocks and surveys it. false, with nothing reported,
// when the file is better read whole: when it is not a regular file read at a supported rate,
// when another rate is asked for, when it holds no sample or more than a signal may, or when
// cctimeit times the analysis.
static bool surveyblocked(const char* wav, const options& o, blockedsound* b) {
  if (o.cctimeit > 0 || (b->signal.blocks = soundblocksopen(wav, &b->info)) == nullptr) return false;
  if (o.fs != 0 && static_cast<uint32_t>(o.fs) != b->info.rate) return false;
  return surveysoundsignal(&b->signal) == 0 &&
         soundblockscounted(b->signal.blocks, b->signal.samples, &b->info) == 0;
}

// The sink of the cepstra: the set's cepstral file, written to its temporary as the analysis goes.
static int writeccpiece(void* state, const double* cc, uint32_t frames) {
  setstreams* s = static_cast<setstreams*>(state);
  const uint64_t count = getccsize(frames, s->settings.ccord);
  std::vector<double> values(cc, cc + count);  // fdoubleput turns its values into floats in place
  if (fdoubleput(s->ccout.file, values.data(), static_cast<uint32_t>(count), 0) == count) return 0;
  s->ccfailed = true;
  return -1;
}

// Analyses a surveyed file in pieces (streamencode.h), the cepstra going straight to their
// temporary, opened before anything is reported; false (reported) when the set is skipped.
static bool analyseblocked(const fileset& files, const options& o, blockedsound* b, setstreams* s) {
  FILE* messages = o.messages;
  reportread(messages, b->info, s->wav);
  s->samples = b->signal.samples;
  s->settings = analysissettings(o, b->info.rate);
  const encodesettings& e = s->settings;
  if (!scaleanalysable(messages, b->signal.peak, s->wav) || !ratefits(messages, e, s->wav)) return false;
  s->frames = encodeframes(s->samples, e.lframe);
  const bool f0given = o.f0load != 0 && loadf0track(messages, files.name[f0file], e, s);
  s->ccsize = getccsize(s->frames, e.ccord);
  if (!s->f0) s->f0 = allocatevalues(s->frames);
  if (files.name[fvfile]) s->fv = allocatevalues(s->frames);
  if (!s->f0 || (files.name[fvfile] && !s->fv)) return outofmemory(messages, s->wav);
  const signalsource source = soundsignalsource(&b->signal);
  const ccsink sink{s, writeccpiece};
  int dithered = 0;
  const int done = encodepieces(source, s->samples, e, s->frames, s->f0, f0given, s->fv, sink, 0, &dithered);
  if (dithered == 1) reportdithered(messages, s->wav);
  // A failed write of the cepstra is reported with the set's other files, as when written whole.
  if (done == 0 || s->ccfailed) return true;
  if (!b->signal.troubled) return outofmemory(messages, s->wav);
  fprintf(messages, "Error: %s changed or could not be read while it was analysed.\n", s->wav);
  return false;
}

// The set analysed in pieces when its sound file reads in blocks and its cepstral file is a
// regular file whose temporary can be opened now; *tried tells whether it was. false (reported)
// when the set is skipped.
static bool analyseinpieces(const fileset& files, const options& o, setstreams* s, bool* tried) {
  blockedsound b;
  *tried = outputnamesfile(files.name[ccfile]) == 1 && surveyblocked(s->wav, o, &b) &&
           outputopen(files.name[ccfile], &s->ccout) != nullptr;
  if (!*tried) return false;
  const bool done = analyseblocked(files, o, &b, s);
  const bool written = outputfinish(&s->ccout, done && !s->ccfailed) == 0 && done && !s->ccfailed;
  s->ccwritten = written;
  s->ccfailed = done && !written;
  return done;
}

// Reads and analyses the signal of one set; false (reported) when the set is skipped. A regular
// file at a supported rate is read in blocks and analysed piece by piece (the same streams, in
// memory that does not grow with its length); anything else is read whole.
static bool analysefileset(const fileset& files, const options& o, setstreams* s) {
  FILE* messages = o.messages;
  s->wav = files.name[wavfile];
  // A rate asked for is known before the file is read, and so is whether the options fit it.
  const uint32_t asked = static_cast<uint32_t>(o.fs);
  if (asked != 0 && !ratefits(messages, analysissettings(o, asked), s->wav)) return false;
  bool inpieces = false;
  const bool analysed = analyseinpieces(files, o, s, &inpieces);
  if (inpieces) return analysed;
  uint32_t fs = 0;
  if (!readsignal(messages, s, asked, &fs) ||
      !scaleanalysable(messages, signalpeak(s->x, s->samples), s->wav))
    return false;
  s->settings = analysissettings(o, fs);
  const encodesettings& e = s->settings;
  if (!ratefits(messages, e, s->wav)) return false;
  s->frames = encodeframes(s->samples, e.lframe);
  const bool f0given = o.f0load != 0 && loadf0track(messages, files.name[f0file], e, s);
  if (!allocatestreams(files, e, s)) return outofmemory(messages, s->wav);
  const int done = o.cctimeit > 0 ? analysetimed(o, e, f0given, s) : analyse(messages, e, f0given, s);
  return done == 0 ? true : outofmemory(messages, s->wav);
}

// One file of a set on its way to its name: a stream, or the settings record (text).
struct streamwrite {
  const char* path = nullptr;
  double* values = nullptr;  // converted to floats inside the array, which is no longer read
  uint64_t count = 0;
  std::string text;  // the record's, written instead of values
  outputfile out;
  bool finished = false;  // written completely, to a temporary kept for the commit
  bool failed = false;    // its write failed during the analysis
};

// The data of the file, once opened; false when the write falls short.
static bool putdata(streamwrite* w) {
  if (!w->values) return fwrite(w->text.data(), 1, w->text.size(), w->out.file) == w->text.size();
  return w->count <= UINT32_MAX &&
         fdoubleput(w->out.file, w->values, static_cast<uint32_t>(w->count), 0) == w->count;
}

// Writes the file to its temporary (or directly to a device or pipe); false (reported) when
// the file cannot be created or the write falls short.
static bool writetemporary(FILE* messages, streamwrite* w) {
  const bool opened = outputopen(w->path, &w->out) != nullptr;
  const int error = opened ? 0 : errno;
  const bool written = opened && putdata(w);
  w->finished = outputfinish(&w->out, written) == 0;
  if (!w->finished) reportuncreated(messages, w->path, error);
  return w->finished;
}

// A file of the set written already during the analysis, one whose write failed then (reported as
// a failed write now, in the set's order), or one written now.
static bool writestream(FILE* messages, streamwrite* w) {
  if (w->finished) return true;
  if (!w->failed) return writetemporary(messages, w);
  reportuncreated(messages, w->path, 0);
  return false;
}

static void discardstreams(FILE* messages, streamwrite* streams, uint32_t count);

// Gives every finished temporary its file's name, all or none; false (reported) when a file
// cannot be replaced: the set then stays as it was, and each of its files is named.
static bool commitstreams(FILE* messages, streamwrite* streams, uint32_t count) {
  std::vector<outputfile*> outs;
  for (uint32_t k = 0; k < count; ++k) outs.push_back(&streams[k].out);
  uint32_t failed = 0;
  if (outputcommitset(outs.data(), count, &failed) == 0) return true;
  reportuncreated(messages, streams[failed].path, errno);
  outputdiscard(&streams[failed].out);
  streams[failed].finished = false;
  discardstreams(messages, streams, count);
  return false;
}

// A set one of whose streams failed: the others' temporaries are removed, so that no new file
// stands beside old ones of the same set; each is named, as not written, or as written already
// when it went straight to a device or pipe.
static void discardstreams(FILE* messages, streamwrite* streams, uint32_t count) {
  for (uint32_t k = 0; k < count; ++k) {
    if (!streams[k].finished) continue;
    if (outputdiscard(&streams[k].out) == 1)
      fprintf(messages, "Warning: %s not written: its set failed.\n", streams[k].path);
    else
      fprintf(messages, "Warning: %s written, though its set failed.\n", streams[k].path);
  }
}

// With --record=0, a record left beside the streams by an earlier run describes the streams just
// replaced, not these: it is removed, so that no reader takes these by its settings. false
// (reported) when it cannot be.
static bool removestalerecord(const fileset& files, const options& o, const std::string& recordpath) {
  if (o.record == 1 || !outputnamesfile(files.name[f0file])) return true;
  const int removed = removeparamrecord(files.name[f0file]);
  if (removed == 1) fprintf(o.messages, "Warning: %s of earlier streams removed.\n", recordpath.c_str());
  if (removed == -1)
    fprintf(o.messages, "Error: could not remove %s, which describes earlier streams.\n", recordpath.c_str());
  return removed != -1;
}

// The settings record of the set, naming its streams as the command line does.
static std::string settingsrecord(const fileset& files, const setstreams& s) {
  const encodesettings& e = s.settings;
  paramrecord r;
  r.fs = e.fs;
  r.lframe = e.lframe;
  r.frames = s.frames;
  r.ccord = e.ccord;
  r.alpha = e.alpha;
  r.ccmeth = e.ccmeth;
  r.morvscale = e.morvscale;
  r.f0min = e.f0min;
  r.f0max = e.f0max;
  const std::string lf0 = files.name[f0file];
  r.lf0 = recordstreamname(lf0, lf0);
  r.cc = recordstreamname(lf0, files.name[ccfile]);
  if (files.name[fvfile]) r.fv = recordstreamname(lf0, files.name[fvfile]);
  return formatparamrecord(r);
}

// Writes the streams of the set as a whole, with the settings record beside the log-F0 file
// when that is a file and --record=1: each goes to a temporary first, and only when every one
// is complete do they take their files' names. false (reported) when any failed.
static bool writestreams(const fileset& files, const options& o, setstreams* s) {
  free(s->x);
  s->x = nullptr;
  streamwrite streams[setfiles + 1];
  const std::string recordpath = paramrecordpath(files.name[f0file]);
  uint32_t count = 0;
  if (!s->f0fromfile || o.f0acc != 0) {
    f02logf0(s->frames, s->f0);
    streams[count].path = files.name[f0file];
    streams[count].values = s->f0;
    streams[count++].count = s->frames;
  }
  streams[count].path = files.name[ccfile];
  if (s->ccwritten) {
    streams[count].out = s->ccout;
    streams[count].finished = true;
    s->ccwritten = false;  // the temporary is the set's to commit or discard now
  }
  streams[count].failed = s->ccfailed;
  streams[count].values = s->cc;
  streams[count++].count = s->ccsize;
  if (files.name[fvfile]) {
    streams[count].path = files.name[fvfile];
    streams[count].values = s->fv;
    streams[count++].count = s->frames;
  }
  if (o.record == 1 && outputnamesfile(files.name[f0file])) {
    streams[count].path = recordpath.c_str();
    streams[count++].text = settingsrecord(files, *s);
  }
  bool complete = true;
  for (uint32_t k = 0; k < count; ++k) complete = writestream(o.messages, &streams[k]) && complete;
  if (complete) return commitstreams(o.messages, streams, count) && removestalerecord(files, o, recordpath);
  discardstreams(o.messages, streams, count);
  return false;
}

// false (reported) when an output of the set (its record included) is the WAV file or another
// output: the set would destroy its own data. The log-F0 file that --f0load reads is rewritten by
// design.
static bool overwritesnothing(const fileset& files, const options& o) {
  const std::string record = paramrecordpath(files.name[f0file]);
  const char* const outputs[] = {files.name[f0file], files.name[ccfile], files.name[fvfile],
                                 o.record == 1 ? record.c_str() : nullptr};
  uint32_t output = 0, other = 0;
  const int found = findoverwrite(1, &files.name[wavfile], 4, outputs, &output, &other);
  if (found == 1)
    fprintf(o.messages, "Error: %s would overwrite the input %s.\n", outputs[output], files.name[wavfile]);
  if (found == 2)
    fprintf(o.messages, "Error: %s would overwrite the output %s.\n", outputs[output], outputs[other]);
  return found == 0;
}

// Analyses one file set and writes its streams; a failing set is reported and skipped (false).
static bool encodefileset(const fileset& files, const options& o) {
  setstreams s;
  return overwritesnothing(files, o) && analysefileset(files, o, &s) && writestreams(files, o, &s);
}

namespace {

// velkcoder's parts of the run over file sets.
struct encoder {
  static constexpr const char* name = "velkcoder";
  static constexpr double none = HUGE_VAL;
  static constexpr optionrule rules[] = {{"f0min", 'r', velkf0floorlowest, velkratehighest / 2.0, false},
                                         {"f0max", 'r', velkf0floorlowest, velkratehighest / 2.0, false},
                                         {"alpha", 'r', -1, 1, true},
                                         {"lframe", 'i', 1, none, false},
                                         {"ccord", 'i', 0, velkccordceiling, false},
                                         {"fs", 'i', 0, velkratehighest, false},
                                         {"f0load", 'i', -none, none, false},
                                         {"ccmeth", 'i', 0, velkccmethods - 1, false},
                                         {"f0acc", 'i', -none, none, false},
                                         {"morvscale", 'i', 0, 1, false},
                                         {"zfill", 'i', -none, none, false},
                                         {"cctimeit", 'i', 0, none, false},
                                         {"record", 'i', 0, 1, false},
                                         {"indlist", 's', -none, none, false}};
  static constexpr const char* files = "filein filef0 filecc [filefv]";
  static constexpr const char* conflict =
      "--fs, --f0min, --f0max: fs must be 0 or a supported rate, and f0min lie below f0max";
  using optionset = options;
  using nameset = fileset;
  static constexpr uint32_t shownname = wavfile;
  static constexpr uint32_t firstoutput = f0file;
  static constexpr auto help = plothelp;
  static constexpr auto readoptions = ::readoptions;
  static bool usable(options* o) { return optionsusable(*o); }
  static fileset commandlineset(char** argv, int filecount) {
    return {{argv[1], argv[2], argv[3], filecount == 5 ? argv[4] : nullptr}};
  }
  static constexpr auto runset = encodefileset;
  static constexpr auto outofmemory = ::outofmemory;
};

}  // namespace

int main(int argc, char** argv) {
  return runfilesets<encoder>(argc, argv);
}
