#include "matvect.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

using namespace velk;

using V = std::vector<double>;

namespace {

const double nan_ = std::numeric_limits<double>::quiet_NaN();
const double inf_ = std::numeric_limits<double>::infinity();

std::string printed(void (*print)()) {
  testing::internal::CaptureStdout();
  print();
  return testing::internal::GetCapturedStdout();
}

// out (m x p) = a (m x k) b (k x p) as plain dot products in increasing summation index.
V literalproduct(const V& a, const V& b, uint32_t m, uint32_t k, uint32_t p) {
  V out(m * p);
  for (uint32_t i = 0; i < m; i++)
    for (uint32_t j = 0; j < p; j++) {
      double s = 0.0;
      for (uint32_t l = 0; l < k; l++) s += a[i * k + l] * b[l * p + j];
      out[i * p + j] = s;
    }
  return out;
}

V irrational(uint32_t count, double step) {
  V v(count);
  for (uint32_t i = 0; i < count; i++) v[i] = std::sin(step * (i + 1));
  return v;
}

}  // namespace

TEST(MatvectCompare, ToleranceZeroIsExactAndNanNeverEqual) {
  V a{1.0, 2.0, nan_}, b{1.0, 2.0, nan_};
  EXPECT_EQ(iseqmat(a.data(), b.data(), 2, 0.0), 1);
  EXPECT_EQ(iseqmat(a.data(), b.data(), 3, 0.0), 0);
  EXPECT_EQ(iseqmat(a.data(), b.data(), 3, 1.0), 0);
  V c{1.0, 2.25};
  EXPECT_EQ(iseqmat(a.data(), c.data(), 2, 0.0), 0);
  EXPECT_EQ(iseqmat(a.data(), c.data(), 2, 0.25), 1);
  EXPECT_EQ(iseqmat(a.data(), c.data(), 2, 0.125), 0);
}

TEST(MatvectCopy, TransposedScaledCopy) {
  V src{1, 2, 3, 4, 5, 6};  // 2 x 3
  V dst(6);
  copymatwtr(dst.data(), src.data(), 3, 2, 1, 1.0);
  EXPECT_EQ(dst, (V{1, 4, 2, 5, 3, 6}));
  copymatwtr(dst.data(), src.data(), 2, 3, 0, -1.0);
  EXPECT_EQ(dst, (V{-1, -2, -3, -4, -5, -6}));
  copymatwtr(dst.data(), src.data(), 3, 2, 1, 0.5);
  EXPECT_EQ(dst, (V{0.5, 2, 1, 2.5, 1.5, 3}));
  V withinf{inf_, 1, 2, 3, 4, 5};
  copymatwtr(dst.data(), withinf.data(), 2, 3, 0, 0.0);
  EXPECT_EQ(dst, V(6, 0.0));
}

TEST(MatvectCopy, BlocksRowsAndColumns) {
  V m{0, 1, 2, 3, 10, 11, 12, 13, 20, 21, 22, 23};  // 3 x 4, value = 10 * row + col
  V block(4);
  copysubmatintomat(block.data(), m.data(), 2, 2, 4, 1, 2);
  EXPECT_EQ(block, (V{12, 13, 22, 23}));

  V big(12, 0.0);
  copymatintosubmat(big.data(), block.data(), 4, 2, 2, 0, 1);
  EXPECT_EQ(big, (V{0, 12, 13, 0, 0, 22, 23, 0, 0, 0, 0, 0}));

  V dst(6, -1.0);  // 2 x 3
  copysubmatintosubmat(dst.data(), m.data(), 3, 4, 1, 1, 0, 2, 1, 2);
  EXPECT_EQ(dst, (V{-1, -1, -1, -1, 2, 3}));

  uint32_t rows[] = {2, 0}, cols[] = {3, 1, 1};
  V r(8);
  copyrowsintomat(r.data(), m.data(), 4, 2, rows);
  EXPECT_EQ(r, (V{20, 21, 22, 23, 0, 1, 2, 3}));
  V c(9);
  copycolsintomat(c.data(), m.data(), 3, 3, cols, 4);
  EXPECT_EQ(c, (V{3, 1, 1, 13, 11, 11, 23, 21, 21}));
  V rc(6);
  copyrowscolsintomat(rc.data(), m.data(), 2, rows, 3, cols, 4);
  EXPECT_EQ(rc, (V{23, 21, 21, 3, 1, 1}));
}

