// Features of a signal read in pieces against the whole-signal routines they come from (the
// tracker with its margins, the voiced frequencies and cepstra of velkcodec on the whole dithered
// signal, the energies summed plainly): the same values bit for bit for every grid, rate, piece
// length and margin spill, given to the sink in order.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "framefeatures.h"
#include "framegrid.h"
#include "pitchanalysis.h"
#include "samebits.h"
#include "streamencode.h"
#include "testsignals.h"
#include "velkcodec.h"

using namespace velk;

namespace {

const uint32_t everyfeature = FEATURE_F0 | FEATURE_VUV | FEATURE_VOICING | FEATURE_LF0 | FEATURE_ENERGY |
                              FEATURE_CC | FEATURE_FV | FEATURE_MARGIN;

struct featureset {
  std::vector<double> f0, vuv, voicing, lf0, energy, cc, fv, margin;
};

// The features as the whole-signal routines give them: the tracker, voiced frequencies and
// cepstra of velkcodec at the grid's first centre on the whole dithered signal, and the energy of
// each window summed here.
featureset reference(const std::vector<double>& x, const featuresettings& s, uint32_t frames) {
  featureset r;
  const double floor = std::pow(10.0, featureenergyfloor / 10.0);
  for (uint32_t t = 0; t < frames; ++t) {
    const int64_t start =
        static_cast<int64_t>(t) * s.grid.hop + (s.grid.center ? 0 : s.grid.window / 2) - s.grid.window / 2;
    double sum = 0.0;
    for (int64_t j = std::max<int64_t>(start, 0); j < std::min<int64_t>(start + s.grid.window, x.size()); ++j)
      sum += x[j] * x[j];
    r.energy.push_back(10.0 * std::log10(std::max(sum / s.grid.window, floor)));
  }
  encodesettings e = encodedefaults(s.grid.fs);
  e.lframe = s.grid.hop;
  e.f0min = s.f0min;
  e.f0max = s.f0max;
  std::vector<double> signal = x;
  if (signal.empty()) signal.push_back(0.0);
  padzeros(signal.data(), static_cast<uint32_t>(signal.size()), e.zfill);
  const uint32_t n = static_cast<uint32_t>(signal.size()), first = s.grid.center ? 0 : s.grid.window / 2;
  r.f0.resize(frames);
  r.margin.resize(frames);
  r.fv.resize(frames);
  r.cc.resize(static_cast<size_t>(frames) * (e.ccord + 1));
  EXPECT_EQ(encodepitch(signal.data(), n, e, first, frames, r.f0.data(), r.margin.data()), 0);
  EXPECT_EQ(encodevoicing(signal.data(), n, e, first, frames, r.f0.data(), r.fv.data()), 0);
  EXPECT_EQ(encodecepstra(signal.data(), n, e, first, frames, r.f0.data(), r.cc.data()), 0);
  r.lf0.resize(frames);
  continuouslogf0(r.f0.data(), frames, r.lf0.data());
  for (uint32_t t = 0; t < frames; ++t) {
    r.vuv.push_back(r.f0[t] > 0.0 ? 1.0 : 0.0);
    r.voicing.push_back(voicingprobability(r.margin[t], r.f0[t] > 0.0));
  }
  return r;
}

// What the sink gathers: the blocks appended, and whether each began where the last ended.
struct gathered {
  featureset values;
  uint32_t width = 0, next = 0, blocks = 0;
  bool inorder = true;
};

int gather(void* state, uint32_t k0, uint32_t count, const featureoutputs& v) {
  gathered* g = static_cast<gathered*>(state);
  g->inorder = g->inorder && k0 == g->next && count > 0;
  g->next = k0 + count;
  ++g->blocks;
  const double* from[] = {v.f0, v.vuv, v.voicing, v.lf0, v.energy, v.cc, v.fv, v.margin};
  std::vector<double>* to[] = {&g->values.f0,     &g->values.vuv, &g->values.voicing, &g->values.lf0,
                               &g->values.energy, &g->values.cc,  &g->values.fv,      &g->values.margin};
  for (int k = 0; k < 8; ++k)
    if (from[k]) to[k]->insert(to[k]->end(), from[k], from[k] + count * (k == 5 ? g->width : 1));
  return 0;
}

gathered inpieces(const std::vector<double>& x, const featuresettings& s, uint32_t frames, uint32_t selection,
                  uint32_t piece, uint32_t marginframes) {
  gathered g;
  g.width = featureccord(s.grid.fs) + 1;
  memorysignal m{x.data(), static_cast<uint32_t>(x.size())};
  EXPECT_EQ(
      computefeaturespieces(memorysource(&m), m.n, s, frames, selection, {&g, gather}, piece, marginframes),
      0);
  EXPECT_TRUE(g.inorder);
  EXPECT_EQ(g.next, frames);
  return g;
}

void expectsameset(const featureset& a, const featureset& b) {
  expect_same_bits(a.f0, b.f0, "f0");
  expect_same_bits(a.vuv, b.vuv, "vuv");
  expect_same_bits(a.voicing, b.voicing, "voicing");
  expect_same_bits(a.lf0, b.lf0, "lf0");
  expect_same_bits(a.energy, b.energy, "energy");
  expect_same_bits(a.cc, b.cc, "cc");
  expect_same_bits(a.fv, b.fv, "fv");
  expect_same_bits(a.margin, b.margin, "margin");
}

featuresettings settingsof(uint32_t fs, uint32_t hop, uint32_t window, bool center) {
  featuresettings s;
  s.grid = {fs, hop, window, center};
  return s;
}

}  // namespace

