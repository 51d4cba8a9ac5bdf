// The transforms report a size that is not a power of two (-1, values untouched), and the
// routines built on them pass that failure on instead of computing with an untransformed buffer.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "dft.h"
#include "pitchanalysis.h"
#include "spectralanalysis.h"

using namespace velk;

namespace {

std::vector<double> ramp(uint32_t n) {
  std::vector<double> v(n);
  for (uint32_t i = 0; i < n; ++i) v[i] = 0.25 * i - 1.0;
  return v;
}

TEST(FftStatus, SizesThatAreNotPowersOfTwoAreRefusedAndLeaveTheValues) {
  for (int32_t n : {3, 6, 12, 1000, -4}) {
    const uint32_t len = n > 0 ? static_cast<uint32_t>(n) : 4;
    std::vector<double> re = ramp(len), im = ramp(len);
    const std::vector<double> before = re;
    EXPECT_EQ(fftr(n, re.data(), im.data()), -1) << n;
    EXPECT_EQ(ifftr(n, re.data(), im.data()), -1) << n;
    std::vector<complex> z(len);
    for (uint32_t i = 0; i < len; ++i) z[i] = {before[i], -before[i]};
    EXPECT_EQ(fftc(n, z.data()), -1) << n;
    EXPECT_EQ(ifftc(n, z.data()), -1) << n;
    EXPECT_EQ(re, before) << n;
    for (uint32_t i = 0; i < len; ++i) EXPECT_EQ(z[i].re, before[i]) << n;
  }
}

TEST(FftStatus, PowersOfTwoTransform) {
  for (int32_t n : {0, 1, 2, 8, 1024}) {
    const uint32_t len = n > 0 ? static_cast<uint32_t>(n) : 1;
    std::vector<double> re(len, 0.0), im(len, 0.0);
    re[0] = 1.0;  // unit impulse: every bin 1
    EXPECT_EQ(fftr(n, re.data(), im.data()), 0) << n;
    if (n >= 2) {
      EXPECT_EQ(re[n - 1], 1.0) << n;
    }
    std::vector<complex> z(len, {0.0, 0.0});
    z[0] = {1.0, 0.0};
    EXPECT_EQ(fftc(n, z.data()), 0) << n;
    EXPECT_EQ(ifftc(n, z.data()), 0) << n;
    if (n >= 1) {
      EXPECT_EQ(z[0].re, static_cast<double>(n)) << n;
    }
  }
}

TEST(FftStatus, SpectraAndFiltersPassTheFailureOn) {
  const uint32_t n = 4000;
  const std::vector<double> x = ramp(n);
  namem* mem = nameminitializefft(naframesize(16000.0), 1024);
  std::vector<double> out(2 * 1024, 0.0);
  EXPECT_EQ(getnoiselogspectrum(x.data(), n, 16000.0, 2000, 1000, out.data(), mem), -1);
  EXPECT_EQ(getsignallogspectrum(x.data(), n, 16000.0, 2000, 150.0, 1000, out.data(), mem), -1);
  EXPECT_EQ(getseevoclogspectrum(x.data(), n, 16000.0, 2000, 150.0, 1000, out.data(), mem), -1);
  EXPECT_EQ(getnoiselogspectrum(x.data(), n, 16000.0, 2000, 1024, out.data(), mem), 0);
  namemdestroy(mem);

  noisegen g(0);
  std::vector<double> noise(2 * 12, 0.0);
  EXPECT_EQ(gennoisefromlogspectrum(noise.data(), 12, 16000.0, &g), -1);
  std::vector<double> good(2 * 16, 0.0);
  EXPECT_EQ(gennoisefromlogspectrum(good.data(), 16, 16000.0, &g), 0);

  const double freqs[] = {0.0, 100.0, 1e6};
  const double gains[] = {0.0, 0.0, 0.0};
  std::vector<double> y(n, 7.0);
  EXPECT_EQ(fftfilter(x.data(), y.data(), n, 1000, freqs, gains, 16000.0), -1);
  EXPECT_EQ(y[0], 7.0);  // nothing written
  EXPECT_EQ(fftfilter(x.data(), y.data(), n, 1024, freqs, gains, 16000.0), 0);

  std::vector<complex> z(6, {1.0, 0.0});
  EXPECT_EQ(autocorrelation(6, z.data()), -1);
  EXPECT_EQ(autocorrelationpair(6, z.data()), -1);
  std::vector<complex> w(8, {1.0, 0.0});
  EXPECT_EQ(autocorrelation(8, w.data()), 0);
  EXPECT_DOUBLE_EQ(w[0].re, 8.0 * 8.0);  // N times the zero-lag sum of 8 ones
}

}  // namespace