TEST(MatvectCopy, RedistributedBlocksIgnoreRemainders) {
  V m(5 * 5);
  for (int i = 0; i < 25; i++) m[i] = i;  // 5 x 5; 2 x 2 blocks leave row 4 and column 4 out
  V d(16, -1.0);
  redistblocks(m.data(), 5, 5, d.data(), 2, 2);
  EXPECT_EQ(d, (V{0, 1, 5, 6, 2, 3, 7, 8, 10, 11, 15, 16, 12, 13, 17, 18}));
}

TEST(MatvectCopy, LowerTriangleMirroredAndScaled) {
  V m{1, 9, 9, 2, 3, 9, 4, 5, 6};
  repltriangmat(m.data(), 3);
  EXPECT_EQ(m, (V{1, 2, 4, 2, 3, 5, 4, 5, 6}));
  scaleltriangmat(m.data(), 3, 2.0);
  EXPECT_EQ(m, (V{2, 2, 4, 4, 6, 5, 8, 10, 12}));
}

TEST(MatvectReduce, SumsDistancesAndWeights) {
  V v{3, -4, inf_}, w{1, 0.5, 0};
  EXPECT_EQ(module2(v.data(), 2, nullptr), 25.0);
  EXPECT_EQ(module2(v.data(), 3, w.data()), 13.0);  // the infinite term has zero weight
  V b{1, 1, inf_};
  EXPECT_EQ(eucldist2(v.data(), b.data(), 2), 29.0);
  EXPECT_EQ(weucldist2(v.data(), b.data(), 3, w.data()), 10.25);
  EXPECT_EQ(weucldist2(v.data(), b.data(), 2, nullptr), 29.0);
  V e{std::exp(1.0), std::exp(2.0), std::exp(-0.5)};
  EXPECT_NEAR(sumlogelems(e.data(), 3), 2.5, 1e-14);
  EXPECT_EQ(sumelems(v.data(), 2), -1.0);
  EXPECT_EQ(prodelems(v.data(), 0), 1.0);
  EXPECT_EQ(prodelems(v.data(), 2), -12.0);
  EXPECT_EQ(meanelems(w.data(), 3), 0.5);
  V a{1, 2, 3, 4};
  EXPECT_EQ(quadtransf(b.data(), a.data(), 2), 10.0);
  EXPECT_EQ(mindiagmat(a.data(), 2), 1.0);
}

TEST(MatvectReduce, FirstExtremumWinsTies) {
  V v{2, 5, 1, 5, 1};
  EXPECT_EQ(indmaxelem(v.data(), 5), 1u);
  EXPECT_EQ(indminelem(v.data(), 5), 2u);
  EXPECT_EQ(maxelem(v.data(), 5), 5.0);
  EXPECT_EQ(minelem(v.data(), 5), 1.0);
  EXPECT_EQ(indmaxelem(v.data(), 1), 0u);
  EXPECT_EQ(indminelem(v.data(), 0), 0u);
}

TEST(MatvectReduce, SortednessModes) {
  V up{1, 2, 2, 3}, down{3, 2, 2, 1}, strict{1, 2, 3};
  EXPECT_EQ(issorted(up.data(), 4, 1), 1);
  EXPECT_EQ(issorted(up.data(), 4, 2), 0);
  EXPECT_EQ(issorted(strict.data(), 3, 2), 1);
  EXPECT_EQ(issorted(down.data(), 4, -1), 1);
  EXPECT_EQ(issorted(down.data(), 4, -2), 0);
  EXPECT_EQ(issorted(up.data(), 4, -1), 0);
  EXPECT_EQ(issorted(up.data(), 1, -2), 1);
}

