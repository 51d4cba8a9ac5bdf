// The Python module velk: the vocoder's analysis and synthesis, the pitch trackers and the
// programs' file formats over numpy arrays. The computation is the library's own, the code
// the programs run; this file only checks arguments, converts arrays and releases the GIL
// while the library works.
#include <pybind11/eval.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "arrays.h"
#include "blockio.h"
#include "epochdrive.h"
#include "ccanalysis.h"
#include "fdoubleio.h"
#include "framefeatures.h"
#include "framegrid.h"
#include "outputfile.h"
#include "paramset.h"
#include "pitchanalysis.h"
#include "pitchdp.h"
#include "trackparams.h"
#include "soundfile.h"
#include "streamdecode.h"
#include "streamencode.h"
#include "streaming.h"
#include "velkcodec.h"
#include "wavm1616io.h"

using namespace velk;

namespace {

// Bound of the integer options: what the programs' int options can hold.
const int64_t maxintoption = INT32_MAX;
// A log-F0 track holds no value at or above this; an F0 track in Hz no voiced value below it.
const double logf0ceiling = 20.0;
const double unvoicedlogf0 = -1e10;

[[noreturn]] void refuse(const std::string& message) {
  throw std::invalid_argument(message);
}

void requirerange(int64_t value, int64_t lower, int64_t upper, const char* name, const char* rule) {
  if (value < lower || value > upper)
    refuse(std::string(name) + " " + rule + " (got " + std::to_string(value) + ")");
}

void requireflag(int64_t value, const char* name) {
  requirerange(value, 0, 1, name, "must be 0 or 1");
}

void requirewarping(double alpha) {
  if (!(std::fabs(alpha) < 1.0))
    refuse("alpha must lie strictly between -1 and 1 (got " + shortestdecimal(alpha) + ")");
}

void requirerate(double fs) {
  if (!(std::isfinite(fs) && fs > 0))
    refuse("fs must be a finite sampling rate above 0 Hz (got " + shortestdecimal(fs) + ")");
}

// A whole rate in Hz that the analysis and synthesis work at; the rate as an integer.
uint32_t requiresupported(double fs, const char* name) {
  if (!(fs >= velkratelowest && fs <= velkratehighest && fs == std::floor(fs)))
    refuse(std::string(name) + " must be a whole number of Hz from " + std::to_string(velkratelowest) +
           " to " + std::to_string(velkratehighest) + " (got " + shortestdecimal(fs) + ")");
  return static_cast<uint32_t>(fs);
}

void requirefinitevalue(double v, const char* name) {
  if (!std::isfinite(v)) refuse(std::string(name) + " must be finite (got " + shortestdecimal(v) + ")");
}

// A UserWarning pointing at the caller of the package's function (level 1 is the function of
// velk/__init__.py that calls this module).
void warn(const char* message) {
  if (PyErr_WarnEx(PyExc_UserWarning, message, 2) != 0) throw py::error_already_set();
}

// Float signals are on the +-1 scale: a peak above 1 is reported, one above 64 can only be
// 16-bit values and is refused (today's analysis would shift c0 by ln 32768 without a word).
// int16 arrays are exact and not checked.
const double scalepeakrefused = 64.0;

double peakof(const std::vector<double>& v) {
  double peak = 0.0;
  for (double s : v) peak = std::max(peak, std::fabs(s));
  return peak;
}

// Refuses a float signal above 64; returns its peak.
double requirescale(const py::array& a, const std::vector<double>& v, const char* name) {
  if (elementtypeof(a) == elementtype::int16) return 0.0;
  const double peak = peakof(v);
  if (peak > scalepeakrefused)
    refuse(std::string(name) + " has peak " + shortestdecimal(peak) +
           ", above 64: float signals are on the +-1 scale; divide 16-bit values by 32768 (or pass them as "
           "an int16 array)");
  return peak;
}

// Refuses a float signal above 64, warns about one above 1.
void checkscale(const py::array& a, const std::vector<double>& v, const char* name) {
  const double peak = requirescale(a, v, name);
  if (peak > 1.0)
    warn((std::string(name) + " has peak " + shortestdecimal(peak) +
          ", above 1: float signals are on the +-1 scale; divide 16-bit values by 32768 (or pass them as an "
          "int16 array)")
             .c_str());
}

// ---- encode ----

// The analysis settings at the rate fs: its defaults, overridden by every option given.
encodesettings analysissettings(uint32_t fs, std::optional<int64_t> lframe, std::optional<int64_t> ccord,
                                int64_t ccmeth, std::optional<double> alpha, double f0min, double f0max,
                                int64_t f0acc, int64_t zfill, int64_t morvscale) {
  encodesettings s = encodedefaults(fs);
  const int64_t highest = ccordhighest(fs);
  if (lframe) requirerange(*lframe, 1, maxintoption, "lframe", "must be at least 1 sample");
  if (ccord) requirerange(*ccord, 0, highest, "ccord", ("must lie in 0.." + std::to_string(highest)).c_str());
  requirerange(ccmeth, 0, 4, "ccmeth", "must be one of the envelope methods 0..4");
  if (alpha) requirewarping(*alpha);
  if (!(f0min >= velkf0floorlowest && f0min < f0max && f0max < fs / 2.0))
    refuse("f0min and f0max must satisfy 20 <= f0min < f0max < fs / 2 = " + shortestdecimal(fs / 2.0) +
           " Hz (got " + shortestdecimal(f0min) + " and " + shortestdecimal(f0max) + ")");
  requirerange(f0acc, 0, maxintoption, "f0acc", "must be 0 or more");
  requirerange(zfill, INT32_MIN, maxintoption, "zfill", "must fit a 32-bit integer");
  requireflag(morvscale, "morvscale");
  if (lframe) s.lframe = static_cast<uint32_t>(*lframe);
  if (ccord) s.ccord = static_cast<uint32_t>(*ccord);
  s.ccmeth = static_cast<uint8_t>(ccmeth);
  if (alpha) s.alpha = *alpha;
  s.f0min = f0min;
  s.f0max = f0max;
  s.f0acc = std::min(static_cast<uint32_t>(f0acc), velkmaxrefinements);
  s.zfill = zfill > 0 ? static_cast<uint32_t>(zfill) : 0;
  s.morvscale = morvscale == 1;
  if (checkencodesettings(s) != 0) refuse("the analysis settings are out of their ranges");
  return s;
}

// A given F0 track: its values and whether they are log-F0 (as a --f0load file holds).
struct giventrack {
  std::vector<double> values;
  bool logform = false;
};

// Log-F0 when a value is at or below the unvoiced mark, or when every value is below 20 and
// some is not 0 (no speech F0 in Hz is that low, no log-F0 that high); else F0 in Hz.
bool islogf0(const std::vector<double>& v) {
  bool nonzero = false, allbelow = true;
  for (double x : v) {
    if (x <= unvoicedlogf0) return true;
    nonzero = nonzero || x != 0;
    allbelow = allbelow && x < logf0ceiling;
  }
  return nonzero && allbelow;
}

giventrack readgiventrack(const py::handle& f0) {
  giventrack t;
  t.values = copydoubles(checkedarray(f0, "f0", 1, false), 1.0);
  for (size_t k = 0; k < t.values.size(); ++k)
    if (std::isnan(t.values[k]) || t.values[k] == HUGE_VAL)
      refuse("f0 holds a NaN or +inf value at index " + std::to_string(k));
  t.logform = islogf0(t.values);
  return t;
}

// The analysis of one signal, computed without the GIL.
struct encoded {
  std::vector<double> lf0, cc, fv;
  uint32_t frames = 0;
  uint32_t screened = 0;  // given F0 values taken as unvoiced
  bool dithered = false;
};

// The signal `name` at fs Hz brought to `rate` Hz (unchanged when the rates are equal).
std::vector<double> atrate(std::vector<double>&& x, double fs, uint32_t rate, const char* name) {
  if (fs == rate) return std::move(x);
  double* resampled = nullptr;
  const uint32_t n = resamplesound(x.data(), x.size(), fs, rate, &resampled);
  if (n == 0)
    refuse(std::string(name) + " cannot be resampled from " + shortestdecimal(fs) + " Hz to " +
           std::to_string(rate) + " Hz");
  std::unique_ptr<double, decltype(&free)> owner(resampled, free);
  return std::vector<double>(resampled, resampled + n);
}

// The frames and F0 track of a given track, by the rules of the encoder's --f0load: a shorter
// track shortens the analysis to its length, a longer one gives its first values. The log-F0
// of a track used as given (log-F0 of the frame count, not refined) is returned as given.
void taketrack(const giventrack& t, const encodesettings& s, encoded* e, std::vector<double>* f0,
               bool* keeplog) {
  const uint32_t loaded = static_cast<uint32_t>(t.values.size());
  if (loaded < e->frames) e->frames = loaded;
  f0->assign(t.values.begin(), t.values.begin() + e->frames);
  *keeplog = t.logform && loaded == e->frames && s.f0acc == 0;
  if (t.logform) {
    logf02f0(e->frames, f0->data());
  } else {
    for (double& v : *f0) v = v > 0 ? v : 0.0;
  }
  // F0 values the analyses cannot work with count as unvoiced, as for a loaded log-F0 file.
  const double lowest = loadedf0lowest(s), highest = loadedf0highest(s);
  for (double& v : *f0) {
    if (v > 0 && !(v >= lowest && v <= highest)) {
      v = 0.0;
      ++e->screened;
    }
  }
}

encoded encodearrays(std::vector<double>&& input, double fs, const encodesettings& s, const giventrack* track,
                     bool voicing) {
  std::vector<double> x = atrate(std::move(input), fs, s.fs, "x");
  if (x.size() > UINT32_MAX) refuse("x is too long for the analysis");
  const uint32_t n = static_cast<uint32_t>(x.size());
  encoded e;
  e.frames = encodeframes(n, s.lframe);
  std::vector<double> f0(e.frames);
  bool keeplog = false;
  if (track) taketrack(*track, s, &e, &f0, &keeplog);
  if (voicing) e.fv.assign(e.frames, 0.0);
  e.cc.assign(getccsize(e.frames, s.ccord), 0.0);
  int dithered = 0;
  if (encodesignal(x.data(), n, s, e.frames, f0.data(), track != nullptr, voicing ? e.fv.data() : nullptr,
                   e.cc.data(), &dithered) != 0)
    throw std::bad_alloc();
  e.dithered = dithered == 1;
  if (keeplog) {
    e.lf0.assign(track->values.begin(), track->values.begin() + e.frames);
  } else {
    f02logf0(e.frames, f0.data());
    e.lf0 = std::move(f0);
  }
  return e;
}

// The class Encoded of velk/encoded.py (the three streams with their settings), imported with
// the module and kept for the process.
py::handle encodedtuple;

// An Encoded of the three streams and the settings they were analysed with.
py::object encodedof(py::object lf0, py::object cc, py::object fv, const encodesettings& s) {
  using namespace pybind11::literals;
  return encodedtuple(lf0, cc, fv, s.fs, s.lframe, "alpha"_a = s.alpha, "ccmeth"_a = s.ccmeth,
                      "morvscale"_a = s.morvscale, "f0min"_a = s.f0min, "f0max"_a = s.f0max);
}

// The rate a signal at fs Hz is analysed at: `resample` when given, else fs itself, a rate above
// the highest brought down to that with a warning (as the encoder does with a file).
uint32_t analysisrate(double fs, std::optional<double> resample) {
  requirerate(fs);
  if (resample) return requiresupported(*resample, "resample");
  if (fs > velkratehighest) {
    warn(("fs = " + shortestdecimal(fs) + " Hz lies above " + std::to_string(velkratehighest) +
          " Hz; x is resampled to " + std::to_string(velkratehighest) + " Hz.")
             .c_str());
    return velkratehighest;
  }
  return requiresupported(fs, "fs");
}

py::object encode(const py::object& x, double fs, std::optional<int64_t> lframe, std::optional<int64_t> ccord,
                  int64_t ccmeth, std::optional<double> alpha, double f0min, double f0max, int64_t f0acc,
                  int64_t zfill, int64_t morvscale, const py::object& f0, bool voicing,
                  std::optional<double> resample) {
  const uint32_t rate = analysisrate(fs, resample);
  const encodesettings s =
      analysissettings(rate, lframe, ccord, ccmeth, alpha, f0min, f0max, f0acc, zfill, morvscale);
  std::vector<double> samples = checkedsignal(x, "x");
  giventrack track;
  if (!f0.is_none()) track = readgiventrack(f0);
  encoded e;
  {
    py::gil_scoped_release nogil;
    e = encodearrays(std::move(samples), fs, s, f0.is_none() ? nullptr : &track, voicing);
  }
  if (e.dithered) warn("zeros in the signal have been filled with noise.");
  if (e.screened != 0) {
    char text[160];
    snprintf(text, sizeof text, "%u values of f0 lie outside %g to %g Hz and count as unvoiced.", e.screened,
             loadedf0lowest(s), loadedf0highest(s));
    warn(text);
  }
  const py::ssize_t frames = e.frames, width = s.ccord + 1;
  py::object fv = voicing ? py::object(ownedarray(std::move(e.fv), {frames})) : py::none();
  return encodedof(ownedarray(std::move(e.lf0), {frames}), ownedarray(std::move(e.cc), {frames, width}), fv,
                   s);
}

// The cepstra of encodefile on their way to the file.
struct ccfile {
  FILE* file = nullptr;
  uint32_t width = 0;
};

int writeccfile(void* state, const double* cc, uint32_t frames) {
  const ccfile* f = static_cast<const ccfile*>(state);
  const uint64_t count = static_cast<uint64_t>(frames) * f->width;
  std::vector<double> values(cc, cc + count);  // fdoubleput turns them into floats in place
  return fdoubleput(f->file, values.data(), static_cast<uint32_t>(count), 0) == count ? 0 : -1;
}

// A rate in kHz as the programs print it ("16", "44.1", "22.05").
std::string kilohertz(uint32_t rate) {
  char text[32];
  snprintf(text, sizeof text, "%g", rate / 1000.0);
  return text;
}

// The warning of read_wav for a file read otherwise than as it is stored.
void warnconverted(const std::string& path, const soundinfo& info) {
  warn((path + ": " + std::to_string(info.rate) + " Hz, " + std::to_string(info.channels) + " channel" +
        (info.channels == 1 ? "" : "s") + ", " + info.encoding + " read as " + kilohertz(info.readrate) +
        " kHz mono.")
           .c_str());
}

// Opens the sound file at path in blocks and surveys it: its blocks (the caller's to close), or
// null when it is better read whole, whose warnings are read_wav's. A file is taken in blocks when
// they give what read_wav would read: one or more samples at its own rate (at `rate`, when given),
// none beyond full scale, as many as its header promises.
soundblocks* openforpieces(const std::string& path, std::optional<double> rate, soundsignal* g,
                           soundinfo* info) {
  g->blocks = soundblocksopen(path.c_str(), info);
  bool pieces = g->blocks && (info->status == SOUND_READ || info->status == SOUND_CONVERTED) &&
                (!rate || *rate == info->rate);
  if (pieces) {
    py::gil_scoped_release nogil;
    pieces = surveysoundsignal(g) == 0 && soundblockscounted(g->blocks, g->samples, info) == 0 &&
             info->present >= info->promised && g->peak <= 1.0;
  }
  if (!pieces && g->blocks) {
    soundblocksclose(g->blocks);
    g->blocks = nullptr;
  }
  return g->blocks;
}

// A sound file analysed in pieces (streamencode.h), its cepstra written to ccpath as they are
// final (32-bit floats, as velkcoder writes them): (Encoded with no cepstral rows, samples,
// samples at full scale), or None when the file is better read whole (read_wav, then encode):
// resampled files, files cut short and samples beyond full scale, whose warnings are read_wav's
// and encode's. A file read otherwise than as it is stored gets read_wav's warning.
py::object encodefile(const std::string& path, const std::string& ccpath, std::optional<double> resample,
                      std::optional<int64_t> lframe, std::optional<int64_t> ccord, int64_t ccmeth,
                      std::optional<double> alpha, double f0min, double f0max, int64_t f0acc, int64_t zfill,
                      int64_t morvscale) {
  soundinfo info;
  soundsignal g;
  const std::unique_ptr<soundblocks, decltype(&soundblocksclose)> owner(
      openforpieces(path, resample, &g, &info), soundblocksclose);
  if (!owner) return py::none();
  const encodesettings s =
      analysissettings(info.rate, lframe, ccord, ccmeth, alpha, f0min, f0max, f0acc, zfill, morvscale);
  if (info.status == SOUND_CONVERTED) warnconverted(path, info);
  int done = -1, dithered = 0;
  std::vector<double> f0, fv;
  {
    py::gil_scoped_release nogil;
    const uint32_t frames = encodeframes(g.samples, s.lframe);
    f0.assign(frames, 0.0);
    fv.assign(frames, 0.0);
    ccfile out{fopen(ccpath.c_str(), "wb"), s.ccord + 1};
    const ccsink sink{&out, writeccfile};
    done = out.file ? encodepieces(soundsignalsource(&g), g.samples, s, frames, f0.data(), false, fv.data(),
                                   sink, 0, &dithered)
                    : -1;
    if (out.file && fclose(out.file) != 0) done = -1;
  }
  if (done != 0) {
    if (g.troubled) refuse(path + " changed or could not be read while it was analysed");
    throw std::runtime_error("could not write " + ccpath + " or not enough memory to analyse " + path);
  }
  if (dithered == 1) warn("zeros in the signal have been filled with noise.");
  f02logf0(static_cast<uint32_t>(f0.size()), f0.data());
  const py::ssize_t frames = static_cast<py::ssize_t>(f0.size());
  py::object e = encodedof(ownedarray(std::move(f0), {frames}),
                           ownedarray(std::vector<double>(), {0, static_cast<py::ssize_t>(s.ccord) + 1}),
                           ownedarray(std::move(fv), {frames}), s);
  return py::make_tuple(e, g.samples, g.fullscale);
}

// ---- decode ----

decodesettings synthesissettings(uint32_t fs, std::optional<int64_t> lframe, std::optional<double> alpha,
                                 double fpitch, double fvpitch, double fdur, double fwarp, double floud,
                                 double fpfilt, double fdrc, int64_t morvscale) {
  if (lframe) requirerange(*lframe, 1, maxintoption, "lframe", "must be at least 1 sample");
  if (alpha) requirewarping(*alpha);
  requireflag(morvscale, "morvscale");
  decodesettings d = decodedefaults(fs);
  if (lframe) d.lframe = static_cast<uint32_t>(*lframe);
  if (alpha) d.alpha = *alpha;
  d.fpitch = fpitch;
  d.fvpitch = fvpitch;
  d.fdur = fdur;
  d.fwarp = fwarp;
  d.floud = floud;
  d.fpfilt = fpfilt;
  d.fdrc = fdrc;
  d.morvscale = morvscale == 1;
  if (preparedecode(&d) != 0)
    refuse("lframe * fdur must be at least one sample (got lframe = " + std::to_string(d.lframe) +
           ", fdur = " + shortestdecimal(fdur) + ")");
  return d;
}

// The streams and settings of a decode call. From an encode result passed as lf0: its streams,
// rate, frame shift, warping and range adaptation; an option that contradicts one of them is
// refused naming both, except fs, which then names the output's rate (the synthesis runs at the
// analysis rate and is resampled). Otherwise the arrays and the options as given.
struct decodeinput {
  py::object lf0, cc, fv;
  std::optional<double> fs;  // the rate the streams were analysed at
  std::optional<int64_t> lframe;
  std::optional<double> alpha;
  int64_t morvscale = 1;
  std::optional<double> outputrate;  // the output's rate, when the synthesis is resampled to it
};

template <typename T>
void takesetting(const py::object& e, const char* name, std::optional<T>* given) {
  const py::object value = e.attr(name);
  if (value.is_none()) return;  // the rate's default
  const T recorded = value.cast<T>();
  if (given->has_value() && **given != recorded)
    refuse(std::string(name) + " = " + shortestdecimal(static_cast<double>(**given)) +
           " contradicts the encode result's " + name + " = " +
           shortestdecimal(static_cast<double>(recorded)));
  *given = recorded;
}

decodeinput decodestreamsof(const py::object& lf0, const py::object& cc, const py::object& fv,
                            std::optional<double> fs, std::optional<int64_t> lframe,
                            std::optional<double> alpha, std::optional<int64_t> morvscale) {
  decodeinput in{lf0, cc, fv, fs, lframe, alpha, morvscale.value_or(1), std::nullopt};
  if (!py::isinstance(lf0, encodedtuple)) {
    if (cc.is_none()) refuse("cc must be given (or an encode result in place of lf0)");
    return in;
  }
  if (!cc.is_none() || !fv.is_none()) refuse("cc and fv come from the encode result passed as lf0");
  in.lf0 = lf0.attr("lf0");
  in.cc = lf0.attr("cc");
  in.fv = lf0.attr("fv");
  takesetting(lf0, "lframe", &in.lframe);
  takesetting(lf0, "alpha", &in.alpha);
  std::optional<int64_t> adapted = morvscale;
  takesetting(lf0, "morvscale", &adapted);
  in.morvscale = *adapted;
  in.fs = lf0.attr("fs").cast<double>();
  if (fs && *fs != *in.fs) in.outputrate = fs;
  return in;
}

// The cepstra as frames rows: a 2-D array of one row per frame, or a 1-D stream whose length
// is a whole multiple of the frame count (the order derived as the decoder does).
std::vector<double> readcepstra(const py::handle& cc, uint32_t frames, uint32_t* order) {
  const py::array given = py::array::ensure(cc);
  const int ndim = given && given.ndim() == 1 ? 1 : 2;
  const py::array a = checkedarray(cc, "cc", ndim, false);
  const uint64_t values = static_cast<uint64_t>(a.size());
  const bool whole = ndim == 2 ? a.shape(0) == static_cast<py::ssize_t>(frames) : values % frames == 0;
  if (!whole)
    refuse("lf0 and cc have incompatible dimensions (lf0 has " + std::to_string(frames) + " frames, cc " +
           (ndim == 2 ? std::to_string(a.shape(0)) + " rows" : std::to_string(values) + " values") + ")");
  if (cepstralorderof(frames, values, order) != 0) refuse("cc has too many values per frame");
  return copydoubles(a, 1.0);
}

// The synthesis at d.fs, resampled to outputrate when that differs, then normalised when asked.
std::vector<double> decodearrays(std::vector<double>&& lf0, std::vector<double>&& cc,
                                 const std::vector<double>* fv, uint32_t order, const decodesettings& d,
                                 uint32_t outputrate, bool normalise, silencedsamples* silenced) {
  const uint32_t frames = static_cast<uint32_t>(lf0.size());
  std::vector<double> out(decodedlength(frames, d));
  if (decodestreams(lf0.data(), cc.data(), fv ? fv->data() : nullptr, frames, order, d, out.data(),
                    static_cast<uint32_t>(out.size()), silenced) != 0)
    throw std::bad_alloc();
  out = atrate(std::move(out), d.fs, outputrate, "the synthesis");
  if (normalise) wavampnormalize(out.data(), static_cast<uint32_t>(out.size()));
  return out;
}

// decode's warning when the post-filters cannot apply at the rate or warping.
void warnfiltersdisabled(const decodesettings& d, uint32_t rate) {
  if (d.filtersdisabled && rate != velksamplingrate)
    warn(("floud, fpfilt and fdrc not applicable at " + std::to_string(rate) + " Hz.").c_str());
  else if (d.filtersdisabled)
    warn("floud, fpfilt and fdrc not applicable for this alpha.");
}

// decode's warning about frames whose synthesis is not finite.
void warnsilenced(const silencedsamples& silenced) {
  if (silenced.samples != 0)
    warn(("synthesis of frames " + std::to_string(silenced.firstframe) + " to " +
          std::to_string(silenced.lastframe) + " is not finite; they are silent.")
             .c_str());
}

py::array_t<double> decode(const py::object& lf0, const py::object& cc, const py::object& fv,
                           std::optional<double> fs, std::optional<int64_t> lframe,
                           std::optional<double> alpha, double fpitch, double fvpitch, double fdur,
                           double fwarp, double floud, double fpfilt, double fdrc, int64_t wavnorm,
                           std::optional<int64_t> morvscale) {
  requireflag(wavnorm, "wavnorm");
  const decodeinput in = decodestreamsof(lf0, cc, fv, fs, lframe, alpha, morvscale);
  const uint32_t rate = requiresupported(in.fs.value_or(velksamplingrate), "fs");
  const uint32_t outputrate = in.outputrate ? requiresupported(*in.outputrate, "fs") : rate;
  const decodesettings d = synthesissettings(rate, in.lframe, in.alpha, fpitch, fvpitch, fdur, fwarp, floud,
                                             fpfilt, fdrc, in.morvscale);
  std::vector<double> track = copydoubles(checkedarray(in.lf0, "lf0", 1, false), 1.0);
  if (track.size() > UINT32_MAX) refuse("lf0 has too many frames");
  const uint32_t frames = static_cast<uint32_t>(track.size());
  uint32_t order = 0;
  std::vector<double> cepstra = readcepstra(in.cc, frames, &order);
  if (!in.fs) requiredefaultorder(order);
  std::vector<double> voicing;
  if (!in.fv.is_none()) {
    voicing = copydoubles(checkedarray(in.fv, "fv", 1, false), 1.0);
    if (voicing.size() != frames)
      refuse("lf0 and fv have incompatible dimensions (lf0 has " + std::to_string(frames) + " frames, fv " +
             std::to_string(voicing.size()) + ")");
    const double highest = highestvoicing(voicing.data(), frames);
    if (!voicingwithinrate(highest, rate))
      refuse("fv holds a maximum voiced frequency of " + shortestdecimal(highest) + " Hz, above fs / 2 = " +
             shortestdecimal(rate / 2.0) + " Hz; pass the rate the streams were made at as fs");
  }
  if (decodedlength(frames, d) > UINT32_MAX) refuse("the synthesised signal would exceed 2^32 samples");
  warnfiltersdisabled(d, rate);
  std::vector<double> out;
  silencedsamples silenced;
  {
    py::gil_scoped_release nogil;
    out = decodearrays(std::move(track), std::move(cepstra), in.fv.is_none() ? nullptr : &voicing, order, d,
                       outputrate, wavnorm == 1, &silenced);
  }
  warnsilenced(silenced);
  const py::ssize_t n = static_cast<py::ssize_t>(out.size());
  return ownedarray(std::move(out), {n});
}

// ---- envelopes and frame times ----

py::array_t<double> envelope(const py::object& cc, double fs, std::optional<double> alpha,
                             std::optional<int64_t> nfft, int64_t morvscale) {
  const uint32_t rate = requiresupported(fs, "fs");
  const double warping = alpha.value_or(defaultalpha(rate));
  requirewarping(warping);
  requireflag(morvscale, "morvscale");
  const int64_t size = nfft.value_or(ccbasefftsize(rate));
  if (size < 2 || size % 2 != 0 || size > (int64_t{1} << 24))
    refuse("nfft must be an even number from 2 to 2^24 (got " + std::to_string(size) + ")");
  const py::array given = py::array::ensure(cc);
  const bool single = given && given.ndim() == 1;
  const py::array a = checkedarray(cc, "cc", single ? 1 : 2, false);
  const uint32_t width = static_cast<uint32_t>(single ? a.shape(0) : a.shape(1));
  const uint32_t frames = static_cast<uint32_t>(single ? 1 : a.shape(0));
  if (width == 0) refuse("cc must hold at least c0 in every frame");
  const std::vector<double> cepstra = copydoubles(a, 1.0);
  requirefinite(cepstra, "cc");
  const uint32_t bins = static_cast<uint32_t>(size / 2 + 1);
  std::vector<double> out(static_cast<size_t>(frames) * bins);
  {
    py::gil_scoped_release nogil;
    if (cepstralenvelopes(cepstra.data(), frames, width - 1, rate, warping, morvscale == 1, bins,
                          out.data()) != 0)
      throw std::bad_alloc();
  }
  const auto overflow = std::find_if(out.begin(), out.end(), [](double v) { return !std::isfinite(v); });
  if (overflow != out.end())
    refuse("cc: the envelope of frame " + std::to_string((overflow - out.begin()) / bins) +
           " overflows (its magnitude exceeds the float range)");
  if (single) return ownedarray(std::move(out), {static_cast<py::ssize_t>(bins)});
  return ownedarray(std::move(out), {static_cast<py::ssize_t>(frames), static_cast<py::ssize_t>(bins)});
}

py::array_t<double> frametimes(int64_t n, double fs, std::optional<int64_t> lframe) {
  const uint32_t rate = requiresupported(fs, "fs");
  requirerange(n, 0, UINT32_MAX, "n", "must lie in 0..2^32-1");
  const int64_t shift = lframe.value_or(defaultlframe(rate));
  requirerange(shift, 1, maxintoption, "lframe", "must be at least 1 sample");
  std::vector<double> t(static_cast<size_t>(n));
  for (size_t k = 0; k < t.size(); ++k) t[k] = static_cast<double>(k) * static_cast<double>(shift) / rate;
  return ownedarray(std::move(t), {static_cast<py::ssize_t>(n)});
}

// ---- features ----

// The features by name, in the order they are returned.
struct featurename {
  const char* name;
  uint32_t bit;
};
const featurename featurenames[] = {{"f0", FEATURE_F0},           {"vuv", FEATURE_VUV},
                                    {"voicing", FEATURE_VOICING}, {"lf0", FEATURE_LF0},
                                    {"energy", FEATURE_ENERGY},   {"cc", FEATURE_CC},
                                    {"fv", FEATURE_FV},           {"margin", FEATURE_MARGIN}};

uint32_t featureselection(const std::vector<std::string>& names) {
  uint32_t selection = 0;
  for (const std::string& name : names) {
    uint32_t bit = 0;
    for (const featurename& f : featurenames)
      if (name == f.name) bit = f.bit;
    if (bit == 0)
      refuse("features: unknown feature '" + name + "' (f0, vuv, voicing, lf0, energy, cc, fv, margin)");
    selection |= bit;
  }
  if (selection == 0) refuse("features must name at least one feature");
  return selection;
}

// The grid and pitch range of velk.features, checked.
featuresettings featuregrid(double fs, int64_t hop, std::optional<double> hopms, int64_t window, bool center,
                            double f0min, double f0max) {
  featuresettings s;
  s.grid.fs = requiresupported(fs, "fs");
  if (hopms) {
    const uint32_t h = hopfromms(*hopms, s.grid.fs);
    if (h == 0 || h > maxintoption)
      refuse("hop_ms must give at least one sample at fs (got " + shortestdecimal(*hopms) + ")");
    hop = h;
  }
  requirerange(hop, 1, maxintoption, "hop", "must be at least 1 sample");
  requirerange(window, 1, maxintoption, "window", "must be at least 1 sample");
  s.grid.hop = static_cast<uint32_t>(hop);
  s.grid.window = static_cast<uint32_t>(window);
  s.grid.center = center;
  s.f0min = f0min;
  s.f0max = f0max;
  if (checkfeaturesettings(s) != 0)
    refuse("f0min and f0max must satisfy 20 <= f0min < f0max < fs / 2 = " + shortestdecimal(fs / 2.0) +
           " Hz (got " + shortestdecimal(f0min) + " and " + shortestdecimal(f0max) + ")");
  return s;
}

// The class Features: a dict of the arrays by name, read also as attributes, with the grid
// beside them; made at import and kept for the process.
py::handle featuresrecord;

const char* const featuresdefinition = R"py(
class Features(dict):
    """The arrays of velk.features by name (one row per frame), also read as attributes
    (f.f0 is f["f0"]), with times (the frame centres in seconds) and the grid they were
    computed on: fs (Hz), hop and window (samples) and center."""
    def __init__(self, arrays, fs, hop, window, center):
        super().__init__(arrays)
        self.fs, self.hop, self.window, self.center = fs, hop, window, center
    def __getattr__(self, name):
        try:
            return self[name]
        except KeyError:
            raise AttributeError(name) from None
    def __repr__(self):
        return "Features(%s, fs=%r, hop=%r, window=%r, center=%r)" % (
            dict.__repr__(self), self.fs, self.hop, self.window, self.center)
)py";

