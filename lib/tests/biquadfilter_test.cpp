#include "biquadfilter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

using velk::biquad;

constexpr double kPi = 3.14159265358979323846;
constexpr double kFs = 10000.0;

struct Section {
  bool pole = false, zero = false;
  double pf = 0, pb = 0, zf = 0, zb = 0;
};

// A section of one pole pair, or of one zero pair, at f Hz with bandwidth b Hz.
Section pole_pair(double f, double b) {
  return Section{true, false, f, b, 0, 0};
}

Section zero_pair(double f, double b) {
  return Section{false, true, 0, 0, f, b};
}

std::vector<double> run(const Section& s, const std::vector<double>& x) {
  double d[3] = {0, 0, 0};
  int pos = 0;
  std::vector<double> y(x.size());
  for (size_t n = 0; n < x.size(); n++)
    y[n] = biquad(s.pole, s.zero, d, &pos, x[n], kFs, s.pf, s.pb, s.zf, s.zb);
  return y;
}

std::vector<double> impulse(size_t n) {
  std::vector<double> x(n, 0.0);
  x[0] = 1.0;
  return x;
}

// |H(f)|² from an impulse response by a direct Fourier sum.
double power_at(const std::vector<double>& h, double f) {
  double re = 0, im = 0;
  for (size_t n = 0; n < h.size(); n++) {
    re += h[n] * std::cos(2 * kPi * f * n / kFs);
    im -= h[n] * std::sin(2 * kPi * f * n / kFs);
  }
  return re * re + im * im;
}

// The frequency of the largest (or the smallest) power on a 0.5 Hz grid over [lo, hi], the
// first of equal ones; the power itself into *power.
double scan_power(const std::vector<double>& h, double lo, double hi, bool largest, double* power) {
  double best_f = 0, best = largest ? 0 : 1e300;
  for (double f = lo; f <= hi; f += 0.5) {
    const double p = power_at(h, f);
    if (largest ? p > best : p < best) best = p, best_f = f;
  }
  *power = best;
  return best_f;
}

TEST(BiquadFilter, PolePairResonatesAtItsCentreWithItsBandwidth) {
  const std::vector<double> h = run(pole_pair(1500.0, 80.0), impulse(4096));
  double peak = 0;
  const double peak_f = scan_power(h, 1300, 1700, true, &peak);
  EXPECT_NEAR(peak_f, 1500.0, 2.0);
  double lo = peak_f, hi = peak_f;
  while (power_at(h, lo) > peak / 2) lo -= 0.25;
  while (power_at(h, hi) > peak / 2) hi += 0.25;
  EXPECT_NEAR(hi - lo, 80.0, 4.0);
}

TEST(BiquadFilter, ZeroPairNotchLiesAtItsCentre) {
  const std::vector<double> h = run(zero_pair(2000.0, 50.0), impulse(8));
  double notch = 0;
  const double notch_f = scan_power(h, 1000, 3000, false, &notch);
  EXPECT_NEAR(notch_f, 2000.0, 1.0);
  EXPECT_LT(notch, 1e-3 * power_at(h, 1000.0));
  EXPECT_EQ(h[3], 0.0);  // a zero pair alone is three taps long
}

TEST(BiquadFilter, ZeroPairOnTheCircleCancelsItsSinusoid) {
  const Section s = zero_pair(1234.0, 0.0);
  std::vector<double> x(200);
  for (size_t n = 0; n < x.size(); n++) x[n] = std::sin(2 * kPi * 1234.0 * n / kFs + 0.3);
  const std::vector<double> y = run(s, x);
  for (size_t n = 2; n < y.size(); n++) ASSERT_NEAR(y[n], 0.0, 1e-12) << n;
}

TEST(BiquadFilter, EqualPoleAndZeroPairsCancel) {
  Section s;
  s.pole = s.zero = true;
  s.pf = s.zf = 700.0;
  s.pb = s.zb = 120.0;
  std::mt19937 gen(3);
  std::normal_distribution<double> g;
  std::vector<double> x(1000);
  for (double& v : x) v = g(gen);
  const std::vector<double> y = run(s, x);
  for (size_t n = 0; n < x.size(); n++) ASSERT_NEAR(y[n], x[n], 1e-9) << n;
}

TEST(BiquadFilter, NoPairsPassesTheInput) {
  const std::vector<double> x = {0.5, -1.0, 3.0, 0.25};
  EXPECT_EQ(run(Section(), x), x);
}

}  // namespace
