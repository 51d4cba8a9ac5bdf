#pragma once
// Dense matrix and vector routines over caller-owned arrays of doubles.
//
// A matrix is a contiguous row-major array: element (i, j) of an r x s matrix is at i*s + j.
// Vectors are 1 x n matrices. Every result array is allocated by the caller. Integer routines
// return 0 on success and -1 on failure. A "factor" f of exactly 0, 1 or -1 takes a shorter
// path with the same result as the general formula. Element-wise routines accept the same
// array as input and output; products, transpositions, solvers and block copies do not.
#include <cstdint>

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
// dst (rows x cols) = f*src, or f*src^T when transpose is set (src then cols x rows).
int32_t copymatwtr(double* dst, const double* src, uint32_t rows, uint32_t cols, uint8_t transpose, double f);
// dst (rows x cols) = block of src (srccols columns) starting at (row0, col0).
int32_t copysubmatintomat(double* dst, const double* src, uint32_t rows, uint32_t cols, uint32_t srccols,
                          uint32_t row0, uint32_t col0);
// Writes the rows x cols matrix src into dst (dstcols columns) starting at (row0, col0).
int32_t copymatintosubmat(double* dst, const double* src, uint32_t dstcols, uint32_t rows, uint32_t cols,
                          uint32_t row0, uint32_t col0);
// Copies a rows x cols block from src at (srcrow0, srccol0) to dst at (dstrow0, dstcol0).
int32_t copysubmatintosubmat(double* dst, const double* src, uint32_t dstcols, uint32_t srccols,
                             uint32_t dstrow0, uint32_t dstcol0, uint32_t srcrow0, uint32_t srccol0,
                             uint32_t rows, uint32_t cols);
// dst row k = src row rowidx[k] for k < count; rows have cols elements.
int32_t copyrowsintomat(double* dst, const double* src, uint32_t cols, uint32_t count,
                        const uint32_t* rowidx);
// dst (rows x count) column k = src (srccols columns) column colidx[k].
int32_t copycolsintomat(double* dst, const double* src, uint32_t rows, uint32_t count, const uint32_t* colidx,
                        uint32_t srccols);
// dst[i][j] = src[rowidx[i]][colidx[j]]; src has srccols columns.
int32_t copyrowscolsintomat(double* dst, const double* src, uint32_t rowcount, const uint32_t* rowidx,
                            uint32_t colcount, const uint32_t* colidx, uint32_t srccols);
// Swaps the contents of a and b (count elements).
int32_t exchangemats(double* a, double* b, uint32_t count);
// Copies the lower triangle of the n x n matrix m onto its upper triangle.
int32_t repltriangmat(double* m, uint32_t n);
// Copies the whole brows x bcols blocks of src (rows x cols) into dst as contiguous row-major blocks.
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
// out = next - 2*cur + prev.
int32_t getdelta2win3(double* out, const double* prev, const double* cur, const double* next, uint32_t count);

// ---- Products and covariance accumulation ----

// out (m x p) = a (m x k) * b (k x p).
int32_t prodmat(const double* a, const double* b, double* out, uint32_t m, uint32_t k, uint32_t p);
// out (m x p) += f * a (m x k) * b (k x p).
int32_t addprodmat(const double* a, const double* b, double* out, uint32_t m, uint32_t k, uint32_t p,
                   double f);
// Lower triangle of out (n x n) += f * a * a^T for a of n x k.
int32_t addltriangprodmatt(const double* a, double* out, uint32_t k, uint32_t n, double f);
// out (n x n) = a (n x k) * b (k x n) known to be symmetric (symmetry 1) or antisymmetric.
int32_t simprodmat(const double* a, const double* b, double* out, uint32_t n, uint32_t k, uint8_t symmetry);
// out (n x n) = a (n x k) * b (k x n) known to be (anti)symmetric about its centre.
int32_t simpmprodmat(const double* a, const double* b, double* out, uint32_t n, uint32_t k, uint8_t symmetry);
// Lower triangle of cov (n x n) += f * (x - mu)(x - mu)^T.
int32_t addltriangcovmat(double* cov, const double* x, const double* mu, uint32_t n, double f);
// var[i] += f * (x[i] - mu[i])^2.
int32_t adddiagcovmat(double* var, const double* x, const double* mu, uint32_t n, double f);
// y[i] += f * (b[i] + sum_j a[i][j]*x[j]) for a of m x n, i < m.
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
// p (n x m) = (a^T a)^-1 a^T for a of m x n (optionally regularised); work is 2n^2 doubles or null.
int32_t pseudoinv(const double* a, double* p, uint32_t m, uint32_t n, double* work, int16_t regularise);
// x (n x p) = (a^T a)^-1 a^T b for a of m x n, b of m x p (optionally regularised);
// work is n(2n + p) doubles or null.
int32_t solveleastsquares(const double* a, const double* b, double* x, uint32_t m, uint32_t n, uint32_t p,
                          double* work, int16_t regularise);
// solveleastsquares for one right-hand side y (m values) and the cosine-series matrix
// a[k][j] = s_j cos(j * angles[k]) (m x n, s_0 = 1, s_j = 2), without forming a: its Gram matrix
// is Toeplitz-plus-Hankel, (a^T a)[i][j] = s_i s_j (C[i-j] + C[i+j]) / 2 with C[d] = sum_k
// cos(d * angles[k]), so one pass of 2n-1 cosines per row replaces the m x n matrix and its
// product. Equal to solveleastsquares on that matrix up to rounding; work is n(2n + 1) doubles
// or null. 0, or -1 when the normal equations are not positive definite.
int32_t solvecosineseries(const double* angles, const double* y, double* x, uint32_t m, uint32_t n,
                          double* work, int16_t regularise);
// Piecewise-linear interpolation of (xs, ys) (n points, ascending) at q ascending points xq into yq.
int32_t lininterpord(uint32_t n, const double* xs, const double* ys, uint32_t q, const double* xq,
                     double* yq);
// Partial selection sort in place: positions 0..k hold the k+1 smallest (order -1: largest) in order.
int32_t sortelems(double* v, uint32_t n, uint32_t k, int32_t order);

// ---- Printing ----

// Prints "[v0 v1 ...]" and a newline to standard output using the printf-style format per value.
int32_t printfvect(const double* v, uint32_t n, const char* format);
// Prints "[r0c0 r0c1; r1c0 r1c1]" and a newline to standard output using the format per value.
int32_t printfmat(const double* m, uint32_t rows, uint32_t cols, const char* format);