py::object features(const py::object& x, double fs, int64_t hop, int64_t window, bool center, double f0min,
                    double f0max, const std::vector<std::string>& names, std::optional<double> hopms) {
  const featuresettings s = featuregrid(fs, hop, hopms, window, center, f0min, f0max);
  const uint32_t selection = featureselection(names);
  const py::array signal = checkedarray(x, "x", 1, true, true);
  std::vector<double> samples = copydoubles(signal, 1.0 / 32768);
  requirefinite(samples, "x");
  checkscale(signal, samples, "x");
  if (samples.size() > UINT32_MAX) refuse("x is too long for the analysis");
  const uint64_t frames = gridframes(s.grid, samples.size());
  const uint32_t width = featureccord(s.grid.fs) + 1;
  std::vector<std::vector<double>> arrays(std::size(featurenames));
  featureoutputs out;
  double** slots[] = {&out.f0, &out.vuv, &out.voicing, &out.lf0, &out.energy, &out.cc, &out.fv, &out.margin};
  for (size_t k = 0; k < arrays.size(); ++k) {
    if (!(selection & featurenames[k].bit)) continue;
    arrays[k].assign(featurenames[k].bit == FEATURE_CC ? frames * width : frames, 0.0);
    *slots[k] = arrays[k].data();
  }
  int status;
  {
    py::gil_scoped_release nogil;
    status = computefeatures(samples.data(), static_cast<uint32_t>(samples.size()), s,
                             static_cast<uint32_t>(frames), out);
  }
  if (status != 0) throw std::bad_alloc();
  py::dict record;
  for (size_t k = 0; k < arrays.size(); ++k) {
    if (!(selection & featurenames[k].bit)) continue;
    std::vector<py::ssize_t> shape{static_cast<py::ssize_t>(frames)};
    if (featurenames[k].bit == FEATURE_CC) shape.push_back(width);
    record[featurenames[k].name] = ownedarray(std::move(arrays[k]), shape);
  }
  std::vector<double> times(frames);
  for (uint64_t t = 0; t < frames; ++t) times[t] = static_cast<double>(gridcentre(s.grid, t)) / s.grid.fs;
  record["times"] = ownedarray(std::move(times), {static_cast<py::ssize_t>(frames)});
  return featuresrecord(record, s.grid.fs, s.grid.hop, s.grid.window, s.grid.center);
}

