#include "polynom.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

using namespace velk;

namespace {

using cd = std::complex<double>;

// Monic polynomial (highest power first) with the given roots, in complex arithmetic.
std::vector<cd> polyfromroots(const std::vector<cd>& roots) {
  std::vector<cd> p{1.0};
  for (const cd& r : roots) {
    std::vector<cd> q(p.size() + 1, 0.0);
    for (size_t i = 0; i < p.size(); ++i) {
      q[i] += p[i];
      q[i + 1] -= r * p[i];
    }
    p = q;
  }
  return p;
}

std::vector<double> realparts(const std::vector<cd>& p) {
  std::vector<double> r;
  for (const cd& c : p) r.push_back(c.real());
  return r;
}

std::vector<cd> tocomplex(const std::vector<complex>& v) {
  std::vector<cd> r;
  for (const complex& c : v) r.emplace_back(c.re, c.im);
  return r;
}

TEST(PolyEval, HornerAndDerivative) {
  const double p[4] = {2, -3, 0, 5};  // 2x^3 - 3x^2 + 5, derivative 6x^2 - 6x
  EXPECT_EQ(evalpoly(p, 3, 2.0), 9.0);
  EXPECT_EQ(evalpoly(p, 3, -1.0), 0.0);
  EXPECT_EQ(evalpolyd(p, 3, -1.0), 12.0);
  EXPECT_EQ(evalpolyd(p, 3, 0.5), -1.5);
  const double line[2] = {-2.5, 7};
  EXPECT_EQ(evalpoly(line, 0, 100.0), -2.5);  // degree 0: the constant p[0]
  EXPECT_EQ(evalpolyd(line, 0, 100.0), 0.0);
  EXPECT_EQ(evalpolyd(line, 1, 123.0), -2.5);  // degree 1: the slope p[0]
}

TEST(PolyEval, DerivativeMatchesDifferenceQuotient) {
  const double p[6] = {0.3, -1.2, 0.7, 2.0, -0.4, 1.1};
  for (double x : {-1.3, -0.2, 0.0, 0.6, 1.9}) {
    const double h = 1e-6;
    const double numeric = (evalpoly(p, 5, x + h) - evalpoly(p, 5, x - h)) / (2 * h);
    EXPECT_NEAR(evalpolyd(p, 5, x), numeric, 1e-7) << x;
  }
}

TEST(PolyAccumulate, AlignsConstantTermsAndRejectsHigherDegree) {
  double dst[4] = {1, 1, 1, 1};
  const double src[3] = {3, 4, 9};
  EXPECT_EQ(accumpoly(dst, 3, src, 1, 0.5), 0);
  EXPECT_EQ(std::vector<double>(dst, dst + 4), (std::vector<double>{1, 1, 2.5, 3}));
  EXPECT_EQ(accumpoly(dst, 1, src, 2, 1.0), -1);
  EXPECT_EQ(accumpoly(dst, 3, src, 2, 0.0), 0);
  EXPECT_EQ(std::vector<double>(dst, dst + 4), (std::vector<double>{1, 1, 2.5, 3}));
}

TEST(FindRoots, ConjugatePairNegativeImaginaryFirst) {
  const double p[3] = {1, 0, 1};
  complex r[2];
  ASSERT_EQ(findroots(p, 2, r), 0);
  EXPECT_NEAR(r[0].re, 0.0, 1e-15);
  EXPECT_NEAR(r[0].im, -1.0, 1e-15);
  EXPECT_NEAR(r[1].re, 0.0, 1e-15);
  EXPECT_NEAR(r[1].im, 1.0, 1e-15);
}

TEST(FindRoots, LinearNeedsNoIteration) {
  const double p[2] = {1, -3};
  complex r[1];
  ASSERT_EQ(findroots(p, 1, r), 0);
  EXPECT_EQ(r[0].re, 3.0);
  EXPECT_EQ(r[0].im, 0.0);
  const double q[2] = {-4, 2};  // -4x + 2
  ASSERT_EQ(findroots(q, 1, r), 0);
  EXPECT_EQ(r[0].re, 0.5);
}

TEST(FindRoots, RealQuadraticRoots) {
  const double p[3] = {2, -2, -12};  // 2(x - 3)(x + 2)
  complex r[2];
  ASSERT_EQ(findroots(p, 2, r), 0);
  std::vector<double> re{r[0].re, r[1].re};
  std::sort(re.begin(), re.end());
  EXPECT_NEAR(re[0], -2.0, 1e-14);
  EXPECT_NEAR(re[1], 3.0, 1e-14);
  EXPECT_EQ(r[0].im, 0.0);
  EXPECT_EQ(r[1].im, 0.0);
}

// Finds the roots of a polynomial built from known roots, multiplies them back and
// compares with the original coefficients. Deflation decides negligibility in single
// precision, so roots are accurate to about 1e-8 relative, not to double precision.
void expectrootsmultiplyback(const std::vector<cd>& known, double scale, double tol) {
  std::vector<double> p = realparts(polyfromroots(known));
  for (double& c : p) c *= scale;
  const uint32_t n = static_cast<uint32_t>(known.size());
  std::vector<complex> r(n);
  ASSERT_EQ(findroots(p.data(), n, r.data()), 0);
  const std::vector<cd> found = tocomplex(r);
  const std::vector<double> back = realparts(polyfromroots(found));
  for (size_t i = 0; i < p.size(); ++i) EXPECT_NEAR(back[i] * scale, p[i], tol * (1 + std::fabs(p[i]))) << i;
  // Every known root is matched by a found one.
  for (const cd& k : known) {
    double best = 1e300;
    for (const cd& f : found) best = std::min(best, std::abs(f - k));
    EXPECT_LT(best, 1e-6 * (1 + std::abs(k))) << k;
  }
  // Complex pairs sit side by side, negative imaginary part first.
  for (uint32_t i = 0; i < n; ++i) {
    if (r[i].im < 0) {
      ASSERT_LT(i + 1, n);
      EXPECT_NEAR(r[i + 1].re, r[i].re, 1e-12);
      EXPECT_NEAR(r[i + 1].im, -r[i].im, 1e-12);
      ++i;
    } else {
      EXPECT_EQ(r[i].im, 0.0);
    }
  }
}

TEST(FindRoots, MixedRealAndComplexRootsMultiplyBack) {
  expectrootsmultiplyback(
      {cd(0.5, 0), cd(-1.5, 0), cd(0.2, 0.9), cd(0.2, -0.9), cd(-0.7, 0.3), cd(-0.7, -0.3), cd(2.0, 0)}, 3.0,
      1e-7);
}

TEST(FindRoots, RootsOnUnitCircleMultiplyBack) {
  std::vector<cd> known;
  for (int k = 1; k <= 8; ++k) {
    const double a = M_PI * (k - 0.3) / 9;
    known.emplace_back(std::cos(a), std::sin(a));
    known.emplace_back(std::cos(a), -std::sin(a));
  }
  expectrootsmultiplyback(known, 1.0, 1e-7);
}

TEST(FindRoots, WidelySpreadRealRootsMultiplyBack) {
  expectrootsmultiplyback({cd(1e-3, 0), cd(0.1, 0), cd(10, 0), cd(-300, 0), cd(4, 0)}, 0.25, 1e-7);
}

TEST(FindRoots, RandomPolynomialResidualsAreSmall) {
  const double p[11] = {1.0, -0.3, 2.2, 0.8, -1.1, 0.4, 0.9, -2.0, 0.05, 1.3, -0.6};
  complex r[10];
  ASSERT_EQ(findroots(p, 10, r), 0);
  for (const complex& z : r) {
    cd v = 0;
    for (double c : p) v = v * cd(z.re, z.im) + c;
    EXPECT_LT(std::abs(v), 1e-7);
  }
}

TEST(FindRootsLsf, RealRootsInsideUnitInterval) {
  const std::vector<cd> known{cd(-0.93, 0), cd(-0.41, 0), cd(0.02, 0), cd(0.35, 0), cd(0.77, 0), cd(0.98, 0)};
  std::vector<double> p = realparts(polyfromroots(known));
  for (double& c : p) c *= -2.0;
  std::vector<double> r(known.size());
  ASSERT_EQ(findrootslsf(p.data(), static_cast<uint32_t>(r.size()), r.data()), 0);
  std::sort(r.begin(), r.end());
  for (size_t i = 0; i < r.size(); ++i) EXPECT_NEAR(r[i], known[i].real(), 1e-7);
}

TEST(FindRootsLsf, ChebyshevRootsAreCosines) {
  mempolytseb* table = mempolytsebcreate(9);
  ASSERT_NE(table, nullptr);
  std::vector<double> r(9);
  ASSERT_EQ(findrootslsf(polytsebT(9, table), 9, r.data()), 0);
  std::sort(r.begin(), r.end());
  for (int k = 0; k < 9; ++k) EXPECT_NEAR(r[k], std::cos(M_PI * (8 - k + 0.5) / 9), 1e-7);
  mempolytsebdestroy(table);
}

TEST(FindRootsLsf, ReportsTheUpdateLimit) {
  const double p[3] = {1, 0, 1};  // x^2 + 1: no real roots, the iteration cannot settle
  double r[2];
  EXPECT_EQ(findrootslsf(p, 2, r), -1);
}

TEST(PolyFit, LineThroughPointsGivesSlopeThenIntercept) {
  const double x[4] = {-1, 0, 2, 5};
  double y[4];
  for (int i = 0; i < 4; ++i) y[i] = 1.5 * x[i] - 4;
  double c[2];
  ASSERT_EQ(polyfit(x, y, 4, c, 1), 0);
  EXPECT_NEAR(c[0], 1.5, 1e-12);
  EXPECT_NEAR(c[1], -4.0, 1e-12);
}

TEST(PolyFit, LeastSquaresLineOfScatteredPoints) {
  // Points (0,0), (1,1), (2,1), (3,3): Sxy = 4.5, Sxx = 5, so slope 0.9 and
  // intercept 1.25 - 0.9 * 1.5 = -0.1.
  const double x[4] = {0, 1, 2, 3}, y[4] = {0, 1, 1, 3};
  double c[2];
  ASSERT_EQ(polyfit(x, y, 4, c, 1), 0);
  EXPECT_NEAR(c[0], 0.9, 1e-12);
  EXPECT_NEAR(c[1], -0.1, 1e-12);
}

TEST(PolyFit, RecoversCubicExactly) {
  const double coef[4] = {0.5, -1, 2, 3};
  std::vector<double> x, y;
  for (int i = -4; i <= 5; ++i) {
    x.push_back(0.5 * i);
    y.push_back(evalpoly(coef, 3, 0.5 * i));
  }
  double c[4];
  ASSERT_EQ(polyfit(x.data(), y.data(), static_cast<uint32_t>(x.size()), c, 3), 0);
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(c[i], coef[i], 1e-10);
}

TEST(PolyFit, RejectsMissingInputsAndSingularSystems) {
  const double x[3] = {1, 1, 1}, y[3] = {1, 2, 3};
  double c[3];
  EXPECT_EQ(polyfit(nullptr, y, 3, c, 1), -1);
  EXPECT_EQ(polyfit(x, nullptr, 3, c, 1), -1);
  EXPECT_EQ(polyfit(x, y, 3, nullptr, 1), -1);
  EXPECT_EQ(polyfit(x, y, 0, c, 1), -1);
  EXPECT_EQ(polyfit(x, y, 3, c, 1), -1);  // one distinct abscissa for two unknowns
  ASSERT_EQ(polyfit(x, y, 3, c, 0), 0);   // the mean
  EXPECT_NEAR(c[0], 2.0, 1e-15);
}

TEST(Parabola, ThreeEquallySpacedPoints) {
  const double y[3] = {1, 2, 1};
  double pb[3];
  EXPECT_EQ(parabfit(y, pb), 0);
  EXPECT_EQ(pb[0], -1.0);
  EXPECT_EQ(pb[1], 0.0);
  EXPECT_EQ(pb[2], 2.0);
  EXPECT_EQ(parabextx(pb), 0.0);
  EXPECT_EQ(parabexty(pb), 2.0);
}

TEST(Parabola, VertexOfSampledParabola) {
  // y = -2 (x - 0.3)^2 + 5 sampled at -1, 0, 1.
  auto f = [](double x) { return -2 * (x - 0.3) * (x - 0.3) + 5; };
  double pb[3];
  EXPECT_EQ(parabfitpoints(pb, f(-1), f(0), f(1)), 0);
  EXPECT_NEAR(parabextx(pb), 0.3, 1e-14);
  EXPECT_NEAR(parabexty(pb), 5.0, 1e-14);
}

TEST(Parabola, ArbitraryAbscissae) {
  auto f = [](double x) { return 0.75 * x * x - 3 * x + 1.25; };
  const double x[3] = {-2.5, 0.5, 4};
  const double y[3] = {f(x[0]), f(x[1]), f(x[2])};
  double pb[3], pb2[3];
  EXPECT_EQ(parabfitxy(x, y, pb), 0);
  EXPECT_NEAR(pb[0], 0.75, 1e-14);
  EXPECT_NEAR(pb[1], -3.0, 1e-14);
  EXPECT_NEAR(pb[2], 1.25, 1e-14);
  EXPECT_EQ(parabfitpointsxy(pb2, x[0], x[1], x[2], y[0], y[1], y[2]), 0);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(pb2[i], pb[i]);
  EXPECT_NEAR(parabextx(pb), 2.0, 1e-14);
  EXPECT_NEAR(parabexty(pb), -1.75, 1e-14);
}

TEST(Chebyshev, KnownRows) {
  mempolytseb* t = mempolytsebcreate(3);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(std::vector<double>(polytsebT(3, t), polytsebT(3, t) + 4), (std::vector<double>{4, 0, -3, 0}));
  EXPECT_EQ(std::vector<double>(polytsebU(2, t), polytsebU(2, t) + 3), (std::vector<double>{4, 0, -1}));
  EXPECT_EQ(polytsebT(0, t)[0], 1.0);
  EXPECT_EQ(polytsebT(1, t)[0], 1.0);
  EXPECT_EQ(polytsebT(1, t)[1], 0.0);
  EXPECT_EQ(polytsebU(0, t)[0], 1.0);
  EXPECT_EQ(polytsebU(1, t)[0], 2.0);
  EXPECT_EQ(polytsebU(1, t)[1], 0.0);
  EXPECT_EQ(mempolytsebdestroy(t), 0);
}

TEST(Chebyshev, RowsSatisfyTrigonometricIdentities) {
  const uint32_t N = 12;  // keeps the cancellation in Horner's rule far below the tolerance
  mempolytseb* t = mempolytsebcreate(N);
  ASSERT_NE(t, nullptr);
  for (double theta : {0.1, 0.77, 1.3, 2.2, 3.0}) {
    const double x = std::cos(theta);
    for (uint32_t k = 0; k <= N; ++k) {
      EXPECT_NEAR(evalpoly(polytsebT(k, t), k, x), std::cos(k * theta), 1e-10) << "T" << k;
    }
    for (uint32_t k = 0; k < N; ++k) {
      EXPECT_NEAR(evalpoly(polytsebU(k, t), k, x), std::sin((k + 1) * theta) / std::sin(theta), 1e-10)
          << "U" << k;
    }
  }
  mempolytsebdestroy(t);
}

TEST(Chebyshev, RowsFollowTheRecurrencesExactly) {
  const uint32_t N = 30;
  mempolytseb* t = mempolytsebcreate(N);
  ASSERT_NE(t, nullptr);
  // Leading coefficients 2^(k-1) and 2^k, and parity: every second coefficient is zero.
  for (uint32_t k = 1; k <= N; ++k) EXPECT_EQ(polytsebT(k, t)[0], std::ldexp(1.0, k - 1));
  for (uint32_t k = 0; k < N; ++k) {
    EXPECT_EQ(polytsebU(k, t)[0], std::ldexp(1.0, k));
    for (uint32_t i = 1; i <= k; i += 2) EXPECT_EQ(polytsebU(k, t)[i], 0.0);
  }
  // T_k = 2x T_(k-1) - T_(k-2) and U_k = T_k + x U_(k-1), coefficient by coefficient.
  for (uint32_t k = 2; k <= N; ++k) {
    const double* tk = polytsebT(k, t);
    const double* t1 = polytsebT(k - 1, t);
    const double* t2 = polytsebT(k - 2, t);
    for (uint32_t i = 0; i <= k; ++i) {
      const double shifted = i < k ? 2 * t1[i] : 0.0;
      const double older = i >= 2 ? t2[i - 2] : 0.0;
      EXPECT_EQ(tk[i], shifted - older) << k << "," << i;
    }
  }
  for (uint32_t k = 2; k < N; ++k) {
    const double* uk = polytsebU(k, t);
    const double* u1 = polytsebU(k - 1, t);
    const double* tk = polytsebT(k, t);
    for (uint32_t i = 0; i <= k; ++i) EXPECT_EQ(uk[i], tk[i] + (i < k ? u1[i] : 0.0)) << k << "," << i;
  }
  mempolytsebdestroy(t);
}

TEST(Chebyshev, SmallTablesHoldTheRowsThatExist) {
  mempolytseb* t = mempolytsebcreate(1);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(polytsebT(0, t)[0], 1.0);
  EXPECT_EQ(polytsebT(1, t)[0], 1.0);
  EXPECT_EQ(polytsebU(0, t)[0], 1.0);
  mempolytsebdestroy(t);
}

}  // namespace
