#pragma once
// Unscaled in-place radix-2 fast Fourier transforms, interleaved and split storage, and the
// complex type of the library. Built on no other module.
#include <cstdint>

// One complex value: two consecutive doubles, real part first.
struct complex {
  double re;
  double im;
};

// Forward transform of n complex values in place (n a power of two).
void fftc(int32_t n, complex* x);
// Inverse transform of n complex values in place, not scaled by 1/n.
void ifftc(int32_t n, complex* x);
// Forward transform of n points held as separate real and imaginary arrays.
void fftr(int32_t n, double* re, double* im);
// Inverse transform of split arrays in place, not scaled by 1/n.
void ifftr(int32_t n, double* re, double* im);
// Worker of fftc/ifftc: direction -1 is inverse, any other forward; 0, or -1 when n is not a power of two.
int dofftc(int32_t n, complex* x, int8_t direction);
// Worker of fftr/ifftr: direction -1 is inverse, any other forward; 0, or -1 when n is not a power of two.
int dofftr(int32_t n, double* re, double* im, int8_t direction);
