// Pitch tracking on synthetic signals of known F0, island removal and log-F0 tools.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <initializer_list>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "pitchanalysis.h"
#include "spectralanalysis.h"

using namespace velk;

namespace {

const double kFs = 16000.0;
const uint32_t kHop = 80;

// Harmonic signal following the instantaneous F0 f0(t) (Hz per sample), harmonics up to 3.5 kHz
// with 1/h amplitudes; f0 == 0 gives silence.
std::vector<double> harmonicglide(const std::vector<double>& f0, double level) {
  std::vector<double> x(f0.size(), 0.0);
  double phase = 0.0;
  for (size_t t = 0; t < f0.size(); t++) {
    if (f0[t] > 0.0) {
      for (int h = 1; h * f0[t] < 3500.0; h++) x[t] += level / h * sin(h * phase);
      phase += 2 * M_PI * f0[t] / kFs;
    }
  }
  return x;
}

// Two-pole resonator y[t] = x[t] + 2 r cos(w) y[t-1] - r^2 y[t-2] of the given bandwidth.
void resonate(std::vector<double>& x, double freq, double bw) {
  const double r = exp(-M_PI * bw / kFs), c = 2 * r * cos(2 * M_PI * freq / kFs);
  double y1 = 0, y2 = 0;
  for (double& v : x) {
    const double y = v + c * y1 - r * r * y2;
    y2 = y1;
    y1 = y;
    v = y;
  }
}

// Impulse train of the given F0 (impulses at rounded multiples of the period) through
// resonances at 500 Hz and 1500 Hz, scaled to a peak of 0.5.
std::vector<double> vowel(uint32_t n, double f0) {
  std::vector<double> x(n, 0.0);
  for (double t = 0; t < n; t += kFs / f0) x[(size_t)std::lround(t) % n] = 1.0;
  resonate(x, 500, 80);
  resonate(x, 1500, 120);
  double peak = 0;
  for (double v : x) peak = std::max(peak, fabs(v));
  for (double& v : x) v *= 0.5 / peak;
  return x;
}

void addnoise(std::vector<double>& x, double snrdb, unsigned seed) {
  double power = 0;
  for (double v : x) power += v * v;
  power /= x.size();
  const double sigma = sqrt(power / pow(10.0, snrdb / 10.0));
  noisegen g(seed);
  for (double& v : x) v += sigma * gaussrand(&g);
}

std::vector<double> track(const std::vector<double>& x, uint32_t frames, double f0min = 60,
                          double f0max = 500) {
  std::vector<double> f0(frames, -1.0);
  EXPECT_EQ(getpitch(x.data(), x.size(), kFs, kHop, 0, frames, f0min, f0max, f0.data()), 0);
  return f0;
}

// Frames whose whole 3-period analysis window lies inside [from, to) samples.
struct Span {
  uint32_t from, to;
};

// Counts voiced-frame gross errors (unvoiced, or more than 20 % off) over frames well inside
// the span; returns the fraction and prints it. The other frames must be within 3 % on average.
double grosserrors(const std::vector<double>& est, Span s, double (*truth)(uint32_t), const char* what) {
  const uint32_t margin = 400;  // 25 ms: the window of the 60 Hz floor reaches 1.5 periods out
  uint32_t count = 0, bad = 0, unvoiced = 0;
  double fineerror = 0;
  for (uint32_t i = 0; i < est.size(); i++) {
    const uint32_t z = i * kHop;
    if (z < s.from + margin || z + margin >= s.to) continue;
    count++;
    const double f = truth(z);
    if (est[i] == 0.0) unvoiced++;
    if (fabs(est[i] - f) > 0.2 * f)
      bad++;
    else
      fineerror += fabs(est[i] - f) / f;
  }
  fineerror /= count - bad;
  printf(
      "%s: %u voiced frames, %u gross errors (%.2f %%), %u of them unvoiced; "
      "mean error of the others %.2f %%\n",
      what, count, bad, 100.0 * bad / count, unvoiced, 100.0 * fineerror);
  EXPECT_LT(fineerror, 0.03) << what;
  return double(bad) / count;
}

double glidef0(uint32_t t) {
  return 90.0 * pow(2.0, t / 32000.0);
}  // 90 -> 180 Hz in 2 s

double f110(uint32_t) {
  return 110.0;
}
double f240(uint32_t) {
  return 240.0;
}

}  // namespace

