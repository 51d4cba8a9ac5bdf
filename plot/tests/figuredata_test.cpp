// The data of figure panels against known answers: contours of known F0 values, waveforms few
// and many, the spectrogram of a sinusoid and the ranges that ignore what is not finite.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "figuredata.h"

using namespace velk;

namespace {

TEST(Contour, LogF0AndHzGiveHertzAtTheFrameTimesAndUnvoicedIsAGap) {
  const plotcurve c = f0curve({std::log(100.0), -1e10, std::log(250.0)}, 16000, 80, false);
  ASSERT_EQ(c.xs.size(), 3u);
  EXPECT_DOUBLE_EQ(c.xs[1], 0.005);
  EXPECT_DOUBLE_EQ(c.xs[2], 0.01);
  EXPECT_NEAR(c.ys[0], 100.0, 1e-9);
  EXPECT_TRUE(std::isnan(c.ys[1]));
  EXPECT_NEAR(c.ys[2], 250.0, 1e-9);
  const plotcurve hz = f0curve({120.0, 0.0, -5.0, NAN}, 8000, 40, true);
  EXPECT_EQ(hz.ys[0], 120.0);
  for (int k = 1; k < 4; ++k) EXPECT_TRUE(std::isnan(hz.ys[k])) << k;
}

TEST(Waveform, FewSamplesAreDrawnEachAndManyAsColumnsOfTheirExtremes) {
  const std::vector<double> few = {0.1, -0.2, 0.3, 0.4};
  const plotcurve a = wavecurve(few, 1000, 0.0, 0.003);
  ASSERT_EQ(a.ys, few);
  EXPECT_DOUBLE_EQ(a.xs[3], 0.003);
  // A ramp of 40000 samples over one second: 2000 columns of 20 samples, each drawn from its
  // first to its last sample at the column's centre; a column of NaN samples is a gap.
  std::vector<double> ramp(40000);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<double>(i);
  for (size_t i = 200; i < 220; ++i) ramp[i] = NAN;
  const plotcurve b = wavecurve(ramp, 40000, 0.0, 1.0);
  ASSERT_EQ(b.xs.size(), 2u * kWaveColumns);
  EXPECT_DOUBLE_EQ(b.ys[0], 0.0);
  EXPECT_DOUBLE_EQ(b.ys[1], 19.0);
  EXPECT_DOUBLE_EQ(b.xs[0], 0.5 / kWaveColumns);
  EXPECT_DOUBLE_EQ(b.ys[2 * 5], 100.0);
  EXPECT_DOUBLE_EQ(b.ys[2 * 5 + 1], 119.0);
  EXPECT_TRUE(std::isnan(b.ys[2 * 10]) && std::isnan(b.ys[2 * 10 + 1]));
  EXPECT_DOUBLE_EQ(b.ys.back(), 39999.0);
}

TEST(Spectrogram, ASinusoidLightsItsBinInEveryColumnAtTheHop) {
  const double rate = 16000;
  const stftplan plan = planstft(400, rate);  // nfft 1024: bins of 15.625 Hz
  const int k = 64;                           // 1000 Hz
  std::vector<double> x(16000);
  for (size_t i = 0; i < x.size(); ++i)
    x[i] = 0.5 * std::sin(2 * M_PI * k * static_cast<double>(i) / plan.nfft);
  const levelimage im = soundspectrogram(plan, x, rate, 10.0, 0.25, 0.75);
  // Columns every 160 samples from sample 4000 to 12000.
  EXPECT_EQ(im.cols, 51);
  ASSERT_EQ(im.rows, 513);
  EXPECT_DOUBLE_EQ(im.x0, (4000 - 80) / rate);
  EXPECT_DOUBLE_EQ(im.x1, (4000 + 50.5 * 160) / rate);
  EXPECT_DOUBLE_EQ(im.y1, 512.5 * rate / plan.nfft / 1000);
  for (int c = 0; c < im.cols; ++c) {
    const float* col = im.db.data() + static_cast<size_t>(c) * im.rows;
    int peak = 0;
    for (int r = 1; r < im.rows; ++r)
      if (col[r] > col[peak]) peak = r;
    EXPECT_EQ(peak, k) << c;
  }
  // Far more columns than allowed are spread out to at most kMaxImageColumns.
  const levelimage dense = soundspectrogram(plan, x, rate, 0.01, 0.0, 1.0);
  EXPECT_LE(dense.cols, kMaxImageColumns + 1);
  EXPECT_GE(dense.cols, kMaxImageColumns);
}

TEST(Ranges, OnlyFiniteValuesCountAndNoneIsSaid) {
  double lo, hi;
  EXPECT_TRUE(finiterange({3.0, NAN, -2.0, INFINITY, 7.5}, &lo, &hi));
  EXPECT_EQ(lo, -2.0);
  EXPECT_EQ(hi, 7.5);
  EXPECT_FALSE(finiterange({NAN, -INFINITY}, &lo, &hi));
  plotcurve a, b, none;
  a.ys = {1.0, NAN};
  b.ys = {-4.0, 2.0};
  none.ys = {NAN};
  EXPECT_TRUE(curvesrange({a, none, b}, &lo, &hi));
  EXPECT_EQ(lo, -4.0);
  EXPECT_EQ(hi, 2.0);
  EXPECT_FALSE(curvesrange({none}, &lo, &hi));
  levelimage im;
  im.db = {NAN, -30.0f, -12.5f, NAN};
  EXPECT_EQ(loudest(im), -12.5);
  im.db = {NAN};
  EXPECT_EQ(loudest(im), 0.0);
  // A contour's axis keeps a margin: its ends lie beyond the values.
  const plotaxis y = contouraxis(100.0, 200.0);
  EXPECT_LT(y.min, 100.0);
  EXPECT_GT(y.max, 200.0);
}

}  // namespace
