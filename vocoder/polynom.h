#pragma once
// Polynomials (coefficients highest power first, a degree-n polynomial holding n+1 of them), root
// finders, least-squares fit, three-point parabola fits and Chebyshev polynomial tables. Built on
// matvect (the fit's inverse) and dft (the complex type); caller-owned arrays throughout.
#include <cstdint>
#include "dft.h"

namespace velk {

// Chebyshev table: T_0..T_N and U_0..U_(N-1), each row k at element k*(k+1)/2, highest power first.
struct mempolytseb {
  uint32_t N;  // highest order of T held
  double* T;   // (N+1)(N+2)/2 coefficients
  double* U;   // N(N+1)/2 coefficients
};

// Value of the degree-n polynomial p at x (Horner's rule).
double evalpoly(const double* p, uint32_t n, double x);
// Value of the derivative of the degree-n polynomial p at x.
double evalpolyd(const double* p, uint32_t n, double x);
// dst += f * src, constant terms aligned.
//   dst  in/out: n+1 coefficients (degree n)
//   n    degree of dst
//   src  in: m+1 coefficients (degree m)
//   m    degree of src, at most n
//   f    factor; 0 leaves dst untouched
// Returns 0, or -1 when m > n (nothing added).
int accumpoly(double* dst, uint32_t n, const double* src, uint32_t m, double f);
// All n complex roots of the degree-n polynomial p (companion-matrix eigenvalues); 0, or -1 if not converged.
int findroots(const double* p, uint32_t n, complex* roots);
// n real roots of p when all lie in (-1, 1), by simultaneous iteration; 0, or -1 at the update limit.
int findrootslsf(const double* p, uint32_t n, double* roots);
// Least-squares polynomial of the given degree through the points (x[i], y[i]), from the normal
// equations.
//   x, y          in: count abscissae and ordinates
//   count         points, at least 1
//   coefficients  out: degree+1 doubles, caller's, highest power first
//   degree        degree of the polynomial
// Returns 0, or -1 for a null array, no points or singular normal equations.
int polyfit(const double* x, const double* y, uint32_t count, double* coefficients, uint32_t degree);
// Parabola (alpha, beta, gamma) through (-1, y[0]), (0, y[1]), (1, y[2]); returns 0.
int parabfit(const double* y, double* parabola);
// Parabola through (-1, y0), (0, y1), (1, y2); returns 0.
int parabfitpoints(double* parabola, double y0, double y1, double y2);
// Parabola through the three points (x[i], y[i]); returns 0.
int parabfitxy(const double* x, const double* y, double* parabola);
// Parabola through the three points (x0, y0), (x1, y1), (x2, y2).
//   parabola    out: 3 doubles, caller's: alpha, beta, gamma of alpha x^2 + beta x + gamma
//   x0, x1, x2  abscissae, pairwise distinct
//   y0, y1, y2  ordinates
// Returns 0.
int parabfitpointsxy(double* parabola, double x0, double x1, double x2, double y0, double y1, double y2);
// Abscissa -beta/(2 alpha) of the parabola's extremum.
double parabextx(const double* parabola);
// Value gamma - beta^2/(4 alpha) at the parabola's extremum.
double parabexty(const double* parabola);
// New Chebyshev table with T_0..T_N and U_0..U_(N-1), owned by the caller until destroyed.
mempolytseb* mempolytsebcreate(uint32_t N);
// Frees the table and its rows; returns 0.
int mempolytsebdestroy(mempolytseb* table);
// Row k of T (k+1 coefficients, highest power first).
const double* polytsebT(uint32_t k, const mempolytseb* table);
// Row k of U (k+1 coefficients, highest power first).
const double* polytsebU(uint32_t k, const mempolytseb* table);

}  // namespace velk
