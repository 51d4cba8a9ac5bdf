// The rate the pitch tracker works at above 16 kHz: the fraction of the rate chosen for a rate,
// frame shift, first centre and ceiling, and the F0 of known signals tracked on the copy.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "velkcodec.h"

using namespace velk;

namespace {

struct Choice {
  uint32_t fs, lframe, first;
  double f0max;
  uint32_t up, down;
};

// Harmonic signal of F0 f0(t) and phase cycles(t) (t in seconds) with 1/h amplitudes up to
// 0.45 fs, most of them above half the rate of the tracker's copy.
std::vector<double> harmonics(uint32_t n, double fs, double (*f0)(double), double (*cycles)(double)) {
  std::vector<double> x(n, 0.0);
  for (uint32_t t = 0; t < n; t++) {
    const double f = f0(t / fs), phase = 2 * M_PI * cycles(t / fs);
    for (int h = 1; h * f < 0.45 * fs; h++) x[t] += 0.3 / h * sin(h * phase + 0.1 * h * h);
  }
  return x;
}

const double kSteady = 187.3;  // 88.29 samples at 16.5375 kHz, 85.42 at 16 kHz: no whole period

double steady(double) {
  return kSteady;
}

double steadycycles(double t) {
  return kSteady * t;
}

// 120 Hz rising to 360 Hz over one second: a frame a few milliseconds off would read another F0.
double glide(double t) {
  return 120.0 * pow(3.0, t);
}

double glidecycles(double t) {
  return 120.0 * (pow(3.0, t) - 1.0) / log(3.0);
}

}  // namespace

TEST(PitchResampling, IsTheLowestRateAt16kHzOrAboveThatKeepsCentresWhole) {
  const Choice choices[] = {
      {16000, 80, 0, 500, 1, 1},     // the default rate keeps its signal
      {20000, 100, 0, 500, 4, 5},    // 16 kHz
      {22050, 256, 0, 500, 3, 4},    // 16.5375 kHz; 1/2 would fall below 16 kHz
      {22050, 256, 512, 500, 3, 4},  // a first centre at a multiple of 4
      {22050, 256, 513, 500, 1, 1},  // an odd first centre: no fraction keeps it whole
      {22050, 110, 0, 500, 8, 11},   // 16.036 kHz, below 4/5 (17.64 kHz)
      {22050, 255, 0, 500, 11, 15},  // 16.17 kHz
      {22050, 256, 0, 1200, 1, 1},   // 32 samples to a period of 1200 Hz need 38.4 kHz
      {24000, 120, 0, 500, 2, 3},    // 16 kHz
      {24000, 300, 150, 500, 2, 3},  //
      {24000, 256, 0, 500, 11, 16},  // 16.5 kHz
      {32000, 160, 0, 500, 1, 2},    // 16 kHz
      {44100, 512, 0, 500, 3, 8},    // 16.5375 kHz
      {44100, 220, 0, 500, 4, 11},   // 16.036 kHz
      {44100, 441, 0, 500, 3, 7},    // 18.9 kHz: 441 = 3 * 3 * 7 * 7
      {44100, 512, 0, 1200, 7, 8},   // 38.5875 kHz
      {44100, 512, 0, 2000, 1, 1},   // 64 kHz would be needed
      {48000, 240, 0, 500, 1, 3},    // 16 kHz
      {48000, 240, 0, 1000, 2, 3},   // 32 kHz
      {48000, 250, 0, 500, 2, 5},    // 19.2 kHz: 250 = 2 * 5 * 5 * 5
      {48000, 1, 0, 500, 1, 1},      // a shift of one sample
  };
  for (const Choice& c : choices) {
    const pitchrate r = pitchresampling(c.fs, c.lframe, c.first, c.f0max);
    EXPECT_EQ(r.up, c.up) << c.fs << " " << c.lframe << " " << c.first << " " << c.f0max;
    EXPECT_EQ(r.down, c.down) << c.fs << " " << c.lframe << " " << c.first << " " << c.f0max;
  }
}

TEST(EncodePitch, ASteadyToneIsTrackedOnTheResampledCopy) {
  for (uint32_t fs : {44100u, 48000u}) {
    encodesettings s = encodedefaults(fs);
    s.lframe = fs == 44100 ? 512 : 240;
    ASSERT_EQ(pitchresampling(s.fs, s.lframe, 0, s.f0max).down, fs == 44100 ? 8u : 3u);  // 3/8, 1/3
    const uint32_t n = fs;                                                               // one second
    const std::vector<double> x = harmonics(n, fs, steady, steadycycles);
    const uint32_t frames = encodeframes(n, s.lframe);
    std::vector<double> f0(frames, -1.0);
    ASSERT_EQ(encodepitch(x.data(), n, s, 0, frames, f0.data(), nullptr), 0);
    for (uint32_t k = 0; k < frames; k++) {
      if (k * s.lframe < 0.05 * fs || k * s.lframe + 0.05 * fs > n) continue;  // a window from the ends
      EXPECT_NEAR(f0[k], kSteady, 0.002 * kSteady) << fs << " frame " << k;
    }
  }
}

TEST(EncodePitch, FramesCentredAwayFromTheStartReadTheirOwnF0) {
  const uint32_t fs = 48000, n = fs, first = 1000;  // 375 samples of the 18 kHz copy
  encodesettings s = encodedefaults(fs);
  s.lframe = 480;
  const pitchrate r = pitchresampling(s.fs, s.lframe, first, s.f0max);
  ASSERT_EQ(r.up, 3u);
  ASSERT_EQ(r.down, 8u);
  const std::vector<double> x = harmonics(n, fs, glide, glidecycles);
  const uint32_t frames = (n - first) / s.lframe;
  std::vector<double> f0(frames, -1.0);
  ASSERT_EQ(encodepitch(x.data(), n, s, first, frames, f0.data(), nullptr), 0);
  for (uint32_t k = 0; k < frames; k++) {
    const double centre = (first + k * s.lframe) / double(fs);
    if (centre < 0.05 || centre > 0.95) continue;
    EXPECT_NEAR(f0[k], glide(centre), 0.01 * glide(centre)) << "frame " << k;
  }
}