// The blocks of features_file on their way to the Python sink; the first Python error raised
// there ends the analysis and is raised again once it has stopped.
struct featureblocks {
  py::object sink;
  uint32_t selection = 0, width = 0;
  std::optional<py::error_already_set> error;
};

int givefeatureblock(void* state, uint32_t k0, uint32_t count, const featureoutputs& values) {
  featureblocks* b = static_cast<featureblocks*>(state);
  py::gil_scoped_acquire gil;
  try {
    const double* const arrays[] = {values.f0,     values.vuv, values.voicing, values.lf0,
                                    values.energy, values.cc,  values.fv,      values.margin};
    py::dict block;
    for (size_t k = 0; k < std::size(featurenames); ++k) {
      if (!(b->selection & featurenames[k].bit)) continue;
      const bool cc = featurenames[k].bit == FEATURE_CC;
      const size_t size = static_cast<size_t>(count) * (cc ? b->width : 1);
      std::vector<py::ssize_t> shape{static_cast<py::ssize_t>(count)};
      if (cc) shape.push_back(b->width);
      block[featurenames[k].name] = ownedarray(std::vector<double>(arrays[k], arrays[k] + size), shape);
    }
    b->sink.attr("write")(k0, block);
    return 0;
  } catch (py::error_already_set& e) {
    b->error = std::move(e);
    return -1;
  } catch (const std::bad_alloc&) {
    return -1;  // reported as memory that ran out
  }
}

