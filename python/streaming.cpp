// velk.Decoder and velk.Encoder: the streaming synthesis (streamdecode.h) and analysis
// (streamencode.h) over numpy arrays, pushed in blocks, the results returned as they become final.
#include "streaming.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cmath>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "arrays.h"
#include "streamdecode.h"
#include "streamencode.h"

using namespace velk;

namespace {

[[noreturn]] void refuse(const std::string& message) {
  throw std::invalid_argument(message);
}

// One block of frames as the record takes it.
struct frameblock {
  std::vector<double> lf0, cc, fv;
  uint32_t frames = 0;
  uint32_t width = 0;  // cepstra per frame
  bool hasfv = false;
};

// The arrays of a push or survey call: lf0 (n,), cc (n, order + 1), fv (n,) or None. Without a
// rate given (rategiven false, fs the 16 kHz default), cepstra of another order are refused.
frameblock readblock(const py::object& lf0, const py::object& cc, const py::object& fv, double fs,
                     bool rategiven) {
  frameblock b;
  b.lf0 = copydoubles(checkedarray(lf0, "lf0", 1, false, true), 1.0);
  const py::array c = checkedarray(cc, "cc", 2, false, true);
  if (b.lf0.size() > UINT32_MAX / 2) refuse("lf0 has too many frames for one push");
  b.frames = static_cast<uint32_t>(b.lf0.size());
  if (c.shape(0) != static_cast<py::ssize_t>(b.frames) || c.shape(1) < 1)
    refuse("cc must have one row of order + 1 values per frame of lf0 (lf0 has " + std::to_string(b.frames) +
           " frames, cc shape (" + std::to_string(c.shape(0)) + ", " + std::to_string(c.shape(1)) + "))");
  b.width = static_cast<uint32_t>(c.shape(1));
  if (!rategiven) requiredefaultorder(b.width - 1);
  b.cc = copydoubles(c, 1.0);
  b.hasfv = !fv.is_none();
  if (b.hasfv) {
    b.fv = copydoubles(checkedarray(fv, "fv", 1, false, true), 1.0);
    if (b.fv.size() != b.frames)
      refuse("lf0 and fv have incompatible dimensions (lf0 has " + std::to_string(b.frames) + " frames, fv " +
             std::to_string(b.fv.size()) + ")");
    if (highestvoicing(b.fv.data(), b.frames) > fs / 2)
      refuse(
          "fv holds a maximum voiced frequency above fs / 2; pass the rate the streams were made at as fs");
  }
  return b;
}

// A record's lock, waited for without the GIL: a thread holding it releases the GIL while it
// works and needs the GIL back before it lets go.
std::unique_lock<std::mutex> lockwithoutgil(std::mutex& m) {
  std::unique_lock<std::mutex> hold(m, std::defer_lock);
  py::gil_scoped_release nogil;
  hold.lock();
  return hold;
}

class decoder {
 public:
  decoder(const decodesettings& s, bool rategiven) : s_(s), rategiven_(rategiven) {}
  ~decoder() { streamdecoderdestroy(record_); }
  decoder(const decoder&) = delete;
  decoder& operator=(const decoder&) = delete;

  void survey(const py::object& lf0, const py::object& cc, const py::object& fv) {
    const std::unique_lock<std::mutex> hold = lock();
    if (record_ || flushed_) refuse("survey must come before the first push");
    const frameblock b = readblock(lf0, cc, fv, s_.fs, rategiven_);
    fixshape(b);
    decodesurvey sv;
    for (const uint8_t stage : {SURVEY_FRAMES, SURVEY_C0}) {
      if (!(decodesurveyneeds(s_, b.hasfv) & stage)) continue;
      if (decodesurveyadd(&sv, stage, s_, b.width - 1, b.lf0.data(), b.cc.data(),
                          b.hasfv ? b.fv.data() : nullptr, b.frames) != 0)
        throw std::bad_alloc();
      decodesurveyclose(&sv, stage);
    }
    survey_ = sv;
  }

  py::array_t<double> push(const py::object& lf0, const py::object& cc, const py::object& fv) {
    const std::unique_lock<std::mutex> hold = lock();
    if (flushed_) refuse("the decoder has been flushed; make a new one for more frames");
    const frameblock b = readblock(lf0, cc, fv, s_.fs, rategiven_);
    fixshape(b);
    start();
    std::vector<double> out(static_cast<size_t>(b.frames) * s_.shift);
    int done = 0;
    {
      py::gil_scoped_release nogil;
      done = streamdecoderpush(record_, b.lf0.data(), b.cc.data(), b.hasfv ? b.fv.data() : nullptr, b.frames,
                               out.data());
    }
    if (done != 0) throw std::bad_alloc();
    const py::ssize_t n = static_cast<py::ssize_t>(out.size());
    return ownedarray(std::move(out), {n});
  }

