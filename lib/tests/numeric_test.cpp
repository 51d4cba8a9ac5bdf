#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>

#include "numeric.h"

using namespace velk;

namespace {

TEST(Gammamag, ZeroExponentIsTheExponentialLimit) {
  EXPECT_DOUBLE_EQ(gammamag(0.0, 0.3, 5.0), std::exp(0.6));
  EXPECT_NEAR(gammamag(1e-9, 0.3, 0.2), std::exp(0.6), 1e-6);
}

TEST(Gammamag, PlusAndMinusOne) {
  EXPECT_DOUBLE_EQ(gammamag(1.0, 0.5, 2.0), 1.5 * 1.5 + 4.0);
  EXPECT_DOUBLE_EQ(gammamag(-1.0, 0.5, 2.0), 1.0 / (0.25 + 4.0));
}

TEST(Gammamag, MatchesComplexMagnitudePower) {
  for (double r : {-0.7, -0.3, 0.25, 0.5, 2.0}) {
    const double x = 0.4, y = -0.9;
    const double mag = std::abs(std::complex<double>(1.0 + r * x, r * y));
    EXPECT_NEAR(gammamag(r, x, y), std::pow(mag, 2.0 / r), 1e-12) << r;
  }
}

TEST(Blockcopy, ShiftUpOverlappingDoesNotRepeat) {
  unsigned char buf[6] = {1, 2, 3, 4, 5, 6};
  blockcopy(buf, buf + 1, 1, 4);
  const unsigned char expected[6] = {1, 1, 2, 3, 4, 6};
  EXPECT_EQ(std::memcmp(buf, expected, 6), 0);
}

TEST(Blockcopy, ShiftDownOverlapping) {
  short buf[5] = {10, 20, 30, 40, 50};
  blockcopy(buf + 1, buf, sizeof(short), 4);
  const short expected[5] = {20, 30, 40, 50, 50};
  EXPECT_EQ(std::memcmp(buf, expected, sizeof buf), 0);
}

TEST(Blockcopy, DisjointBlocksCopiedWhole) {
  const double src[3] = {1.5, -2.5, 3.5};
  double dst[3] = {0, 0, 0};
  blockcopy(src, dst, sizeof(double), 3);
  EXPECT_EQ(std::memcmp(src, dst, sizeof src), 0);
}

TEST(Padz, ClearsExactlyTheBlock) {
  unsigned char buf[8];
  std::memset(buf, 0xab, sizeof buf);
  padz(buf + 1, 3, 2);
  const unsigned char expected[8] = {0xab, 0, 0, 0, 0, 0, 0, 0xab};
  EXPECT_EQ(std::memcmp(buf, expected, 8), 0);
}

TEST(Padz, ZeroCountChangesNothing) {
  double v[2] = {1.0, 2.0};
  padz(v, sizeof(double), 0);
  EXPECT_EQ(v[0], 1.0);
  EXPECT_EQ(v[1], 2.0);
}

}  // namespace