// The features of a sound file read in blocks (computefeaturespieces), given to sink as they
// come: sink.grid(fs) gives the hop and window in samples at the file's rate, sink.begin(frames,
// width of cc) learns the frame count, sink.write(k0, arrays by name) takes frames k0 on. Returns
// (rate, samples, frames, hop, window), or None when the file is better read whole (read_wav,
// then features): cut-short files and samples beyond full scale, whose warnings are
// read_wav's and features'.
py::object featuresfile(const std::string& path, const py::object& sink, bool center, double f0min,
                        double f0max, const std::vector<std::string>& names) {
  const uint32_t selection = featureselection(names);
  soundinfo info;
  soundsignal g;
  const std::unique_ptr<soundblocks, decltype(&soundblocksclose)> owner(
      openforpieces(path, std::nullopt, &g, &info), soundblocksclose);
  if (!owner) return py::none();
  const py::tuple lengths = sink.attr("grid")(info.rate);
  const featuresettings s = featuregrid(info.rate, lengths[0].cast<int64_t>(), std::nullopt,
                                        lengths[1].cast<int64_t>(), center, f0min, f0max);
  const uint32_t frames = static_cast<uint32_t>(gridframes(s.grid, g.samples));
  featureblocks blocks{sink, selection, featureccord(s.grid.fs) + 1, std::nullopt};
  sink.attr("begin")(frames, blocks.width);
  int status;
  {
    py::gil_scoped_release nogil;
    status = computefeaturespieces(soundsignalsource(&g), g.samples, s, frames, selection,
                                   {&blocks, givefeatureblock}, 0, pitchtrackermarginframes);
  }
  if (blocks.error) throw std::move(*blocks.error);
  if (status != 0) {
    if (g.troubled) refuse(path + " changed or could not be read while it was analysed");
    PyErr_SetString(PyExc_MemoryError,
                    ("not enough memory or temporary file space to analyse " + path).c_str());
    throw py::error_already_set();
  }
  return py::make_tuple(info.rate, g.samples, frames, s.grid.hop, s.grid.window);
}

py::array_t<int16_t> toint16(const py::object& y) {
  const std::vector<double> v = copydoubles(checkedarray(y, "y", 1, false, true), 1.0);
  py::array_t<int16_t> out(static_cast<py::ssize_t>(v.size()));
  if (v.size() > UINT32_MAX) refuse("y has more than 2^32 samples");
  wavdouble2short(static_cast<uint32_t>(v.size()), v.data(), out.mutable_data());
  return out;
}

// ---- pitch ----

int outputtype(const std::string& output) {
  if (output == "hz") return 1;
  if (output == "log") return 2;
  if (output == "period") return 0;
  refuse("output must be \"hz\", \"log\" or \"period\" (got \"" + output + "\")");
}

// The trackers' parameter checks, made here in their own arithmetic so that a refusal names the
// argument (the trackers would refuse the same settings with a message of their own).
void checktrackerparameters(double fs, int64_t frameshift, double f0min, double f0max, size_t length,
                            bool epoch) {
  if (!(fs >= kLowestSampleFreq && fs <= kHighestSampleFreq))
    refuse("fs: sampling frequency must be between 4 and 1000 kHz (got " + shortestdecimal(fs) + " Hz)");
  const float minf0 = static_cast<float>(f0min), maxf0 = static_cast<float>(f0max);
  if (!(minf0 < maxf0) || !(maxf0 < fs / 2.0) || !(minf0 >= fs / 10000.0))
    refuse(
        "f0min, f0max: min(max)_f0 parameter inconsistent with sampling frequency (need fs / 10000 <= "
        "f0min < f0max < fs / 2)");
  if (epoch && !(f0min >= kEpochLowestF0))
    refuse("f0min: min_f0 of the epoch tracker must be at least 10 Hz (got " + shortestdecimal(f0min) + ")");
  float framestep = framestepof(static_cast<int>(frameshift), fs);
  const double whole = std::trunc(framestep * fs + 0.5) / fs;
  if (whole != framestep) framestep = static_cast<float>(whole);
  if (!(framestep <= 0.1f) || !(framestep >= 1.0 / fs))
    refuse("frame_shift: frame_step parameter must be between [1/sampling rate, 0.1] (got " +
           std::to_string(frameshift) + " samples)");
  if ((2 * framestep + kCorrelationWindow) * fs > static_cast<double>(length))
    refuse("x: input range too small for analysis (" + std::to_string(length) + " samples)");
  if (epoch && length > static_cast<size_t>(kEpochLongestInput))
    refuse("x: input too long for the epoch tracker (" + std::to_string(length) + " samples, at most " +
           std::to_string(kEpochLongestInput) + ")");
}

// The samples of a vector as the dynamic-programming tracker's source.
struct vectorsource {
  const std::vector<float>* x;
  size_t at = 0;
  static long read(void* context, float* dst, long n) {
    vectorsource* s = static_cast<vectorsource*>(context);
    const size_t k = std::min(static_cast<size_t>(n), s->x->size() - s->at);
    memcpy(dst, s->x->data() + s->at, k * sizeof(float));
    s->at += k;
    return static_cast<long>(k);
  }
};