  py::array_t<double> flush() {
    const std::unique_lock<std::mutex> hold = lock();
    if (flushed_) refuse("the decoder has been flushed already");
    if (!record_) {
      // No frames: the silent tail, whatever the order; the statistics of no frames are known.
      if (!shaped_) width_ = 1;
      survey_.done = SURVEY_FRAMES | SURVEY_C0;
      start();
    }
    std::vector<double> out(static_cast<size_t>(s_.shift) + 1);
    streamdecoderflush(record_, out.data());
    flushed_ = true;
    const silencedsamples silenced = streamdecodersilenced(record_);
    if (silenced.samples != 0)
      userwarning(("synthesis of frames " + std::to_string(silenced.firstframe) + " to " +
                   std::to_string(silenced.lastframe) + " is not finite; they are silent.")
                      .c_str());
    const py::ssize_t n = static_cast<py::ssize_t>(out.size());
    return ownedarray(std::move(out), {n});
  }

  uint32_t latency() const { return s_.shift; }
  uint64_t frames() const { return record_ ? streamdecoderframes(record_) : 0; }
  uint32_t fs() const { return s_.fs; }

 private:
  std::unique_lock<std::mutex> lock() { return lockwithoutgil(lock_); }

  // The order and the presence of fv are fixed by the first block.
  void fixshape(const frameblock& b) {
    if (!shaped_) {
      width_ = b.width;
      hasfv_ = b.hasfv;
      shaped_ = true;
      return;
    }
    if (b.width != width_)
      refuse("cc rows hold " + std::to_string(b.width) + " values, the first block's " +
             std::to_string(width_));
    if (b.hasfv != hasfv_)
      refuse(hasfv_ ? "fv must be given with every block, as with the first"
                    : "fv was not given with the first block and cannot come later");
  }

  void start() {
    if (record_) return;
    const uint8_t needs = decodesurveyneeds(s_, hasfv_);
    if ((needs & ~survey_.done) != 0)
      refuse(std::string("these settings need statistics over all frames (") +
             (needs & SURVEY_FRAMES ? "fvpitch != 1 or fdrc != 0" : "") +
             (needs == (SURVEY_FRAMES | SURVEY_C0) ? "; " : "") + (needs & SURVEY_C0 ? "no fv" : "") +
             "): call survey(lf0, cc, fv) with the whole streams before the first push");
    int status = 0;
    record_ = streamdecodercreate(s_, width_ - 1, hasfv_, &survey_, &status);
    if (!record_) throw std::bad_alloc();
  }

  decodesettings s_;
  bool rategiven_;  // fs was given: cepstra of any order are taken
  decodesurvey survey_;
  streamdecoder* record_ = nullptr;
  uint32_t width_ = 0;
  bool hasfv_ = false;
  bool shaped_ = false;
  bool flushed_ = false;
  std::mutex lock_;  // one push at a time: the GIL is released while it synthesises
};

// The frames an encoder gave in one call.
struct encodedframes {
  std::vector<double> lf0, cc, fv;
  uint32_t width = 0;
};

int takeframes(void* state, const double* f0, const double* fv, const double* cc, uint32_t frames) {
  encodedframes* out = static_cast<encodedframes*>(state);
  for (uint32_t k = 0; k < frames; ++k) out->lf0.push_back(f0[k] > 0.0 ? std::log(f0[k]) : -1e10);
  out->fv.insert(out->fv.end(), fv, fv + frames);
  out->cc.insert(out->cc.end(), cc, cc + static_cast<size_t>(frames) * out->width);
  return 0;
}

class encoder {
 public:
  encoder(const encodesettings& s, std::optional<int64_t> lookahead) : s_(s) {
    if (!lookahead) return;
    if (*lookahead < 1 || *lookahead > 1000000) refuse("lookahead must be 1 to 1000000 frames, or None");
    record_ = streamencodercreate(s, static_cast<uint32_t>(*lookahead));
    if (!record_) throw std::bad_alloc();
  }
  ~encoder() { streamencoderdestroy(record_); }
  encoder(const encoder&) = delete;
  encoder& operator=(const encoder&) = delete;

