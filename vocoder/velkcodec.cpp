#include "velkcodec.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>
#include <vector>

#include "ccanalysis.h"
#include "fvanalysis.h"
#include "matvect.h"
#include "pitchanalysis.h"
#include "spectralanalysis.h"

namespace velk {

namespace {

// The warping factor and rate the loudness, post-filter and compression tables are made for.
const double filteralpha = 0.42;
const uint32_t filterrate = kSamplingRate;
// The mel scale of the warping fit: m(f) = ln(1 + f / melbreak), sampled at melpoints points.
const double melbreak = 1000.0;
const uint32_t melpoints = 1001;
// The log-F0 of an unvoiced frame; a value counts as voiced when above it.
const double unvoicedlogf0 = -1e10;
// The C library's generator starts as if seeded with 1; the dither keeps that sequence.
const unsigned ditherseed = 1;

// A ranged factor that differs from its neutral value is held inside [lower, upper]; a NaN
// becomes the upper bound.
double clampfactor(double value, double neutral, double lower, double upper) {
  if (value == neutral) return value;
  if (!(value < upper)) return upper;
  if (value <= lower) return lower;
  return value;
}

// Synthesis frame shift: lframe stretched by the duration factor and truncated; 0 when the
// result is no usable shift (below one sample or beyond 32 bits).
uint32_t synthesisshift(uint32_t lframe, double fdur) {
  if (lframe < 1) return 0;
  if (fdur == 1.0) return lframe;
  const double shift = std::trunc(static_cast<double>(lframe) * fdur);
  return shift >= 1.0 && shift <= UINT32_MAX ? static_cast<uint32_t>(shift) : 0;
}

bool allfinite(const double* v, uint32_t n) {
  for (uint32_t j = 0; j < n; ++j)
    if (!std::isfinite(v[j])) return false;
  return true;
}

// Sets every non-finite sample of out to 0 and notes the frames they fall in.
void silencenonfinite(double* out, uint32_t outlen, uint32_t shift, uint32_t frames,
                      silencedsamples* silenced) {
  for (uint32_t j = 0; j < outlen; ++j) {
    if (std::isfinite(out[j])) continue;
    out[j] = 0.0;
    const uint32_t frame = std::min(j / shift, frames == 0 ? 0 : frames - 1);
    if (silenced->samples++ == 0) silenced->firstframe = frame;
    silenced->lastframe = frame;
  }
}

}  // namespace

bool ratesupported(double fs) {
  return fs >= velkratelowest && fs <= velkratehighest;
}

uint32_t defaultlframe(uint32_t fs) {
  return (fs + 99) / 200;
}

double melfiterror(uint32_t fs, double alpha) {
  const double top = std::log(1 + fs / 2.0 / melbreak);
  double sum = 0;
  for (uint32_t i = 0; i < melpoints; ++i) {
    const double m = top * i / (melpoints - 1);
    const double f = melbreak * (std::exp(m) - 1);
    const double e = fwarp(kTwoPi * f / fs, alpha) - kPi * m / top;
    sum += e * e;
  }
  return sum;
}

// The error has a single minimum over 0 .. 0.99, so the search walks downhill from the 16 kHz
// factor in steps of 0.01 (three evaluations at 16 kHz, about twenty at 48 kHz) instead of
// trying all hundred.
double defaultalpha(uint32_t fs) {
  int best = 42;
  double least = melfiterror(fs, best / 100.0);
  for (const int step : {1, -1}) {
    for (int next = best + step; next >= 0 && next <= 99; next += step) {
      const double error = melfiterror(fs, next / 100.0);
      if (!(error < least)) break;
      least = error;
      best = next;
    }
  }
  return best / 100.0;
}

// Above 16 kHz the envelope spans a wider band: copy synthesis of speech at 22.05, 44.1 and
// 48 kHz measured with orders 39, 49 and 59 lost 0.1 to 0.16 dB of log-spectral distance above
// 8 kHz from 39 to 49 (and the warped-cepstral distortion a little), 59 adding less for a fifth
// more values; the analysis takes no measurably longer at 49.
uint32_t defaultccord(uint32_t fs) {
  return fs <= kSamplingRate ? 39 : 49;
}

uint32_t ccordhighest(uint32_t fs) {
  return ccbasefftsize(fs) / 2 - 1;
}

encodesettings encodedefaults(uint32_t fs) {
  encodesettings s;
  s.fs = fs;
  s.lframe = defaultlframe(fs);
  s.alpha = defaultalpha(fs);
  s.ccord = defaultccord(fs);
  return s;
}

decodesettings decodedefaults(uint32_t fs) {
  decodesettings s;
  s.fs = fs;
  s.lframe = defaultlframe(fs);
  s.alpha = defaultalpha(fs);
  return s;
}

int morvadapteradhoc(double* cc, uint32_t order, uint32_t frames) {
  for (uint32_t k = 0; k < frames; ++k) {
    double* frame = cc + getccsize(k, order);
    frame[0] += 5.0;
    for (uint32_t j = 1; j <= order; ++j) frame[j] *= 2.0;
  }
  return 0;
}

int invmorvadapteradhoc(double* cc, uint32_t order, uint32_t frames) {
  for (uint32_t k = 0; k < frames; ++k) {
    double* frame = cc + getccsize(k, order);
    frame[0] -= 5.0;
    for (uint32_t j = 1; j <= order; ++j) frame[j] *= 0.5;
  }
  return 0;
}

uint32_t encodeframes(uint32_t samples, uint32_t lframe) {
  return getnumframes(samples, lframe, 0);
}

// The dither between blocks: the generator, and the run of equal samples the last block ended in.
// A run is dithered whole once it grows longer than the threshold, its samples drawing their
// noise in order; until then its samples wait in `held`, as they may stay as they are.
struct ditherer {
  explicit ditherer(uint32_t limit) : noise(ditherseed), threshold(limit) { held.reserve(limit); }
  noisegen noise;
  uint32_t threshold;
  uint32_t run = 0;   // length of the current run, 0 before the first sample
  double last = 0.0;  // its value, as read
  std::vector<double> held;
  int dithered = 0;
};

namespace {

const double dithersigma = 1.3 / 32768;

// Moves the held samples to out, dithered or as they are; returns their count.
uint32_t releaseheld(ditherer* d, double* out, bool dither) {
  const uint32_t count = static_cast<uint32_t>(d->held.size());
  for (uint32_t k = 0; k < count; ++k)
    out[k] = dither ? d->held[k] + dithersigma * gaussrand(&d->noise) : d->held[k];
  d->held.clear();
  return count;
}

}  // namespace

ditherer* dithercreate(uint32_t threshold) {
  return new (std::nothrow) ditherer(threshold);
}

void ditherdestroy(ditherer* d) {
  delete d;
}

// The samples of the block before the current run are final as they are and are copied in bulk
// (most runs of speech are one sample long); a run that grows beyond the threshold is dithered from
// its first sample on, the held ones of the block before first; the run the block ends in is held.
uint32_t ditherpush(ditherer* d, const double* in, uint32_t n, double* out) {
  if (d->threshold == 0) {
    std::copy(in, in + n, out);
    return n;
  }
  uint32_t released = 0;
  uint32_t copied = 0;    // in[copied..runstart) is final as it is, not yet in out
  uint32_t runstart = 0;  // where the current run starts in this block (0: it began before)
  auto flushfinal = [&](uint32_t upto) {
    std::copy(in + copied, in + upto, out + released);
    released += upto - copied;
    copied = upto;
  };
  for (uint32_t i = 0; i < n; ++i) {
    const double v = in[i];
    if (d->run > 0 && v == d->last) {
      if (++d->run <= d->threshold) continue;
      if (d->run == d->threshold + 1) {  // the run is long: dithered from its first sample on
        flushfinal(runstart);
        released += releaseheld(d, out + released, true);
        for (; copied < i; ++copied) out[released++] = in[copied] + dithersigma * gaussrand(&d->noise);
        d->dithered = 1;
      }
      out[released++] = v + dithersigma * gaussrand(&d->noise);
      copied = i + 1;
      continue;
    }
    // A new run: the one before it, not longer than the threshold, stays as it was.
    released += releaseheld(d, out + released, false);
    d->run = 1;
    d->last = v;
    runstart = i;
  }
  if (d->run <= d->threshold) {
    flushfinal(runstart);
    d->held.insert(d->held.end(), in + runstart, in + n);
  }
  return released;
}

uint32_t ditherflush(ditherer* d, double* out) {
  return releaseheld(d, out, false);
}

int ditherapplied(const ditherer* d) {
  return d->dithered;
}

int padzeros(double* x, uint32_t n, uint32_t threshold) {
  if (threshold == 0) return 0;
  ditherer d(threshold);
  // Released samples never outrun the samples read, so they go back into x behind the reading.
  const uint32_t block = 4096;
  std::vector<double> out(block + threshold);
  uint32_t written = 0;
  for (uint32_t i = 0; i < n; i += block) {
    const uint32_t got = ditherpush(&d, x + i, std::min(block, n - i), out.data());
    std::copy(out.begin(), out.begin() + got, x + written);
    written += got;
  }
  const uint32_t rest = ditherflush(&d, out.data());
  std::copy(out.begin(), out.begin() + rest, x + written);
  return d.dithered;
}

// Below 16 kHz the pitch tracker works on a copy at the smallest whole multiple of the rate that
// reaches 16 kHz: its lags, whole samples, then resolve a period as finely as at 16 kHz (at
// 11.025 kHz a period of 73.5 samples would otherwise lose its peak to the lag of two periods).
// Above, on a copy at pitchresampling's fraction of the rate when it is below 1.
int encodepitch(const double* x, uint32_t n, const encodesettings& s, uint32_t frames, double* f0) {
  return encodepitch(x, n, s, 0, frames, f0, nullptr);
}

pitchrate pitchresampling(uint32_t fs, uint32_t lframe, uint32_t first, double f0max) {
  const double lowest = std::max(velkpitchratelowest, velkpitchperiodsamples * f0max);
  pitchrate best = {1, 1};
  for (uint32_t down = 2; down <= velkpitchdownmost; down++) {
    if (lframe % down != 0 || first % down != 0) continue;
    // The smallest up with fs * up / down at or above lowest (products of whole numbers, exact).
    uint32_t up = (uint32_t)std::min(lowest * down / fs, (double)down);
    while (up < down && (double)fs * up < lowest * down) ++up;
    if (up < down && (double)up * best.down < (double)best.up * down) best = {up, down};
  }
  return best;
}

namespace {

// The tracker with s's range on a copy of the signal (samples at rate fs, frames every hop
// samples from first), which it then frees; -1 also when there is no copy.
int trackcopy(double* copy, uint32_t samples, double fs, uint32_t hop, uint32_t first,
              const encodesettings& s, uint32_t frames, double* f0, double* margin) {
  if (copy == nullptr) return -1;
  const int done = getpitchmargins(copy, samples, fs, hop, first, frames, s.f0min, s.f0max, f0, margin);
  free(copy);
  return done == 0 ? 0 : -1;
}

}  // namespace

int encodepitch(const double* x, uint32_t n, const encodesettings& s, uint32_t first, uint32_t frames,
                double* f0, double* margin) {
  if (s.fs < kSamplingRate) {
    const uint32_t up = (kSamplingRate + s.fs - 1) / s.fs;
    if (n > UINT32_MAX / up || s.lframe > UINT32_MAX / up || first > UINT32_MAX / up) return -1;
    return trackcopy(upsampling(x, n, s.fs, up), n * up, s.fs * up, s.lframe * up, first * up, s, frames, f0,
                     margin);
  }
  const pitchrate r = pitchresampling(s.fs, s.lframe, first, s.f0max);
  if (r.down == 1)
    return getpitchmargins(x, n, s.fs, s.lframe, first, frames, s.f0min, s.f0max, f0, margin) == 0 ? 0 : -1;
  const uint64_t samples = ((uint64_t)n * r.up + r.down - 1) / r.down;  // at most n
  return trackcopy(downsampling(x, n, s.fs, r.up, r.down), (uint32_t)samples, (double)s.fs * r.up / r.down,
                   s.lframe / r.down * r.up, first / r.down * r.up, s, frames, f0, margin);
}

int encodevoicing(const double* x, uint32_t n, const encodesettings& s, uint32_t frames, double* f0,
                  double* fv) {
  return encodevoicing(x, n, s, 0, frames, f0, fv);
}

int encodevoicing(const double* x, uint32_t n, const encodesettings& s, uint32_t first, uint32_t frames,
                  double* f0, double* fv) {
  if (fv && getfvoicing(x, n, s.fs, s.lframe, first, frames, f0, fv) != 0) return -1;
  if (s.f0acc != 0 &&
      refinepitch(x, n, s.fs, s.lframe, first, frames, s.f0min, s.f0max, s.f0acc, f0, fv) != 0)
    return -1;
  return 0;
}

int encodecepstra(const double* x, uint32_t n, const encodesettings& s, uint32_t frames, const double* f0,
                  double* cc) {
  return encodecepstra(x, n, s, 0, frames, f0, cc);
}

int encodecepstra(const double* x, uint32_t n, const encodesettings& s, uint32_t first, uint32_t frames,
                  const double* f0, double* cc) {
  if (waveform2cc(x, n, s.fs, s.lframe, first, frames, f0, s.ccord, cc, s.ccmeth, s.alpha) != 0) return -1;
  if (s.morvscale) morvadapteradhoc(cc, s.ccord, frames);
  return 0;
}

int encodesignal(double* x, uint32_t n, const encodesettings& s, uint32_t frames, double* f0, bool f0given,
                 double* fv, double* cc, int* dithered) {
  const int padded = padzeros(x, n, s.zfill);
  if (dithered) *dithered = padded;
  if (!f0given && encodepitch(x, n, s, frames, f0) != 0) return -1;
  if (encodevoicing(x, n, s, frames, f0, fv) != 0) return -1;
  return encodecepstra(x, n, s, frames, f0, cc);
}

int checkencodesettings(const encodesettings& s) {
  if (!ratesupported(s.fs)) return -1;
  const bool floor = s.f0min >= velkf0floorlowest && s.f0min < s.f0max;
  const bool ceiling = s.f0max < s.fs / 2.0;
  const bool method = s.ccmeth < velkccmethods && s.ccord <= ccordhighest(s.fs);
  return s.lframe >= 1 && std::fabs(s.alpha) < 1.0 && floor && ceiling && method ? 0 : -1;
}

double loadedf0lowest(const encodesettings& s) {
  return s.f0min / 2;
}

double loadedf0highest(const encodesettings& s) {
  return s.fs / 2.0;
}

uint32_t screenloadedlogf0(double* lf0, uint32_t frames, const encodesettings& s) {
  const double lowest = loadedf0lowest(s), highest = loadedf0highest(s);
  uint32_t changed = 0;
  for (uint32_t k = 0; k < frames; ++k) {
    if (!std::isnan(lf0[k]) && !(lf0[k] > unvoicedlogf0)) continue;
    const double f0 = std::exp(lf0[k]);  // as logf02f0 turns it into Hz
    if (f0 >= lowest && f0 <= highest) continue;
    lf0[k] = unvoicedlogf0;
    ++changed;
  }
  return changed;
}

int preparedecode(decodesettings* s) {
  s->filtersdisabled = false;
  const bool filterable = s->alpha == filteralpha && s->fs == filterrate;
  if (!filterable && (s->floud != 0 || s->fpfilt != 0 || s->fdrc != 0)) {
    s->floud = s->fpfilt = s->fdrc = 0;
    s->filtersdisabled = true;
  }
  s->fdur = clampfactor(s->fdur, 1.0, 0.25, 4.0);
  s->fpitch = clampfactor(s->fpitch, 1.0, 0.25, 4.0);
  s->fvpitch = clampfactor(s->fvpitch, 1.0, 0.0, 4.0);
  s->fwarp = clampfactor(s->fwarp, 0.0, -0.99, 0.99);
  s->floud = clampfactor(s->floud, 0.0, -4.0, 4.0);
  s->fpfilt = clampfactor(s->fpfilt, 0.0, 0.0, 1.0);
  s->fdrc = clampfactor(s->fdrc, 0.0, 0.0, 1.0);
  s->shift = synthesisshift(s->lframe, s->fdur);
  if (s->shift == 0 || !(std::fabs(s->alpha) < 1.0) || !ratesupported(s->fs)) return -1;
  s->synthesisalpha = s->fwarp != 0 ? (s->alpha - s->fwarp) / (1 - s->fwarp * s->alpha) : s->alpha;
  return 0;
}

double highestvoicing(const double* fv, uint32_t frames) {
  const double ceiling = velkratehighest / 2.0;
  double highest = 0;
  for (uint32_t k = 0; k < frames; ++k)
    if (fv[k] > highest && fv[k] <= ceiling) highest = fv[k];
  return highest;
}

uint64_t decodedlength(uint32_t frames, const decodesettings& s) {
  return (static_cast<uint64_t>(frames) + 1) * s.shift + 1;
}

double signalpeak(const double* x, uint32_t n) {
  double peak = 0.0;
  for (uint32_t j = 0; j < n; ++j) {
    if (!std::isfinite(x[j])) return NAN;
    peak = std::max(peak, std::fabs(x[j]));
  }
  return peak;
}

int decodestreams(double* lf0, double* cc, const double* fv, uint32_t frames, uint32_t order,
                  const decodesettings& s, double* out, uint32_t outlen) {
  silencedsamples silenced;
  return decodestreams(lf0, cc, fv, frames, order, s, out, outlen, &silenced);
}

bool decodeframebegin(const decodesettings& s, uint32_t order, double* lf0, double* c, const double* fv) {
  if (s.morvscale) invmorvadapteradhoc(c, order, 1);
  const bool f0bad = std::isnan(*lf0) || *lf0 == HUGE_VAL;
  const bool fvbad = fv && !std::isfinite(*fv);
  if (f0bad || fvbad || !allfinite(c, order + 1)) {
    *lf0 = NAN;
    for (uint32_t j = 0; j <= order; ++j) c[j] = NAN;
    return false;
  }
  if (s.fpitch != 1.0) shiftlogpitch(1, lf0, std::log(s.fpitch));
  return true;
}

void decodeframesurvey(decodestatistics* st, const decodesettings& s, uint32_t order, double lf0,
                       const double* c) {
  if (lf0 > unvoicedlogf0) {
    st->logf0sum += lf0;
    ++st->voiced;
  }
  if (s.fdrc != 0) {
    const double level = drclevel(c, order);
    if (level > st->loudest) st->loudest = level;
  }
}

void decodeframefinish(const decodesettings& s, const decodestatistics& st, uint32_t order, bool sound,
                       double* lf0, double* c) {
  if (s.fvpitch != 1.0 && st.voiced != 0 && *lf0 > unvoicedlogf0) {
    const double mean = st.logf0sum / st.voiced;
    *lf0 = (*lf0 - mean) * s.fvpitch + mean;
  }
  if (s.fdrc != 0) drcadjust(c, drclevel(c, order), st.loudest, s.fdrc);
  if (s.fpfilt != 0) applycpostfilt16k042(c, order, 1, s.fpfilt, nullptr);
  if (s.floud != 0) applycloudfilt16k042(c, order, 1, s.floud);
  logf02f0(1, lf0);
  if (!sound) *lf0 = NAN;  // silent in synthesis
}

int decodestreams(double* lf0, double* cc, const double* fv, uint32_t frames, uint32_t order,
                  const decodesettings& s, double* out, uint32_t outlen, silencedsamples* silenced) {
  *silenced = silencedsamples();
  std::vector<char> sound;
  try {
    sound.resize(frames);
  } catch (const std::bad_alloc&) {
    return -1;
  }
  decodestatistics st;
  for (uint32_t k = 0; k < frames; ++k) {
    double* c = cc + getccsize(k, order);
    sound[k] = decodeframebegin(s, order, lf0 + k, c, fv ? fv + k : nullptr);
    decodeframesurvey(&st, s, order, lf0[k], c);
  }
  for (uint32_t k = 0; k < frames; ++k)
    decodeframefinish(s, st, order, sound[k], lf0 + k, cc + getccsize(k, order));
  std::vector<uint8_t> silent;  // frames left out: corrupt, or their synthesis overflows
  try {
    silent.resize(frames);
  } catch (const std::bad_alloc&) {
    return -1;
  }
  if (cc2waveform(out, outlen, s.fs, s.shift, frames, lf0, fv, s.synthesisalpha, order, cc, silent.data()) !=
      0)
    return -1;
  silencenonfinite(out, outlen, s.shift, frames, silenced);
  for (uint32_t k = 0; k < frames; ++k)
    if (silent[k]) notesilentframe(silenced, k, s.shift);
  return 0;
}

void notesilentframe(silencedsamples* silenced, uint32_t frame, uint32_t shift) {
  const bool first = silenced->samples == 0;
  if (first || frame < silenced->firstframe) silenced->firstframe = frame;
  if (first || frame > silenced->lastframe) silenced->lastframe = frame;
  silenced->samples += shift;
}

int cepstralenvelopes(const double* cc, uint32_t frames, uint32_t order, double fs, double alpha,
                      bool morvscale, uint32_t bins, double* out) {
  if (bins < 2) return -1;
  const uint32_t width = order + 1;
  std::vector<double> freqs, rows, c;
  try {
    freqs.resize(bins);
    rows.resize(static_cast<size_t>(bins) * width);
    c.resize(width);
  } catch (const std::bad_alloc&) {
    return -1;
  }
  for (uint32_t k = 0; k < bins; ++k) freqs[k] = k * (fs / 2) / (bins - 1);
  ccmatrixcreate(order, bins, 0, freqs.data(), fs, alpha, rows.data(), nullptr);
  for (uint32_t i = 0; i < frames; ++i) {
    const double* frame = cc + getccsize(i, order);
    c.assign(frame, frame + width);
    if (morvscale) invmorvadapteradhoc(c.data(), order, 1);
    double* e = out + static_cast<size_t>(i) * bins;
    prodmat(rows.data(), c.data(), e, bins, width, 1);
    for (uint32_t k = 0; k < bins; ++k) e[k] = std::exp(e[k]);
  }
  return 0;
}

}  // namespace velk