// Runs a tracker with its output going to a memory stream; the floats it wrote, in *status the
// tracker's status and in report its messages.
std::vector<double> runtracker(bool dp, const std::vector<float>& x, double fs, int frameshift, double f0min,
                               double f0max, double tuning, int otype, int* status, trackreport* report) {
  char* bytes = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&bytes, &size);
  if (!out) throw std::bad_alloc();
  if (dp) {
    vectorsource source{&x};
    *status = raptsource(samplesource{vectorsource::read, &source}, fs, frameshift, f0min, f0max, tuning,
                         otype, report, out);
  } else {
    *status = brindelsamples(x.data(), static_cast<long>(x.size()), fs, frameshift, f0min, f0max, tuning,
                             otype, report, out);
  }
  const bool closed = fclose(out) == 0;
  std::unique_ptr<char, decltype(&free)> owner(bytes, free);
  if (!closed) throw std::bad_alloc();
  std::vector<double> track(size / sizeof(float));
  for (size_t k = 0; k < track.size(); ++k) {
    float v;
    memcpy(&v, bytes + k * sizeof v, sizeof v);
    track[k] = v;
  }
  return track;
}

py::array_t<double> pitch(const py::object& x, double fs, const std::string& algorithm, int64_t frameshift,
                          double f0min, double f0max, double voicingbias, double unvoicedcost,
                          const std::string& output) {
  if (algorithm != "dp" && algorithm != "epoch")
    refuse("algorithm must be \"dp\" or \"epoch\" (got \"" + algorithm + "\")");
  const bool dp = algorithm == "dp";
  requirerate(fs);
  requirefinitevalue(voicingbias, "voicing_bias");
  requirefinitevalue(unvoicedcost, "unvoiced_cost");
  if (!(std::isfinite(f0min) && std::isfinite(f0max)))
    refuse("f0min and f0max must be finite (got " + shortestdecimal(f0min) + " and " +
           shortestdecimal(f0max) + ")");
  const int otype = outputtype(output);
  requirerange(frameshift, INT32_MIN, maxintoption, "frame_shift", "must fit a 32-bit integer");
  const py::array a = checkedarray(x, "x", 1, true);
  std::vector<double> samples = copydoubles(a, 1.0);
  requirefinite(samples, "x");
  checkscale(a, samples, "x");
  if (elementtypeof(a) != elementtype::int16)
    for (double& v : samples) v *= 32768.0;
  checktrackerparameters(fs, frameshift, f0min, f0max, samples.size(), !dp);
  std::vector<double> track;
  int status = kTrackDone;
  trackreport report;
  {
    py::gil_scoped_release nogil;
    const std::vector<float> x16(samples.begin(), samples.end());
    track = runtracker(dp, x16, fs, static_cast<int>(frameshift), f0min, f0max,
                       dp ? voicingbias : unvoicedcost, otype, &status, &report);
  }
  // The tracker's own lines, a repeated one once, without the last newline.
  std::string said = report.text(false);
  if (!said.empty()) said.pop_back();
  const std::string why = said.empty() ? "" : ": " + said;
  if (status == kTrackBadParameters) refuse("the " + algorithm + " tracker refused x or its options" + why);
  if (status != kTrackDone) throw std::runtime_error("the " + algorithm + " tracker failed on x" + why);
  if (!said.empty()) warn(said.c_str());
  const py::ssize_t n = static_cast<py::ssize_t>(track.size());
  return ownedarray(std::move(track), {n});
}

// ---- files ----

[[noreturn]] void fileerror(int error, const std::string& path) {
  errno = error;
  PyErr_SetFromErrnoWithFilename(PyExc_OSError, path.c_str());
  throw py::error_already_set();
}

// Whether the file can be opened for reading and is no directory; errno tells why not.
bool readable(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    return false;
  }
  FILE* file = fopen(path.c_str(), "rb");
  if (!file) return false;
  fclose(file);
  return true;
}

py::tuple readwav(const std::filesystem::path& file, std::optional<double> fs) {
  const std::string path = file.string();
  const uint32_t rate = fs ? requiresupported(*fs, "fs") : 0;
  double* samples = nullptr;
  soundinfo info;
  uint32_t n = 0;
  {
    py::gil_scoped_release nogil;
    n = readsound(path.c_str(), rate, &samples, &info);
  }
  std::unique_ptr<double, decltype(&free)> owner(samples, free);
  if (n == 0) {
    if (info.status == SOUND_UNOPENED) fileerror(info.error ? info.error : EIO, path);
    char reason[160];
    refuse("path: could not read " + path + ": " + soundproblem(info, reason, sizeof reason));
  }
  if (info.present < info.promised)
    warn((path + ": header promises " + std::to_string(info.promised) + " samples, " +
          std::to_string(info.present) + " present.")
             .c_str());
  if (info.status == SOUND_CONVERTED) warnconverted(path, info);
  std::vector<double> x(samples, samples + n);
  requirefinite(x, ("path: " + path).c_str());
  return py::make_tuple(ownedarray(std::move(x), {static_cast<py::ssize_t>(n)}), info.readrate);
}

void writewav(const std::filesystem::path& file, const py::object& y, double fs) {
  const std::string path = file.string();
  const uint32_t rate = requiresupported(fs, "fs");
  const py::array signal = checkedarray(y, "y", 1, true);
  std::vector<double> v = copydoubles(signal, 1.0 / 32768);
  if (v.size() > wavmaxsamples) refuse("y is too long for a WAV file");
  requirescale(signal, v, "y");
  const uint32_t clipped = wavclippedsamples(v.data(), static_cast<uint32_t>(v.size()));
  uint32_t written = 0;
  errno = 0;
  {
    py::gil_scoped_release nogil;
    written = wavwritem16(path.c_str(), v.data(), static_cast<uint32_t>(v.size()), rate, 0, 0);
  }
  if (written == 0) fileerror(errno ? errno : EIO, path);
  if (clipped != 0)
    warn((std::to_string(clipped) + " samples clipped in " + path +
          "; decode(..., wavnorm=1) scales the output to fit.")
             .c_str());
}

// ---- parameter sets ----

// The values of a parameter file, as a float64 array of shape (n,), or (n / width, width).
py::array_t<double> readstream(const std::string& path, int64_t width) {
  double* values = nullptr;
  uint32_t n = 0;
  {
    py::gil_scoped_release nogil;
    n = fdoubleread(path.c_str(), &values);
  }
  if (n == 0 && errno == ENOMEM) throw std::bad_alloc();
  if (n == 0 && !readable(path)) fileerror(errno, path);
  std::vector<double> v(values, values + n);
  free(values);
  if (n % width != 0)
    refuse("order: " + path + " holds " + std::to_string(n) + " values, not a whole number of frames of " +
           std::to_string(width));
  if (width == 1) return ownedarray(std::move(v), {static_cast<py::ssize_t>(n)});
  return ownedarray(std::move(v), {static_cast<py::ssize_t>(n / width), static_cast<py::ssize_t>(width)});
}

// The order argument of read_params: values per frame, 1 when not given.
int64_t orderwidth(const py::object& order) {
  if (order.is_none()) return 1;
  const int64_t p = order.cast<int64_t>();
  const int64_t highest = ccordhighest(velkratehighest);
  requirerange(p, 0, highest, "order", ("must lie in 0.." + std::to_string(highest)).c_str());
  return p + 1;
}

// A file of the set as its record names it: a base name in the record's folder, or a path.
std::string streampath(const std::string& recordpath, const std::string& name) {
  return (std::filesystem::path(recordpath).parent_path() / name).string();
}

// The number of values of a stream file (refusing one that is missing or holds a partial value).
uint64_t streamvalues(const std::string& path) {
  uint64_t values = 0;
  uint32_t rest = 0;
  if (fdoublecount(path.c_str(), &values, &rest) != 0) fileerror(ENOENT, path);
  if (rest != 0) refuse(path + " ends in a partial value (" + std::to_string(rest) + " bytes)");
  return values;
}

// Refuses a set whose stream files lf0, cc and fv (empty: none) disagree in size with its record.
void refusesizes(const std::string& recordpath, const paramrecord& r, const std::string& lf0,
                 const std::string& cc, const std::string& fv) {
  const uint64_t fvvalues = fv.empty() ? 0 : streamvalues(fv);
  std::string problem;
  if (paramsizesproblem(r, lf0.c_str(), streamvalues(lf0), cc.c_str(), streamvalues(cc),
                        fv.empty() ? nullptr : fv.c_str(), fv.empty() ? nullptr : &fvvalues, &problem) != 0)
    refuse(recordpath + ": " + problem);
}

// The parameter set whose record is r: its streams, sizes checked against the record, as an
// Encoded with the record's settings.
py::object readset(const std::string& recordpath, const paramrecord& r, const py::object& order) {
  if (!order.is_none() && order.cast<int64_t>() != static_cast<int64_t>(r.ccord))
    refuse("order = " + std::to_string(order.cast<int64_t>()) +
           " contradicts the record's ccord = " + std::to_string(r.ccord) + " (" + recordpath + ")");
  const std::string lf0 = streampath(recordpath, r.lf0), cc = streampath(recordpath, r.cc);
  const std::string fv = r.fv.empty() ? "" : streampath(recordpath, r.fv);
  refusesizes(recordpath, r, lf0, cc, fv);
  py::object voicing = fv.empty() ? py::none() : py::object(readstream(fv, 1));
  return encodedtuple(readstream(lf0, 1), readstream(cc, r.ccord + 1), voicing, r.fs, r.lframe,
                      py::arg("alpha") = r.alpha, py::arg("ccmeth") = r.ccmeth,
                      py::arg("morvscale") = r.morvscale, py::arg("f0min") = r.f0min,
                      py::arg("f0max") = r.f0max);
}

// The WAV file of decodesetfile, written as the samples come, its clipped samples counted.
struct wavsink {
  wavblockwriter wav;
  uint32_t clipped = 0;
  bool count = true;
  bool failed = false;
};

int writewavsink(void* state, const double* x, uint32_t n) {
  wavsink* w = static_cast<wavsink*>(state);
  if (w->count) w->clipped += wavclippedsamples(x, n);
  w->failed = w->failed || wavblockwrite(&w->wav, x, n) != 0;
  return 0;
}

int peaksink(void* state, const double* x, uint32_t n) {
  double* peak = static_cast<double*>(state);
  *peak = wavpeak(*peak, x, n);
  return 0;
}