  py::object push(const py::object& x) {
    std::vector<double> samples = checkedsignal(x, "x");
    const std::unique_lock<std::mutex> hold = lock();
    if (flushed_) refuse("the encoder has been flushed; make a new one for another signal");
    encodedframes out;
    out.width = s_.ccord + 1;
    if (!record_) {
      whole_.insert(whole_.end(), samples.begin(), samples.end());
      if (whole_.size() > UINT32_MAX) refuse("the signal is too long for the analysis");
    } else {
      int done = 0;
      {
        py::gil_scoped_release nogil;
        const framesink sink{&out, takeframes};
        done = streamencoderpush(record_, samples.data(), static_cast<uint32_t>(samples.size()), sink);
      }
      if (done != 0) throw std::bad_alloc();
    }
    return result(std::move(out));
  }

  py::object flush() {
    const std::unique_lock<std::mutex> hold = lock();
    if (flushed_) refuse("the encoder has been flushed already");
    flushed_ = true;
    encodedframes out;
    out.width = s_.ccord + 1;
    int done = 0;
    {
      py::gil_scoped_release nogil;
      const framesink sink{&out, takeframes};
      done = record_ ? streamencoderflush(record_, sink) : wholeanalysis(sink);
    }
    if (done != 0) throw std::bad_alloc();
    return result(std::move(out));
  }

  py::object latency() const {
    if (!record_) return py::none();
    return py::int_(streamencoderlatency(record_));
  }
  uint32_t fs() const { return s_.fs; }

 private:
  std::unique_lock<std::mutex> lock() { return lockwithoutgil(lock_); }

  // Without a lookahead: the whole analysis of everything pushed, at the end.
  int wholeanalysis(const framesink& sink) {
    const uint32_t n = static_cast<uint32_t>(whole_.size());
    const uint32_t frames = encodeframes(n, s_.lframe);
    std::vector<double> f0(frames), fv(frames), cc(getccsize(frames, s_.ccord));
    if (encodesignal(whole_.data(), n, s_, frames, f0.data(), false, fv.data(), cc.data(), nullptr) != 0)
      return -1;
    whole_ = std::vector<double>();
    return sink.write(sink.state, f0.data(), fv.data(), cc.data(), frames);
  }

  py::object result(encodedframes&& out) {
    return encodedresult(std::move(out.lf0), std::move(out.cc), std::move(out.fv), s_);
  }

  encodesettings s_;
  streamencoder* record_ = nullptr;  // null without a lookahead
  std::vector<double> whole_;        // the samples, without a lookahead
  bool flushed_ = false;
  std::mutex lock_;
};

}  // namespace

