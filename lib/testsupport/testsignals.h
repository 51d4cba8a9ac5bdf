#pragma once
// Test signals of known content shared by the toolkit's tests: resonances, Gaussian noise, pulse
// trains of a known (gliding) F0, steady harmonic voices, a speech-like series of them, and the
// count of voiced frames of a track.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

// x through a two-pole resonator of centre frequency fc and bandwidth bw (Hz) at the sampling
// rate fs: y[n] = x[n] + 2 r cos(2 pi fc / fs) y[n-1] - r^2 y[n-2], r = exp(-pi bw / fs).
inline std::vector<double> resonate(std::vector<double> x, double fc, double bw, double fs) {
  const double r = std::exp(-M_PI * bw / fs);
  const double a1 = 2.0 * r * std::cos(2.0 * M_PI * fc / fs), a2 = -r * r;
  double y1 = 0.0, y2 = 0.0;
  for (double& v : x) {
    const double y = v + a1 * y1 + a2 * y2;
    y2 = y1;
    y1 = y;
    v = y;
  }
  return x;
}

// n samples of white Gaussian noise of the given standard deviation, the same for a seed.
inline std::vector<float> noise_signal(int n, double deviation, unsigned seed) {
  std::mt19937 gen(seed);
  std::normal_distribution<double> normal(0.0, deviation);
  std::vector<float> out(n);
  for (float& v : out) v = static_cast<float>(normal(gen));
  return out;
}

// A unit pulse wherever the running phase of an F0 gliding linearly from f0_start to f0_end (Hz)
// completes a period, through resonances at 500 and 1500 Hz, scaled to a peak of 8000.
inline std::vector<float> voiced_signal(double f0_start, double f0_end, int n, double fs) {
  std::vector<double> x(n, 0.0);
  double phase = 0.0;
  for (int i = 0; i < n; i++) {
    const double f0 = f0_start + (f0_end - f0_start) * i / n;
    phase += f0 / fs;
    if (phase >= 1.0 || i == 0) {
      x[i] = 1.0;
      phase -= std::floor(phase);
    }
  }
  x = resonate(resonate(x, 500.0, 80.0, fs), 1500.0, 120.0, fs);
  double peak = 0.0;
  for (double v : x) peak = std::max(peak, std::fabs(v));
  std::vector<float> out(n);
  for (int i = 0; i < n; i++) out[i] = static_cast<float>(x[i] / peak * 8000.0);
  return out;
}

// `seconds` of ten harmonics of f0 (amplitudes falling as 1/k) at fs Hz, as 16-bit samples.
inline std::vector<int16_t> harmonic_voice(unsigned fs, double seconds, double f0) {
  std::vector<int16_t> x(static_cast<size_t>(fs * seconds));
  for (size_t i = 0; i < x.size(); ++i) {
    double v = 0;
    for (int k = 1; k <= 10; ++k)
      v += 0.15 / k * std::sin(2 * M_PI * f0 * k * static_cast<double>(i) / fs + k);
    x[i] = static_cast<int16_t>(std::lround(v * 32768));
  }
  return x;
}

// Adds white Gaussian noise at the given signal-to-noise ratio (dB) to x.
inline void add_noise(std::vector<float>& x, double snr_db, unsigned seed) {
  double power = 0.0;
  for (float v : x) power += static_cast<double>(v) * v;
  power /= x.size();
  const double deviation = std::sqrt(power / std::pow(10.0, snr_db / 10.0));
  const std::vector<float> noise = noise_signal(static_cast<int>(x.size()), deviation, seed);
  for (size_t i = 0; i < x.size(); i++) x[i] += noise[i];
}

// A gliding voice, noise, digital silence (long enough to be dithered), a high voice and a short
// run of zeros at the end (held back by the dither, then left as it is), at fs, on the +-1 scale.
inline std::vector<double> speechlike_signal(unsigned fs) {
  const int part = static_cast<int>(fs / 4);
  std::vector<float> x = voiced_signal(95, 190, 2 * part, fs);
  const std::vector<float> hiss = noise_signal(part, 900, 5);
  x.insert(x.end(), hiss.begin(), hiss.end());
  x.insert(x.end(), part / 2, 0.0f);
  const std::vector<float> voice = voiced_signal(260, 210, part, fs);
  x.insert(x.end(), voice.begin(), voice.end());
  x.insert(x.end(), 37, 0.0f);
  std::vector<double> signal(x.begin(), x.end());
  for (double& v : signal) v /= 32768;
  return signal;
}

// Frames of an F0 track that are voiced (above 0).
inline int voiced_count(const std::vector<float>& f0) {
  return static_cast<int>(std::count_if(f0.begin(), f0.end(), [](float v) { return v > 0.0f; }));
}
