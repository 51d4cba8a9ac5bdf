#include "matvect.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

using namespace velk;

using V = std::vector<double>;

namespace {

const double pi = 3.14159265358979323846;

// Random n x n matrix made well conditioned by a dominant diagonal.
V randomdominant(uint32_t n, unsigned seed, bool symmetric) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  V a(n * n);
  for (auto& x : a) x = u(gen);
  if (symmetric) repltriangmat(a.data(), n);
  for (uint32_t i = 0; i < n; i++) a[i * n + i] += n;
  return a;
}

V product(const V& a, const V& b, uint32_t m, uint32_t k, uint32_t p) {
  V c(m * p);
  prodmat(a.data(), b.data(), c.data(), m, k, p);
  return c;
}

double maxdeviationfromidentity(const V& m, uint32_t n) {
  double worst = 0.0;
  for (uint32_t i = 0; i < n; i++)
    for (uint32_t j = 0; j < n; j++) worst = std::fmax(worst, std::fabs(m[i * n + j] - (i == j ? 1.0 : 0.0)));
  return worst;
}

// Gram matrix of the complex exponentials of harmonics -K..K of f0 (all below half the sampling
// rate) under a squared Hann window of the given length in periods: a real symmetric Toeplitz
// matrix of size 2K + 1, the worse conditioned the shorter the window.
V harmonicgram(double f0, double periods, uint32_t* size) {
  const double fs = 16000.0;
  uint32_t k = (uint32_t)std::ceil(fs / 2 / f0) - 1;
  uint32_t n = 2 * k + 1;
  int half = (int)std::lround(periods / 2 * fs / f0);
  V r(n, 0.0);
  for (int t = -half; t <= half; t++) {
    double w = 0.5 + 0.5 * std::cos(pi * t / (half + 1));
    for (uint32_t d = 0; d < n; d++) r[d] += w * w * std::cos(2 * pi * f0 / fs * d * t);
  }
  V g(n * n);
  for (uint32_t i = 0; i < n; i++)
    for (uint32_t j = 0; j < n; j++) g[i * n + j] = r[i > j ? i - j : j - i];
  *size = n;
  return g;
}

// The bordering recursion written out directly, updating every column of the inverse at
// every step: the slow, obviously faithful form that the library's fast one must agree with.
int32_t borderedtoeplitzinverse(uint32_t n, const double* t, double* inv) {
  V f(n), g(n);
  f[0] = 1.0 / t[0];
  initializemat(inv, n * n, 0.0);
  inv[0] = f[0];
  for (uint32_t k = 1; k < n; k++) {
    double e = 0.0;
    for (uint32_t j = 0; j < k; j++) e += f[j] * t[k * n + j];
    if (e == 1.0) return -1;
    double alpha = 1.0 / (1.0 - e * e), beta = -e * alpha;
    g[0] = f[0] * alpha;
    g[k] = f[0] * beta;
    for (uint32_t j = 1; j < k; j++) g[j] = f[k - j] * beta + f[j] * alpha;
    std::swap(f, g);
    for (uint32_t q = 0; q < n; q++) {
      double s = 0.0;
      for (uint32_t j = 0; j < k; j++) s += inv[j * n + q] * t[k * n + j];
      for (uint32_t j = 0; j <= k; j++) inv[j * n + q] += f[k - j] * ((q == k ? 1.0 : 0.0) - s);
    }
  }
  return 0;
}

