// Short-time spectra of known signals on the envelopes' density scale.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "stft.h"

using namespace velk;

namespace {

TEST(ShortTimeSpectrum, ASinusoidAtItsBinHasItsDensityAndANaNFrameIsBlank) {
  // A sinusoid of amplitude a at bin k: |X(k)| = a sum(w) / 2, the density |X|^2 / (fs sum(w^2)).
  const double fs = 22050, a = 0.5;
  const stftplan plan = planstft(400, fs);
  ASSERT_EQ(plan.nfft, 1024u);
  const int k = 100;
  std::vector<double> x(4000);
  for (size_t i = 0; i < x.size(); ++i)
    x[i] = a * std::cos(2 * M_PI * k * static_cast<double>(i) / plan.nfft);
  std::vector<double> work(plan.nfft), db(plan.nfft / 2 + 1);
  framespectrumdb(plan, x.data(), x.size(), 2000, work.data(), db.data());
  double sum = 0, sum2 = 0;
  for (double w : plan.hann) sum += w, sum2 += w * w;
  const double expected = 20 * std::log10(a * sum / 2 / std::sqrt(fs * sum2));
  EXPECT_NEAR(db[k], expected, 0.01);
  const int peak = static_cast<int>(std::max_element(db.begin(), db.end()) - db.begin());
  EXPECT_EQ(peak, k);
  EXPECT_LT(db[k + 20], expected - 60);  // Hann sidelobes far down
  // A frame that reaches past the signal's start reads zeros there; a NaN sample blanks it.
  framespectrumdb(plan, x.data(), x.size(), 0, work.data(), db.data());
  EXPECT_TRUE(std::isfinite(db[k]));
  x[2010] = NAN;
  framespectrumdb(plan, x.data(), x.size(), 2000, work.data(), db.data());
  EXPECT_TRUE(std::all_of(db.begin(), db.end(), [](double v) { return std::isnan(v); }));
}

TEST(ShortTimeSpectrum, WhiteNoiseAveragesToItsTwoSidedDensity) {
  // Uniform noise of variance s2 has the two-sided density s2 / fs at every frequency.
  const double fs = 16000;
  const stftplan plan = planstft(512, fs);
  std::vector<double> x(200000);
  uint32_t seed = 12345;
  for (double& v : x) {
    seed = seed * 1664525u + 1013904223u;
    v = (seed / 4294967296.0 - 0.5);  // variance 1/12
  }
  std::vector<double> work(plan.nfft), db(plan.nfft / 2 + 1);
  double power = 0;
  int count = 0;
  for (long c = 1000; c < 199000; c += 256) {
    framespectrumdb(plan, x.data(), x.size(), c, work.data(), db.data());
    for (size_t k = 10; k + 10 < db.size(); ++k, ++count) power += std::pow(10.0, db[k] / 10);
  }
  EXPECT_NEAR(10 * std::log10(power / count), 10 * std::log10(1.0 / 12 / fs), 0.2);
}

}  // namespace
