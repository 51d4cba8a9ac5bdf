#include "dft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

using namespace velk;

namespace {

using cvec = std::vector<complex>;

// Deterministic pseudo-random values in [-1, 1).
cvec randomvalues(int32_t n, unsigned seed) {
  std::srand(seed);
  cvec x(n);
  for (auto& v : x) {
    v.re = 2.0 * std::rand() / (RAND_MAX + 1.0) - 1.0;
    v.im = 2.0 * std::rand() / (RAND_MAX + 1.0) - 1.0;
  }
  return x;
}

// Direct O(n^2) transform in long double with exact reduction of k*t modulo n.
cvec directdft(const cvec& x, int sign) {
  const int64_t n = static_cast<int64_t>(x.size());
  const long double pi = 3.14159265358979323846264338327950288L;
  std::vector<long double> cosines(n), sines(n);
  for (int64_t j = 0; j < n; ++j) {
    cosines[j] = std::cos(2 * pi * j / n);
    sines[j] = sign * std::sin(2 * pi * j / n);
  }
  cvec out(n);
  for (int64_t k = 0; k < n; ++k) {
    long double sr = 0, si = 0;
    for (int64_t t = 0; t < n; ++t) {
      const long double c = cosines[(k * t) % n], s = sines[(k * t) % n];
      sr += x[t].re * c - x[t].im * s;
      si += x[t].re * s + x[t].im * c;
    }
    out[k] = {static_cast<double>(sr), static_cast<double>(si)};
  }
  return out;
}

// Largest deviation between a and b relative to the largest magnitude in b.
double relativeerror(const cvec& a, const cvec& b) {
  double err = 0, scale = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    err = std::max(err, std::hypot(a[i].re - b[i].re, a[i].im - b[i].im));
    scale = std::max(scale, std::hypot(b[i].re, b[i].im));
  }
  return err / scale;
}

// The transform written out step by step: bit count, per-index bit reversal by scanning
// bits, offset-major butterflies with the twiddle recurrence.
void literaltransform(int32_t n, complex* x, int dir) {
  int m = 1;
  while ((n >> m) > 0) ++m;
  m -= 1;
  for (int32_t i = 0; i < n; ++i) {
    int32_t j = 0;
    for (int b = m - 1; b >= 0; --b) {
      if (i & (1 << b)) j += 1 << (m - 1 - b);
    }
    if (j >= i) std::swap(x[i], x[j]);
  }
  for (int32_t L = 2; L <= n; L *= 2) {
    const int32_t H = L / 2;
    const double theta = (dir == -1 ? 6.283185307179586 : -6.283185307179586) / L;
    const double u = std::cos(theta), v = std::sin(theta);
    double wr = 1, wi = 0;
    for (int32_t q = 0; q < H; ++q) {
      for (int32_t b = 0; b < n; b += L) {
        complex& xa = x[b + q];
        complex& xp = x[b + q + H];
        const double tr = xp.re * wr - xp.im * wi, ti = xp.re * wi + xp.im * wr;
        const complex old = xa;
        xa = {old.re + tr, old.im + ti};
        xp = {old.re - tr, old.im - ti};
      }
      const double nr = wr * u - wi * v;
      wi = wi * u + wr * v;
      wr = nr;
    }
  }
}

class FftSizes : public ::testing::TestWithParam<int32_t> {};

TEST_P(FftSizes, MatchesDirectTransformBothWays) {
  const int32_t n = GetParam();
  for (int sign : {-1, 1}) {
    cvec x = randomvalues(n, 7 + n + sign);
    const cvec expected = directdft(x, sign);
    (sign < 0 ? fftc : ifftc)(n, x.data());  // the inverse is not scaled
    EXPECT_LE(relativeerror(x, expected), n <= 1024 ? 1e-12 : 1e-11) << "n = " << n << " sign " << sign;
  }
}

TEST_P(FftSizes, ForwardThenInverseGivesNTimesInput) {
  const int32_t n = GetParam();
  const cvec input = randomvalues(n, 3 + n);
  cvec x = input;
  fftc(n, x.data());
  ifftc(n, x.data());
  for (auto& v : x) {
    v.re /= n;
    v.im /= n;
  }
  EXPECT_LE(relativeerror(x, input), 1e-12) << "n = " << n;
}

// The transform equals the step-by-step algorithm bit for bit, whatever loop order it uses.
void expectsameasliteral(int32_t n) {
  for (int dir : {1, -1}) {
    cvec x = randomvalues(n, 5 + n);
    cvec ref = x;
    dofftc(n, x.data(), static_cast<int8_t>(dir));
    literaltransform(n, ref.data(), dir);
    for (int32_t i = 0; i < n; ++i) {
      ASSERT_EQ(x[i].re, ref[i].re) << "n = " << n << " i = " << i;
      ASSERT_EQ(x[i].im, ref[i].im) << "n = " << n << " i = " << i;
    }
  }
}

TEST_P(FftSizes, EqualsStepByStepTransformExactly) {
  expectsameasliteral(GetParam());
}

// Sizes above the split form's twiddle table, which run the scalar stages.
TEST(Fft, LargeTransformsEqualStepByStepTransformExactly) {
  for (int32_t n : {8192, 16384, 65536}) expectsameasliteral(n);
}