// Cholesky inversion written out literally (W column by column, inverse element by element),
// for symmetric positive definite input; the library reorders the loops, not the sums.
double literalcholeskyinverse(uint32_t n, const double* a, double* inv) {
  V u(n * n, 0.0), w(n * n, 0.0);
  double det = 1.0;
  for (uint32_t i = 0; i < n; i++)
    for (uint32_t j = i; j < n; j++) {
      double s = 0.0;
      for (uint32_t k = 0; k < i; k++) s += u[k * n + j] * u[k * n + i];
      double v = a[i * n + j] - s;
      if (j == i) {
        det *= v;
        u[i * n + i] = std::sqrt(v);
      } else {
        u[i * n + j] = v / u[i * n + i];
      }
    }
  for (uint32_t i = 0; i < n; i++) {
    w[i * n + i] = 1.0 / u[i * n + i];
    for (uint32_t r = i; r-- > 0;) {
      double s = 0.0;
      for (uint32_t k = r + 1; k <= i; k++) s += w[k * n + i] * u[r * n + k];
      w[r * n + i] = -s / u[r * n + r];
    }
  }
  for (uint32_t r = 0; r < n; r++)
    for (uint32_t q = r; q < n; q++) {
      double s = 0.0;
      for (uint32_t k = q; k < n; k++) s += w[r * n + k] * w[q * n + k];
      inv[r * n + q] = inv[q * n + r] = s;
    }
  return det;
}

}  // namespace

TEST(MatvectGauss, SolvesRandomSystemsAndInvertsThem) {
  for (uint32_t n : {1u, 2u, 5u, 40u}) {
    V a = randomdominant(n, 7 + n, false), xtrue(n);
    for (uint32_t i = 0; i < n; i++) xtrue[i] = std::sin(1.0 + i);
    V b = product(a, xtrue, n, n, 1), x(n), acopy = a, inv(n * n);
    ASSERT_EQ(gausssolveleqs(n, acopy.data(), b.data(), x.data()), 0);
    for (uint32_t i = 0; i < n; i++) EXPECT_NEAR(x[i], xtrue[i], 1e-12) << n;
    acopy = a;
    ASSERT_EQ(gaussinv(n, acopy.data(), inv.data()), 0);
    EXPECT_LT(maxdeviationfromidentity(product(inv, a, n, n, n), n), 1e-12) << n;
  }
}

TEST(MatvectGauss, ZeroPivotExchangesRowsAndZeroColumnFails) {
  V a{0, 2, 3, 4}, inv(9);
  ASSERT_EQ(gaussinv(2, a.data(), inv.data()), 0);
  EXPECT_NEAR(inv[0], -4.0 / 6, 1e-15);
  EXPECT_NEAR(inv[1], 2.0 / 6, 1e-15);
  EXPECT_NEAR(inv[2], 3.0 / 6, 1e-15);
  EXPECT_NEAR(inv[3], 0.0, 1e-15);
  V s{0, 1, 1, 0}, b{2, 3}, x(2);
  ASSERT_EQ(gausssolveleqs(2, s.data(), b.data(), x.data()), 0);
  EXPECT_EQ(x, (V{3, 2}));

  V zerocol{1, 0, 5, 2, 0, 7, 3, 0, 1};
  EXPECT_EQ(gaussinv(3, zerocol.data(), inv.data()), -1);
  V dependent{1, 2, 2, 4}, rhs{1, 1};
  EXPECT_EQ(gausssolveleqs(2, dependent.data(), rhs.data(), x.data()), -1);
  V zero{0.0};
  EXPECT_EQ(gaussinv(1, zero.data(), inv.data()), -1);
  EXPECT_EQ(gaussinv(0, zero.data(), inv.data()), -1);
}

TEST(MatvectGauss, SymmetricInverseMatchesFullInverse) {
  // The first matrix needs row exchanges (zero diagonal), which widen the touched columns.
  V exchanged{0, 1, 2, 1, 0, 3, 2, 3, 0};
  V dominant = randomdominant(30, 3, true);
  for (const V& a : {exchanged, dominant}) {
    uint32_t n = (uint32_t)std::lround(std::sqrt((double)a.size()));
    V c1 = a, c2 = a, inv(n * n), sinv(n * n);
    ASSERT_EQ(gaussinv(n, c1.data(), inv.data()), 0);
    ASSERT_EQ(simgaussinv(n, c2.data(), sinv.data()), 0);
    EXPECT_EQ(iseqmat(inv.data(), sinv.data(), n * n, 1e-12), 1) << n;
    EXPECT_LT(maxdeviationfromidentity(product(sinv, a, n, n, n), n), 1e-12) << n;
  }
}