TEST(GetPitch, FollowsAGlideFrom90To180Hz) {
  const uint32_t n = 32000;
  std::vector<double> f0(n);
  for (uint32_t t = 0; t < n; t++) f0[t] = glidef0(t);
  std::vector<double> x = harmonicglide(f0, 0.3);
  std::vector<double> est = track(x, 400);
  EXPECT_LT(grosserrors(est, {0, n}, glidef0, "glide 90-180 Hz"), 0.01);
}

TEST(GetPitch, FindsTheF0OfResonatedPulseTrains) {
  const uint32_t n = 24000;
  std::vector<double> a = vowel(n, 110), b = vowel(n, 240);
  EXPECT_LT(grosserrors(track(a, 300), {0, n}, f110, "pulses 110 Hz"), 0.01);
  EXPECT_LT(grosserrors(track(b, 300), {0, n}, f240, "pulses 240 Hz"), 0.01);
  addnoise(a, 20, 1);
  addnoise(b, 20, 2);
  EXPECT_LT(grosserrors(track(a, 300), {0, n}, f110, "pulses 110 Hz, 20 dB SNR"), 0.01);
  EXPECT_LT(grosserrors(track(b, 300), {0, n}, f240, "pulses 240 Hz, 20 dB SNR"), 0.01);
}

TEST(GetPitch, SilenceAndLowLevelNoiseAreUnvoiced) {
  // 1 s voiced, 0.5 s digital silence, 0.5 s noise 40 dB below the voiced level, 1 s voiced.
  const uint32_t sec = 16000;
  std::vector<double> x = vowel(3 * sec, 110);
  std::fill(x.begin() + sec, x.begin() + 2 * sec, 0.0);
  noisegen g(5);
  double power = 0;
  for (uint32_t t = 0; t < sec; t++) power += x[t] * x[t];
  const double sigma = sqrt(power / sec) * 0.01;
  for (uint32_t t = sec + sec / 2; t < 2 * sec; t++) x[t] = sigma * gaussrand(&g);
  std::vector<double> est = track(x, 600);
  uint32_t voicedsilence = 0, voicednoise = 0, silentframes = 0, noiseframes = 0;
  for (uint32_t i = 0; i < est.size(); i++) {
    const uint32_t z = i * kHop;
    if (z >= sec + 400 && z + 400 < sec + sec / 2) {
      silentframes++;
      voicedsilence += est[i] != 0.0;
    }
    if (z >= sec + sec / 2 + 400 && z + 400 < 2 * sec) {
      noiseframes++;
      voicednoise += est[i] != 0.0;
    }
  }
  printf("silence: %u of %u frames voiced; low-level noise: %u of %u frames voiced\n", voicedsilence,
         silentframes, voicednoise, noiseframes);
  EXPECT_EQ(voicedsilence, 0u);
  EXPECT_EQ(voicednoise, 0u);
  EXPECT_LT(grosserrors(est, {0, sec}, f110, "voiced before the pause"), 0.01);
  EXPECT_LT(grosserrors(est, {2 * sec, 3 * sec}, f110, "voiced after the pause"), 0.01);
}

TEST(GetPitch, SilentSignalIsUnvoicedEverywhere) {
  std::vector<double> x(8000, 0.0);
  for (double f : track(x, 100)) EXPECT_EQ(f, 0.0);
}

