#include "streamencode.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <vector>

#include "ccanalysis.h"
#include "fvanalysis.h"
#include "pitchanalysis.h"
#include "spectralanalysis.h"
#include "windowing.h"

namespace velk {

namespace {

// Samples read from the source at a time.
const uint32_t readblock = 1u << 16;

// The dithered signal from the source, kept from sample `start` on in `window`: the reading of
// one pass.
struct piecereader {
  const signalsource* in = nullptr;
  uint32_t n = 0;          // samples the source must give
  uint32_t threshold = 0;  // the dither's
  ditherer* dither = nullptr;
  std::vector<double> raw, released, window;
  bool keepraw = false;            // whether undithered keeps the samples of window, and beyond
  std::vector<double> undithered;  // the samples as read, from `start` on
  uint64_t start = 0;              // signal index of window[0]
  uint64_t read = 0;               // samples read from the source
  bool ended = false;
  int dithered = 0;
  ~piecereader() { ditherdestroy(dither); }
};

// Back to the first sample with a fresh dither; 0 or -1.
int restartreader(piecereader* r) {
  ditherdestroy(r->dither);
  r->dither = dithercreate(r->threshold);
  r->window.clear();
  r->undithered.clear();
  r->start = 0;
  r->read = 0;
  r->ended = false;
  if (r->dither == nullptr || r->in->restart(r->in->state) != 0) return -1;
  return 0;
}

// Reads one block into the window; -1 when the source fails or gives another count than n.
int readmore(piecereader* r) {
  const int64_t got = r->in->read(r->in->state, r->raw.data(), readblock);
  if (got < 0 || r->read + (uint64_t)got > r->n) return -1;
  r->read += (uint64_t)got;
  if (r->keepraw) r->undithered.insert(r->undithered.end(), r->raw.begin(), r->raw.begin() + got);
  uint32_t out = ditherpush(r->dither, r->raw.data(), (uint32_t)got, r->released.data());
  if (got < (int64_t)readblock) {
    if (r->read != r->n) return -1;
    out += ditherflush(r->dither, r->released.data() + out);
    r->ended = true;
    r->dithered |= ditherapplied(r->dither);
  }
  r->window.insert(r->window.end(), r->released.begin(), r->released.begin() + out);
  return 0;
}

// The samples [from, to) of the dithered signal (from not before an earlier call's, to at most n);
// null when reading fails. Samples before `from` are let go.
const double* piece(piecereader* r, uint64_t from, uint64_t to) {
  if (from > r->start) {
    const uint64_t drop = std::min<uint64_t>(from - r->start, r->window.size());
    r->window.erase(r->window.begin(), r->window.begin() + (std::ptrdiff_t)drop);
    if (r->keepraw) r->undithered.erase(r->undithered.begin(), r->undithered.begin() + (std::ptrdiff_t)drop);
    r->start += drop;
  }
  while (r->start + r->window.size() < to && !r->ended)
    if (readmore(r) != 0) return nullptr;
  if (from < r->start || r->start + r->window.size() < to) return nullptr;
  return r->window.data() + (from - r->start);
}

// Reads the rest of the signal, so that a source with more samples than n is noticed.
int finishpass(piecereader* r) {
  while (!r->ended)
    if (readmore(r) != 0) return -1;
  r->window.clear();
  r->undithered.clear();
  return 0;
}

// The frames k0 .. k1-1 of a pass and the samples [from, to) they read.
struct framespan {
  uint32_t k0, k1;
  uint64_t from, to;
};

// Splits the frames (frame k centred at first + k * lframe) into spans of about `piece` samples
// (an even count of frames, which the tracker's pairs need), each reading `reach` samples beyond
// its first and last centres, within the signal.
std::vector<framespan> framespans(uint32_t n, uint32_t first, uint32_t lframe, uint32_t frames,
                                  uint32_t piece, uint64_t reach) {
  uint32_t step = std::max<uint32_t>(2, piece / lframe);
  step += step % 2;
  std::vector<framespan> spans;
  for (uint32_t k0 = 0; k0 < frames; k0 += std::min(step, frames - k0)) {
    const uint32_t k1 = k0 + std::min(step, frames - k0);
    const uint64_t c0 = first + (uint64_t)k0 * lframe, c1 = first + (uint64_t)(k1 - 1) * lframe;
    spans.push_back(
        {k0, k1, std::min<uint64_t>(n, c0 > reach ? c0 - reach : 0), std::min<uint64_t>(n, c1 + reach + 1)});
  }
  return spans;
}

// The pitch tracker's copy of the signal, at encodepitch's rate: upsampled by `factor` below
// 16 kHz, resampled by r.up / r.down above (see pitchresampling), the signal itself at 16 kHz.
struct trackercopy {
  uint32_t factor = 1;
  pitchrate r = {1, 1};
  bool same = true;    // the signal itself
  int64_t reach = 52;  // signal samples a copy sample reads beyond its position, and a margin
};

trackercopy copyfor(const encodesettings& s, uint32_t first) {
  trackercopy c;
  if (s.fs < kSamplingRate) {
    c.factor = (kSamplingRate + s.fs - 1) / s.fs;  // the upsampling's filter reaches 50 samples
  } else {
    c.r = pitchresampling(s.fs, s.lframe, first, s.f0max);
    if (c.r.down > 1) c.reach = (8 * c.r.down + c.r.up - 1) / c.r.up + 2;
  }
  c.same = c.factor == 1 && c.r.down == 1;
  return c;
}

double copyrate(const trackercopy& c, const encodesettings& s) {
  return s.fs * (double)c.factor * c.r.up / c.r.down;
}

// Copy samples of signal samples t, where t is a whole number of copy samples (a frame centre or
// shift: the down of the copy divides them).
uint64_t copyexact(const trackercopy& c, uint64_t t) {
  return t * c.factor / c.r.down * c.r.up;
}

uint32_t copyhop(const trackercopy& c, const encodesettings& s) {
  return (uint32_t)copyexact(c, s.lframe);
}

// Copy samples of n signal samples.
int64_t copysamples(const trackercopy& c, int64_t n) {
  return (n * c.factor * c.r.up + c.r.down - 1) / c.r.down;
}

// Signal position (rounded down) of copy sample t.
int64_t copyposition(const trackercopy& c, int64_t t) {
  return t * c.r.down / ((int64_t)c.factor * c.r.up);
}

// Signal samples t copy samples span, rounded up.
int64_t copyspanned(const trackercopy& c, int64_t t) {
  const int64_t up = (int64_t)c.factor * c.r.up;
  return (t * c.r.down + up - 1) / up;
}

// Copy samples final once n signal samples are pushed: those whose reach lies inside them.
int64_t copyfinal(const trackercopy& c, int64_t n) {
  return c.same ? n : std::max<int64_t>(0, copysamples(c, n - c.reach));
}

// The signal samples [*u, *w) copy samples [a, b) read, within n; a resampled span starts at a
// multiple of r.down, so that its copy samples are the whole signal's bit for bit.
void copyinput(const trackercopy& c, int64_t a, int64_t b, int64_t n, int64_t* u, int64_t* w) {
  *u = std::max<int64_t>(0, copyposition(c, a) - c.reach) / c.r.down * c.r.down;
  *w = std::min<int64_t>(n, copyposition(c, b) + 1 + c.reach);
}

// Copy samples [a, b) from signal samples [u, w) (x[0] is sample u) into out; -1 when memory runs
// out.
int copyspan(const trackercopy& c, const encodesettings& s, const double* x, int64_t u, int64_t w, int64_t a,
             int64_t b, std::vector<double>* out) {
  double* y = c.factor > 1 ? upsampling(x, (uint32_t)(w - u), s.fs, c.factor)
                           : downsampling(x, (uint32_t)(w - u), s.fs, c.r.up, c.r.down);
  if (y == nullptr) return -1;
  const int64_t first = copysamples(c, u);  // copy index of y[0]
  out->assign(y + (a - first), y + (b - first));
  free(y);
  return 0;
}

// The pitch tracker's view of one span: its signal at the copy's rate and band-passed, over whole
// blocks of the filter so that every sample the span's frames read equals the whole signal's.
struct trackerview {
  trackercopy copy;
  uint64_t nsamples = 0;  // samples of the whole signal at the tracker's rate
  uint32_t block = 0;     // the band-pass's block, half its transform
  uint32_t filterlength = 0;
  uint32_t reach = 0;      // a tracker frame's length
  std::vector<double> up;  // the span at the copy's rate
  double* filtered = nullptr;
  uint64_t offset = 0;  // tracker index of filtered[0]
  uint32_t length = 0;
  ~trackerview() { free(filtered); }
};

// The band-passed samples around tracker samples [lo, hi) of the span into v; -1 on a failure.
int filterspan(piecereader* r, const encodesettings& s, int64_t lo, int64_t hi, trackerview* v) {
  const int64_t B = v->block, nt = (int64_t)v->nsamples;
  // The filter is exact from a quarter transform after its first block start to a quarter before
  // the last whole block's end (or to the signal's end); a whole transform on either side suffices.
  const int64_t s0 = std::max<int64_t>(0, (lo - v->filterlength) / B * B);
  const int64_t e = std::min<int64_t>(nt, ((hi + v->filterlength) / B + 1) * B);
  const bool same = v->copy.same;
  int64_t u = s0, w = e;
  if (!same) copyinput(v->copy, s0, e, r->n, &u, &w);
  const double* x = piece(r, (uint64_t)u, (uint64_t)w);
  if (x == nullptr) return -1;
  const double* input = x;
  if (!same) {
    if (copyspan(v->copy, s, x, u, w, s0, e, &v->up) != 0) return -1;
    input = v->up.data();
  }
  free(v->filtered);
  v->filtered = applyfftfilter(input, (uint32_t)(e - s0), copyrate(v->copy, s));
  v->offset = (uint64_t)s0;
  v->length = (uint32_t)(e - s0);
  return v->filtered ? 0 : -1;
}

// The tracker samples frames k0..k1-1 read (frame k centred at tracker sample p0 + k * hop), and
// the tracker samples [rlo, rhi) whose level the span measures (the spans' ranges cover the signal
// once).
void trackerrange(const trackerview& v, const encodesettings& s, int64_t p0, uint32_t frames,
                  const framespan& sp, int64_t* lo, int64_t* hi, int64_t* rlo, int64_t* rhi) {
  const int64_t hop = copyhop(v.copy, s);
  *rlo = sp.k0 == 0 ? 0 : p0 + (int64_t)sp.k0 * hop;
  *rhi = sp.k1 == frames ? (int64_t)v.nsamples : p0 + (int64_t)sp.k1 * hop;
  *lo = std::min<int64_t>(*rlo, p0 + (int64_t)sp.k0 * hop - v.reach);
  *hi = std::max<int64_t>(*rhi, p0 + (int64_t)(sp.k1 - 1) * hop + v.reach + 1);
}

// Passes 1 and 2: the level of the band-passed signal, then the track (and the margins, when
// o.margin is given).
int trackpitch(piecereader* r, const encodesettings& s, const pieceoptions& o, uint32_t frames,
               uint32_t piece, double* f0) {
  trackerview v;
  v.copy = copyfor(s, o.first);
  const int64_t p0 = (int64_t)copyexact(v.copy, o.first);
  const double rate = copyrate(v.copy, s);
  v.nsamples = (uint64_t)copysamples(v.copy, r->n);
  v.filterlength = trackerfilterlength(rate);
  v.block = v.filterlength / 2;
  pitchtracker* tr =
      pitchtrackercreate(rate, copyhop(v.copy, s), frames, s.f0min, s.f0max, o.margin != nullptr);
  if (tr == nullptr) return -1;
  v.reach = pitchtrackerreach(tr);
  const std::vector<framespan> spans = framespans(r->n, o.first, s.lframe, frames, piece, 0);
  double level = 0.0;
  int status = o.margin ? pitchtrackerspill(tr, o.marginframes) : 0;
  for (int pass = 0; pass < 2 && status == 0; ++pass) {
    status = restartreader(r);
    for (const framespan& sp : spans) {
      if (status != 0) break;
      int64_t lo, hi, rlo, rhi;
      trackerrange(v, s, p0, frames, sp, &lo, &hi, &rlo, &rhi);
      status = filterspan(r, s, lo, hi, &v);
      if (status != 0) break;
      if (pass == 0)
        level = pitchtrackerlevel(level, v.filtered + (rlo - (int64_t)v.offset), (uint32_t)(rhi - rlo));
      else if ((status =
                    pitchtrackerframes(tr, v.filtered, v.offset, v.length, level, (uint64_t)p0, sp.k1)) == 0)
        pitchtrackersettle(tr, f0);
    }
    if (status == 0) status = finishpass(r);
  }
  if (status == 0) status = pitchtrackerfinish(tr, f0, o.margin);
  pitchtrackerdestroy(tr);
  return status;
}

// Samples a frame of the voicing, refinement and envelope analyses may read on either side of its
// centre: their frames span three periods of the lowest F0 of the track, or the 25 ms noise frame,
// centred on the frame; this is twice that.
uint64_t framereach(const encodesettings& s, double floor) {
  return std::max(getwinlengthnperiodsodd(3.0, floor, s.fs), naframesize(s.fs));
}

// One pass over the spans, calling work(span, samples, count) with the span's samples.
template <class Work>
int eachspan(piecereader* r, const std::vector<framespan>& spans, Work work) {
  if (restartreader(r) != 0) return -1;
  for (const framespan& sp : spans) {
    const double* x = piece(r, sp.from, sp.to);
    if (x == nullptr || work(sp, x, (uint32_t)(sp.to - sp.from)) != 0) return -1;
  }
  return finishpass(r);
}

// encodepieces's cepstra go to its sink.
int writecepstra(void* state, const piecespan& span) {
  const ccsink* cc = static_cast<const ccsink*>(state);
  return cc->write(cc->state, span.cc, span.k1 - span.k0);
}

}  // namespace

int encodepieces(const signalsource& in, uint32_t n, const encodesettings& s, uint32_t frames, double* f0,
                 bool f0given, double* fv, const ccsink& cc, uint32_t piece, int* dithered) {
  ccsink sink = cc;
  return analysepieces(in, n, s, pieceoptions(), frames, f0, f0given, fv, {&sink, writecepstra}, piece,
                       dithered);
}

int analysepieces(const signalsource& in, uint32_t n, const encodesettings& s, const pieceoptions& o,
                  uint32_t frames, double* f0, bool f0given, double* fv, const piecesink& out, uint32_t piece,
                  int* dithered) {
  piecereader r;
  r.in = &in;
  r.n = n;
  r.threshold = s.zfill;
  r.raw.resize(readblock);
  r.released.resize((size_t)readblock + s.zfill);
  if (piece == 0) piece = encodepiecesamples;
  if (!f0given && frames > 0 && trackpitch(&r, s, o, frames, piece, f0) != 0) return -1;
  const uint64_t reach = std::max<uint64_t>(framereach(s, ccanalysisfloor(f0, frames)), o.rawreach);
  const std::vector<framespan> spans = framespans(n, o.first, s.lframe, frames, piece, reach);
  // Frame k0 of a span is centred at sample first + k0 * lframe, which lies at `first` in its samples.
  auto first = [&](const framespan& sp) {
    return (uint32_t)(o.first + (uint64_t)sp.k0 * s.lframe - sp.from);
  };
  if (fv && eachspan(&r, spans, [&](const framespan& sp, const double* x, uint32_t count) {
              return getfvoicingraw(x, count, s.fs, s.lframe, first(sp), sp.k1 - sp.k0, f0 + sp.k0,
                                    fv + sp.k0);
            }) != 0)
    return -1;
  if (fv) fvmediansmooth(fv, frames);
  if (s.f0acc != 0 && eachspan(&r, spans, [&](const framespan& sp, const double* x, uint32_t count) {
                        return refinepitch(x, count, s.fs, s.lframe, first(sp), sp.k1 - sp.k0, s.f0min,
                                           s.f0max, s.f0acc, f0 + sp.k0, fv ? fv + sp.k0 : nullptr);
                      }) != 0)
    return -1;
  // The envelopes' spectra are sized by the lowest F0 of the whole (refined) track.
  const double floor = ccanalysisfloor(f0, frames);
  std::vector<double> values;
  auto last = [&](const framespan& sp, const double* x, uint32_t count) {
    const uint32_t k = sp.k1 - sp.k0;
    if (o.cepstra) {
      values.resize((size_t)k * (s.ccord + 1));
      if (waveform2ccfloor(x, count, s.fs, s.lframe, first(sp), k, f0 + sp.k0, s.ccord, values.data(),
                           s.ccmeth, s.alpha, floor) != 0)
        return -1;
      if (s.morvscale) morvadapteradhoc(values.data(), s.ccord, k);
    }
    const double* raw = o.rawreach > 0 ? r.undithered.data() + (sp.from - r.start) : nullptr;
    return out.write(out.state, {sp.k0, sp.k1, o.cepstra ? values.data() : nullptr, raw, sp.from, sp.to});
  };
  int done = 0;
  if (o.cepstra || o.rawreach > 0) {
    r.keepraw = o.rawreach > 0;
    done = eachspan(&r, spans, last);
  } else {
    // Nothing of the last pass reads the signal.
    for (const framespan& sp : spans)
      if ((done = last(sp, nullptr, 0)) != 0) break;
  }
  if (dithered) *dithered = r.dithered;
  return done;
}

struct streamencoder {
  encodesettings s;
  uint32_t lookahead = 1;
  ditherer* dither = nullptr;
  std::vector<double> released;
  // The dithered samples [xstart, xstart + x.size()), and whether the signal has ended.
  std::vector<double> x;
  uint64_t xstart = 0;
  bool ended = false;
  // The tracker, on the copy, and its band-passed samples [xfstart, xfstart + xf.size()), every
  // one final; level is their largest magnitude.
  trackercopy copy;
  uint32_t filterlength = 0, block = 0, reach = 0;
  pitchtracker* tr = nullptr;
  std::vector<double> xf;
  uint64_t xfstart = 0;
  double level = 0.0;
  uint32_t frames = pitchtrackeropen;  // known at the flush
  uint32_t decided = 0;                // frames whose F0 is decided
  uint32_t rawdone = 0;                // frames whose raw voiced frequency is known
  uint32_t given = 0;                  // frames given to the sink
  // F0 of frames [given, decided); raw voiced frequencies of frames [rawbase, rawdone).
  std::vector<double> f0, rawfv;
  uint32_t rawbase = 0;
  double floor = 60.0;  // the envelopes' spectra are sized for it
  uint64_t reachx = 0;  // samples a frame analysis reads on either side of its centre
  std::vector<double> cc;
  bool failed = false;
  ~streamencoder() {
    ditherdestroy(dither);
    pitchtrackerdestroy(tr);
  }
};

namespace {

uint64_t available(const streamencoder* e) {
  return e->xstart + e->x.size();
}

uint64_t centre(const streamencoder* e, uint32_t k) {
  return (uint64_t)k * e->s.lframe;
}

// The samples [from, to) of the kept signal.
const double* samplesat(const streamencoder* e, uint64_t from) {
  return e->x.data() + (from - e->xstart);
}

// Extends the final band-passed samples as far as the samples pushed allow: whole blocks of the
// band-pass, each computed from a transform's length before it (see filterspan).
int extendfiltered(streamencoder* e) {
  const int64_t B = e->block;
  const int64_t n = (int64_t)available(e), nt = copysamples(e->copy, n);
  const int64_t valid = (int64_t)(e->xfstart + e->xf.size());
  // Tracker samples whose input is final, and the end of the band-pass's span over them.
  int64_t end, target;
  if (e->ended) {
    end = target = nt;
  } else {
    end = copyfinal(e->copy, n) / B * B;
    target = end - e->filterlength / 4;
  }
  if (target <= valid) return 0;
  const int64_t s0 = std::max<int64_t>(0, (valid - e->filterlength) / B * B);
  const bool same = e->copy.same;
  int64_t u = s0, w = end;
  if (!same) copyinput(e->copy, s0, end, n, &u, &w);
  const double* input = samplesat(e, (uint64_t)u);
  std::vector<double> copied;
  if (!same) {
    if (copyspan(e->copy, e->s, input, u, w, s0, end, &copied) != 0) return -1;
    input = copied.data();
  }
  double* filtered = applyfftfilter(input, (uint32_t)(end - s0), copyrate(e->copy, e->s));
  if (filtered == nullptr) return -1;
  const double* fresh = filtered + (valid - s0);
  e->level = pitchtrackerlevel(e->level, fresh, (uint32_t)(target - valid));
  e->xf.insert(e->xf.end(), fresh, fresh + (target - valid));
  free(filtered);
  return 0;
}

// Tracks the frames whose samples are band-passed, in pairs (the last frame alone at the end),
// and decides the frames `lookahead` behind (all at the end).
int trackframes(streamencoder* e) {
  const uint64_t valid = e->xfstart + e->xf.size();
  uint32_t k = pitchtrackerdone(e->tr);
  const uint64_t hop = copyhop(e->copy, e->s);
  uint32_t upto = k;
  if (e->ended) {
    upto = e->frames;
  } else {
    // A frame reads the band-passed samples up to half a tracker frame after its centre.
    while ((uint64_t)(upto + 1) * hop + (e->reach - e->reach / 2) <= valid) upto += 2;
  }
  if (upto > k &&
      pitchtrackerframes(e->tr, e->xf.data(), e->xfstart, (uint32_t)e->xf.size(), e->level, 0, upto) != 0)
    return -1;
  k = pitchtrackerdone(e->tr);
  const uint32_t decide = e->ended ? k : (k > e->lookahead ? k - e->lookahead : 0);
  if (decide > e->decided) {
    e->f0.resize(e->f0.size() + (decide - e->decided));
    if (pitchtrackerdecide(e->tr, e->decided, decide, e->f0.data() + e->f0.size() - (decide - e->decided)) !=
        0)
      return -1;
    pitchtrackerforget(e->tr, decide);
    e->decided = decide;
  }
  // The band-passed samples before the next frame's reach are no longer read.
  const uint64_t keep =
      std::min<uint64_t>(valid, (uint64_t)k * hop > e->reach ? (uint64_t)k * hop - e->reach : 0);
  if (keep > e->xfstart) {
    e->xf.erase(e->xf.begin(), e->xf.begin() + (std::ptrdiff_t)(keep - e->xfstart));
    e->xfstart = keep;
  }
  return 0;
}

// The samples around frames k0..k1-1 (reachx beyond their centres, within the signal) and where
// frame k0's centre lies in them.
const double* framesamples(const streamencoder* e, uint32_t k0, uint32_t k1, uint32_t* count,
                           uint32_t* first) {
  const uint64_t from = centre(e, k0) > e->reachx ? centre(e, k0) - e->reachx : 0;
  const uint64_t to = std::min<uint64_t>(available(e), centre(e, k1 - 1) + e->reachx + 1);
  *count = (uint32_t)(to - from);
  *first = (uint32_t)(centre(e, k0) - from);
  return samplesat(e, from);
}

// The last frame (exclusive) whose samples are all pushed, up to `limit`.
uint32_t framesreadable(const streamencoder* e, uint32_t from, uint32_t limit) {
  if (e->ended) return limit;
  uint32_t k = from;
  while (k < limit && centre(e, k) + e->reachx < available(e)) ++k;
  return k;
}

// The raw voiced frequencies of the decided frames whose samples are all pushed.
int rawvoicing(streamencoder* e) {
  const uint32_t k1 = framesreadable(e, e->rawdone, e->decided);
  if (k1 == e->rawdone) return 0;
  uint32_t count, first;
  const double* x = framesamples(e, e->rawdone, k1, &count, &first);
  e->rawfv.resize(k1 - e->rawbase);
  const double* f0 = e->f0.data() + (e->rawdone - e->given);
  if (getfvoicingraw(x, count, e->s.fs, e->s.lframe, first, k1 - e->rawdone, f0,
                     e->rawfv.data() + (e->rawdone - e->rawbase)) != 0)
    return -1;
  e->rawdone = k1;
  return 0;
}

// Frame k's voiced frequency after the median, as fvmediansmooth gives it over the whole track:
// the median of the frames around it, or its raw value within half the median of either end.
double finalvoicing(const streamencoder* e, uint32_t k) {
  const uint32_t h = fvmedianlength / 2;
  const double* raw = e->rawfv.data() + (k - e->rawbase);
  if (k < h || !(e->ended ? k + h < e->frames : true)) return *raw;
  double window[fvmedianlength];
  std::copy(raw - h, raw + h + 1, window);
  fvmediansmooth(window, fvmedianlength);
  return window[h];
}

// Refines and analyses the frames whose voiced frequency is final, and gives them to the sink.
int giveframes(streamencoder* e, const framesink& out) {
  const uint32_t h = fvmedianlength / 2;
  const uint32_t k1 = e->ended ? e->rawdone : (e->rawdone > h ? e->rawdone - h : 0);
  if (k1 <= e->given) return 0;
  const uint32_t k0 = e->given, count = k1 - k0;
  std::vector<double> fv(count);
  for (uint32_t k = k0; k < k1; ++k) fv[k - k0] = finalvoicing(e, k);
  uint32_t samples, first;
  const double* x = framesamples(e, k0, k1, &samples, &first);
  double* f0 = e->f0.data();
  const encodesettings& s = e->s;
  if (s.f0acc != 0 &&
      refinepitch(x, samples, s.fs, s.lframe, first, count, s.f0min, s.f0max, s.f0acc, f0, fv.data()) != 0)
    return -1;
  e->cc.resize((size_t)count * (s.ccord + 1));
  if (waveform2ccfloor(x, samples, s.fs, s.lframe, first, count, f0, s.ccord, e->cc.data(), s.ccmeth, s.alpha,
                       e->floor) != 0)
    return -1;
  if (s.morvscale) morvadapteradhoc(e->cc.data(), s.ccord, count);
  if (out.write(out.state, f0, fv.data(), e->cc.data(), count) != 0) return -1;
  e->f0.erase(e->f0.begin(), e->f0.begin() + count);
  e->given = k1;
  // The raw values the median of later frames reads, and the samples later frames read, stay.
  const uint32_t rawkeep = k1 > h ? k1 - h : 0;
  if (rawkeep > e->rawbase) {
    e->rawfv.erase(e->rawfv.begin(), e->rawfv.begin() + (rawkeep - e->rawbase));
    e->rawbase = rawkeep;
  }
  return 0;
}

// The samples no later step reads are let go: before the band-pass's next span and before the
// next frames' reach.
void trimsamples(streamencoder* e) {
  const int64_t valid = (int64_t)(e->xfstart + e->xf.size());
  const int64_t s0 = std::max<int64_t>(0, (valid - e->filterlength) / e->block * e->block);
  int64_t u, w;
  copyinput(e->copy, s0, s0, (int64_t)available(e), &u, &w);
  const uint64_t filter = (uint64_t)u;
  const uint32_t next = std::min(e->rawdone, e->given);
  const uint64_t frames = centre(e, next) > e->reachx ? centre(e, next) - e->reachx : 0;
  const uint64_t keep = std::min({filter, frames, available(e)});
  if (keep > e->xstart) {
    e->x.erase(e->x.begin(), e->x.begin() + (std::ptrdiff_t)(keep - e->xstart));
    e->xstart = keep;
  }
}

int advance(streamencoder* e, const framesink& out) {
  const bool done =
      extendfiltered(e) == 0 && trackframes(e) == 0 && rawvoicing(e) == 0 && giveframes(e, out) == 0;
  if (!done) e->failed = true;
  trimsamples(e);
  return done ? 0 : -1;
}

}  // namespace

streamencoder* streamencodercreate(const encodesettings& s, uint32_t lookahead) {
  streamencoder* e = new (std::nothrow) streamencoder;
  if (e == nullptr) return nullptr;
  e->s = s;
  e->lookahead = std::max<uint32_t>(1, lookahead);
  e->copy = copyfor(s, 0);
  const double rate = copyrate(e->copy, s);
  e->filterlength = trackerfilterlength(rate);
  e->block = e->filterlength / 2;
  e->dither = dithercreate(s.zfill);
  e->tr = pitchtrackercreate(rate, copyhop(e->copy, s), pitchtrackeropen, s.f0min, s.f0max, false);
  if (e->dither == nullptr || e->tr == nullptr) {
    delete e;
    return nullptr;
  }
  e->reach = pitchtrackerreach(e->tr);
  e->floor = std::min(60.0, s.f0min);
  e->reachx = framereach(s, e->floor);
  return e;
}

void streamencoderdestroy(streamencoder* e) {
  delete e;
}

uint32_t streamencoderlatency(const streamencoder* e) {
  // A band-passed sample is final a quarter transform after it, once its block is complete.
  const uint64_t filter = e->filterlength / 4 + e->block;
  const int64_t ahead = (int64_t)(e->reach - e->reach / 2) + (int64_t)filter;  // copy samples
  const uint64_t tracker = (uint64_t)(copyspanned(e->copy, ahead) + e->copy.reach);
  const uint64_t frames = (uint64_t)(e->lookahead + fvmedianlength / 2) * e->s.lframe;
  return (uint32_t)std::min<uint64_t>(UINT32_MAX, tracker + frames + e->reachx + e->s.zfill);
}

int streamencoderpush(streamencoder* e, const double* x, uint32_t n, const framesink& out) {
  if (e->failed || e->ended) return -1;
  for (uint32_t i = 0; i < n; i += readblock) {
    const uint32_t count = std::min(readblock, n - i);
    e->released.resize((size_t)count + e->s.zfill);
    const uint32_t got = ditherpush(e->dither, x + i, count, e->released.data());
    e->x.insert(e->x.end(), e->released.begin(), e->released.begin() + got);
    if (advance(e, out) != 0) return -1;
  }
  return 0;
}

int streamencoderflush(streamencoder* e, const framesink& out) {
  if (e->failed || e->ended) return -1;
  e->released.resize(e->s.zfill);
  const uint32_t got = ditherflush(e->dither, e->released.data());
  e->x.insert(e->x.end(), e->released.begin(), e->released.begin() + got);
  e->ended = true;
  const uint64_t n = available(e);
  e->frames = n > UINT32_MAX ? 0 : encodeframes((uint32_t)n, e->s.lframe);
  if (e->frames < pitchtrackerdone(e->tr) || pitchtrackerend(e->tr, e->frames) != 0) {
    e->failed = true;
    return -1;
  }
  return advance(e, out);
}

int surveysoundsignal(soundsignal* g) {
  std::vector<double> block(readblock);
  uint64_t count = 0;
  double peak = 0.0;
  int64_t got;
  while ((got = soundblocksread(g->blocks, block.data(), readblock)) > 0) {
    const double blockpeak = signalpeak(block.data(), (uint32_t)got);
    peak = std::isnan(blockpeak) || std::isnan(peak) ? NAN : std::max(peak, blockpeak);
    for (int64_t i = 0; i < got; ++i) g->fullscale += std::fabs(block[i]) >= 32767.0 / 32768;
    count += (uint64_t)got;
  }
  if (got < 0 || count == 0 || count > UINT32_MAX) return -1;
  g->samples = (uint32_t)count;
  g->peak = peak;
  return 0;
}

namespace {

int soundrestart(void* state) {
  soundsignal* g = static_cast<soundsignal*>(state);
  g->read = 0;
  g->troubled = g->troubled || soundblocksrestart(g->blocks) != 0;
  return g->troubled ? -1 : 0;
}

int64_t soundread(void* state, double* x, uint32_t n) {
  soundsignal* g = static_cast<soundsignal*>(state);
  const int64_t got = soundblocksread(g->blocks, x, n);
  g->read += got > 0 ? (uint64_t)got : 0;
  g->troubled = g->troubled || got < 0 || g->read > g->samples || (got < n && g->read != g->samples);
  return got;
}

}  // namespace

signalsource soundsignalsource(soundsignal* g) {
  return {g, soundrestart, soundread};
}

namespace {

int memoryrestart(void* state) {
  static_cast<memorysignal*>(state)->position = 0;
  return 0;
}

int64_t memoryread(void* state, double* x, uint32_t n) {
  memorysignal* m = static_cast<memorysignal*>(state);
  const uint32_t count = std::min(n, m->n - m->position);
  std::copy(m->x + m->position, m->x + m->position + count, x);
  m->position += count;
  return count;
}

}  // namespace

signalsource memorysource(memorysignal* m) {
  return {m, memoryrestart, memoryread};
}

}  // namespace velk