// Grids centred and not (the tracker's copy then starts half a window in), hops that do not
// divide the window, at rates below, at and above 16 kHz; pieces shorter than a frame, shorter
// than the tracker's filter block, and longer than the signal.
TEST(FrameFeaturesPieces, EveryGridAndPieceGivesTheWholeSignalsFeatures) {
  const featuresettings grids[] = {settingsof(8000, 80, 400, true),     settingsof(16000, 200, 1024, false),
                                   settingsof(16000, 256, 1024, true),  settingsof(22050, 276, 1102, true),
                                   settingsof(22050, 300, 1024, false), settingsof(48000, 600, 2048, false),
                                   settingsof(48000, 240, 960, true)};
  for (const featuresettings& s : grids) {
    const std::vector<double> x = speechlike_signal(s.grid.fs);
    const uint32_t frames = static_cast<uint32_t>(gridframes(s.grid, x.size()));
    const featureset whole = reference(x, s, frames);
    for (const uint32_t piece : {1u, 3000u, 20000u, 0u}) {
      SCOPED_TRACE(testing::Message()
                   << s.grid.fs << " Hz, hop " << s.grid.hop << ", window " << s.grid.window
                   << (s.grid.center ? " centred" : "") << ", piece " << piece);
      const gathered g = inpieces(x, s, frames, everyfeature, piece, pitchtrackermarginframes);
      expectsameset(whole, g.values);
      if (piece == 1) {
        EXPECT_GT(g.blocks, frames / 4);
      }
    }
  }
}

// Margins spilled to the temporary file every few frames, read back in blocks that do and do not
// divide the frame count, equal those kept in memory; so does the voicing probability.
TEST(FrameFeaturesPieces, MarginsSpilledToTheTemporaryAreTheSame) {
  const featuresettings s = settingsof(22050, 256, 1024, true);
  const std::vector<double> x = speechlike_signal(s.grid.fs);
  const uint32_t frames = static_cast<uint32_t>(gridframes(s.grid, x.size()));
  const featureset whole = reference(x, s, frames);
  for (const uint32_t spill : {1u, 2u, 7u, frames - 1, frames}) {
    SCOPED_TRACE(spill);
    const gathered g = inpieces(x, s, frames, FEATURE_MARGIN | FEATURE_VOICING, 5000, spill);
    expect_same_bits(whole.margin, g.values.margin, "margin");
    expect_same_bits(whole.voicing, g.values.voicing, "voicing");
    EXPECT_TRUE(g.values.f0.empty() && g.values.cc.empty());
  }
}

// A selection gets exactly its features; the energies alone need no tracker and equal the others'.
TEST(FrameFeaturesPieces, ASelectionGivesItsFeaturesOnly) {
  const featuresettings s = settingsof(16000, 160, 640, false);
  const std::vector<double> x = speechlike_signal(s.grid.fs);
  const uint32_t frames = static_cast<uint32_t>(gridframes(s.grid, x.size()));
  const featureset whole = reference(x, s, frames);
  const gathered energy = inpieces(x, s, frames, FEATURE_ENERGY, 4000, pitchtrackermarginframes);
  expect_same_bits(whole.energy, energy.values.energy, "energy");
  EXPECT_TRUE(energy.values.f0.empty() && energy.values.lf0.empty() && energy.values.margin.empty());
  const gathered some = inpieces(x, s, frames, FEATURE_LF0 | FEATURE_CC, 4000, pitchtrackermarginframes);
  expect_same_bits(whole.lf0, some.values.lf0, "lf0");
  expect_same_bits(whole.cc, some.values.cc, "cc");
  EXPECT_TRUE(some.values.energy.empty() && some.values.vuv.empty() && some.values.fv.empty());
}