TEST(GetPitch, ZeroFloorAndCeilingMeanTheDefaultRange) {
  // 400 Hz lies inside 60..500 Hz; with a floor of 0 and a ceiling of 0 it is still found.
  std::vector<double> x = vowel(16000, 400);
  std::vector<double> est = track(x, 200, 0, 0);
  uint32_t good = 0;
  for (uint32_t i = 10; i < 190; i++) good += fabs(est[i] - 400) < 20;
  EXPECT_EQ(good, 180u);
}

TEST(Autocorrelation, IsNTimesTheCircularAutocorrelation) {
  const uint32_t N = 16;
  std::vector<double> v(N);
  std::vector<complex> c(N);
  for (uint32_t i = 0; i < N; i++) {
    v[i] = sin(1.3 * i) + 0.1 * i;
    c[i] = {v[i], 0.0};
  }
  autocorrelation(N, c.data());
  for (uint32_t k = 0; k < N; k++) {
    double ref = 0;
    for (uint32_t i = 0; i < N; i++) ref += v[i] * v[(i + k) % N];
    EXPECT_NEAR(c[k].re, N * ref, 1e-10);
    EXPECT_NEAR(c[k].im, 0.0, 1e-10);
  }
}

TEST(Autocorrelation, PairedFramesMatchTheDirectSumOfEach) {
  // A vowel frame and a noise frame of 1, 1/10 and 1/100 of its energy (the widest ratio the
  // tracker pairs), both in one transform: each autocorrelation equals the direct circular sum
  // and the single-frame routine up to rounding relative to its own energy.
  const uint32_t N = 2048, L = 801;
  const std::vector<double> v = vowel(4000, 137);
  noisegen g(11);
  std::vector<double> a(N, 0.0), noise(N, 0.0);
  for (uint32_t j = 0; j < L; j++) {
    a[j] = v[1000 + j];
    noise[j] = gaussrand(&g);
  }
  auto energy = [](const std::vector<double>& f) {
    double e = 0;
    for (double x : f) e += x * x;
    return e;
  };
  const double ra0 = energy(a);
  for (double ratio : {1.0, 10.0, 100.0}) {
    std::vector<double> b(N);
    for (uint32_t j = 0; j < N; j++) b[j] = noise[j] * sqrt(ra0 / ratio / energy(noise));
    const double rb0 = energy(b);
    std::vector<complex> pair(N), single_a(N), single_b(N);
    for (uint32_t j = 0; j < N; j++) {
      pair[j] = {a[j], b[j]};
      single_a[j] = {a[j], 0.0};
      single_b[j] = {b[j], 0.0};
    }
    autocorrelationpair(N, pair.data());
    autocorrelation(N, single_a.data());
    autocorrelation(N, single_b.data());
    for (uint32_t k = 0; k < N; k += 7) {
      double ra = 0, rb = 0;
      for (uint32_t j = 0; j < N; j++) {
        ra += a[j] * a[(j + k) % N];
        rb += b[j] * b[(j + k) % N];
      }
      EXPECT_NEAR(pair[k].re / N, ra, 1e-12 * ra0) << "lag " << k << ", ratio " << ratio;
      EXPECT_NEAR(pair[k].im / N, rb, 1e-12 * rb0) << "lag " << k << ", ratio " << ratio;
      EXPECT_NEAR(pair[k].re, single_a[k].re, 1e-12 * N * ra0);
      EXPECT_NEAR(pair[k].im, single_b[k].re, 1e-12 * N * rb0);
    }
  }
}

TEST(Autocorrelation, PairWithASilentFrameLeavesItsAutocorrelationNearZero) {
  const uint32_t N = 16;
  std::vector<complex> c(N);
  for (uint32_t i = 0; i < N; i++) c[i] = {cos(0.7 * i) + 0.2, 0.0};
  std::vector<complex> single = c;
  autocorrelationpair(N, c.data());
  autocorrelation(N, single.data());
  for (uint32_t k = 0; k < N; k++) {
    EXPECT_NEAR(c[k].re, single[k].re, 1e-12);
    EXPECT_NEAR(c[k].im, 0.0, 1e-12);
  }
}

