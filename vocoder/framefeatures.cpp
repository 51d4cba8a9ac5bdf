#include "framefeatures.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <new>
#include <vector>

#include "velkcodec.h"

namespace velk {

namespace {

// The voicing probability against the tracker's margin, on each side of 0: points (margin,
// probability) between which it is interpolated linearly and beyond which it is held. Fitted by
// bench/voicing_calibration.py: the voiced fraction of frames of synthetic voices of known voicing,
// by isotonic regression on the margin, each side kept on its side of 0.5.
struct calibrationpoint {
  double margin, probability;
};
const calibrationpoint kVoicedSide[] = {{0.4, 0.500}, {0.5, 0.558},  {0.6, 0.649},
                                        {0.7, 0.783}, {0.8, 0.911},  {0.85, 0.967},
                                        {0.9, 0.985}, {0.95, 0.996}, {1, 1.000}};
const calibrationpoint kUnvoicedSide[] = {{-0.8, 0.001}, {-0.6, 0.003}, {-0.5, 0.005}, {-0.4, 0.017},
                                          {-0.3, 0.045}, {-0.2, 0.093}, {-0.1, 0.132}, {0, 0.500}};

template <size_t N>
double calibrated(const calibrationpoint (&table)[N], double margin) {
  if (!(margin > table[0].margin)) return table[0].probability;
  for (size_t k = 1; k < N; ++k) {
    if (margin > table[k].margin) continue;
    const calibrationpoint &a = table[k - 1], &b = table[k];
    return a.probability + (b.probability - a.probability) * (margin - a.margin) / (b.margin - a.margin);
  }
  return table[N - 1].probability;
}

// The analysis settings of the vocoder for the features' grid and pitch range.
encodesettings analysissettings(const featuresettings& s) {
  encodesettings e = encodedefaults(s.grid.fs);
  e.lframe = s.grid.hop;
  e.f0min = s.f0min;
  e.f0max = s.f0max;
  return e;
}

// Centre of frame 0 of the grid, in samples.
uint32_t firstcentre(const framegrid& g) {
  return (uint32_t)gridcentre(g, 0);
}

const uint32_t allfeatures = FEATURE_F0 | FEATURE_VUV | FEATURE_VOICING | FEATURE_LF0 | FEATURE_ENERGY |
                             FEATURE_CC | FEATURE_FV | FEATURE_MARGIN;

// The arrays of o in the order of the FEATURE_ bits: array k is feature 1 << k.
std::array<double*, 8> arraysbybit(const featureoutputs& o) {
  return {o.f0, o.vuv, o.voicing, o.lf0, o.energy, o.cc, o.fv, o.margin};
}

// Energies of frames k0..k1-1 into energy[0..) from x, the samples [from, to) of a signal of n
// samples, which hold every sample of those frames' windows within the signal.
void energiesof(const double* x, uint64_t from, uint64_t n, const framegrid& g, uint32_t k0, uint32_t k1,
                double* energy) {
  const double floor = std::pow(10.0, featureenergyfloor / 10.0);
  for (uint32_t t = k0; t < k1; ++t) {
    const int64_t start = gridstart(g, t);
    const int64_t a = std::max<int64_t>(start, 0);
    const int64_t b = std::min<int64_t>(start + g.window, (int64_t)n);
    double sum = 0.0;
    for (int64_t j = a; j < b; ++j) sum += x[j - (int64_t)from] * x[j - (int64_t)from];
    energy[t - k0] = 10.0 * std::log10(std::max(sum / g.window, floor));
  }
}

// One call of computefeaturespieces: the whole tracks and the block given to the sink.
struct featurerun {
  const featuresettings* s = nullptr;
  uint32_t selection = 0, n = 0, frames = 0, width = 0;
  std::vector<double> f0, fv, margin, lf0;
  std::vector<double> block[8];  // the block's values of each feature, in FEATURE_ bit order
  featuresink out;
};

// The block of frames of a span of the last pass, to the sink.
int givefeatures(void* state, const piecespan& span) {
  featurerun* run = static_cast<featurerun*>(state);
  const uint32_t k0 = span.k0, count = span.k1 - span.k0;
  // The track is final once the last pass begins.
  if (k0 == 0 && (run->selection & FEATURE_LF0))
    continuouslogf0(run->f0.data(), run->frames, run->lf0.data());
  double* values[8] = {};
  for (uint32_t k = 0; k < 8; ++k) {
    if (!(run->selection & (1u << k))) continue;
    run->block[k].resize((size_t)count * ((1u << k) == FEATURE_CC ? run->width : 1));
    values[k] = run->block[k].data();
  }
  const featureoutputs v = {values[0], values[1], values[2], values[3],
                            values[4], values[5], values[6], values[7]};
  for (uint32_t t = 0; t < count; ++t) {
    const double f0 = run->f0[k0 + t];
    if (v.f0) v.f0[t] = f0;
    if (v.vuv) v.vuv[t] = f0 > 0.0 ? 1.0 : 0.0;
    if (v.voicing) v.voicing[t] = voicingprobability(run->margin[k0 + t], f0 > 0.0);
    if (v.margin) v.margin[t] = run->margin[k0 + t];
    if (v.lf0) v.lf0[t] = run->lf0[k0 + t];
    if (v.fv) v.fv[t] = run->fv[k0 + t];
  }
  if (v.energy) energiesof(span.raw, span.from, run->n, run->s->grid, k0, span.k1, v.energy);
  if (v.cc) std::copy(span.cc, span.cc + (size_t)count * run->width, v.cc);
  return run->out.write(run->out.state, k0, count, v);
}

// computefeatures's arrays, which its sink fills block by block.
struct featurearrays {
  featureoutputs out;
  uint32_t width = 0;  // cepstral values a frame
};

int intoarrays(void* state, uint32_t k0, uint32_t count, const featureoutputs& values) {
  const featurearrays* a = static_cast<const featurearrays*>(state);
  const std::array<double*, 8> to = arraysbybit(a->out), from = arraysbybit(values);
  for (uint32_t k = 0; k < 8; ++k) {
    if (to[k] == nullptr) continue;
    const size_t per = (1u << k) == FEATURE_CC ? a->width : 1;
    std::copy(from[k], from[k] + count * per, to[k] + k0 * per);
  }
  return 0;
}

}  // namespace

uint32_t featureccord(uint32_t fs) {
  return defaultccord(fs);
}

int checkfeaturesettings(const featuresettings& s) {
  if (checkframegrid(s.grid) != 0 || !ratesupported(s.grid.fs)) return -1;
  return checkencodesettings(analysissettings(s));
}

double voicingprobability(double margin, bool voiced) {
  const double p = margin > 0.0 ? calibrated(kVoicedSide, margin) : calibrated(kUnvoicedSide, margin);
  // The side follows the final decision: a frame the island removal made unvoiced, or a tie of
  // the two paths, keeps its decision.
  if (voiced) return std::max(p, std::nextafter(0.5, 1.0));
  return std::min(p, 0.5);
}

void continuouslogf0(const double* f0, uint32_t frames, double* lf0) {
  uint32_t previous = frames;  // last voiced frame seen, frames for none
  for (uint32_t t = 0; t < frames; ++t) {
    if (!(f0[t] > 0.0)) continue;
    lf0[t] = std::log(f0[t]);
    if (previous == frames) {
      for (uint32_t u = 0; u < t; ++u) lf0[u] = lf0[t];
    } else {
      for (uint32_t u = previous + 1; u < t; ++u)
        lf0[u] = lf0[previous] + (lf0[t] - lf0[previous]) * (u - previous) / (t - previous);
    }
    previous = t;
  }
  const double held = previous == frames ? 0.0 : lf0[previous];
  for (uint32_t u = previous == frames ? 0 : previous + 1; u < frames; ++u) lf0[u] = held;
}

void frameenergies(const double* x, uint32_t n, const framegrid& g, uint32_t frames, double* energy) {
  energiesof(x, 0, n, g, 0, frames, energy);
}

int computefeaturespieces(const signalsource& in, uint32_t n, const featuresettings& s, uint32_t frames,
                          uint32_t selection, const featuresink& out, uint32_t piece, uint32_t marginframes) {
  if (checkfeaturesettings(s) != 0 || n == 0 || frames > gridframes(s.grid, n) || selection == 0 ||
      (selection & ~allfeatures) != 0 || marginframes == 0)
    return -1;
  const encodesettings e = analysissettings(s);
  featurerun run;
  run.s = &s;
  run.selection = selection;
  run.n = n;
  run.frames = frames;
  run.width = featureccord(s.grid.fs) + 1;
  run.out = out;
  pieceoptions o;
  o.first = firstcentre(s.grid);
  o.marginframes = marginframes;
  o.cepstra = (selection & FEATURE_CC) != 0;
  if (selection & FEATURE_ENERGY) o.rawreach = s.grid.window - s.grid.window / 2;
  // Without a feature of the pitch, the track is given (all unvoiced) and only the energies are read.
  const bool pitch = (selection & ~FEATURE_ENERGY) != 0;
  try {
    run.f0.assign(frames, 0.0);
    if (selection & FEATURE_FV) run.fv.assign(frames, 0.0);
    if (selection & (FEATURE_VOICING | FEATURE_MARGIN)) run.margin.assign(frames, 0.0);
    if (selection & FEATURE_LF0) run.lf0.assign(frames, 0.0);
    o.margin = run.margin.empty() ? nullptr : run.margin.data();
    return analysepieces(in, n, e, o, frames, run.f0.data(), !pitch, run.fv.empty() ? nullptr : run.fv.data(),
                         {&run, givefeatures}, piece, nullptr);
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

int computefeatures(const double* x, uint32_t n, const featuresettings& s, uint32_t frames,
                    const featureoutputs& out) {
  const std::array<double*, 8> arrays = arraysbybit(out);
  uint32_t selection = 0;
  for (uint32_t k = 0; k < 8; ++k)
    if (arrays[k]) selection |= 1u << k;
  if (checkfeaturesettings(s) != 0) return -1;
  if (selection == 0) return 0;
  // The analysis needs a sample; an empty signal is one silent sample.
  const double silence = 0.0;
  memorysignal m{n > 0 ? x : &silence, std::max<uint32_t>(n, 1), 0};
  featurearrays a{out, featureccord(s.grid.fs) + 1};
  return computefeaturespieces(memorysource(&m), m.n, s, frames, selection, {&a, intoarrays}, 0,
                               pitchtrackermarginframes);
}

}  // namespace velk
