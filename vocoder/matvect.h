#pragma once
// Dense matrix and vector routines over caller-owned arrays of doubles: the numerics under the
// signal model's least-squares fits and envelopes. Built on no other module.
//
// A matrix is a contiguous row-major array: element (i, j) of an r x s matrix is at i*s + j.
// Vectors are 1 x n matrices. Every result array is allocated by the caller. Integer routines
// return 0 on success and -1 on failure. A "factor" f of exactly 0, 1 or -1 takes a shorter
// path with the same result as the general formula. Element-wise routines accept the same
// array as input and output; products, transpositions, solvers and block copies do not.
#include <cstdint>

namespace velk {

// ---- Construction, comparison and copying ----

// Sets each of the count elements of m to value.
int32_t initializemat(double* m, uint32_t count, double value);
// n x n matrix of zeros whose diagonal elements are value.
int32_t initializedmat(double* m, uint32_t n, double value);
// n x n identity matrix.
int32_t identmat(double* m, uint32_t n);
// 1 if a and b are equal element by element within tolerance (tolerance 0: exact, NaN unequal), else 0.
int32_t iseqmat(const double* a, const double* b, uint32_t count, double tolerance);
// dst = src (count elements).
int32_t copymat(double* dst, const double* src, uint32_t count);
// dst = f*src, or f*src^T when transpose is set.
//   dst        out: rows x cols doubles, caller's; not src
//   src        in: rows x cols, or cols x rows when transposed
//   rows       rows of dst
//   cols       columns of dst
//   transpose  non-zero: transpose src
//   f          factor
// Returns 0.
int32_t copymatwtr(double* dst, const double* src, uint32_t rows, uint32_t cols, uint8_t transpose, double f);
// dst = the rows x cols block of src whose first element is (row0, col0).
//   dst      out: rows x cols doubles, caller's
//   src      in: a matrix of srccols columns holding the block
//   rows     rows of the block
//   cols     columns of the block
//   srccols  columns of src
//   row0     first row of the block in src
//   col0     first column of the block in src
// Returns 0.
int32_t copysubmatintomat(double* dst, const double* src, uint32_t rows, uint32_t cols, uint32_t srccols,
                          uint32_t row0, uint32_t col0);
// Writes the rows x cols matrix src into dst with its first element at (row0, col0).
//   dst      in/out: a matrix of dstcols columns holding the block; the rest is left as it is
//   src      in: rows x cols doubles
//   dstcols  columns of dst
//   rows     rows of src
//   cols     columns of src
//   row0     first row of the block in dst
//   col0     first column of the block in dst
// Returns 0.
int32_t copymatintosubmat(double* dst, const double* src, uint32_t dstcols, uint32_t rows, uint32_t cols,
                          uint32_t row0, uint32_t col0);
// Copies a rows x cols block from src at (srcrow0, srccol0) to dst at (dstrow0, dstcol0).
//   dst               in/out: a matrix of dstcols columns; only the block is written
//   src               in: a matrix of srccols columns
//   dstcols, srccols  columns of dst and of src
//   dstrow0, dstcol0  first row and column of the block in dst
//   srcrow0, srccol0  first row and column of the block in src
//   rows, cols        size of the block
// Returns 0.
int32_t copysubmatintosubmat(double* dst, const double* src, uint32_t dstcols, uint32_t srccols,
                             uint32_t dstrow0, uint32_t dstcol0, uint32_t srcrow0, uint32_t srccol0,
                             uint32_t rows, uint32_t cols);
// dst row k = src row rowidx[k] for k < count.
//   dst     out: count x cols doubles, caller's
//   src     in: a matrix of cols columns with every row that rowidx names
//   cols    columns of src and dst
//   count   rows to copy
//   rowidx  in: count row indices into src
// Returns 0.
int32_t copyrowsintomat(double* dst, const double* src, uint32_t cols, uint32_t count,
                        const uint32_t* rowidx);
// dst column k = src column colidx[k] for k < count.
//   dst      out: rows x count doubles, caller's
//   src      in: rows x srccols
//   rows     rows of src and dst
//   count    columns to copy
//   colidx   in: count column indices into src
//   srccols  columns of src
// Returns 0.
int32_t copycolsintomat(double* dst, const double* src, uint32_t rows, uint32_t count, const uint32_t* colidx,
                        uint32_t srccols);
// dst[i][j] = src[rowidx[i]][colidx[j]].
//   dst       out: rowcount x colcount doubles, caller's
//   src       in: a matrix of srccols columns
//   rowcount  rows of dst; rowidx holds that many row indices into src
//   colcount  columns of dst; colidx holds that many column indices into src
//   srccols   columns of src
// Returns 0.
int32_t copyrowscolsintomat(double* dst, const double* src, uint32_t rowcount, const uint32_t* rowidx,
                            uint32_t colcount, const uint32_t* colidx, uint32_t srccols);
// Swaps the contents of a and b (count elements).
int32_t exchangemats(double* a, double* b, uint32_t count);
// Copies the lower triangle of the n x n matrix m onto its upper triangle.
int32_t repltriangmat(double* m, uint32_t n);
// Copies the whole brows x bcols blocks of src into dst as contiguous row-major blocks, block
// row after block row; a partial block at the right or bottom edge is left out.
//   src           in: rows x cols
//   rows, cols    size of src
//   dst           out: (rows/brows)*(cols/bcols) blocks of brows*bcols doubles, caller's
//   brows, bcols  size of one block, both at least 1
// Returns 0.
int32_t redistblocks(const double* src, uint32_t rows, uint32_t cols, double* dst, uint32_t brows,
                     uint32_t bcols);

// ---- Reductions and statistics ----

// Sum of v[i]^2, or of (v[i]*w[i])^2 when w is given (zero weights skipped).
double module2(const double* v, uint32_t n, const double* w);
// Sum of (a[i] - b[i])^2.
double eucldist2(const double* a, const double* b, uint32_t n);
// Sum of ((a[i] - b[i])*w[i])^2 (zero weights skipped); eucldist2 when w is null.
double weucldist2(const double* a, const double* b, uint32_t n, const double* w);
// Sum of the elements.
double sumelems(const double* v, uint32_t n);
// Sum of the natural logarithms of the elements.
double sumlogelems(const double* v, uint32_t n);
// Product of the elements (1 for n = 0).
double prodelems(const double* v, uint32_t n);
// Arithmetic mean of the elements.
double meanelems(const double* v, uint32_t n);
// Partly sorts v in place and returns v[n/2] (the upper middle value for even n).
double medianelem(double* v, uint32_t n);
// Index of the first maximum (0 for n <= 1).
uint32_t indmaxelem(const double* v, uint32_t n);
// Index of the first minimum (0 for n <= 1).
uint32_t indminelem(const double* v, uint32_t n);
// Value of the first maximum.
double maxelem(const double* v, uint32_t n);
// Value of the first minimum.
double minelem(const double* v, uint32_t n);
// Smallest diagonal element of the n x n matrix m.
double mindiagmat(const double* m, uint32_t n);
// x^T * a * x for the n x n matrix a.
double quadtransf(const double* x, const double* a, uint32_t n);
// 1 if v is ordered by mode (2 strictly ascending, -2 strictly descending, -1 non-increasing,
// other non-decreasing), else 0.
int32_t issorted(const double* v, uint32_t n, int32_t mode);

// ---- Element-wise arithmetic ----

// out = a + b.
int32_t summat(const double* a, const double* b, double* out, uint32_t count);
// out = a - b.
int32_t difmat(const double* a, const double* b, double* out, uint32_t count);
// x = x + f*y.
int32_t addmat(double* x, const double* y, uint32_t count, double f);
// x = x - f*y.
int32_t subtmat(double* x, const double* y, uint32_t count, double f);
// out = a*b element by element.
int32_t elemprodmat(const double* a, const double* b, double* out, uint32_t count);
// out = out + f*a*b element by element.
//   a, b   in: count doubles each
//   out    in/out: count doubles
//   count  elements
//   f      factor; 0 leaves out untouched
// Returns 0.
int32_t addelemprodmat(const double* a, const double* b, double* out, uint32_t count, double f);
// x = x*y*f element by element.
int32_t elemmultmat(double* x, const double* y, uint32_t count, double f);
// out = a / b element by element (no zero test).
int32_t elemcocmat(const double* a, const double* b, double* out, uint32_t count);
// x = f*x / y element by element; -1 at the first y exactly 0.
int32_t elemdivmat(double* x, const double* y, uint32_t count, double f);
// out = 1 / x element by element; -1 at the first x exactly 0.
int32_t eleminvmat(const double* x, double* out, uint32_t count);
// x = x + shift.
int32_t shiftmat(double* x, uint32_t count, double shift);
// x = f*x.
int32_t scalemat(double* x, uint32_t count, double f);
// Multiplies the lower triangle with the diagonal of the n x n matrix m by f.
int32_t scaleltriangmat(double* m, uint32_t n, double f);
// Adds value to every diagonal element of the n x n matrix m.
int32_t addconstpertmat(double* m, uint32_t n, double value);
// out = (next - prev)*0.5.
int32_t getdeltawin3(double* out, const double* prev, const double* next, uint32_t count);
// Second difference over a three-frame window: out = next - 2*cur + prev.
//   out               out: count doubles, caller's
//   prev, cur, next   in: count doubles each (the frames before, at and after the centre)
//   count             elements
// Returns 0.
int32_t getdelta2win3(double* out, const double* prev, const double* cur, const double* next, uint32_t count);

// ---- Products and covariance accumulation ----

// Matrix product out = a * b.
//   a    in: m x k
//   b    in: k x p
//   out  out: m x p doubles, caller's; neither a nor b
//   m, k, p  dimensions as above
// Returns 0.
int32_t prodmat(const double* a, const double* b, double* out, uint32_t m, uint32_t k, uint32_t p);
// out += f * a * b.
//   a    in: m x k
//   b    in: k x p
//   out  in/out: m x p; neither a nor b
//   m, k, p  dimensions as above
//   f    factor; 0 leaves out untouched
// Returns 0.
int32_t addprodmat(const double* a, const double* b, double* out, uint32_t m, uint32_t k, uint32_t p,
                   double f);
// Lower triangle (with the diagonal) of out += f * a * a^T; the upper triangle is not touched.
//   a    in: n x k
//   out  in/out: n x n; not a
//   k    columns of a
//   n    rows of a, order of out
//   f    factor; 0 leaves out untouched
// Returns 0.
int32_t addltriangprodmatt(const double* a, double* out, uint32_t k, uint32_t n, double f);
// out = a * b for a product known to be symmetric or antisymmetric: the lower triangle is
// computed and mirrored.
//   a         in: n x k
//   b         in: k x n
//   out       out: n x n doubles, caller's; neither a nor b
//   n, k      dimensions as above
//   symmetry  1: symmetric, any other value: antisymmetric
// Returns 0.
int32_t simprodmat(const double* a, const double* b, double* out, uint32_t n, uint32_t k, uint8_t symmetry);
// out = a * b for a product known to be symmetric or antisymmetric about its centre (element t
// of the storage order equals element n*n-1-t, or its negative): half is computed and mirrored.
//   a         in: n x k
//   b         in: k x n
//   out       out: n x n doubles, caller's; neither a nor b
//   n, k      dimensions as above
//   symmetry  1: symmetric, any other value: antisymmetric
// Returns 0.
int32_t simpmprodmat(const double* a, const double* b, double* out, uint32_t n, uint32_t k, uint8_t symmetry);
// Lower triangle (with the diagonal) of cov += f * (x - mu)(x - mu)^T.
//   cov  in/out: n x n; the upper triangle is not touched
//   x    in: n doubles, one observation
//   mu   in: n doubles, the mean
//   n    dimension
//   f    weight of the observation; 0 leaves cov untouched
// Returns 0.
int32_t addltriangcovmat(double* cov, const double* x, const double* mu, uint32_t n, double f);
// var[i] += f * (x[i] - mu[i])^2: the diagonal of a covariance accumulation.
//   var  in/out: n doubles
//   x    in: n doubles, one observation
//   mu   in: n doubles, the mean
//   n    dimension
//   f    weight of the observation; 0 leaves var untouched
// Returns 0.
int32_t adddiagcovmat(double* var, const double* x, const double* mu, uint32_t n, double f);
// Affine map accumulated: y[i] += f * (b[i] + sum_j a[i][j]*x[j]) for i < m.
//   x  in: n doubles
//   a  in: m x n
//   b  in: m doubles, the offset
//   y  in/out: m doubles; not x
//   n  length of x, columns of a
//   m  rows of a, length of b and y
//   f  factor; 0 leaves y untouched
// Returns 0.
int32_t addlintransf(const double* x, const double* a, const double* b, double* y, uint32_t n, uint32_t m,
                     double f);

// ---- Linear systems and inverses ----

// Inverse of the symmetric positive definite n x n matrix a; returns its determinant, 0.0 on
// failure. a is overwritten unless keepinput is 1.
double choleskyinvdet(uint32_t n, double* a, double* inverse, int16_t keepinput);
// Inverse of the symmetric Toeplitz matrix t (given in full, n x n, left unchanged).
int32_t toeplitzsiminv(uint32_t n, const double* t, double* inverse);
// Inverse of a by Gauss-Jordan elimination; a is destroyed.
int32_t gaussinv(uint32_t n, double* a, double* inverse);
// Solves a*x = b for one right-hand side; a and b are destroyed.
int32_t gausssolveleqs(uint32_t n, double* a, double* b, double* x);
// Inverse of the symmetric matrix a with half the work of gaussinv; a is destroyed.
int32_t simgaussinv(uint32_t n, double* a, double* inverse);
// Pseudo-inverse p = (a^T a + R)^-1 a^T, R = 0 or the ridge penalty 0.015791367 k^2 on diagonal
// element k.
//   a           in: m x n
//   p           out: n x m doubles, caller's; not a
//   m, n        dimensions of a
//   work        2n^2 doubles of scratch, or null for storage of the call's own
//   regularise  1: add the ridge penalty R, any other value: none
// Returns 0, or -1 when a^T a + R is not positive definite (p then undefined).
int32_t pseudoinv(const double* a, double* p, uint32_t m, uint32_t n, double* work, int16_t regularise);
// Least-squares solution x = (a^T a + R)^-1 a^T b, R as for pseudoinv, by a Cholesky factor of
// the normal equations.
//   a           in: m x n
//   b           in: m x p, p right-hand sides
//   x           out: n x p doubles, caller's; neither a nor b
//   m, n, p     dimensions as above
//   work        n(2n + p) doubles of scratch, or null for storage of the call's own
//   regularise  1: add the ridge penalty R, any other value: none
// Returns 0, or -1 when a^T a + R is not positive definite (x then not written).
int32_t solveleastsquares(const double* a, const double* b, double* x, uint32_t m, uint32_t n, uint32_t p,
                          double* work, int16_t regularise);
// solveleastsquares for one right-hand side y and the cosine-series matrix
// a[k][j] = s_j cos(j * angles[k]) (m x n, s_0 = 1, s_j = 2), without forming a: its Gram matrix
// is Toeplitz-plus-Hankel, (a^T a)[i][j] = s_i s_j (C[i-j] + C[i+j]) / 2 with C[d] = sum_k
// cos(d * angles[k]), so one pass of 2n-1 cosines per row replaces the m x n matrix and its
// product. Equal to solveleastsquares on that matrix up to rounding.
//   angles      in: m angles, radians
//   y           in: m values, the right-hand side
//   x           out: n doubles, caller's
//   m           rows (angles)
//   n           columns (cosine terms)
//   work        n(2n + 1) doubles of scratch, or null for storage of the call's own
//   regularise  1: add the ridge penalty of pseudoinv, any other value: none
// Returns 0, or -1 when the normal equations are not positive definite.
int32_t solvecosineseries(const double* angles, const double* y, double* x, uint32_t m, uint32_t n,
                          double* work, int16_t regularise);
// Piecewise-linear interpolation of the points (xs, ys) at the query points xq; queries outside
// [xs[0], xs[n-1]] take the nearer end value.
//   n   points, at least 1 (one point gives a constant)
//   xs  in: n abscissae, ascending
//   ys  in: n ordinates
//   q   query points
//   xq  in: q abscissae, ascending
//   yq  out: q doubles, caller's
// Returns 0.
int32_t lininterpord(uint32_t n, const double* xs, const double* ys, uint32_t q, const double* xq,
                     double* yq);
// Partial selection sort in place: positions 0..k hold the k+1 smallest (order -1: largest) in order.
int32_t sortelems(double* v, uint32_t n, uint32_t k, int32_t order);

// ---- Printing ----

// Prints "[v0 v1 ...]" and a newline to standard output using the printf-style format per value.
int32_t printfvect(const double* v, uint32_t n, const char* format);
// Prints "[r0c0 r0c1; r1c0 r1c1]" and a newline to standard output using the format per value.
int32_t printfmat(const double* m, uint32_t rows, uint32_t cols, const char* format);

}  // namespace velk
