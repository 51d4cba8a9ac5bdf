// Envelopes of warped cepstra against known answers, short-time spectra of known signals on
// the envelopes' density scale, the colour maps, the automatic scales, the graph description
// of a panel and the page layout.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "colourmap.h"
#include "describe.h"
#include "envelope.h"
#include "figure.h"
#include "stft.h"
#include "velkcodec.h"

using namespace velk;

namespace {

const double kDbPerNeper = 20.0 / std::log(10.0);

TEST(Envelope, ConstantCepstrumIsAFlatEnvelope) {
  const double c[4] = {1.5, 0, 0, 0};
  std::vector<double> db(9);
  cepstrum_envelope_db(c, 3, 0.42, 9, db.data());
  for (double v : db) EXPECT_NEAR(v, 1.5 * kDbPerNeper, 1e-12);
}

TEST(Envelope, FirstCoefficientTiltsByTheWarpedCosine) {
  const double c[2] = {0, 0.25};
  std::vector<double> db(3);
  cepstrum_envelope_db(c, 1, 0.0, 3, db.data());
  EXPECT_NEAR(db[0], 0.5 * kDbPerNeper, 1e-12);  // 2 c1 cos 0
  EXPECT_NEAR(db[1], 0.0, 1e-12);                // cos(pi / 2)
  EXPECT_NEAR(db[2], -0.5 * kDbPerNeper, 1e-12);
  // Warping keeps the ends and moves the middle: cos of the warped pi / 2 is -2a / (1 + a^2).
  const double a = 0.42;
  cepstrum_envelope_db(c, 1, a, 3, db.data());
  EXPECT_NEAR(db[0], 0.5 * kDbPerNeper, 1e-12);
  EXPECT_NEAR(db[1], 0.5 * (-2 * a / (1 + a * a)) * kDbPerNeper, 1e-12);
  EXPECT_NEAR(db[2], -0.5 * kDbPerNeper, 1e-12);
  // Order 2 at pi / 2 without warping: 2 c2 cos(pi) = -2 c2.
  const double c2[3] = {0, 0, 0.1};
  cepstrum_envelope_db(c2, 2, 0.0, 3, db.data());
  EXPECT_NEAR(db[1], -0.2 * kDbPerNeper, 1e-12);
}

// velkplot undoes the range adaptation of a frame (--morvscale=1) with the vocoder's own routine.
TEST(Envelope, UnadaptingUndoesTheEncodersRangeAdaptation) {
  double c[3] = {1.0 + 5.0, 0.3 * 2.0, -0.1 * 2.0};
  EXPECT_EQ(invmorvadapteradhoc(c, 2, 1), 0);
  EXPECT_DOUBLE_EQ(c[0], 1.0);
  EXPECT_DOUBLE_EQ(c[1], 0.3);
  EXPECT_DOUBLE_EQ(c[2], -0.1);
  const double nan[2] = {NAN, 0};
  double db[2];
  cepstrum_envelope_db(nan, 1, 0.42, 2, db);
  EXPECT_TRUE(std::isnan(db[0]));
}

TEST(Scales, StepsOfOneTwoOrFiveTimesAPowerOfTen) {
  const Axis t = nice_axis(0.0, 1.3875, false);
  EXPECT_DOUBLE_EQ(t.step, 0.2);
  EXPECT_EQ(t.decimals, 1);
  EXPECT_DOUBLE_EQ(t.max, 1.3875);  // exact ends for the time axis
  const Axis f = nice_axis(132.0, 289.0, true);
  EXPECT_DOUBLE_EQ(f.step, 50.0);
  EXPECT_DOUBLE_EQ(f.min, 100.0);
  EXPECT_DOUBLE_EQ(f.max, 300.0);
  EXPECT_EQ(f.decimals, 0);
  const Axis w = nice_axis(-0.69, 0.69, true);
  EXPECT_DOUBLE_EQ(w.step, 0.2);
  EXPECT_NEAR(w.min, -0.8, 1e-12);
  EXPECT_EQ(axis_label(w.min + 4 * w.step, w), "0.0");  // never "-0.0"
  EXPECT_EQ(axis_label(0.6000000000000001, w), "0.6");
}

TEST(Scales, EmptyOrNonFiniteRangesAreWidened) {
  const Axis one = nice_axis(200.0, 200.0, true);
  EXPECT_LT(one.min, 200.0);
  EXPECT_GT(one.max, 200.0);
  const Axis zero = nice_axis(0.0, 0.0, true);
  EXPECT_LT(zero.min, 0.0);
  EXPECT_GT(zero.max, 0.0);
  const Axis bad = nice_axis(NAN, INFINITY, false);
  EXPECT_DOUBLE_EQ(bad.min, 0.0);
  EXPECT_DOUBLE_EQ(bad.max, 1.0);
}

TEST(Description, NonFiniteValuesBreakTheLineAndTextsAreQuoted) {
  const Axis x = nice_axis(0, 4, false), y = nice_axis(0, 10, true);
  GraphFrame f;
  PanelText t = {"A \"quoted\" title", "Time (s)", ""};
  const std::vector<Curve> curves = {{{0, 1, 2, 3, 4}, {1, NAN, 2, 3, INFINITY}, "a"},
                                     {{0.5, 1.5}, {7, 8}, ""}};
  const std::string d = describe_panel(x, y, curves, t, true, f);
  EXPECT_NE(d.find("x 0 4\ny 0 10\n"), std::string::npos) << d;
  EXPECT_NE(d.find("xscale 0 1 2 3 4\n"), std::string::npos) << d;
  EXPECT_NE(d.find("yscale 0 2 4 6 8 10\n"), std::string::npos) << d;
  EXPECT_NE(d.find("line 2\nxgrid 0 1 2 3 4\nygrid 0 2 4 6 8 10\nline 1\n"), std::string::npos) << d;
  EXPECT_NE(d.find("xname \"Time (s)\"\n"), std::string::npos);
  EXPECT_EQ(d.find("yname"), std::string::npos);
  // 16 characters of 3.4 mm centred over 120 mm, 6 mm above the 80 mm frame.
  EXPECT_NE(d.find("title 32.8 86 \"A 'quoted' title\"\n"), std::string::npos) << d;
  // Each curve in turn, broken at the non-finite values.
  EXPECT_NE(d.find("0 1\neod\n2 2\n3 3\neod\n0.5 7\n1.5 8\neod\n"), std::string::npos) << d;
  EXPECT_EQ(d.find("inf"), std::string::npos);
  EXPECT_EQ(d.find("nan"), std::string::npos);
}

TEST(ShortTimeSpectrum, ASinusoidAtItsBinHasItsDensityAndANaNFrameIsBlank) {
  // A sinusoid of amplitude a at bin k: |X(k)| = a sum(w) / 2, the density |X|^2 / (fs sum(w^2)).
  const double fs = 22050, a = 0.5;
  const StftPlan plan = stft_plan(400, fs);
  ASSERT_EQ(plan.nfft, 1024u);
  const int k = 100;
  std::vector<double> x(4000);
  for (size_t i = 0; i < x.size(); ++i)
    x[i] = a * std::cos(2 * M_PI * k * static_cast<double>(i) / plan.nfft);
  std::vector<double> work(plan.nfft), db(plan.nfft / 2 + 1);
  frame_spectrum_db(plan, x.data(), x.size(), 2000, work.data(), db.data());
  double sum = 0, sum2 = 0;
  for (double w : plan.hann) sum += w, sum2 += w * w;
  const double expected = 20 * std::log10(a * sum / 2 / std::sqrt(fs * sum2));
  EXPECT_NEAR(db[k], expected, 0.01);
  const int peak = static_cast<int>(std::max_element(db.begin(), db.end()) - db.begin());
  EXPECT_EQ(peak, k);
  EXPECT_LT(db[k + 20], expected - 60);  // Hann sidelobes far down
  // A frame that reaches past the signal's start reads zeros there; a NaN sample blanks it.
  frame_spectrum_db(plan, x.data(), x.size(), 0, work.data(), db.data());
  EXPECT_TRUE(std::isfinite(db[k]));
  x[2010] = NAN;
  frame_spectrum_db(plan, x.data(), x.size(), 2000, work.data(), db.data());
  EXPECT_TRUE(std::all_of(db.begin(), db.end(), [](double v) { return std::isnan(v); }));
}

TEST(ShortTimeSpectrum, WhiteNoiseAveragesToItsTwoSidedDensity) {
  // Uniform noise of variance s2 has the two-sided density s2 / fs at every frequency.
  const double fs = 16000;
  const StftPlan plan = stft_plan(512, fs);
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
    frame_spectrum_db(plan, x.data(), x.size(), c, work.data(), db.data());
    for (size_t k = 10; k + 10 < db.size(); ++k, ++count) power += std::pow(10.0, db[k] / 10);
  }
  EXPECT_NEAR(10 * std::log10(power / count), 10 * std::log10(1.0 / 12 / fs), 0.2);
}