TEST(MatvectCholesky, DeterminantAndInverseFromKnownEigenvalues) {
  // a = H diag(lambda) H with the Householder reflection H = I - 2 v v^T / v^T v.
  const uint32_t n = 6;
  V lambda{0.5, 1, 2, 3, 4, 8}, v{1, -2, 0.5, 3, 1, -1}, h(n * n), d(n * n, 0.0);
  double vv = module2(v.data(), n, nullptr);
  for (uint32_t i = 0; i < n; i++)
    for (uint32_t j = 0; j < n; j++) h[i * n + j] = (i == j) - 2 * v[i] * v[j] / vv;
  for (uint32_t i = 0; i < n; i++) d[i * n + i] = lambda[i];
  V a = product(product(h, d, n, n, n), h, n, n, n);
  repltriangmat(a.data(), n);  // exact symmetry

  V kept = a, inv(n * n);
  double det = choleskyinvdet(n, kept.data(), inv.data(), 1);
  EXPECT_NEAR(det, prodelems(lambda.data(), n), 1e-11);
  EXPECT_EQ(kept, a);
  EXPECT_LT(maxdeviationfromidentity(product(inv, a, n, n, n), n), 1e-12);

  // Without keeping the input, its upper triangle holds W = U^-1: W^T a W = I.
  V lost = a, inv2(n * n);
  EXPECT_EQ(choleskyinvdet(n, lost.data(), inv2.data(), 0), det);
  EXPECT_EQ(inv2, inv);
  V w(n * n, 0.0), wt(n * n);
  for (uint32_t i = 0; i < n; i++)
    for (uint32_t j = i; j < n; j++) w[i * n + j] = lost[i * n + j];
  copymatwtr(wt.data(), w.data(), n, n, 1, 1.0);
  EXPECT_LT(maxdeviationfromidentity(product(product(wt, a, n, n, n), w, n, n, n), n), 1e-12);
}

TEST(MatvectCholesky, EqualsTheLiteralAlgorithmExactly) {
  for (uint32_t n : {2u, 3u, 40u, 133u}) {
    V a = randomdominant(n, 5 + n, true), work = a, inv(n * n), expected(n * n);
    double det = choleskyinvdet(n, work.data(), inv.data(), 0);
    EXPECT_EQ(det, literalcholeskyinverse(n, a.data(), expected.data())) << n;
    EXPECT_EQ(inv, expected) << n;
  }
}

TEST(MatvectCholesky, FailuresLeaveTheInputUntouched) {
  V indefinite{1, 2, 2, 1}, copy = indefinite, inv(4);
  EXPECT_EQ(choleskyinvdet(2, indefinite.data(), inv.data(), 0), 0.0);
  EXPECT_EQ(indefinite, copy);
  V one{4.0}, none{-3.0};
  EXPECT_EQ(choleskyinvdet(1, one.data(), none.data(), 0), 4.0);
  EXPECT_EQ(none[0], 0.25);
  V zero{0.0};
  EXPECT_EQ(choleskyinvdet(1, zero.data(), none.data(), 0), 0.0);
  EXPECT_EQ(none[0], 0.25);
  EXPECT_EQ(choleskyinvdet(0, zero.data(), none.data(), 0), 0.0);
}

