#include "polynom.h"

#include <cassert>
#include <cmath>
#include <vector>

#include "matvect.h"

namespace velk {

double evalpoly(const double* p, uint32_t n, double x) {
  double v = p[0];
  for (uint32_t i = 1; i <= n; ++i) v = x * v + p[i];
  return v;
}

double evalpolyd(const double* p, uint32_t n, double x) {
  double v = n * p[0];
  for (uint32_t i = 1; i < n; ++i) v = (n - i) * p[i] + x * v;
  return v;
}

int accumpoly(double* dst, uint32_t n, const double* src, uint32_t m, double f) {
  if (m > n) return -1;
  if (f == 0.0) return 0;
  for (uint32_t i = 0; i <= m; ++i) dst[n - i] += f * src[m - i];
  return 0;
}

namespace {

// Row-major square work matrix addressed as a(i, j).
class squarematrix {
 public:
  explicit squarematrix(int n) : n_(n), v_(static_cast<size_t>(n) * n, 0.0) {}
  double& operator()(int i, int j) { return v_[static_cast<size_t>(i) * n_ + j]; }
  int size() const { return n_; }

 private:
  int n_;
  std::vector<double> v_;
};

// |a| with the sign of b.
double withsign(double a, double b) {
  return b >= 0.0 ? std::fabs(a) : -std::fabs(a);
}

// Two values count as equal when they agree after rounding to single precision.
bool singleequal(double a, double b) {
  return static_cast<float>(a) == static_cast<float>(b);
}

// Companion matrix of p (degree n): first row -p[i+1]/p[0], ones on the subdiagonal.
void companion(const double* p, squarematrix& a) {
  const int n = a.size();
  for (int i = 0; i < n; ++i) a(0, i) = -p[i + 1] / p[0];
  for (int i = 1; i < n; ++i) a(i, i - 1) = 1.0;
}

// Balances a by powers of two so that row and column norms become comparable.
void balance(squarematrix& a) {
  const int n = a.size();
  bool changed = true;
  while (changed) {
    changed = false;
    for (int i = 0; i < n; ++i) {
      double g = 0.0;
      double h = 0.0;
      for (int j = 0; j < n; ++j) {
        if (j == i) continue;
        g += std::fabs(a(j, i));
        h += std::fabs(a(i, j));
      }
      if (g == 0.0 || h == 0.0) continue;
      const double s = g + h;
      double f = 1.0;
      while (g < h / 2) {
        f *= 2;
        g *= 4;
      }
      while (g > 2 * h) {
        f /= 2;
        g /= 4;
      }
      if ((g + h) / f < 0.95 * s) {
        changed = true;
        for (int j = 0; j < n; ++j) a(i, j) *= 1.0 / f;
        for (int j = 0; j < n; ++j) a(j, i) *= f;
      }
    }
  }
}

// Sum of the magnitudes of the upper Hessenberg part of a.
double hessenbergnorm(squarematrix& a) {
  const int n = a.size();
  double norm = 0.0;
  for (int i = 0; i < n; ++i) {
    for (int j = (i > 0 ? i - 1 : 0); j < n; ++j) norm += std::fabs(a(i, j));
  }
  return norm;
}

// Lowest row l of the active block ending at nn whose subdiagonal element is negligible
// (that element is then cleared); 0 when there is none.
int findsplit(squarematrix& a, int nn, double anorm) {
  for (int l = nn; l >= 1; --l) {
    double s = std::fabs(a(l - 1, l - 1)) + std::fabs(a(l, l));
    if (s == 0.0) s = anorm;
    if (singleequal(std::fabs(a(l, l - 1)) + s, s)) {
      a(l, l - 1) = 0.0;
      return l;
    }
  }
  return 0;
}

// The two eigenvalues of the trailing 2x2 block at rows nn-1, nn.
void storepair(complex* roots, int nn, double x, double y, double w, double t) {
  const double p = 0.5 * (y - x);
  const double q = p * p + w;
  double z = std::sqrt(std::fabs(q));
  x += t;
  if (q >= 0.0) {
    z = p + withsign(z, p);
    roots[nn - 1] = {x + z, 0.0};
    roots[nn] = {x + z, 0.0};
    if (z != 0.0) roots[nn].re = x - w / z;
  } else {
    roots[nn - 1] = {x + p, -z};
    roots[nn] = {x + p, z};
  }
}

// Shift values of a double-shift step: the two shifts enter only through x, y and w.
struct shifts {
  double x;
  double y;
  double w;
};

// Starting row m of the double-shift sweep (two consecutive small subdiagonal elements), with
// the first column (p, q, r) of the shifted matrix product at that row.
int findsweepstart(squarematrix& a, int nn, int l, const shifts& sh, double v3[3]) {
  int m = nn - 2;
  for (;; --m) {
    const double z = a(m, m);
    double r = sh.x - z;
    double s = sh.y - z;
    double p = (r * s - sh.w) / a(m + 1, m) + a(m, m + 1);
    double q = a(m + 1, m + 1) - z - r - s;
    r = a(m + 2, m + 1);
    s = std::fabs(p) + std::fabs(q) + std::fabs(r);
    p /= s;
    q /= s;
    r /= s;
    v3[0] = p;
    v3[1] = q;
    v3[2] = r;
    if (m == l) break;
    const double u = std::fabs(a(m, m - 1)) * (std::fabs(q) + std::fabs(r));
    const double v = std::fabs(p) * (std::fabs(a(m - 1, m - 1)) + std::fabs(z) + std::fabs(a(m + 1, m + 1)));
    if (singleequal(u + v, v)) break;
  }
  return m;
}

// One Francis double-shift QR sweep over rows m..nn with Householder reflections.
void doubleshiftsweep(squarematrix& a, int nn, int l, int m, const double v3[3]) {
  for (int i = m + 2; i <= nn; ++i) {
    a(i, i - 2) = 0.0;
    if (i != m + 2) a(i, i - 3) = 0.0;
  }
  double p = v3[0];
  double q = v3[1];
  double r = v3[2];
  double x = 0.0;
  for (int k = m; k <= nn - 1; ++k) {
    if (k != m) {
      p = a(k, k - 1);
      q = a(k + 1, k - 1);
      r = (k != nn - 1) ? a(k + 2, k - 1) : 0.0;
      x = std::fabs(p) + std::fabs(q) + std::fabs(r);
      if (x != 0.0) {
        p /= x;
        q /= x;
        r /= x;
      }
    }
    const double s = withsign(std::sqrt(p * p + q * q + r * r), p);
    if (s == 0.0) continue;
    if (k == m) {
      if (l != m) a(k, k - 1) = -a(k, k - 1);
    } else {
      a(k, k - 1) = -s * x;
    }
    p += s;
    x = p / s;
    const double y = q / s;
    const double z = r / s;
    q /= p;
    r /= p;
    for (int j = k; j <= nn; ++j) {
      double t = a(k, j) + q * a(k + 1, j);
      if (k != nn - 1) {
        t += r * a(k + 2, j);
        a(k + 2, j) -= t * z;
      }
      a(k + 1, j) -= t * y;
      a(k, j) -= t * x;
    }
    const int last = nn < k + 3 ? nn : k + 3;
    for (int i = l; i <= last; ++i) {
      double t = x * a(i, k) + y * a(i, k + 1);
      if (k != nn - 1) {
        t += z * a(i, k + 2);
        a(i, k + 2) -= t * r;
      }
      a(i, k + 1) -= t * q;
      a(i, k) -= t;
    }
  }
}

// Eigenvalues of the upper Hessenberg matrix a into roots, deflating from the bottom up;
// -1 when one eigenvalue is not isolated within 30 iterations.
int hessenbergeigenvalues(squarematrix& a, complex* roots) {
  const double anorm = hessenbergnorm(a);
  double t = 0.0;
  int nn = a.size() - 1;
  while (nn >= 0) {
    int its = 0;
    for (;;) {
      const int l = findsplit(a, nn, anorm);
      shifts sh{a(nn, nn), 0.0, 0.0};
      if (l == nn) {
        roots[nn] = {sh.x + t, 0.0};
        nn -= 1;
        break;
      }
      sh.y = a(nn - 1, nn - 1);
      sh.w = a(nn, nn - 1) * a(nn - 1, nn);
      if (l == nn - 1) {
        storepair(roots, nn, sh.x, sh.y, sh.w, t);
        nn -= 2;
        break;
      }
      if (its == 30) return -1;
      if (its == 10 || its == 20) {
        // Exceptional shift to break a cycle.
        t += sh.x;
        for (int i = 0; i <= nn; ++i) a(i, i) -= sh.x;
        const double s = std::fabs(a(nn, nn - 1)) + std::fabs(a(nn - 1, nn - 2));
        sh.x = sh.y = 0.75 * s;
        sh.w = -0.4375 * s * s;
      }
      ++its;
      double v3[3];
      const int m = findsweepstart(a, nn, l, sh, v3);
      doubleshiftsweep(a, nn, l, m, v3);
    }
  }
  return 0;
}

}  // namespace

int findroots(const double* p, uint32_t n, complex* roots) {
  assert(n == 0 || p[0] != 0.0);
  if (n == 0) return 0;
  squarematrix a(static_cast<int>(n));
  companion(p, a);
  balance(a);
  return hessenbergeigenvalues(a, roots);
}

int findrootslsf(const double* p, uint32_t n, double* roots) {
  assert(n == 0 || p[0] != 0.0);
  constexpr uint32_t kMaxUpdates = 1000000;
  for (uint32_t i = 0; i < n; ++i) roots[i] = 2.0 * (i + 0.5) / n - 1.0;
  uint32_t updates = 0;
  double sum;
  do {
    sum = 0.0;
    for (uint32_t i = 0; i < n; ++i) {
      double prod = 1.0;
      for (uint32_t j = 0; j < n; ++j) {
        if (j != i) prod *= roots[i] - roots[j];
      }
      const double d = evalpoly(p, n, roots[i]) / (p[0] * prod);
      roots[i] -= d;
      sum += d * d;
      ++updates;
    }
  } while (sum > 1e-12 && updates < kMaxUpdates);
  return updates < kMaxUpdates ? 0 : -1;
}

int polyfit(const double* x, const double* y, uint32_t count, double* coefficients, uint32_t degree) {
  if (x == nullptr || y == nullptr || coefficients == nullptr || count == 0) return -1;
  const uint32_t d1 = degree + 1;
  std::vector<double> S(2 * degree + 1, 0.0);
  std::vector<double> T(d1, 0.0);
  for (uint32_t i = 0; i < count; ++i) {
    double power = 1.0;
    for (uint32_t k = 0; k <= 2 * degree; ++k) {
      S[k] += power;
      if (k <= degree) T[k] += y[i] * power;
      power *= x[i];
    }
  }
  std::vector<double> M(static_cast<size_t>(d1) * d1);
  std::vector<double> Minv(static_cast<size_t>(d1) * d1);
  for (uint32_t r = 0; r < d1; ++r) {
    for (uint32_t q = 0; q < d1; ++q) M[r * d1 + q] = S[r + q];
  }
  if (gaussinv(d1, M.data(), Minv.data()) != 0) return -1;
  for (uint32_t r = 0; r < d1; ++r) {
    double c = 0.0;
    for (uint32_t q = 0; q < d1; ++q) c += Minv[r * d1 + q] * T[q];
    coefficients[degree - r] = c;
  }
  return 0;
}

int parabfitpoints(double* parabola, double y0, double y1, double y2) {
  parabola[0] = (y0 + y2 - 2 * y1) * 0.5;
  parabola[1] = (y2 - y0) * 0.5;
  parabola[2] = y1;
  return 0;
}

int parabfit(const double* y, double* parabola) {
  return parabfitpoints(parabola, y[0], y[1], y[2]);
}

int parabfitpointsxy(double* parabola, double x0, double x1, double x2, double y0, double y1, double y2) {
  const double D = (x1 - x2) * (x0 - x1) * (x0 - x2);
  parabola[0] = ((y2 - y1) * x0 + (y1 - y0) * x2 + (y0 - y2) * x1) / D;
  parabola[1] = ((y1 - y2) * x0 * x0 + (y0 - y1) * x2 * x2 + (y2 - y0) * x1 * x1) / D;
  parabola[2] = ((x0 - x1) * x0 * x1 * y2 + (x1 - x2) * x1 * x2 * y0 + (x2 - x0) * x0 * x2 * y1) / D;
  return 0;
}

int parabfitxy(const double* x, const double* y, double* parabola) {
  return parabfitpointsxy(parabola, x[0], x[1], x[2], y[0], y[1], y[2]);
}

double parabextx(const double* parabola) {
  assert(parabola[0] != 0.0);  // a straight line has no extremum
  return -parabola[1] / (2 * parabola[0]);
}

double parabexty(const double* parabola) {
  assert(parabola[0] != 0.0);
  return parabola[2] - parabola[1] * parabola[1] / (4 * parabola[0]);
}

namespace {

// Start of row k in a triangular table of rows of 1, 2, 3, ... coefficients.
size_t trianglerow(uint32_t k) {
  return static_cast<size_t>(k) * (k + 1) / 2;
}

// Copies the ascending-power integer rows into the triangular table, highest power first.
void storerows(const std::vector<std::vector<int64_t>>& rows, double* table) {
  for (uint32_t k = 0; k < rows.size(); ++k) {
    double* dst = table + trianglerow(k);
    for (uint32_t i = 0; i <= k; ++i) dst[i] = static_cast<double>(rows[k][k - i]);
  }
}

}  // namespace

mempolytseb* mempolytsebcreate(uint32_t N) {
  assert(N < 63);  // coefficients stay exact in 64-bit integers
  // Integer rows in ascending powers: t[k][i] is the coefficient of x^i in T_k.
  std::vector<std::vector<int64_t>> t(N + 1), u(N);
  for (uint32_t k = 0; k <= N; ++k) {
    t[k].assign(k + 1, 0);
    if (k == 0) {
      t[k][0] = 1;
    } else if (k == 1) {
      t[k][1] = 1;
    } else {
      for (uint32_t i = 1; i <= k; ++i) t[k][i] = 2 * t[k - 1][i - 1];
      for (uint32_t i = 0; i <= k - 2; ++i) t[k][i] -= t[k - 2][i];
    }
  }
  for (uint32_t k = 0; k < N; ++k) {
    u[k].assign(k + 1, 0);
    if (k == 0) {
      u[k][0] = 1;
    } else if (k == 1) {
      u[k][1] = 2;
    } else {
      for (uint32_t i = 0; i <= k; ++i) u[k][i] = t[k][i];
      for (uint32_t i = 1; i <= k; ++i) u[k][i] += u[k - 1][i - 1];
    }
  }
  mempolytseb* table = new mempolytseb;
  table->N = N;
  table->T = new double[trianglerow(N + 1)];
  table->U = new double[trianglerow(N)];
  storerows(t, table->T);
  storerows(u, table->U);
  return table;
}

int mempolytsebdestroy(mempolytseb* table) {
  if (table == nullptr) return 0;
  delete[] table->T;
  delete[] table->U;
  delete table;
  return 0;
}

const double* polytsebT(uint32_t k, const mempolytseb* table) {
  assert(k <= table->N);
  return table->T + trianglerow(k);
}

const double* polytsebU(uint32_t k, const mempolytseb* table) {
  assert(k < table->N);
  return table->U + trianglerow(k);
}

}  // namespace velk