TEST(MatvectSort, MedianOfEvenCountIsUpperMiddle) {
  V v{3, 1, 2, 4};
  EXPECT_EQ(medianelem(v.data(), 4), 3.0);
  EXPECT_EQ(v, (V{1, 2, 3, 4}));
  V odd{9, -1, 4, 7, 0};
  EXPECT_EQ(medianelem(odd.data(), 5), 4.0);
}

TEST(MatvectSort, PartialSelectionMatchesFullSort) {
  V v{5, 3, 8, 1, 9, 2, 7, 3};
  V sorted = v;
  std::sort(sorted.begin(), sorted.end());
  V part = v;
  sortelems(part.data(), 8, 2, 1);
  EXPECT_TRUE(std::equal(sorted.begin(), sorted.begin() + 3, part.begin()));
  V rest(part.begin() + 3, part.end());
  std::sort(rest.begin(), rest.end());
  EXPECT_TRUE(std::equal(rest.begin(), rest.end(), sorted.begin() + 3));

  V whole = v;
  sortelems(whole.data(), 8, 100, 1);
  EXPECT_EQ(whole, sorted);
  sortelems(whole.data(), 8, 8, -1);
  EXPECT_EQ(whole, V(sorted.rbegin(), sorted.rend()));
}

TEST(MatvectElementwise, FactorShortcutsEqualGeneralFormula) {
  V y{1.5, -2, 0.25};
  for (double f : {0.0, 1.0, -1.0, 2.5}) {
    V x{1, 2, 3};
    addmat(x.data(), y.data(), 3, f);
    for (int i = 0; i < 3; i++) EXPECT_EQ(x[i], (i + 1) + f * y[i]) << f;
    subtmat(x.data(), y.data(), 3, f);
    EXPECT_EQ(x, (V{1, 2, 3})) << f;
    V out{1, 1, 1};
    addelemprodmat(x.data(), y.data(), out.data(), 3, f);
    for (int i = 0; i < 3; i++) EXPECT_EQ(out[i], 1 + f * x[i] * y[i]) << f;
    elemmultmat(x.data(), y.data(), 3, f);
    for (int i = 0; i < 3; i++) EXPECT_EQ(x[i], (i + 1) * y[i] * f) << f;
    V s{1, -2, 4};
    scalemat(s.data(), 3, f);
    EXPECT_EQ(s, (V{f, -2 * f, 4 * f})) << f;
  }
  V x{1, 2};
  addmat(x.data(), x.data(), 2, 1.0);  // aliasing is allowed element by element
  EXPECT_EQ(x, (V{2, 4}));
  V z{inf_, nan_};
  scalemat(z.data(), 2, 0.0);
  EXPECT_EQ(z, (V{0, 0}));
}

TEST(MatvectElementwise, DivisionStopsAtFirstZero) {
  V x{2, 4, 6}, y{4, 0, 2};
  EXPECT_EQ(elemdivmat(x.data(), y.data(), 3, 2.0), -1);
  EXPECT_EQ(x, (V{1, 4, 6}));
  V y2{4, 8, 3};
  EXPECT_EQ(elemdivmat(x.data(), y2.data(), 3, 2.0), 0);
  EXPECT_EQ(x, (V{0.5, 1, 4}));
  V inv(3, -7.0);
  EXPECT_EQ(eleminvmat(y.data(), inv.data(), 3), -1);
  EXPECT_EQ(inv, (V{0.25, -7, -7}));
  EXPECT_EQ(eleminvmat(y2.data(), inv.data(), 3), 0);
  EXPECT_EQ(inv[1], 0.125);
  V q(3);
  elemcocmat(y2.data(), x.data(), q.data(), 3);
  EXPECT_EQ(q, (V{8, 8, 0.75}));
}