TEST(MatvectCholesky, LargeSingularMatrixFailsDespiteOverflowingDeterminant) {
  // Diagonal 1e6 (so the product of pivots overflows after 52 rows) with the last row and
  // column repeating the first: the final pivot is exactly 0.
  const uint32_t n = 267;
  V a(n * n, 0.0), inv(n * n);
  for (uint32_t i = 0; i < n; i++) a[i * n + i] = 1e6;
  a[n - 1] = a[(n - 1) * n] = 1e6;
  V work = a;
  EXPECT_EQ(choleskyinvdet(n, work.data(), inv.data(), 0), 0.0);

  // The same size without the repeated row is invertible: an infinite determinant is success.
  a[n - 1] = a[(n - 1) * n] = 0.0;
  work = a;
  double det = choleskyinvdet(n, work.data(), inv.data(), 1);
  EXPECT_TRUE(std::isinf(det) && det > 0);
  EXPECT_DOUBLE_EQ(inv[0], 1e-6);
  EXPECT_DOUBLE_EQ(inv[n * n - 1], 1e-6);
  EXPECT_EQ(inv[1], 0.0);
}

TEST(MatvectToeplitz, TwoByTwoClosedForm) {
  V t{5, 3, 3, 5}, inv(4);
  ASSERT_EQ(toeplitzsiminv(2, t.data(), inv.data()), 0);
  V expected{5.0 / 16, -3.0 / 16, -3.0 / 16, 5.0 / 16};
  EXPECT_EQ(iseqmat(inv.data(), expected.data(), 4, 1e-16), 1);
  EXPECT_EQ(t, (V{5, 3, 3, 5}));
  V one{8.0};
  ASSERT_EQ(toeplitzsiminv(1, one.data(), inv.data()), 0);
  EXPECT_EQ(inv[0], 0.125);
}

TEST(MatvectToeplitz, SingularLeadingBlocksFail) {
  V inv(9);
  V allones(9, 1.0);  // e = 1 at the first step
  EXPECT_EQ(toeplitzsiminv(3, allones.data(), inv.data()), -1);
  V alternating{1, -1, -1, 1};  // e = -1: singular as well
  EXPECT_EQ(toeplitzsiminv(2, alternating.data(), inv.data()), -1);
  V zerodiag{0, 1, 1, 0};
  EXPECT_EQ(toeplitzsiminv(2, zerodiag.data(), inv.data()), -1);
  EXPECT_EQ(toeplitzsiminv(1, zerodiag.data(), inv.data()), -1);
  EXPECT_EQ(toeplitzsiminv(0, allones.data(), inv.data()), -1);
}

TEST(MatvectToeplitz, HarmonicGramInverseAgreesWithBorderingAndGivesIdentity) {
  for (double periods : {3.0, 1.2})
    for (double f0 : {2000.0, 1000.0, 200.0, 100.0, 60.0}) {
      uint32_t n;
      V t = harmonicgram(f0, periods, &n), fast(n * n), slow(n * n);
      ASSERT_EQ(toeplitzsiminv(n, t.data(), fast.data()), 0) << f0;
      ASSERT_EQ(borderedtoeplitzinverse(n, t.data(), slow.data()), 0) << f0;
      double scale = maxelem(slow.data(), n * n);  // positive definite: the largest magnitude
      EXPECT_EQ(iseqmat(fast.data(), slow.data(), n * n, 1e-13 * scale), 1) << f0 << " " << periods;
      EXPECT_LT(maxdeviationfromidentity(product(fast, t, n, n, n), n), 1e-12) << f0 << " " << periods;
    }
}

TEST(MatvectToeplitz, RandomDecayingSequencesMatchBordering) {
  std::mt19937 gen(11);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (uint32_t n : {3u, 4u, 17u, 64u}) {
    V r(n), t(n * n), fast(n * n), slow(n * n);
    r[0] = 2.0;
    for (uint32_t d = 1; d < n; d++) r[d] = u(gen) / (d * d);  // diagonally dominant
    for (uint32_t i = 0; i < n; i++)
      for (uint32_t j = 0; j < n; j++) t[i * n + j] = r[i > j ? i - j : j - i];
    ASSERT_EQ(toeplitzsiminv(n, t.data(), fast.data()), 0);
    ASSERT_EQ(borderedtoeplitzinverse(n, t.data(), slow.data()), 0);
    EXPECT_EQ(iseqmat(fast.data(), slow.data(), n * n, 1e-13), 1) << n;
  }
}

