#include "framefeatures.h"

#include <algorithm>
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
  const double floor = std::pow(10.0, featureenergyfloor / 10.0);
  for (uint32_t t = 0; t < frames; ++t) {
    const int64_t start = gridstart(g, t);
    const int64_t from = std::max<int64_t>(start, 0);
    const int64_t to = std::min<int64_t>(start + g.window, n);
    double sum = 0.0;
    for (int64_t j = from; j < to; ++j) sum += x[j] * x[j];
    energy[t] = 10.0 * std::log10(std::max(sum / g.window, floor));
  }
}

int computefeatures(const double* x, uint32_t n, const featuresettings& s, uint32_t frames,
                    const featureoutputs& out) {
  if (checkfeaturesettings(s) != 0) return -1;
  if (out.energy) frameenergies(x, n, s.grid, frames, out.energy);
  const bool pitch = out.f0 || out.vuv || out.voicing || out.margin || out.lf0 || out.cc || out.fv;
  if (!pitch || frames == 0) return 0;
  const encodesettings e = analysissettings(s);
  const uint32_t first = firstcentre(s.grid);
  try {
    // The analysis needs a sample; an empty signal is one silent sample.
    std::vector<double> signal(x, x + n);
    if (signal.empty()) signal.push_back(0.0);
    const uint32_t length = (uint32_t)signal.size();
    padzeros(signal.data(), length, e.zfill);
    const bool margins = out.voicing || out.margin;
    std::vector<double> f0(frames), margin(margins ? frames : 0);
    if (encodepitch(signal.data(), length, e, first, frames, f0.data(), margins ? margin.data() : nullptr) !=
        0)
      return -1;
    if (out.fv && encodevoicing(signal.data(), length, e, first, frames, f0.data(), out.fv) != 0) return -1;
    if (out.cc && encodecepstra(signal.data(), length, e, first, frames, f0.data(), out.cc) != 0) return -1;
    for (uint32_t t = 0; t < frames; ++t) {
      if (out.f0) out.f0[t] = f0[t];
      if (out.vuv) out.vuv[t] = f0[t] > 0.0 ? 1.0 : 0.0;
      if (out.voicing) out.voicing[t] = voicingprobability(margin[t], f0[t] > 0.0);
      if (out.margin) out.margin[t] = margin[t];
    }
    if (out.lf0) continuouslogf0(f0.data(), frames, out.lf0);
  } catch (const std::bad_alloc&) {
    return -1;
  }
  return 0;
}

}  // namespace velk