// The twiddles of each size are made by whichever transform first needs them; transforms
// started together in several threads, each taking the sizes in another order, still equal the
// step-by-step algorithm.
TEST(Fft, TransformsInParallelThreadsEqualStepByStepTransform) {
  std::vector<std::thread> threads;
  std::vector<int> mismatches(4, 0);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t, &mismatches] {
      for (int k = 0; k < 13; ++k) {
        const int32_t n = 1 << ((k + 3 * t) % 13);
        for (int dir : {1, -1}) {
          cvec x = randomvalues(n, 11 + n), ref = x;
          dofftc(n, x.data(), static_cast<int8_t>(dir));
          literaltransform(n, ref.data(), dir);
          for (int32_t i = 0; i < n; ++i) mismatches[t] += x[i].re != ref[i].re || x[i].im != ref[i].im;
        }
      }
    });
  for (std::thread& th : threads) th.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}

TEST_P(FftSizes, SplitFormEqualsInterleavedForm) {
  const int32_t n = GetParam();
  for (int dir : {1, -1}) {
    cvec x = randomvalues(n, 9 + n);
    std::vector<double> re(n), im(n);
    for (int32_t i = 0; i < n; ++i) {
      re[i] = x[i].re;
      im[i] = x[i].im;
    }
    (dir == 1 ? fftc : ifftc)(n, x.data());
    (dir == 1 ? fftr : ifftr)(n, re.data(), im.data());
    for (int32_t i = 0; i < n; ++i) {
      ASSERT_EQ(re[i], x[i].re);
      ASSERT_EQ(im[i], x[i].im);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(PowersOfTwo, FftSizes,
                         ::testing::Values(1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096),
                         [](const ::testing::TestParamInfo<int32_t>& info) {
                           return "n" + std::to_string(info.param);
                         });

TEST(Fft, ImpulseGivesFlatSpectrum) {
  const int32_t n = 64;
  cvec x(n, complex{0, 0});
  x[0].re = 1;
  fftc(n, x.data());
  for (const auto& v : x) {
    EXPECT_EQ(v.re, 1.0);
    EXPECT_EQ(v.im, 0.0);
  }
}

TEST(Fft, CosineOfKnownFrequencyPeaksAtItsBins) {
  const int32_t n = 256;
  const int bin = 19;
  std::vector<double> re(n), im(n, 0.0);
  for (int32_t t = 0; t < n; ++t) re[t] = 3.0 * std::cos(2 * M_PI * bin * t / n + 0.4);
  fftr(n, re.data(), im.data());
  for (int32_t k = 0; k < n; ++k) {
    const double mag = std::hypot(re[k], im[k]);
    if (k == bin || k == n - bin) {
      EXPECT_NEAR(mag, 1.5 * n, 1e-9);
    } else {
      EXPECT_NEAR(mag, 0.0, 1e-9) << "bin " << k;
    }
  }
  // Forward sign convention e^(-j...): the positive-frequency bin carries phase +0.4.
  EXPECT_NEAR(std::atan2(im[bin], re[bin]), 0.4, 1e-12);
}

TEST(Fft, RealInputGivesConjugateSymmetricSpectrum) {
  const int32_t n = 128;
  std::vector<double> re(n), im(n, 0.0);
  std::srand(42);
  for (auto& v : re) v = std::rand() / (RAND_MAX + 1.0) - 0.5;
  fftr(n, re.data(), im.data());
  EXPECT_NEAR(im[0], 0.0, 1e-13);
  EXPECT_NEAR(im[n / 2], 0.0, 1e-13);
  for (int32_t k = 1; k < n; ++k) {
    EXPECT_NEAR(re[n - k], re[k], 1e-12);
    EXPECT_NEAR(im[n - k], -im[k], 1e-12);
  }
}

TEST(Fft, DirectionsOtherThanMinusOneAreForward) {
  const int32_t n = 32;
  const cvec input = randomvalues(n, 99);
  cvec forward = input;
  fftc(n, forward.data());
  for (int8_t dir : {int8_t{0}, int8_t{2}, int8_t{-2}, int8_t{127}}) {
    cvec x = input;
    EXPECT_EQ(dofftc(n, x.data(), dir), 0);
    for (int32_t i = 0; i < n; ++i) {
      ASSERT_EQ(x[i].re, forward[i].re);
      ASSERT_EQ(x[i].im, forward[i].im);
    }
  }
}

TEST(Fft, SizesThatAreNotPowersOfTwoAreRejectedUntouched) {
  for (int32_t n : {3, 6, 12, 100, 1000, -4}) {
    const int32_t count = n > 0 ? n : 4;
    const cvec input = randomvalues(count, 17);
    cvec x = input;
    EXPECT_EQ(dofftc(n, x.data(), 1), -1) << n;
    std::vector<double> re(count, 1.5), im(count, -0.5);
    EXPECT_EQ(dofftr(n, re.data(), im.data(), -1), -1) << n;
    for (int32_t i = 0; i < count; ++i) {
      EXPECT_EQ(x[i].re, input[i].re);
      EXPECT_EQ(x[i].im, input[i].im);
      EXPECT_EQ(re[i], 1.5);
      EXPECT_EQ(im[i], -0.5);
    }
  }
  EXPECT_EQ(dofftc(0, nullptr, 1), 0);  // no points: nothing to do
}

}  // namespace
