#include "streamencode.h"

#include <algorithm>
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
  uint64_t start = 0;  // signal index of window[0]
  uint64_t read = 0;   // samples read from the source
  bool ended = false;
  int dithered = 0;
  ~piecereader() { ditherdestroy(dither); }
};

// Back to the first sample with a fresh dither; 0 or -1.
int restartreader(piecereader* r) {
  ditherdestroy(r->dither);
  r->dither = dithercreate(r->threshold);
  r->window.clear();
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
  return 0;
}

// The frames k0 .. k1-1 of a pass and the samples [from, to) they read.
struct framespan {
  uint32_t k0, k1;
  uint64_t from, to;
};

// Splits the frames into spans of about `piece` samples (an even count of frames, which the
// tracker's pairs need), each reading `reach` samples beyond its first and last centres.
std::vector<framespan> framespans(uint32_t n, uint32_t lframe, uint32_t frames, uint32_t piece,
                                  uint64_t reach) {
  uint32_t step = std::max<uint32_t>(2, piece / lframe);
  step += step % 2;
  std::vector<framespan> spans;
  for (uint32_t k0 = 0; k0 < frames; k0 += std::min(step, frames - k0)) {
    const uint32_t k1 = k0 + std::min(step, frames - k0);
    const uint64_t first = (uint64_t)k0 * lframe, last = (uint64_t)(k1 - 1) * lframe;
    spans.push_back({k0, k1, first > reach ? first - reach : 0, std::min<uint64_t>(n, last + reach + 1)});
  }
  return spans;
}

// The pitch tracker's view of one span: its signal upsampled below 16 kHz (as encodepitch does)
// and band-passed, over whole blocks of the filter so that every sample the span's frames read
// equals the whole signal's.
struct trackerview {
  uint32_t factor = 1;    // upsampling
  uint64_t nsamples = 0;  // samples of the whole signal at the tracker's rate
  uint32_t block = 0;     // the band-pass's block, half its transform
  uint32_t filterlength = 0;
  uint32_t reach = 0;      // a tracker frame's length
  std::vector<double> up;  // the span upsampled
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
  const int64_t f = v->factor;
  // Upsampling's filter reaches 50 samples each way at the signal's rate.
  const int64_t u = f == 1 ? s0 : std::max<int64_t>(0, s0 / f - 52);
  const int64_t w = f == 1 ? e : std::min<int64_t>(r->n, (e + f - 1) / f + 52);
  const double* x = piece(r, (uint64_t)u, (uint64_t)w);
  if (x == nullptr) return -1;
  const double* input = x;
  if (f > 1) {
    double* up = upsampling(x, (uint32_t)(w - u), s.fs, (uint32_t)f);
    if (up == nullptr) return -1;
    v->up.assign(up, up + (w - u) * f);
    free(up);
    input = v->up.data() + (s0 - u * f);
  }
  free(v->filtered);
  v->filtered = applyfftfilter(input, (uint32_t)(e - s0), s.fs * (double)f);
  v->offset = (uint64_t)s0;
  v->length = (uint32_t)(e - s0);
  return v->filtered ? 0 : -1;
}

// The tracker samples frames k0..k1-1 read, and the tracker samples [rlo, rhi) whose level the
// span measures (the spans' ranges cover the signal once).
void trackerrange(const trackerview& v, const encodesettings& s, uint32_t frames, const framespan& sp,
                  int64_t* lo, int64_t* hi, int64_t* rlo, int64_t* rhi) {
  const int64_t hop = (int64_t)s.lframe * v.factor;
  *rlo = sp.k0 == 0 ? 0 : (int64_t)sp.k0 * hop;
  *rhi = sp.k1 == frames ? (int64_t)v.nsamples : (int64_t)sp.k1 * hop;
  *lo = std::min<int64_t>(*rlo, (int64_t)sp.k0 * hop - v.reach);
  *hi = std::max<int64_t>(*rhi, (int64_t)(sp.k1 - 1) * hop + v.reach + 1);
}