// computefeatures is the pieces over the whole array: its arrays hold the same values, also for
// an empty signal (one silent frame on a centred grid) and for fewer frames than the grid's.
TEST(FrameFeaturesPieces, TheWholeArrayEntryFillsTheSameValues) {
  const featuresettings s = settingsof(16000, 256, 1024, true);
  const std::vector<double> x = speechlike_signal(s.grid.fs);
  for (const uint32_t frames : {static_cast<uint32_t>(gridframes(s.grid, x.size())), 9u}) {
    const featureset whole = reference(x, s, frames);
    featureset a;
    for (auto* v : {&a.f0, &a.vuv, &a.voicing, &a.lf0, &a.energy, &a.fv, &a.margin}) v->assign(frames, -7.0);
    a.cc.assign(static_cast<size_t>(frames) * (featureccord(s.grid.fs) + 1), -7.0);
    const featureoutputs out{a.f0.data(),     a.vuv.data(), a.voicing.data(), a.lf0.data(),
                             a.energy.data(), a.cc.data(),  a.fv.data(),      a.margin.data()};
    ASSERT_EQ(computefeatures(x.data(), static_cast<uint32_t>(x.size()), s, frames, out), 0);
    expectsameset(whole, a);
  }
  const featureset silent = reference({}, s, 1);
  featureset a;
  for (auto* v : {&a.f0, &a.energy, &a.margin}) v->assign(1, -7.0);
  featureoutputs out;
  out.f0 = a.f0.data();
  out.energy = a.energy.data();
  out.margin = a.margin.data();
  ASSERT_EQ(computefeatures(nullptr, 0, s, 1, out), 0);
  expect_same_bits(silent.f0, a.f0, "f0");
  expect_same_bits(silent.energy, a.energy, "energy");
  expect_same_bits(silent.margin, a.margin, "margin");
  EXPECT_EQ(a.energy[0], featureenergyfloor);
}

// Refusals and failures end the analysis with -1: more frames than the grid has, no or unknown
// features, a source that fails or holds another count than promised, and a sink that stops.
TEST(FrameFeaturesPieces, FailuresEndTheAnalysis) {
  const featuresettings s = settingsof(16000, 256, 1024, true);
  const std::vector<double> x = speechlike_signal(s.grid.fs);
  const uint32_t n = static_cast<uint32_t>(x.size()), frames = static_cast<uint32_t>(gridframes(s.grid, n));
  gathered g;
  const featuresink sink{&g, gather};
  auto run = [&](const signalsource& in, uint32_t promised, uint32_t count, uint32_t selection,
                 const featuresink& out) {
    return computefeaturespieces(in, promised, s, count, selection, out, 5000, pitchtrackermarginframes);
  };
  memorysignal m{x.data(), n};
  EXPECT_EQ(run(memorysource(&m), n, frames + 1, FEATURE_F0, sink), -1);
  EXPECT_EQ(run(memorysource(&m), n, frames, 0, sink), -1);
  EXPECT_EQ(run(memorysource(&m), n, frames, 256, sink), -1);
  EXPECT_EQ(run(memorysource(&m), 0, 0, FEATURE_F0, sink), -1);
  for (const uint32_t promised : {n - 1, n + 1})
    EXPECT_EQ(run(memorysource(&m), promised, static_cast<uint32_t>(gridframes(s.grid, promised)),
                  FEATURE_F0 | FEATURE_ENERGY, sink),
              -1)
        << promised;
  signalsource failing = memorysource(&m);
  failing.read = [](void*, double*, uint32_t) -> int64_t { return -1; };
  EXPECT_EQ(run(failing, n, frames, FEATURE_ENERGY, sink), -1);
  const featuresink refusing{nullptr, [](void*, uint32_t, uint32_t, const featureoutputs&) { return -1; }};
  EXPECT_EQ(run(memorysource(&m), n, frames, FEATURE_F0, refusing), -1);
}