TEST(MatvectElementwise, DeltasOfAQuadratic) {
  V prev(4), cur(4), next(4), d(4), d2(4);
  for (int i = 0; i < 4; i++) {  // samples of t^2 around t = i
    prev[i] = (i - 1.0) * (i - 1.0);
    cur[i] = i * i;
    next[i] = (i + 1.0) * (i + 1.0);
  }
  getdeltawin3(d.data(), prev.data(), next.data(), 4);
  getdelta2win3(d2.data(), prev.data(), cur.data(), next.data(), 4);
  EXPECT_EQ(d, (V{0, 2, 4, 6}));
  EXPECT_EQ(d2, V(4, 2.0));
}

TEST(MatvectElementwise, PlainArithmeticAndDiagonals) {
  V a{1, 2, 3, 4}, b{4, 3, 2, 1}, out(4);
  summat(a.data(), b.data(), out.data(), 4);
  difmat(out.data(), a.data(), out.data(), 4);  // back to b
  elemprodmat(out.data(), a.data(), out.data(), 4);
  shiftmat(out.data(), 4, -1.0);
  EXPECT_EQ(out, (V{3, 5, 5, 3}));
  exchangemats(a.data(), out.data(), 4);
  EXPECT_EQ(a, (V{3, 5, 5, 3}));
  initializedmat(out.data(), 2, 3.0);
  addconstpertmat(out.data(), 2, 0.5);
  EXPECT_EQ(out, (V{3.5, 0, 0, 3.5}));
}

TEST(MatvectProduct, KnownProductsAndTriangles) {
  V a{1, 2, 3, 4, 5, 6};     // 2 x 3
  V b{7, 8, 9, 10, 11, 12};  // 3 x 2
  V c(4);
  prodmat(a.data(), b.data(), c.data(), 2, 3, 2);
  EXPECT_EQ(c, (V{58, 64, 139, 154}));
  addprodmat(a.data(), b.data(), c.data(), 2, 3, 2, -0.5);
  EXPECT_EQ(c, (V{29, 32, 69.5, 77}));

  V l(4, 1.0);
  addltriangprodmatt(a.data(), l.data(), 3, 2, 2.0);  // a a^T = [14 32; 32 77]
  EXPECT_EQ(l, (V{29, 1, 65, 155}));

  V at(6), s(4);
  copymatwtr(at.data(), a.data(), 3, 2, 1, 1.0);
  simprodmat(a.data(), at.data(), s.data(), 2, 3, 1);
  EXPECT_EQ(s, (V{14, 32, 32, 77}));
  V rot{0, 1, -1, 0}, id{1, 0, 0, 1};
  simprodmat(rot.data(), id.data(), s.data(), 2, 2, 0);
  EXPECT_EQ(s, rot);
}

TEST(MatvectProduct, RowOrderedProductsEqualPlainDotProducts) {
  const uint32_t m = 7, k = 9, p = 5;
  V a = irrational(m * k, 0.7), b = irrational(k * p, 1.3), out(m * p);
  prodmat(a.data(), b.data(), out.data(), m, k, p);
  EXPECT_EQ(out, literalproduct(a, b, m, k, p));
  // Wide enough for column tiles of eight, with columns left over.
  V wide = irrational(k * 19, 1.7), wideout(m * 19);
  prodmat(a.data(), wide.data(), wideout.data(), m, k, 19);
  EXPECT_EQ(wideout, literalproduct(a, wide, m, k, 19));
  V vec = irrational(k, 2.1), column(m);  // matrix times vector takes its own path
  prodmat(a.data(), vec.data(), column.data(), m, k, 1);
  EXPECT_EQ(column, literalproduct(a, vec, m, k, 1));
  // Only the lower half (in storage order) comes from the product; the rest mirrors it.
  for (uint32_t n : {4u, 5u, 9u, 10u, 21u}) {
    V sa = irrational(n * k, 0.9), sb = irrational(k * n, 0.4), full = literalproduct(sa, sb, n, k, n);
    V sym(n * n), centre(n * n);
    simprodmat(sa.data(), sb.data(), sym.data(), n, k, 0);
    simpmprodmat(sa.data(), sb.data(), centre.data(), n, k, 1);
    for (uint32_t i = 0; i < n; i++)
      for (uint32_t j = 0; j <= i; j++) {
        EXPECT_EQ(sym[i * n + j], full[i * n + j]);
        EXPECT_EQ(sym[j * n + i], i == j ? full[i * n + i] : -full[i * n + j]);
      }
    for (uint32_t t = 0; t < n * n; t++) EXPECT_EQ(centre[t], full[std::min(t, n * n - 1 - t)]) << t;
  }
}

