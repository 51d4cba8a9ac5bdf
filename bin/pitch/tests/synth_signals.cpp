#include "synth_signals.h"

#include <cmath>
#include <random>
#include <utility>

namespace {

// Two-pole resonator of centre frequency fc and bandwidth bw (Hz), in place.
void resonate(std::vector<double>& x, double fc, double bw, double fs) {
  const double r = exp(-M_PI * bw / fs);
  const double a1 = 2.0 * r * cos(2.0 * M_PI * fc / fs), a2 = -r * r;
  double y1 = 0.0, y2 = 0.0;
  for (double& v : x) {
    const double y = v + a1 * y1 + a2 * y2;
    y2 = y1;
    y1 = y;
    v = y;
  }
}

}  // namespace

std::vector<float> voiced_signal(double f0_start, double f0_end, int n, double fs) {
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
  resonate(x, 500.0, 80.0, fs);
  resonate(x, 1500.0, 120.0, fs);
  double peak = 0.0;
  for (double v : x) peak = std::max(peak, std::fabs(v));
  std::vector<float> out(n);
  for (int i = 0; i < n; i++) out[i] = (float)(x[i] / peak * 8000.0);
  return out;
}

void add_noise(std::vector<float>& x, double snr_db, unsigned seed) {
  double power = 0.0;
  for (float v : x) power += (double)v * v;
  power /= x.size();
  const double deviation = std::sqrt(power / std::pow(10.0, snr_db / 10.0));
  const std::vector<float> noise = noise_signal((int)x.size(), deviation, seed);
  for (size_t i = 0; i < x.size(); i++) x[i] += noise[i];
}

std::vector<float> noise_signal(int n, double deviation, unsigned seed) {
  std::mt19937 gen(seed);
  std::normal_distribution<double> normal(0.0, deviation);
  std::vector<float> out(n);
  for (float& v : out) v = (float)normal(gen);
  return out;
}

std::vector<GlideCase> glide_cases() {
  std::vector<GlideCase> cases;
  for (double snr_db : {0.0, 20.0}) {
    for (const auto& f0 :
         {std::make_pair(80.0, 80.0), std::make_pair(120.0, 120.0), std::make_pair(200.0, 200.0),
          std::make_pair(350.0, 350.0), std::make_pair(100.0, 250.0)})
      cases.push_back(GlideCase{f0.first, f0.second, snr_db});
  }
  return cases;
}

std::string glide_case_name(const GlideCase& c) {
  return "F0_" + std::to_string((int)c.f0_start) + "_" + std::to_string((int)c.f0_end) +
         (c.snr_db > 0 ? "_snr" + std::to_string((int)c.snr_db) : "_clean");
}

void PrintTo(const GlideCase& c, std::ostream* os) {
  *os << c.f0_start << "->" << c.f0_end << " Hz, "
      << (c.snr_db > 0 ? "SNR " + std::to_string((int)c.snr_db) + " dB" : "clean");
}
