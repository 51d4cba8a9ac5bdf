// Toeplitz-plus-Hankel solver.
//
// Row i and row n − 1 − i of (T + H)·a = b are taken together, so the n × n system becomes a
// block system of 2 × 2 blocks r[k] = (t[k], h[n − 1 + k] / h[n − 1 − k], t[k]) solved by a
// block Levinson recursion: x holds the forward predictor blocks, vx its error block, and p the
// solution pairs (a[j], a[n − 1 − j]) of the growing leading system. A block is four doubles in
// row order, a pair two doubles.

#include <cmath>
#include <cstddef>
#include <cstdlib>

#include "numeric.h"

namespace velk {

namespace {

// The work arrays of one call, in one allocation: n blocks each of r, x and xx (the copy of x
// from the previous order) and n pairs of p.
struct Work {
  double* block;
  double (*r)[4];
  double (*x)[4];
  double (*xx)[4];
  double (*p)[2];
};

// Allocates the work arrays of an n × n system, zero-filled; false when memory is short.
bool allocate_work(Work* w, int n) {
  const size_t blocks = static_cast<size_t>(n);
  w->block = static_cast<double*>(std::calloc(14 * blocks, sizeof(double)));
  if (w->block == nullptr) return false;
  w->r = reinterpret_cast<double(*)[4]>(w->block);
  w->x = w->r + blocks;
  w->xx = w->x + blocks;
  w->p = reinterpret_cast<double(*)[2]>(w->xx + blocks);
  return true;
}

// t = u·v for 2 × 2 blocks.
void mm_mul(double* t, const double* u, const double* v) {
  t[0] = u[0] * v[0] + u[1] * v[2];
  t[1] = u[0] * v[1] + u[1] * v[3];
  t[2] = u[2] * v[0] + u[3] * v[2];
  t[3] = u[2] * v[1] + u[3] * v[3];
}

// v = m·u for a block m and a pair u.
void mv_mul(double* v, const double* m, const double* u) {
  v[0] = m[0] * u[0] + m[1] * u[1];
  v[1] = m[2] * u[0] + m[3] * u[1];
}

// The block mirrored through its centre: (m3, m2 / m1, m0).
void crstrns(double* c, const double* m) {
  c[0] = m[3];
  c[1] = m[2];
  c[2] = m[1];
  c[3] = m[0];
}

// inv = y⁻¹; −1 when |det y| is below eps, exactly zero (possible with eps = 0, and no
// inverse exists) or not a number.
int inverse(double* inv, const double* y, double eps) {
  const double det = y[0] * y[3] - y[1] * y[2];
  if (eps > std::fabs(det) || det == 0.0 || std::isnan(det)) return -1;
  inv[0] = y[3] / det;
  inv[1] = -y[1] / det;
  inv[2] = -y[2] / det;
  inv[3] = y[0] / det;
  return 0;
}

// (crstrns m)⁻¹, the inverse every update of this recursion divides by.
int inverse_crstrns(double* inv, const double* m, double eps) {
  double c[4];
  crstrns(c, m);
  return inverse(inv, c, eps);
}

void fill_blocks(Work* w, const double* t, const double* h, int n) {
  double(*r)[4] = w->r;
  double(*x)[4] = w->x;
  for (int i = 0; i < n; i++) {
    r[i][0] = t[i];
    r[i][1] = h[n - 1 + i];
    r[i][2] = h[n - 1 - i];
    r[i][3] = t[i];
  }
  x[0][0] = 1.0;
  x[0][1] = 0.0;
  x[0][2] = 0.0;
  x[0][3] = 1.0;
}

int cal_p0(Work* w, const double* b, int n, double eps) {
  double inv[4];
  if (inverse(inv, w->r[0], eps) != 0) return -1;
  const double rhs[2] = {b[0], b[n - 1]};
  mv_mul(w->p[0], inv, rhs);
  return 0;
}

// ex = Σ r[i − j]·x[j], j < i.
void cal_ex(const Work* w, double* ex, int i) {
  ex[0] = ex[1] = ex[2] = ex[3] = 0.0;
  double prod[4];
  for (int j = 0; j < i; j++) {
    mm_mul(prod, w->r[i - j], w->x[j]);
    for (int k = 0; k < 4; k++) ex[k] += prod[k];
  }
}

// ep = Σ r[i − j]·p[j], j < i.
void cal_ep(const Work* w, double* ep, int i) {
  ep[0] = ep[1] = 0.0;
  double prod[2];
  for (int j = 0; j < i; j++) {
    mv_mul(prod, w->r[i - j], w->p[j]);
    ep[0] += prod[0];
    ep[1] += prod[1];
  }
}

int cal_bx(double* bx, const double* vx, const double* ex, double eps) {
  double inv[4];
  if (inverse_crstrns(inv, vx, eps) != 0) return -1;
  mm_mul(bx, inv, ex);
  return 0;
}

void cal_x(Work* w, const double* bx, int i) {
  double(*x)[4] = w->x;
  double(*xx)[4] = w->xx;
  double c[4], prod[4];
  for (int j = 0; j <= i - 2; j++) {
    crstrns(c, xx[i - 1 - j]);
    mm_mul(prod, c, bx);
    for (int k = 0; k < 4; k++) x[j + 1][k] -= prod[k];
  }
  for (int j = 1; j <= i - 1; j++)
    for (int k = 0; k < 4; k++) xx[j][k] = x[j][k];
  for (int k = 0; k < 4; k++) x[i][k] = xx[i][k] = -bx[k];
}

void cal_vx(double* vx, const double* ex, const double* bx) {
  double c[4], prod[4];
  crstrns(c, ex);
  mm_mul(prod, c, bx);
  for (int k = 0; k < 4; k++) vx[k] -= prod[k];
}

int cal_g(double* g, const double* vx, const double* ep, const double* b, int n, int i, double eps) {
  double inv[4];
  if (inverse_crstrns(inv, vx, eps) != 0) return -1;
  const double rhs[2] = {b[i] - ep[0], b[n - 1 - i] - ep[1]};
  mv_mul(g, inv, rhs);
  return 0;
}

void cal_p(Work* w, const double* g, int i) {
  double(*p)[2] = w->p;
  double c[4], prod[2];
  for (int j = 0; j < i; j++) {
    crstrns(c, w->x[i - j]);
    mv_mul(prod, c, g);
    p[j][0] += prod[0];
    p[j][1] += prod[1];
  }
  p[i][0] = g[0];
  p[i][1] = g[1];
}

// The recursion over the blocks in w; 0, or -1 at a pivot too small to invert.
int solve_blocks(Work* w, const double* t, const double* h, double* a, const double* b, int n, double eps) {
  fill_blocks(w, t, h, n);
  double vx[4] = {w->r[0][0], w->r[0][1], w->r[0][2], w->r[0][3]};
  if (cal_p0(w, b, n, eps) != 0) return -1;
  for (int i = 1; i < n; i++) {
    double ex[4], ep[2], bx[4], g[2];
    cal_ex(w, ex, i);
    cal_ep(w, ep, i);
    if (cal_bx(bx, vx, ex, eps) != 0) return -1;
    cal_x(w, bx, i);
    cal_vx(vx, ex, bx);
    if (cal_g(g, vx, ep, b, n, i, eps) != 0) return -1;
    cal_p(w, g, i);
  }
  for (int j = 0; j < n; j++) a[j] = w->p[j][0];
  return 0;
}

}  // namespace

int tphsolve(const double* t, const double* h, double* a, const double* b, int n, double eps) {
  if (n < 1) return -1;  // no system to solve; the recursion needs the block r[0]
  if (eps < 0.0) eps = 1e-6;
  Work w;
  if (!allocate_work(&w, n)) return -1;
  const int status = solve_blocks(&w, t, h, a, b, n, eps);
  std::free(w.block);
  return status;
}

}  // namespace velk
