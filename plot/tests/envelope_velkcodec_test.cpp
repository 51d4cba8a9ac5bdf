// Envelopes of warped cepstra against known answers.
#include <gtest/gtest.h>

#include <cmath>

#include "envelope.h"
#include "velkcodec.h"

using namespace velk;

namespace {

const double kDbPerNeper = 20.0 / std::log(10.0);

TEST(Envelope, ConstantCepstrumIsAFlatEnvelope) {
  const double c[4] = {1.5, 0, 0, 0};
  std::vector<double> db(9);
  cepstrumenvelopedb(c, 3, 0.42, 9, db.data());
  for (double v : db) EXPECT_NEAR(v, 1.5 * kDbPerNeper, 1e-12);
}

TEST(Envelope, FirstCoefficientTiltsByTheWarpedCosine) {
  const double c[2] = {0, 0.25};
  std::vector<double> db(3);
  cepstrumenvelopedb(c, 1, 0.0, 3, db.data());
  EXPECT_NEAR(db[0], 0.5 * kDbPerNeper, 1e-12);  // 2 c1 cos 0
  EXPECT_NEAR(db[1], 0.0, 1e-12);                // cos(pi / 2)
  EXPECT_NEAR(db[2], -0.5 * kDbPerNeper, 1e-12);
  // Warping keeps the ends and moves the middle: cos of the warped pi / 2 is -2a / (1 + a^2).
  const double a = 0.42;
  cepstrumenvelopedb(c, 1, a, 3, db.data());
  EXPECT_NEAR(db[0], 0.5 * kDbPerNeper, 1e-12);
  EXPECT_NEAR(db[1], 0.5 * (-2 * a / (1 + a * a)) * kDbPerNeper, 1e-12);
  EXPECT_NEAR(db[2], -0.5 * kDbPerNeper, 1e-12);
  // Order 2 at pi / 2 without warping: 2 c2 cos(pi) = -2 c2.
  const double c2[3] = {0, 0, 0.1};
  cepstrumenvelopedb(c2, 2, 0.0, 3, db.data());
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
  cepstrumenvelopedb(nan, 1, 0.42, 2, db);
  EXPECT_TRUE(std::isnan(db[0]));
}

}  // namespace