TEST(Upsampling, InterpolatesABandLimitedTone) {
  const uint32_t n = 2000, factor = 3;
  std::vector<double> x(n);
  for (uint32_t t = 0; t < n; t++) x[t] = sin(2 * M_PI * 1000 * t / kFs);
  double* y = upsampling(x.data(), n, kFs, factor);
  for (uint32_t t = 300; t < n * factor - 300; t++)
    ASSERT_NEAR(y[t], sin(2 * M_PI * 1000 * t / (factor * kFs)), 0.01) << t;
  free(y);
}

struct Ratio {
  uint32_t up, down;
  double fs;
};
const Ratio kRatios[] = {
    {1, 2, 22050.0}, {3, 4, 22050.0}, {8, 11, 22050.0}, {3, 8, 44100.0}, {1, 3, 48000.0}};

// A resampled tone at 1 kHz against the tone itself at every output's input position.
TEST(Downsampling, KeepsAPassbandToneAtTheOutputsPositions) {
  for (const Ratio& r : kRatios) {
    const uint32_t n = 20000;  // outputs over many blocks of every phase
    std::vector<double> x(n);
    for (uint32_t t = 0; t < n; t++) x[t] = sin(2 * M_PI * 1000 * t / r.fs + 0.3);
    double* y = downsampling(x.data(), n, r.fs, r.up, r.down);
    ASSERT_NE(y, nullptr);
    const uint32_t outputs = n * r.up / r.down;
    for (uint32_t m = 16; m + 16 < outputs; m++)
      ASSERT_NEAR(y[m], sin(2 * M_PI * 1000 * (m * double(r.down) / r.up) / r.fs + 0.3), 2e-3)
          << r.up << "/" << r.down << " " << m;
    free(y);
  }
}

// Tones above half the new rate would fold back into the band the tracker uses.
TEST(Downsampling, RemovesTonesThatWouldFoldBack) {
  for (const Ratio& r : kRatios) {
    const double rate = r.fs * r.up / r.down;
    for (double f : {0.6 * rate, 0.8 * rate, 0.45 * r.fs}) {
      const uint32_t n = 20000;
      std::vector<double> x(n);
      for (uint32_t t = 0; t < n; t++) x[t] = sin(2 * M_PI * f * t / r.fs);
      double* y = downsampling(x.data(), n, r.fs, r.up, r.down);
      ASSERT_NE(y, nullptr);
      double peak = 0.0;
      for (uint32_t m = 32; m + 32 < n * r.up / r.down; m++) peak = std::max(peak, fabs(y[m]));
      EXPECT_LT(peak, pow(10.0, -50.0 / 20)) << r.up << "/" << r.down << " " << f;
      free(y);
    }
  }
}

