// Numeric routines of the toolkit library.
#pragma once

#include <cstddef>

namespace velk {

// Solves (T + H)·a = b for the n × n matrix with T[i][j] = t[|i − j|] (symmetric Toeplitz,
// first row t, n values) and H[i][j] = h[i + j] (Hankel, 2n − 1 values), n ≥ 1, by a block
// Levinson recursion over 2 × 2 blocks. A negative eps means 1e-6. Returns 0, or −1 when a
// 2 × 2 pivot has a determinant below eps in magnitude, when n < 1 or when the call's work
// arrays (14·n doubles, freed before it returns) cannot be allocated; a is then left untouched.
// Prints nothing and keeps no state: calls may run in parallel threads.
int tphsolve(const double* t, const double* h, double* a, const double* b, int n, double eps);

// |1 + r·(x + j·y)|^(2/r), and its limit exp(2x) for r = 0.
double gammamag(double r, double x, double y);

// Copies size × nitem bytes from a to b; overlapping blocks are copied correctly.
void blockcopy(const void* a, void* b, size_t size, int nitem);

// Sets size × nitem bytes at ptr to zero.
void padz(void* ptr, size_t size, int nitem);

}  // namespace velk
