// velk.Decoder: the streaming synthesis (streamdecode.h) over numpy arrays, frames pushed in
// blocks and samples returned as they become final.
#include "streaming.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "arrays.h"
#include "streamdecode.h"

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
  // The record's lock, waited for without the GIL: a thread holding it releases the GIL while it
  // synthesises and needs the GIL back before it lets go.
  std::unique_lock<std::mutex> lock() {
    std::unique_lock<std::mutex> hold(lock_, std::defer_lock);
    py::gil_scoped_release nogil;
    hold.lock();
    return hold;
  }

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

}  // namespace

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
}