TEST(MatvectProduct, CentreSymmetricProducts) {
  // A symmetric Toeplitz matrix is symmetric about its centre; times diag(1, 0, -1),
  // which changes sign under reversal, the product is antisymmetric about its centre.
  V t{4, 1, 2, 1, 4, 1, 2, 1, 4}, id(9), flip{1, 0, 0, 0, 0, 0, 0, 0, -1};
  identmat(id.data(), 3);
  V out(9, nan_), full(9);
  simpmprodmat(t.data(), id.data(), out.data(), 3, 3, 1);
  EXPECT_EQ(out, t);
  simpmprodmat(t.data(), flip.data(), out.data(), 3, 3, 0);
  prodmat(t.data(), flip.data(), full.data(), 3, 3, 3);
  EXPECT_EQ(out, full);
}

TEST(MatvectProduct, CovarianceAndAffineAccumulation) {
  V x{3, 5}, mu{1, 2}, cov(4, 0.0), var(2, 1.0);
  addltriangcovmat(cov.data(), x.data(), mu.data(), 2, 0.5);
  EXPECT_EQ(cov, (V{2, 0, 3, 4.5}));
  adddiagcovmat(var.data(), x.data(), mu.data(), 2, -1.0);
  EXPECT_EQ(var, (V{-3, -8}));
  V a{1, 2, 3, 4, 5, 6}, bias{1, -1, 0.5}, y(3, 10.0);  // a is 3 x 2
  addlintransf(x.data(), a.data(), bias.data(), y.data(), 2, 3, 2.0);
  EXPECT_EQ(y, (V{38, 66, 101}));
}

TEST(MatvectInterp, OrderedQueriesHoldEndsAndInterpolate) {
  V xs{0, 1, 3}, ys{10, 20, 0};
  V xq{-2, 0, 0.5, 1, 2, 2.5, 3, 7}, yq(8, nan_);
  lininterpord(3, xs.data(), ys.data(), 8, xq.data(), yq.data());
  EXPECT_EQ(yq, (V{10, 10, 15, 20, 10, 5, 0, 0}));
  V single{4.0}, val{-1.0}, q2{3, 5}, y2(2);
  lininterpord(1, single.data(), val.data(), 2, q2.data(), y2.data());
  EXPECT_EQ(y2, (V{-1, -1}));
}

TEST(MatvectPrint, BracketedRowsSeparatedBySemicolons) {
  EXPECT_EQ(printed([] {
              double m[] = {1, 2, 3, 4};
              printfmat(m, 2, 2, "%g");
            }),
            "[1 2; 3 4]\n");
  EXPECT_EQ(printed([] {
              double v[] = {0.5, -1.25};
              printfvect(v, 2, "%.2f");
            }),
            "[0.50 -1.25]\n");
  EXPECT_EQ(printed([] { printfvect(nullptr, 0, "%g"); }), "[]\n");
  EXPECT_EQ(printed([] {
              double m[] = {1};
              printfmat(m, 0, 1, "%g");
              printfmat(m, 1, 0, "%g");
            }),
            "[]\n[]\n");
}

#ifndef NDEBUG
TEST(MatvectPreconditionsDeathTest, UncheckedPreconditionsAssertInDebugBuilds) {
  V m(4, 1.0), d(4);
  EXPECT_DEATH(redistblocks(m.data(), 2, 2, d.data(), 0, 1), "");
  EXPECT_DEATH(medianelem(m.data(), 0), "");
  V descending{3, 2, 1}, q{0.5};
  EXPECT_DEATH(lininterpord(3, descending.data(), m.data(), 1, q.data(), d.data()), "");
  EXPECT_DEATH(prodmat(m.data(), d.data(), m.data(), 2, 2, 2), "");
}
#endif