namespace velk {

void defstreaming(py::module_& m) {
  using namespace pybind11::literals;
  py::class_<decoder>(
      m, "Decoder",
      R"(Streaming synthesis: frames pushed in blocks of any size, samples returned as soon as no
later frame changes them. Everything push and flush return, one after the other, equals decode
of the whole streams with the same settings, bit for bit, for any split of the frames.

Decoder(*, fs=None, lframe=None, alpha=None, fpitch=1, fvpitch=1, fdur=1, fwarp=0, floud=0,
fpfilt=0, fdrc=0, morvscale=1): the keyword options of decode, with its defaults and checks
(wavnorm, which needs the whole output, excepted). fs is the rate the streams were made at and
the output's (default 16000; without fs, cepstra of another order than 39, the 16 kHz default,
raise ValueError, as decode's do: an encode result e gives Decoder(fs=e.fs, lframe=e.lframe,
alpha=e.alpha, morvscale=e.morvscale)).

Latency: push returns lframe * fdur (truncated: the synthesis shift, the attribute latency)
samples per frame, the samples up to one shift before the centre of its last frame; flush
returns the last shift + 1 samples and ends the stream. At 16 kHz and lframe 80 that is 80
samples, 5 ms.

Settings that need all frames before the first is synthesised (fvpitch != 1: the mean log-F0;
fdrc != 0: the loudest frame; pushes without fv: the range of c0) need survey(lf0, cc, fv)
with the whole streams before the first push; push refuses them otherwise.)")
      .def(py::init([](std::optional<double> fs, std::optional<int64_t> lframe, std::optional<double> alpha,
                       double fpitch, double fvpitch, double fdur, double fwarp, double floud, double fpfilt,
                       double fdrc, int64_t morvscale) {
             const uint32_t rate = checkedrate(fs.value_or(velksamplingrate), "fs");
             const decodesettings d = checkedsynthesissettings(rate, lframe, alpha, fpitch, fvpitch, fdur,
                                                               fwarp, floud, fpfilt, fdrc, morvscale);
             if (d.filtersdisabled)
               userwarning("floud, fpfilt and fdrc not applicable at this rate or alpha.");
             return new decoder(d, fs.has_value());
           }),
           py::kw_only(), "fs"_a = py::none(), "lframe"_a = py::none(), "alpha"_a = py::none(),
           "fpitch"_a = 1.0, "fvpitch"_a = 1.0, "fdur"_a = 1.0, "fwarp"_a = 0.0, "floud"_a = 0.0,
           "fpfilt"_a = 0.0, "fdrc"_a = 0.0, "morvscale"_a = 1)
      .def("push", &decoder::push, "lf0"_a, "cc"_a, "fv"_a = py::none(),
           R"(Synthesises the next frames: lf0 (n,), cc (n, order + 1), fv (n,) in Hz or None (as
with the first push). Returns n * latency float64 samples.)")
      .def("flush", &decoder::flush,
           "Returns the last latency + 1 samples; the decoder takes no more frames.")
      .def("survey", &decoder::survey, "lf0"_a, "cc"_a, "fv"_a = py::none(),
           "Gathers the statistics over all frames that the settings need, from the whole streams.")
      .def_property_readonly("latency", &decoder::latency, "Samples the output trails the frames: the shift.")
      .def_property_readonly("frames", &decoder::frames, "Frames pushed so far.")
      .def_property_readonly("fs", &decoder::fs, "Sampling rate of the output, Hz.");

  py::class_<encoder>(
      m, "Encoder",
      R"(Streaming analysis: samples pushed in blocks of any size, frames returned once final, each as
an Encoded(lf0, cc, fv) of the frames of that call (none, or some) with the settings attached.

Encoder(*, fs=16000, lookahead=None, lframe=None, ccord=None, ccmeth=1, alpha=None, f0min=60,
f0max=500, f0acc=0, zfill=160, morvscale=1): the keyword options of encode, with its defaults
and checks; x given to push is taken as encode takes it (float on the +-1 scale, or int16).

lookahead=None: the frames equal encode of the whole signal, bit for bit, for any split of the
samples. The pitch tracker measures every frame against the loudest part of the whole signal
and reads its path back from the last frame, so no frame is final before the signal ends:
push returns no frame and flush returns them all (latency None).

lookahead=K (frames): bounded latency for real-time use. Each frame's F0 is decided K frames
later on the cheapest path so far, against the loudest part so far, and short voiced islands
are not removed; frames then differ from encode's where these decide (the README gives how
often on the bundled samples). The attribute latency gives the samples after a frame's centre
that must be pushed before it is returned (at 16 kHz with K = 20, 4710 samples, 294 ms);
flush returns the rest.)")
      .def(py::init([](double fs, std::optional<int64_t> lookahead, std::optional<int64_t> lframe,
                       std::optional<int64_t> ccord, int64_t ccmeth, std::optional<double> alpha,
                       double f0min, double f0max, int64_t f0acc, int64_t zfill, int64_t morvscale) {
             const uint32_t rate = checkedrate(fs, "fs");
             return new encoder(checkedanalysissettings(rate, lframe, ccord, ccmeth, alpha, f0min, f0max,
                                                        f0acc, zfill, morvscale),
                                lookahead);
           }),
           py::kw_only(), "fs"_a = 16000.0, "lookahead"_a = py::none(), "lframe"_a = py::none(),
           "ccord"_a = py::none(), "ccmeth"_a = 1, "alpha"_a = py::none(), "f0min"_a = 60.0,
           "f0max"_a = 500.0, "f0acc"_a = 0, "zfill"_a = 160, "morvscale"_a = 1)
      .def("push", &encoder::push, "x"_a,
           "Analyses the next samples; returns an Encoded of the frames now final.")
      .def("flush", &encoder::flush,
           "Ends the signal; returns an Encoded of the remaining frames. The encoder takes no more samples.")
      .def_property_readonly("latency", &encoder::latency,
                             "Samples after a frame's centre pushed before it is returned; None without a "
                             "lookahead.")
      .def_property_readonly("fs", &encoder::fs, "Sampling rate of the signal, Hz.");
}

}  // namespace velk