// decode of the recorded parameter set of the log-F0 file lf0, read in blocks and written to the
// WAV file out as the samples come (velk.corpus): (frames, samples, clipped samples, rate), or None when
// the set is better read whole with read_params and decoded (no record, options that name the
// record's settings or another output rate, voicing above half the rate), which gives the same
// bytes, errors and warnings.
py::object decodesetfile(const std::string& lf0, const std::string& out, std::optional<double> fs,
                         std::optional<int64_t> lframe, std::optional<double> alpha, double fpitch,
                         double fvpitch, double fdur, double fwarp, double floud, double fpfilt, double fdrc,
                         int64_t wavnorm, std::optional<int64_t> morvscale) {
  const std::string recordpath = paramrecordpath(lf0);
  paramrecord r;
  std::string problem;
  if (readparamrecord(recordpath.c_str(), &r, &problem) != 1 || lframe || alpha || morvscale ||
      (fs && *fs != r.fs))
    return py::none();
  requireflag(wavnorm, "wavnorm");
  const decodesettings d = synthesissettings(r.fs, std::nullopt, r.alpha, fpitch, fvpitch, fdur, fwarp, floud,
                                             fpfilt, fdrc, r.morvscale);
  if (d.lframe != r.lframe || decodedlength(r.frames, d) > UINT32_MAX || r.frames == 0) return py::none();
  const std::string paths[3] = {streampath(recordpath, r.lf0), streampath(recordpath, r.cc),
                                r.fv.empty() ? "" : streampath(recordpath, r.fv)};
  refusesizes(recordpath, r, paths[0], paths[1], paths[2]);
  setblocks b;
  b.frames = r.frames;
  b.order = r.ccord;
  for (int i = 0; i < 3; ++i)
    if (!paths[i].empty() && !(b.file[i] = fopen(paths[i].c_str(), "rb"))) return py::none();
  setblocksprepare(&b);
  double highest = 0.0;
  int unread = -1;
  if (b.file[2] && setblockspass(
                       &b,
                       [&](const double*, const double*, const double* fv, uint32_t n) {
                         highest = std::fmax(highest, highestvoicing(fv, n));
                         return true;
                       },
                       &unread) != 0)
    return py::none();
  if (highest > r.fs / 2.0) return py::none();
  warnfiltersdisabled(d, r.fs);
  silencedsamples silenced;
  wavsink w;
  int done = -1;
  {
    py::gil_scoped_release nogil;
    decodesurvey sv;
    double peak = 0.0;
    const bool normalise = wavnorm == 1;
    done = surveysetblocks(&b, d, &sv, &unread);
    if (done == 0 && normalise)
      done = synthesisesetblocks(&b, d, sv, samplesink{&peak, peaksink}, &silenced, &unread);
    w.count = !normalise;
    if (done == 0)
      done = wavblockopen(&w.wav, out.c_str(), static_cast<uint32_t>(decodedlength(r.frames, d)), r.fs,
                          normalise ? wavnormalisinggain(peak) : 1.0);
    if (done == 0) done = synthesisesetblocks(&b, d, sv, samplesink{&w, writewavsink}, &silenced, &unread);
    if (wavblockclose(&w.wav) != 0 || w.failed) done = -1;
  }
  if (done != 0) {
    if (unread >= 0) throw std::runtime_error("could not read " + paths[unread]);
    throw std::runtime_error("could not write " + out + " or not enough memory to decode " + lf0);
  }
  warnsilenced(silenced);
  return py::make_tuple(r.frames, decodedlength(r.frames, d), w.clipped, r.fs);
}

py::object readparams(const std::filesystem::path& file, const py::object& order) {
  const std::string path = file.string();
  const std::string recordpath = paramrecordpath(path);
  paramrecord r;
  std::string problem;
  const int found = readparamrecord(recordpath.c_str(), &r, &problem);
  if (found < 0) refuse(recordpath + ": " + problem);
  if (found == 1) return readset(recordpath, r, order);
  return readstream(path, orderwidth(order));
}

// path with the suffix of its base name replaced by `suffix`, or with `suffix` appended when
// it has none.
std::string withsuffix(const std::string& path, const char* suffix) {
  const std::filesystem::path p(path);
  if (!p.has_extension()) return path + suffix;
  return (p.parent_path() / (p.stem().string() + suffix)).string();
}

// The record of an encode result whose streams are the files lf0, cc and fv (fv empty: none).
paramrecord recordof(const py::object& e, const std::string& lf0, const std::string& cc,
                     const std::string& fv) {
  paramrecord r;
  r.fs = requiresupported(e.attr("fs").cast<double>(), "fs");
  const py::object lframe = e.attr("lframe"), alpha = e.attr("alpha");
  r.lframe = lframe.is_none() ? defaultlframe(r.fs) : lframe.cast<uint32_t>();
  r.alpha = alpha.is_none() ? defaultalpha(r.fs) : alpha.cast<double>();
  r.frames = static_cast<uint32_t>(py::len(e.attr("lf0")));
  r.ccord = e.attr("ccord").cast<uint32_t>();
  r.ccmeth = e.attr("ccmeth").cast<uint32_t>();
  r.morvscale = e.attr("morvscale").cast<bool>();
  r.f0min = e.attr("f0min").cast<double>();
  r.f0max = e.attr("f0max").cast<double>();
  r.lf0 = recordstreamname(lf0, lf0);
  r.cc = recordstreamname(lf0, cc);
  r.fv = fv.empty() ? "" : recordstreamname(lf0, fv);
  return r;
}

// One output of a set on its way to its file: its bytes, written to a temporary first.
struct setoutput {
  std::string path;
  std::vector<double> values;  // a stream's values, or
  std::string text;            // the record's text
  bool stream = true;
  outputfile out;
  bool finished = false;

  setoutput(std::string file, std::vector<double>&& v) : path(std::move(file)), values(std::move(v)) {}
  setoutput(std::string file, std::string&& record)
      : path(std::move(file)), text(std::move(record)), stream(false) {}
};

bool writetemporary(setoutput* o) {
  bool written = outputopen(o->path.c_str(), &o->out) != nullptr;
  if (written && o->stream)
    written = fdoubleput(o->out.file, o->values.data(), static_cast<uint32_t>(o->values.size()), 0) ==
              o->values.size();
  else if (written)
    written = fwrite(o->text.data(), 1, o->text.size(), o->out.file) == o->text.size();
  const int error = errno;
  o->finished = outputfinish(&o->out, written) == 0;
  if (!o->finished) errno = error ? error : EIO;
  return o->finished;
}

// Writes the outputs as a whole: each to a temporary, and only when all are complete and each
// can take its name do they take them (outputcommitset); otherwise the earlier files stay as they
// were. Raises OSError naming the first that failed.
void writeset(std::vector<setoutput>& outputs) {
  errno = 0;
  std::string failed;
  int error = 0;
  {
    py::gil_scoped_release nogil;
    for (setoutput& o : outputs)
      if (!writetemporary(&o)) {
        failed = o.path;
        error = errno;
        break;
      }
    std::vector<outputfile*> set;
    for (setoutput& o : outputs) set.push_back(&o.out);
    uint32_t refused = 0;
    if (failed.empty() && outputcommitset(set.data(), static_cast<uint32_t>(set.size()), &refused) != 0) {
      failed = outputs[refused].path;
      error = errno;
    }
    if (!failed.empty())
      for (setoutput& o : outputs)
        if (o.finished) outputdiscard(&o.out);
  }
  if (!failed.empty()) fileerror(error ? error : EIO, failed);
}

// The values of an array argument in row-major order, at most 2^32 of them.
std::vector<double> arrayvalues(const py::object& a, const char* name) {
  const py::array values = checkedarray(a, name, -1, false, true);
  std::vector<double> v = copydoubles(values.attr("reshape")(-1).cast<py::array>(), 1.0);
  if (v.size() > UINT32_MAX) refuse(std::string(name) + " has more than 2^32 values");
  return v;
}

void writeencoded(const std::string& path, const py::object& e, const py::object& cc, const py::object& fv,
                  bool record) {
  const bool voicing = !e.attr("fv").is_none();
  const std::string ccpath =
      cc.is_none() ? withsuffix(path, ".cc") : cc.cast<std::filesystem::path>().string();
  const std::string fvpath = !voicing       ? ""
                             : fv.is_none() ? withsuffix(path, ".fv")
                                            : fv.cast<std::filesystem::path>().string();
  const paramrecord r = recordof(e, path, ccpath, fvpath);
  std::vector<setoutput> outputs;
  outputs.emplace_back(path, arrayvalues(e.attr("lf0"), "lf0"));
  outputs.emplace_back(ccpath, arrayvalues(e.attr("cc"), "cc"));
  if (voicing) outputs.emplace_back(fvpath, arrayvalues(e.attr("fv"), "fv"));
  const uint64_t fvvalues = voicing ? outputs[2].values.size() : 0;
  std::string problem;
  if (paramsizesproblem(r, "lf0", outputs[0].values.size(), "cc", outputs[1].values.size(), "fv",
                        voicing ? &fvvalues : nullptr, &problem) != 0)
    refuse("a: " + problem);
  const bool recorded = record && outputnamesfile(path.c_str());
  if (recorded) outputs.emplace_back(paramrecordpath(path), formatparamrecord(r));
  writeset(outputs);
  // A record an earlier writer left would describe the streams just replaced.
  const int removed = recorded || !outputnamesfile(path.c_str()) ? 0 : removeparamrecord(path.c_str());
  if (removed == -1) fileerror(errno, paramrecordpath(path));
  if (removed == 1) warn((paramrecordpath(path) + " of earlier streams removed.").c_str());
}

void writeparams(const std::filesystem::path& file, const py::object& a, const py::object& cc,
                 const py::object& fv, bool record) {
  const std::string path = file.string();
  if (py::isinstance(a, encodedtuple)) return writeencoded(path, a, cc, fv, record);
  if (!cc.is_none() || !fv.is_none())
    refuse("cc and fv name the streams of a set: pass an encode result as a");
  std::vector<double> v = arrayvalues(a, "a");
  bool written = false;
  errno = 0;
  {
    py::gil_scoped_release nogil;
    if (v.empty()) {
      // An empty file, made as every output is (outputfile.h): /dev/stdout after >> is not cut.
      outputfile out;
      written = outputopen(path.c_str(), &out) && outputclose(&out, true) == 0;
    } else {
      written = fdoublewrite(path.c_str(), v.data(), static_cast<uint32_t>(v.size()), 0) == v.size();
    }
  }
  if (!written) fileerror(errno ? errno : EIO, path);
}

