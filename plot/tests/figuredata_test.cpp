// The data of figure panels against known answers: contours of known F0 values, waveforms few
// and many, the spectrogram of a sinusoid, envelopes of known cepstra frame by frame, and the
// ranges that ignore what is not finite.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "figuredata.h"
#include "velkcodec.h"

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

TEST(CepstralSpectrogram, EachColumnShowsTheEnvelopeOfItsNearestFrame) {
  // Three frames of order 2 with only c0 (0, 1, 2 nepers): flat envelopes of 0, 8.69 and 17.4 dB.
  const std::vector<double> v = {0, 0, 0, 1, 0, 0, 2, 0, 0};
  cepstralstream s;
  s.values = &v;
  s.ccord = 2;
  s.alpha = 0.42;
  s.rate = 16000;
  s.lframe = 80;
  const double db_per_neper = 20.0 / std::log(10.0);
  const std::vector<double> e = frameenvelope(s, 1);
  ASSERT_EQ(e.size(), static_cast<size_t>(kEnvelopePoints));
  EXPECT_NEAR(e.front(), db_per_neper, 1e-12);
  EXPECT_NEAR(e.back(), db_per_neper, 1e-12);
  // Frames at 0, 5 and 10 ms, shown from half a frame before the first to half a frame after
  // the last: three columns over 0 .. 12.5 ms, 0 .. 8 kHz and half a row beyond.
  const levelimage im = cepstralspectrogram(s, 3, 0.0, 1.0);
  ASSERT_EQ(im.cols, 3);
  ASSERT_EQ(im.rows, kEnvelopePoints);
  for (int c = 0; c < 3; ++c)
    for (int r : {0, 100, kEnvelopePoints - 1})
      EXPECT_NEAR(im.db[static_cast<size_t>(c) * im.rows + r], c * db_per_neper, 1e-5) << c << " " << r;
  EXPECT_DOUBLE_EQ(im.x0, 0.0);
  EXPECT_DOUBLE_EQ(im.x1, 0.0125);
  EXPECT_DOUBLE_EQ(im.y1, 8.0 + 0.5 * 8.0 / (kEnvelopePoints - 1));
  EXPECT_EQ(cepstralspectrogram(s, 3, 5.0, 6.0).cols, 0);  // after the stream's end
  // Range-adapted cepstra are unadapted first, as the decoder does.
  std::vector<double> adapted = {0.3, -0.2, 0.1};
  cepstralstream a = s;
  a.values = &adapted;
  a.adapted = true;
  std::vector<double> plain = adapted;
  ASSERT_EQ(invmorvadapteradhoc(plain.data(), 2, 1), 0);
  ASSERT_NE(plain, adapted);
  cepstralstream p = s;
  p.values = &plain;
  EXPECT_EQ(frameenvelope(a, 0), frameenvelope(p, 0));
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
