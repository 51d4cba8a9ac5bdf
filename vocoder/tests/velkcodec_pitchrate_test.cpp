// The rate the pitch tracker works at above 16 kHz: the decimation factor chosen for a rate,
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
  uint32_t factor;
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

const double kSteady = 187.3;  // 58.86 samples at 11.025 kHz, 64.09 at 12 kHz: no whole period

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

TEST(PitchDecimation, IsTheLargestFactorKeepingTheFloorTheCeilingAndWholeCentres) {
  const Choice choices[] = {
      {16000, 80, 0, 500, 1},      // the default rate is never decimated
      {20000, 100, 0, 500, 1},     // 10 kHz would lie below the floor
      {22050, 256, 0, 500, 2},     // 11.025 kHz
      {22050, 110, 0, 500, 2},     // the default shift at 22.05 kHz
      {22050, 255, 0, 500, 1},     // an odd shift
      {22050, 256, 513, 500, 1},   // an odd first centre
      {22050, 256, 0, 1200, 1},    // 11.025 kHz gives less than 16 samples to a period of 1200 Hz
      {24000, 120, 0, 500, 2},     // 12 kHz
      {24000, 300, 600, 500, 2},   //
      {32000, 160, 0, 500, 2},     // 16 kHz
      {44100, 512, 0, 500, 4},     // 11.025 kHz
      {44100, 220, 1024, 500, 4},  //
      {44100, 441, 0, 500, 3},     // 4 does not divide 441: 14.7 kHz
      {44100, 512, 0, 1200, 2},    // 22.05 kHz for a ceiling of 1200 Hz
      {44100, 512, 0, 2000, 1},    // 32 kHz would be needed
      {48000, 240, 0, 500, 4},     // 12 kHz
      {48000, 240, 0, 1000, 3},    // 16 kHz for a ceiling of 1000 Hz
      {48000, 250, 0, 500, 2},     // 250 = 2 * 125
  };
  for (const Choice& c : choices)
    EXPECT_EQ(pitchdecimation(c.fs, c.lframe, c.first, c.f0max), c.factor)
        << c.fs << " " << c.lframe << " " << c.first << " " << c.f0max;
}

TEST(EncodePitch, ASteadyToneIsTrackedOnTheDecimatedCopy) {
  for (uint32_t fs : {44100u, 48000u}) {
    encodesettings s = encodedefaults(fs);
    s.lframe = fs == 44100 ? 512 : 240;
    ASSERT_EQ(pitchdecimation(s.fs, s.lframe, 0, s.f0max), 4u);
    const uint32_t n = fs;  // one second
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
  const uint32_t fs = 48000, n = fs, first = 1000;  // 250 samples of the 12 kHz copy
  encodesettings s = encodedefaults(fs);
  s.lframe = 480;
  ASSERT_EQ(pitchdecimation(s.fs, s.lframe, first, s.f0max), 4u);
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