// Passes 1 and 2: the level of the band-passed signal, then the track.
int trackpitch(piecereader* r, const encodesettings& s, uint32_t frames, uint32_t piece, double* f0) {
  trackerview v;
  v.factor = s.fs < kSamplingRate ? (kSamplingRate + s.fs - 1) / s.fs : 1;
  const double rate = s.fs * (double)v.factor;
  v.nsamples = (uint64_t)r->n * v.factor;
  v.filterlength = trackerfilterlength(rate);
  v.block = v.filterlength / 2;
  pitchtracker* tr = pitchtrackercreate(rate, s.lframe * v.factor, frames, s.f0min, s.f0max, false);
  if (tr == nullptr) return -1;
  v.reach = pitchtrackerreach(tr);
  const std::vector<framespan> spans = framespans(r->n, s.lframe, frames, piece, 0);
  double level = 0.0;
  int status = 0;
  for (int pass = 0; pass < 2 && status == 0; ++pass) {
    status = restartreader(r);
    for (const framespan& sp : spans) {
      if (status != 0) break;
      int64_t lo, hi, rlo, rhi;
      trackerrange(v, s, frames, sp, &lo, &hi, &rlo, &rhi);
      status = filterspan(r, s, lo, hi, &v);
      if (status != 0) break;
      if (pass == 0)
        level = pitchtrackerlevel(level, v.filtered + (rlo - (int64_t)v.offset), (uint32_t)(rhi - rlo));
      else
        status = pitchtrackerframes(tr, v.filtered, v.offset, v.length, level, 0, sp.k1);
    }
    if (status == 0) status = finishpass(r);
  }
  if (status == 0) status = pitchtrackerfinish(tr, f0, nullptr);
  pitchtrackerdestroy(tr);
  return status;
}

// Samples a frame of the voicing, refinement and envelope analyses may read on either side of its
// centre: a few periods of the lowest F0 of the track, the noise frame, and the spectra's size.
uint64_t framereach(const encodesettings& s, double floor) {
  const uint32_t periods = getwinlengthnperiodsodd(4.0, floor, s.fs);
  const uint32_t frame = std::max(periods, naframesize(s.fs));
  return 2 * (uint64_t)getwinlengthceilpot2(frame) + ccbasefftsize(s.fs);
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

}  // namespace

int encodepieces(const signalsource& in, uint32_t n, const encodesettings& s, uint32_t frames, double* f0,
                 bool f0given, double* fv, const ccsink& cc, uint32_t piece, int* dithered) {
  piecereader r;
  r.in = &in;
  r.n = n;
  r.threshold = s.zfill;
  r.raw.resize(readblock);
  r.released.resize((size_t)readblock + s.zfill);
  if (piece == 0) piece = encodepiecesamples;
  if (!f0given && frames > 0 && trackpitch(&r, s, frames, piece, f0) != 0) return -1;
  const std::vector<framespan> spans =
      framespans(n, s.lframe, frames, piece, framereach(s, ccanalysisfloor(f0, frames)));
  // Frame k0 of a span is centred at sample k0 * lframe, which lies at `first` in its samples.
  auto first = [&](const framespan& sp) { return (uint32_t)((uint64_t)sp.k0 * s.lframe - sp.from); };
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
  const int done = eachspan(&r, spans, [&](const framespan& sp, const double* x, uint32_t count) {
    const uint32_t k = sp.k1 - sp.k0;
    values.resize((size_t)k * (s.ccord + 1));
    if (waveform2ccfloor(x, count, s.fs, s.lframe, first(sp), k, f0 + sp.k0, s.ccord, values.data(), s.ccmeth,
                         s.alpha, floor) != 0)
      return -1;
    if (s.morvscale) morvadapteradhoc(values.data(), s.ccord, k);
    return cc.write(cc.state, values.data(), k);
  });
  if (dithered) *dithered = r.dithered;
  return done;
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
  signalsource s;
  s.state = m;
  s.restart = memoryrestart;
  s.read = memoryread;
  return s;
}

}  // namespace velk