// For velk.corpus: the record text of an encode result whose streams are named lf0, cc and fv
// (fv None: none), and whether the set of a log-F0 file is whole (None) or what is wrong with it.
std::string formatrecord(const py::object& e, const std::string& lf0, const std::string& cc,
                         const py::object& fv) {
  return formatparamrecord(recordof(e, lf0, cc, fv.is_none() ? "" : fv.cast<std::string>()));
}

py::object setproblem(const std::filesystem::path& file) {
  const std::string recordpath = paramrecordpath(file.string());
  paramrecord r;
  std::string problem;
  const int found = readparamrecord(recordpath.c_str(), &r, &problem);
  if (found == 0) return py::str(recordpath + " is missing");
  try {
    if (found < 0) refuse(recordpath + ": " + problem);
    refusesizes(recordpath, r, streampath(recordpath, r.lf0), streampath(recordpath, r.cc),
                r.fv.empty() ? "" : streampath(recordpath, r.fv));
  } catch (const std::invalid_argument& e) {
    return py::str(e.what());
  } catch (const py::error_already_set& e) {
    return py::str(e.what());
  }
  return py::none();
}

}  // namespace

namespace velk {

decodesettings checkedsynthesissettings(uint32_t fs, std::optional<int64_t> lframe,
                                        std::optional<double> alpha, double fpitch, double fvpitch,
                                        double fdur, double fwarp, double floud, double fpfilt, double fdrc,
                                        int64_t morvscale) {
  return synthesissettings(fs, lframe, alpha, fpitch, fvpitch, fdur, fwarp, floud, fpfilt, fdrc, morvscale);
}

encodesettings checkedanalysissettings(uint32_t fs, std::optional<int64_t> lframe,
                                       std::optional<int64_t> ccord, int64_t ccmeth,
                                       std::optional<double> alpha, double f0min, double f0max, int64_t f0acc,
                                       int64_t zfill, int64_t morvscale) {
  return analysissettings(fs, lframe, ccord, ccmeth, alpha, f0min, f0max, f0acc, zfill, morvscale);
}

std::vector<double> checkedsignal(const py::object& x, const char* name) {
  const py::array signal = checkedarray(x, name, 1, true);
  std::vector<double> samples = copydoubles(signal, 1.0 / 32768);
  requirefinite(samples, name);
  checkscale(signal, samples, name);
  return samples;
}

py::object encodedresult(std::vector<double>&& lf0, std::vector<double>&& cc, std::vector<double>&& fv,
                         const encodesettings& s) {
  const py::ssize_t frames = static_cast<py::ssize_t>(lf0.size()), width = s.ccord + 1;
  return encodedof(ownedarray(std::move(lf0), {frames}), ownedarray(std::move(cc), {frames, width}),
                   ownedarray(std::move(fv), {frames}), s);
}

uint32_t checkedrate(double fs, const char* name) {
  return requiresupported(fs, name);
}

void requiredefaultorder(uint32_t order) {
  if (order != defaultccord(velksamplingrate))
    refuse("cc has order " + std::to_string(order) + ", not the 16000 Hz default " +
           std::to_string(defaultccord(velksamplingrate)) +
           ": pass fs, the rate the streams were made at (or decode the encode result or read_params's set)");
}

void userwarning(const char* message) {
  warn(message);
}

}  // namespace velk

PYBIND11_MODULE(_velk, m) {
  using namespace pybind11::literals;
  m.doc() = "The compiled functions of the package velk (import velk, which documents them).";
  m.attr("__version__") = VELK_VERSION;

  // The numpy types the module makes, looked up now: the first lookup initialises pybind11's
  // numpy tables under a static guard, which threads making their first calls at once would
  // otherwise wait on while one of them waits for the GIL.
  py::array_t<double>(0);
  py::array_t<int16_t>(0);
  py::array_t<float>(0);
  encodedtuple = py::object(py::module_::import("velk.encoded").attr("Encoded")).release();
  m.attr("Encoded") = encodedtuple;

  py::dict scope;
  scope["__name__"] = "velk";
  py::exec(featuresdefinition, scope);
  featuresrecord = py::object(scope["Features"]).release();
  featuresrecord.attr("__module__") = "velk";
  m.attr("Features") = featuresrecord;

  m.def("features", &features, "x"_a, "fs"_a, py::kw_only(), "hop"_a = 256, "window"_a = 1024,
        "center"_a = true, "f0min"_a = 60, "f0max"_a = 500,
        "features"_a = std::vector<std::string>{"f0", "vuv", "voicing", "lf0", "energy"},
        "hop_ms"_a = py::none(),
        R"(Per-frame features for model training on a mel spectrogram's frame grid.

x: 1-D float32/float64 array on the +-1 scale, or int16 array; scale checked as for encode.
fs: its sampling rate, a whole number of Hz from 8000 to 48000 (no resampling).
hop, window: frame shift and window length in samples; hop_ms, when given, sets the hop in
    milliseconds instead, rounded to the nearest sample (halves up).
center: True: frame t is centred on sample t * hop and there are 1 + len(x) // hop frames;
    False: frame t covers samples [t * hop, t * hop + window) and there are
    1 + (len(x) - window) // hop frames, none when len(x) < window (the counts of the mel
    front ends of torchaudio and librosa).
f0min, f0max: pitch search range in Hz, 20 <= f0min < f0max < fs / 2 (singing: up to 2000).
features: any of "f0" (Hz, 0 unvoiced), "vuv" (0/1), "voicing" (probability that the frame is
    voiced; above 0.5 exactly where vuv is 1), "lf0" (natural log of F0, linearly
    interpolated across unvoiced runs, the edges held; 0 without voiced frames), "energy" (dB
    re full scale of the mean square over the window, samples outside x counting as 0; -200
    for silence), "cc" (warped cepstra as encode gives them at fs, shape (N, order + 1)), "fv"
    (maximum voiced frequency, Hz), "margin" (the tracker's evidence behind "voicing": what
    the cheapest unvoiced path costs above the cheapest voiced path through the frame, in
    units of the cost of unvoicing one perfectly periodic frame; -inf without a candidate).
The F0 is the vocoder's tracker at each frame centre of the grid (encode's with lframe = hop
on a centred grid), after runs of equal samples are dithered as encode does.

