#include "spectralanalysis.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "constants.h"
#include "dft.h"
#include "windowing.h"

namespace velk {

namespace {

const double kPowerFloorPerSample = 1.0000000000000002e-10;

// Unit phasor advanced by a fixed angle per step: one cos/sin call, then multiplications.
struct Rotor {
  double c = 1.0, s = 0.0, stepc, steps;
  explicit Rotor(double angle) : stepc(cos(angle)), steps(sin(angle)) {}
  void advance() {
    const double nc = c * stepc - s * steps;
    s = s * stepc + c * steps;
    c = nc;
  }
};

// Valid part [j0, e) of a frame of length L centred on z in a signal of n samples.
struct FrameSpan {
  uint32_t j0, e;
};

FrameSpan framespan(uint32_t n, uint32_t z, uint32_t L) {
  const int64_t half = L / 2;
  const int64_t j0 = z < half ? half - z : 0;
  int64_t e = L;
  if ((int64_t)z + half > (int64_t)n - 1) e = (int64_t)n - z + half;
  if (e < j0) e = j0;
  return {(uint32_t)j0, (uint32_t)e};
}

// Sum of the valid frame samples divided by the full frame length.
double framemean(const double* x, uint32_t z, uint32_t L, FrameSpan sp) {
  const int64_t start = (int64_t)z - L / 2;
  double sum = 0.0;
  for (uint32_t j = sp.j0; j < sp.e; j++) sum += x[start + j];
  return sum / L;
}

// |sum of (sample - mean) e^(i w (j - j0))| / L over the valid part: the level of the
// fundamental, used to lift 0 Hz to the level of the first harmonic.
double fundamentalamplitude(const double* x, uint32_t z, uint32_t L, FrameSpan sp, double mean, double f0,
                            double fs) {
  const int64_t start = (int64_t)z - L / 2;
  Rotor ph(kTwoPi * f0 / fs);
  double sr = 0.0, si = 0.0;
  for (uint32_t j = sp.j0; j < sp.e; j++) {
    const double v = x[start + j] - mean;
    sr += v * ph.c;
    si += v * ph.s;
    ph.advance();
  }
  return sqrt(sr * sr + si * si) / L;
}

// dst[0..N) = (sample - offset) * w[j] over the valid part, zero elsewhere; frame elements
// beyond N are dropped so that a window longer than the FFT cannot overrun the buffer.
void fillframe(const double* x, uint32_t z, uint32_t L, FrameSpan sp, double offset, const double* w,
               double* dst, uint32_t N) {
  const int64_t start = (int64_t)z - L / 2;
  for (uint32_t j = 0; j < N; j++) dst[j] = 0.0;
  const uint32_t e = sp.e < N ? sp.e : N;
  for (uint32_t j = sp.j0; j < e; j++) dst[j] = (x[start + j] - offset) * w[j];
}

void clear(double* v, uint32_t count) {
  for (uint32_t i = 0; i < count; i++) v[i] = 0.0;
}

// Makes bins 1..N/2-1 mirrored onto N/2+1..N-1 and copies the neighbours into bins 0 and N/2.
void completehalfspectrum(double* out, uint32_t N) {
  for (uint32_t k = 1; k < N / 2; k++) out[N - k] = out[k];
  out[0] = out[1];
  out[N / 2] = out[N / 2 - 1];
}

// Hanning window of length L scaled to sum L (plain window times 2L/(L-1)).
void scaledhanning(double* w, uint32_t L) {
  winhanning(w, L, 0);
  const double g = 2.0 * L / (L - 1);
  for (uint32_t i = 0; i < L; i++) w[i] *= g;
}

// Frame of length L around z with its mean removed and the fundamental's amplitude added,
// windowed with w into dst[0..N).
void fillpitchframe(const double* x, uint32_t n, double fs, uint32_t z, double f0, uint32_t L,
                    const double* w, double* dst, uint32_t N, FrameSpan* spout, double* offsetout) {
  const FrameSpan sp = framespan(n, z, L);
  const double mean = framemean(x, z, L, sp);
  const double A = fundamentalamplitude(x, z, L, sp, mean, f0, fs);
  const double offset = mean - A;
  fillframe(x, z, L, sp, offset, w, dst, N);
  *spout = sp;
  *offsetout = offset;
}

// Windowed-sinc design shared by the three band shapes:
// h[M] = centre, h[M +- k] = w_k (sin(pi nu2 k) - sin(pi nu1 k)) / (pi k).
void designwinfilter(uint32_t P, double* h, double centre, double nu1, double nu2) {
  const uint32_t M = P / 2;
  h[M] = centre;
  if (P % 2 == 1) h[P] = 0.0;
  if (M == 0) return;
  Rotor taper(kPi / M), s1(kPi * nu1), s2(kPi * nu2);
  for (uint32_t k = 1; k <= M; k++) {
    taper.advance();
    s1.advance();
    s2.advance();
    const double w = 0.54 + 0.46 * taper.c;
    const double v = w * ((s2.s - s1.s) / (kPi * k));
    h[M + k] = v;
    h[M - k] = v;
  }
}

// Index of the largest of v[from..to] (first of equal values).
uint32_t argmax(const double* v, uint32_t from, uint32_t to) {
  uint32_t best = from;
  for (uint32_t i = from + 1; i <= to; i++)
    if (v[i] > v[best]) best = i;
  return best;
}

// Straight line (in the log domain) from v[b] to v[a] over bins b..a-1.
void joinlinear(double* v, uint32_t b, uint32_t a) {
  const double vb = v[b], va = v[a];
  for (uint32_t i = b; i < a; i++) v[i] = vb + (i - b) * (va - vb) / (a - b);
}

// Peak walk of the SEEVOC envelope over bins 0..N/2 with harmonic spacing h bins.
void seevocwalk(double* out, uint32_t N, double h) {
  const uint32_t H = N / 2;
  const uint32_t s = (uint32_t)ceil(0.5 * h);
  uint32_t r = (uint32_t)floor(0.5 + h);
  uint32_t q = (uint32_t)floor(1.5 * h);
  // Below one bin per harmonic the spacings would stall the walk or leave an empty range.
  if (r < 1) r = 1;
  if (q < s) q = s;
  uint32_t b = 0;
  for (;;) {
    if (b + s >= H) {
      for (uint32_t i = b; i <= H; i++) out[i] = out[b];
      return;
    }
    if (b + q < H) {
      uint32_t a = argmax(out, b + s, b + q);
      if (a == b + s || a == b + q) a = b + r;
      joinlinear(out, b, a);
      b = a;
    } else {
      const uint32_t a = argmax(out, b + s, H);
      joinlinear(out, b, a);
      for (uint32_t i = a; i <= H; i++) out[i] = out[a];
      return;
    }
  }
}

}  // namespace

uint32_t naframesize(double fs) {
  return getwinlengthdurodd(0.025, fs);
}

namem* nameminitialize(uint32_t L, uint32_t extra) {
  namem* mem = new namem;
  mem->L = L;
  mem->win = new double[(size_t)L + extra];
  mem->work = mem->win + L;
  winhamming(mem->win, L, 1);
  return mem;
}

namem* nameminitializefft(uint32_t L, uint32_t N) {
  return nameminitialize(L, N);
}

namem* nameminitializelpc(uint32_t L, uint32_t p) {
  return nameminitialize(L, 2 * (p + 1) + L);
}

int namemdestroy(namem* mem) {
  delete[] mem->win;
  delete mem;
  return 0;
}

int getnoiselogspectrum(const double* x, uint32_t n, double fs, uint32_t z, uint32_t N, double* out,
                        namem* mem) {
  const uint32_t L = mem->L;
  const FrameSpan sp = framespan(n, z, L);
  // The real frame goes through the half-size transform in the work area.
  double* frame = mem->work;
  fillframe(x, z, L, sp, framemean(x, z, L, sp), mem->win, frame, N);
  complex* X = reinterpret_cast<complex*>(frame);
  if (fftrealpacked((int32_t)N, X) != 0) return -1;
  const double floorp = L * kPowerFloorPerSample;
  const double scale = 1.0 / (L * fs);
  for (uint32_t k = 1; k < N / 2; k++) {
    double P = X[k].re * X[k].re + X[k].im * X[k].im;
    if (P < floorp) P = floorp;
    out[k] = log(sqrt(P * scale));
  }
  completehalfspectrum(out, N);
  return 0;
}

int getsignallogspectrum(const double* x, uint32_t n, double fs, uint32_t z, double f0, uint32_t N,
                         double* out, namem* mem) {
  if (f0 == 0.0) return getnoiselogspectrum(x, n, fs, z, N, out, mem);
  const uint32_t L2 = getwinlengthnperiodsodd(2, f0, fs);
  double* w = new double[2 * (size_t)L2];
  double* wc = w + L2;
  scaledhanning(w, L2);
  wincomplementary(w, wc, L2);

  FrameSpan sp;
  double offset;
  fillpitchframe(x, n, fs, z, f0, L2, w, out, N, &sp, &offset);
  fillframe(x, z, L2, sp, offset, wc, out + N, N);
  delete[] w;

  double* im = mem->work;
  clear(im, N);
  if (fftr((int32_t)N, out, im) != 0) return -1;
  for (uint32_t k = 0; k <= N / 2; k++) out[k] = out[k] * out[k] + im[k] * im[k];
  clear(im, N);
  double* re2 = out + N;
  if (fftr((int32_t)N, re2, im) != 0) return -1;
  const double floorp = L2 * kPowerFloorPerSample;
  const double scale = 1.0 / ((double)L2 * L2 * f0);
  for (uint32_t k = 1; k < N / 2; k++) {
    double P = re2[k] * re2[k] + im[k] * im[k] + out[k];
    if (P < floorp) P = floorp;
    out[k] = 0.5 * log(P * scale);
  }
  completehalfspectrum(out, N);
  return 0;
}

int getseevoclogspectrum(const double* x, uint32_t n, double fs, uint32_t z, double f0, uint32_t N,
                         double* out, namem* mem) {
  if (f0 == 0.0) return getnoiselogspectrum(x, n, fs, z, N, out, mem);
  const uint32_t L3 = getwinlengthnperiodsodd(3, f0, fs);
  double* w = new double[L3];
  scaledhanning(w, L3);
  FrameSpan sp;
  double offset;
  fillpitchframe(x, n, fs, z, f0, L3, w, out, N, &sp, &offset);
  delete[] w;

  double* im = mem->work;
  clear(im, N);
  if (fftr((int32_t)N, out, im) != 0) return -1;
  const double floorp = L3 * kPowerFloorPerSample;
  const double scale = 1.0 / ((double)L3 * L3 * f0);
  for (uint32_t k = 0; k <= N / 2; k++) {
    double P = out[k] * out[k] + im[k] * im[k];
    if (!(P > floorp)) P = floorp;
    out[k] = 0.5 * log(P * scale);
  }
  seevocwalk(out, N, N * f0 / fs);
  for (uint32_t k = 1; k < N / 2; k++) out[N - k] = out[k];
  return 0;
}

int elimlowfrecfromlogspec(double* logspec, uint32_t N, double fs) {
  const double kappa = -2.302585092994046;
  const double df = fs / N;
  logspec[0] += kappa;
  double f = df;
  for (uint32_t k = 1; f < 500.0 && k <= N / 2; k++) {
    logspec[k] += (1.0 - f / 500.0) * kappa;
    logspec[N - k] = logspec[k];
    f += df;
  }
  return 0;
}

noisegen::noisegen(unsigned seed) : data(), state(), held(0.0), hasheld(false) {
  initstate_r(seed, state, sizeof state, &data);
}

int32_t noisegenrand(noisegen* g) {
  int32_t r = 0;
  random_r(&g->data, &r);
  return r;
}

int gennoisefromlogspectrum(double* buf, uint32_t N, double fs, noisegen* gen) {
  double *re = buf, *im = buf + N;
  const double g = sqrt(fs / N);
  re[0] = im[0] = 0.0;
  re[N / 2] = im[N / 2] = 0.0;
  for (uint32_t k = 1; k < N / 2; k++) {
    const double a = exp(re[k]) * g;
    const double phi = noisegenrand(gen) * 2.925836159896768e-9;
    re[k] = a * cos(phi);
    im[k] = a * sin(phi);
    re[N - k] = re[k];
    im[N - k] = -im[k];
  }
  if (ifftreal((int32_t)N, re, im) != 0) return -1;
  clear(im, N);  // the frame is real: its imaginary half is 0
  return 0;
}

double gaussrand(noisegen* g) {
  if (g->hasheld) {
    g->hasheld = false;
    return g->held;
  }
  double u1, u2, s;
  // s == 0 would give 0 * inf; such a pair is redrawn like one outside the unit circle.
  do {
    u1 = 2.0 * noisegenrand(g) / 2147483647.0 - 1.0;
    u2 = 2.0 * noisegenrand(g) / 2147483647.0 - 1.0;
    s = u1 * u1 + u2 * u2;
  } while (s >= 1.0 || s == 0.0);
  const double m = sqrt(-2.0 * log(s) / s);
  g->held = u2 * m;
  g->hasheld = true;
  return u1 * m;
}

int genwhitenoise(double* out, uint32_t count, noisegen* g) {
  for (uint32_t i = 0; i < count; i++) out[i] = gaussrand(g);
  return 0;
}

int getlpwinfilter(uint32_t P, double* h, double fc, double fs) {
  const double nu = 2.0 * fc / fs;
  designwinfilter(P, h, nu, 0.0, nu);
  return 0;
}

int gethpwinfilter(uint32_t P, double* h, double fc, double fs) {
  const double nu = 2.0 * fc / fs;
  designwinfilter(P, h, 1.0 - nu, nu, 0.0);
  return 0;
}

int getbpwinfilter(uint32_t P, double* h, double f1, double f2, double fs) {
  const double nu1 = 2.0 * f1 / fs, nu2 = 2.0 * f2 / fs;
  designwinfilter(P, h, nu2 - nu1, nu1, nu2);
  return 0;
}

int winfilter(double* x, uint32_t n, uint32_t P, const double* h, double* line) {
  for (uint32_t t = 0; t < n; t++) {
    line[P] = x[t];
    double y = h[P] * x[t];
    for (uint32_t k = 0; k < P; k++) {
      y += h[k] * line[k];
      line[k] = line[k + 1];
    }
    x[t] = y;
  }
  return 0;
}

int winfilternodelay(double* x, uint32_t n, uint32_t P, const double* h) {
  const uint32_t M = P / 2;
  const uint32_t ahead = P - M;  // taps after the centre (M for even orders)
  double* line = new double[(size_t)P + 1];
  for (uint32_t k = 0; k < M; k++) line[k] = 0.0;
  for (uint32_t j = 0; j <= ahead; j++) line[M + j] = j < n ? x[j] : 0.0;
  for (uint32_t t = 0; t < n; t++) {
    double y = 0.0;
    for (uint32_t k = 0; k < P; k++) {
      y += h[k] * line[k];
      line[k] = line[k + 1];
    }
    y += h[P] * line[P];
    const uint64_t next = (uint64_t)t + ahead + 1;
    line[P] = next < n ? x[next] : 0.0;
    x[t] = y;
  }
  delete[] line;
  return 0;
}

int elimlowfrecfromsignal(double* x, uint32_t n, double fs) {
  double h[49];
  gethpwinfilter(48, h, 500.0, fs);
  winfilternodelay(x, n, 48, h);
  return 0;
}

namespace {

// Zero-phase response of the FFT filter: the table sampled at the bins, made into an impulse
// response, truncated to N/2 + 1 taps with a Hamming taper, and transformed back. R gets the
// real response divided by N; im is left zero. -1 when N is not a power of two.
int fftfilterresponse(double* R, double* im, uint32_t N, const double* freqs, const double* gainsdb,
                      double fs) {
  const double df = fs / N;
  uint32_t i = 1;
  double f = 0.0;
  for (uint32_t k = 0; k <= N / 2; k++) {
    while (f > freqs[i]) i++;
    const double slope = (gainsdb[i] - gainsdb[i - 1]) / (freqs[i] - freqs[i - 1]);
    const double intercept = gainsdb[i - 1] - freqs[i - 1] * slope;
    R[k] = exp((slope * f + intercept) * 0.1151292546497023);
    im[k] = 0.0;
    if (k >= 1 && k < N / 2) {
      R[N - k] = R[k];
      im[N - k] = 0.0;
    }
    f += df;
  }
  if (ifftr((int32_t)N, R, im) != 0) return -1;
  const uint32_t Q = N / 4;
  if (Q > 0) {
    Rotor taper(kPi / Q);
    for (uint32_t k = 1; k <= Q; k++) {
      taper.advance();
      const double w = 0.54 + 0.46 * taper.c;
      R[k] *= w;
      R[N - k] *= w;
    }
  }
  for (uint32_t k = Q + 1; k + Q < N; k++) R[k] = 0.0;
  R[N / 2] = 0.0;
  clear(im, N);
  if (fftr((int32_t)N, R, im) != 0) return -1;
  for (uint32_t k = 0; k < N; k++) R[k] /= N;
  clear(im, N);
  return 0;
}

}  // namespace

int fftfilter(const double* in, double* out, uint32_t n, uint32_t N, const double* freqs,
              const double* gainsdb, double fs) {
  std::vector<double> resp(2 * (size_t)N);
  double *R = resp.data(), *store = R + N;
  if (fftfilterresponse(R, store, N, freqs, gainsdb, fs) != 0) return -1;
  std::vector<double> blk(2 * (size_t)N);
  double *yr = blk.data(), *yi = yr + N;
  const uint32_t B = N / 2, Q = N / 4;
  for (uint64_t s = 0; s < n; s += B) {
    for (uint32_t m = 0; m < N; m++) {
      yr[m] = (m < B && s + m < n) ? in[s + m] : 0.0;
      yi[m] = 0.0;
    }
    if (fftr((int32_t)N, yr, yi) != 0) return -1;
    for (uint32_t k = 0; k < N; k++) {
      yr[k] *= R[k];
      yi[k] *= R[k];
    }
    if (ifftr((int32_t)N, yr, yi) != 0) return -1;
    if (s > 0)
      for (uint32_t m = 0; m < Q; m++) out[s - Q + m] += yr[N - Q + m];
    for (uint32_t m = 0; m < Q && s + m < n; m++) {
      out[s + m] = store[m] + yr[m];
      store[m] = yr[B + m];
    }
    for (uint32_t m = Q; m < B && s + m < n; m++) out[s + m] = yr[m];
  }
  const double scale = 1.0 / N;
  for (uint32_t t = 0; t < n; t++) out[t] *= scale;
  return 0;
}

int reclevinsondurbin(const double* r, uint32_t p, uint32_t L, double* a, double* work) {
  if (p == 0) return -1;
  double* alpha = a;  // alpha_i lives in a[i] until the final scaling
  alpha[1] = r[1] / r[0];
  double E = (1.0 - alpha[1] * alpha[1]) * r[0];
  for (uint32_t m = 2; m <= p; m++) {
    double sum = 0.0;
    for (uint32_t i = 1; i < m; i++) sum += r[m - i] * alpha[i];
    const double km = (r[m] - sum) / E;
    for (uint32_t i = 1; i < m; i++) work[i] = alpha[i] - alpha[m - i] * km;
    for (uint32_t i = 1; i < m; i++) alpha[i] = work[i];
    alpha[m] = km;
    E = E * (1.0 - km * km);
  }
  double sum = 0.0;
  for (uint32_t i = 1; i <= p; i++) sum += r[i] * alpha[i];
  const double sigma2 = (r[0] - sum) / L;
  a[0] = 1.0 / sqrt(fabs(sigma2));
  for (uint32_t i = 1; i <= p; i++) a[i] = -a[0] * alpha[i];
  return 0;
}

int getnoiselpc(const double* x, uint32_t n, uint32_t z, uint32_t p, double* a, namem* mem) {
  const uint32_t L = mem->L;
  double* frame = mem->work;
  double* r = frame + L;
  double* work = r + p + 1;
  if (p == 0) {
    // No predictor: the coefficient is the inverse of the frame's RMS level.
    double acc = 0.0;
    getwindowedsamples(x, n, z, frame, L / 2, mem->win);
    for (uint32_t j = 0; j < L; j++) acc += frame[j] * frame[j];
    a[0] = acc == 0.0 ? DBL_MAX : 1.0 / sqrt(acc / L);
    return 0;
  }
  if (getwindowedsamples(x, n, z, frame, L / 2, mem->win) == 0) {
    a[0] = DBL_MAX;
    for (uint32_t i = 1; i <= p; i++) a[i] = 0.0;
    return 0;
  }
  for (uint32_t k = 0; k <= p; k++) {
    double acc = 0.0;
    for (uint32_t j = 0; j + k < L; j++) acc += frame[j] * frame[j + k];
    r[k] = acc;
  }
  reclevinsondurbin(r, p, L, a, work);
  return 0;
}

int lpcfilter(double* x, uint32_t n, const double* a, uint32_t p) {
  for (uint32_t t = 0; t < n; t++) {
    const uint32_t kmax = t < p ? t : p;
    double sum = 0.0;
    for (uint32_t k = 1; k <= kmax; k++) sum += x[t - k] * a[k];
    x[t] = (x[t] - sum) / a[0];
  }
  return 0;
}

}  // namespace velk