// An impulse reaches only the outputs within 8 * down / up input samples of it, each through the
// windowed-sinc tap (at up times the rate) at its distance, times up, in every phase and across
// the boundaries between the blocks computed together; lengths round up.
TEST(Downsampling, ReadsOnlyNearbyInputAndRoundsTheLengthUp) {
  for (const Ratio& r : kRatios) {
    const uint32_t n = 4000, at = 1027, M = 8 * r.down;
    std::vector<double> x(n, 0.0);
    x[at] = 1.0;
    std::vector<double> h(2 * M + 1);
    getlpwinfilter(2 * M, h.data(), 0.4 * r.fs * r.up / r.down, r.fs * r.up);
    double* y = downsampling(x.data(), n, r.fs, r.up, r.down);
    ASSERT_NE(y, nullptr);
    for (uint32_t m = 0; m < n * r.up / r.down; m++) {
      const int distance = (int)(at * r.up) - (int)(m * r.down);  // at up times the rate
      EXPECT_DOUBLE_EQ(y[m], std::abs(distance) <= (int)M ? r.up * h[M + distance] : 0.0)
          << r.up << "/" << r.down << " " << m;
    }
    free(y);
  }
  // A constant signal of 1 .. 12 samples gives ceil(n * up / down) outputs; the last, inside the
  // signal, is the sum of the taps that meet it.
  for (const Ratio& r : kRatios) {
    const int M = 8 * r.down;
    std::vector<double> h(2 * M + 1);
    getlpwinfilter(2 * M, h.data(), 0.4 * r.fs * r.up / r.down, r.fs * r.up);
    for (uint32_t len = 1; len <= 12; len++) {
      const std::vector<double> ones(len, 1.0);
      double* y = downsampling(ones.data(), len, r.fs, r.up, r.down);
      ASSERT_NE(y, nullptr);
      const uint32_t last = (len * r.up + r.down - 1) / r.down - 1;
      ASSERT_LT(last * r.down, len * r.up);  // inside the signal
      double sum = 0.0;
      for (uint32_t i = 0; i < len; i++) {
        const int distance = (int)(i * r.up) - (int)(last * r.down);
        if (std::abs(distance) <= M) sum += r.up * h[M + distance];
      }
      EXPECT_NEAR(y[last], sum, 1e-12) << r.up << "/" << r.down << " " << len;
      free(y);
    }
  }
  const double one = 1.0;
  EXPECT_EQ(downsampling(&one, 1, 44100.0, 0, 2), nullptr);
  EXPECT_EQ(downsampling(&one, 1, 44100.0, 1, 0), nullptr);
}

// A span of the signal starting at a multiple of down gives, bit for bit, the whole signal's
// outputs whose taps lie inside it: a stream can be resampled piece by piece.
TEST(Downsampling, PiecesGiveTheWholeSignalsOutputsExactly) {
  for (const Ratio& r : kRatios) {
    const uint32_t n = 6000;
    std::vector<double> x(n);
    for (uint32_t t = 0; t < n; t++) x[t] = sin(0.013 * t) + 0.5 * sin(1.7 * t + 0.2 * sin(0.001 * t * t));
    double* whole = downsampling(x.data(), n, r.fs, r.up, r.down);
    ASSERT_NE(whole, nullptr);
    const uint32_t start = 37 * r.down, length = 2500;
    double* piece = downsampling(x.data() + start, length, r.fs, r.up, r.down);
    ASSERT_NE(piece, nullptr);
    const double reach = 8.0 * r.down / r.up;  // input samples either side of an output
    uint32_t compared = 0;
    for (uint32_t j = 0; j < (length * r.up + r.down - 1) / r.down; j++) {
      const double position = j * double(r.down) / r.up;  // within the piece
      if (position < reach || position + reach > length - 1) continue;
      ASSERT_EQ(piece[j], whole[start / r.down * r.up + j]) << r.up << "/" << r.down << " " << j;
      compared++;
    }
    EXPECT_GT(compared, 2000u * r.up / r.down);
    free(piece);
    free(whole);
  }
}

TEST(ApplyFftFilter, RemovesHumAndKeepsVoiceBand) {
  const uint32_t n = 16000;
  std::vector<double> x(n);
  for (uint32_t t = 0; t < n; t++) x[t] = sin(2 * M_PI * 20 * t / kFs) + sin(2 * M_PI * 700 * t / kFs);
  double* y = applyfftfilter(x.data(), n, kFs);
  for (uint32_t t = 2000; t < n - 2000; t++) ASSERT_NEAR(y[t], sin(2 * M_PI * 700 * t / kFs), 0.05) << t;
  free(y);
}

