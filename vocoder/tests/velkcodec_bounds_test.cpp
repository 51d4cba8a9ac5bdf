#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "velkcodec.h"

namespace {

TEST(EncodeBounds, SettingsOutsideTheBoundsAreRefused) {
  EXPECT_EQ(checkencodesettings(encodesettings()), 0);
  const auto with = [](auto change) {
    encodesettings s;
    change(s);
    return checkencodesettings(s);
  };
  EXPECT_EQ(with([](encodesettings& s) { s.f0min = 20, s.f0max = 8000, s.ccord = 511, s.ccmeth = 4; }), 0);
  EXPECT_EQ(with([](encodesettings& s) { s.f0min = 19.99; }), -1);
  EXPECT_EQ(with([](encodesettings& s) { s.f0min = 500; }), -1);  // not below f0max
  EXPECT_EQ(with([](encodesettings& s) { s.f0max = 8000.01; }), -1);
  EXPECT_EQ(with([](encodesettings& s) { s.f0min = NAN; }), -1);
  EXPECT_EQ(with([](encodesettings& s) { s.f0max = NAN; }), -1);
  EXPECT_EQ(with([](encodesettings& s) { s.ccord = 512; }), -1);
  EXPECT_EQ(with([](encodesettings& s) { s.ccmeth = 5; }), -1);
  EXPECT_EQ(with([](encodesettings& s) { s.lframe = 0; }), -1);
  EXPECT_EQ(with([](encodesettings& s) { s.alpha = -1; }), -1);
}

TEST(EncodeBounds, LoadedLogF0OutsideTheAnalysedRangeBecomesUnvoiced) {
  encodesettings s;
  s.f0min = 80;  // values from 40 Hz are kept
  std::vector<double> lf0 = {std::log(40.0),
                             std::log(39.99),
                             std::log(8000.0),
                             std::log(8000.5),
                             -40,
                             0,
                             NAN,
                             INFINITY,
                             -INFINITY,
                             -1e10,
                             -1e9};
  const std::vector<double> before = lf0;
  EXPECT_EQ(screenloadedlogf0(lf0.data(), static_cast<uint32_t>(lf0.size()), s), 7u);
  const std::vector<double> expected = {before[0], -1e10, before[2], -1e10, -1e10, -1e10,
                                        -1e10,     -1e10, -INFINITY, -1e10, -1e10};
  EXPECT_EQ(lf0, expected);
  EXPECT_EQ(loadedf0lowest(s), 40.0);
  EXPECT_EQ(loadedf0highest(), 8000.0);
}

}  // namespace