Returns Features: a dict of float64 arrays by name, one row per frame, plus "times" (frame
centres in seconds), also read as attributes, with fs, hop, window and center. Runs without
the GIL.)");

  m.def("encode", &encode, "x"_a, "fs"_a = 16000, py::kw_only(), "lframe"_a = py::none(),
        "ccord"_a = py::none(), "ccmeth"_a = 1, "alpha"_a = py::none(), "f0min"_a = 60, "f0max"_a = 500,
        "f0acc"_a = 0, "zfill"_a = 160, "morvscale"_a = 1, "f0"_a = py::none(), "voicing"_a = true,
        "resample"_a = py::none(),
        R"(Analyses a signal into its log-F0, warped cepstra and maximum voiced frequency.

x: 1-D float32/float64 array on the +-1 scale, or int16 array (s stands for s / 32768), in
    either byte order. Non-finite samples raise ValueError; a float x whose peak exceeds 1 gives
    a UserWarning, one above 64 (16-bit values) a ValueError.
fs: sampling rate of x in Hz. The analysis works at fs itself, a whole number of Hz from 8000
    to 48000; a signal above 48000 Hz is resampled to 48000 Hz with a UserWarning.
resample: a rate (8000 to 48000 Hz) to resample x to first, as velkcoder's --fs: the
    resampling the programs use for sound files (libsoxr, high quality); resample=16000 gives
    the 16 kHz streams of any signal.
The keyword options are velkcoder's, with its defaults; lframe, ccord and alpha default by the
rate analysed at (80, 39 and 0.42 at 16 kHz; see the README's table):
lframe: frame shift in samples (>= 1); frame k is centred at sample k * lframe.
ccord: cepstral order, 0 up to one below half the rate's base FFT size (511 at 16 kHz).
ccmeth: envelope method 0..4 (as --ccmeth).  alpha: all-pass warping factor, |alpha| < 1.
f0min, f0max: pitch search range in Hz, 20 <= f0min < f0max < fs / 2.
f0acc: pitch refinement iterations (0 or more; more than 5 count as 5).
zfill: runs of more equal samples than this are dithered (<= 0: never). The dither is
    always the same for the same signal; a UserWarning reports that it was applied.
morvscale: 1 range-adapts the cepstra for a statistical synthesiser (decode undoes it), 0 not.
f0: a given F0 track replacing the pitch analysis, as --f0load does: F0 in Hz (0 or less
    unvoiced), or log-F0 with -1e10 unvoiced (taken as log-F0 when it holds a value at or
    below -1e10, or when all its values are below 20 and not all 0). A track shorter than the
    signal's frame count shortens all streams to its length; a longer one gives its first
    values. A log-F0 track of exactly the frame count comes back unchanged unless f0acc
    refines it.
voicing: False skips the maximum voiced frequency (fv is None; refinement then assumes
    4500 Hz, as velkcoder does without the fv file).

Returns Encoded(lf0, cc, fv) with the settings analysed with as attributes (fs, lframe, alpha,
ccord, ccmeth, morvscale, f0min, f0max), which decode and write_params take from it: lf0
shape (N,), natural log of F0, -1e10 unvoiced;
cc shape (N, ccord + 1); fv shape (N,) in Hz, or None. The programs store these as float32: the values
rounded to float32 equal velkcoder's files byte for byte.)");

  m.def("decode", &decode, "lf0"_a, "cc"_a = py::none(), "fv"_a = py::none(), py::kw_only(),
        "fs"_a = py::none(), "lframe"_a = py::none(), "alpha"_a = py::none(), "fpitch"_a = 1, "fvpitch"_a = 1,
        "fdur"_a = 1, "fwarp"_a = 0, "floud"_a = 0, "fpfilt"_a = 0, "fdrc"_a = 0, "wavnorm"_a = 0,
        "morvscale"_a = py::none(),
        R"(Synthesises speech from log-F0, cepstra and maximum voiced frequency.

lf0: 1-D float array of N log-F0 values (-1e10 or below: unvoiced); or an Encoded (the
    result of encode, or read_params's set), whose streams, rate, frame shift, warping factor
    and range adaptation are then taken (cc and fv not given): lframe, alpha or morvscale
    given with another value than it holds raise ValueError naming both, and fs names the
    output's rate, the synthesis at the analysis rate resampled to it.
cc: the cepstra, shape (N, order + 1), or a 1-D stream of N * (order + 1) values (the order
    is then derived from the lengths, as velkdecoder does).
fv: N maximum voiced frequencies in Hz, or None to derive them from c0.
A frame holding a NaN or infinite value is synthesised silent, and so are frames and samples
    whose synthesis is not finite (a UserWarning names all these frames): no sample is ever NaN
    or inf.
fs: for arrays, the rate the streams were made at and the output's, 8000 to 48000 Hz
    (default 16000; without fs, cepstra of another order than 39, the 16 kHz default, raise
    ValueError). An fv value above the analysis rate / 2 is refused: such streams come from a
    higher rate.
The keyword options are velkdecoder's, with its defaults; for arrays, lframe and alpha default
by fs (80 and 0.42 at 16 kHz) and morvscale to 1:
lframe: frame shift of the streams in samples (>= 1).  alpha: warping factor, |alpha| < 1.
fpitch [0.25, 4], fvpitch [0, 4], fdur [0.25, 4], fwarp [-0.99, 0.99], floud [-4, 4],
fpfilt [0, 1], fdrc [0, 1]: pitch, pitch range, duration, vocal-tract, loudness, post-filter
    and compression factors; a value outside its range is held at the nearer bound (a NaN at
    the upper one), as the decoder does. floud, fpfilt and fdrc only work at 16 kHz with
    alpha 0.42; otherwise they are switched off with a UserWarning.
wavnorm: 1 scales the output so that its peak is 0.99 (as the decoder's --wavnorm=1).
morvscale: 1 undoes the encoder's range adaptation, 0 not.

Returns float64 samples at fs on the +-1 scale, (N + 1) * trunc(lframe * fdur) + 1 of
them at the analysis rate (resampled to fs when that differs), before the 16-bit rounding;
to_int16 gives the samples of velkdecoder's WAV file.)");

  defstreaming(m);

  m.def("to_int16", &toint16, "y"_a,
        R"(The 16-bit samples a WAV file of the signal holds: int16 array of truncated 32768 * y,
saturated at -32768 and 32767 (NaN gives 0), exactly as velkdecoder writes them.)");

  m.def("pitch", &pitch, "x"_a, "fs"_a, py::kw_only(), "algorithm"_a = "dp", "frame_shift"_a = 80,
        "f0min"_a = 60, "f0max"_a = 400, "voicing_bias"_a = 0.0, "unvoiced_cost"_a = 0.9, "output"_a = "hz",
        R"(F0 track of a signal by one of the pitch command's trackers.

x: 1-D float32/float64 array on the +-1 scale (scaled by 32768 to the 16-bit scale the
    trackers expect) or int16 array; scale checked as for encode.  fs: its sampling rate in Hz (no resampling).
algorithm: "dp", the dynamic-programming tracker (pitch -a 0), or "epoch", the epoch tracker
    (pitch -a 1).
frame_shift: samples between frames (at least one sample, at most 0.1 s).
f0min, f0max: F0 range searched, Hz: fs / 10000 <= f0min < f0max < fs / 2, and f0min >= 10
    for the epoch tracker. fs must lie in 4000..1000000 Hz, and x must hold at least two
    frames and 7.5 ms.
voicing_bias: voicing bias of the dp tracker (-b).  unvoiced_cost: of the epoch tracker (-t).
output: "hz" (F0, 0 unvoiced), "log" (ln F0, -1e10 unvoiced) or "period" (samples, 0
    unvoiced), as -o 1, 2, 0.

Returns the track the pitch command writes, as float64 (the command's float32 values).
The dp tracker keeps its working state in its module, so its calls are serialised by a lock
(threads wait for each other, the GIL released); the epoch tracker keeps its state per call
and runs in parallel.)");

  m.def("read_wav", &readwav, "path"_a, "fs"_a = py::none(),
        R"(Reads a sound file as the encoder does: any format libsndfile reads (WAV of any rate,
channel count or sample format, FLAC, AIFF, Ogg, ...), channels averaged, at the file's own
rate (a file above 48000 Hz resampled to 48000 Hz) or, with fs (8000 to 48000 Hz), resampled
to fs (libsoxr, high quality), as velkcoder's --fs. A file below 8000 Hz is refused.

Returns (x, fs): x float64 on the +-1 scale (a 16-bit sample s read as s / 32768), fs the rate
read at, so that encode(*read_wav(path)) gives velkcoder's streams of the same file. A converted file
and a WAV file holding fewer samples than its header promises give a UserWarning with the
encoder's text. Raises OSError when the file cannot be opened, ValueError (with the reason)
when it holds no readable sound or a sample that is NaN or infinite (float files).)");

  m.def("write_wav", &writewav, "path"_a, "y"_a, "fs"_a,
        R"(Writes y as a mono 16-bit PCM WAV file with a 44-byte header, as the decoder does.

y: 1-D float array on the +-1 scale (converted as to_int16 does) or int16 array. Samples
    beyond the 16-bit range are saturated and counted in a UserWarning, as velkdecoder does; a
    float y whose peak exceeds 64 (16-bit values) raises ValueError.
fs: the rate the header names, a whole number of Hz from 8000 to 48000 (required, as in
    soundfile's write: decode(e) gives samples at e.fs).)");

  m.def("envelope", &envelope, "cc"_a, "fs"_a, py::kw_only(), "alpha"_a = py::none(), "nfft"_a = py::none(),
        "morvscale"_a = 1,
        R"(Magnitude spectra of warped cepstra on a linear frequency grid.

cc: cepstra, shape (N, order + 1) as encode gives them, or one frame of shape (order + 1,).
fs: the rate they were analysed at (8000 to 48000 Hz).
alpha: their warping factor (default: the rate's, as encode's).
nfft: even; the grid holds nfft / 2 + 1 points from 0 Hz to fs / 2, point k at k * fs / nfft Hz
    (default: the analysis's base FFT size at fs, 1024 at 16 kHz, 4096 at 44.1 and 48 kHz).
morvscale: 1 undoes the encoder's range adaptation first (as decode does), 0 not.

Returns float64 |A(f)| = exp(c0 + 2 sum c_j cos(j w~)), w~ the warped angle of f: shape
(N, nfft / 2 + 1), or (nfft / 2 + 1,) for one frame. Cepstra holding a NaN or an infinity, and
cepstra whose envelope overflows the float range (c0 = 1000), raise ValueError.)");

  m.def("frame_times", &frametimes, "n"_a, "fs"_a, "lframe"_a = py::none(),
        R"(Centre times in seconds of n frames: frame k is centred at sample k * lframe, at k * lframe / fs s.

fs: the rate (8000 to 48000 Hz).  lframe: frame shift in samples (default: the rate's, 80 at
16 kHz). An encode result e gives frame_times(len(e.lf0), e.fs, e.lframe).)");

  m.def("read_params", &readparams, "path"_a, "order"_a = py::none(),
        R"(Reads a parameter set, or a parameter file (headerless little-endian float32 values), as
the programs do.

When the settings record path + ".json" exists (path names the log-F0 file of a set that
velkcoder, write_params or velkcorpus wrote), returns an Encoded as encode does: the streams
the record names (in its folder) with the rate, frame shift, order, warping factor and the
other settings it holds; streams whose sizes disagree with the record, and an order that
contradicts it, raise ValueError naming both.
Otherwise returns the file's float64 values: shape (n,), or (n / (order + 1), order + 1) when
order is given (a file that does not hold whole frames raises ValueError).)");

  m.def("write_params", &writeparams, "path"_a, "a"_a, py::kw_only(), "cc"_a = py::none(),
        "fv"_a = py::none(), "record"_a = true,
        R"(Writes a parameter file, or a whole parameter set.

a an array (any shape, row-major order): its values as headerless little-endian float32
    values, rounded to nearest, the bytes the programs write.
a an encode result (or read_params's set): path names its log-F0 file; cc and fv name the
    other two (default: path with its suffix replaced by .cc and .fv, or with them appended),
    in path's folder; and the settings record path + ".json" is written beside them (not with
    record=False), so that read_params(path) and decode need nothing else. The files are
    written to temporaries that take their names only once all are complete.)");

  m.def("decode_set_file", &decodesetfile, "lf0"_a, "out"_a, py::kw_only(), "fs"_a = py::none(),
        "lframe"_a = py::none(), "alpha"_a = py::none(), "fpitch"_a = 1, "fvpitch"_a = 1, "fdur"_a = 1,
        "fwarp"_a = 0, "floud"_a = 0, "fpfilt"_a = 0, "fdrc"_a = 0, "wavnorm"_a = 0,
        "morvscale"_a = py::none(),
        "decode of a recorded parameter set read in blocks, written to the WAV file out as the samples come "
        "(velk.corpus): (frames, samples, clipped samples, rate), or None to read it whole.");
  m.def("encode_file", &encodefile, "path"_a, "cc_path"_a, "resample"_a = py::none(), py::kw_only(),
        "lframe"_a = py::none(), "ccord"_a = py::none(), "ccmeth"_a = 1, "alpha"_a = py::none(),
        "f0min"_a = 60, "f0max"_a = 500, "f0acc"_a = 0, "zfill"_a = 160, "morvscale"_a = 1,
        "encode of a sound file read in blocks, its cepstra written to cc_path as they come (velk.corpus): "
        "(Encoded with no cepstral rows, samples, samples at full scale), or None to read it whole.");
  m.def(
      "features_file", &featuresfile, "path"_a, "sink"_a, py::kw_only(), "center"_a = true, "f0min"_a = 60.0,
      "f0max"_a = 500.0, "features"_a = std::vector<std::string>{"f0", "vuv", "voicing", "lf0", "energy"},
      "features of a sound file read in blocks, given to sink.grid(fs) -> (hop, window), sink.begin(frames, "
      "cc width) and sink.write(first frame, arrays by name) as they come (velk.corpus): (rate, samples, "
      "frames, hop, window), or None to read it whole.");
  m.def("format_param_record", &formatrecord, "e"_a, "lf0"_a, "cc"_a, "fv"_a,
        "The settings record of an encode result whose streams are named lf0, cc and fv (velk.corpus).");
  m.def(
      "param_set_problem", &setproblem, "path"_a,
      "None when the set of the log-F0 file path is whole by its record, else what is wrong (velk.corpus).");
}
