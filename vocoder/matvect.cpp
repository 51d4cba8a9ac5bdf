#include "matvect.h"

#include <cassert>
#include <cmath>
#include <cstdio>
#include <algorithm>
#include <utility>
#include <vector>

#include "widevectors.h"

namespace velk {

namespace {

// Runs body with a scaling function for factor f; the factors 1 and -1 get their own
// instantiations so that the common cases need no multiplication.
template <class Body>
void withfactor(double f, Body body) {
  if (f == 1.0)
    body([](double v) { return v; });
  else if (f == -1.0)
    body([](double v) { return -v; });
  else
    body([f](double v) { return f * v; });
}

double dotstrided(const double* a, const double* b, uint32_t count, uint32_t bstride) {
  double s = 0.0;
  for (uint32_t l = 0; l < count; l++) s += a[l] * b[(size_t)l * bstride];
  return s;
}

// out[i] = dotstrided(a + i*k, b, k, 1) for i < m. Four rows are summed side by side: each sum
// still runs over l in order, so the results are those of one row at a time, while the four
// independent additions no longer wait on each other.
VELK_WIDE_VECTORS void matrixtimesvector(const double* a, const double* b, double* out, uint32_t m,
                                         uint32_t k) {
  uint32_t i = 0;
  for (; i + 4 <= m; i += 4) {
    const double* r0 = a + (size_t)i * k;
    const double *r1 = r0 + k, *r2 = r1 + k, *r3 = r2 + k;
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
    for (uint32_t l = 0; l < k; l++) {
      s0 += r0[l] * b[l];
      s1 += r1[l] * b[l];
      s2 += r2[l] * b[l];
      s3 += r3[l] * b[l];
    }
    out[i] = s0;
    out[i + 1] = s1;
    out[i + 2] = s2;
    out[i + 3] = s3;
  }
  for (; i < m; i++) out[i] = dotstrided(a + (size_t)i * k, b, k, 1);
}

// Dot product with four interleaved partial sums: independent additions keep the pipeline
// busy where a single running sum would wait on each addition. Rounding differs from the
// sequential sum.
VELK_INLINE_KERNEL double dotinterleaved(const double* a, const double* b, uint32_t count) {
  double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
  uint32_t l = 0;
  for (; l + 4 <= count; l += 4) {
    s0 += a[l] * b[l];
    s1 += a[l + 1] * b[l + 1];
    s2 += a[l + 2] * b[l + 2];
    s3 += a[l + 3] * b[l + 3];
  }
  for (; l < count; l++) s0 += a[l] * b[l];
  return (s0 + s1) + (s2 + s3);
}

void swaprows(double* a, double* b, uint32_t count) {
  for (uint32_t q = 0; q < count; q++) std::swap(a[q], b[q]);
}

// row += f * src over count elements, with no shortcut for any factor.
void addscaledrow(double* row, const double* src, uint32_t count, double f) {
  for (uint32_t q = 0; q < count; q++) row[q] += f * src[q];
}

// out[0..count) = sum over l < k of arow[l] * (row l of b), rows of b being stride apart; each
// element sums its terms in increasing l, as a dot product would.
void rowtimesmatrix(const double* arow, const double* b, uint32_t k, uint32_t stride, uint32_t count,
                    double* out) {
  initializemat(out, count, 0.0);
  for (uint32_t l = 0; l < k; l++) addscaledrow(out, b + (size_t)l * stride, count, arow[l]);
}

// Columns q0..q0+7 of four rows of a*b: the 32 sums run in registers over l, in increasing l.
VELK_INLINE_KERNEL void fourbyeighttile(const double* a, const double* b, uint32_t k, uint32_t stride,
                                        uint32_t q0, double* out, size_t outstride) {
  double acc[4][8] = {};
  for (uint32_t l = 0; l < k; l++) {
    const double* bl = b + (size_t)l * stride + q0;
    const double f[4] = {a[l], a[k + l], a[2 * (size_t)k + l], a[3 * (size_t)k + l]};
    for (int r = 0; r < 4; r++)
      for (int c = 0; c < 8; c++) acc[r][c] += f[r] * bl[c];
  }
  for (int r = 0; r < 4; r++)
    for (int c = 0; c < 8; c++) out[r * outstride + q0 + c] = acc[r][c];
}

// rowtimesmatrix for the four rows of a starting at a (k apart) into the four rows of out
// (outstride apart), the first `count` elements of each: tiles of eight columns keep their
// sums in registers, the last columns share each read of b among the four rows. Every element
// sums its terms in increasing l, starting from 0.
VELK_WIDE_VECTORS void fourrowstimesmatrix(const double* a, const double* b, uint32_t k, uint32_t stride,
                                           uint32_t count, double* out, size_t outstride) {
  uint32_t q0 = 0;
  for (; q0 + 8 <= count; q0 += 8) fourbyeighttile(a, b, k, stride, q0, out, outstride);
  double* __restrict o0 = out + q0;
  double* __restrict o1 = o0 + outstride;
  double* __restrict o2 = o1 + outstride;
  double* __restrict o3 = o2 + outstride;
  const uint32_t rest = count - q0;
  for (double* o : {o0, o1, o2, o3}) initializemat(o, rest, 0.0);
  for (uint32_t l = 0; l < k; l++) {
    const double* __restrict bl = b + (size_t)l * stride + q0;
    const double f0 = a[l], f1 = a[k + l], f2 = a[2 * (size_t)k + l], f3 = a[3 * (size_t)k + l];
    for (uint32_t q = 0; q < rest; q++) {
      o0[q] += f0 * bl[q];
      o1[q] += f1 * bl[q];
      o2[q] += f2 * bl[q];
      o3[q] += f3 * bl[q];
    }
  }
}

// Rows first..first+rows-1 of a*b (a of k columns, b of `stride` columns) into out (n columns),
// the first columns(i) elements of row i, columns() not decreasing. Blocks of four rows share
// the reads of b over the first row's columns; the rest of each row takes the same sums alone.
template <class Columns>
void productrows(const double* a, const double* b, uint32_t k, uint32_t stride, size_t first, size_t rows,
                 double* out, uint32_t n, Columns columns) {
  size_t i = first;
  for (; i + 4 <= first + rows; i += 4) {
    const uint32_t common = columns(i);
    fourrowstimesmatrix(a + i * k, b, k, stride, common, out + i * n, n);
    for (size_t r = i + 1; r < i + 4; r++)
      for (uint32_t c = common; c < columns(r); c++) out[r * n + c] = dotstrided(a + r * k, b + c, k, stride);
  }
  for (; i < first + rows; i++) rowtimesmatrix(a + i * k, b, k, stride, columns(i), out + i * n);
}

// The first row at or below i whose element in column i is non-zero, or n if there is none.
uint32_t nonzeropivotrow(const double* a, uint32_t n, uint32_t i) {
  uint32_t p = i;
  while (p < n && a[(size_t)p * n + i] == 0.0) p++;
  return p;
}

// Forward elimination of the n x n matrix a, column by column. The pivot row is exchanged only
// when the pivot is exactly 0 (with the first row below holding a non-zero in that column), and
// only rows with a non-zero element in the pivot column are reduced. swapside(i, p) and
// reduceside(r, i, m) repeat the exchange and the reduction a[r] -= m a[i] on the right-hand
// side. Returns -1 when a column has no usable pivot. Always inlined, so that it is built for
// the vector width of its caller.
template <class Swap, class Reduce>
VELK_INLINE_KERNEL int32_t eliminateforward(uint32_t n, double* a, Swap swapside, Reduce reduceside) {
  for (uint32_t i = 0; i < n; i++) {
    double* ai = a + (size_t)i * n;
    if (ai[i] == 0.0) {
      uint32_t p = nonzeropivotrow(a, n, i);
      if (p == n) return -1;
      swaprows(ai + i, a + (size_t)p * n + i, n - i);
      swapside(i, p);
    }
    for (uint32_t r = i + 1; r < n; r++) {
      double* ar = a + (size_t)r * n;
      if (ar[i] == 0.0) continue;
      double m = ar[i] / ai[i];
      ar[i] = 0.0;
      addscaledrow(ar + i + 1, ai + i + 1, n - i - 1, -m);
      reduceside(r, i, m);
    }
  }
  return 0;
}

// Gauss-Jordan inversion; with symmetric set, row operations on the inverse stop at the highest
// row index reached so far and the back substitution keeps only the lower triangle.
VELK_WIDE_VECTORS int32_t gaussjordaninverse(uint32_t n, double* a, double* inv, bool symmetric) {
  if (n == 0) return -1;
  if (n == 1) {
    if (a[0] == 0.0) return -1;
    inv[0] = 1.0 / a[0];
    return 0;
  }
  identmat(inv, n);
  uint32_t w = 0;  // highest row index whose inverse row may be non-zero
  auto columns = [&](uint32_t reached) {
    w = std::max(w, reached);
    return symmetric ? w + 1 : n;
  };
  auto swapside = [&](uint32_t i, uint32_t p) {
    swaprows(inv + (size_t)i * n, inv + (size_t)p * n, columns(p));
  };
  auto reduceside = [&](uint32_t r, uint32_t i, double m) {
    addscaledrow(inv + (size_t)r * n, inv + (size_t)i * n, columns(i), -m);
  };
  if (eliminateforward(n, a, swapside, reduceside) != 0) return -1;
  for (uint32_t k = n; k-- > 0;) {
    double* invk = inv + (size_t)k * n;
    double pivot = a[(size_t)k * n + k];
    uint32_t kcols = symmetric ? k + 1 : n;
    for (uint32_t q = 0; q < kcols; q++) invk[q] /= pivot;
    a[(size_t)k * n + k] = 1.0;
    for (uint32_t r = 0; r < k; r++) {
      double* ark = a + (size_t)r * n + k;
      if (*ark == 0.0) continue;
      addscaledrow(inv + (size_t)r * n, invk, symmetric ? r + 1 : n, -*ark);
      *ark = 0.0;
    }
  }
  if (symmetric) repltriangmat(inv, n);
  return 0;
}

// g = lower triangle of a^T a (n x n, a of m x n) mirrored, accumulated row of a by row of a.
// Four rows of a go into one pass over g; every element still adds its terms one at a time
// in increasing row order, so the result is that of one pass per row.
void gram(const double* a, uint32_t m, uint32_t n, double* g) {
  initializemat(g, n * n, 0.0);
  uint32_t l = 0;
  for (; l + 4 <= m; l += 4) {
    const double *a0 = a + (size_t)l * n, *a1 = a0 + n, *a2 = a1 + n, *a3 = a2 + n;
    for (uint32_t i = 0; i < n; i++) {
      double* gi = g + (size_t)i * n;
      const double b0 = a0[i], b1 = a1[i], b2 = a2[i], b3 = a3[i];
      for (uint32_t j = 0; j <= i; j++)
        gi[j] = (((gi[j] + b0 * a0[j]) + b1 * a1[j]) + b2 * a2[j]) + b3 * a3[j];
    }
  }
  for (; l < m; l++) {
    const double* al = a + (size_t)l * n;
    for (uint32_t i = 0; i < n; i++) {
      double* gi = g + (size_t)i * n;
      for (uint32_t j = 0; j <= i; j++) gi[j] += al[i] * al[j];
    }
  }
  repltriangmat(g, n);
}

// The index-squared ridge penalty added to the diagonal of the n x n matrix g when regularise is 1.
void addpenalty(double* g, uint32_t n, int16_t regularise) {
  static const double penalty = 0.015791367;
  if (regularise == 1)
    for (uint32_t k = 0; k < n; k++) g[(size_t)k * n + k] += (double)k * k * penalty;
}

// g = a^T a, with the index-squared ridge penalty on the diagonal when regularise is 1.
void regularisedgram(const double* a, uint32_t m, uint32_t n, double* g, int16_t regularise) {
  gram(a, m, n, g);
  addpenalty(g, n, regularise);
}

// Factorises a = U^T U (U upper triangular) row by row into the upper triangle of u; the lower
// triangle of u is not touched. Returns the product of the pivots, or 0.0 when a pivot is not
// positive, the product underflows to 0 or n is 0.
VELK_WIDE_VECTORS double choleskyupper(uint32_t n, const double* a, double* u) {
  if (n == 0) return 0.0;
  double det = 1.0;
  for (uint32_t i = 0; i < n; i++) {
    double* ui = u + (size_t)i * n;
    initializemat(ui + i, n - i, 0.0);
    for (uint32_t k = 0; k < i; k++) {
      const double* uk = u + (size_t)k * n;
      for (uint32_t j = i; j < n; j++) ui[j] += uk[j] * uk[i];
    }
    const double* ai = a + (size_t)i * n;
    double pivot = ai[i] - ui[i];
    // A zero pivot is tested directly: the running product of pivots may already have
    // overflowed, so it cannot tell a singular matrix by itself.
    if (!(pivot > 0.0)) return 0.0;
    det *= pivot;
    ui[i] = std::sqrt(pivot);
    for (uint32_t j = i + 1; j < n; j++) ui[j] = (ai[j] - ui[j]) / ui[i];
  }
  return det;
}

// Solves U^T U x = h in place for the p columns of h (n x p), U upper triangular in u: per
// column, U^T y = h by forward substitution (each solved element scattered into the elements
// below along row k of U), then U x = y by back substitution. O(n^2 p) against the O(n^3) of
// forming the inverse.
VELK_INLINE_KERNEL void choleskysolve(uint32_t n, const double* u, double* h, uint32_t p) {
  for (uint32_t c = 0; c < p; c++) {
    double* hc = h + c;
    for (uint32_t k = 0; k < n; k++) {
      const double* uk = u + (size_t)k * n;
      double yk = hc[(size_t)k * p] / uk[k];
      hc[(size_t)k * p] = yk;
      for (uint32_t i = k + 1; i < n; i++) hc[(size_t)i * p] -= uk[i] * yk;
    }
    for (uint32_t k = n; k-- > 0;) {
      const double* uk = u + (size_t)k * n;
      double s = hc[(size_t)k * p];
      for (uint32_t i = k + 1; i < n; i++) s -= uk[i] * hc[(size_t)i * p];
      hc[(size_t)k * p] = s / uk[k];
    }
  }
}

}  // namespace

// ---- Construction, comparison and copying ----

int32_t initializemat(double* m, uint32_t count, double value) {
  for (uint32_t i = 0; i < count; i++) m[i] = value;
  return 0;
}

int32_t initializedmat(double* m, uint32_t n, double value) {
  initializemat(m, n * n, 0.0);
  for (uint32_t i = 0; i < n; i++) m[(size_t)i * n + i] = value;
  return 0;
}

int32_t identmat(double* m, uint32_t n) {
  return initializedmat(m, n, 1.0);
}

int32_t iseqmat(const double* a, const double* b, uint32_t count, double tolerance) {
  for (uint32_t i = 0; i < count; i++) {
    // Every comparison with a NaN is false, so a NaN always makes the pair unequal.
    bool equal = tolerance == 0.0 ? a[i] == b[i] : std::fabs(a[i] - b[i]) <= tolerance;
    if (!equal) return 0;
  }
  return 1;
}

int32_t copymat(double* dst, const double* src, uint32_t count) {
  for (uint32_t i = 0; i < count; i++) dst[i] = src[i];
  return 0;
}

int32_t copymatwtr(double* dst, const double* src, uint32_t rows, uint32_t cols, uint8_t transpose,
                   double f) {
  assert(dst != src || rows * cols == 0);
  if (f == 0.0) return initializemat(dst, rows * cols, 0.0);
  withfactor(f, [&](auto scale) {
    for (uint32_t i = 0; i < rows; i++)
      for (uint32_t j = 0; j < cols; j++)
        dst[(size_t)i * cols + j] = scale(transpose ? src[(size_t)j * rows + i] : src[(size_t)i * cols + j]);
  });
  return 0;
}

int32_t copysubmatintomat(double* dst, const double* src, uint32_t rows, uint32_t cols, uint32_t srccols,
                          uint32_t row0, uint32_t col0) {
  return copysubmatintosubmat(dst, src, cols, srccols, 0, 0, row0, col0, rows, cols);
}

int32_t copymatintosubmat(double* dst, const double* src, uint32_t dstcols, uint32_t rows, uint32_t cols,
                          uint32_t row0, uint32_t col0) {
  return copysubmatintosubmat(dst, src, dstcols, cols, row0, col0, 0, 0, rows, cols);
}

int32_t copysubmatintosubmat(double* dst, const double* src, uint32_t dstcols, uint32_t srccols,
                             uint32_t dstrow0, uint32_t dstcol0, uint32_t srcrow0, uint32_t srccol0,
                             uint32_t rows, uint32_t cols) {
  assert(dst != src || rows * cols == 0);
  assert(dstcol0 + cols <= dstcols && srccol0 + cols <= srccols);
  for (uint32_t i = 0; i < rows; i++)
    copymat(dst + (size_t)(dstrow0 + i) * dstcols + dstcol0, src + (size_t)(srcrow0 + i) * srccols + srccol0,
            cols);
  return 0;
}

int32_t copyrowsintomat(double* dst, const double* src, uint32_t cols, uint32_t count,
                        const uint32_t* rowidx) {
  for (uint32_t k = 0; k < count; k++) copymat(dst + (size_t)k * cols, src + (size_t)rowidx[k] * cols, cols);
  return 0;
}

int32_t copycolsintomat(double* dst, const double* src, uint32_t rows, uint32_t count, const uint32_t* colidx,
                        uint32_t srccols) {
  for (uint32_t r = 0; r < rows; r++)
    for (uint32_t k = 0; k < count; k++) dst[(size_t)r * count + k] = src[(size_t)r * srccols + colidx[k]];
  return 0;
}

int32_t copyrowscolsintomat(double* dst, const double* src, uint32_t rowcount, const uint32_t* rowidx,
                            uint32_t colcount, const uint32_t* colidx, uint32_t srccols) {
  for (uint32_t i = 0; i < rowcount; i++)
    for (uint32_t j = 0; j < colcount; j++)
      dst[(size_t)i * colcount + j] = src[(size_t)rowidx[i] * srccols + colidx[j]];
  return 0;
}

int32_t exchangemats(double* a, double* b, uint32_t count) {
  swaprows(a, b, count);
  return 0;
}

int32_t repltriangmat(double* m, uint32_t n) {
  for (uint32_t i = 1; i < n; i++)
    for (uint32_t j = 0; j < i; j++) m[(size_t)j * n + i] = m[(size_t)i * n + j];
  return 0;
}

int32_t redistblocks(const double* src, uint32_t rows, uint32_t cols, double* dst, uint32_t brows,
                     uint32_t bcols) {
  assert(brows > 0 && bcols > 0);
  uint32_t nbrows = rows / brows, nbcols = cols / bcols;
  for (uint32_t bi = 0; bi < nbrows; bi++)
    for (uint32_t bj = 0; bj < nbcols; bj++) {
      copysubmatintomat(dst, src, brows, bcols, cols, bi * brows, bj * bcols);
      dst += (size_t)brows * bcols;
    }
  return 0;
}

// ---- Reductions and statistics ----

double module2(const double* v, uint32_t n, const double* w) {
  double s = 0.0;
  for (uint32_t i = 0; i < n; i++) {
    if (!w) {
      s += v[i] * v[i];
    } else if (w[i] != 0.0) {
      double t = v[i] * w[i];
      s += t * t;
    }
  }
  return s;
}

double eucldist2(const double* a, const double* b, uint32_t n) {
  return weucldist2(a, b, n, nullptr);
}

double weucldist2(const double* a, const double* b, uint32_t n, const double* w) {
  double s = 0.0;
  for (uint32_t i = 0; i < n; i++) {
    if (w && w[i] == 0.0) continue;
    double d = a[i] - b[i];
    if (w) d *= w[i];
    s += d * d;
  }
  return s;
}

double sumelems(const double* v, uint32_t n) {
  double s = 0.0;
  for (uint32_t i = 0; i < n; i++) s += v[i];
  return s;
}

double sumlogelems(const double* v, uint32_t n) {
  double s = 0.0;
  for (uint32_t i = 0; i < n; i++) s += std::log(v[i]);
  return s;
}

double prodelems(const double* v, uint32_t n) {
  double p = 1.0;
  for (uint32_t i = 0; i < n; i++) p *= v[i];
  return p;
}

double meanelems(const double* v, uint32_t n) {
  assert(n > 0);
  return sumelems(v, n) / n;
}

double medianelem(double* v, uint32_t n) {
  assert(n > 0);
  sortelems(v, n, n / 2, 1);
  return v[n / 2];
}

uint32_t indmaxelem(const double* v, uint32_t n) {
  uint32_t best = 0;
  for (uint32_t i = 1; i < n; i++)
    if (v[i] > v[best]) best = i;
  return best;
}

uint32_t indminelem(const double* v, uint32_t n) {
  uint32_t best = 0;
  for (uint32_t i = 1; i < n; i++)
    if (v[i] < v[best]) best = i;
  return best;
}

double maxelem(const double* v, uint32_t n) {
  assert(n > 0);
  return v[indmaxelem(v, n)];
}

double minelem(const double* v, uint32_t n) {
  assert(n > 0);
  return v[indminelem(v, n)];
}

double mindiagmat(const double* m, uint32_t n) {
  assert(n > 0);
  double best = m[0];
  for (uint32_t i = 1; i < n; i++)
    if (m[(size_t)i * n + i] < best) best = m[(size_t)i * n + i];
  return best;
}

double quadtransf(const double* x, const double* a, uint32_t n) {
  double s = 0.0;
  for (uint32_t i = 0; i < n; i++) s += x[i] * dotstrided(a + (size_t)i * n, x, n, 1);
  return s;
}

int32_t issorted(const double* v, uint32_t n, int32_t mode) {
  for (uint32_t i = 1; i < n; i++) {
    double prev = v[i - 1], cur = v[i];
    bool inorder = mode == 2 ? prev < cur : mode == -2 ? prev > cur : mode == -1 ? prev >= cur : prev <= cur;
    if (!inorder) return 0;
  }
  return 1;
}

// ---- Element-wise arithmetic ----

int32_t summat(const double* a, const double* b, double* out, uint32_t count) {
  for (uint32_t i = 0; i < count; i++) out[i] = a[i] + b[i];
  return 0;
}

int32_t difmat(const double* a, const double* b, double* out, uint32_t count) {
  for (uint32_t i = 0; i < count; i++) out[i] = a[i] - b[i];
  return 0;
}

int32_t addmat(double* x, const double* y, uint32_t count, double f) {
  if (f == 0.0) return 0;
  withfactor(f, [&](auto scale) {
    for (uint32_t i = 0; i < count; i++) x[i] += scale(y[i]);
  });
  return 0;
}

int32_t subtmat(double* x, const double* y, uint32_t count, double f) {
  return addmat(x, y, count, -f);
}

int32_t elemprodmat(const double* a, const double* b, double* out, uint32_t count) {
  for (uint32_t i = 0; i < count; i++) out[i] = a[i] * b[i];
  return 0;
}

int32_t addelemprodmat(const double* a, const double* b, double* out, uint32_t count, double f) {
  if (f == 0.0) return 0;
  withfactor(f, [&](auto scale) {
    for (uint32_t i = 0; i < count; i++) out[i] += scale(a[i]) * b[i];
  });
  return 0;
}

int32_t elemmultmat(double* x, const double* y, uint32_t count, double f) {
  if (f == 0.0) return initializemat(x, count, 0.0);
  withfactor(f, [&](auto scale) {
    for (uint32_t i = 0; i < count; i++) x[i] = scale(x[i] * y[i]);
  });
  return 0;
}

int32_t elemcocmat(const double* a, const double* b, double* out, uint32_t count) {
  for (uint32_t i = 0; i < count; i++) out[i] = a[i] / b[i];
  return 0;
}

int32_t elemdivmat(double* x, const double* y, uint32_t count, double f) {
  for (uint32_t i = 0; i < count; i++) {
    if (y[i] == 0.0) return -1;
    x[i] = f * x[i] / y[i];
  }
  return 0;
}

int32_t eleminvmat(const double* x, double* out, uint32_t count) {
  for (uint32_t i = 0; i < count; i++) {
    if (x[i] == 0.0) return -1;
    out[i] = 1.0 / x[i];
  }
  return 0;
}

int32_t shiftmat(double* x, uint32_t count, double shift) {
  for (uint32_t i = 0; i < count; i++) x[i] += shift;
  return 0;
}

int32_t scalemat(double* x, uint32_t count, double f) {
  if (f == 0.0) return initializemat(x, count, 0.0);
  if (f == 1.0) return 0;
  withfactor(f, [&](auto scale) {
    for (uint32_t i = 0; i < count; i++) x[i] = scale(x[i]);
  });
  return 0;
}

int32_t scaleltriangmat(double* m, uint32_t n, double f) {
  for (uint32_t i = 0; i < n; i++) scalemat(m + (size_t)i * n, i + 1, f);
  return 0;
}

int32_t addconstpertmat(double* m, uint32_t n, double value) {
  for (uint32_t i = 0; i < n; i++) m[(size_t)i * n + i] += value;
  return 0;
}

int32_t getdeltawin3(double* out, const double* prev, const double* next, uint32_t count) {
  for (uint32_t i = 0; i < count; i++) out[i] = (next[i] - prev[i]) * 0.5;
  return 0;
}

int32_t getdelta2win3(double* out, const double* prev, const double* cur, const double* next,
                      uint32_t count) {
  for (uint32_t i = 0; i < count; i++) out[i] = next[i] - 2.0 * cur[i] + prev[i];
  return 0;
}

// ---- Products and covariance accumulation ----

int32_t prodmat(const double* a, const double* b, double* out, uint32_t m, uint32_t k, uint32_t p) {
  assert(out != a && out != b);
  if (p == 1) {  // matrix times vector: the same sums, accumulated in registers
    matrixtimesvector(a, b, out, m, k);
    return 0;
  }
  productrows(a, b, k, p, 0, m, out, p, [p](size_t) { return p; });
  return 0;
}

int32_t addprodmat(const double* a, const double* b, double* out, uint32_t m, uint32_t k, uint32_t p,
                   double f) {
  assert(out != a && out != b);
  if (f == 0.0) return 0;
  withfactor(f, [&](auto scale) {
    for (uint32_t i = 0; i < m; i++)
      for (uint32_t j = 0; j < p; j++)
        out[(size_t)i * p + j] += scale(dotstrided(a + (size_t)i * k, b + j, k, p));
  });
  return 0;
}

int32_t addltriangprodmatt(const double* a, double* out, uint32_t k, uint32_t n, double f) {
  assert(out != a);
  if (f == 0.0) return 0;
  withfactor(f, [&](auto scale) {
    for (uint32_t i = 0; i < n; i++)
      for (uint32_t j = 0; j <= i; j++)
        out[(size_t)i * n + j] += scale(dotstrided(a + (size_t)i * k, a + (size_t)j * k, k, 1));
  });
  return 0;
}

int32_t simprodmat(const double* a, const double* b, double* out, uint32_t n, uint32_t k, uint8_t symmetry) {
  assert(out != a && out != b);
  // Row i of the lower half holds i+1 elements; the upper half mirrors it.
  productrows(a, b, k, n, 0, n, out, n, [](size_t i) { return (uint32_t)i + 1; });
  for (uint32_t i = 0; i < n; i++) {
    const double* outi = out + (size_t)i * n;
    for (uint32_t j = 0; j < i; j++) out[(size_t)j * n + i] = symmetry == 1 ? outi[j] : -outi[j];
  }
  return 0;
}

int32_t simpmprodmat(const double* a, const double* b, double* out, uint32_t n, uint32_t k,
                     uint8_t symmetry) {
  assert(out != a && out != b);
  if (n == 0) return 0;
  // Elements 0..half-1 in storage order are computed; element t also gives element last - t.
  // The mirrored elements lie at or above half, where no element is computed.
  size_t last = (size_t)n * n - 1, half = last / 2 + 1;
  const size_t fullrows = half / n;
  productrows(a, b, k, n, 0, fullrows, out, n, [n](size_t) { return n; });
  if (half % n != 0) rowtimesmatrix(a + fullrows * k, b, k, n, (uint32_t)(half % n), out + fullrows * n);
  for (size_t t = 0; t < half; t++)
    if (t != last - t) out[last - t] = symmetry == 1 ? out[t] : -out[t];
  return 0;
}

int32_t addltriangcovmat(double* cov, const double* x, const double* mu, uint32_t n, double f) {
  if (f == 0.0) return 0;
  withfactor(f, [&](auto scale) {
    for (uint32_t i = 0; i < n; i++) {
      double di = scale(x[i] - mu[i]);
      for (uint32_t j = 0; j <= i; j++) cov[(size_t)i * n + j] += di * (x[j] - mu[j]);
    }
  });
  return 0;
}

int32_t adddiagcovmat(double* var, const double* x, const double* mu, uint32_t n, double f) {
  if (f == 0.0) return 0;
  withfactor(f, [&](auto scale) {
    for (uint32_t i = 0; i < n; i++) {
      double d = x[i] - mu[i];
      var[i] += scale(d) * d;
    }
  });
  return 0;
}

int32_t addlintransf(const double* x, const double* a, const double* b, double* y, uint32_t n, uint32_t m,
                     double f) {
  assert(y != x);
  if (f == 0.0) return 0;
  withfactor(f, [&](auto scale) {
    for (uint32_t i = 0; i < m; i++) y[i] += scale(b[i] + dotstrided(a + (size_t)i * n, x, n, 1));
  });
  return 0;
}

// ---- Linear systems and inverses ----

double choleskyinvdet(uint32_t n, double* a, double* inverse, int16_t keepinput) {
  assert(a != inverse);
  if (n == 0) return 0.0;
  if (n == 1) {
    if (a[0] == 0.0) return 0.0;
    inverse[0] = 1.0 / a[0];
    return a[0];
  }
  // a = U^T U with U upper triangular, built in the upper triangle of inverse.
  const double* u = inverse;
  double det = choleskyupper(n, a, inverse);
  if (det == 0.0) return 0.0;

  // W = U^-1 (upper triangular) row by row from the bottom, each row accumulated as a sum of
  // scaled lower rows so that the inner loops run along rows; every element still sums its
  // terms in increasing k. W^T is kept in the lower triangle of the same array for the product.
  std::vector<double> kept;
  if (keepinput == 1) kept.resize((size_t)n * n);
  double* w = keepinput == 1 ? kept.data() : a;
  for (uint32_t r = n; r-- > 0;) {
    const double* ur = u + (size_t)r * n;
    double* wr = w + (size_t)r * n;
    initializemat(wr + r + 1, n - r - 1, 0.0);
    for (uint32_t k = r + 1; k < n; k++) addmat(wr + k, w + (size_t)k * n + k, n - k, ur[k]);
    wr[r] = 1.0 / ur[r];
    for (uint32_t i = r + 1; i < n; i++) {
      wr[i] = -wr[i] / ur[r];
      w[(size_t)i * n + r] = wr[i];
    }
  }
  // inverse = W W^T: row r, element q >= r, sums W[r][k] W[q][k] over k = q..n-1 in order.
  for (uint32_t r = 0; r < n; r++) {
    double* invr = inverse + (size_t)r * n;
    initializemat(invr + r, n - r, 0.0);
    for (uint32_t k = r; k < n; k++) addmat(invr + r, w + (size_t)k * n + r, k - r + 1, w[(size_t)r * n + k]);
    for (uint32_t q = r + 1; q < n; q++) inverse[(size_t)q * n + r] = invr[q];
  }
  return det;
}

// Bordering recursion: at step k the vector f becomes the first column of the inverse of the
// leading (k+1) x (k+1) block, reading row k of t, columns 0..k-1. The whole inverse B then
// follows from its first column v in O(n^2) instead of O(n^3) rank-one updates:
//   B[i][j] = B[i-1][j-1] + (v[i] v[j] - v[n-i] v[n-j]) / v[0],  B[i][0] = v[i].
// Both work vectors live in the first two rows of the output, so nothing is allocated.
// Singular leading blocks (1 - e^2 exactly 0, for e = 1 or e = -1) and a zero t[0][0] fail.
VELK_WIDE_VECTORS int32_t toeplitzsiminv(uint32_t n, const double* t, double* inverse) {
  assert(t != inverse);
  if (n == 0 || t[0] == 0.0) return -1;
  if (n == 1) {
    inverse[0] = 1.0 / t[0];
    return 0;
  }
  double *f = inverse, *g = inverse + n;
  f[0] = 1.0 / t[0];
  for (uint32_t k = 1; k < n; k++) {
    double e = dotinterleaved(f, t + (size_t)k * n, k);
    double d = 1.0 - e * e;
    if (d == 0.0) return -1;
    double alpha = 1.0 / d, beta = -e * alpha;
    g[0] = f[0] * alpha;
    g[k] = f[0] * beta;
    for (uint32_t j = 1; j < k; j++) g[j] = f[k - j] * beta + f[j] * alpha;
    std::swap(f, g);
  }
  if (f != inverse) copymat(inverse, f, n);
  const double* v = inverse;  // first row = first column of the inverse
  if (v[0] == 0.0) return -1;
  double rv0 = 1.0 / v[0];
  for (uint32_t i = 1; i < n; i++) {
    double* row = inverse + (size_t)i * n;
    const double* above = row - n;
    double vi = v[i], vni = v[n - i];
    row[0] = vi;
    for (uint32_t j = 1; j < n; j++) row[j] = above[j - 1] + (vi * v[j] - vni * v[n - j]) * rv0;
  }
  return 0;
}

int32_t gaussinv(uint32_t n, double* a, double* inverse) {
  assert(a != inverse);
  return gaussjordaninverse(n, a, inverse, false);
}

int32_t simgaussinv(uint32_t n, double* a, double* inverse) {
  assert(a != inverse);
  return gaussjordaninverse(n, a, inverse, true);
}

int32_t gausssolveleqs(uint32_t n, double* a, double* b, double* x) {
  assert(a != b && b != x);
  if (n == 0) return -1;
  if (n == 1) {
    if (a[0] == 0.0) return -1;
    x[0] = b[0] / a[0];
    return 0;
  }
  auto swapside = [b](uint32_t i, uint32_t p) { std::swap(b[i], b[p]); };
  auto reduceside = [b](uint32_t r, uint32_t i, double m) { b[r] -= b[i] * m; };
  if (eliminateforward(n, a, swapside, reduceside) != 0) return -1;
  for (uint32_t k = n; k-- > 0;) {
    x[k] = b[k] / a[(size_t)k * n + k];
    if (x[k] == 0.0) continue;
    for (uint32_t r = 0; r < k; r++) {
      double ark = a[(size_t)r * n + k];
      if (ark != 0.0) b[r] -= x[k] * ark;
    }
  }
  return 0;
}

int32_t pseudoinv(const double* a, double* p, uint32_t m, uint32_t n, double* work, int16_t regularise) {
  assert(a != p);
  std::vector<double> own;
  if (!work) own.resize((size_t)2 * n * n);
  double* g = work ? work : own.data();
  double* ginv = g + (size_t)n * n;
  regularisedgram(a, m, n, g, regularise);
  int32_t status = choleskyinvdet(n, g, ginv, 0) == 0.0 ? -1 : 0;
  if (status == 0) {
    // p[i][l] = sum_j ginv[i][j] a[l][j]
    for (uint32_t i = 0; i < n; i++)
      for (uint32_t l = 0; l < m; l++)
        p[(size_t)i * m + l] = dotstrided(ginv + (size_t)i * n, a + (size_t)l * n, n, 1);
  }
  return status;
}

int32_t solveleastsquares(const double* a, const double* b, double* x, uint32_t m, uint32_t n, uint32_t p,
                          double* work, int16_t regularise) {
  assert(x != a && x != b);
  std::vector<double> own;
  if (!work) own.resize((size_t)n * (2 * n + p));
  double* g = work ? work : own.data();
  double *u = g + (size_t)n * n, *h = u + (size_t)n * n;
  regularisedgram(a, m, n, g, regularise);
  // The Cholesky factor solves the normal equations directly: the same x as multiplying by
  // the explicit inverse up to rounding, at a fraction of the cost.
  if (choleskyupper(n, g, u) == 0.0) return -1;
  // h = a^T b, accumulated row of a by row of a.
  initializemat(h, n * p, 0.0);
  for (uint32_t l = 0; l < m; l++) {
    const double* al = a + (size_t)l * n;
    for (uint32_t c = 0; c < p; c++) {
      double blc = b[(size_t)l * p + c];
      for (uint32_t i = 0; i < n; i++) h[(size_t)i * p + c] += al[i] * blc;
    }
  }
  choleskysolve(n, u, h, p);
  copymat(x, h, n * p);
  return 0;
}

namespace {

// Adds, for the Q points k < Q in turn, cos(d*angle_k) to C[d] for d < 2n-1 and
// 2cos(d*angle_k)*y_k to h[d] for 1 <= d < n (1 and y_k at d = 0), each cosine by turning the
// point's phasor once more. The points' recurrences run side by side; every sum still takes
// its terms in point order.
template <uint32_t Q>
VELK_INLINE_KERNEL void addcosinesums(const double* angles, const double* y, uint32_t n, double* C,
                                      double* h) {
  double cw[Q], sw[Q], c[Q], s[Q];
  for (uint32_t k = 0; k < Q; k++) {
    cw[k] = std::cos(angles[k]);
    sw[k] = std::sin(angles[k]);
    c[k] = 1.0;
    s[k] = 0.0;
    C[0] += 1.0;
    h[0] += y[k];
  }
  const uint32_t D = 2 * n - 1;
  for (uint32_t d = 1; d < D; d++)
    for (uint32_t k = 0; k < Q; k++) {
      const double cn = c[k] * cw[k] - s[k] * sw[k];
      s[k] = s[k] * cw[k] + c[k] * sw[k];
      c[k] = cn;
      C[d] += c[k];
      if (d < n) h[d] += 2 * c[k] * y[k];
    }
}

}  // namespace

VELK_WIDE_VECTORS int32_t solvecosineseries(const double* angles, const double* y, double* x, uint32_t m,
                                            uint32_t n, double* work, int16_t regularise) {
  assert(x != angles && x != y);
  if (n == 0) return -1;
  std::vector<double> own;
  if (!work) own.resize((size_t)n * (2 * n + 1));
  double* g = work ? work : own.data();
  double *u = g + (size_t)n * n, *h = u + (size_t)n * n;
  double* C = u;  // the 2n-1 cosine sums live in the factor's area until the factorisation
  const uint32_t D = 2 * n - 1;
  initializemat(C, D, 0.0);
  initializemat(h, n, 0.0);
  uint32_t k = 0;
  for (; k + 4 <= m; k += 4) addcosinesums<4>(angles + k, y + k, n, C, h);
  for (; k < m; k++) addcosinesums<1>(angles + k, y + k, n, C, h);
  for (uint32_t i = 0; i < n; i++)
    for (uint32_t j = 0; j < n; j++) {
      const double scale = (i == 0 ? 1.0 : 2.0) * (j == 0 ? 1.0 : 2.0);
      g[(size_t)i * n + j] = scale * 0.5 * (C[i > j ? i - j : j - i] + C[i + j]);
    }
  addpenalty(g, n, regularise);
  if (choleskyupper(n, g, u) == 0.0) return -1;
  choleskysolve(n, u, h, 1);
  copymat(x, h, n);
  return 0;
}

int32_t lininterpord(uint32_t n, const double* xs, const double* ys, uint32_t q, const double* xq,
                     double* yq) {
  assert(n > 0);
  assert(issorted(xs, n, 1) && issorted(xq, q, 1));
  if (n == 1) return initializemat(yq, q, ys[0]);  // a single point: constant, whatever the queries
  uint32_t h = q;
  while (h > 0 && xq[h - 1] >= xs[n - 1]) yq[--h] = ys[n - 1];
  uint32_t i = 0;
  for (; i < h && xs[0] >= xq[i]; i++) yq[i] = ys[0];
  // The segment bound keeps out-of-order query points inside the arrays.
  for (uint32_t s = 1; i < h; i++) {
    while (s < n - 1 && xq[i] >= xs[s]) s++;
    yq[i] = ys[s - 1] + (xq[i] - xs[s - 1]) * (ys[s] - ys[s - 1]) / (xs[s] - xs[s - 1]);
  }
  return 0;
}

int32_t sortelems(double* v, uint32_t n, uint32_t k, int32_t order) {
  if (k > n) k = n;
  for (uint32_t i = 0; i <= k && i < n; i++)
    for (uint32_t j = i + 1; j < n; j++)
      if (order == -1 ? v[j] > v[i] : v[j] < v[i]) std::swap(v[i], v[j]);
  return 0;
}

// ---- Printing ----

int32_t printfvect(const double* v, uint32_t n, const char* format) {
  return printfmat(v, n > 0, n, format);
}

int32_t printfmat(const double* m, uint32_t rows, uint32_t cols, const char* format) {
  std::fputs("[", stdout);
  for (uint32_t i = 0; i < rows && cols > 0; i++) {
    if (i > 0) std::fputs("; ", stdout);
    for (uint32_t j = 0; j < cols; j++) {
      if (j > 0) std::fputs(" ", stdout);
      std::printf(format, m[(size_t)i * cols + j]);
    }
  }
  std::fputs("]\n", stdout);
  return 0;
}

}  // namespace velk
