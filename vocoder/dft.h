#pragma once
// Unscaled in-place radix-2 fast Fourier transforms, interleaved and split storage, and the
// complex type of the library. Built on no other module.
#include <cstdint>

namespace velk {

// One complex value: two consecutive doubles, real part first.
struct complex {
  double re;
  double im;
};

// Each transform returns 0, or -1 (leaving the values untouched) when n is not a power of two;
// a transform of 0 or 1 point changes nothing.
// Forward transform of n complex values in place.
int fftc(int32_t n, complex* x);
// Inverse transform of n complex values in place, not scaled by 1/n.
int ifftc(int32_t n, complex* x);
// Forward transform of n points held as separate real and imaginary arrays.
int fftr(int32_t n, double* re, double* im);
// Inverse transform of split arrays in place, not scaled by 1/n.
int ifftr(int32_t n, double* re, double* im);
// Forward transform of n real values v held in x as n/2 complex values (x[k] = v[2k] + j v[2k+1]),
// in place, by one complex transform of n/2 points and a split step: on return x[k] is bin k for
// 0 < k < n/2, x[0].re is bin 0 and x[0].im bin n/2 (both real); the bins above n/2 are the
// conjugates of those below. 0, or -1 (values untouched) when n is not a power of two of at least 2.
int fftrealpacked(int32_t n, complex* x);
// Inverse transform, not scaled by 1/n, of a spectrum with conjugate symmetry (bin n-k the
// conjugate of bin k) given by its bins 0..n/2 in re and im: the real result replaces re[0..n);
// im and the bins above n/2 are not read (the imaginary parts of bins 0 and n/2 count as 0). One
// complex transform of n/2 points. 0, or -1 (values untouched) when n is not a power of two of at
// least 2.
int ifftreal(int32_t n, double* re, const double* im);
// Worker of fftc/ifftc: direction -1 is inverse, any other forward; 0, or -1 when n is not a power of two.
int dofftc(int32_t n, complex* x, int8_t direction);
// Worker of fftr/ifftr: direction -1 is inverse, any other forward; 0, or -1 when n is not a power of two.
int dofftr(int32_t n, double* re, double* im, int8_t direction);

}  // namespace velk