TEST(MatvectLeastSquares, ExactPolynomialFitAndPseudoInverse) {
  const uint32_t m = 20, n = 4, p = 2;
  V a(m * n), xtrue{1, -2, 0.5, 0.25, 3, 0, -1, 2}, x(n * p), work(n * (2 * n + p));
  for (uint32_t l = 0; l < m; l++)
    for (uint32_t j = 0; j < n; j++) a[l * n + j] = std::pow(l / 10.0 - 1.0, j);
  V b = product(a, xtrue, m, n, p), acopy = a;
  ASSERT_EQ(solveleastsquares(a.data(), b.data(), x.data(), m, n, p, nullptr, 0), 0);
  EXPECT_EQ(iseqmat(x.data(), xtrue.data(), n * p, 1e-11), 1);
  EXPECT_EQ(a, acopy);
  V xw(n * p);
  ASSERT_EQ(solveleastsquares(a.data(), b.data(), xw.data(), m, n, p, work.data(), 0), 0);
  EXPECT_EQ(xw, x);

  V pinv(n * m), pwork(2 * n * n);
  ASSERT_EQ(pseudoinv(a.data(), pinv.data(), m, n, pwork.data(), 0), 0);
  EXPECT_LT(maxdeviationfromidentity(product(pinv, a, n, m, n), n), 1e-12);
  V xp = product(pinv, b, n, m, p);
  EXPECT_EQ(iseqmat(xp.data(), xtrue.data(), n * p, 1e-11), 1);
}

TEST(MatvectLeastSquares, RidgePenaltyGrowsWithSquaredIndex) {
  // Reference: (a^T a + diag(k^2 * 0.015791367))^-1 a^T b through Gauss-Jordan elimination.
  const uint32_t m = 12, n = 5;
  V a(m * n), b(m), at(n * m);
  for (uint32_t l = 0; l < m; l++) {
    b[l] = std::log(2.0 + l);
    for (uint32_t j = 0; j < n; j++) a[l * n + j] = std::cos(0.3 * j * l);
  }
  copymatwtr(at.data(), a.data(), n, m, 1, 1.0);
  V g = product(at, a, n, m, n), ginv(n * n);
  for (uint32_t k = 0; k < n; k++) g[k * n + k] += k * k * 0.015791367;
  ASSERT_EQ(gaussinv(n, g.data(), ginv.data()), 0);
  V expected = product(ginv, product(at, b, n, m, 1), n, n, 1), x(n);
  ASSERT_EQ(solveleastsquares(a.data(), b.data(), x.data(), m, n, 1, nullptr, 1), 0);
  EXPECT_EQ(iseqmat(x.data(), expected.data(), n, 1e-10), 1);

  V pinv(n * m), pexpected = product(ginv, at, n, n, m);
  ASSERT_EQ(pseudoinv(a.data(), pinv.data(), m, n, nullptr, 1), 0);
  EXPECT_EQ(iseqmat(pinv.data(), pexpected.data(), n * m, 1e-10), 1);
}

TEST(MatvectLeastSquares, RepeatedColumnIsSingular) {
  // Columns of ones (norm^2 = 4, a perfect square) twice: the second pivot is exactly 0.
  V a{1, 1, 1, 1, 1, 1, 1, 1}, b{1, 2, 3, 4}, x(2), pinv(8);
  EXPECT_EQ(solveleastsquares(a.data(), b.data(), x.data(), 4, 2, 1, nullptr, 0), -1);
  EXPECT_EQ(pseudoinv(a.data(), pinv.data(), 4, 2, nullptr, 0), -1);
  // The ridge penalty on the second coefficient makes the same problem solvable.
  EXPECT_EQ(solveleastsquares(a.data(), b.data(), x.data(), 4, 2, 1, nullptr, 1), 0);
}