TEST(LogF0, ConvertsBothWaysWithTheUnvoicedMarker) {
  std::vector<double> t = {0.0, 100.0, -5.0};
  f02logf0(t.size(), t.data());
  EXPECT_EQ(t[0], -1e10);
  EXPECT_DOUBLE_EQ(t[1], log(100.0));
  EXPECT_EQ(t[2], -1e10);
  std::vector<double> l = {-1e10, -2e10, log(150.0), -3.0};
  logf02f0(l.size(), l.data());
  EXPECT_EQ(l[0], 0.0);
  EXPECT_EQ(l[1], 0.0);
  EXPECT_DOUBLE_EQ(l[2], 150.0);
  EXPECT_DOUBLE_EQ(l[3], exp(-3.0));
}

TEST(LogF0, ShiftAndRangeScalingTouchOnlyVoicedValues) {
  std::vector<double> t = {4.0, -1e10, 5.0, 6.0};
  shiftlogpitch(t.size(), t.data(), 0.5);
  EXPECT_EQ(t, (std::vector<double>{4.5, -1e10, 5.5, 6.5}));
  shiftlogpitch(t.size(), t.data(), 0.0);
  EXPECT_EQ(t, (std::vector<double>{4.5, -1e10, 5.5, 6.5}));
  scalelogpitchrange(t.size(), t.data(), 2.0);
  EXPECT_EQ(t, (std::vector<double>{3.5, -1e10, 5.5, 7.5}));
  scalelogpitchrange(t.size(), t.data(), 0.0);
  EXPECT_EQ(t, (std::vector<double>{5.5, -1e10, 5.5, 5.5}));
  std::vector<double> none = {-1e10, -1e10};
  scalelogpitchrange(none.size(), none.data(), 3.0);
  EXPECT_EQ(none, (std::vector<double>{-1e10, -1e10}));
}

namespace {

// Track of `frames` values: runs given as (first frame, length, value).
std::vector<double> runs(uint32_t frames, std::initializer_list<std::array<double, 3>> rs) {
  std::vector<double> t(frames, 0.0);
  for (const auto& r : rs)
    for (uint32_t i = 0; i < r[1]; i++) t[(uint32_t)r[0] + i] = r[2];
  return t;
}

}  // namespace

TEST(ElimIslands, RemovesShortRunsThatJumpAwayFromTheLongRunsRange) {
  // At 16 kHz and a hop of 80, runs of up to 11 frames are islands.
  std::vector<double> t = runs(
      120,
      {{0, 20, 100}, {25, 5, 250}, {35, 20, 120}, {60, 5, 110}, {70, 20, 105}, {95, 3, 150}, {100, 12, 100}});
  std::vector<double> expected = t;
  for (int i = 25; i < 30; i++) expected[i] = 0.0;  // 250 Hz: outside 100..120, jump 2.5
  elimislands(t.size(), t.data(), kFs, kHop);
  EXPECT_EQ(t, expected);  // 110 Hz lies inside the range; 150 Hz jumps only 1.43
}

TEST(ElimIslands, ChangesNothingWithoutALongRun) {
  std::vector<double> t = runs(60, {{0, 11, 100}, {20, 3, 300}, {40, 11, 120}});
  const std::vector<double> before = t;
  elimislands(t.size(), t.data(), kFs, kHop);
  EXPECT_EQ(t, before);
}

TEST(ElimIslands, IslandsAtTheEndsAreJudgedByTheirOneNeighbour) {
  // A leading island an octave above the following run goes; a trailing island that stays
  // close to the preceding run is kept even though it is outside the range.
  std::vector<double> t = runs(80, {{0, 4, 220}, {10, 30, 110}, {45, 4, 130}});
  std::vector<double> expected = t;
  for (int i = 0; i < 4; i++) expected[i] = 0.0;
  elimislands(t.size(), t.data(), kFs, kHop);
  EXPECT_EQ(t, expected);
  // The same trailing island far above its neighbour goes.
  t = runs(80, {{10, 30, 110}, {45, 4, 260}});
  elimislands(t.size(), t.data(), kFs, kHop);
  for (int i = 45; i < 49; i++) EXPECT_EQ(t[i], 0.0);
}