TEST(ColourMap, LightnessRisesWithTheLevelAndTheEndsAreHeld) {
  double last = -1;
  for (int i = 0; i <= 100; ++i) {
    double rgb[3];
    level_rgb(i / 100.0, false, rgb);
    const double luma = 0.2126 * rgb[0] + 0.7152 * rgb[1] + 0.0722 * rgb[2];
    EXPECT_GT(luma, last) << i;
    last = luma;
  }
  double lo[3], below[3], hi[3], grey[3];
  level_rgb(0, false, lo);
  level_rgb(-3, false, below);
  level_rgb(1, false, hi);
  EXPECT_EQ(std::vector<double>(lo, lo + 3), std::vector<double>(below, below + 3));
  EXPECT_GT(hi[0], 0.95);  // yellow at the top
  EXPECT_LT(hi[2], 0.2);
  EXPECT_LT(lo[1], 0.05);  // dark violet at the bottom
  level_rgb(0.25, true, grey);
  EXPECT_DOUBLE_EQ(grey[0], 0.75);
  EXPECT_DOUBLE_EQ(grey[2], 0.75);
}

TEST(Layout, PanelsShareTheirEdgesAndATooSmallPageIsRefused) {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
  cairo_t* cr = cairo_create(s);
  Figure f;
  FigurePanel a, b;
  a.x = b.x = nice_axis(0, 1, false);
  a.y = nice_axis(0, 100, true);
  b.y = nice_axis(-1000, 1000, true);  // wider labels: both plots move right together
  a.yname = b.yname = "y";
  a.title = "A";
  b.xname = "Time (s)";
  f.panels = {a, b};
  FigureLayout l;
  ASSERT_TRUE(layout_figure(cr, f, 504, 576, &l));
  EXPECT_GT(l.left, 30);
  EXPECT_LT(l.right, 504);
  ASSERT_EQ(l.top.size(), 2u);
  EXPECT_NEAR(l.bottom[0] - l.top[0], l.bottom[1] - l.top[1], 1e-9);
  EXPECT_LT(l.bottom[0], l.top[1]);
  EXPECT_LT(l.bottom[1], 576);
  // A larger font takes more room; a page of an inch cannot hold two panels.
  Figure big = f;
  big.font_pt = 20;
  FigureLayout lb;
  ASSERT_TRUE(layout_figure(cr, big, 504, 576, &lb));
  EXPECT_GT(lb.left, l.left);
  EXPECT_FALSE(layout_figure(cr, f, 72, 72, &l));
  cairo_destroy(cr);
  cairo_surface_destroy(s);
}

}  // namespace
