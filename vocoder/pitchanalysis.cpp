#include "pitchanalysis.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <new>
#include <vector>

#include "constants.h"
#include "harmonicanalysis.h"
#include "polynom.h"
#include "spectralanalysis.h"
#include "widevectors.h"
#include "spillstore.h"
#include "windowing.h"

namespace velk {

namespace {

const double kUnvoicedLogF0 = -1e10;
const double kLn2 = 0.6931471805599453;

// Tracker constants: voicing threshold, level constant and octave bias per octave.
const double kVoicingThreshold = 0.45;
const double kLevelConstant = 0.03;
const double kOctaveBias = 0.01;
const int kSlots = 4;          // voiced candidates kept per frame
const int kUnvoiced = kSlots;  // hypothesis index of the unvoiced hypothesis
const int kHypotheses = kSlots + 1;

struct TrackerSetup {
  double f0min, f0max;
  double costvv, costvu, costuv, costuu;  // transition costs (per octave for voiced-voiced)
  uint32_t lagmin, lagmax;                // shortest and longest lag in samples
  uint32_t L, M, N;                       // frame length, half length, FFT length
  uint32_t o;                             // half a period of the floor, odd
};

TrackerSetup trackersetup(double fs, uint32_t hop, double f0min, double f0max) {
  TrackerSetup s;
  s.f0min = f0min <= 0.0 ? 60.0 : f0min;
  s.f0max = f0max <= s.f0min ? 500.0 : f0max;
  const double K = fs * 0.01 / hop;
  s.costvv = 0.35 * K;
  s.costvu = 0.14 * K;
  s.costuv = 0.14 * K;
  s.costuu = 0.0 * K;
  s.lagmin = (uint32_t)ceil(fs / s.f0max);
  s.lagmax = (uint32_t)floor(fs / s.f0min);
  if (s.lagmin < 1) s.lagmin = 1;
  s.L = getwinlengthnperiodsodd(3, s.f0min, fs);
  s.M = s.L / 2;
  s.N = getwinlengthceilpot2(s.L);
  s.o = getwinlengthnperiodsodd(0.5, s.f0min, fs);
  // Only a floor near fs could make the mean's span (4o + 1 samples) exceed the frame.
  if (2 * s.o > s.M) s.o = s.M / 2;
  return s;
}

// Candidates of one frame: F0 per slot (0 = empty) and the local score of every hypothesis.
struct FrameHypotheses {
  double f0[kSlots];
  double score[kHypotheses];
};

// Normalised autocorrelation of the Hanning window, rho_w[k] = R[k]/R[0] for every lag
// the tracker reads; empty when N is not a power of two.
std::vector<double> windowautocorrelation(const std::vector<double>& w, uint32_t N, uint32_t lags,
                                          complex* buf) {
  for (uint32_t j = 0; j < N; j++) buf[j] = {j < w.size() ? w[j] : 0.0, 0.0};
  if (autocorrelation(N, buf) != 0) return {};
  std::vector<double> rho(lags);
  for (uint32_t k = 0; k < lags; k++) rho[k] = buf[k].re / buf[0].re;
  return rho;
}

// Cuts the frame around z into buf (zeros outside the signal and from L on), removes the local
// mean, windows it, and returns the largest central deviation g from the mean.
double windowedframe(const double* x, uint32_t n, int64_t z, const TrackerSetup& s,
                     const std::vector<double>& w, complex* buf) {
  // Frame position j holds sample z - M + j; only [first, last) of the frame lies in the signal.
  const int64_t start = z - s.M;
  const uint32_t first = (uint32_t)std::min<int64_t>(s.L, std::max<int64_t>(0, -start));
  const uint32_t last = (uint32_t)std::max<int64_t>(first, std::min<int64_t>(s.L, (int64_t)n - start));
  for (uint32_t j = 0; j < first; j++) buf[j] = {0.0, 0.0};
  for (uint32_t j = first; j < last; j++) buf[j] = {x[start + j], 0.0};
  for (uint32_t j = last; j < s.N; j++) buf[j] = {0.0, 0.0};
  double mean = 0.0;
  for (uint32_t j = s.M - 2 * s.o; j <= s.M + 2 * s.o; j++) mean += buf[j].re;
  mean /= 4 * s.o + 1;
  double g = 0.0;
  for (uint32_t j = s.M - s.o; j <= s.M + s.o; j++)
    if (fabs(buf[j].re - mean) > g) g = fabs(buf[j].re - mean);
  for (uint32_t j = 0; j < s.L; j++) buf[j].re = (buf[j].re - mean) * w[j];
  return g;
}

// Unvoiced score from the frame's central level relative to the global level t.
double unvoicedscore(double g, double t) {
  double r = t > 0.0 ? g / t : 0.0;
  if (r > 1.0) r = 1.0;
  const double deficit = 2.0 - r / (kLevelConstant / (1.0 + kVoicingThreshold));
  return kVoicingThreshold + (deficit > 0.0 ? deficit : 0.0);
}

// Slot a new candidate may take: the first empty slot, or else the one with the lowest score.
int targetslot(const FrameHypotheses& fh) {
  int target = 0;
  double best = fh.score[0];
  for (int i = 1; i < kSlots && best != 0.0; i++) {
    if (fh.score[i] < best) {
      best = fh.score[i];
      target = i;
    }
  }
  return target;
}

// Peaks of the normalised autocorrelation rho (indexed by lag) become up to four candidates;
// the returned scores are the peak values (v, or 1/v above 1).
void voicedcandidates(const double* rho, double fs, const TrackerSetup& s, FrameHypotheses& fh) {
  for (int i = 0; i < kSlots; i++) fh.f0[i] = fh.score[i] = 0.0;
  for (uint32_t k = s.lagmin; k <= s.lagmax; k++) {
    if (!(rho[k] > 0.5 * kVoicingThreshold && rho[k] > rho[k - 1] && rho[k] > rho[k + 1])) continue;
    double par[3];
    parabfit(rho + k - 1, par);
    double delta = parabextx(par), v = parabexty(par);
    if ((k == s.lagmin && delta < 0.0) || (k == s.lagmax && delta > 0.0)) {
      delta = 0.0;
      v = rho[k];
    }
    const double T = (k + delta) / fs;
    const double value = v > 1.0 ? 1.0 / v : v;
    const double selection = value - kOctaveBias * log(s.f0min * T) / kLn2;
    const int slot = targetslot(fh);
    if (fh.f0[slot] == 0.0 || selection >= fh.score[slot]) {
      fh.f0[slot] = 1.0 / T;
      fh.score[slot] = selection;
    }
  }
  for (int i = 0; i < kSlots; i++)
    if (fh.f0[i] != 0.0) fh.score[i] += kOctaveBias * log(s.f0min / fh.f0[i]) / kLn2;
}

// Normalised autocorrelation of the windowed frame divided by the window's, for the lags
// lagmin-1 .. lagmax+1, reading the frame's autocorrelation from the given part of R;
// non-positive values (and NaN) become 0.
VELK_WIDE_VECTORS void normalisedautocorrelation(const complex* R, double complex::*part,
                                                 const std::vector<double>& rhow, const TrackerSetup& s,
                                                 std::vector<double>& rho) {
  const double* r = &(R[0].*part);  // the chosen part of value k is r[2k]
  const double r0 = r[0];
  const double* w = rhow.data();
  double* out = rho.data();
  for (size_t k = s.lagmin - 1; k <= (size_t)s.lagmax + 1; k++) {
    const double v = (r[2 * k] / r0) / w[k];
    out[k] = v > 0.0 ? v : 0.0;
  }
}

// Two frames share one complex transform only when their energies lie within this ratio: the
// rounding error of the weaker frame's autocorrelation, relative to its own energy, grows with
// the ratio's square root (below 1e-12 at this bound). Neighbouring frames overlap by most of
// their length, so nearly all of them qualify.
const double kPairEnergyRatio = 100.0;

// True when the frames a and b (L real values each) may share a transform. Their energies are
// summed side by side, each in its own order.
bool packable(const complex* a, const complex* b, uint32_t L) {
  double ea = 0.0, eb = 0.0;
  for (uint32_t j = 0; j < L; j++) {
    ea += a[j].re * a[j].re;
    eb += b[j].re * b[j].re;
  }
  return ea > 0.0 && eb > 0.0 && ea <= kPairEnergyRatio * eb && eb <= kPairEnergyRatio * ea;
}

bool present(const FrameHypotheses& fh, int h) {
  return h == kUnvoiced || fh.f0[h] != 0.0;
}

double transitioncost(const TrackerSetup& s, const FrameHypotheses& prev, int b, const FrameHypotheses& cur,
                      int a) {
  const bool vb = b != kUnvoiced, va = a != kUnvoiced;
  if (vb && va) return s.costvv * fabs(log(cur.f0[a] / prev.f0[b]) / kLn2);
  if (vb) return s.costvu;
  if (va) return s.costuv;
  return s.costuu;
}

// One dynamic-programming step: accumulated costs of this frame's hypotheses and their
// back-pointers into the previous frame.
void pathstep(const TrackerSetup& s, const FrameHypotheses& prev, const double* prevcost,
              const FrameHypotheses& cur, double* cost, uint8_t* back) {
  for (int a = 0; a < kHypotheses; a++) {
    if (!present(cur, a)) continue;
    bool first = true;
    for (int b = 0; b < kHypotheses; b++) {
      if (!present(prev, b)) continue;
      const double d = prevcost[b] - cur.score[a] + transitioncost(s, prev, b, cur, a);
      if (first || d < cost[a]) {
        cost[a] = d;
        back[a] = (uint8_t)b;
        first = false;
      }
    }
  }
}

// The voiced candidates of every frame, kept for reading back the path.
using FrameCandidates = std::array<double, kSlots>;

// Cheapest hypothesis of a frame from its hypotheses and forward costs.
int cheapest(const FrameHypotheses& fh, const double* cost) {
  int best = -1;
  for (int a = 0; a < kHypotheses; a++)
    if (present(fh, a) && (best < 0 || cost[a] < cost[best])) best = a;
  return best;
}

// Calls run(i, e) for every voiced run f0[i..e-1] (non-zero frames between zeros or the ends),
// in order; run may change the frames of its own run.
template <class Run>
void foreachvoicedrun(uint32_t n, const double* f0, Run run) {
  for (uint32_t i = 0; i < n;) {
    if (f0[i] == 0.0) {
      i++;
      continue;
    }
    uint32_t e = i;
    while (e < n && f0[e] != 0.0) e++;
    run(i, e);
    i = e;
  }
}

// Largest and smallest value over the voiced runs longer than m frames; false if there is none.
bool longrunrange(uint32_t n, const double* f0, uint32_t m, double* lo, double* hi) {
  *hi = 0.0;
  *lo = DBL_MAX;
  foreachvoicedrun(n, f0, [&](uint32_t i, uint32_t e) {
    if (e - i > m)
      for (uint32_t j = i; j < e; j++) {
        if (f0[j] > *hi) *hi = f0[j];
        if (f0[j] < *lo) *lo = f0[j];
      }
  });
  return *hi != 0.0 && *lo != DBL_MAX;
}

// Jump ratio a/b folded to at least 1.
double jumpratio(double a, double b) {
  const double r = a / b;
  return r < 1.0 ? 1.0 / r : r;
}

// Whether the island [i, e) jumps by more than a factor 1.7 from its nearest voiced
// neighbours; a side without a voiced neighbour is not considered.
bool islandjumps(uint32_t n, const double* f0, uint32_t i, uint32_t e) {
  const double limit = 1.7;
  uint32_t before = i;
  while (before > 0 && f0[before - 1] == 0.0) before--;
  if (before > 0 && jumpratio(f0[i], f0[before - 1]) > limit) return true;
  uint32_t after = e;
  while (after < n && f0[after] == 0.0) after++;
  return after < n && jumpratio(f0[e - 1], f0[after]) > limit;
}

// One frame of what the margins read back: its hypotheses and their forward costs (112 bytes).
struct MarginFrame {
  FrameHypotheses hyp;
  double cost[kHypotheses];
};

// Every frame's hypotheses and forward costs for the margins: gathered `hold` frames at a time and
// appended to a store that moves to a temporary file once it holds more than `hold` frames
// (spillstore.h), so that the memory does not grow with the signal.
struct MarginStore {
  std::vector<MarginFrame> tail;  // the frames not yet in the store
  spilled<MarginFrame> frames{0, 1};
  uint32_t hold = 0;
};

// Holds `hold` frames at a time (at least 1); -1 when memory runs out.
int setmarginhold(MarginStore* m, uint32_t hold, uint32_t frames) {
  try {
    m->hold = hold;
    m->tail = {};
    m->tail.reserve(std::min(frames, hold));
    m->frames.reset((size_t)hold * sizeof(MarginFrame), hold);
  } catch (const std::bad_alloc&) {
    return -1;
  }
  return 0;
}

// Moves the gathered frames into the store; -1 when its temporary cannot be written.
int storemarginframes(MarginStore* m) {
  if (m->tail.empty()) return 0;
  if (m->frames.append(m->tail.data(), (long)m->tail.size()) != 0) return -1;
  m->tail.clear();
  return 0;
}

// Keeps the next frame; -1 when the store's temporary cannot be written.
int keepmarginframe(MarginStore* m, const FrameHypotheses& fh, const double* cost) {
  m->tail.push_back({fh, {}});
  std::copy(cost, cost + kHypotheses, m->tail.back().cost);
  return m->tail.size() < m->hold ? 0 : storemarginframes(m);
}

// Cost of the cheapest path through each hypothesis of each frame (forward cost plus the cost
// of the cheapest continuation), and from it the voicing margin of every frame: the cheapest
// path unvoiced there less the cheapest path voiced there (-infinity without a voiced candidate),
// in units of the cost of flipping one perfectly periodic frame. The kept frames are read back
// from the last, a block at a time, each block with the frame before it. 0, or -1 when the
// temporary cannot be read.
int voicingmargins(const TrackerSetup& s, MarginStore* store, uint32_t n, double* margin) {
  // The cost of making one perfectly periodic frame unvoiced among voiced ones: the unit of the margins.
  const double flip = (1.0 - kVoicingThreshold) + s.costvu + s.costuv;
  std::array<double, kHypotheses> after{}, before{};  // continuation costs of frame i and i - 1
  if (storemarginframes(store) != 0) return -1;
  for (uint32_t hi = n; hi > 0;) {
    const uint32_t lo = hi > store->hold ? hi - store->hold : 0, from = lo > 0 ? lo - 1 : 0;
    const MarginFrame* block = store->frames.view(from, hi);
    if (block == nullptr) return -1;
    for (uint32_t i = hi; i-- > lo;) {
      const MarginFrame& f = block[i - from];
      double voiced = HUGE_VAL;
      for (int a = 0; a < kSlots; a++)
        if (present(f.hyp, a)) voiced = std::min(voiced, f.cost[a] + after[a]);
      margin[i] = ((f.cost[kUnvoiced] + after[kUnvoiced]) - voiced) / flip;
      if (i == 0) break;
      const FrameHypotheses& previous = block[i - 1 - from].hyp;
      for (int b = 0; b < kHypotheses; b++) {
        if (!present(previous, b)) continue;
        before[b] = HUGE_VAL;
        for (int a = 0; a < kHypotheses; a++)
          if (present(f.hyp, a))
            before[b] =
                std::min(before[b], after[a] - f.hyp.score[a] + transitioncost(s, previous, b, f.hyp, a));
      }
      after = before;
    }
    hi = lo;
  }
  return 0;
}

}  // namespace

int autocorrelation(uint32_t N, complex* x) {
  if (fftc((int32_t)N, x) != 0) return -1;
  for (uint32_t k = 0; k < N; k++) x[k] = {x[k].re * x[k].re + x[k].im * x[k].im, 0.0};
  return ifftc((int32_t)N, x);
}

int autocorrelationpair(uint32_t N, complex* z) {
  if (fftc((int32_t)N, z) != 0) return -1;
  // With z = a + i b, A[k] = (Z[k] + conj Z[N-k]) / 2 and B[k] = (Z[k] - conj Z[N-k]) / 2i; both
  // power spectra are real and even, so |A|^2 + i |B|^2 transforms back into the two
  // autocorrelations as real and imaginary parts.
  for (uint32_t k = 0; k <= N / 2; k++) {
    const uint32_t m = (N - k) % N;
    const double sr = z[k].re + z[m].re, dr = z[k].re - z[m].re;
    const double si = z[k].im + z[m].im, di = z[k].im - z[m].im;
    const complex power = {0.25 * (sr * sr + di * di), 0.25 * (si * si + dr * dr)};
    z[k] = power;
    z[m] = power;
  }
  return ifftc((int32_t)N, z);
}

uint32_t trackerfilterlength(double fs) {
  return fs == kSamplingRate ? 2048 : getwinlengthceilpot2((uint32_t)(2048.0 * fs / kSamplingRate));
}

double* applyfftfilter(const double* x, uint32_t nsamples, double fs) {
  static const double freqs[] = {0.0, 45.0, 55.0, 3000.0, 5000.0, 1000000.0};
  static const double gains[] = {-30.0, -30.0, 0.0, 0.0, -30.0, -30.0};
  const uint32_t N = trackerfilterlength(fs);
  double* y = (double*)malloc(sizeof(double) * (nsamples > 0 ? nsamples : 1));
  if (y != nullptr && fftfilter(x, y, nsamples, N, freqs, gains, fs) != 0) {
    free(y);
    return nullptr;
  }
  return y;
}

double* upsampling(const double* x, uint32_t nsamples, double fs, uint32_t factor) {
  const uint32_t n = nsamples * factor;
  double* y = (double*)calloc(n > 0 ? n : 1, sizeof(double));
  if (y == nullptr) return nullptr;
  for (uint32_t k = 0; k < nsamples; k++) y[(size_t)k * factor] = x[k] * factor;
  const uint32_t P = 50 * factor;
  std::vector<double> h(P + 1);
  getlpwinfilter(P, h.data(), 0.4 * fs, factor * fs);
  winfilternodelay(y, n, P, h.data());
  return y;
}

namespace {

const uint32_t kResamplingBlock = 256;  // output samples of one phase computed together

// Sample i of the input split by phase: row i % down, column i / down (rows of width samples).
const double* phaserow(const double* phases, uint32_t width, uint32_t down, uint32_t i) {
  return phases + (size_t)(i % down) * width + i / down;
}

// count output samples y[q * stride], q < count, of the FIR g (taps values) at every down-th
// input sample: y[q * stride] = sum over t of g[t] input[q * down + offset + t], the input
// given split by phase (phaserow). Each output sums its taps in the same order on every machine.
VELK_WIDE_VECTORS void firdecimate(const double* phases, uint32_t width, uint32_t down, uint32_t offset,
                                   const double* g, uint32_t taps, uint32_t count, double* acc, double* y,
                                   uint32_t stride) {
  for (uint32_t q = 0; q < count; q++) acc[q] = 0.0;
  for (uint32_t t = 0; t < taps; t++) {
    const double* in = phaserow(phases, width, down, offset + t);
    for (uint32_t q = 0; q < count; q++) acc[q] += g[t] * in[q];
  }
  for (uint32_t q = 0; q < count; q++) y[(size_t)q * stride] = acc[q];
}

// The polyphase branches of the low-pass h (2M + 1 taps at up times the input rate) for output
// phase r (outputs m = r + up * q): the taps that meet input samples, times up, and the input
// sample the first meets for q = 0, relative to r * down / up - M / up.
struct Branch {
  std::vector<double> g;
  int64_t first;  // input sample of tap 0 for q = 0
};

Branch branch(const std::vector<double>& h, uint32_t M, uint32_t up, uint32_t down, uint32_t r) {
  Branch b;
  const int64_t start = (int64_t)r * down - M;   // upsampled sample of h[0]
  const int64_t j0 = ((-start) % up + up) % up;  // first tap on an input sample
  b.first = (start + j0) / up;
  for (uint64_t j = j0; j < h.size(); j += up) b.g.push_back(up * h[j]);
  return b;
}

}  // namespace

double* downsampling(const double* x, uint32_t nsamples, double fs, uint32_t up, uint32_t down) {
  if (up == 0 || down == 0) return nullptr;
  const uint64_t total = ((uint64_t)nsamples * up + down - 1) / down;
  if (total > UINT32_MAX) return nullptr;
  const uint32_t n = (uint32_t)total;
  double* y = (double*)malloc(sizeof(double) * (n > 0 ? n : 1));
  if (y == nullptr) return nullptr;
  const uint32_t M = 8 * down;
  std::vector<double> h(2 * M + 1);
  getlpwinfilter(2 * M, h.data(), 0.4 * fs * up / down, fs * up);
  std::vector<Branch> branches;
  for (uint32_t r = 0; r < up; r++) branches.push_back(branch(h, M, up, down, r));
  // Output m = r + up * q of phase r reads input samples from branches[r].first + q * down on:
  // for a block of q, the inputs from the earliest branch's first on, split by phase, zeros
  // beyond the ends of x.
  int64_t earliest = branches[0].first, reach = 0;
  for (const Branch& b : branches) earliest = std::min(earliest, b.first);
  for (const Branch& b : branches) reach = std::max<int64_t>(reach, b.first - earliest + (int64_t)b.g.size());
  const uint32_t width = kResamplingBlock + (uint32_t)(reach / down) + 1;
  std::vector<double> phases((size_t)down * width), acc(kResamplingBlock);
  const uint32_t blocks = (n / up + 1 + kResamplingBlock - 1) / kResamplingBlock;
  for (uint32_t k = 0; k < blocks; k++) {
    const uint64_t q0 = (uint64_t)k * kResamplingBlock;
    const int64_t base = earliest + (int64_t)q0 * down;  // input sample of the block's phases[0]
    for (uint32_t p = 0; p < down; p++) {
      for (uint32_t i = 0; i < width; i++) {
        const int64_t t = base + p + (int64_t)i * down;
        phases[(size_t)p * width + i] = t >= 0 && t < (int64_t)nsamples ? x[t] : 0.0;
      }
    }
    for (uint32_t r = 0; r < up; r++) {
      const uint64_t m0 = r + q0 * up;  // the block's first output of phase r
      if (m0 >= n) break;
      const uint32_t count = (uint32_t)std::min<uint64_t>(kResamplingBlock, (n - m0 + up - 1) / up);
      const Branch& b = branches[r];
      firdecimate(phases.data(), width, down, (uint32_t)(b.first - earliest), b.g.data(),
                  (uint32_t)b.g.size(), count, acc.data(), y + m0, up);
    }
  }
  return y;
}

int getpitch(const double* x, uint32_t nsamples, double fs, uint32_t hop, uint32_t p0, uint32_t n,
             double f0min, double f0max, double* f0) {
  return getpitchmargins(x, nsamples, fs, hop, p0, n, f0min, f0max, f0, nullptr);
}

// The tracker between frames: its setup, window and work buffers, the dynamic programme's state,
// and what the path and the margins read back at the end.
struct pitchtracker {
  TrackerSetup s;
  double fs = 0.0;
  uint32_t hop = 0;
  uint32_t frames = 0;  // frames of the whole track
  uint32_t done = 0;    // frames tracked so far
  std::vector<double> w, rhow, rho;
  std::vector<complex> buf, next;
  // The hypotheses and costs of the frame and the one before it; of the others only the
  // candidates and back-pointers are kept, from frame `base` on.
  uint32_t base = 0;
  std::vector<FrameCandidates> candidates;
  std::vector<uint8_t> back;
  FrameHypotheses hyp[2];
  double costs[2][kHypotheses] = {};
  // Every frame's hypotheses and forward costs, kept only for the margins.
  bool margins = false;
  MarginStore kept;
  int status = 0;
};

namespace {

// Candidates and path step of frame i from its level g, the global level t and its
// autocorrelation in R.
void trackframe(pitchtracker* tr, uint32_t i, double g, double t, const complex* R, double complex::*part) {
  const TrackerSetup& s = tr->s;
  normalisedautocorrelation(R, part, tr->rhow, s, tr->rho);
  FrameHypotheses& fh = tr->hyp[i % 2];
  voicedcandidates(tr->rho.data(), tr->fs, s, fh);
  fh.score[kUnvoiced] = unvoicedscore(g, t);
  const size_t at = i - tr->base;
  if (tr->candidates.size() <= at) {
    tr->candidates.resize(at + 1);
    tr->back.resize((at + 1) * kHypotheses, kUnvoiced);
  }
  std::copy(fh.f0, fh.f0 + kSlots, tr->candidates[at].begin());
  double* cost = tr->costs[i % 2];
  if (i == 0) {
    for (int a = 0; a < kHypotheses; a++) cost[a] = -fh.score[a];
  } else {
    pathstep(s, tr->hyp[(i - 1) % 2], tr->costs[(i - 1) % 2], fh, cost, &tr->back[at * kHypotheses]);
  }
  if (tr->margins && keepmarginframe(&tr->kept, fh, cost) != 0) tr->status = -1;
}

}  // namespace

pitchtracker* pitchtrackercreate(double fs, uint32_t hop, uint32_t frames, double f0min, double f0max,
                                 bool margins) {
  pitchtracker* tr = new (std::nothrow) pitchtracker;
  if (tr == nullptr) return nullptr;
  try {
    tr->s = trackersetup(fs, hop, f0min, f0max);
    tr->fs = fs;
    tr->hop = hop;
    tr->frames = frames;
    tr->w.resize(tr->s.L);
    winhanning(tr->w.data(), tr->s.L, 0);
    tr->buf.resize(tr->s.N);
    tr->next.resize(tr->s.N);
    tr->rhow = windowautocorrelation(tr->w, tr->s.N, tr->s.lagmax + 2, tr->buf.data());
    tr->rho.assign(tr->s.lagmax + 2, 0.0);
    tr->margins = margins;
  } catch (const std::bad_alloc&) {
    delete tr;
    return nullptr;
  }
  if (tr->rhow.empty() || (margins && setmarginhold(&tr->kept, pitchtrackermarginframes, frames) != 0)) {
    delete tr;
    return nullptr;
  }
  return tr;
}

void pitchtrackerdestroy(pitchtracker* tr) {
  delete tr;
}

int pitchtrackerspill(pitchtracker* tr, uint32_t frames) {
  if (tr->done > 0 || frames == 0) return -1;
  return tr->margins ? setmarginhold(&tr->kept, frames, tr->frames) : 0;
}

uint32_t pitchtrackerreach(const pitchtracker* tr) {
  return tr->s.L;
}

int pitchtrackerframes(pitchtracker* tr, const double* xf, uint64_t offset, uint32_t length, double t,
                       uint64_t p0, uint32_t e) {
  if (e > tr->frames || (e % 2 != 0 && e != tr->frames)) return -1;
  const TrackerSetup& s = tr->s;
  complex* buf = tr->buf.data();
  complex* next = tr->next.data();
  // Frame i's centre in the view.
  auto centre = [&](uint32_t i) { return (int64_t)(p0 + (uint64_t)i * tr->hop) - (int64_t)offset; };
  // Frames go in pairs through one complex transform where their energies allow it.
  uint32_t i = tr->done;
  for (; i < e; i += 2) {
    const double g = windowedframe(xf, length, centre(i), s, tr->w, buf);
    if (i + 1 == tr->frames) {
      tr->status |= autocorrelation(s.N, buf);
      trackframe(tr, i, g, t, buf, &complex::re);
      i++;
      break;
    }
    const double gnext = windowedframe(xf, length, centre(i + 1), s, tr->w, next);
    if (packable(buf, next, s.L)) {
      for (uint32_t j = 0; j < s.N; j++) buf[j].im = next[j].re;
      tr->status |= autocorrelationpair(s.N, buf);
      trackframe(tr, i, g, t, buf, &complex::re);
      trackframe(tr, i + 1, gnext, t, buf, &complex::im);
    } else {
      tr->status |= autocorrelation(s.N, buf);
      tr->status |= autocorrelation(s.N, next);
      trackframe(tr, i, g, t, buf, &complex::re);
      trackframe(tr, i + 1, gnext, t, next, &complex::re);
    }
  }
  tr->done = i;
  return tr->status == 0 ? 0 : -1;
}

uint32_t pitchtrackerdone(const pitchtracker* tr) {
  return tr->done;
}

int pitchtrackerend(pitchtracker* tr, uint32_t frames) {
  if (tr->frames != pitchtrackeropen || frames < tr->done) return -1;
  tr->frames = frames;
  return 0;
}

int pitchtrackerdecide(pitchtracker* tr, uint32_t from, uint32_t to, double* f0) {
  if (to < from || from < tr->base || to > tr->done) return -1;
  if (to == from) return 0;
  const uint32_t last = tr->done - 1;
  int best = cheapest(tr->hyp[last % 2], tr->costs[last % 2]);
  for (uint32_t i = last + 1; i-- > from;) {
    const size_t at = i - tr->base;
    if (i < to) f0[i - from] = best == kUnvoiced ? 0.0 : tr->candidates[at][best];
    best = tr->back[at * kHypotheses + best];
  }
  return 0;
}

void pitchtrackerforget(pitchtracker* tr, uint32_t before) {
  if (before <= tr->base || before > tr->done) return;
  const size_t drop = before - tr->base;
  tr->candidates.erase(tr->candidates.begin(), tr->candidates.begin() + drop);
  tr->back.erase(tr->back.begin(), tr->back.begin() + drop * kHypotheses);
  tr->base = before;
}

uint32_t pitchtrackersettle(pitchtracker* tr, double* f0) {
  if (tr->done == tr->base) return tr->base;
  // The hypotheses of the last frame, followed back together until they meet.
  const uint32_t last = tr->done - 1;
  int states[kHypotheses];
  int count = 0;
  for (int a = 0; a < kHypotheses; a++)
    if (present(tr->hyp[last % 2], a)) states[count++] = a;
  for (uint32_t i = last + 1; i-- > tr->base;) {
    const size_t at = i - tr->base;
    if (std::all_of(states, states + count, [&](int a) { return a == states[0]; })) {
      int best = states[0];
      for (uint32_t j = i + 1; j-- > tr->base;) {
        const size_t here = j - tr->base;
        f0[j] = best == kUnvoiced ? 0.0 : tr->candidates[here][best];
        best = tr->back[here * kHypotheses + best];
      }
      pitchtrackerforget(tr, i + 1);
      return i + 1;
    }
    for (int k = 0; k < count; k++) states[k] = tr->back[at * kHypotheses + states[k]];
  }
  return tr->base;
}

int pitchtrackerfinish(pitchtracker* tr, double* f0, double* margin) {
  const uint32_t n = tr->frames;
  if (n == 0) return 0;
  if (tr->done != n || (margin && !tr->margins)) return -1;
  pitchtrackerdecide(tr, tr->base, n, f0 + tr->base);
  if (margin && voicingmargins(tr->s, &tr->kept, n, margin) != 0) return -1;
  elimislands(n, f0, tr->fs, tr->hop);
  return tr->status == 0 ? 0 : -1;
}

double pitchtrackerlevel(double t, const double* xf, uint32_t n) {
  for (uint32_t i = 0; i < n; i++)
    if (fabs(xf[i]) > t) t = fabs(xf[i]);
  return t;
}

int getpitchmargins(const double* x, uint32_t nsamples, double fs, uint32_t hop, uint32_t p0, uint32_t n,
                    double f0min, double f0max, double* f0, double* margin) {
  if (n == 0) return 0;
  pitchtracker* tr = pitchtrackercreate(fs, hop, n, f0min, f0max, margin != nullptr);
  double* xf = tr ? applyfftfilter(x, nsamples, fs) : nullptr;
  const int status =
      xf && pitchtrackerframes(tr, xf, 0, nsamples, pitchtrackerlevel(0.0, xf, nsamples), p0, n) == 0 &&
              pitchtrackerfinish(tr, f0, margin) == 0
          ? 0
          : -1;
  free(xf);
  pitchtrackerdestroy(tr);
  return status;
}

int elimislands(uint32_t n, double* f0, double fs, uint32_t hop) {
  if (hop == 0) return 0;  // no frame spacing, no island length
  const uint32_t m = (uint32_t)floor(fs * 0.05 / hop) + 1;
  double lo, hi;
  if (!longrunrange(n, f0, m, &lo, &hi)) return 0;
  foreachvoicedrun(n, f0, [&](uint32_t i, uint32_t e) {
    if (e - i > m) return;
    bool inrange = false;
    for (uint32_t j = i; j < e; j++) inrange = inrange || (f0[j] >= lo && f0[j] <= hi);
    if (!inrange && islandjumps(n, f0, i, e))
      for (uint32_t j = i; j < e; j++) f0[j] = 0.0;
  });
  return 0;
}

int refinepitch(const double* x, uint32_t nsamples, double fs, uint32_t hop, uint32_t p0, uint32_t n,
                double f0min, double f0max, uint32_t iterations, double* f0, const double* fv) {
  if (iterations == 0) return 0;
  // The record's buffers must hold the frames of the lowest voiced F0 of the track, which
  // may lie below the floor when the track was read from a file.
  double lowest = DBL_MAX;
  for (uint32_t i = 0; i < n; i++)
    if (f0[i] > 0.0 && f0[i] < lowest) lowest = f0[i];
  if (lowest == DBL_MAX) return 0;
  if (f0min > 0.0 && f0min < lowest) lowest = f0min;
  double fmax = 4500.0;
  if (fv != nullptr) {
    fmax = 0.0;
    for (uint32_t i = 0; i < n; i++)
      if (fv[i] > fmax) fmax = fv[i];
  }
  hamem* mem = qhameminitialize(fs, fmax, lowest);
  for (uint32_t i = 0; i < n; i++) {
    const uint64_t centre = (uint64_t)p0 + (uint64_t)i * hop;
    // Frames of a loaded track may lie beyond the end of the signal: nothing to analyse there.
    if (!(f0[i] > 0.0) || centre >= nsamples) continue;
    const double framefmax = fv != nullptr ? fv[i] : 4500.0;
    for (uint32_t it = 0; it < iterations; it++) {
      const double f = qharefinepitch(x, nsamples, fs, (uint32_t)centre, f0[i], framefmax, mem);
      const double dist = fabs(f - f0[i]) / f0[i];
      if (!(f >= f0min && f <= f0max && dist <= 0.2)) break;
      f0[i] = f;
      if (dist < 0.001) break;
    }
  }
  qhamemdestroy(mem);
  return 0;
}

int f02logf0(uint32_t n, double* track) {
  for (uint32_t i = 0; i < n; i++) track[i] = track[i] > 0.0 ? log(track[i]) : kUnvoicedLogF0;
  return 0;
}

int logf02f0(uint32_t n, double* track) {
  for (uint32_t i = 0; i < n; i++) track[i] = track[i] > kUnvoicedLogF0 ? exp(track[i]) : 0.0;
  return 0;
}

int shiftlogpitch(uint32_t n, double* logf0, double shift) {
  if (shift == 0.0) return 0;
  for (uint32_t i = 0; i < n; i++)
    if (logf0[i] > kUnvoicedLogF0) logf0[i] += shift;
  return 0;
}

int scalelogpitchrange(uint32_t n, double* logf0, double factor) {
  if (factor == 1.0) return 0;
  double sum = 0.0;
  uint32_t voiced = 0;
  for (uint32_t i = 0; i < n; i++)
    if (logf0[i] > kUnvoicedLogF0) {
      sum += logf0[i];
      voiced++;
    }
  if (voiced == 0) return 0;
  const double mean = sum / voiced;
  for (uint32_t i = 0; i < n; i++)
    if (logf0[i] > kUnvoicedLogF0) logf0[i] = (logf0[i] - mean) * factor + mean;
  return 0;
}

}  // namespace velk
